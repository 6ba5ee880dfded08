// A 32-bit picture of an index clip's own size (176 x 144), and the frame
// number its 4 x 3 grid of 44 x 48 blocks spells (white is 1).
#pragma once

#include "media/media_stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

struct Picture {
    Picture(int w, int h)
        : width(w)
        , height(h)
        , bytes(static_cast<std::size_t>(w) * h * 4) {}
    media::FrameTarget Target() { return {bytes.data(), width * 4, width, height}; }
    int width;
    int height;
    std::vector<std::uint8_t> bytes;
};

// Reads the frame number from the centres of the blocks.
inline int ReadIndex(const Picture& picture) {
    int index = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const int x = (bit % 4) * 44 + 22;
        const int y = (bit / 4) * 48 + 24;
        const std::size_t at = (static_cast<std::size_t>(y) * picture.width + x) * 4;
        if (picture.bytes[at + 1] > 128)
            index |= 1 << bit;
    }
    return index;
}

} // namespace testing_support
