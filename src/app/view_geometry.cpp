#include "app/view_geometry.h"

#include "app/video_view.h"

#include <QLayout>
#include <QMainWindow>

#include <algorithm>

ViewGeometry::ViewGeometry(QMainWindow& frame, std::function<void()> fitted)
    : frame_(frame)
    , fitted_(std::move(fitted))
    , fitter_(std::make_unique<platform::ClientFitter>(frame, frame.menuWidget()))
    , aspect_(platform::AspectOf(videoRect_.width(), videoRect_.height())) {}

void ViewGeometry::StartAtDefaultSize() {
    frame_.resize(fitter_->WindowSizeFor(videoRect_.size()));
    videoRect_ = QRect(QPoint(0, 0), ClientSize());
}

void ViewGeometry::AttachView(VideoViewEdge& edge) {
    viewEdge_ = &edge;
    viewEdge_->SetPictureAspect(aspect_);
    connect(viewEdge_, &VideoViewEdge::Resized, this, &ViewGeometry::ScheduleAspectCheck);
}

QSize ViewGeometry::ClientSize() const {
    return fitter_->ClientSize();
}

QSize ViewGeometry::ViewMargin() const {
    // A bar shown or hidden since the last layout is placed now.
    if (frame_.layout() != nullptr)
        frame_.layout()->activate();
    return ClientSize() - viewEdge_->contentsRect().size();
}

platform::PictureGrid ViewGeometry::Grid() const {
    return platform::PictureGrid{1, ViewMargin(), aspect_};
}

// The first size: the view at the video's size, once the bars have their
// shown sizes and before the window appears.
void ViewGeometry::OnShow() {
    if (shown_)
        return;
    shown_ = true;
    SetFittedClient(
        Grid().ClientForPicture(QSize(videoWidth_, videoHeight_), fitter_->MaximumClientSize()));
    UpdateMinimumSize();
    FitWindowToVideo();
}

// At least the whole menu bar and a view of a few pixels, however the user
// drags; never more than the screen has room for.
void ViewGeometry::UpdateMinimumSize() {
    const QSize margin = ViewMargin();
    const QWidget* menu = frame_.menuWidget();
    const int menuWidth = menu != nullptr ? menu->sizeHint().width() : 0;
    const QSize client(std::max(menuWidth, margin.width() + kMinimumViewSide),
                       margin.height() + kMinimumViewSide);
    QSize minimum = fitter_->WindowSizeFor(client);
    if (frame_.layout() != nullptr)
        minimum = minimum.expandedTo(frame_.layout()->totalMinimumSize());
    const QSize room = fitter_->MaximumClientSize();
    if (!room.isEmpty())
        minimum = minimum.boundedTo(fitter_->WindowSizeFor(room));
    frame_.setMinimumSize(minimum);
}

void ViewGeometry::FitWindowToVideo() {
    // Resizing keeps the top-left corner and may run OnSize again at once.
    fitter_->ResizeClient(videoRect_.size());
    videoRect_ = QRect(QPoint(0, 0), ClientSize());
    fitted_();
}

void ViewGeometry::ShowVideoSize(int width, int height) {
    videoWidth_ = width;
    videoHeight_ = height;
    aspect_ = platform::AspectOf(videoWidth_, videoHeight_);
    viewEdge_->SetPictureAspect(aspect_);
    SetFittedClient(
        Grid().ClientForPicture(QSize(videoWidth_, videoHeight_), fitter_->MaximumClientSize()));
    FitWindowToVideo();
}

void ViewGeometry::OnSize(SizeType type, int cx, int cy) {
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

void ViewGeometry::SetFittedClient(QSize client) {
    videoRect_ = QRect(QPoint(0, 0), client);
    picture_ = client - ViewMargin();
}

void ViewGeometry::OnResized() {
    if (!shown_)
        return;
    if (frame_.isMinimized()) {
        OnSize(SizeType::Minimized, 0, 0);
        return;
    }
    const QSize client = ClientSize();
    OnSize(frame_.isMaximized() || frame_.isFullScreen() ? SizeType::Maximized : SizeType::Restored,
           client.width(), client.height());
}

void ViewGeometry::ScheduleAspectCheck() {
    if (!shown_ || aspectCheckScheduled_)
        return;
    aspectCheckScheduled_ = true;
    QMetaObject::invokeMethod(this, &ViewGeometry::KeepViewInAspect, Qt::QueuedConnection);
}

void ViewGeometry::KeepViewInAspect() {
    aspectCheckScheduled_ = false;
    if (frame_.isMinimized() || frame_.isMaximized() || frame_.isFullScreen())
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
