#include "images/progress_dialog.h"

#include "controls/control_classes.h"
#include "platform/dialog_units.h"
#include "platform/dialogs.h"
#include "platform/progress_bar.h"
#include "res/resource_ids.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace images {
namespace {

// The template, in dialog units.
constexpr QSize kDialogSize(246, 26);
constexpr QRect kBarRect(7, 5, 170, 14);
constexpr QRect kCancelRect(189, 5, 50, 15);

} // namespace

CProgressDlg::CProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    controls::SetControlId(this, res::IDD_PROGRESS);
    setFont(platform::DialogFont());
    const platform::DialogUnits units(font());
    setFixedSize(units.ToPixels(kDialogSize));

    bar_ = new platform::ProgressBar(this);
    bar_->setGeometry(units.ToPixels(kBarRect));
    controls::SetControlId(bar_, res::IDC_PROGRESS_BAR);

    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setGeometry(units.ToPixels(kCancelRect));
    controls::SetControlId(cancel_, res::IDCANCEL);
    cancel_->setEnabled(false);
    connect(cancel_, &QPushButton::clicked, this, &CProgressDlg::OnCancel);
}

platform::LResult SendStepTitle(platform::ReceiverHandle dialog, const QString& title) {
    return platform::SendMessage(dialog, platform::WM_SETTEXT, kStepTitle,
                                 reinterpret_cast<platform::LParam>(&title));
}

void CProgressDlg::OnCancel() {
    flags_->cancelRequested = true;
    flags_->stop.request_stop();
    cancel_->setEnabled(false);
    setWindowTitle(platform::LoadString(res::IDS_CANCELING));
}

void CProgressDlg::End() {
    if (parentWidget() != nullptr)
        parentWidget()->setFocus();
    hide();
    deleteLater();
}

platform::LResult CProgressDlg::HandleMessage(platform::MessageId message, platform::WParam wParam,
                                              platform::LParam lParam) {
    switch (message) {
    case platform::WM_SETTEXT:
        if (wParam == kStepTitle && (flags_->cancelRequested || flags_->closingRequested))
            return 1;
        setWindowTitle(*reinterpret_cast<const QString*>(lParam));
        return 1;
    case platform::WM_PROGRESS_END:
        End();
        return 0;
    case platform::WM_PROGRESS_CANCEL:
        OnCancel();
        return 0;
    case platform::WM_PROGRESS_CLOSING:
        flags_->closingRequested = true;
        setWindowTitle(platform::LoadString(res::IDS_CLOSING));
        return 0;
    default:
        return 0;
    }
}

void CProgressDlg::keyPressEvent(QKeyEvent* event) {
    // A dialog rejects itself on Escape; this one stays until its worker ends it.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CProgressDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}

} // namespace images
