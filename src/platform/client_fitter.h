// ClientFitter: sizes a top-level window whose client area (the window below
// its menu bar) holds pictures laid out by a PictureGrid. It answers resizes
// with the grid's aspect rule, keeps the window within the screen's available
// area, and stops asking when a window manager refuses the size asked for.
// The main frame and the images dialogs share it, so the two follow one rule.
//
// User-interface thread only.
#pragma once

#include "platform/client_aspect.h"

#include <QSize>

#include <deque>
#include <optional>

class QWidget;

namespace platform {

class ClientFitter {
public:
    // `window` is a top-level widget; `menuBar` its menu bar or null. Both
    // must outlive the fitter.
    ClientFitter(QWidget& window, const QWidget* menuBar);

    // The window without its menu bar.
    QSize ClientSize() const;
    // The window's size for a client area of `client`.
    QSize WindowSizeFor(QSize client) const;
    int MenuBarHeightAt(int windowWidth) const;
    // The client area that the screen's available area leaves beside the
    // window's frame and menu bar; empty before the window has a screen.
    QSize MaximumClientSize() const;

    // The client size a resize to `client` should be answered with: nothing
    // when it is in aspect already, when the window is minimised, maximised
    // or full screen (the window manager chose that size), or when the
    // window manager answered the last request with the size from before it
    // and the rule would ask for the same again (asking would never end).
    // A resize to the size of an earlier request of ours is the window
    // manager's late answer to it: it is answered with the latest request.
    std::optional<QSize> Answer(const PictureGrid& grid, QSize client);
    // Resizes the window to a client area of `client`, keeping its top-left
    // corner unless that would put the window past the screen's edge.
    void ResizeClient(QSize client);

private:
    void KeepOnScreen();

    QWidget& window_;
    const QWidget* menuBar_;
    // Client sizes asked for since the window last took a size of its own
    // (the user's or the window manager's), the latest last.
    std::deque<QSize> requests_;
    // The client size when the latest request was made.
    QSize beforeLatest_;
};

} // namespace platform
