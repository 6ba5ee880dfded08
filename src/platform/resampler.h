// Smooth resampling between two areas of 32-bit pixels, the filtering behind
// the surfaces' kBltSmooth blits.
//
// Each axis is filtered on its own: a shrinking axis averages the source
// pixels each destination pixel covers, weighted by how much of each it
// covers (a box filter); an enlarging axis interpolates linearly between the
// two source pixels nearest the destination pixel's centre, holding the edge
// pixels; an axis of equal length is copied. All four bytes of a pixel are
// filtered alike, the unused one too.
//
// Arithmetic is fixed point and exact: weights are integers summing to one
// unit, so an area of one colour stays exactly that colour.
//
// Threads: any thread; no shared state. Done here rather than by QPainter,
// whose scaling may start helper threads.
#pragma once

#include <cstdint>

namespace platform {

// A rectangle of pixels in memory: its first pixel, the bytes from one row to
// the next, and its size in pixels.
struct PixelArea {
    std::uint8_t* bits = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
};

struct ConstPixelArea {
    const std::uint8_t* bits = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
};

// Which code does the arithmetic. All give the same bytes; the portable
// loops are there for processors without SSE2 and for proving that.
enum class ResampleCode {
    kFastest,  // AVX2 when the processor has it, else SSE2 where the target has it
    kAvx2,     // x86-64 processors with AVX2
    kSse2,     // targets with SSE2
    kPortable, // plain loops
};

// Whether this build on this processor has `code`; kFastest and kPortable
// always.
bool ResampleCodeSupported(ResampleCode code);

// Resamples the whole of source onto the whole of dest. Both areas are
// non-empty and must not overlap. Code that is not supported falls back to
// the portable loops.
void ResampleSmooth(const PixelArea& dest, const ConstPixelArea& source,
                    ResampleCode code = ResampleCode::kFastest);

} // namespace platform
