// The four-view composite: one picture of the four views, laid out as the
// four-view dialog saves it, for pictures of width W, frame rows H and band
// rows B (752 × 512 for the program's 360 × 240 with 16), with a border of
// G = 8 pixels at widths up to 360 and 8 × W ÷ 360, rounded, above:
//
//   the first G rows       black
//   the next H rows        G black pixels, view 0's frame row at x = G,
//                          2G black, view 1's at x = W + 3G, G black
//   the next B rows        with the label, the band's row at x = 0, the rest
//                          black; without, black
//   the next H rows        as the first H with views 2 and 3
//   the last G rows        black
//
// Any thread, with the list's pictures not being stamped meanwhile.
#pragma once

#include "picture/picture.h"

namespace images {

class ImageList;

// The composite's size for pictures of `shape`: (2W + 4G) × (2H + B + 2G),
// with no band rows of its own.
picture::Shape CompositeShape(const picture::Shape& shape);

// The composite of the images the four views of `list` show; an empty image
// position gives black. Null when its memory cannot be had.
picture::Picture BuildComposite(const ImageList& list);

} // namespace images
