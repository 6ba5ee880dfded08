#include "app/main_frame.h"

#include "app/capture_batch.h"
#include "app/open_messages.h"
#include "app/playback_objects.h"
#include "app/video_view.h"
#include "controls/control_classes.h"
#include "platform/dialogs.h"
#include "res/app_icons.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QResizeEvent>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>

#include <filesystem>
#include <tuple>

platform::ReceiverHandle gMainWnd;
int gCommandsEnabled = 1;

const QString CMainFrame::kOpenFilter =
    QStringLiteral("Video files|*.mpeg;*.mpg;*.m1v;*.mp2;*.mpe;*.vob;*.ts;*.m2ts;*.mts;"
                   "*.asf;*.asx;*.wmv;*.avi;*.rm;*.rmvb;*.mp4;*.m4v;*.mov;*.3gp;*.mkv;"
                   "*.webm;*.flv;*.ogv;*.ogg|"
                   "Movie File (MPEG) (*,mpeg,*.mpg,*.m1v,*.mp2)|*.mpeg;*.mpg;*.m1v;*.mp2|"
                   "Active Streaming Format (*.asf)|*.asf|"
                   "Active Streaming Redirector (*.asx)|*.asx|"
                   "Audio Video Interleave Format (*.avi)|*.avi|"
                   "RealAudio/RealVideo (*.rm)|*.rm|"
                   "Wave Audio (*.wav)|*.wav|"
                   "All Files (*.*)|*.*||");

namespace {

// A prompt string holds "status bar prompt\ntool tip".
QString PromptPart(const QString& prompt) {
    return prompt.section(u'\n', 0, 0);
}

QString ToolTipPart(const QString& prompt, const QString& menuText) {
    if (prompt.contains(u'\n'))
        return prompt.section(u'\n', 1, 1);
    QString plain = menuText.section(u'\t', 0, 0);
    return plain.remove(u'&');
}

// The one local file that a drag carries, or nothing.
std::optional<QString> DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().constFirst().isLocalFile())
        return std::nullopt;
    return data->urls().constFirst().toLocalFile();
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent)
    , batch_(std::make_unique<CaptureBatch>(*this)) {
    setWindowTitle(platform::LoadString(res::IDS_APP_NAME));
    setWindowIcon(res::AppIcon());
    CreateActions();
    CreateMenus();
    // The slider settles in its pane after every fit; it comes with the status bar.
    geometry_ = std::make_unique<ViewGeometry>(*this, [this] {
        if (panes_ != nullptr)
            panes_->PlaceSlider();
    });
    geometry_->StartAtDefaultSize();
    OnCreate();
    setAcceptDrops(true);
    // A frame starts with its commands enabled, whatever a frame before it
    // left: one closed during a capture batch never enabled them again.
    gCommandsEnabled = 1;
}

CMainFrame::~CMainFrame() {
    gMainWnd = {};
}

// ---- Building the frame ----

QAction* CMainFrame::AddAction(int commandId, const QString& text) {
    auto* action = new QAction(text, this);
    const QString prompt = platform::LoadString(commandId);
    action->setStatusTip(PromptPart(prompt));
    action->setToolTip(ToolTipPart(prompt, text));
    action->setData(commandId);
    actions_.insert(commandId, action);
    return action;
}

void CMainFrame::CreateActions() {
    connect(AddAction(res::ID_FILE_OPEN, tr("&Open")), &QAction::triggered, this,
            &CMainFrame::OnFileOpen);
    connect(AddAction(res::ID_FILE_CLOSE, tr("&Close")), &QAction::triggered, this,
            &CMainFrame::OnFileClose);
    connect(AddAction(res::ID_APP_EXIT, tr("E&xit")), &QAction::triggered, this,
            &CMainFrame::OnFileExit);

    // The Edit commands have no handler, so they are never enabled. Their
    // accelerators are not applied by the run loop either.
    for (auto [id, text] : {std::pair{res::ID_EDIT_UNDO, "&Undo\tCtrl+Z"},
                            std::pair{res::ID_EDIT_CUT, "Cu&t\tCtrl+X"},
                            std::pair{res::ID_EDIT_COPY, "&Copy\tCtrl+C"},
                            std::pair{res::ID_EDIT_PASTE, "&Paste\tCtrl+V"}})
        AddAction(id, tr(text))->setEnabled(false);

    QAction* toolbar = AddAction(res::ID_VIEW_TOOLBAR, tr("&Toolbar"));
    toolbar->setCheckable(true);
    toolbar->setChecked(true);
    QAction* statusBarAction = AddAction(res::ID_VIEW_STATUS_BAR, tr("&Status Bar"));
    statusBarAction->setCheckable(true);
    statusBarAction->setChecked(true);

    connect(AddAction(res::ID_CONTROL_IMAGES, tr("&Images")), &QAction::triggered, this,
            &CMainFrame::OnCaptureImages);
    connect(AddAction(res::ID_CONTROL_IMAGES4, tr("I&mages x 4")), &QAction::triggered, this,
            &CMainFrame::OnCaptureImages4);

    QAction* pause = AddAction(res::ID_CONTROL_PAUSE, tr("&Pause"));
    pause->setCheckable(true);
    connect(pause, &QAction::triggered, this, &CMainFrame::OnPause);
    for (auto [id, text, handler, key] :
         {std::tuple{res::ID_CONTROL_PAUSE, "", &CMainFrame::OnPause, "Space"},
          std::tuple{res::ID_CONTROL_NEXT_FRAME, "&Next frame", &CMainFrame::OnNextFrame, "."},
          std::tuple{res::ID_CONTROL_PREVIOUS_FRAME, "P&revious frame",
                     &CMainFrame::OnPreviousFrame, ","},
          std::tuple{res::ID_CONTROL_BACK_5S, "Back 5 seconds", &CMainFrame::OnBack5Seconds,
                     "Left"},
          std::tuple{res::ID_CONTROL_FORWARD_5S, "Forward 5 seconds",
                     &CMainFrame::OnForward5Seconds, "Right"},
          std::tuple{res::ID_CONTROL_GO_TO_START, "Go to &start", &CMainFrame::OnGoToStart,
                     "Home"}}) {
        QAction* action = Action(id);
        if (action == nullptr) {
            action = AddAction(id, tr(text));
            connect(action, &QAction::triggered, this, handler);
        }
        action->setShortcut(QKeySequence(QString::fromLatin1(key)));
        // Held down, a step key repeats: stepping back walks through the video.
        action->setAutoRepeat(true);
        addAction(action);
    }

    // Handled by the application (CGrabberApp::OnAppAbout).
    AddAction(res::ID_APP_ABOUT, tr("&About Tesselon..."));

    // The keys Linux desktops use for these commands. A disabled action's
    // key does nothing, so the keys follow the commands' enabling.
    for (auto [id, key] :
         {std::pair{res::ID_FILE_OPEN, "Ctrl+O"}, std::pair{res::ID_FILE_CLOSE, "Ctrl+W"},
          std::pair{res::ID_APP_EXIT, "Ctrl+Q"}, std::pair{res::ID_APP_ABOUT, "F1"}}) {
        Action(id)->setShortcut(QKeySequence(QString::fromLatin1(key)));
        // Keys work through the frame itself, whatever bar is hidden.
        addAction(Action(id));
    }
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(Action(res::ID_FILE_OPEN));
    file->addAction(Action(res::ID_FILE_CLOSE));
    file->addSeparator();
    file->addAction(Action(res::ID_APP_EXIT));

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(Action(res::ID_EDIT_UNDO));
    edit->addSeparator();
    edit->addAction(Action(res::ID_EDIT_CUT));
    edit->addAction(Action(res::ID_EDIT_COPY));
    edit->addAction(Action(res::ID_EDIT_PASTE));

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(Action(res::ID_VIEW_TOOLBAR));
    view->addAction(Action(res::ID_VIEW_STATUS_BAR));

    QMenu* control = menuBar()->addMenu(tr("&Control"));
    control->addAction(Action(res::ID_CONTROL_IMAGES));
    control->addAction(Action(res::ID_CONTROL_IMAGES4));
    control->addSeparator();
    for (int id :
         {res::ID_CONTROL_PAUSE, res::ID_CONTROL_NEXT_FRAME, res::ID_CONTROL_PREVIOUS_FRAME,
          res::ID_CONTROL_BACK_5S, res::ID_CONTROL_FORWARD_5S, res::ID_CONTROL_GO_TO_START})
        control->addAction(Action(id));

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(Action(res::ID_APP_ABOUT));
}

void CMainFrame::OnCreate() {
    viewEdge_ = new VideoViewEdge(this);
    geometry_->AttachView(*viewEdge_);
    setCentralWidget(viewEdge_);
    CreateToolBar();
    CreateStatusBar();
    gMainWnd = Handle();
}

void CMainFrame::CreateToolBar() {
    toolBar_ = new QToolBar(tr("Standard"), this);
    tesselon::controls::SetControlId(toolBar_, res::ID_VIEW_TOOLBAR);
    toolBar_->setObjectName(QStringLiteral("toolBar"));
    toolBar_->setIconSize(QSize(16, 15));
    toolBar_->setMovable(true);
    toolBar_->setFloatable(true);
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    for (int id : {res::ID_FILE_OPEN, res::ID_CONTROL_IMAGES, res::ID_CONTROL_IMAGES4,
                   res::ID_CONTROL_PREVIOUS_FRAME, res::ID_CONTROL_PAUSE,
                   res::ID_CONTROL_NEXT_FRAME, res::ID_APP_ABOUT}) {
        Action(id)->setIcon(QIcon(res::ToolbarImage(id)));
        toolBar_->addAction(Action(id));
        if (id == res::ID_FILE_OPEN || id == res::ID_CONTROL_IMAGES4 ||
            id == res::ID_CONTROL_NEXT_FRAME)
            toolBar_->addSeparator();
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);

    QAction* toggle = Action(res::ID_VIEW_TOOLBAR);
    connect(toggle, &QAction::toggled, toolBar_, &QWidget::setVisible);
    // Docked on another side, the toolbar takes the view's width instead.
    connect(toolBar_, &QToolBar::orientationChanged, geometry_.get(),
            &ViewGeometry::ScheduleAspectCheck);
    connect(toolBar_, &QToolBar::visibilityChanged, toggle, [this, toggle](bool) {
        // Closing a floating toolbar hides it too; keep the check in step.
        toggle->setChecked(!toolBar_->isHidden());
    });
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    tesselon::controls::SetControlId(bar, res::ID_VIEW_STATUS_BAR);
    panes_ = std::make_unique<PositionPanes>(*bar);
    position_ = std::make_unique<PlaybackPosition>(*panes_, *Action(res::ID_CONTROL_PAUSE));
    QAction* toggle = Action(res::ID_VIEW_STATUS_BAR);
    connect(toggle, &QAction::toggled, bar, &QWidget::setVisible);
}

CVideoView* CMainFrame::View() const {
    return viewEdge_ != nullptr ? viewEdge_->View() : nullptr;
}

void CMainFrame::showEvent(QShowEvent* event) {
    geometry_->OnShow();
    QMainWindow::showEvent(event);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    geometry_->OnResized();
}

// ---- Commands ----

void CMainFrame::OnFileOpen() {
    platform::FileDialogOptions options;
    options.filter = kOpenFilter;
    options.defaultExtension = QStringLiteral("mpg");
    const std::optional<QString> chosen = platform::AskOpenFile(options);
    if (!chosen)
        return;
    OpenFile(*chosen);
}

bool CMainFrame::OpenFile(const QString& path) {
    OnFileClose();
    path_ = QFileInfo(path).absoluteFilePath();
    if (gSource == nullptr || gPresenter == nullptr)
        return false;
    const playback::OpenResult opened =
        gSource->Open(std::filesystem::path(path_.toStdString()), gPresenter->Device());
    if (!opened) {
        ShowOpenFailure(opened, path_);
        return false;
    }

    // A format the stream cannot give, or an empty one, leaves the frame's
    // size as the off-screen surface has it.
    platform::SurfaceDescription format;
    const bool known =
        gSource->GetFormat(&format) == platform::DD_OK && format.width > 0 && format.height > 0;
    geometry_->ShowVideoSize(known ? format.width : ViewGeometry::kDefaultVideoWidth,
                             known ? format.height : ViewGeometry::kDefaultVideoHeight);
    position_->Start();
    return true;
}

void CMainFrame::OnFileClose() {
    if (gSource != nullptr) {
        gSource->Stop();
        gSource->Close();
    }
    path_.clear();
    position_->Stop();
}

void CMainFrame::OnFileExit() {
    OnFileClose();
    DestroyFrame();
}

void CMainFrame::SetCommandsEnabled(bool enabled) {
    gCommandsEnabled = enabled ? 1 : 0;
    for (int id : {res::ID_FILE_OPEN, res::ID_FILE_CLOSE, res::ID_APP_EXIT, res::ID_CONTROL_IMAGES,
                   res::ID_CONTROL_IMAGES4, res::ID_CONTROL_PAUSE, res::ID_CONTROL_NEXT_FRAME,
                   res::ID_CONTROL_PREVIOUS_FRAME, res::ID_CONTROL_BACK_5S,
                   res::ID_CONTROL_FORWARD_5S, res::ID_CONTROL_GO_TO_START})
        Action(id)->setEnabled(enabled);
    toolBar_->setEnabled(enabled);
    if (Slider() != nullptr)
        Slider()->setEnabled(enabled);
    if (enabled)
        ShowPlaybackState();
}

void CMainFrame::OnCaptureImages() {
    batch_->Start(false);
}

void CMainFrame::OnCaptureImages4() {
    batch_->Start(true);
}

// ---- Frame by frame ----

void CMainFrame::OnPause() {
    position_->PauseToggle();
}

void CMainFrame::OnNextFrame() {
    position_->NextFrame();
}

void CMainFrame::OnPreviousFrame() {
    position_->PreviousFrame();
}

void CMainFrame::OnBack5Seconds() {
    position_->Back5Seconds();
}

void CMainFrame::OnForward5Seconds() {
    position_->Forward5Seconds();
}

void CMainFrame::OnGoToStart() {
    position_->GoToStart();
}

// ---- Messages, drops, closing ----

platform::LResult CMainFrame::HandleMessage(platform::MessageId message, platform::WParam,
                                            platform::LParam) {
    switch (message) {
    case platform::WM_CAPTURE_DONE:
        batch_->OnCaptureDone();
        return 0;
    case platform::WM_IMAGES_FREED:
        batch_->OnImagesFreed();
        return 0;
    case platform::WM_CAPTURE_CANCELLED:
        batch_->OnCaptureCancelled();
        return 0;
    case platform::WM_CLOSE:
        // Posted by the freeing worker when a close waited for the batch.
        batch_->OnImagesFreed();
        return 0;
    default:
        return 0;
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    // Like File, Open: not while a capture batch runs.
    if (gCommandsEnabled == 1 && DroppedFile(event->mimeData()))
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const std::optional<QString> file = DroppedFile(event->mimeData());
    if (gCommandsEnabled != 1 || !file)
        return;
    event->acceptProposedAction();
    // Opened once the drop is over: the file manager that dragged waits for
    // the drop's answer, and a failed open shows a modal message.
    QMetaObject::invokeMethod(
        this,
        [this, path = *file] {
            if (gCommandsEnabled == 1)
                OpenFile(path);
        },
        Qt::QueuedConnection);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Never refused: during a batch it becomes a cancel, and the frame closes
    // once the buffers are freed.
    if (batch_->Running()) {
        event->ignore();
        batch_->RequestClose();
        return;
    }
    event->accept();
    DestroyFrame();
}

// The window goes at once; the object is deleted by the run loop's next
// turn, which also ends the loop when this is the application's main window.
void CMainFrame::DestroyFrame() {
    hide();
    deleteLater();
}
