// CImagesDlg: the one-view images dialog (dialog 130): one tab window
// (control 1001) showing one image at a time, a tab per image named by its
// capture time. Save, Save as and Save all save from it.
//
// User-interface thread only.
#pragma once

#include "images/images_window.h"

namespace images {

class CImagesDlg : public ImagesWindow {
    Q_OBJECT

public:
    CImagesDlg(int count, int frameWidth, int frameHeight, const QStringList& names,
               picture::Shape shape, QWidget* parent = nullptr);

    // Save, Save as, Save all, Save contact sheet, Exit and Label together.
    void SetCommandsEnabled(bool enabled) override;

protected:
    QRect TabWindowRect(int view, QSize client) const override;
    int ViewsPerSide() const override { return 1; }

    // Save: the current image as <name>.JPG in the save directory, or, when
    // that directory cannot be written, where the save-file dialog says.
    void OnSave() override;
    // Save as: the current image under a name chosen in the save-file dialog.
    void OnSaveAs() override;
    // Save all: every image under its own name in the save directory,
    // replacing files without asking; cancelled between images.
    void OnSaveAll() override;

    // Save contact sheet: every image on one 10 × 10 sheet with a header,
    // under a name chosen in the save-file dialog.
    void OnSaveContactSheet();

public:
    // The last contact sheet saved.
    const picture::Picture& ContactSheet() const { return sheet_; }

private:
    // The common step of Save and Save as. False when the save directory
    // cannot be written (the caller offers the save-file dialog).
    bool SaveToPath(const std::filesystem::path& target);
    // The save-file dialog until a save starts or the user gives up.
    void SaveAsFromDialog();

    picture::Picture sheet_;
};

} // namespace images
