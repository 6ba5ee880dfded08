// ImagesWindow: what the two images dialogs share. Each is a modal dialog
// titled "Tesselon Images" with menu 133 and icon 128, holding one or four
// tab windows whose sheets are the views of the captured images (one view per
// image and tab window). The dialog keeps its pictures in the video's shape:
// the frame rows of every picture show at the video's aspect, the label band
// below them at its proportional height, and the tab window's beam and bar
// outside the picture.
//
// The capture batch constructs a dialog, adds the images, and runs it
// modally; the images go back to the batch when the dialog ends.
//
// Every way of closing (the close box, Escape, Enter, done(), WM_CLOSE) goes
// through OnClose, which never ends the modal run while a save runs.
//
// User-interface thread only; saving workers reach the dialog through
// WM_IMAGE_SAVING (3001), WM_SAVING_DONE (3002) and WM_CLOSE.
#pragma once

#include "images/image_list.h"
#include "images/label_dialog.h"
#include "platform/client_aspect.h"
#include "platform/messages.h"

#include <QDialog>

#include <map>
#include <vector>

class QAction;
class QMenuBar;

namespace tesselon::controls {
class CGXTabWnd;
}

namespace tesselon::images {

class ImageView;

class ImagesWindow : public QDialog, public platform::MessageReceiver {
    Q_OBJECT

public:
    ~ImagesWindow() override;

    // Stores the next image of the batch (see ImageList::AddImage).
    bool AddImage(std::uint8_t* buffer, int size) { return list_.AddImage(buffer, size); }
    ImageList& List() { return list_; }
    const ImageList& List() const { return list_; }

    // Null before the dialog is first shown.
    controls::CGXTabWnd* TabWindow(int view) const;
    const std::vector<ImageView*>& Views(int view) const;
    int ViewCount() const { return static_cast<int>(tabWindows_.size()); }
    QAction* Command(int commandId) const;
    QMenuBar* MenuBar() const { return menuBar_; }

    // The client area (below the menu bar) and where each view's picture lies
    // in it.
    QSize ClientSize() const;
    QRect PictureRect(int view) const;

    // Shows image i in the first tab window and makes it current.
    void SelectImage(int index);
    // Enables or disables the menu commands (the table differs per dialog).
    virtual void SetCommandsEnabled(bool enabled) = 0;
    // Reads which image each tab window shows into the list.
    void UpdateCurrentImages();

    // How the dialog runs the label dialog and the About box; tests answer
    // them instead of showing them.
    void SetModalRunner(RunModal run) { runModal_ = std::move(run); }

    // The one close path: ends the modal run with result 0, unless a save
    // runs (then the close waits for the save's end).
    void OnClose();

    void done(int result) override;

protected:
    ImagesWindow(int count, int frameWidth, int frameHeight, const QStringList& names, int dialogId,
                 std::vector<int> tabWindowIds, QWidget* parent);

    // True while a save runs: closing then waits for its end.
    virtual bool SaveRunning() const { return false; }
    // The tab windows' cells in a client area of this size.
    virtual QRect TabWindowRect(int view, QSize client) const = 0;
    virtual int ViewsPerSide() const = 0;

    platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                    platform::LParam lParam) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateMenu();
    void Initialise();
    void CreateViews(int view);
    platform::PictureGrid Grid() const;
    void FitToFirstSize();
    QSize MaximumClientSize() const;
    void ResizeClient(QSize client);
    void LayOut();
    void OnLabel();
    void OnAbout();

    ImageList list_;
    const std::vector<int> tabWindowIds_;
    QMenuBar* menuBar_ = nullptr;
    std::map<int, QAction*> commands_;
    std::vector<controls::CGXTabWnd*> tabWindows_;
    std::vector<std::vector<ImageView*>> views_;
    RunModal runModal_ = ExecModal;
    bool initialised_ = false;
    bool ending_ = false;
};

} // namespace tesselon::images
