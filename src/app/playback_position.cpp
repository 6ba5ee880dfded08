#include "app/playback_position.h"

#include "app/frame_commands.h"
#include "app/playback_objects.h"
#include "app/position_panes.h"
#include "app/status_texts.h"

#include "platform/dialogs.h"
#include "res/app_strings.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QSlider>

#include <algorithm>

namespace {

// The commands act only on an open file, and never while a batch owns it.
bool CanStep() {
    return gCommandsEnabled == 1 && gSource != nullptr && gPresenter != nullptr &&
           gSource->IsOpen() && gSource->RenderEnabled();
}

} // namespace

PlaybackPosition::PlaybackPosition(PositionPanes& panes, QAction& pause)
    : panes_(panes)
    , pause_(pause) {
    timer_.setInterval(kTimerPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &PlaybackPosition::OnTimer);
}

int PlaybackPosition::CreateSlider() {
    QSlider* slider = panes_.CreateSlider();
    if (slider == nullptr)
        return -1;
    connect(slider, &QSlider::sliderReleased, this, &PlaybackPosition::OnSliderMovedWhilePaused);
    connect(slider, &QAbstractSlider::actionTriggered, this, [this](int action) {
        // The value changes after this signal, and a drag counts at its release.
        if (action != QAbstractSlider::SliderMove)
            QMetaObject::invokeMethod(this, &PlaybackPosition::OnSliderMovedWhilePaused,
                                      Qt::QueuedConnection);
    });
    return 0;
}

void PlaybackPosition::Start() {
    durationSeconds_ = gSource->GetDurationSeconds();
    positionSeconds_ = 0;
    panes_.ShowDuration(durationSeconds_);
    panes_.MoveSlider(positionSeconds_);
    panes_.ShowPosition(positionSeconds_);
    panes_.DurationPane()->repaint();
    panes_.PositionPane()->repaint();
    gSource->Play();
    timer_.start();
    ShowPlaybackState();
}

void PlaybackPosition::Stop() {
    timer_.stop();
    ShowPlaybackState();
}

void PlaybackPosition::OnTimer() {
    // The paused frame's number shows once the frames are counted.
    if (gSource != nullptr && gSource->IsPaused() && gSource->RenderEnabled() &&
        panes_.FrameLabel()->text().contains(u'\u2026'))
        ShowPlaybackState();
    // During a capture batch the worker owns the source: no reads, no seeks.
    if (gSource == nullptr || !gSource->IsPlaying() || !gSource->RenderEnabled())
        return;
    FollowGrowingDuration();
    positionSeconds_ = gSource->GetPositionSeconds();
    const QSlider* slider = panes_.Slider();
    const int sliderPosition = slider != nullptr ? slider->value() : positionSeconds_;
    const int behind = positionSeconds_ - sliderPosition;
    if ((behind >= 0 && behind <= 2) || positionSeconds_ == 0) {
        // The slider follows the stream.
        panes_.MoveSlider(positionSeconds_);
    } else {
        // The user moved the slider ahead of the stream, or well behind it.
        gSource->SeekSeconds(sliderPosition);
        positionSeconds_ = gSource->GetPositionSeconds();
    }
    panes_.ShowPosition(positionSeconds_);
}

// A stream may learn its length only while it plays (an elementary stream
// states none). Kept at the old end, the slider could not follow the position
// past it, and the gap would read as a drag back there.
void PlaybackPosition::FollowGrowingDuration() {
    const int duration = gSource->GetDurationSeconds();
    if (duration <= durationSeconds_)
        return;
    durationSeconds_ = duration;
    panes_.ShowDuration(durationSeconds_);
}

void PlaybackPosition::FollowStreamPosition() {
    if (gSource == nullptr || !gSource->IsOpen())
        return;
    positionSeconds_ = gSource->GetPositionSeconds();
    panes_.SetSliderQuietly(positionSeconds_);
    panes_.ShowPosition(positionSeconds_);
}

void PlaybackPosition::ShowPlaybackState() {
    const bool paused = gSource != nullptr && gSource->IsOpen() && gSource->IsPaused();
    pause_.setChecked(paused);
    QSlider* slider = panes_.Slider();
    if (!paused) {
        panes_.FrameLabel()->hide();
        if (slider != nullptr)
            slider->setToolTip(QString());
        return;
    }
    if (gPresenter != nullptr)
        gPresenter->BlitToWindow();
    const std::int64_t time = gSource->ShownTime();
    const QString shown = FormatShownFrame(gSource->ShownFrameNumber(), time);
    panes_.FrameLabel()->setText(shown);
    panes_.FrameLabel()->setToolTip(shown);
    panes_.FrameLabel()->show();
    positionSeconds_ = playback::StreamTimeToSeconds(time);
    panes_.SetSliderQuietly(positionSeconds_);
    if (slider != nullptr)
        slider->setToolTip(shown);
    panes_.ShowPosition(positionSeconds_);
}

// ---- Frame by frame ----

void PlaybackPosition::PauseToggle() {
    if (CanStep())
        gSource->PauseToggle();
    ShowPlaybackState();
}

void PlaybackPosition::NextFrame() {
    if (CanStep())
        gSource->StepForward(gPresenter->Offscreen(), playback::kCaptureRect);
    ShowPlaybackState();
}

void PlaybackPosition::PreviousFrame() {
    if (CanStep())
        gSource->StepBack(gPresenter->Offscreen(), playback::kCaptureRect);
    ShowPlaybackState();
}

void PlaybackPosition::Back5Seconds() {
    if (CanStep())
        JumpTo(gSource->ShownTime() - playback::SecondsToStreamTime(kJumpSeconds));
}

void PlaybackPosition::Forward5Seconds() {
    if (CanStep())
        JumpTo(gSource->ShownTime() + playback::SecondsToStreamTime(kJumpSeconds));
}

void PlaybackPosition::GoToStart() {
    if (CanStep())
        JumpTo(0);
}

QString PlaybackPosition::GoTo(const GoToTarget& target, const QString& typed) {
    if (!CanStep())
        return {};
    std::int64_t time = target.value;
    if (target.kind == GoToTarget::Kind::kFrame) {
        std::optional<std::int64_t> frameTime = gSource->TimeOfFrame(target.value);
        if (!frameTime) {
            // The frames are counted in the background after opening: a long
            // file may not be done yet.
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            const bool counted = gSource->WaitForFrameNumbers();
            QGuiApplication::restoreOverrideCursor();
            if (!counted)
                return platform::LoadString(res::IDS_GO_TO_NOT_COUNTED);
            frameTime = gSource->TimeOfFrame(target.value);
        }
        if (!frameTime) {
            return platform::LoadString(res::IDS_GO_TO_NO_FRAME)
                .arg(typed.trimmed())
                .arg(gSource->LastFrameNumber().value_or(0));
        }
        time = *frameTime;
    }
    const std::int64_t before = gSource->ShownTime();
    const media::StepResult result =
        gSource->ShowFrameAt(time, gPresenter->Offscreen(), playback::kCaptureRect);
    if (result == media::StepResult::AtEnd) {
        // Nothing lies there: stay on the frame the user was on.
        gSource->ShowFrameAt(before, gPresenter->Offscreen(), playback::kCaptureRect);
        ShowPlaybackState();
        return platform::FormatString(res::IDS_GO_TO_PAST_END, typed.trimmed());
    }
    ShowPlaybackState();
    return {};
}

void PlaybackPosition::JumpTo(std::int64_t streamTime) {
    streamTime = std::max<std::int64_t>(streamTime, 0);
    if (gSource->IsPaused()) {
        gSource->ShowFrameAt(streamTime, gPresenter->Offscreen(), playback::kCaptureRect);
    } else {
        gSource->SeekMs(playback::StreamTimeToMilliseconds(streamTime));
        positionSeconds_ = playback::StreamTimeToSeconds(streamTime);
        panes_.MoveSlider(positionSeconds_);
        panes_.ShowPosition(positionSeconds_);
    }
    ShowPlaybackState();
}

void PlaybackPosition::OnSliderMovedWhilePaused() {
    const QSlider* slider = panes_.Slider();
    if (!CanStep() || !gSource->IsPaused() || slider == nullptr || slider->isSliderDown() ||
        slider->value() == positionSeconds_)
        return;
    JumpTo(playback::SecondsToStreamTime(slider->value()));
}
