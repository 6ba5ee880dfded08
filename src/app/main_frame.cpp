#include "app/main_frame.h"

#include "app/capture_batch.h"
#include "app/go_to_dialog.h"
#include "app/open_messages.h"
#include "app/playback_objects.h"
#include "app/shown_frame.h"
#include "app/snapshot.h"
#include "app/video_view.h"
#include "controls/control_classes.h"
#include "images/format_dialog.h"
#include "images/opaque_image.h"
#include "images/save_paths.h"
#include "platform/dialogs.h"
#include "res/app_icons.h"
#include "res/app_strings.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>
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

#include <array>
#include <filesystem>
#include <optional>

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

// ---- The commands, one row each ----

using res::ToolbarIcon;

// The Edit commands' keys are written in their text only: the run loop never
// applied the original accelerators.
constexpr std::array kCommands{
    FrameCommand{.id = res::ID_FILE_OPEN,
                 .text = "&Open",
                 .standardKey = QKeySequence::Open,
                 .icon = ToolbarIcon::kOpen,
                 .menu = FrameMenu::kFile,
                 .toolbarGroup = 1,
                 .handler = &CMainFrame::OnFileOpen,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_FILE_CLOSE,
                 .text = "&Close",
                 .key = "Ctrl+W",
                 .menu = FrameMenu::kFile,
                 .handler = &CMainFrame::OnFileClose,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_APP_EXIT,
                 .text = "E&xit",
                 .key = "Ctrl+Q",
                 .menu = FrameMenu::kFile,
                 .menuGroup = 1,
                 .handler = &CMainFrame::OnFileExit,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_EDIT_UNDO,
                 .text = "&Undo\tCtrl+Z",
                 .menu = FrameMenu::kEdit,
                 .enabling = CommandEnabling::kNever},
    FrameCommand{.id = res::ID_EDIT_CUT,
                 .text = "Cu&t\tCtrl+X",
                 .menu = FrameMenu::kEdit,
                 .menuGroup = 1,
                 .enabling = CommandEnabling::kNever},
    FrameCommand{.id = res::ID_EDIT_COPY,
                 .text = "&Copy",
                 .key = "Ctrl+C",
                 .menu = FrameMenu::kEdit,
                 .menuGroup = 1,
                 .handler = &CMainFrame::OnEditCopy,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_EDIT_PASTE,
                 .text = "&Paste\tCtrl+V",
                 .menu = FrameMenu::kEdit,
                 .menuGroup = 1,
                 .enabling = CommandEnabling::kNever},
    FrameCommand{.id = res::ID_VIEW_TOOLBAR,
                 .text = "&Toolbar",
                 .menu = FrameMenu::kView,
                 .handler = &CMainFrame::OnViewToolBar,
                 .check = CommandCheck::kChecked},
    FrameCommand{.id = res::ID_VIEW_STATUS_BAR,
                 .text = "&Status Bar",
                 .menu = FrameMenu::kView,
                 .handler = &CMainFrame::OnViewStatusBar,
                 .check = CommandCheck::kChecked},
    FrameCommand{.id = res::ID_CONTROL_IMAGES,
                 .text = "&Images",
                 .icon = ToolbarIcon::kImages,
                 .menu = FrameMenu::kControl,
                 .toolbarGroup = 2,
                 .handler = &CMainFrame::OnCaptureImages,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_CONTROL_IMAGES4,
                 .text = "I&mages x 4",
                 .icon = ToolbarIcon::kImages4,
                 .menu = FrameMenu::kControl,
                 .toolbarGroup = 2,
                 .toolbarOrder = 1,
                 .handler = &CMainFrame::OnCaptureImages4,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_CONTROL_SNAPSHOT,
                 .text = "&Snapshot",
                 .key = "S",
                 .menu = FrameMenu::kControl,
                 .handler = &CMainFrame::OnSnapshot,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_CONTROL_PAUSE,
                 .text = "&Pause",
                 .key = "Space",
                 .icon = ToolbarIcon::kPause,
                 .menu = FrameMenu::kControl,
                 .menuGroup = 1,
                 .toolbarGroup = 3,
                 .toolbarOrder = 1,
                 .handler = &CMainFrame::OnPause,
                 .enabling = CommandEnabling::kWithCommandsFlag,
                 .check = CommandCheck::kUnchecked},
    FrameCommand{.id = res::ID_CONTROL_NEXT_FRAME,
                 .text = "&Next frame",
                 .key = ".",
                 .icon = ToolbarIcon::kNextFrame,
                 .menu = FrameMenu::kControl,
                 .menuGroup = 1,
                 .toolbarGroup = 3,
                 .toolbarOrder = 2,
                 .handler = &CMainFrame::OnNextFrame,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_CONTROL_PREVIOUS_FRAME,
                 .text = "P&revious frame",
                 .key = ",",
                 .icon = ToolbarIcon::kPreviousFrame,
                 .menu = FrameMenu::kControl,
                 .menuGroup = 1,
                 .toolbarGroup = 3,
                 .handler = &CMainFrame::OnPreviousFrame,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_CONTROL_BACK_5S,
                 .text = "Back 5 seconds",
                 .key = "Left",
                 .menu = FrameMenu::kControl,
                 .menuGroup = 1,
                 .handler = &CMainFrame::OnBack5Seconds,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_CONTROL_FORWARD_5S,
                 .text = "Forward 5 seconds",
                 .key = "Right",
                 .menu = FrameMenu::kControl,
                 .menuGroup = 1,
                 .handler = &CMainFrame::OnForward5Seconds,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_CONTROL_GO_TO_START,
                 .text = "Go to &start",
                 .key = "Home",
                 .menu = FrameMenu::kControl,
                 .menuGroup = 1,
                 .handler = &CMainFrame::OnGoToStart,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_CONTROL_GO_TO,
                 .text = "&Go to...",
                 .key = "Ctrl+G",
                 .menu = FrameMenu::kControl,
                 .menuGroup = 1,
                 .handler = &CMainFrame::OnGoTo,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    FrameCommand{.id = res::ID_OPTIONS_CAPTURE_FIXED,
                 .text = "&360 \u00D7 240",
                 .menu = FrameMenu::kOptions,
                 .submenu = "Capture &size",
                 .handler = &CMainFrame::OnCaptureSizeChosen,
                 .enabling = CommandEnabling::kWithCommandsFlag,
                 .check = CommandCheck::kChecked},
    FrameCommand{.id = res::ID_OPTIONS_CAPTURE_VIDEO,
                 .text = "&Video's own size",
                 .menu = FrameMenu::kOptions,
                 .submenu = "Capture &size",
                 .handler = &CMainFrame::OnCaptureSizeChosen,
                 .enabling = CommandEnabling::kWithCommandsFlag,
                 .check = CommandCheck::kUnchecked},
    FrameCommand{.id = res::ID_OPTIONS_IMAGE_FORMAT,
                 .text = "Image &format...",
                 .menu = FrameMenu::kOptions,
                 .menuGroup = 1,
                 .handler = &CMainFrame::OnImageFormat,
                 .enabling = CommandEnabling::kWithCommandsFlag},
    // Handled by the application (CGrabberApp::OnAppAbout).
    FrameCommand{.id = res::ID_APP_ABOUT,
                 .text = "&About Tesselon...",
                 .standardKey = QKeySequence::HelpContents,
                 .icon = ToolbarIcon::kAbout,
                 .menu = FrameMenu::kHelp,
                 .toolbarGroup = 4},
};

} // namespace

std::span<const FrameCommand> CMainFrame::Commands() {
    return kCommands;
}

CaptureHost CMainFrame::BatchHost() {
    CaptureHost host;
    host.messageTarget = Handle();
    host.enableCommands = [this](bool enabled) { SetCommandsEnabled(enabled); };
    host.videoSize = [this] { return QSize(VideoWidth(), VideoHeight()); };
    host.videoName = [this] { return QFileInfo(path_).fileName(); };
    host.captureSize = [this] { return CaptureSizeNow(); };
    host.savePreferences = [this] { return settings_.save; };
    host.keepSavePreferences = [this](const images::SavePreferences& preferences) {
        settings_.save = preferences;
        KeepSettings();
    };
    host.followStream = [this] { FollowStreamPosition(); };
    host.closeWindow = [this] { close(); };
    return host;
}

QSize CMainFrame::CaptureSizeNow() const {
    if (settings_.captureSize != CaptureSize::kVideo)
        return {};
    return VideoDisplaySize();
}

CMainFrame::CMainFrame(QString settingsFile, QWidget* parent)
    : QMainWindow(parent)
    , settingsFile_(std::move(settingsFile))
    , settings_(ReadUserSettings(settingsFile_))
    , batch_(std::make_unique<CaptureBatch>(BatchHost())) {
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
    Action(settings_.captureSize == CaptureSize::kVideo ? res::ID_OPTIONS_CAPTURE_VIDEO
                                                         : res::ID_OPTIONS_CAPTURE_FIXED)
        ->setChecked(true);
    ShowRecentVideos();
    if (!settings_.windowGeometry.isEmpty())
        restoreGeometry(settings_.windowGeometry);
    setAcceptDrops(true);
    // A frame starts with its commands enabled, whatever a frame before it
    // left: one closed during a capture batch never enabled them again.
    gCommandsEnabled = 1;
}

CMainFrame::~CMainFrame() {
    gMainWnd = {};
}

// ---- Building the frame ----

void CMainFrame::AddAction(const FrameCommand& command) {
    const QString text = tr(command.text);
    auto* action = new QAction(text, this);
    const QString prompt = platform::LoadString(command.id);
    action->setStatusTip(PromptPart(prompt));
    action->setToolTip(ToolTipPart(prompt, text));
    action->setData(command.id);
    if (command.icon != res::ToolbarIcon::kNone)
        action->setIcon(QIcon(res::ToolbarImage(command.icon)));
    action->setCheckable(command.check != CommandCheck::kNone);
    action->setChecked(command.check == CommandCheck::kChecked);
    action->setEnabled(command.enabling != CommandEnabling::kNever);
    action->setShortcuts(KeysOf(command));
    // Keys work through the frame itself, whatever bar is hidden.
    if (!action->shortcuts().isEmpty())
        addAction(action);
    if (command.handler != nullptr)
        connect(action, &QAction::triggered, this, command.handler);
    actions_.insert(command.id, action);
}

void CMainFrame::CreateActions() {
    for (const FrameCommand& command : Commands())
        AddAction(command);
}

void CMainFrame::CreateMenus() {
    for (const FrameMenuTitle& title : FrameMenuTitles()) {
        QMenu* menu = menuBar()->addMenu(tr(title.title));
        std::optional<int> group;
        QHash<QString, QMenu*> submenus;
        for (const FrameCommand& command : Commands()) {
            if (command.menu != title.menu)
                continue;
            if (group && *group != command.menuGroup)
                menu->addSeparator();
            group = command.menuGroup;
            QMenu* into = menu;
            if (command.submenu != nullptr) {
                const QString name = tr(command.submenu);
                if (!submenus.contains(name))
                    submenus.insert(name, menu->addMenu(name));
                into = submenus.value(name);
            }
            into->addAction(Action(command.id));
        }
        if (title.menu == FrameMenu::kFile) {
            // The videos opened lately, before Exit.
            recentMenu_ = new QMenu(tr("Recent &videos"), menu);
            menu->insertMenu(Action(res::ID_APP_EXIT), recentMenu_);
            menu->insertSeparator(Action(res::ID_APP_EXIT));
        }
    }
    auto* sizes = new QActionGroup(this);
    sizes->addAction(Action(res::ID_OPTIONS_CAPTURE_FIXED));
    sizes->addAction(Action(res::ID_OPTIONS_CAPTURE_VIDEO));
}

void CMainFrame::ShowRecentVideos() {
    recentMenu_->clear();
    for (const QString& path : settings_.recentVideos) {
        QAction* item = recentMenu_->addAction(QFileInfo(path).fileName());
        item->setToolTip(path);
        item->setStatusTip(path);
        connect(item, &QAction::triggered, this, [this, path] { OnRecentVideo(path); });
    }
    recentMenu_->setEnabled(!settings_.recentVideos.isEmpty() && gCommandsEnabled == 1);
}

void CMainFrame::OnRecentVideo(const QString& path) {
    if (gCommandsEnabled != 1)
        return;
    if (!QFileInfo::exists(path)) {
        platform::ShowMessage(platform::FormatString(res::IDS_RECENT_VIDEO_GONE, path),
                              platform::LoadString(res::IDS_APP_NAME),
                              platform::MessageIcon::kWarning, platform::MessageButtons::kOk);
        settings_.recentVideos.removeAll(path);
        KeepSettings();
        ShowRecentVideos();
        return;
    }
    OpenFile(path);
}

void CMainFrame::KeepSettings() {
    WriteUserSettings(settingsFile_, settings_);
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
    controls::SetControlId(toolBar_, res::ID_VIEW_TOOLBAR);
    toolBar_->setObjectName(QStringLiteral("toolBar"));
    toolBar_->setIconSize(QSize(16, 15));
    toolBar_->setMovable(true);
    toolBar_->setFloatable(true);
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    int group = 0;
    for (const FrameCommand* command : ToolbarOrder(Commands())) {
        if (group != 0 && command->toolbarGroup != group)
            toolBar_->addSeparator();
        group = command->toolbarGroup;
        toolBar_->addAction(Action(command->id));
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);

    QAction* toggle = Action(res::ID_VIEW_TOOLBAR);
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
    controls::SetControlId(bar, res::ID_VIEW_STATUS_BAR);
    panes_ = std::make_unique<PositionPanes>(*bar);
    position_ = std::make_unique<PlaybackPosition>(*panes_, *Action(res::ID_CONTROL_PAUSE));
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

    // The view takes the shape players show: pixels made square, the picture
    // turned. A format without a size leaves the default.
    const media::VideoFormat format = gSource->Format();
    if (format.width > 0 && format.height > 0) {
        const auto [width, height] =
            media::DisplaySize(format.width, format.height, format.sampleAspect);
        geometry_->ShowVideoSize(width, height);
    } else {
        geometry_->ShowVideoSize(ViewGeometry::kDefaultVideoWidth,
                                 ViewGeometry::kDefaultVideoHeight);
    }
    position_->Start();
    settings_.recentVideos = WithRecentVideo(settings_.recentVideos, path_);
    KeepSettings();
    ShowRecentVideos();
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

void CMainFrame::OnViewToolBar() {
    toolBar_->setVisible(Action(res::ID_VIEW_TOOLBAR)->isChecked());
}

void CMainFrame::OnViewStatusBar() {
    statusBar()->setVisible(Action(res::ID_VIEW_STATUS_BAR)->isChecked());
}

void CMainFrame::SetCommandsEnabled(bool enabled) {
    gCommandsEnabled = enabled ? 1 : 0;
    for (const FrameCommand& command : Commands())
        if (command.enabling == CommandEnabling::kWithCommandsFlag)
            Action(command.id)->setEnabled(enabled);
    toolBar_->setEnabled(enabled);
    if (Slider() != nullptr)
        Slider()->setEnabled(enabled);
    recentMenu_->setEnabled(enabled && !settings_.recentVideos.isEmpty());
    if (enabled)
        ShowPlaybackState();
}

void CMainFrame::OnCaptureImages() {
    batch_->Start(false);
}

void CMainFrame::OnCaptureImages4() {
    batch_->Start(true);
}

void CMainFrame::OnCaptureSizeChosen() {
    settings_.captureSize = Action(res::ID_OPTIONS_CAPTURE_VIDEO)->isChecked()
                                ? CaptureSize::kVideo
                                : CaptureSize::kFixed;
    KeepSettings();
}

void CMainFrame::OnImageFormat() {
    if (images::EditImageFormat(settings_.save.format, this, runModal_))
        KeepSettings();
}

// ---- One frame: the snapshot and the clipboard ----

void CMainFrame::OnSnapshot() {
    if (gSource == nullptr || !gSource->IsOpen())
        return;
    QSize size = CaptureSizeNow();
    if (size.isEmpty())
        size = QSize(playback::kCaptureRect.Width(), playback::kCaptureRect.Height());
    const images::SaveResult result = SaveSnapshot(size, settings_.save);
    const QString said =
        result.Written()
            ? platform::FormatString(res::IDS_SNAPSHOT_SAVED, images::ToText(result.path))
            : platform::FormatString(res::IDS_SNAPSHOT_FAILED, QString::fromStdString(result.reason));
    statusBar()->showMessage(said, kSnapshotMessageMs);
}

void CMainFrame::OnEditCopy() {
    const picture::Picture frame = ShownFramePicture(VideoDisplaySize(), 0);
    if (frame)
        QGuiApplication::clipboard()->setImage(
            images::OpaqueImage(frame.Pixels(), frame.Width(), frame.Height(), frame.Stride()));
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

void CMainFrame::OnGoTo() {
    if (gSource == nullptr || !gSource->IsOpen())
        return;
    const auto target = AskGoToTarget(goToText_, this, runModal_);
    if (!target)
        return;
    const QString problem = position_->GoTo(*target, goToText_);
    if (!problem.isEmpty())
        platform::ShowMessage(problem, windowTitle(), platform::MessageIcon::kInformation,
                              platform::MessageButtons::kOk);
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
    settings_.windowGeometry = saveGeometry();
    KeepSettings();
    hide();
    deleteLater();
}
