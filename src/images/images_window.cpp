#include "images/images_window.h"

#include "controls/about_dialog.h"
#include "controls/control_classes.h"
#include "controls/tab_beam.h"
#include "controls/tab_window.h"
#include "images/format_dialog.h"
#include "images/image_view.h"
#include "images/opaque_image.h"
#include "images/progress_dialog.h"
#include "images/save_paths.h"
#include "images/saving_workers.h"
#include "platform/dialogs.h"
#include "platform/progress_bar.h"
#include "res/app_icons.h"
#include "res/app_strings.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

namespace images {
namespace {

constexpr int kIconSide = 32;

} // namespace

ImagesWindow::ImagesWindow(int count, int frameWidth, int frameHeight, const QStringList& names,
                           picture::Shape shape, int dialogId, std::vector<int> tabWindowIds,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
    , list_(count, frameWidth, frameHeight, names, shape, static_cast<int>(tabWindowIds.size()))
    , tabWindowIds_(std::move(tabWindowIds)) {
    std::error_code error;
    saveDirectory_ = std::filesystem::current_path(error);
    setWindowTitle(QStringLiteral("Tesselon Images"));
    controls::SetControlId(this, dialogId);
    CreateMenu();
    fitter_ = std::make_unique<platform::ClientFitter>(*this, menuBar_);
}

ImagesWindow::~ImagesWindow() = default;

void ImagesWindow::CreateMenu() {
    menuBar_ = new QMenuBar(this);
    const auto add = [this](QMenu* menu, int id, const QString& text) {
        QAction* action = menu->addAction(text);
        commands_[id] = action;
        return action;
    };
    QMenu* file = fileMenu_ = menuBar_->addMenu(QStringLiteral("&File"));
    connect(add(file, res::ID_IMAGES_SAVE, QStringLiteral("&Save")), &QAction::triggered, this,
            [this] { OnSave(); });
    connect(add(file, res::ID_IMAGES_SAVE_AS, QStringLiteral("S&ave as")), &QAction::triggered,
            this, [this] { OnSaveAs(); });
    connect(add(file, res::ID_IMAGES_SAVE_ALL, QStringLiteral("Save a&ll")), &QAction::triggered,
            this, [this] { OnSaveAll(); });
    connect(add(file, res::ID_IMAGES_EXIT, QStringLiteral("&Exit")), &QAction::triggered, this,
            &ImagesWindow::OnClose);
    QMenu* edit = menuBar_->addMenu(QStringLiteral("&Edit"));
    connect(add(edit, res::ID_IMAGES_COPY, QStringLiteral("&Copy")), &QAction::triggered, this,
            &ImagesWindow::OnCopy);
    QMenu* control = menuBar_->addMenu(QStringLiteral("&Control"));
    connect(add(control, res::ID_IMAGES_SHARPEST, QStringLiteral("&Sharpest")),
            &QAction::triggered, this, &ImagesWindow::ShowSharpest);
    QMenu* options = menuBar_->addMenu(QStringLiteral("&Options"));
    connect(add(options, res::ID_IMAGES_LABEL, QStringLiteral("&Label")), &QAction::triggered, this,
            &ImagesWindow::OnLabel);
    connect(add(options, res::ID_IMAGES_FORMAT, QStringLiteral("Image &format...")),
            &QAction::triggered, this, [this] { EditImageFormat(format_, this, runModal_); });
    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    connect(add(help, res::ID_IMAGES_ABOUT, QStringLiteral("&About Tesselon ...")),
            &QAction::triggered, this, &ImagesWindow::OnAbout);

    // The keys Linux desktops use for these commands; a disabled command's
    // key does nothing.
    for (auto [id, key] :
         {std::pair{res::ID_IMAGES_SAVE, "Ctrl+S"},
          std::pair{res::ID_IMAGES_SAVE_AS, "Ctrl+Shift+S"}, std::pair{res::ID_IMAGES_COPY, "Ctrl+C"},
          std::pair{res::ID_IMAGES_EXIT, "Ctrl+Q"}, std::pair{res::ID_IMAGES_ABOUT, "F1"},
          std::pair{res::ID_IMAGES_SHARPEST, "F"}}) {
        commands_[id]->setShortcut(QKeySequence(QString::fromLatin1(key)));
        addAction(commands_[id]);
    }
}

QAction* ImagesWindow::AddFileCommand(int commandId, const QString& text) {
    auto* action = new QAction(text, fileMenu_);
    fileMenu_->insertAction(Command(res::ID_IMAGES_EXIT), action);
    commands_[commandId] = action;
    return action;
}

void ImagesWindow::SetPreferences(const SavePreferences& preferences) {
    std::error_code error;
    if (!preferences.directory.empty() && std::filesystem::is_directory(preferences.directory, error))
        saveDirectory_ = chosenDirectory_ = preferences.directory;
    list_.SetLabel(preferences.labelOn,
                   preferences.labelText.isEmpty() ? list_.LabelText() : preferences.labelText);
    format_ = preferences.format;
}

SavePreferences ImagesWindow::Preferences() const {
    return {chosenDirectory_, list_.LabelOn(), list_.LabelText(), format_};
}

StillFormat ImagesWindow::FormatForPath(const std::filesystem::path& target) const {
    StillFormat format = format_;
    if (const std::optional<ImageFormat> named = FormatOfPath(target))
        format.format = *named;
    return format;
}

QAction* ImagesWindow::Command(int commandId) const {
    const auto found = commands_.find(commandId);
    return found == commands_.end() ? nullptr : found->second;
}

controls::CGXTabWnd* ImagesWindow::TabWindow(int view) const {
    if (view < 0 || view >= ViewCount())
        return nullptr;
    return tabWindows_[static_cast<std::size_t>(view)];
}

const std::vector<ImageView*>& ImagesWindow::Views(int view) const {
    return views_.at(static_cast<std::size_t>(view));
}

// ---- Initialisation ----

void ImagesWindow::showEvent(QShowEvent* event) {
    if (!initialised_)
        Initialise();
    QDialog::showEvent(event);
}

void ImagesWindow::Initialise() {
    initialised_ = true;
    setWindowIcon(res::AppIcon());
    for (std::size_t view = 0; view < tabWindowIds_.size(); ++view) {
        auto* tabWindow = new controls::CGXTabWnd(this);
        controls::SetControlId(tabWindow, tabWindowIds_[view]);
        tabWindows_.push_back(tabWindow);
        CreateViews(static_cast<int>(view));
        tabWindow->SetBarVisible(controls::CGXTabWnd::Bars::Horizontal, false);
        tabWindow->show(); // made while the dialog is being shown
    }
    // The batch is complete: 100 pictures of 360 x 240 measure in a few
    // milliseconds, of 1920 x 1080 in a fraction of a second.
    list_.MeasureSharpness();
    ShowSharpness();
    // The band goes into the buffers before anything shows them, never during
    // a paint (a paint may come while a saving worker reads the buffers).
    list_.StampBandIfNeeded();
    FitToFirstSize();
}

void ImagesWindow::CreateViews(int view) {
    controls::CGXTabWnd* tabWindow = TabWindow(view);
    std::vector<ImageView*> views;
    views.reserve(static_cast<std::size_t>(list_.Count()));
    for (int i = 0; i < list_.Count(); ++i) {
        auto* imageView = new ImageView(list_, i, tabWindow);
        imageView->hide();
        controls::SetControlId(imageView, tabWindow->NewSheetId());
        tabWindow->AddSheet(imageView, list_.Name(i));
        views.push_back(imageView);
    }
    views_.push_back(std::move(views));
}

void ImagesWindow::ShowSharpness() {
    const int sharpest = list_.Sharpest();
    for (int view = 0; view < ViewCount(); ++view) {
        controls::CGXTabBeam* beam = TabWindow(view)->Beam();
        for (int i = 0; beam != nullptr && i < list_.Count() && i < beam->Count(); ++i) {
            const QString score = QString::number(list_.Sharpness(i).value_or(0), 'f', 1);
            beam->SetTabToolTip(
                i, platform::FormatString(
                       i == sharpest ? res::IDS_SHARPNESS_SHARPEST : res::IDS_SHARPNESS, score));
            beam->SetTabMarked(i, i == sharpest);
        }
    }
}

// ---- Geometry ----

platform::PictureGrid ImagesWindow::Grid() const {
    platform::PictureGrid grid;
    grid.perSide = ViewsPerSide();
    // The tab window's vertical bar and bottom strip, measured on a layout of
    // any size: they do not depend on it.
    if (!tabWindows_.empty()) {
        controls::TabWindowLayout layout = tabWindows_.front()->Layout();
        layout.clientWidth = layout.clientHeight = 1000;
        grid.margin = QSize(1000 - layout.SheetRight(), 1000 - layout.SheetBottom());
    }
    grid.pictureAspect = list_.PictureAspect();
    return grid;
}

QSize ImagesWindow::ClientSize() const {
    return fitter_->ClientSize();
}

QRect ImagesWindow::PictureRect(int view) const {
    const controls::CGXTabWnd* tabWindow = TabWindow(view);
    if (tabWindow == nullptr)
        return QRect();
    const QRect cell = TabWindowRect(view, ClientSize());
    return QRect(cell.topLeft(), tabWindow->SheetArea().size());
}

QSize ImagesWindow::MinimumClientSize() const {
    const platform::PictureGrid grid = Grid();
    // The grid's sizes are those of its last cell; the cells on the left and
    // at the top may be a pixel short.
    const int side = kMinimumPictureSide + (grid.perSide > 1 ? 1 : 0);
    // A picture wider than high needs the width that gives its height the
    // least side; one more pixel covers the truncation of that height.
    int pictureWidth = std::max(
        side, static_cast<int>(std::ceil(static_cast<float>(side) * grid.pictureAspect)) + 1);
    QSize client = grid.ClientForPictureWidth(pictureWidth);
    const int menuWidth = menuBar_->sizeHint().width();
    if (client.width() < menuWidth) {
        pictureWidth += (menuWidth - client.width() + grid.perSide - 1) / grid.perSide;
        client = grid.ClientForPictureWidth(pictureWidth);
    }
    return client;
}

QSize ImagesWindow::AtLeastMinimum(QSize client) const {
    const QSize minimum = MinimumClientSize();
    return client.width() < minimum.width() ? minimum : client;
}

// Never more than the screen has room for.
void ImagesWindow::UpdateMinimumSize() {
    QSize minimum = fitter_->WindowSizeFor(MinimumClientSize());
    if (const QSize room = fitter_->MaximumClientSize(); !room.isEmpty())
        minimum = minimum.boundedTo(fitter_->WindowSizeFor(room));
    setMinimumSize(minimum);
}

// The pictures' frame rows at the video's own size (each of four views at
// half of it), the band and the tab window around them; a tiny video's
// pictures open at the least size instead.
void ImagesWindow::FitToFirstSize() {
    UpdateMinimumSize();
    fitter_->ResizeClient(AtLeastMinimum(Grid().ClientForPictureWidth(
        list_.FrameWidth() / ViewsPerSide(), fitter_->MaximumClientSize())));
    LayOut();
}

void ImagesWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (!initialised_ || isMinimized())
        return;
    // A maximised or full-screen window keeps the size the window manager
    // gave it; the views show their pictures in aspect inside it.
    if (const std::optional<QSize> fitted = fitter_->Answer(Grid(), ClientSize()))
        fitter_->ResizeClient(*fitted);
    LayOut();
}

void ImagesWindow::LayOut() {
    const int menuHeight = fitter_->MenuBarHeightAt(width());
    menuBar_->setGeometry(0, 0, width(), menuHeight);
    const QSize client = ClientSize();
    for (int view = 0; view < ViewCount(); ++view)
        TabWindow(view)->setGeometry(TabWindowRect(view, client).translated(0, menuHeight));
}

// ---- Painting ----

void ImagesWindow::paintEvent(QPaintEvent* event) {
    if (isMinimized()) {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        const QSize client = ClientSize();
        const int top = height() - client.height(); // below the menu bar
        painter.drawPixmap((client.width() - kIconSide + 1) / 2,
                           top + (client.height() - kIconSide + 1) / 2,
                           res::AppIconPixmap(kIconSide));
        return;
    }
    UpdateCurrentImages();
    QDialog::paintEvent(event);
}

// ---- Images ----

void ImagesWindow::SelectImage(int index) {
    if (index < 0 || index >= list_.Count() || tabWindows_.empty())
        return;
    TabWindow(0)->ShowSheet(Views(0)[static_cast<std::size_t>(index)]);
    list_.SetCurrent(0, index);
}

int ImagesWindow::FocusedView() const {
    for (int view = 0; view < ViewCount(); ++view)
        if (TabWindow(view)->isAncestorOf(focusWidget()))
            return view;
    return 0;
}

void ImagesWindow::ShowSharpest() {
    const int sharpest = list_.Sharpest();
    if (sharpest < 0 || tabWindows_.empty())
        return;
    const int view = FocusedView();
    controls::CGXTabWnd* tabWindow = TabWindow(view);
    tabWindow->ShowSheet(Views(view)[static_cast<std::size_t>(sharpest)]);
    tabWindow->Beam()->ScrollIntoView(sharpest);
    list_.SetCurrent(view, sharpest);
}

void ImagesWindow::UpdateCurrentImages() {
    for (int view = 0; view < ViewCount(); ++view) {
        const int index = ImageIndexOfSheet(TabWindow(view)->CurrentSheet(), Views(view));
        if (index >= 0)
            list_.SetCurrent(view, index);
    }
}

// ---- Commands and messages ----

void ImagesWindow::OnLabel() {
    if (!EditLabel(list_, this, runModal_))
        return;
    // The band's rows may have come or gone: keep the pictures' width.
    if (initialised_) {
        UpdateMinimumSize();
        if (!isMaximized() && !isFullScreen())
            fitter_->ResizeClient(AtLeastMinimum(Grid().ClientForPictureWidth(
                Grid().PictureIn(ClientSize()).width(), fitter_->MaximumClientSize())));
        LayOut();
    }
    for (const auto& views : views_)
        for (ImageView* view : views)
            view->update();
}

// The picture in the view that has the focus (the first view otherwise),
// with its band when the label is on, as Save writes it.
void ImagesWindow::OnCopy() {
    UpdateCurrentImages();
    const int view = FocusedView();
    list_.StampBandIfNeeded();
    QGuiApplication::clipboard()->setImage(OpaqueImage(
        list_.PixelsOf(list_.Current(view)), list_.Shape().width, list_.Rows(), list_.Shape().Stride()));
}

void ImagesWindow::OnAbout() {
    controls::CAboutDlg about(this);
    runModal_(about);
}

platform::LResult ImagesWindow::HandleMessage(platform::MessageId message, platform::WParam wParam,
                                              platform::LParam) {
    switch (message) {
    case platform::WM_CLOSE:
        // A close that waited for a save happens when the save's end is
        // handled (after its failure report, if any), not when the worker's
        // WM_CLOSE arrives, perhaps while that report is still open.
        if (!closeWhenSaved_)
            OnClose();
        return 0;
    case platform::WM_IMAGE_SAVING:
        SelectImage(static_cast<int>(wParam));
        return 0;
    case platform::WM_SAVING_DONE:
        OnSavingDone(wParam != 0);
        return 0;
    default:
        return 0;
    }
}

// ---- Closing ----

void ImagesWindow::OnClose() {
    if (!isVisible())
        return; // closed already (the worker's WM_CLOSE after a deferred close)
    if (SaveRunning()) {
        // The worker may end before it reads the closing flag: the window
        // remembers the request too and closes when the save is over.
        closeWhenSaved_ = true;
        if (progress_ != nullptr) {
            platform::PostMessage(progress_->Handle(), platform::WM_PROGRESS_CANCEL);
            platform::PostMessage(progress_->Handle(), platform::WM_PROGRESS_CLOSING);
        }
        return;
    }
    ending_ = true;
    QDialog::done(0);
    ending_ = false;
}

void ImagesWindow::done(int result) {
    if (ending_) {
        QDialog::done(result);
        return;
    }
    OnClose();
}

void ImagesWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnClose();
}

void ImagesWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Enter:
    case Qt::Key_Return:
        OnClose();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

// ---- Saving ----

CProgressDlg* ImagesWindow::SavingProgress() const {
    return progress_;
}

// Until its end is handled (WM_SAVING_DONE), so that a close in between
// still waits for the failure report.
bool ImagesWindow::SaveRunning() const {
    return run_ != nullptr;
}

void ImagesWindow::BeginSave() {
    delete progress_;
    progress_ = new CProgressDlg(this);
    progress_->show();
    SetCommandsEnabled(false);
    UpdateCurrentImages();
    // No worker runs yet: the one moment the band may go into the buffers.
    list_.StampBandIfNeeded();
}

void ImagesWindow::AbandonSave() {
    SetCommandsEnabled(true);
    delete progress_;
}

bool ImagesWindow::TestSaveDirectory() {
    if (CanWriteInDirectory(saveDirectory_))
        return true;
    platform::ShowMessage(
        platform::FormatString(res::IDS_CANT_WRITE_DIRECTORY, ToText(saveDirectory_)),
        platform::LoadString(res::IDS_APP_NAME), platform::MessageIcon::kNone,
        platform::MessageButtons::kOk);
    return false;
}

bool ImagesWindow::ConfirmReplace(const std::filesystem::path& target) {
    const platform::DialogAnswer answer =
        platform::ShowMessage(platform::FormatString(res::IDS_REPLACE_FILE, ToText(target)),
                              platform::LoadString(res::IDS_APP_NAME), platform::MessageIcon::kNone,
                              platform::MessageButtons::kOkCancel);
    if (answer == platform::DialogAnswer::kOk)
        return true;
    AbandonSave();
    return false;
}

bool ImagesWindow::ChooseSaveAllTargets(std::vector<std::filesystem::path>& targets) {
    if (std::none_of(targets.begin(), targets.end(),
                     [](const std::filesystem::path& target) { return FileExists(target); }))
        return true;
    switch (platform::ShowMessage(
        platform::FormatString(res::IDS_SAVE_ALL_FILES_EXIST, ToText(saveDirectory_)),
        platform::LoadString(res::IDS_APP_NAME), platform::MessageIcon::kQuestion,
        platform::MessageButtons::kReplaceAllKeepBothCancel)) {
    case platform::DialogAnswer::kOk:
        return true;
    case platform::DialogAnswer::kKeepBoth:
        targets = KeepBothPaths(targets);
        return true;
    case platform::DialogAnswer::kCancel:
        break;
    }
    AbandonSave();
    return false;
}

std::optional<std::filesystem::path> ImagesWindow::ChooseOneSavePath(const QString& initialName) {
    std::optional<std::filesystem::path> chosen;
    while (!chosen) {
        chosen = AskSavePath(initialName);
        if (!chosen) {
            AbandonSave();
            return std::nullopt;
        }
        if (!TestSaveDirectory())
            chosen.reset();
    }
    if (FileExists(*chosen) && !ConfirmReplace(*chosen))
        return std::nullopt;
    return chosen;
}

std::optional<std::filesystem::path> ImagesWindow::AskSavePath(const QString& initialName) {
    platform::FileDialogOptions options;
    options.filter = QStringLiteral("Joint Photographic Experts Group (JPEG) (*,jpg)|*.jpg|"
                                    "Portable Network Graphics (PNG) (*.png)|*.png|"
                                    "WebP (*.webp)|*.webp||");
    options.defaultExtension = QStringLiteral("jpg");
    // The filters stand in the order of the formats.
    options.selectedFilter = static_cast<int>(format_.format);
    options.initialName = initialName;
    options.directory = ToText(saveDirectory_);
    const std::optional<QString> chosen = platform::AskSaveFile(options);
    if (!chosen)
        return std::nullopt;
    const std::filesystem::path path = ToPath(*chosen);
    saveDirectory_ = chosenDirectory_ = DirectoryOf(path);
    return path;
}

SaveJob ImagesWindow::JobFor(int index, const std::filesystem::path& target) const {
    SaveJob job;
    job.width = static_cast<std::uint16_t>(list_.Shape().width);
    job.height = static_cast<std::uint16_t>(list_.Rows());
    job.pixels = list_.PixelsOf(index);
    job.path = target;
    job.format = FormatForPath(target);
    return job;
}

void ImagesWindow::StartSave(std::vector<SaveJob> jobs, Worker worker) {
    if (jobs.empty()) {
        AbandonSave();
        return;
    }
    auto run = std::make_shared<SaveRun>();
    run->jobs = std::move(jobs);
    run->flags = progress_->Flags();
    run->imagesDialog = Handle();
    run->progressDialog = progress_->Handle();
    run->progressBar = progress_->Bar()->Handle();
    run->lease = ImageList::ReadLease(list_);
    progress_->setWindowTitle(
        platform::FormatString(res::IDS_SAVING_IMAGE, FileNameOf(run->jobs.front().path)));
    platform::SendMessage(run->progressBar, platform::PBM_SETSTEP, 1);
    platform::SendMessage(run->progressBar, platform::PBM_SETRANGE, 0, 10 << 16);
    run_ = run;
    platform::StartWorker([run, worker] {
        if (worker == Worker::kSaveAll)
            SaveAllWorker(run);
        else
            SaveOneWorker(run);
    });
}

void ImagesWindow::OnSavingDone(bool enable) {
    SetCommandsEnabled(enable);
    if (run_ == nullptr || !run_->ended.load(std::memory_order_acquire))
        return;
    const QString report = FailureReport(run_->failures);
    run_.reset();
    if (!report.isEmpty())
        platform::ShowMessage(report, platform::LoadString(res::IDS_APP_NAME),
                              platform::MessageIcon::kWarning, platform::MessageButtons::kOk);
    if (std::exchange(closeWhenSaved_, false))
        OnClose();
}

} // namespace images
