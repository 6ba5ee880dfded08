// The resampler's vector code against its portable loops: the same bytes for
// random pictures of random sizes, shrunk (by up to 400 to 1, past what the
// vector code takes) and enlarged, read from within wider rows; for sides
// around the vector widths; and for the video sizes we shrink most. Bytes
// beyond the destination's rows must stay untouched. What the filter
// computes is checked through the surfaces' smooth blits.
#include "platform/resampler.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
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

// A random picture, one pixel inside rows one pixel wider.
struct Picture {
    std::vector<std::uint8_t> bytes;
    ConstPixelArea area;

    Picture(int width, int height, std::mt19937& generator)
        : bytes(std::size_t(width + 1) * 4 * std::size_t(height)) {
        for (std::uint8_t& byte : bytes)
            byte = std::uint8_t(generator());
        area = ConstPixelArea{bytes.data() + 4, (width + 1) * 4, width, height};
    }
};

// The destination with two more pixels a row, which must keep their filler.
std::vector<std::uint8_t> Resampled(const ConstPixelArea& source, int width, int height,
                                    ResampleCode code) {
    const int pitch = (width + 2) * 4;
    std::vector<std::uint8_t> dest(std::size_t(pitch) * std::size_t(height), 0xA5);
    platform::ResampleSmooth(PixelArea{dest.data(), pitch, width, height}, source, code);
    return dest;
}

class ResamplerCode : public testing::TestWithParam<ResampleCode> {
protected:
    void SetUp() override {
        if (!platform::ResampleCodeSupported(GetParam()))
            GTEST_SKIP() << "not on this processor";
    }

    void ExpectPortableBytes(const Picture& source, int width, int height) {
        ASSERT_EQ(Resampled(source.area, width, height, GetParam()),
                  Resampled(source.area, width, height, ResampleCode::kPortable))
            << source.area.width << "x" << source.area.height << " to " << width << "x" << height;
    }
};

TEST_P(ResamplerCode, GivesThePortableBytesForRandomSizes) {
    std::mt19937 generator(2024);
    for (int round = 0; round < 400; ++round) {
        const Picture source(RandomSide(generator), RandomSide(generator), generator);
        ExpectPortableBytes(source, RandomSide(generator), RandomSide(generator));
    }
}

// Widths either side of 8 pixels (32 row bytes, a group of AVX2 column
// sums) and its multiples, each way round.
TEST_P(ResamplerCode, GivesThePortableBytesAroundTheVectorWidths) {
    const int widths[] = {1, 2, 3, 4, 5, 7, 8, 9, 12, 15, 16, 17, 23, 24, 25, 33};
    const int heights[] = {1, 2, 5, 9};
    std::mt19937 generator(7);
    for (const int sourceWidth : widths)
        for (const int sourceHeight : heights) {
            const Picture source(sourceWidth, sourceHeight, generator);
            for (const int width : widths)
                for (const int height : heights)
                    ExpectPortableBytes(source, width, height);
        }
}

TEST_P(ResamplerCode, GivesThePortableBytesForVideoSizes) {
    std::mt19937 generator(11);
    const Picture small(640, 360, generator);
    ExpectPortableBytes(small, 360, 240);
    const Picture large(1280, 720, generator);
    ExpectPortableBytes(large, 360, 240);
    const Picture full(1920, 1080, generator);
    ExpectPortableBytes(full, 360, 240);
    const Picture surface(360, 240, generator);
    ExpectPortableBytes(surface, 1280, 720);
    ExpectPortableBytes(surface, 1918, 1078);
}

std::string CodeName(const testing::TestParamInfo<ResampleCode>& info) {
    switch (info.param) {
    case ResampleCode::kFastest:
        return "Fastest";
    case ResampleCode::kAvx2:
        return "Avx2";
    case ResampleCode::kSse2:
        return "Sse2";
    case ResampleCode::kPortable:
        break;
    }
    return "Portable";
}

INSTANTIATE_TEST_SUITE_P(Resampler, ResamplerCode,
                         testing::Values(ResampleCode::kFastest, ResampleCode::kAvx2,
                                         ResampleCode::kSse2),
                         CodeName);

} // namespace
