// The frame on show, taken out of playback: at 360 × 240 the presenter's
// canvas, which the capture batch copies too; at any other size drawn again
// from the source's frame at its own resolution. For the snapshot and the
// clipboard.
//
// User-interface thread, with gSource and gPresenter set.
#pragma once

#include "picture/picture.h"

#include <QSize>

// The video's size as players show it: turned, pixels made square. Empty
// with nothing open.
QSize VideoDisplaySize();

// The frame on show as `size` frame rows with bandRows zeroed band rows under
// them; null when nothing is open or the memory cannot be had.
picture::Picture ShownFramePicture(QSize size, int bandRows);
