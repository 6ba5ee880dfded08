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

// The toolbar image of a command (Open, Images, Images x 4, Pause, Next frame,
// Previous frame, About); a null pixmap for any other command.
QPixmap ToolbarImage(int commandId);

} // namespace res
