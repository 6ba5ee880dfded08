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
#include "images/save_job.h"
#include "images/save_preferences.h"
#include "platform/client_aspect.h"
#include "platform/client_fitter.h"
#include "platform/messages.h"

#include <QDialog>
#include <QPointer>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;

namespace controls {
class CGXTabWnd;
}

namespace images {

class CProgressDlg;
class ImageView;
struct SaveRun;

class ImagesWindow : public QDialog, public platform::MessageReceiver {
    Q_OBJECT

public:
    ~ImagesWindow() override;

    // Stores the next image of the batch (see ImageList::AddImage).
    [[nodiscard]] bool AddImage(picture::Picture& picture) { return list_.AddImage(picture); }
    ImageList& List() { return list_; }
    const ImageList& List() const { return list_; }

    // Null before the dialog is first shown.
    controls::CGXTabWnd* TabWindow(int view) const;
    const std::vector<ImageView*>& Views(int view) const;
    int ViewCount() const { return static_cast<int>(tabWindows_.size()); }
    QAction* Command(int commandId) const;
    QMenuBar* MenuBar() const { return menuBar_; }

    // At the window's least size every view's picture is at least this many
    // pixels on its shorter side, however small the video.
    static constexpr int kMinimumPictureSide = 96;

    // The client area (below the menu bar) and where each view's picture lies
    // in it.
    QSize ClientSize() const;
    // The least client area: the menu bar on one row, and every picture in
    // its shape and at least kMinimumPictureSide on its shorter side.
    QSize MinimumClientSize() const;
    QRect PictureRect(int view) const;

    // Shows image i in the first tab window and makes it current.
    void SelectImage(int index);
    // Control, Sharpest (F): shows the sharpest image in the tab window that
    // has the focus, or in the first.
    void ShowSharpest();
    // Enables or disables the menu commands (the table differs per dialog).
    virtual void SetCommandsEnabled(bool enabled) = 0;
    // Reads which image each tab window shows into the list.
    void UpdateCurrentImages();

    // How the dialog runs the label dialog and the About box; tests answer
    // them instead of showing them.
    void SetModalRunner(RunModal run) { runModal_ = std::move(run); }

    // The one close path: ends the modal run with result 0, unless a save
    // runs: then the save is cancelled and the dialog closes when it ends.
    void OnClose();

    // Where files are saved: the working directory at first, then the
    // directory of every file chosen in a save dialog.
    const std::filesystem::path& SaveDirectory() const { return saveDirectory_; }

    // The save directory, the label and the format as the program keeps
    // them: given before the window shows (a directory that is gone leaves
    // the working one), read back once it has closed. The directory read
    // back is empty until one is given or chosen.
    void SetPreferences(const SavePreferences& preferences);
    SavePreferences Preferences() const;
    // What a save to `target` writes: the format its extension names, else
    // the one chosen in Options, Image format, at the quality chosen there.
    StillFormat FormatForPath(const std::filesystem::path& target) const;
    // The name of the video the images come from, for a contact sheet's
    // header; empty when not given.
    void SetVideoName(const QString& name) { videoName_ = name; }
    const QString& VideoName() const { return videoName_; }
    // The format Save and Save all write.
    ImageFormat SaveFormat() const { return format_.format; }
    // The progress dialog of the save being prepared or run, or null.
    CProgressDlg* SavingProgress() const;

    void done(int result) override;

protected:
    ImagesWindow(int count, int frameWidth, int frameHeight, const QStringList& names,
                 picture::Shape shape, int dialogId, std::vector<int> tabWindowIds,
                 QWidget* parent);

    // True while a saving worker runs: closing then waits for its end.
    virtual bool SaveRunning() const;

    // The save commands; each dialog offers its own.
    virtual void OnSave() {}
    virtual void OnSaveAs() {}
    virtual void OnSaveAll() {}

    // The first steps of every save: a new progress dialog, the menu
    // commands disabled, the current images read, the label band stamped.
    void BeginSave();
    // A save given up before its worker started: the menu commands come back
    // and the progress dialog goes.
    void AbandonSave();
    // Tests the save directory; when no file can be made there, says so
    // (string 61204) and returns false.
    bool TestSaveDirectory();
    // For an existing target: asks whether to replace it (string 61205). On
    // Cancel the save is abandoned and false returned.
    bool ConfirmReplace(const std::filesystem::path& target);
    // When some of `targets` exist, asks once whether to replace them all,
    // keep both (the new files under other names, see KeepBothPaths) or
    // cancel; on Cancel the save is abandoned and false returned.
    bool ChooseSaveAllTargets(std::vector<std::filesystem::path>& targets);
    // The save-file dialog; the chosen file's directory becomes the save
    // directory. Nothing when cancelled.
    std::optional<std::filesystem::path> AskSavePath(const QString& initialName);
    // The file for a save of one picture: asked for until a file can be made
    // in its folder, an existing one replaced only when the user agrees.
    // Nothing when the user gave up (the save is abandoned then).
    std::optional<std::filesystem::path> ChooseOneSavePath(const QString& initialName);
    // A job for image `index` of the list, written to `target`.
    SaveJob JobFor(int index, const std::filesystem::path& target) const;

    enum class Worker { kSaveOne, kSaveAll };
    // Titles the progress dialog after the first job, sets its bar to step 1
    // over 0 to 10 and starts the worker.
    void StartSave(std::vector<SaveJob> jobs, Worker worker);
    // A command of the File menu, before Exit, for one dialog only.
    QAction* AddFileCommand(int commandId, const QString& text);
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
    // Each tab's tooltip says its image's sharpness; the sharpest tab is marked.
    void ShowSharpness();
    // The tab window that has the focus, or the first.
    int FocusedView() const;
    platform::PictureGrid Grid() const;
    void FitToFirstSize();
    void UpdateMinimumSize();
    // `client`, or the least client area when `client` is smaller; both are
    // in the pictures' shape.
    QSize AtLeastMinimum(QSize client) const;
    void LayOut();
    void OnLabel();
    void OnCopy();
    void OnAbout();
    void OnSavingDone(bool enable);

    ImageList list_;
    const std::vector<int> tabWindowIds_;
    QMenuBar* menuBar_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QString videoName_;
    std::unique_ptr<platform::ClientFitter> fitter_;
    std::map<int, QAction*> commands_;
    std::vector<controls::CGXTabWnd*> tabWindows_;
    std::vector<std::vector<ImageView*>> views_;
    RunModal runModal_ = ExecModal;
    std::filesystem::path saveDirectory_;
    // The directory given or chosen in a dialog, which the program keeps;
    // empty while the working directory stands in for it.
    std::filesystem::path chosenDirectory_;
    StillFormat format_;
    QPointer<CProgressDlg> progress_;
    std::shared_ptr<SaveRun> run_;
    bool closeWhenSaved_ = false;
    bool initialised_ = false;
    bool ending_ = false;
};

} // namespace images
