#include "jpeg/colour_rows.h"

namespace tesselon::jpeg {

namespace {

template <ColourChannel Channel>
[[gnu::always_inline]] inline std::uint8_t Convert(std::uint8_t red, std::uint8_t green,
                                                   std::uint8_t blue) {
    if constexpr (Channel == ColourChannel::Y) {
        return ToY(red, green, blue);
    } else if constexpr (Channel == ColourChannel::Cb) {
        return ToCb(red, green, blue);
    } else {
        return ToCr(red, green, blue);
    }
}

// A plain loop that the compiler vectorises (this file is built with
// vectorisation on, see CMakeLists.txt); inlined into each path below so each
// is compiled for its own width.
template <ColourChannel Channel>
[[gnu::always_inline]] inline void ConvertKernel(const std::uint8_t* __restrict pixels,
                                                 std::uint8_t* __restrict samples,
                                                 std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = Convert<Channel>(pixels[3 * i + 2], pixels[3 * i + 1], pixels[3 * i]);
    }
}

using RowFunction = void (*)(const std::uint8_t*, std::uint8_t*, std::size_t);

template <ColourChannel Channel>
void ConvertPortable(const std::uint8_t* pixels, std::uint8_t* samples, std::size_t count) {
    ConvertKernel<Channel>(pixels, samples, count);
}

#if defined(__x86_64__)
template <ColourChannel Channel>
[[gnu::target("avx2")]] void ConvertAvx2(const std::uint8_t* pixels, std::uint8_t* samples,
                                         std::size_t count) {
    ConvertKernel<Channel>(pixels, samples, count);
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

} // namespace tesselon::jpeg
