#include "images/format_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

namespace images {

CFormatDlg::CFormatDlg(const StillFormat& format, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Image Format"));
    formatBox_ = new QComboBox(this);
    formatBox_->addItem(QStringLiteral("JPEG"), int(ImageFormat::Jpeg));
    formatBox_->addItem(QStringLiteral("PNG (lossless)"), int(ImageFormat::Png));
    formatBox_->addItem(QStringLiteral("WebP"), int(ImageFormat::Webp));
    formatBox_->setCurrentIndex(formatBox_->findData(int(format.format)));

    qualityBox_ = new QSpinBox(this);
    qualityBox_->setRange(1, 100);
    qualityBox_->setValue(format.quality);
    losslessBox_ = new QCheckBox(QStringLiteral("Lossless"), this);
    losslessBox_->setChecked(format.lossless);
    // Our encoder's quantisation tables are scaled in their own way: a
    // number here does not give the file another program gives at it.
    scaleNote_ = new QLabel(this);
    scaleNote_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("&Format:"), formatBox_);
    layout->addRow(QString(), losslessBox_);
    layout->addRow(QStringLiteral("&Quality:"), qualityBox_);
    layout->addRow(QString(), scaleNote_);
    layout->addRow(buttons);

    connect(formatBox_, &QComboBox::currentIndexChanged, this, &CFormatDlg::ShowFormatChoices);
    connect(losslessBox_, &QCheckBox::toggled, this, &CFormatDlg::ShowFormatChoices);
    ShowFormatChoices();
}

StillFormat CFormatDlg::Format() const {
    StillFormat format;
    format.format = static_cast<ImageFormat>(formatBox_->currentData().toInt());
    format.quality = qualityBox_->value();
    format.lossless = format.format == ImageFormat::Webp && losslessBox_->isChecked();
    return format;
}

void CFormatDlg::ShowFormatChoices() {
    const StillFormat format = Format();
    losslessBox_->setEnabled(format.format == ImageFormat::Webp);
    qualityBox_->setEnabled(format.format == ImageFormat::Jpeg ||
                            (format.format == ImageFormat::Webp && !format.lossless));
    switch (format.format) {
    case ImageFormat::Jpeg:
        scaleNote_->setText(QStringLiteral("1 to 100 on Tesselon's own scale (75 by default); "
                                           "other programs' numbers give other files."));
        break;
    case ImageFormat::Png:
        scaleNote_->setText(QStringLiteral("PNG keeps every pixel: no quality to choose."));
        break;
    case ImageFormat::Webp:
        scaleNote_->setText(format.lossless
                                ? QStringLiteral("Lossless WebP keeps every pixel.")
                                : QStringLiteral("1 to 100 on the WebP encoder's scale."));
        break;
    }
}

bool EditImageFormat(StillFormat& format, QWidget* parent, const RunModal& run) {
    CFormatDlg dialog(format, parent);
    if (run(dialog) != QDialog::Accepted)
        return false;
    format = dialog.Format();
    return true;
}

} // namespace images
