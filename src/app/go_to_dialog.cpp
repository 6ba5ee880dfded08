#include "go_to_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CGoToDlg::CGoToDlg(const QString& text, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Go To"));
    targetEdit_ = new QLineEdit(text, this);
    targetEdit_->selectAll();
    auto* hint = new QLabel(QStringLiteral("A frame number (the first frame is 0), or a time: "
                                           "1.5, 62.04 s, 1:02.040 or 0:01:02.040."),
                            this);
    hint->setWordWrap(true);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("&Frame or time:"), targetEdit_);
    layout->addRow(QString(), hint);
    layout->addRow(buttons_);

    const auto enableOk = [this] {
        buttons_->button(QDialogButtonBox::Ok)->setEnabled(Target().has_value());
    };
    connect(targetEdit_, &QLineEdit::textChanged, this, enableOk);
    enableOk();
}

std::optional<GoToTarget> CGoToDlg::Target() const {
    return ParseGoToTarget(targetEdit_->text());
}

std::optional<GoToTarget> AskGoToTarget(QString& text, QWidget* parent,
                                        const images::RunModal& run) {
    CGoToDlg dialog(text, parent);
    if (run(dialog) != QDialog::Accepted)
        return std::nullopt;
    const auto target = dialog.Target();
    if (target)
        text = dialog.TargetEdit()->text();
    return target;
}
