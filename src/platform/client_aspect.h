// The rule by which a window keeps its picture in the video's aspect: the
// main frame and both images dialogs answer every resize with it. The rule
// applies to the picture, not to whatever surrounds it in the window.
#pragma once

#include <QSize>

class QWidget;

#include <optional>

namespace platform {

// The client size that a resize to `client` is answered with: the extent that
// is too large for `aspect` (width ÷ height) is kept and the other one grows
// to match, truncated toward zero. Nothing for a client height of 0
// (a minimised window).
std::optional<QSize> FitClientToAspect(QSize client, float aspect);

// The aspect of a video size; 0 for an empty size.
float AspectOf(int width, int height);

// A client area made of perSide × perSide cells, each a picture with a fixed
// margin to its right and below it (a tab window's vertical bar and beam).
// Cells share the client area by halves, so those on the left and at the top
// may be a pixel short; the sizes here are those of the last cell.
struct PictureGrid {
    int perSide = 1;
    QSize margin;
    // The picture's width ÷ height.
    float pictureAspect = 0.0f;

    QSize ClientFor(QSize picture) const;
    QSize PictureIn(QSize client) const;
    // The client size that a resize to `client` is answered with: the picture
    // it leaves is fitted by FitClientToAspect. When that would pass
    // `maximum` (the room the screen leaves; none when empty), both sides
    // shrink together to the largest picture in aspect that fits. Nothing for
    // a client height of 0 (a minimised window).
    std::optional<QSize> Fit(QSize client, QSize maximum = QSize()) const;
    // The client whose picture is `width` wide and in aspect, within `maximum`.
    QSize ClientForPictureWidth(int width, QSize maximum = QSize()) const;
    // The client that shows `picture` as it is, or, when that would pass
    // `maximum`, the largest picture in aspect that fits.
    QSize ClientForPicture(QSize picture, QSize maximum = QSize()) const;
};

// The largest size of the aspect (width ÷ height) within `room`, each side
// truncated toward zero and at least 1.
QSize LargestWithin(QSize room, float aspect);

// The height of a window's menu bar at a window width (a menu bar wraps when
// the window is narrow); 0 for no menu bar or a hidden one.
int MenuBarHeight(const QWidget* menuBar, int width);

} // namespace platform
