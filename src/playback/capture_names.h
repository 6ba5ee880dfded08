// Names of captured frames: each frame is named after its capture time in
// milliseconds, and a time already used within the batch (a short file looped
// through, or a stream that repeats a time stamp) gets "_2", "_3", ... so that
// no saved frame overwrites another. The capture batch and tesselon-grab name
// their frames with it.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace playback {

// One per batch. Not thread-safe: the thread that captures names the frames.
class NameMaker {
public:
    // The name of the next frame, captured at `timeMs`.
    std::string Next(std::int32_t timeMs);
    // base, or base with the first free suffix.
    std::string Unique(const std::string& base);

private:
    std::set<std::string> used_;
};

} // namespace playback
