// The program's pictures: the application icon (resource 128) and the
// toolbar's button images (16 × 15). User-interface thread.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace res {

// The application icon, painted from the same shapes as res/tesselon.svg.
QIcon AppIcon();
// The icon drawn at one size (a square of `side` pixels).
QPixmap AppIconPixmap(int side);

// The main frame's toolbar pictures; a command's row names its own.
enum class ToolbarIcon {
    kNone,
    kOpen,
    kImages,
    kImages4,
    kPause,
    kNextFrame,
    kPreviousFrame,
    kAbout
};

// The picture, 16 × 15; a null pixmap for kNone.
QPixmap ToolbarImage(ToolbarIcon icon);

} // namespace res
