// How sharp a picture is: the variance of the Laplacian of its luma, a
// well-known focus measure (Pech-Pacheco et al., 2000). A blurred picture
// has weak second derivatives everywhere, a sharp one strong ones at its
// edges; a flat picture scores 0. The score is in squared grey levels and
// compares pictures of one size: larger is sharper.
//
// The luma is BT.601's, in integers (77 R + 150 G + 29 B, ÷ 256); the
// Laplacian is the 4-neighbour one, taken at every pixel that has all four
// neighbours. Only the frame rows count, never the label band under them.
// Any thread.
#pragma once

#include "picture/picture.h"

#include <cstdint>

namespace picture {

// The frame rows of `picture`; 0 for a null picture or one under 3 × 3.
double Sharpness(const Picture& picture);

// The same for `height` rows of `width` pixels of 4 bytes (blue, green,
// red, unused), `stride` bytes apart: a surface measured where it lies.
double Sharpness(const std::uint8_t* pixels, int width, int height, int stride);

// BT.601 luma of `width` pixels of 4 bytes (blue, green, red, unused), 0
// to 255 each.
void LumaRow(const std::uint8_t* pixels, int width, std::uint16_t* luma);

} // namespace picture
