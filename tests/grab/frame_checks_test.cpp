// tesselon-grab's frame checks on made-up captures: each flag lands on exactly
// the record it is about, and steady streams, however timed, flag nothing.
#include "frame_checks.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using grab::Fraction;
using grab::FrameRecord;
using Indexes = std::vector<std::size_t>;

// Records numbered as given, each at number / fps seconds unless times are given.
std::vector<FrameRecord> Records(const std::vector<std::int64_t>& numbers,
                                 std::vector<Fraction> times = {}) {
    std::vector<FrameRecord> frames(numbers.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i].frame = numbers[i];
        frames[i].time = times.empty() ? grab::Reduced(numbers[i], 25) : times[i];
    }
    return frames;
}

std::vector<std::int64_t> Count(std::int64_t from, std::int64_t to, std::int64_t step = 1) {
    std::vector<std::int64_t> numbers;
    for (std::int64_t n = from; n < to; n += step)
        numbers.push_back(n);
    return numbers;
}

// Times k * num / den for k in [0, count), or rounded to whole milliseconds
// as a container with a 1/1000 time base stores them.
std::vector<Fraction> Cadence(int count, std::int64_t num, std::int64_t den, bool wholeMs = false,
                              Fraction start = {0, 1}) {
    std::vector<Fraction> times;
    for (int k = 0; k < count; ++k) {
        const Fraction exact =
            grab::Reduced(start.num * den + k * num * start.den, den * start.den);
        times.push_back(wholeMs ? grab::Reduced(std::llround(1000.0 * exact.num / exact.den), 1000)
                                : exact);
    }
    return times;
}

Indexes Where(const std::vector<FrameRecord>& frames, bool FrameRecord::*flag) {
    Indexes at;
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (frames[i].*flag)
            at.push_back(i);
    return at;
}

void ExpectFlags(const std::vector<FrameRecord>& frames, const Indexes& gaps,
                 const Indexes& repeats, const Indexes& irregular) {
    EXPECT_EQ(Where(frames, &FrameRecord::gap), gaps) << "gaps";
    EXPECT_EQ(Where(frames, &FrameRecord::repeat), repeats) << "repeats";
    EXPECT_EQ(Where(frames, &FrameRecord::irregularStep), irregular) << "irregular steps";
}

TEST(FrameChecks, SteadyStreamsFlagNothing) {
    const struct {
        const char* name;
        std::vector<Fraction> times;
    } streams[] = {
        {"25 fps", Cadence(50, 1, 25)},
        {"30000/1001 fps exact", Cadence(50, 1001, 30000)},
        {"30000/1001 fps on a 1/90000 base", Cadence(50, 3003, 90000)},
        {"30000/1001 fps in whole ms", Cadence(50, 1001, 30000, true)},
        {"24000/1001 fps in whole ms", Cadence(50, 1001, 24000, true)},
        {"60000/1001 fps in whole ms", Cadence(50, 1001, 60000, true)},
        {"30000/1001 fps from 1 h in whole ms", Cadence(50, 1001, 30000, true, {3600, 1})},
    };
    for (const auto& stream : streams) {
        SCOPED_TRACE(stream.name);
        auto frames = Records(Count(0, 50), stream.times);
        for (FrameRecord& frame : frames) // left from an earlier marking
            frame.gap = frame.repeat = frame.irregularStep = true;
        grab::MarkChecks(frames, 1);
        ExpectFlags(frames, {}, {}, {});
    }
}

TEST(FrameChecks, MissingFramesAreGapsAtTheRecordAfterThem) {
    // Dropped at recording: numbers run on, the time skips a slot.
    std::vector<Fraction> times = Cadence(10, 1, 25);
    for (std::size_t i = 5; i < times.size(); ++i)
        times[i] = grab::Reduced(static_cast<std::int64_t>(i) + 1, 25);
    auto dropped = Records(Count(0, 10), times);
    grab::MarkChecks(dropped, 1);
    ExpectFlags(dropped, {5}, {}, {});

    // Lost by the decoder: the number skips one the file holds.
    auto lost = Records({0, 1, 2, 3, 5, 6, 7, 8});
    grab::MarkChecks(lost, 1);
    ExpectFlags(lost, {4}, {}, {});

    // Same, timed in whole milliseconds at 30000/1001.
    std::vector<Fraction> ms = Cadence(12, 1001, 30000, true);
    ms.erase(ms.begin() + 6);
    auto lostMs = Records({0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11}, ms);
    grab::MarkChecks(lostMs, 1);
    ExpectFlags(lostMs, {6}, {}, {});
}

TEST(FrameChecks, RepeatsOfANumberATimeOrAPicture) {
    auto number = Records({0, 1, 2, 3, 3, 4, 5, 6});
    grab::MarkChecks(number, 1);
    ExpectFlags(number, {}, {4}, {});

    // No numbers known: the time tells.
    auto time = Records({0, 1, 2, 3, 3, 4, 5, 6});
    for (FrameRecord& frame : time)
        frame.frame.reset();
    grab::MarkChecks(time, 1);
    ExpectFlags(time, {}, {4}, {});

    // A frame doubled in the source: a new number and time, the same picture.
    auto picture = Records(Count(0, 6));
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i].pictureHash = 100 + i - (i >= 3);
    grab::MarkChecks(picture, 1);
    ExpectFlags(picture, {}, {3}, {});
    for (FrameRecord& frame : picture)
        frame.pictureHash = 0; // not hashed is not the same picture
    grab::MarkChecks(picture, 1);
    ExpectFlags(picture, {}, {}, {});
}

TEST(FrameChecks, VariableFrameRateIsIrregularWhereTheRateChanges) {
    for (const bool wholeMs : {false, true}) {
        SCOPED_TRACE(wholeMs ? "whole ms" : "exact");
        std::vector<Fraction> times = Cadence(12, 1, 25, wholeMs);
        const std::vector<Fraction> faster = Cadence(12, 1, 30, wholeMs, times.back());
        times.insert(times.end(), faster.begin() + 1, faster.end());
        // Each stretch is held to its own cadence: only the first step at the
        // new rate is unlike its neighbours.
        auto frames = Records(Count(0, 23), times);
        grab::MarkChecks(frames, 1, Fraction{1, wholeMs ? 1000 : 90000});
        ExpectFlags(frames, {}, {}, {12});
        // Without the time base, 1/150 s is the finest step the times allow,
        // and the change is one such tick: taken for rounding.
        if (!wholeMs) {
            grab::MarkChecks(frames, 1);
            ExpectFlags(frames, {}, {}, {});
        }
    }
    // A clip that runs at 25 fps, leaves 140 ms, then runs at 50 fps: the
    // long step is a gap, the first step at 50 fps is unlike its neighbours,
    // and no other step is off its own stretch's cadence.
    std::vector<Fraction> times = Cadence(20, 1, 25);
    for (int k = 0; k < 30; ++k)
        times.push_back(grab::Reduced(900 + 20 * k, 1000));
    auto vfr = Records(Count(0, 50), times);
    grab::MarkChecks(vfr, 1, Fraction{1, 1000});
    ExpectFlags(vfr, {20}, {}, {21});
}

TEST(FrameChecks, ALoopSeamFlagsNothingAndTheStepAfterCounts) {
    std::vector<std::int64_t> numbers = Count(0, 6);
    numbers.insert(numbers.end(), {0, 1, 2, 3, 4, 5});
    auto looped = Records(numbers);
    grab::MarkChecks(looped, 1);
    ExpectFlags(looped, {}, {}, {});

    auto skipAfterSeam = Records({0, 1, 2, 3, 4, 5, 0, 2, 3, 4});
    grab::MarkChecks(skipAfterSeam, 1);
    ExpectFlags(skipAfterSeam, {7}, {}, {});
}

TEST(FrameChecks, EveryNthFrame) {
    auto steady = Records(Count(0, 50, 5));
    grab::MarkChecks(steady, 5);
    ExpectFlags(steady, {}, {}, {});

    auto lost = Records({0, 5, 10, 15, 25, 30, 35, 40});
    grab::MarkChecks(lost, 5);
    ExpectFlags(lost, {4}, {}, {});

    // A slot dropped at recording lengthens a 5-frame step by a fifth: under
    // the gap threshold, but off the cadence.
    std::vector<Fraction> times = Cadence(8, 5, 25);
    for (std::size_t i = 4; i < times.size(); ++i)
        times[i] = grab::Reduced(5 * static_cast<std::int64_t>(i) + 1, 25);
    auto dropped = Records(Count(0, 40, 5), times);
    grab::MarkChecks(dropped, 5);
    ExpectFlags(dropped, {}, {}, {4});
}

TEST(FrameChecks, PicksByTimeCheckOnlyRepeats) {
    auto frames =
        Records({0, 3, 3, 9, 10, 30}, {{0, 1}, {3, 25}, {3, 25}, {9, 25}, {10, 25}, {30, 25}});
    grab::MarkChecks(frames, std::nullopt);
    ExpectFlags(frames, {}, {2}, {});
}

TEST(FrameChecks, FewRecordsHaveNoTypicalStep) {
    std::vector<FrameRecord> none;
    grab::MarkChecks(none, 1);
    auto one = Records({0});
    one[0].gap = true;
    grab::MarkChecks(one, 1);
    ExpectFlags(one, {}, {}, {});

    // Two steps are no cadence to hold either to.
    auto jump = Records({0, 1, 2}, {{0, 1}, {1, 25}, {8, 25}});
    grab::MarkChecks(jump, 1);
    ExpectFlags(jump, {}, {}, {});
    // Numbers and repeats need no cadence.
    auto two = Records({4, 6});
    grab::MarkChecks(two, 1);
    ExpectFlags(two, {1}, {}, {});
    auto twice = Records({4, 4});
    grab::MarkChecks(twice, 1);
    ExpectFlags(twice, {}, {1}, {});
}

} // namespace
