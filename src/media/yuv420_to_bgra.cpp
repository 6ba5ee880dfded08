#include "media/yuv420_to_bgra.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace media {

namespace {

static_assert(std::endian::native == std::endian::little,
              "a pixel is stored as one 32-bit word (or two 16-bit ones), blue in its low byte");

// The per-pixel sums carry 20 fraction bits: a 10-bit sample's sum stays under
// 2^30, and a coefficient's rounding moves a pixel by under 0.01 of a level.
constexpr int kFractionBits = 20;
constexpr std::int32_t kHalf = 1 << (kFractionBits - 1);

// Interpolated chroma carries two bits of fraction across and two down.
constexpr int kChromaScale = 16;

// The shares of red and blue in luma (Kr, Kb) of each matrix.
struct LumaShares {
    double red;
    double blue;
};

LumaShares SharesOf(int matrix) {
    switch (matrix) {
    case SWS_CS_ITU709:
        return {0.2126, 0.0722};
    case SWS_CS_FCC:
        return {0.30, 0.11};
    case SWS_CS_SMPTE240M:
        return {0.212, 0.087};
    case SWS_CS_BT2020:
        return {0.2627, 0.0593};
    default:
        return {0.299, 0.114};
    }
}

// Integer weights of one conversion: levels of output per sample step, in
// kFractionBits fixed point.
struct Coefficients {
    std::int32_t black = 0;        // the luma sample of black
    std::int32_t luma = 0;         // per luma step
    std::int32_t chromaCentre = 0; // neutral chroma, times kChromaScale
    std::int32_t redFromCr = 0;    // the rest per interpolated chroma step
    std::int32_t greenFromCb = 0;
    std::int32_t greenFromCr = 0;
    std::int32_t blueFromCb = 0;
};

Coefficients CoefficientsFor(int matrix, bool fullRange, int bits) {
    const LumaShares k = SharesOf(matrix);
    const double green = 1 - k.red - k.blue;
    const int extraBits = bits - 8;
    // Full range spans every code (BT.2100); limited range puts black at 16
    // and white at 235, chroma at 16 to 240, scaled up for deeper samples.
    const double lumaSpan = fullRange ? (1 << bits) - 1 : 219 << extraBits;
    const double chromaSpan = fullRange ? (1 << bits) - 1 : 224 << extraBits;
    const double one = 1 << kFractionBits;
    const double chroma = 255.0 / chromaSpan / kChromaScale * one;
    auto fixed = [](double value) {
        return static_cast<std::int32_t>(std::lround(value));
    };
    Coefficients c;
    c.black = fullRange ? 0 : 16 << extraBits;
    c.luma = fixed(255.0 / lumaSpan * one);
    c.chromaCentre = kChromaScale << (bits - 1);
    c.redFromCr = fixed(2 * (1 - k.red) * chroma);
    c.greenFromCb = fixed(2 * k.blue * (1 - k.blue) / green * chroma);
    c.greenFromCr = fixed(2 * k.red * (1 - k.red) / green * chroma);
    c.blueFromCb = fixed(2 * (1 - k.blue) * chroma);
    return c;
}

// The same conversion for 8-bit samples in 16-bit lanes, twice as many a
// step: each product keeps its high 16 bits (a multiply-high), and the sums
// count 1/32 of a level. Luma enters as (Y - black) << 7 and chroma, spread
// as above (16 steps a sample), as (C - centre) << 4, which just fits; the
// weights are chosen so that each product lands in those units. The error
// stays within a few hundredths of a level; a result off by one is rare.
constexpr int kNarrowFractionBits = 5;

struct NarrowCoefficients {
    std::int16_t black = 0;
    std::int16_t luma = 0;
    std::int16_t chromaCentre = 0;
    std::int16_t redFromCr = 0;
    std::int16_t greenFromCb = 0;
    std::int16_t greenFromCr = 0;
    std::int16_t blueFromCb = 0;
};

NarrowCoefficients NarrowCoefficientsFor(int matrix, bool fullRange) {
    const LumaShares k = SharesOf(matrix);
    const double green = 1 - k.red - k.blue;
    const double lumaSpan = fullRange ? 255 : 219;
    const double chromaSpan = fullRange ? 255 : 224;
    auto fixed = [](double value) {
        return static_cast<std::int16_t>(std::lround(value));
    };
    // (Y << 7) * w >> 16 is Y * w / 512 in 1/32 levels: w = 16384 * gain.
    // (C << 4) * w >> 16 is C * w / 4096 with C in 1/16 steps: w = 8192 * gain.
    const double chroma = 255.0 / chromaSpan * 8192;
    NarrowCoefficients c;
    c.black = fullRange ? 0 : 16;
    c.luma = fixed(255.0 / lumaSpan * 16384);
    c.chromaCentre = kChromaScale << 7;
    c.redFromCr = fixed(2 * (1 - k.red) * chroma);
    c.greenFromCb = fixed(2 * k.blue * (1 - k.blue) / green * chroma);
    c.greenFromCr = fixed(2 * k.red * (1 - k.red) / green * chroma);
    c.blueFromCb = fixed(2 * (1 - k.blue) * chroma);
    return c;
}

// Where chroma sample 0 lies, in half luma pixels right of and below luma
// sample 0.
struct Siting {
    int across;
    int down;
};

Siting SitingOf(AVChromaLocation location) {
    switch (location) {
    case AVCHROMA_LOC_CENTER:
        return {1, 1};
    case AVCHROMA_LOC_TOPLEFT:
        return {0, 0};
    case AVCHROMA_LOC_TOP:
        return {1, 0};
    case AVCHROMA_LOC_BOTTOMLEFT:
        return {0, 2};
    case AVCHROMA_LOC_BOTTOM:
        return {1, 2};
    default:
        // MPEG-2, H.264 and their successors: left, and the default when unsaid.
        return {0, 1};
    }
}

inline std::uint32_t Clamped(std::int32_t sum) {
    return static_cast<std::uint32_t>(std::clamp(sum >> kFractionBits, 0, 255));
}

template <typename Sample> const Sample* Row(const AVFrame& frame, int plane, int y) {
    return reinterpret_cast<const Sample*>(frame.data[plane] +
                                           static_cast<std::ptrdiff_t>(y) * frame.linesize[plane]);
}

// The row steps are inlined into each copy of the conversion, so that each is
// compiled for that copy's instruction set.
#define TESSELON_ROW_STEP [[gnu::always_inline]] inline

// One chroma plane's row for one picture row: the two chroma rows around it
// mixed in quarters (weights sum to 4), edges repeated, into mixed[1 ..
// width], with mixed[0] and mixed[width + 1] the repeated edges.
template <typename Sample, typename Value>
TESSELON_ROW_STEP void MixRows(const Sample* __restrict above, const Sample* __restrict below,
                               int belowWeight, int width, Value* __restrict mixed) {
    const int aboveWeight = 4 - belowWeight;
    for (int x = 0; x < width; ++x)
        mixed[x + 1] = static_cast<Value>(aboveWeight * above[x] + belowWeight * below[x]);
    mixed[0] = mixed[1];
    mixed[width + 1] = mixed[width];
}

// Spreads a mixed row across two pixels per sample (weights sum to 4 again),
// less the neutral value, shifted up by shift. across is 0 for chroma sited
// on the even pixel, 1 for chroma between the two.
template <int shift, typename Value>
TESSELON_ROW_STEP void SpreadRow(const Value* __restrict mixed, int across, int width, Value centre,
                                 Value* __restrict spread) {
    const int left = across;
    const int middle = 4 - across;
    const int inner = 2 + across;
    const int right = 2 - across;
    for (int x = 0; x < width; ++x) {
        const Value* m = mixed + x + 1;
        spread[2 * x] = static_cast<Value>((left * m[-1] + middle * m[0] - centre) << shift);
        spread[2 * x + 1] = static_cast<Value>((inner * m[0] + right * m[1] - centre) << shift);
    }
}

template <typename Sample>
TESSELON_ROW_STEP void PixelRow(const Sample* __restrict luma, const std::int32_t* __restrict cb,
                                const std::int32_t* __restrict cr, int width, const Coefficients& c,
                                std::uint32_t* __restrict out) {
    for (int x = 0; x < width; ++x) {
        const std::int32_t y = (luma[x] - c.black) * c.luma + kHalf;
        const std::int32_t red = y + c.redFromCr * cr[x];
        const std::int32_t green = y - c.greenFromCb * cb[x] - c.greenFromCr * cr[x];
        const std::int32_t blue = y + c.blueFromCb * cb[x];
        out[x] = 0xFF000000u | Clamped(red) << 16 | Clamped(green) << 8 | Clamped(blue);
    }
}

TESSELON_ROW_STEP std::int16_t MulHigh(std::int16_t a, std::int16_t b) {
    return static_cast<std::int16_t>((static_cast<std::int32_t>(a) * b) >> 16);
}

TESSELON_ROW_STEP std::uint8_t Narrowed(std::int16_t sum) {
    const std::int16_t level = static_cast<std::int16_t>(sum >> kNarrowFractionBits);
    return static_cast<std::uint8_t>(std::clamp<std::int16_t>(level, 0, 255));
}

// 8-bit samples: the mixed and spread chroma fit 16 bits (spread up by 4, as
// the weights expect), and so does every product and sum of the pixel.
// Each pixel is written as two 16-bit halves, blue and green then red and
// 255, which interleave as 16-bit lanes instead of widening to 32 bits.
TESSELON_ROW_STEP void NarrowPixelRow(const std::uint8_t* __restrict luma,
                                      const std::int16_t* __restrict cb,
                                      const std::int16_t* __restrict cr, int width,
                                      const NarrowCoefficients& c, std::uint16_t* __restrict out) {
    // Half a level to round, and one unit for the products' truncation.
    constexpr std::int16_t kRound = (1 << (kNarrowFractionBits - 1)) + 1;
    for (int x = 0; x < width; ++x) {
        const std::int16_t y = static_cast<std::int16_t>(
            MulHigh(static_cast<std::int16_t>((luma[x] - c.black) << 7), c.luma) + kRound);
        const auto red = static_cast<std::int16_t>(y + MulHigh(cr[x], c.redFromCr));
        const auto green = static_cast<std::int16_t>(y - MulHigh(cb[x], c.greenFromCb) -
                                                     MulHigh(cr[x], c.greenFromCr));
        const auto blue = static_cast<std::int16_t>(y + MulHigh(cb[x], c.blueFromCb));
        out[2 * x] = static_cast<std::uint16_t>(Narrowed(blue) | Narrowed(green) << 8);
        out[2 * x + 1] = static_cast<std::uint16_t>(Narrowed(red) | 0xFF00);
    }
}

// Scratch rows of one conversion: two mixed chroma rows and two spread ones.
template <typename Value> struct Scratch {
    explicit Scratch(int chromaWidth)
        : block(static_cast<std::size_t>(chromaWidth + 2) * 2 +
                static_cast<std::size_t>(chromaWidth) * 4)
        , mixedCb(block.data())
        , mixedCr(mixedCb + chromaWidth + 2)
        , cb(mixedCr + chromaWidth + 2)
        , cr(cb + 2 * chromaWidth) {}
    std::vector<Value> block;
    Value* mixedCb;
    Value* mixedCr;
    Value* cb;
    Value* cr;
};

// The two chroma rows a picture row lies between, and the weight of the lower
// one in quarters.
struct ChromaRows {
    int above;
    int below;
    int belowWeight;
};

ChromaRows ChromaRowsOf(const AVFrame& frame, int y, Siting siting) {
    const int chromaHeight = (frame.height + 1) / 2;
    const int quarter = 2 * y - siting.down;
    return {std::clamp(quarter >> 2, 0, chromaHeight - 1),
            std::clamp((quarter >> 2) + 1, 0, chromaHeight - 1), quarter & 3};
}

template <typename Sample>
TESSELON_ROW_STEP void ConvertRow(const AVFrame& frame, int y, Siting siting, const Coefficients& c,
                                  Scratch<std::int32_t>& scratch, std::uint32_t* out) {
    const int chromaWidth = (frame.width + 1) / 2;
    const ChromaRows rows = ChromaRowsOf(frame, y, siting);
    MixRows(Row<Sample>(frame, 1, rows.above), Row<Sample>(frame, 1, rows.below), rows.belowWeight,
            chromaWidth, scratch.mixedCb);
    MixRows(Row<Sample>(frame, 2, rows.above), Row<Sample>(frame, 2, rows.below), rows.belowWeight,
            chromaWidth, scratch.mixedCr);
    SpreadRow<0>(scratch.mixedCb, siting.across, chromaWidth, c.chromaCentre, scratch.cb);
    SpreadRow<0>(scratch.mixedCr, siting.across, chromaWidth, c.chromaCentre, scratch.cr);
    PixelRow(Row<Sample>(frame, 0, y), scratch.cb, scratch.cr, frame.width, c, out);
}

template <typename Sample>
TESSELON_ROW_STEP void ConvertRows(const AVFrame& frame, Siting siting, const Coefficients& c,
                                   PixelBuffer& picture) {
    Scratch<std::int32_t> scratch((frame.width + 1) / 2);
    for (int y = 0; y < frame.height; ++y)
        ConvertRow<Sample>(frame, y, siting, c, scratch,
                           reinterpret_cast<std::uint32_t*>(picture.Row(y)));
}

TESSELON_ROW_STEP void ConvertNarrowRows(const AVFrame& frame, Siting siting,
                                         const NarrowCoefficients& c, PixelBuffer& picture) {
    const int chromaWidth = (frame.width + 1) / 2;
    Scratch<std::int16_t> scratch(chromaWidth);
    for (int y = 0; y < frame.height; ++y) {
        const ChromaRows rows = ChromaRowsOf(frame, y, siting);
        MixRows(Row<std::uint8_t>(frame, 1, rows.above), Row<std::uint8_t>(frame, 1, rows.below),
                rows.belowWeight, chromaWidth, scratch.mixedCb);
        MixRows(Row<std::uint8_t>(frame, 2, rows.above), Row<std::uint8_t>(frame, 2, rows.below),
                rows.belowWeight, chromaWidth, scratch.mixedCr);
        SpreadRow<4>(scratch.mixedCb, siting.across, chromaWidth, c.chromaCentre, scratch.cb);
        SpreadRow<4>(scratch.mixedCr, siting.across, chromaWidth, c.chromaCentre, scratch.cr);
        NarrowPixelRow(Row<std::uint8_t>(frame, 0, y), scratch.cb, scratch.cr, frame.width, c,
                       reinterpret_cast<std::uint16_t*>(picture.Row(y)));
    }
}

// The loops vectorise; on machines with AVX2 they run eight pixels a step
// (sixteen for 8-bit samples). The copy is chosen at the call, not by an
// ifunc resolver, which would run before a sanitizer's runtime is ready.
__attribute__((target("avx2"))) void ConvertTenBitAvx2(const AVFrame& frame, Siting siting,
                                                       const Coefficients& c,
                                                       PixelBuffer& picture) {
    ConvertRows<std::uint16_t>(frame, siting, c, picture);
}

void ConvertTenBit(const AVFrame& frame, Siting siting, const Coefficients& c,
                   PixelBuffer& picture) {
    ConvertRows<std::uint16_t>(frame, siting, c, picture);
}

__attribute__((target("avx2"))) void ConvertEightBitAvx2(const AVFrame& frame, Siting siting,
                                                         const NarrowCoefficients& c,
                                                         PixelBuffer& picture) {
    ConvertNarrowRows(frame, siting, c, picture);
}

void ConvertEightBit(const AVFrame& frame, Siting siting, const NarrowCoefficients& c,
                     PixelBuffer& picture) {
    ConvertNarrowRows(frame, siting, c, picture);
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

} // namespace

bool IsExactYuv420(const AVFrame& frame) {
    switch (static_cast<AVPixelFormat>(frame.format)) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV420P10LE:
        return true;
    default:
        return false;
    }
}

void ConvertYuv420ToBgra(const AVFrame& frame, int matrix, bool fullRange, PixelBuffer& picture) {
    const Siting siting = SitingOf(frame.chroma_location);
    if (frame.format == AV_PIX_FMT_YUV420P10LE) {
        const Coefficients c = CoefficientsFor(matrix, fullRange, 10);
        HasAvx2() ? ConvertTenBitAvx2(frame, siting, c, picture)
                  : ConvertTenBit(frame, siting, c, picture);
    } else {
        const NarrowCoefficients c = NarrowCoefficientsFor(matrix, fullRange);
        HasAvx2() ? ConvertEightBitAvx2(frame, siting, c, picture)
                  : ConvertEightBit(frame, siting, c, picture);
    }
}

} // namespace media
