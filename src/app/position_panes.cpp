#include "app/position_panes.h"

#include "app/status_texts.h"
#include "controls/control_classes.h"
#include "platform/dialogs.h"
#include "res/resource_ids.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>

PositionPanes::PositionPanes(QStatusBar& bar) {
    sliderPane_ = new QWidget(&bar);
    auto* layout = new QHBoxLayout(sliderPane_);
    layout->setContentsMargins(0, 0, 0, 0);
    bar.addWidget(sliderPane_, 1);
    positionPane_ = AddTimePane(bar, res::ID_INDICATOR_POSITION);
    durationPane_ = AddTimePane(bar, res::ID_INDICATOR_DURATION);

    // Before the slider while paused, in the panes' font. In a narrow window
    // the text is cut rather than the slider squeezed away; the slider's
    // tooltip holds it whole.
    frameLabel_ = new QLabel(sliderPane_);
    frameLabel_->setObjectName(QStringLiteral("frameLabel"));
    frameLabel_->setFont(positionPane_->font());
    frameLabel_->setMinimumWidth(1);
    frameLabel_->hide();
    sliderPane_->layout()->addWidget(frameLabel_);
}

QLabel* PositionPanes::AddTimePane(QStatusBar& bar, int id) {
    auto* pane = new QLabel(platform::LoadString(id), &bar);
    controls::SetControlId(pane, id);
    // 8 points of "Arial" at 96 dpi: the longest time, 00:00:00, fits the
    // pane's 45 pixels.
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    pane->setFont(font);
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane->setLineWidth(1);
    pane->setFixedWidth(kPaneWidth + 2 * pane->frameWidth());
    bar.addPermanentWidget(pane);
    return pane;
}

QSlider* PositionPanes::CreateSlider() {
    if (slider_ != nullptr)
        return nullptr;
    slider_ = new QSlider(Qt::Horizontal, sliderPane_);
    controls::SetControlId(slider_, res::IDC_POSITION_SLIDER);
    // The slider only gets keyboard focus when clicked, as a status bar child.
    slider_->setFocusPolicy(Qt::ClickFocus);
    slider_->setMinimumWidth(kMinimumSliderWidth);
    sliderPane_->layout()->addWidget(slider_);
    slider_->show();
    return slider_;
}

void PositionPanes::PlaceSlider() {
    if (slider_ != nullptr)
        sliderPane_->layout()->activate();
}

void PositionPanes::ShowDuration(int seconds) {
    if (slider_ != nullptr) {
        slider_->setRange(0, seconds);
        slider_->setPageStep(SliderPageSize(seconds));
    }
    durationPane_->setText(FormatTime(seconds));
}

void PositionPanes::ShowPosition(int seconds) {
    positionPane_->setText(FormatTime(seconds));
}

void PositionPanes::MoveSlider(int seconds) {
    if (slider_ != nullptr)
        slider_->setValue(seconds);
}

void PositionPanes::SetSliderQuietly(int seconds) {
    if (slider_ == nullptr)
        return;
    const QSignalBlocker quiet(slider_);
    slider_->setValue(seconds);
}
