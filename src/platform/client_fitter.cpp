#include "platform/client_fitter.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace platform {

ClientFitter::ClientFitter(QWidget& window, const QWidget* menuBar)
    : window_(window)
    , menuBar_(menuBar) {}

int ClientFitter::MenuBarHeightAt(int windowWidth) const {
    return MenuBarHeight(menuBar_, windowWidth);
}

QSize ClientFitter::ClientSize() const {
    return QSize(window_.width(), window_.height() - MenuBarHeightAt(window_.width()));
}

QSize ClientFitter::WindowSizeFor(QSize client) const {
    return QSize(client.width(), client.height() + MenuBarHeightAt(client.width()));
}

QSize ClientFitter::MaximumClientSize() const {
    const QScreen* shownOn = window_.screen();
    if (shownOn == nullptr)
        return QSize();
    const QSize frame = window_.frameGeometry().size() - window_.size();
    const QSize room = shownOn->availableGeometry().size() - frame;
    return QSize(room.width(), room.height() - MenuBarHeightAt(room.width()));
}

std::optional<QSize> ClientFitter::Answer(const PictureGrid& grid, QSize client) {
    if (window_.isMinimized() || window_.isMaximized() || window_.isFullScreen()) {
        requests_.clear();
        return std::nullopt;
    }
    const std::optional<QSize> latest =
        requests_.empty() ? std::nullopt : std::optional<QSize>(requests_.back());
    if (latest && client != *latest) {
        const auto earlier = std::find(requests_.begin(), requests_.end() - 1, client);
        if (earlier != requests_.end() - 1) {
            // Each late answer is answered once: a window manager that keeps
            // to that size is treated as refusing after that.
            requests_.erase(earlier);
            return latest;
        }
        requests_.clear();
    }
    const std::optional<QSize> fitted = grid.Fit(client, MaximumClientSize());
    if (!fitted || *fitted == client)
        return std::nullopt;
    // A window manager that refuses (a tiling one) answers with the size the
    // window had before, and the rule would ask for the same again. A drag
    // elsewhere that the rule answers alike is no refusal.
    if (latest && client != *latest && client == beforeLatest_ && fitted == latest)
        return std::nullopt;
    return fitted;
}

void ClientFitter::ResizeClient(QSize client) {
    if (requests_.empty() || requests_.back() != client) {
        requests_.push_back(client);
        beforeLatest_ = ClientSize();
    }
    // A few are enough to recognise the late answers of a burst of requests.
    constexpr std::size_t kRemembered = 8;
    while (requests_.size() > kRemembered)
        requests_.pop_front();
    window_.resize(WindowSizeFor(client));
    // A window's minimum may have changed the size asked for: the window
    // manager's answer to that size is a late answer too.
    if (const QSize applied = ClientSize(); applied != client)
        requests_.insert(requests_.end() - 1, applied);
    KeepOnScreen();
}

// Growing the short side must not push the window past the screen's edge.
void ClientFitter::KeepOnScreen() {
    const QScreen* shownOn = window_.screen();
    if (shownOn == nullptr || !window_.isVisible())
        return;
    const QRect room = shownOn->availableGeometry();
    QRect frame = window_.frameGeometry();
    frame.moveRight(std::min(frame.right(), room.right()));
    frame.moveBottom(std::min(frame.bottom(), room.bottom()));
    frame.moveLeft(std::max(frame.left(), room.left()));
    frame.moveTop(std::max(frame.top(), room.top()));
    if (frame.topLeft() != window_.frameGeometry().topLeft())
        window_.move(frame.topLeft());
}

} // namespace platform
