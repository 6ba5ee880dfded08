// The four-view composite: one 752 × 512 image of the four views, laid out
// as the four-view dialog saves it:
//
//   rows   0 to   7  black
//   rows   8 to 247  8 black pixels, view 0's frame row (r − 8) at x = 8,
//                    16 black, view 1's at x = 384, 8 black
//   rows 248 to 263  with the label, band row (r − 248) at x = 0, the rest
//                    black; without, black
//   rows 264 to 503  as rows 8 to 247 with views 2 and 3, row (r − 264)
//   rows 504 to 511  black
//
// Any thread; the caller owns both buffers.
#pragma once

#include <cstdint>
#include <span>

namespace tesselon::images {

class ImageList;

inline constexpr int kCompositeWidth = 752;
inline constexpr int kCompositeHeight = 512;
inline constexpr int kCompositeBytes = kCompositeWidth * kCompositeHeight * 4; // 1540096

// Writes the composite of the images the four views of `list` show into
// `composite` (kCompositeBytes). An empty image position gives black.
void BuildComposite(const ImageList& list, std::span<std::uint8_t> composite);

} // namespace tesselon::images
