// Whether a picture is nearly the same as another: each is reduced to a
// small grey copy, 32 × 32 cells each holding the mean BT.601 luma of its
// part of the frame rows, and two copies are compared by their mean
// absolute difference in grey levels. Averaging over cells takes out the
// noise of lossy coding, so a still scene coded twice differs by a small
// fraction of a level, while anything that moves changes some cells by many.
// Any thread.
#pragma once

#include "picture/picture.h"

#include <array>

namespace picture {

inline constexpr int kGreyCopySide = 32;

// Below this mean difference (in grey levels, 0 to 255) a picture is a near
// duplicate of the one before: at most 1 level on average, as much as one
// cell in 256 changing from black to white, or the whole picture brightening
// by one level.
inline constexpr double kNearDuplicateDifference = 1.0;

// Mean luma of each cell, row by row; a cell of no pixels (a picture under
// 32 pixels on a side) holds 0.
using GreyCopy = std::array<float, kGreyCopySide * kGreyCopySide>;

// The grey copy of the frame rows of `picture` (all zero for a null picture).
GreyCopy MakeGreyCopy(const Picture& picture);

// The mean absolute difference of two grey copies, in grey levels.
double MeanDifference(const GreyCopy& one, const GreyCopy& other);

inline bool NearDuplicate(const GreyCopy& picture, const GreyCopy& before) {
    return MeanDifference(picture, before) < kNearDuplicateDifference;
}

} // namespace picture
