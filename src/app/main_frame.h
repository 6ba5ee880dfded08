// CMainFrame: the program's only top-level window. Between its toolbar and
// its status bar lies the video view into which the presenter draws; the
// status bar carries the position slider (pane 0) and the position and
// duration panes. The frame holds the commands: it opens and closes files
// through gSource, runs capture batches and steps frame by frame. Its size
// around the view is ViewGeometry's; following and moving the stream's
// position is PlaybackPosition's.
//
// User-interface thread only. gMainWnd may be read by any thread.
#pragma once

#include "app/capture_host.h"
#include "app/frame_commands.h"
#include "app/playback_position.h"
#include "app/position_panes.h"
#include "app/user_settings.h"
#include "app/view_geometry.h"
#include "images/label_dialog.h"
#include "platform/messages.h"

#include <QHash>
#include <QMainWindow>
#include <QRect>

#include <memory>
#include <span>

class CaptureBatch;
class CVideoView;
class QAction;
class QLabel;
class QMenu;
class QSlider;
class QToolBar;
class VideoViewEdge;

// The frame's message receiver; set when the frame is created, cleared when it
// is destroyed. Capture workers post and send to it.
extern platform::ReceiverHandle gMainWnd;

class CMainFrame : public QMainWindow, public platform::MessageReceiver {
    Q_OBJECT

public:
    static constexpr int kMinimumViewSide = ViewGeometry::kMinimumViewSide;
    // Filter list of the open-file dialog, as the dialog expects it: every
    // extension the program plays first, then the original list.
    static const QString kOpenFilter;

    using SizeType = ViewGeometry::SizeType;

    // The frame's commands, one row each (frame_commands.h), in the order
    // that the menus list them.
    static std::span<const FrameCommand> Commands();

    // The settings are read from settingsFile and written back to it
    // whenever they change; none: they stay in memory.
    explicit CMainFrame(QString settingsFile = {}, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Start-up: the slider in pane 0 of the status bar. 0 on success, -1 when
    // it exists already.
    int CreateSlider() { return position_->CreateSlider(); }

    // Handlers, public so that the application and tests can drive them.
    void OnSize(SizeType type, int cx, int cy) { geometry_->OnSize(type, cx, cy); }
    void OnFileOpen();
    // Opens `path` as File, Open does after its dialog: the file open before
    // is closed first; a failure has shown its message. True when it opened.
    bool OpenFile(const QString& path);
    void OnFileClose();
    void OnFileExit();
    // View, Toolbar and Status Bar: the bar shows as the command is checked.
    void OnViewToolBar();
    void OnViewStatusBar();
    void OnTimer() { position_->OnTimer(); }
    // Enables or disables the commands that a capture batch must not run
    // alongside (the rows of Commands() that follow the flag), the toolbar
    // and the slider (a seek would break the batch's consecutive frames).
    void SetCommandsEnabled(bool enabled);

    // Control, Images and Images x 4.
    void OnCaptureImages();
    void OnCaptureImages4();
    // Control, Snapshot: the frame on show into the save directory, named as
    // the batch names frames and never over a file; the status bar says where.
    void OnSnapshot();
    // Edit, Copy: the frame on show at the video's own size, to the clipboard.
    void OnEditCopy();
    // Options, Capture size and Image format.
    void OnCaptureSizeChosen();
    void OnImageFormat();
    // How the frame runs its dialogs (Options, Image format); tests answer
    // them instead of showing them.
    void SetModalRunner(images::RunModal run) { runModal_ = std::move(run); }
    // How long the status bar says where a snapshot went.
    static constexpr int kSnapshotMessageMs = 4000;
    const UserSettings& Settings() const { return settings_; }
    QMenu* RecentVideosMenu() const { return recentMenu_; }

    // Control, frame by frame (PlaybackPosition).
    void OnPause();
    void OnNextFrame();
    void OnPreviousFrame();
    void OnBack5Seconds();
    void OnForward5Seconds();
    void OnGoToStart();
    void OnGoTo();
    // Shows what the source does now: Pause checked while paused, and the
    // paused frame presented, with its number and time beside the slider.
    void ShowPlaybackState() { position_->ShowPlaybackState(); }
    // The slider and the position pane show where the stream is now.
    void FollowStreamPosition() { position_->FollowStreamPosition(); }
    CaptureBatch& Batch() const { return *batch_; }

    // The command's action (menu and toolbar share it), or null.
    QAction* Action(int commandId) const { return actions_.value(commandId); }
    CVideoView* View() const;
    QToolBar* ToolBar() const { return toolBar_; }
    QSlider* Slider() const { return panes_->Slider(); }
    QLabel* PositionPane() const { return panes_->PositionPane(); }
    QLabel* DurationPane() const { return panes_->DurationPane(); }
    // Beside the slider while paused: the frame's number and time.
    QLabel* FrameLabel() const { return panes_->FrameLabel(); }

    // The client area's size now: the frame without its menu bar.
    QSize ClientSize() const { return geometry_->ClientSize(); }
    // What the client area holds beside the view's picture area.
    QSize ViewMargin() const { return geometry_->ViewMargin(); }
    QRect VideoRect() const { return geometry_->VideoRect(); }
    int VideoWidth() const { return geometry_->VideoWidth(); }
    int VideoHeight() const { return geometry_->VideoHeight(); }
    float Aspect() const { return geometry_->Aspect(); }
    int DurationSeconds() const { return position_->DurationSeconds(); }
    int PositionSeconds() const { return position_->PositionSeconds(); }
    const QString& Path() const { return path_; }
    bool IsTimerRunning() const { return position_->IsFollowing(); }

protected:
    platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                    platform::LParam lParam) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // What the capture batch may ask of the frame.
    CaptureHost BatchHost();
    // The size the batch and the snapshot take frames at: empty for 360 ×
    // 240, else the video's own.
    QSize CaptureSizeNow() const;
    void ShowRecentVideos();
    void OnRecentVideo(const QString& path);
    void KeepSettings();
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void OnCreate();

    void AddAction(const FrameCommand& command);
    void DestroyFrame();

    QHash<int, QAction*> actions_;
    std::unique_ptr<ViewGeometry> geometry_;
    std::unique_ptr<PositionPanes> panes_;
    std::unique_ptr<PlaybackPosition> position_;
    QToolBar* toolBar_ = nullptr;
    VideoViewEdge* viewEdge_ = nullptr;
    QString path_;
    const QString settingsFile_;
    UserSettings settings_;
    QMenu* recentMenu_ = nullptr;
    images::RunModal runModal_ = images::ExecModal;
    // The text last entered in Go to, offered again.
    QString goToText_;
    std::unique_ptr<CaptureBatch> batch_;
};
