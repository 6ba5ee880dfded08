// The resampler's fast code against its portable loops: the same bytes for
// random pictures of random sizes, shrunk (by up to 400 to 1, past what the
// vector code takes) and enlarged, read from within wider rows. What the
// filter computes is checked through the surfaces' smooth blits.
#include "platform/resampler.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using platform::ConstPixelArea;
using platform::PixelArea;
using platform::ResampleCode;

int RandomSide(std::mt19937& generator) {
    // Mostly small and awkward sides, sometimes a wide one.
    switch (generator() % 4) {
    case 0:
        return 1 + int(generator() % 3);
    case 1:
        return 1 + int(generator() % 40);
    default:
        return 1 + int(generator() % 400);
    }
}

TEST(Resampler, FastCodeGivesTheBytesOfThePortableLoops) {
    std::mt19937 generator(2024);
    for (int round = 0; round < 400; ++round) {
        const int sourceWidth = RandomSide(generator);
        const int sourceHeight = RandomSide(generator);
        const int destWidth = RandomSide(generator);
        const int destHeight = RandomSide(generator);
        const int sourcePitch = (sourceWidth + 1) * 4;
        std::vector<std::uint8_t> source(std::size_t(sourcePitch) * sourceHeight);
        for (std::uint8_t& byte : source)
            byte = std::uint8_t(generator());
        const ConstPixelArea area{source.data() + 4, sourcePitch, sourceWidth, sourceHeight};
        std::vector<std::uint8_t> fast(std::size_t(destWidth) * destHeight * 4);
        std::vector<std::uint8_t> portable(fast.size());
        platform::ResampleSmooth(PixelArea{fast.data(), destWidth * 4, destWidth, destHeight}, area,
                                 ResampleCode::kFastest);
        platform::ResampleSmooth(PixelArea{portable.data(), destWidth * 4, destWidth, destHeight},
                                 area, ResampleCode::kPortable);
        ASSERT_EQ(fast, portable) << sourceWidth << "x" << sourceHeight << " to " << destWidth
                                  << "x" << destHeight;
    }
}

} // namespace
