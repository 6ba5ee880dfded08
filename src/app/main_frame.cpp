#include "app/main_frame.h"

#include "app/capture_batch.h"
#include "app/status_texts.h"
#include "app/open_messages.h"
#include "app/playback_objects.h"
#include "app/video_view.h"
#include "controls/control_classes.h"
#include "platform/client_aspect.h"
#include "platform/dialogs.h"
#include "res/app_icons.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QResizeEvent>
#include <QSlider>
#include <QStatusBar>
#include <QTimerEvent>
#include <QToolBar>

#include <QSignalBlocker>

#include <algorithm>
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
    , aspect_(platform::AspectOf(videoRect_.width(), videoRect_.height()))
    , batch_(std::make_unique<CaptureBatch>(*this)) {
    setWindowTitle(platform::LoadString(res::IDS_APP_NAME));
    setWindowIcon(res::AppIcon());
    CreateActions();
    CreateMenus();
    fitter_ = std::make_unique<platform::ClientFitter>(*this, menuWidget());
    CreateClient();
    OnCreate();
    setAcceptDrops(true);
    // A frame starts with its commands enabled, whatever a frame before it
    // left: one closed during a capture batch never enabled them again.
    gCommandsEnabled = 1;
}

CMainFrame::~CMainFrame() {
    if (timerId_ != 0)
        killTimer(timerId_);
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

// The frame starts with a client area of videoRect's size at the
// platform's default position; the first show gives the view that size.
void CMainFrame::CreateClient() {
    resize(fitter_->WindowSizeFor(videoRect_.size()));
    videoRect_ = QRect(QPoint(0, 0), ClientSize());
}

void CMainFrame::OnCreate() {
    viewEdge_ = new VideoViewEdge(this);
    viewEdge_->SetPictureAspect(aspect_);
    connect(viewEdge_, &VideoViewEdge::Resized, this, &CMainFrame::ScheduleAspectCheck);
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
    connect(toolBar_, &QToolBar::orientationChanged, this, &CMainFrame::ScheduleAspectCheck);
    connect(toolBar_, &QToolBar::visibilityChanged, toggle, [this, toggle](bool) {
        // Closing a floating toolbar hides it too; keep the check in step.
        toggle->setChecked(!toolBar_->isHidden());
    });
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    tesselon::controls::SetControlId(bar, res::ID_VIEW_STATUS_BAR);
    // Pane 0 stretches and holds the slider; a prompt shown in the status bar
    // covers it for as long as the prompt is shown.
    sliderPane_ = new QWidget(bar);
    auto* layout = new QHBoxLayout(sliderPane_);
    layout->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(sliderPane_, 1);

    const auto makePane = [bar](int id) {
        auto* pane = new QLabel(platform::LoadString(id), bar);
        tesselon::controls::SetControlId(pane, id);
        // 8 points of "Arial" at 96 dpi: the longest time, 00:00:00, fits the
        // pane's 45 pixels.
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(11);
        pane->setFont(font);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setLineWidth(1);
        pane->setFixedWidth(kPaneWidth + 2 * pane->frameWidth());
        bar->addPermanentWidget(pane);
        return pane;
    };
    positionPane_ = makePane(res::ID_INDICATOR_POSITION);
    durationPane_ = makePane(res::ID_INDICATOR_DURATION);

    // Before the slider while paused, in the panes' font. In a narrow window
    // the text is cut rather than the slider squeezed away; the slider's
    // tooltip holds it whole.
    frameLabel_ = new QLabel(sliderPane_);
    frameLabel_->setObjectName(QStringLiteral("frameLabel"));
    frameLabel_->setFont(positionPane_->font());
    frameLabel_->setMinimumWidth(1);
    frameLabel_->hide();
    sliderPane_->layout()->addWidget(frameLabel_);

    QAction* toggle = Action(res::ID_VIEW_STATUS_BAR);
    connect(toggle, &QAction::toggled, bar, &QWidget::setVisible);
}

int CMainFrame::CreateSlider() {
    if (slider_ != nullptr)
        return -1;
    slider_ = new QSlider(Qt::Horizontal, sliderPane_);
    tesselon::controls::SetControlId(slider_, res::IDC_POSITION_SLIDER);
    // The slider only gets keyboard focus when clicked, as a status bar child.
    slider_->setFocusPolicy(Qt::ClickFocus);
    slider_->setMinimumWidth(kMinimumSliderWidth);
    sliderPane_->layout()->addWidget(slider_);
    slider_->show();
    connect(slider_, &QSlider::sliderReleased, this, &CMainFrame::OnSliderMovedWhilePaused);
    connect(slider_, &QAbstractSlider::actionTriggered, this, [this](int action) {
        // The value changes after this signal, and a drag counts at its release.
        if (action != QAbstractSlider::SliderMove)
            QMetaObject::invokeMethod(this, &CMainFrame::OnSliderMovedWhilePaused,
                                      Qt::QueuedConnection);
    });
    return 0;
}

void CMainFrame::PlaceSlider() {
    // The slider fills pane 0 through the pane's layout; settle it now.
    if (slider_ != nullptr)
        sliderPane_->layout()->activate();
}

CVideoView* CMainFrame::View() const {
    return viewEdge_ != nullptr ? viewEdge_->View() : nullptr;
}

// ---- Geometry ----

QSize CMainFrame::ClientSize() const {
    return fitter_->ClientSize();
}

QSize CMainFrame::ViewMargin() const {
    // A bar shown or hidden since the last layout is placed now.
    if (layout() != nullptr)
        layout()->activate();
    return ClientSize() - viewEdge_->contentsRect().size();
}

platform::PictureGrid CMainFrame::Grid() const {
    return platform::PictureGrid{1, ViewMargin(), aspect_};
}

// The first size: the view at the default video size, once the bars have
// their shown sizes and before the window appears.
void CMainFrame::showEvent(QShowEvent* event) {
    if (!shown_) {
        shown_ = true;
        SetFittedClient(Grid().ClientForPicture(QSize(videoWidth_, videoHeight_),
                                                fitter_->MaximumClientSize()));
        UpdateMinimumSize();
        FitWindowToVideo();
    }
    QMainWindow::showEvent(event);
}

// At least the whole menu bar and a view of a few pixels, however the user
// drags; never more than the screen has room for.
void CMainFrame::UpdateMinimumSize() {
    const QSize margin = ViewMargin();
    const int menuWidth = menuWidget() != nullptr ? menuWidget()->sizeHint().width() : 0;
    const QSize client(std::max(menuWidth, margin.width() + kMinimumViewSide),
                       margin.height() + kMinimumViewSide);
    QSize minimum = fitter_->WindowSizeFor(client);
    if (layout() != nullptr)
        minimum = minimum.expandedTo(layout()->totalMinimumSize());
    const QSize room = fitter_->MaximumClientSize();
    if (!room.isEmpty())
        minimum = minimum.boundedTo(fitter_->WindowSizeFor(room));
    setMinimumSize(minimum);
}

void CMainFrame::FitWindowToVideo() {
    // Resizing keeps the top-left corner and may run OnSize again at once.
    fitter_->ResizeClient(videoRect_.size());
    videoRect_ = QRect(QPoint(0, 0), ClientSize());
    PlaceSlider();
}

void CMainFrame::OnSize(SizeType type, int cx, int cy) {
    if (type == SizeType::Minimized || cy == 0)
        return;
    const std::optional<QSize> fitted = fitter_->Answer(Grid(), QSize(cx, cy));
    if (!fitted) {
        // In aspect already, or a size the window manager chose.
        if (type == SizeType::Restored)
            SetFittedClient(QSize(cx, cy));
        else
            videoRect_ = QRect(0, 0, cx, cy);
        return;
    }
    SetFittedClient(*fitted);
    FitWindowToVideo();
}

void CMainFrame::SetFittedClient(QSize client) {
    videoRect_ = QRect(QPoint(0, 0), client);
    picture_ = client - ViewMargin();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (!shown_)
        return;
    if (isMinimized()) {
        OnSize(SizeType::Minimized, 0, 0);
        return;
    }
    const QSize client = ClientSize();
    OnSize(isMaximized() || isFullScreen() ? SizeType::Maximized : SizeType::Restored,
           client.width(), client.height());
}

void CMainFrame::ScheduleAspectCheck() {
    if (!shown_ || aspectCheckScheduled_)
        return;
    aspectCheckScheduled_ = true;
    QMetaObject::invokeMethod(this, &CMainFrame::KeepViewInAspect, Qt::QueuedConnection);
}

void CMainFrame::KeepViewInAspect() {
    aspectCheckScheduled_ = false;
    if (isMinimized() || isMaximized() || isFullScreen())
        return;
    UpdateMinimumSize();
    const QSize client = ClientSize();
    const platform::PictureGrid grid = Grid();
    if (grid.Fit(client) == client)
        return;
    // The bars changed, not the user's drag: the picture keeps its size and
    // the frame grows or shrinks around it.
    videoRect_ = QRect(QPoint(0, 0), grid.ClientForPicture(picture_, fitter_->MaximumClientSize()));
    FitWindowToVideo();
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
    videoWidth_ = known ? format.width : kDefaultVideoWidth;
    videoHeight_ = known ? format.height : kDefaultVideoHeight;
    aspect_ = platform::AspectOf(videoWidth_, videoHeight_);
    viewEdge_->SetPictureAspect(aspect_);
    // The view, not the whole client area, takes the video's own size.
    SetFittedClient(
        Grid().ClientForPicture(QSize(videoWidth_, videoHeight_), fitter_->MaximumClientSize()));

    durationSeconds_ = gSource->GetDurationSeconds();
    positionSeconds_ = 0;
    FitWindowToVideo();
    SetSliderRange();
    if (slider_ != nullptr)
        slider_->setValue(positionSeconds_);
    ShowPositionAndDuration();
    gSource->Play();
    timerId_ = startTimer(kTimerPeriodMs);
    ShowPlaybackState();
    return true;
}

void CMainFrame::OnFileClose() {
    if (gSource != nullptr) {
        gSource->Stop();
        gSource->Close();
    }
    path_.clear();
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    ShowPlaybackState();
}

void CMainFrame::OnFileExit() {
    OnFileClose();
    DestroyFrame();
}

void CMainFrame::OnTimer() {
    // The paused frame's number shows once the frames are counted.
    if (gSource != nullptr && gSource->IsPaused() && gSource->RenderEnabled() &&
        frameLabel_->text().contains(u'\u2026'))
        ShowPlaybackState();
    // During a capture batch the worker owns the source: no reads, no seeks.
    if (gSource == nullptr || !gSource->IsPlaying() || !gSource->RenderEnabled())
        return;
    FollowGrowingDuration();
    positionSeconds_ = gSource->GetPositionSeconds();
    const int sliderPosition = slider_ != nullptr ? slider_->value() : positionSeconds_;
    const int behind = positionSeconds_ - sliderPosition;
    if ((behind >= 0 && behind <= 2) || positionSeconds_ == 0) {
        // The slider follows the stream.
        if (slider_ != nullptr)
            slider_->setValue(positionSeconds_);
    } else {
        // The user moved the slider ahead of the stream, or well behind it.
        gSource->SeekSeconds(sliderPosition);
        positionSeconds_ = gSource->GetPositionSeconds();
    }
    positionPane_->setText(FormatTime(positionSeconds_));
}

// A stream may learn its length only while it plays (an elementary stream
// states none). Kept at the old end, the slider could not follow the position
// past it, and the gap would read as a drag back there.
void CMainFrame::FollowGrowingDuration() {
    const int duration = gSource->GetDurationSeconds();
    if (duration <= durationSeconds_)
        return;
    durationSeconds_ = duration;
    SetSliderRange();
    durationPane_->setText(FormatTime(durationSeconds_));
}

void CMainFrame::SetSliderRange() {
    if (slider_ == nullptr)
        return;
    slider_->setRange(0, durationSeconds_);
    slider_->setPageStep(SliderPageSize(durationSeconds_));
}

void CMainFrame::ShowPositionAndDuration() {
    durationPane_->setText(FormatTime(durationSeconds_));
    positionPane_->setText(FormatTime(positionSeconds_));
    durationPane_->repaint();
    positionPane_->repaint();
}

void CMainFrame::SetCommandsEnabled(bool enabled) {
    gCommandsEnabled = enabled ? 1 : 0;
    for (int id : {res::ID_FILE_OPEN, res::ID_FILE_CLOSE, res::ID_APP_EXIT, res::ID_CONTROL_IMAGES,
                   res::ID_CONTROL_IMAGES4, res::ID_CONTROL_PAUSE, res::ID_CONTROL_NEXT_FRAME,
                   res::ID_CONTROL_PREVIOUS_FRAME, res::ID_CONTROL_BACK_5S,
                   res::ID_CONTROL_FORWARD_5S, res::ID_CONTROL_GO_TO_START})
        Action(id)->setEnabled(enabled);
    toolBar_->setEnabled(enabled);
    if (slider_ != nullptr)
        slider_->setEnabled(enabled);
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

namespace {

// The commands act only on an open file, and never while a batch owns it.
bool CanStep() {
    return gCommandsEnabled == 1 && gSource != nullptr && gPresenter != nullptr &&
           gSource->IsOpen() && gSource->RenderEnabled();
}

} // namespace

void CMainFrame::OnPause() {
    if (CanStep())
        gSource->PauseToggle();
    ShowPlaybackState();
}

void CMainFrame::OnNextFrame() {
    if (CanStep())
        gSource->StepForward(gPresenter->Offscreen(), kVideoDestRect);
    ShowPlaybackState();
}

void CMainFrame::OnPreviousFrame() {
    if (CanStep())
        gSource->StepBack(gPresenter->Offscreen(), kVideoDestRect);
    ShowPlaybackState();
}

void CMainFrame::OnBack5Seconds() {
    if (CanStep())
        JumpTo(gSource->ShownTime() - playback::SecondsToStreamTime(kJumpSeconds));
}

void CMainFrame::OnForward5Seconds() {
    if (CanStep())
        JumpTo(gSource->ShownTime() + playback::SecondsToStreamTime(kJumpSeconds));
}

void CMainFrame::OnGoToStart() {
    if (CanStep())
        JumpTo(0);
}

void CMainFrame::JumpTo(std::int64_t streamTime) {
    streamTime = std::max<std::int64_t>(streamTime, 0);
    if (gSource->IsPaused()) {
        gSource->ShowFrameAt(streamTime, gPresenter->Offscreen(), kVideoDestRect);
    } else {
        gSource->SeekMs(playback::StreamTimeToMilliseconds(streamTime));
        positionSeconds_ = playback::StreamTimeToSeconds(streamTime);
        if (slider_ != nullptr)
            slider_->setValue(positionSeconds_);
        positionPane_->setText(FormatTime(positionSeconds_));
    }
    ShowPlaybackState();
}

void CMainFrame::OnSliderMovedWhilePaused() {
    if (!CanStep() || !gSource->IsPaused() || slider_ == nullptr || slider_->isSliderDown() ||
        slider_->value() == positionSeconds_)
        return;
    JumpTo(playback::SecondsToStreamTime(slider_->value()));
}

void CMainFrame::FollowStreamPosition() {
    if (gSource == nullptr || !gSource->IsOpen())
        return;
    positionSeconds_ = gSource->GetPositionSeconds();
    if (slider_ != nullptr) {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(positionSeconds_);
    }
    positionPane_->setText(FormatTime(positionSeconds_));
}

void CMainFrame::ShowPlaybackState() {
    const bool paused = gSource != nullptr && gSource->IsOpen() && gSource->IsPaused();
    Action(res::ID_CONTROL_PAUSE)->setChecked(paused);
    if (!paused) {
        frameLabel_->hide();
        if (slider_ != nullptr)
            slider_->setToolTip(QString());
        return;
    }
    if (gPresenter != nullptr)
        gPresenter->BlitToWindow();
    const std::int64_t time = gSource->ShownTime();
    const QString shown = FormatShownFrame(gSource->ShownFrameNumber(), time);
    frameLabel_->setText(shown);
    frameLabel_->setToolTip(shown);
    frameLabel_->show();
    positionSeconds_ = playback::StreamTimeToSeconds(time);
    if (slider_ != nullptr) {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(positionSeconds_);
        slider_->setToolTip(shown);
    }
    positionPane_->setText(FormatTime(positionSeconds_));
}

// ---- Messages, timer, closing ----

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

void CMainFrame::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timerId_ && timerId_ != 0) {
        OnTimer();
        return;
    }
    QMainWindow::timerEvent(event);
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
