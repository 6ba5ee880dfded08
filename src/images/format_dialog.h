// Options, Image format: the format that Save, Save all and the snapshot
// write (JPEG by our encoder, PNG, WebP) and its quality. Save as writes the
// format of the file type chosen in its dialog instead.
//
// User-interface thread only.
#pragma once

#include "images/image_format.h"
#include "images/label_dialog.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

namespace images {

class CFormatDlg : public QDialog {
    Q_OBJECT

public:
    explicit CFormatDlg(const StillFormat& format, QWidget* parent = nullptr);

    // The format as the controls show it now.
    StillFormat Format() const;

    QComboBox* FormatBox() const { return formatBox_; }
    QSpinBox* QualityBox() const { return qualityBox_; }
    QCheckBox* LosslessBox() const { return losslessBox_; }

private:
    // Quality and lossless as the chosen format takes them.
    void ShowFormatChoices();

    QComboBox* formatBox_ = nullptr;
    QSpinBox* qualityBox_ = nullptr;
    QCheckBox* losslessBox_ = nullptr;
    QLabel* scaleNote_ = nullptr;
};

// Runs the dialog on `format`; on OK `format` takes what was chosen. Returns
// whether OK was pressed.
bool EditImageFormat(StillFormat& format, QWidget* parent, const RunModal& run = ExecModal);

} // namespace images
