#include "controls/about_dialog.h"

#include "controls/control_classes.h"
#include "options/version.h"
#include "res/app_icons.h"
#include "res/resource_ids.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace controls {

QString CAboutDlg::VersionText() {
    return QStringLiteral("Tesselon Version %1").arg(QLatin1String(options::kVersion));
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("About Tesselon"));
    SetControlId(this, res::IDD_ABOUTBOX);

    auto* icon = new QLabel(this);
    icon->setPixmap(res::AppIconPixmap(32));
    auto* version = new QLabel(VersionText(), this);
    auto* purpose = new QLabel(tr("Video frame grabber"), this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    SetControlId(ok, res::IDOK);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(version, 0, 1);
    layout->addWidget(purpose, 1, 1);
    layout->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    layout->setHorizontalSpacing(16);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace controls
