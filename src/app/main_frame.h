// CMainFrame: the program's only top-level window. Between its toolbar and
// its status bar lies the video view into which the presenter draws; the
// status bar carries the position slider (pane 0) and the position and
// duration panes. The frame opens and closes files through gSource, keeps its
// video view in the video's aspect, follows the stream's position once a
// second and turns slider drags into seeks.
//
// The client area is the frame below its menu bar: toolbar, view and status
// bar together, as on the original platform, where the menu lies outside it.
// The aspect rule applies to the view inside it, so that the picture keeps
// the video's shape with the bars shown or hidden; the frame stays within the
// screen's available area and never gets smaller than its whole menu bar.
//
// User-interface thread only. gMainWnd may be read by any thread.
#pragma once

#include "app/capture_host.h"
#include "platform/client_aspect.h"
#include "platform/client_fitter.h"
#include "platform/messages.h"

#include <QHash>
#include <QMainWindow>
#include <QRect>

#include <cstdint>
#include <memory>

class CaptureBatch;
class CVideoView;
class QAction;
class QLabel;
class QSlider;
class QToolBar;
class VideoViewEdge;

// The frame's message receiver; set when the frame is created, cleared when it
// is destroyed. Capture workers post and send to it.
extern platform::ReceiverHandle gMainWnd;
// 1 while the File and Control commands may run; a capture batch clears it.
extern int gCommandsEnabled;

class CMainFrame : public QMainWindow, public platform::MessageReceiver, public CaptureHost {
    Q_OBJECT

public:
    // The frame's default client size before a video sets it.
    static constexpr int kDefaultVideoWidth = 360;
    static constexpr int kDefaultVideoHeight = 240;
    static constexpr int kPaneWidth = 45;
    static constexpr int kTimerPeriodMs = 1000;
    // The view's smallest side, so that a tiny frame still shows a picture.
    static constexpr int kMinimumViewSide = 16;
    // The slider's least width, when the paused frame's label shares its pane.
    static constexpr int kMinimumSliderWidth = 48;
    // Filter list of the open-file dialog, as the dialog expects it: every
    // extension the program plays first, then the original list.
    static const QString kOpenFilter;

    enum class SizeType { Restored, Minimized, Maximized };

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Start-up: the slider in pane 0 of the status bar. 0 on success, -1 when
    // it exists already.
    int CreateSlider();
    void PlaceSlider();
    // Makes the client area videoRect's size, keeping the frame's top-left corner.
    void FitWindowToVideo();

    // Handlers, public so that the application and tests can drive them.
    void OnSize(SizeType type, int cx, int cy);
    void OnFileOpen();
    // Opens `path` as File, Open does after its dialog: the file open before
    // is closed first; a failure has shown its message. True when it opened.
    bool OpenFile(const QString& path);
    void OnFileClose();
    void OnFileExit();
    void OnTimer();
    // Enables or disables the commands that a capture batch must not run
    // alongside (Open, Close, Exit, Images, Images x 4), the toolbar and the
    // slider (a seek would break the batch's consecutive frames).
    void SetCommandsEnabled(bool enabled) override;

    // Control, Images and Images x 4.
    void OnCaptureImages();
    void OnCaptureImages4();

    // Control, frame by frame: Pause toggles; the steps pause first; the
    // jumps keep playing or stay paused as they find the source.
    static constexpr int kJumpSeconds = 5;
    void OnPause();
    void OnNextFrame();
    void OnPreviousFrame();
    void OnBack5Seconds();
    void OnForward5Seconds();
    void OnGoToStart();
    // Shows what the source does now: Pause checked while paused, and the
    // paused frame presented, with its number and time beside the slider.
    void ShowPlaybackState();
    // The slider and the position pane show where the stream is now.
    void FollowStreamPosition() override;
    CaptureBatch& Batch() const { return *batch_; }
    platform::ReceiverHandle MessageTarget() const override { return Handle(); }
    void CloseAfterBatch() override { close(); }

    // The command's action (menu and toolbar share it), or null.
    QAction* Action(int commandId) const { return actions_.value(commandId); }
    CVideoView* View() const;
    QToolBar* ToolBar() const { return toolBar_; }
    QSlider* Slider() const { return slider_; }
    QLabel* PositionPane() const { return positionPane_; }
    QLabel* DurationPane() const { return durationPane_; }
    // Beside the slider while paused: the frame's number and time.
    QLabel* FrameLabel() const { return frameLabel_; }

    // The client area's size now: the frame without its menu bar.
    QSize ClientSize() const;
    // What the client area holds beside the view's picture area: the bars
    // and the view's edge, as the frame's layout places them now.
    QSize ViewMargin() const;
    QRect VideoRect() const { return videoRect_; }
    int VideoWidth() const override { return videoWidth_; }
    int VideoHeight() const override { return videoHeight_; }
    float Aspect() const { return aspect_; }
    int DurationSeconds() const { return durationSeconds_; }
    int PositionSeconds() const { return positionSeconds_; }
    const QString& Path() const { return path_; }
    bool IsTimerRunning() const { return timerId_ != 0; }

protected:
    platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                    platform::LParam lParam) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateClient();
    void OnCreate();

    QAction* AddAction(int commandId, const QString& text);
    void JumpTo(std::int64_t streamTime);
    // A slider moved by the user while paused shows the frame there.
    void OnSliderMovedWhilePaused();
    // Widens the slider and the duration pane to a duration that grew.
    void FollowGrowingDuration();
    void SetSliderRange();
    void ShowPositionAndDuration();
    platform::PictureGrid Grid() const;
    // After the bars or the view's edge changed the view's size on their
    // own (a bar shown, hidden or docked elsewhere): the rule again.
    void ScheduleAspectCheck();
    void KeepViewInAspect();
    // Sets videoRect to a client size that the view shows in aspect.
    void SetFittedClient(QSize client);
    void UpdateMinimumSize();
    void DestroyFrame();

    QHash<int, QAction*> actions_;
    std::unique_ptr<platform::ClientFitter> fitter_;
    bool shown_ = false;
    bool aspectCheckScheduled_ = false;
    QToolBar* toolBar_ = nullptr;
    VideoViewEdge* viewEdge_ = nullptr;
    QWidget* sliderPane_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* positionPane_ = nullptr;
    QLabel* durationPane_ = nullptr;
    QLabel* frameLabel_ = nullptr;

    QString path_;
    QRect videoRect_{0, 0, kDefaultVideoWidth, kDefaultVideoHeight};
    int videoWidth_ = kDefaultVideoWidth;
    int videoHeight_ = kDefaultVideoHeight;
    // The view's picture area at the last fit: kept when a bar comes or goes.
    QSize picture_{kDefaultVideoWidth, kDefaultVideoHeight};
    float aspect_;
    int durationSeconds_ = 0;
    int positionSeconds_ = 0;
    int timerId_ = 0;
    std::unique_ptr<CaptureBatch> batch_;
};
