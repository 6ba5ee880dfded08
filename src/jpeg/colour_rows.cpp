#include "jpeg/colour_rows.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace jpeg {

namespace {

// A plain loop that the compiler vectorises (this file is built with
// vectorisation on, see CMakeLists.txt); inlined into each path below so each
// is compiled for its own width.
template <ColourChannel Channel>
[[gnu::always_inline]] inline void ConvertKernel(const std::uint8_t* __restrict pixels,
                                                 std::uint8_t* __restrict samples,
                                                 std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = ToChannel<Channel>(pixels[3 * i + 2], pixels[3 * i + 1], pixels[3 * i]);
    }
}

using RowFunction = void (*)(const std::uint8_t*, std::uint8_t*, std::size_t);

template <ColourChannel Channel>
void ConvertPortable(const std::uint8_t* pixels, std::uint8_t* samples, std::size_t count) {
    ConvertKernel<Channel>(pixels, samples, count);
}

#if defined(__x86_64__)
// The weights of red, green and blue, and the constant added before the
// shift by 12, of each channel's function.
template <ColourChannel Channel> struct Weights;
template <> struct Weights<ColourChannel::Y> {
    static constexpr int red = 1224, green = 2404, blue = 466, constant = 2048;
};
template <> struct Weights<ColourChannel::Cb> {
    static constexpr int red = -690, green = -1357, blue = 2048, constant = 526336;
};
template <> struct Weights<ColourChannel::Cr> {
    static constexpr int red = 2048, green = -1714, blue = -333, constant = 526336;
};

// (red × wr + green × wg + blue × wb + constant) >> 12 of four pixels.
[[gnu::target("avx2"), gnu::always_inline]] inline __m128i
WeightedSum(__m128i redGreen, __m128i blueZero, __m128i redGreenWeights, __m128i blueWeights,
            __m128i constant) {
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(redGreen, redGreenWeights),
                                      _mm_madd_epi16(blueZero, blueWeights));
    return _mm_srai_epi32(_mm_add_epi32(sum, constant), 12);
}

// Eight pixels' red, green and blue as 16-bit lanes become eight samples as
// 16-bit lanes: red × wr + green × wg and blue × wb are each one multiply-add
// of 16-bit pairs into 32 bits, exact, as is the rest of the sum; the shift is
// arithmetic, as >> of a negative int is.
template <ColourChannel Channel>
[[gnu::target("avx2"), gnu::always_inline]] inline __m128i
ChannelOfEight(__m128i red, __m128i green, __m128i blue) {
    using W = Weights<Channel>;
    const __m128i redGreenWeights = _mm_set1_epi32((W::green << 16) | (W::red & 0xFFFF));
    const __m128i blueWeights = _mm_set1_epi32(W::blue & 0xFFFF);
    const __m128i constant = _mm_set1_epi32(W::constant);
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = WeightedSum(_mm_unpacklo_epi16(red, green), _mm_unpacklo_epi16(blue, zero),
                                    redGreenWeights, blueWeights, constant);
    const __m128i high = WeightedSum(_mm_unpackhi_epi16(red, green), _mm_unpackhi_epi16(blue, zero),
                                     redGreenWeights, blueWeights, constant);
    // Every sum lies within 16 bits, so the signed pack keeps it as it is.
    return _mm_packs_epi32(low, high);
}

// Bytes of three 16-byte groups picked by three shuffles into one.
[[gnu::target("avx2"), gnu::always_inline]] inline __m128i Gather(__m128i first, __m128i second,
                                                                  __m128i third, __m128i firstOrder,
                                                                  __m128i secondOrder,
                                                                  __m128i thirdOrder) {
    return _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(first, firstOrder), _mm_shuffle_epi8(second, secondOrder)),
        _mm_shuffle_epi8(third, thirdOrder));
}

// Sixteen pixels at a time: the 48 bytes are split into their blue, green and
// red bytes with byte shuffles, the samples are computed in 32-bit lanes and
// packed back to bytes with unsigned saturation, which is the clamp to 0 to
// 255. The last pixels take the plain loop.
template <ColourChannel Channel>
[[gnu::target("avx2")]] void ConvertAvx2(const std::uint8_t* pixels, std::uint8_t* samples,
                                         std::size_t count) {
    // -1 selects nothing (a 0 byte).
    const __m128i blue0 = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i blue1 =
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
    const __m128i blue2 =
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
    const __m128i green0 =
        _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i green1 =
        _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);
    const __m128i green2 =
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);
    const __m128i red0 = _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i red1 = _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);
    const __m128i red2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);
    const __m128i zero = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const std::uint8_t* group = pixels + 3 * i;
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group + 16));
        const __m128i third = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group + 32));
        const __m128i blue = Gather(first, second, third, blue0, blue1, blue2);
        const __m128i green = Gather(first, second, third, green0, green1, green2);
        const __m128i red = Gather(first, second, third, red0, red1, red2);
        const __m128i low =
            ChannelOfEight<Channel>(_mm_unpacklo_epi8(red, zero), _mm_unpacklo_epi8(green, zero),
                                    _mm_unpacklo_epi8(blue, zero));
        const __m128i high =
            ChannelOfEight<Channel>(_mm_unpackhi_epi8(red, zero), _mm_unpackhi_epi8(green, zero),
                                    _mm_unpackhi_epi8(blue, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + i), _mm_packus_epi16(low, high));
    }
    ConvertKernel<Channel>(pixels + 3 * i, samples + i, count - i);
}
#endif

template <ColourChannel Channel> RowFunction FunctionOf(TransformPath path) {
#if defined(__x86_64__)
    // The AVX-512 machines take the AVX2 form: byte shuffles gain nothing wider.
    if (path != TransformPath::Portable && TransformPathSupported(TransformPath::Avx2)) {
        return ConvertAvx2<Channel>;
    }
#endif
    (void)path;
    return ConvertPortable<Channel>;
}

RowFunction FunctionOf(TransformPath path, ColourChannel channel) {
    switch (channel) {
    case ColourChannel::Y:
        return FunctionOf<ColourChannel::Y>(path);
    case ColourChannel::Cb:
        return FunctionOf<ColourChannel::Cb>(path);
    case ColourChannel::Cr:
        break;
    }
    return FunctionOf<ColourChannel::Cr>(path);
}

} // namespace

void ConvertRowUsing(TransformPath path, ColourChannel channel, const std::uint8_t* pixels,
                     std::uint8_t* samples, std::size_t count) {
    FunctionOf(path, channel)(pixels, samples, count);
}

void ConvertRow(ColourChannel channel, const std::uint8_t* pixels, std::uint8_t* samples,
                std::size_t count) {
    static const RowFunction kWidest[] = {FunctionOf(TransformPath::Avx512, ColourChannel::Y),
                                          FunctionOf(TransformPath::Avx512, ColourChannel::Cb),
                                          FunctionOf(TransformPath::Avx512, ColourChannel::Cr)};
    kWidest[static_cast<int>(channel)](pixels, samples, count);
}

} // namespace jpeg
