// Checks of a video's captured frames against the source's own cadence: frames
// missing before a record, a frame delivered twice, and a time step unlike the
// rest (a variable frame rate).
#pragma once

#include "grab_report.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace grab {

// Marks gap, repeat and irregularStep on a video's frames, in capture order;
// flags set before are cleared.
// numberStep: the frame-number step expected between consecutive records (1 for
// a consecutive burst, N for every Nth frame); none when picks are by time,
// where only repeats are checked.
//
// - repeat: the same frame number or the same time as the record before, or
//   the same non-zero picture hash (a frame doubled in the source).
// - gap: the frame number advances by more than numberStep, or the time step is
//   at least 1.5 x the typical step around it (the median of the positive
//   steps of its four neighbours on each side, given at least 3 of them), so
//   that each stretch of a variable frame rate keeps its own cadence.
// - irregularStep: not a gap nor a repeat, and the time step is off the typical
//   one around it by more than 1% and 1 us. Timestamps may be rounded to a
//   tick (the stream's time base; without it, the finest step the times'
//   denominators allow): when that tick is
//   at most half a frame, a step one tick off is taken as rounding (a stream
//   timed in whole milliseconds steps 33, 33, 34 ms at 30000/1001 fps).
// A step backwards (a short file looped) flags nothing; the one after it is
// measured as usual.
void MarkChecks(std::vector<FrameRecord>& frames, std::optional<std::int64_t> numberStep,
                std::optional<Fraction> timeBase = std::nullopt);

} // namespace grab
