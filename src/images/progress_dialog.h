// CProgressDlg: the modeless progress dialog (dialog 135) of the capture
// batch and of the saving workers: a progress bar (control 1002) that the
// worker steps, and a Cancel button (id 2), disabled at creation.
//
// Workers never touch the dialog: they send it WM_SETTEXT (its title),
// WM_PROGRESS_END and the progress bar messages (to Bar()'s handle), and read
// its flags, which they share so that they can still read them after the
// dialog has gone. Escape and the close box do nothing: the worker ends the
// dialog.
//
// User-interface thread only (apart from the flags and SendStepTitle).
#pragma once

#include "platform/messages.h"

#include <QDialog>

#include <atomic>
#include <memory>
#include <stop_token>

class QPushButton;

namespace platform {
class ProgressBar;
}

namespace images {

// Set by the dialog on the user-interface thread, read by the worker.
struct ProgressFlags {
    std::atomic<bool> cancelRequested{false};
    std::atomic<bool> closingRequested{false};
    // Requested with cancel: ends a worker's wait for the next frame at once.
    std::stop_source stop;
};

// The title of the step a worker starts (WM_SETTEXT with this wParam). Once
// Cancel or a close was asked for, the dialog keeps saying so: a worker
// cannot tell whether its title arrives before or after the request.
inline constexpr platform::WParam kStepTitle = 1;
// Sends it. Any thread.
platform::LResult SendStepTitle(platform::ReceiverHandle dialog, const QString& title);

class CProgressDlg : public QDialog, public platform::MessageReceiver {
    Q_OBJECT

public:
    explicit CProgressDlg(QWidget* parent = nullptr);

    std::shared_ptr<ProgressFlags> Flags() const { return flags_; }
    platform::ProgressBar* Bar() const { return bar_; }
    QPushButton* CancelButton() const { return cancel_; }

    // Cancel (the button or WM_PROGRESS_CANCEL): cancel requested, the button
    // disabled, the title "Canceling, wait ...". The dialog stays.
    void OnCancel();

protected:
    platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                    platform::LParam lParam) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void End();

    std::shared_ptr<ProgressFlags> flags_ = std::make_shared<ProgressFlags>();
    platform::ProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace images
