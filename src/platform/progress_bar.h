// ProgressBar: the progress bar control, driven by the progress bar messages
// as the workers send them: PBM_SETRANGE (lParam: low word minimum, high word
// maximum), PBM_SETPOS, PBM_DELTAPOS, PBM_SETSTEP and PBM_STEPIT. Each answers
// the previous position (PBM_SETRANGE the previous range, packed the same
// way; PBM_SETSTEP the previous step).
//
// A step past the maximum starts again from the minimum, as the control
// does, so that a bar stepped ten times per image over a range of 0 to 10
// keeps moving through a long save; QProgressBar itself would ignore values
// out of its range.
//
// User-interface thread; other threads reach it with platform::SendMessage.
#pragma once

#include "platform/messages.h"

#include <QProgressBar>

namespace platform {

class ProgressBar : public QProgressBar, public MessageReceiver {
    Q_OBJECT

public:
    explicit ProgressBar(QWidget* parent = nullptr);

    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    int Position() const { return position_; }
    int Step() const { return step_; }

protected:
    LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) override;

private:
    void Show();

    // The control's defaults.
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    int step_ = 10;
};

} // namespace platform
