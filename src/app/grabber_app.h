// CGrabberApp: the application object. Start-up builds the main frame and the
// two playback objects (gPresenter, gSource); the run loop is the presenter's,
// which presents video whenever no event is waiting; shutdown releases both
// playback objects once.
//
// One instance per process, made after the QApplication. User-interface
// thread only.
#pragma once

#include "app/main_frame.h"
#include "playback/frame_capture.h"
#include "playback/video_source.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class CDShow;
class CGameApp;
class QWidget;

// One idle turn of the run loop: renders the source's next frame into the
// presenter's off-screen surface, restarts a stream that has ended, and
// presents. 1 while the source is paused (nothing is drawn), 0 while rendering
// is switched off, otherwise the result of the presenter's BlitToWindow.
int UpdateFrame();

class CGrabberApp : public QObject {
    Q_OBJECT

public:
    // Presenter set-up values.
    static constexpr int kSurfaceWidth = playback::kCaptureRect.Width();
    static constexpr int kSurfaceHeight = playback::kCaptureRect.Height();
    static constexpr int kBitDepth = 32;

    struct Options {
        playback::VideoSourceOptions source;
        // How the playback objects are allocated; a null answer is an
        // allocation that failed. Empty: plain allocation.
        std::function<CGameApp*()> allocatePresenter;
        std::function<CDShow*(const playback::VideoSourceOptions&)> allocateSource;
        // A file to open once the program has started (the command line's);
        // empty: none.
        QString startFile;
        // The settings file the program reads at start and keeps up to date
        // (UserSettingsFile() in the program); empty: settings in memory only.
        QString settingsFile;
    };

    // Installs the string table.
    explicit CGrabberApp(Options options = {});
    // Releases whatever ExitInstance has not released.
    ~CGrabberApp() override;
    CGrabberApp(const CGrabberApp&) = delete;
    CGrabberApp& operator=(const CGrabberApp&) = delete;

    // Control classes, main frame (shown, with its slider), playback objects,
    // then the start file, if any, opened as File, Open would (a failure shows
    // its message and the program goes on). True when the main frame and
    // both playback objects exist; a failure has shown one "FATAL ERROR"
    // message box.
    bool InitInstance();
    // The presenter's run loop until the main frame is destroyed; then
    // ExitInstance. Returns the exit code.
    int Run();
    // Releases the presenter and the source (each once) and destroys a main
    // frame that still exists. Returns the run loop's exit code.
    int ExitInstance();
    // Start-up, run and shutdown: the process's exit code, 1 for a failed start.
    int Main();

    // Help, About: the About box, modally.
    void OnAppAbout();

    CMainFrame* MainFrame() const { return mainFrame_; }

private:
    bool CreatePlaybackObjects(QWidget* videoWindow);
    void DestroyMainFrame();

    Options options_;
    QPointer<CMainFrame> mainFrame_;
    bool running_ = false;
    int exitCode_ = 0;
};
