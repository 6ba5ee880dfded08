// CImages4Dlg: the four-view images dialog (dialog 150): four tab windows
// (controls 1008, 1002, 1009 and 1010, top left, top right, bottom left,
// bottom right), each able to show any image. Save as saves the four views
// as one composite; Save and Save all stay disabled.
//
// User-interface thread only.
#pragma once

#include "images/images_window.h"

#include <vector>

namespace images {

class CImages4Dlg : public ImagesWindow {
    Q_OBJECT

public:
    CImages4Dlg(int count, int frameWidth, int frameHeight, const QStringList& names,
                picture::Shape shape, QWidget* parent = nullptr);

    // Enabling gives back Save as, Exit and Label; disabling takes all five.
    void SetCommandsEnabled(bool enabled) override;

    // Quarter `view` of a client area: halves by integer division, the left
    // and upper quarters one pixel narrower or shorter.
    static QRect QuarterRect(int view, QSize client);

    // The last composite saved (752 × 512 pixels of 4 bytes).
    const picture::Picture& Composite() const { return composite_; }

protected:
    QRect TabWindowRect(int view, QSize client) const override { return QuarterRect(view, client); }
    int ViewsPerSide() const override { return 2; }

    // Save as: the four views as one composite image, under a chosen name.
    void OnSaveAs() override;

private:
    picture::Picture composite_;
};

} // namespace images
