#include "app/capture_batch.h"

#include "app/capture_host.h"
#include "app/capture_memory.h"
#include "app/playback_objects.h"
#include "images/images4_dialog.h"
#include "images/images_dialog.h"
#include "images/progress_dialog.h"
#include "platform/dialogs.h"
#include "platform/progress_bar.h"
#include "playback/canvas.h"
#include "playback/capture_names.h"
#include "playback/frame_capture.h"
#include "res/app_strings.h"
#include "res/resource_ids.h"

#include <QPushButton>

#include <optional>
#include <variant>


QPointer<images::CProgressDlg> gCaptureProgressDlg;

namespace {

QString TwoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

void SetTitle(const CaptureRun& run, int stringId, int index) {
    platform::SendText(run.progressDialog, platform::FormatString(stringId, TwoDigits(index)));
}

bool CancelRequested(const CaptureRun& run) {
    return run.flags->cancelRequested.load();
}

constexpr picture::Shape kFixedShape{playback::kCaptureRect.Width(),
                                     playback::kCaptureRect.Height(), playback::kLabelBandRows};

// The window follows a batch drawn into a canvas of its own: its frames go
// into the presenter's canvas too, as playing would draw them.
void ShowInPresenter(playback::Canvas& canvas) {
    platform::Rect rect = playback::kCaptureRect;
    gPresenter->Offscreen()->Blt(&rect, canvas.Surface(), nullptr,
                                 platform::DDBLT_WAIT | platform::kBltSmooth);
}

} // namespace

void CaptureWorker(std::shared_ptr<CaptureRun> run) {
    CaptureList& list = *run->list;
    const std::stop_token stop = run->flags->stop.get_token();
    playback::Canvas& canvas = run->canvas ? *run->canvas : *gPresenter->Canvas();
    const platform::Rect rect = run->canvas ? canvas.Rect() : playback::kCaptureRect;
    if (run->refetchPausedFrame)
        gSource->Render(canvas.Surface(), rect, playback::FetchWait::UntilNextFrame, stop);
    else if (run->canvas)
        gSource->DrawShownFrame(canvas.Surface(), rect); // the batch starts with the frame on show
    playback::NameMaker names;
    for (int i = 0; i < list.count && !CancelRequested(*run); ++i) {
        playback::CapturedFrame frame = playback::CaptureFrame(canvas, *gSource, rect, stop);
        if (run->canvas)
            ShowInPresenter(canvas);
        gPresenter->BlitToWindow();
        if (!frame.picture) {
            // No batch with holes: what was taken is freed and the user told.
            run->outOfMemoryAt = i;
            break;
        }
        list.pictures[i] = std::move(frame.picture);
        list.timesMs[i] = frame.timeMs;
        list.names[i] = names.Next(frame.timeMs);
        images::SendStepTitle(
            run->progressDialog, platform::FormatString(res::IDS_COPYING_IMAGE, TwoDigits(i)));
        platform::SendMessage(run->progressBar, platform::PBM_STEPIT);
    }
    if (!CancelRequested(*run) && run->outOfMemoryAt < 0) {
        platform::SendMessage(run->progressDialog, platform::WM_PROGRESS_END);
        platform::PostMessage(run->mainFrame, platform::WM_CAPTURE_DONE);
        return;
    }
    platform::SendMessage(run->mainFrame, platform::WM_CAPTURE_CANCELLED);
    FreeImagesWorker(std::move(run));
}

void FreeImagesWorker(std::shared_ptr<CaptureRun> run) {
    CaptureList& list = *run->list;
    platform::SendMessage(run->progressBar, platform::PBM_SETPOS, 0);
    for (int i = 0; i < list.count; ++i) {
        if (list.pictures[i]) {
            list.pictures[i].Reset();
            SetTitle(*run, res::IDS_FREEING_IMAGE, i);
        }
        platform::SendMessage(run->progressBar, platform::PBM_STEPIT);
    }
    const bool closing = run->flags->closingRequested;
    platform::SendMessage(run->progressDialog, platform::WM_PROGRESS_END);
    platform::PostMessage(run->mainFrame, closing ? platform::WM_CLOSE : platform::WM_IMAGES_FREED);
}

// ---- The user-interface side ----

CaptureBatch::CaptureBatch(CaptureHost host)
    : host_(std::move(host))
    , runImagesWindow_([](images::ImagesWindow& window) { return window.exec(); }) {}

CaptureBatch::~CaptureBatch() {
    delete gCaptureProgressDlg;
}

std::shared_ptr<CaptureRun> CaptureBatch::StartPhase() {
    delete gCaptureProgressDlg;
    gCaptureProgressDlg = new images::CProgressDlg;
    auto run = std::make_shared<CaptureRun>();
    run->list = &list_;
    run->flags = gCaptureProgressDlg->Flags();
    run->progressDialog = gCaptureProgressDlg->Handle();
    run->progressBar = gCaptureProgressDlg->Bar()->Handle();
    run->mainFrame = host_.messageTarget;
    platform::SendMessage(run->progressBar, platform::PBM_SETSTEP, 1);
    platform::SendMessage(run->progressBar, platform::PBM_SETRANGE, 0,
                          static_cast<platform::LParam>(list_.count) << 16);
    gCaptureProgressDlg->show();
    gCaptureProgressDlg->activateWindow();
    return run;
}

std::optional<picture::Shape> CaptureBatch::ChooseShape() {
    const QSize size = host_.captureSize ? host_.captureSize() : QSize();
    if (size.isEmpty())
        return kFixedShape;
    const picture::Shape shape{size.width(), size.height(),
                               playback::LabelBandRowsFor(size.width())};
    const std::uint64_t needed = BatchBytes(shape, list_.count);
    const std::optional<std::uint64_t> available =
        memoryProbe_ ? memoryProbe_() : AvailableMemoryBytes();
    if (shape == kFixedShape || BatchFitsMemory(needed, available))
        return shape;
    const QString text = platform::LoadString(res::IDS_CAPTURE_NEEDS_MEMORY)
                             .arg(list_.count)
                             .arg(shape.width)
                             .arg(shape.height)
                             .arg(MemoryText(needed), MemoryText(available.value_or(0)));
    if (platform::ShowMessage(text, platform::LoadString(res::IDS_APP_NAME),
                              platform::MessageIcon::kQuestion,
                              platform::MessageButtons::kOkCancel) != platform::DialogAnswer::kOk)
        return std::nullopt;
    return kFixedShape;
}

void CaptureBatch::Start(bool fourUp) {
    if (running_ || gSource == nullptr || gPresenter == nullptr)
        return;
    const std::optional<picture::Shape> shape = ChooseShape();
    if (!shape)
        return;
    std::shared_ptr<playback::Canvas> canvas;
    if (*shape != kFixedShape) {
        auto made = playback::Canvas::Create(*gPresenter->Device(), shape->width, shape->height);
        if (auto* ready = std::get_if<playback::Canvas>(&made)) {
            canvas = std::make_shared<playback::Canvas>(std::move(*ready));
        } else {
            platform::ShowMessage(
                platform::FormatString(res::IDS_CAPTURE_OUT_OF_MEMORY, TwoDigits(0)),
                platform::LoadString(res::IDS_APP_NAME), platform::MessageIcon::kWarning,
                platform::MessageButtons::kOk);
            return;
        }
    }
    list_.shape = *shape;
    fourUp_ = fourUp;
    running_ = true;
    closeRequested_ = false;
    std::shared_ptr<CaptureRun> run = StartPhase();
    run->canvas = std::move(canvas);
    capture_ = run;
    host_.enableCommands(false);
    // A paused stream runs again for the batch, from the frame on screen.
    pausedAt_.reset();
    if (gSource->IsPaused()) {
        pausedAt_ = gSource->SavedPosition();
        gSource->PauseToggle();
        run->refetchPausedFrame = true;
    }
    gSource->SetRenderEnabled(false);
    platform::StartWorker([run] { CaptureWorker(run); });
    gCaptureProgressDlg->CancelButton()->setEnabled(true);
}

void CaptureBatch::RequestClose() {
    closeRequested_ = true;
    if (gCaptureProgressDlg != nullptr) {
        platform::PostMessage(gCaptureProgressDlg->Handle(), platform::WM_PROGRESS_CANCEL);
        platform::PostMessage(gCaptureProgressDlg->Handle(), platform::WM_PROGRESS_CLOSING);
    }
}

void CaptureBatch::OnCaptureDone() {
    gSource->PauseToggle();
    // A close that came as the last frame was taken: no images window.
    if (!closeRequested_)
        ShowImagesWindow();
    std::shared_ptr<CaptureRun> run = StartPhase();
    if (closeRequested_)
        run->flags->closingRequested = true;
    platform::StartWorker([run] { FreeImagesWorker(run); });
}

void CaptureBatch::ShowImagesWindow() {
    QStringList names;
    for (int i = 0; i < list_.count; ++i)
        names.append(fourUp_ ? TwoDigits(i) : QString::fromStdString(list_.names[i]));
    const picture::Shape& shape = list_.shape;
    std::unique_ptr<images::ImagesWindow> window;
    const QSize video = host_.videoSize();
    if (fourUp_)
        window = std::make_unique<images::CImages4Dlg>(list_.count, video.width(),
                                                       video.height(), names, shape);
    else
        window = std::make_unique<images::CImagesDlg>(list_.count, video.width(),
                                                      video.height(), names, shape);
    if (host_.savePreferences)
        window->SetPreferences(host_.savePreferences());
    if (host_.videoName)
        window->SetVideoName(host_.videoName());
    for (int i = 0; i < list_.count; ++i)
        if (!window->AddImage(list_.pictures[i]))
            qWarning("Captured picture %d has another size than the first; it is not shown", i);
    runImagesWindow_(*window);
    if (host_.keepSavePreferences)
        host_.keepSavePreferences(window->Preferences());
}

void CaptureBatch::OnCaptureCancelled() {
    gSource->PauseToggle();
}

void CaptureBatch::OnImagesFreed() {
    running_ = false;
    const int outOfMemoryAt = capture_ ? capture_->outOfMemoryAt : -1;
    capture_.reset();
    if (closeRequested_) {
        host_.closeWindow();
        return;
    }
    ResumePlayback();
    host_.enableCommands(true);
    if (outOfMemoryAt >= 0)
        platform::ShowMessage(
            platform::FormatString(res::IDS_CAPTURE_OUT_OF_MEMORY, TwoDigits(outOfMemoryAt)),
            platform::LoadString(res::IDS_APP_NAME), platform::MessageIcon::kWarning,
            platform::MessageButtons::kOk);
}

// The stream goes on from where the batch paused it; a batch that began on a
// paused stream leaves it paused on the frame it began with.
void CaptureBatch::ResumePlayback() {
    gSource->SetRenderEnabled(true);
    if (!pausedAt_) {
        gSource->PauseToggle();
        // The timer stood aside during the batch: a slider left where the
        // batch began would read as a drag back there.
        host_.followStream();
        return;
    }
    // Still paused from the batch's end: only the frame on show changes.
    gSource->ShowFrameAt(*pausedAt_, gPresenter->Offscreen(), playback::kCaptureRect);
    gPresenter->BlitToWindow();
    pausedAt_.reset();
}
