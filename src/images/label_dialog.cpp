#include "images/label_dialog.h"

#include "controls/control_classes.h"
#include "images/image_list.h"
#include "platform/dialog_units.h"
#include "res/resource_ids.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace images {
namespace {

// The template, in dialog units.
constexpr QSize kDialogSize(186, 95);
constexpr QRect kLabelOnRect(7, 11, 93, 10);
constexpr QRect kStaticRect(7, 42, 48, 8);
constexpr QRect kEditRect(58, 39, 121, 14);
constexpr QRect kOkRect(27, 74, 50, 14);
constexpr QRect kCancelRect(107, 74, 50, 14);

} // namespace

CLabelDlg::CLabelDlg(QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Label Images"));
    controls::SetControlId(this, res::IDD_LABEL);
    setFont(platform::DialogFont());
    CreateControls();
}

void CLabelDlg::CreateControls() {
    const platform::DialogUnits units(font());
    setFixedSize(units.ToPixels(kDialogSize));

    labelOnBox_ = new QCheckBox(QStringLiteral("Label the images"), this);
    labelOnBox_->setGeometry(units.ToPixels(kLabelOnRect));
    controls::SetControlId(labelOnBox_, res::IDC_LABEL_ON);

    auto* caption = new QLabel(QStringLiteral("Label"), this);
    caption->setGeometry(units.ToPixels(kStaticRect));

    labelTextEdit_ = new QLineEdit(this);
    labelTextEdit_->setGeometry(units.ToPixels(kEditRect));
    labelTextEdit_->setMaxLength(kMaxLabelLength);
    controls::SetControlId(labelTextEdit_, res::IDC_LABEL_TEXT);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(units.ToPixels(kOkRect));
    ok->setDefault(true);
    controls::SetControlId(ok, res::IDOK);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(units.ToPixels(kCancelRect));
    controls::SetControlId(cancel, res::IDCANCEL);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CLabelDlg::showEvent(QShowEvent* event) {
    labelOnBox_->setChecked(labelOn);
    labelTextEdit_->setText(labelText);
    labelTextEdit_->setCursorPosition(0);
    QDialog::showEvent(event);
}

void CLabelDlg::accept() {
    labelOn = labelOnBox_->isChecked();
    labelText = labelTextEdit_->text();
    QDialog::accept();
}

int ExecModal(QDialog& dialog) {
    return dialog.exec();
}

bool EditLabel(ImageList& list, QWidget* parent, const RunModal& run) {
    CLabelDlg dialog(parent);
    dialog.labelOn = list.LabelOn();
    dialog.labelText = list.LabelText();
    if (run(dialog) != QDialog::Accepted)
        return false;
    list.SetLabel(dialog.labelOn, dialog.labelText);
    list.StampBandIfNeeded();
    return true;
}

} // namespace images
