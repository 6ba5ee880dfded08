#include "app/grabber_app.h"

#include "app/main_frame.h"
#include "app/playback_objects.h"
#include "app/video_view.h"
#include "controls/about_dialog.h"
#include "controls/control_classes.h"
#include "platform/dialogs.h"
#include "platform/run_loop.h"
#include "res/app_strings.h"
#include "res/resource_ids.h"

#include <QAction>

#include <new>

CGameApp* gPresenter = nullptr;
CDShow* gSource = nullptr;

namespace {

void ShowFatal(const char* text) {
    platform::ShowMessage(QString::fromUtf8(text), QStringLiteral("FATAL ERROR"),
                          platform::MessageIcon::kError, platform::MessageButtons::kOk);
}

} // namespace

int UpdateFrame() {
    if (gSource == nullptr || gPresenter == nullptr) {
        platform::ReportIdle();
        return 0;
    }
    if (gSource->IsPaused()) {
        platform::ReportIdle();
        return 1;
    }
    if (!gSource->RenderEnabled()) {
        // The capture worker drives the source and the presenter meanwhile.
        platform::ReportIdle();
        return 0;
    }
    gSource->Render(gPresenter->Offscreen(), playback::kCaptureRect);
    if (gSource->IsOpen() && !gSource->IsPlaying())
        gSource->Play();
    const int result = gPresenter->BlitToWindow();
    // With nothing playing the presented picture stays on screen by itself;
    // wait for the next event instead of presenting it again and again.
    if (!gSource->IsOpen())
        platform::ReportIdle();
    return result;
}

CGrabberApp::CGrabberApp(Options options)
    : options_(std::move(options)) {
    platform::InstallStringTable(&res::LoadAppString);
}

CGrabberApp::~CGrabberApp() {
    ExitInstance();
}

bool CGrabberApp::InitInstance() {
    controls::RegisterControlClasses();

    mainFrame_ = new CMainFrame(options_.settingsFile);
    connect(mainFrame_, &QObject::destroyed, this, [this] {
        // The main window's end is the run loop's end.
        if (running_)
            platform::PostQuitMessage(0);
    });
    connect(mainFrame_->Action(res::ID_APP_ABOUT), &QAction::triggered, this,
            &CGrabberApp::OnAppAbout);
    mainFrame_->show();
    mainFrame_->repaint();

    mainFrame_->CreateSlider();
    if (!CreatePlaybackObjects(mainFrame_->View()))
        return false;
    if (!options_.startFile.isEmpty())
        mainFrame_->OpenFile(options_.startFile);
    return true;
}

bool CGrabberApp::CreatePlaybackObjects(QWidget* videoWindow) {
    gPresenter =
        options_.allocatePresenter ? options_.allocatePresenter() : new (std::nothrow) CGameApp();
    if (gPresenter == nullptr) {
        ShowFatal("Out of memory creating CGameApp object!\nReboot your system and try again!");
        return false;
    }
    if (!gPresenter->Init(kSurfaceWidth, kSurfaceHeight, kBitDepth, videoWindow, &UpdateFrame)) {
        gPresenter->Release();
        delete gPresenter;
        gPresenter = nullptr;
        return false;
    }
    gSource = options_.allocateSource ? options_.allocateSource(options_.source)
                                      : new (std::nothrow) CDShow(options_.source);
    if (gSource == nullptr) {
        ShowFatal("Out of memory creating CDShow object!\nReboot your system and try again!");
        return false;
    }
    return true;
}

int CGrabberApp::Run() {
    running_ = true;
    exitCode_ = gPresenter->RunMessageLoop();
    running_ = false;
    return ExitInstance();
}

int CGrabberApp::ExitInstance() {
    if (gPresenter != nullptr) {
        gPresenter->Release();
        delete gPresenter;
        gPresenter = nullptr;
    }
    if (gSource != nullptr) {
        delete gSource;
        gSource = nullptr;
    }
    DestroyMainFrame();
    return exitCode_;
}

int CGrabberApp::Main() {
    if (!InitInstance()) {
        DestroyMainFrame();
        ExitInstance();
        return 1;
    }
    return Run();
}

void CGrabberApp::DestroyMainFrame() {
    delete mainFrame_.data();
    mainFrame_ = nullptr;
}

void CGrabberApp::OnAppAbout() {
    controls::CAboutDlg about(mainFrame_);
    about.exec();
}
