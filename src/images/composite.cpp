#include "images/composite.h"

#include "images/image_list.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace tesselon::images {
namespace {

constexpr int kCompositeStride = kCompositeWidth * 4;
constexpr int kTopRow = 8;
constexpr int kBandTop = kTopRow + kFrameRows;  // 248
constexpr int kLowerTop = kBandTop + kBandRows; // 264
constexpr int kLeftX = 8;
constexpr int kRightX = kLeftX + kImageWidth + 16; // 384

// Copies the frame rows of the image view `view` shows to (x, top).
void CopyFrameRows(const ImageList& list, int view, std::uint8_t* composite, int x, int top) {
    const std::uint8_t* image = list.Buffer(list.Current(view));
    if (image == nullptr)
        return; // stays black
    for (int row = 0; row < kFrameRows; ++row)
        std::memcpy(composite + (top + row) * kCompositeStride + x * 4, image + row * kImageStride,
                    kImageStride);
}

} // namespace

void BuildComposite(const ImageList& list, std::span<std::uint8_t> composite) {
    assert(composite.size() == static_cast<std::size_t>(kCompositeBytes));
    std::fill(composite.begin(), composite.end(), std::uint8_t{0});
    std::uint8_t* bits = composite.data();
    CopyFrameRows(list, 0, bits, kLeftX, kTopRow);
    CopyFrameRows(list, 1, bits, kRightX, kTopRow);
    CopyFrameRows(list, 2, bits, kLeftX, kLowerTop);
    CopyFrameRows(list, 3, bits, kRightX, kLowerTop);
    if (list.LabelOn())
        for (int row = 0; row < kBandRows; ++row)
            std::memcpy(bits + (kBandTop + row) * kCompositeStride,
                        list.Band().data() + row * kBandWidth, kBandWidth * 4);
}

} // namespace tesselon::images
