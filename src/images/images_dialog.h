// CImagesDlg: the one-view images dialog (dialog 130): one tab window
// (control 1001) showing one image at a time, a tab per image named by its
// capture time. Save, Save as and Save all save from it.
//
// User-interface thread only.
#pragma once

#include "images/images_window.h"

namespace tesselon::images {

class CImagesDlg : public ImagesWindow {
    Q_OBJECT

public:
    CImagesDlg(int count, int frameWidth, int frameHeight, const QStringList& names,
               QWidget* parent = nullptr);

    // Save, Save as, Save all, Exit and Label together.
    void SetCommandsEnabled(bool enabled) override;

protected:
    QRect TabWindowRect(int view, QSize client) const override;
    int ViewsPerSide() const override { return 1; }
};

} // namespace tesselon::images
