#include "frame_checks.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace grab {

namespace {

// How many steps on each side a step is measured against.
constexpr std::size_t kNeighbours = 4;

// The step from one time to the next: its sign exact (the difference of two
// 64-bit fractions is exact in 128 bits), its length near enough for ratios.
struct Step {
    int sign = 0;
    long double seconds = 0;
};

Step StepBetween(Fraction from, Fraction to) {
    const __int128 num =
        static_cast<__int128>(to.num) * from.den - static_cast<__int128>(from.num) * to.den;
    const __int128 den = static_cast<__int128>(to.den) * from.den;
    return {num > 0 ? 1 : (num < 0 ? -1 : 0),
            static_cast<long double>(num) / static_cast<long double>(den)};
}

// One tick of the timestamps: 1 / the least common multiple of the times'
// denominators. None finer than a nanosecond is told apart.
long double Tick(const std::vector<FrameRecord>& frames) {
    constexpr std::int64_t kFinest = 1'000'000'000;
    std::int64_t ticks = 1;
    for (const FrameRecord& frame : frames) {
        const std::int64_t den = std::max<std::int64_t>(frame.time.den, 1);
        if (__builtin_mul_overflow(ticks / std::gcd(ticks, den), den, &ticks) || ticks > kFinest)
            return 0;
    }
    return 1.0L / static_cast<long double>(ticks);
}

bool Before(const std::optional<std::int64_t>& earlier, const std::optional<std::int64_t>& later) {
    return earlier && later && *later < *earlier;
}

} // namespace

void MarkChecks(std::vector<FrameRecord>& frames, std::optional<std::int64_t> numberStep,
                std::optional<Fraction> timeBase) {
    for (FrameRecord& frame : frames)
        frame.gap = frame.repeat = frame.irregularStep = false;
    const std::size_t n = frames.size();
    for (std::size_t i = 1; i < n; ++i) {
        FrameRecord& frame = frames[i];
        const FrameRecord& previous = frames[i - 1];
        frame.repeat = (frame.frame && previous.frame && *frame.frame == *previous.frame) ||
                       frame.time == previous.time ||
                       (frame.pictureHash != 0 && frame.pictureHash == previous.pictureHash);
    }
    // Picks by time land wherever the source's frames are: only repeats mean
    // anything there.
    if (!numberStep || *numberStep <= 0 || n < 2)
        return;

    std::vector<Step> steps(n); // steps[i]: from record i - 1 to record i
    for (std::size_t i = 1; i < n; ++i)
        steps[i] = StepBetween(frames[i - 1].time, frames[i].time);
    // The typical step at i: the median of the positive steps of its
    // neighbours, kNeighbours on each side, given at least 3 of them. A
    // variable frame rate holds each stretch to its own cadence.
    const auto typicalAround = [&](std::size_t i) -> std::optional<long double> {
        std::vector<long double> lengths;
        const std::size_t from = i > kNeighbours ? i - kNeighbours : 1;
        for (std::size_t j = from; j < n && j <= i + kNeighbours; ++j)
            if (j != i && steps[j].sign > 0)
                lengths.push_back(steps[j].seconds);
        if (lengths.size() < 3)
            return std::nullopt;
        const auto middle = lengths.begin() + static_cast<std::ptrdiff_t>(lengths.size() / 2);
        std::nth_element(lengths.begin(), middle, lengths.end());
        return *middle;
    };
    // Timestamps whose tick is well under a frame may be rounded to it; with
    // a coarser tick (a time base of one frame) they are exact.
    const long double tick =
        timeBase && timeBase->num > 0
            ? static_cast<long double>(timeBase->num) / static_cast<long double>(timeBase->den)
            : Tick(frames);

    for (std::size_t i = 1; i < n; ++i) {
        FrameRecord& frame = frames[i];
        const FrameRecord& previous = frames[i - 1];
        if (steps[i].sign < 0 || Before(previous.frame, frame.frame))
            continue; // a loop seam
        if (frame.frame && previous.frame &&
            static_cast<__int128>(*frame.frame) - *previous.frame > *numberStep)
            frame.gap = true;
        const std::optional<long double> typical = typicalAround(i);
        if (!typical || steps[i].sign <= 0)
            continue;
        if (steps[i].seconds >= 1.5L * *typical)
            frame.gap = true;
        if (frame.gap || frame.repeat)
            continue;
        // A step one tick off may be rounding: a stream timed in whole
        // milliseconds steps 33, 33, 34 ms at 30000/1001 fps, and its
        // neighbours' median may be either. The slack keeps a step exactly
        // one tick off at one tick.
        const bool rounded = tick > 0 && 2 * tick <= *typical / *numberStep;
        const long double deviation = std::fabs(steps[i].seconds - *typical);
        frame.irregularStep = deviation > std::max(0.01L * *typical, 1e-6L) &&
                              !(rounded && deviation <= tick * 1.001L);
    }
}

} // namespace grab
