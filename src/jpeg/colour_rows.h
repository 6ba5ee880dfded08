// Colour conversion of whole rows of 24-bit pixels into one component's
// samples, vectorised across pixels. Every sample is exactly what ToY, ToCb or
// ToCr gives for its pixel: the arithmetic is integer, so any width gives the
// same bytes.
#pragma once

#include "jpeg/transform.h"

#include <cstddef>
#include <cstdint>

namespace jpeg {

// `count` pixels of blue, green, red bytes from `pixels` become `count`
// samples of `channel`, at the widest path the processor supports.
void ConvertRow(ColourChannel channel, const std::uint8_t* pixels, std::uint8_t* samples,
                std::size_t count);

// The same at a chosen width (the portable path when unsupported).
void ConvertRowUsing(TransformPath path, ColourChannel channel, const std::uint8_t* pixels,
                     std::uint8_t* samples, std::size_t count);

} // namespace jpeg
