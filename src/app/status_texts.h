// The status bar's texts, apart from its widgets: the times of the position
// and duration panes, the paused frame's label and the slider's page.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// A whole number of seconds as "07", "02:05" or "01:02:05": the largest unit
// that is not zero decides the form. Negative values read as 0.
QString FormatTime(int seconds);

// The slider's page: a tenth of the duration, in whole seconds.
int SliderPageSize(int durationSeconds);

// The paused frame as the status bar shows it: "Frame 1234 · 41166.667 ms",
// its number in the file and its time (100 ns units) in milliseconds to the
// microsecond; "Frame … · …" while the frames are still being counted.
QString FormatShownFrame(std::optional<std::int64_t> number, std::int64_t time);
