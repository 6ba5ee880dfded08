// Everything the writer produces must decode with an independent decoder
// (libjpeg-turbo) without a warning, at the right size and close to the source.
#include "jpeg/errors.h"
#include "jpeg/jpeg_writer.h"
#include "jpeg/raster_image.h"
#include "writer_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace jpeg::writer_test {
namespace {

enum class Layout {
    Interleaved,
    ThreeScans,
    Masks6And8,
    Masks2And12,
    Grayscale,
    Sampling2x2,
    Sampling2x1
};

const char* LayoutName(Layout layout) {
    switch (layout) {
    case Layout::Interleaved:
        return "Interleaved";
    case Layout::ThreeScans:
        return "ThreeScans";
    case Layout::Masks6And8:
        return "Masks6And8";
    case Layout::Masks2And12:
        return "Masks2And12";
    case Layout::Grayscale:
        return "Grayscale";
    case Layout::Sampling2x2:
        return "Sampling2x2";
    case Layout::Sampling2x1:
        return "Sampling2x1";
    }
    return "Unknown";
}

bool Subsampled(Layout layout) {
    return layout == Layout::Sampling2x2 || layout == Layout::Sampling2x1;
}

void Configure(JpegWriter& writer, Layout layout) {
    switch (layout) {
    case Layout::Interleaved:
    case Layout::Grayscale:
        break;
    case Layout::ThreeScans:
        UseSystemScans(writer);
        break;
    case Layout::Masks6And8:
        writer.SetScan(0, 6, 0, 0);
        writer.SetScan(1, 8, 0, 0);
        break;
    case Layout::Masks2And12:
        writer.SetScan(0, 2, 0, 0);
        writer.SetScan(1, 12, 0, 0);
        break;
    case Layout::Sampling2x2:
        writer.SetHorizontalSampling(1, 2);
        writer.SetVerticalSampling(1, 2);
        break;
    case Layout::Sampling2x1:
        writer.SetHorizontalSampling(1, 2);
        break;
    }
    writer.SetGrayscale(layout == Layout::Grayscale);
}

struct ImageCase {
    Pattern pattern;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t quality;
    // The least PSNR against the source, in dB.
    double minimumPsnr;
};

// Photographic, gradient and flat content at the default quality and noise at
// quality 100 keep 40 dB; sizes are no multiple of any coding unit. Tiny
// images pack a steep change into a few pixels, which chroma subsampling
// cannot keep; they are held to 30 dB, still far above what a misplaced or
// mispredicted unit leaves.
const ImageCase kImages[] = {
    {Pattern::Photographic, 360, 240, 75, 40}, {Pattern::Photographic, 97, 61, 75, 40},
    {Pattern::Gradient, 120, 66, 75, 40},      {Pattern::Noise, 40, 23, 100, 40},
    {Pattern::Flat, 33, 17, 75, 40},           {Pattern::Grey, 24, 16, 75, 40},
    {Pattern::Gradient, 1, 1, 75, 30},         {Pattern::Gradient, 7, 9, 75, 30},
    {Pattern::Photographic, 17, 8, 75, 30},
};

const Layout kLayouts[] = {Layout::Interleaved, Layout::ThreeScans, Layout::Masks6And8,
                           Layout::Masks2And12, Layout::Grayscale,  Layout::Sampling2x2,
                           Layout::Sampling2x1};

class LibjpegDecode : public testing::TestWithParam<std::tuple<ImageCase, Layout>> {};

TEST_P(LibjpegDecode, DecodesCleanlyAtTheRightSizeAndCloseToTheSource) {
    const auto& [image_case, layout] = GetParam();
    RasterImage image;
    FillImage(image, image_case.width, image_case.height, image_case.pattern);
    JpegWriter writer;
    Configure(writer, layout);
    writer.SetQuality(image_case.quality);

    const Decoded decoded = DecodeWithLibjpeg(Encode(writer, image));

    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.warnings, 0);
    EXPECT_EQ(decoded.width, image_case.width);
    EXPECT_EQ(decoded.height, image_case.height);
    EXPECT_EQ(decoded.components, layout == Layout::Grayscale ? 1 : 3);
    // Averaging chroma over 2 × 2 pixels cannot keep noise: the bound holds
    // for noise only at full chroma resolution.
    if (image_case.pattern != Pattern::Noise || !Subsampled(layout)) {
        EXPECT_GE(Psnr(image, decoded), image_case.minimumPsnr);
    }
}

std::string CaseName(const testing::TestParamInfo<std::tuple<ImageCase, Layout>>& info) {
    const auto& [image_case, layout] = info.param;
    return std::string(PatternName(image_case.pattern)) + std::to_string(image_case.width) + "x" +
           std::to_string(image_case.height) + "_" + LayoutName(layout);
}

INSTANTIATE_TEST_SUITE_P(ImagesAndLayouts, LibjpegDecode,
                         testing::Combine(testing::ValuesIn(kImages), testing::ValuesIn(kLayouts)),
                         CaseName);

// The same writer writes two files: each must define its own restart
// interval, or the second file's RST markers would be undefined.
TEST(LibjpegDecodeTest, SecondFileFromTheSameWriterDecodesCleanly) {
    RasterImage image;
    FillImage(image, 64, 40, Pattern::Photographic);
    JpegWriter writer;
    UseSystemScans(writer);
    Encode(writer, image);
    const Decoded second = DecodeWithLibjpeg(Encode(writer, image));
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(second.warnings, 0);
    EXPECT_GE(Psnr(image, second), 40.0);
}

// Tall images with many restart intervals in every layout, factors 1 to 4.
struct SamplingCase {
    std::uint32_t factors[3][2]; // H, V per component
    std::uint32_t masks[3];
};

class DecodeSampling : public testing::TestWithParam<SamplingCase> {};

TEST_P(DecodeSampling, UnusualFactorsDecodeCleanly) {
    const SamplingCase& sampling = GetParam();
    RasterImage image;
    FillImage(image, 77, 141, Pattern::Photographic);
    JpegWriter writer;
    for (std::uint32_t id = 1; id <= 3; ++id) {
        writer.SetHorizontalSampling(id, sampling.factors[id - 1][0]);
        writer.SetVerticalSampling(id, sampling.factors[id - 1][1]);
        writer.SetScan(id - 1, sampling.masks[id - 1], 0, 0);
    }
    const Decoded decoded = DecodeWithLibjpeg(Encode(writer, image));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.warnings, 0);
    EXPECT_EQ(decoded.width, 77u);
    EXPECT_EQ(decoded.height, 141u);
    EXPECT_GE(Psnr(image, decoded), 30.0);
}

INSTANTIATE_TEST_SUITE_P(Factors, DecodeSampling,
                         testing::Values(SamplingCase{{{2, 2}, {1, 1}, {1, 1}}, {14, 0, 0}},
                                         SamplingCase{{{1, 1}, {2, 2}, {1, 1}}, {14, 0, 0}},
                                         SamplingCase{{{3, 1}, {1, 1}, {1, 3}}, {14, 0, 0}},
                                         SamplingCase{{{4, 2}, {2, 1}, {1, 1}}, {6, 8, 0}},
                                         SamplingCase{{{2, 2}, {2, 2}, {2, 2}}, {2, 4, 8}},
                                         SamplingCase{{{1, 2}, {1, 1}, {1, 2}}, {2, 12, 0}}));

} // namespace
} // namespace jpeg::writer_test
