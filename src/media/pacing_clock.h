// The clock that paces frame hand-over: it starts at a stream position when the
// stream runs and advances with real time; stopping freezes it. The time source
// is injectable so tests can drive pacing without sleeping.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace media {

// Stream times count signed 100 ns units.
using StreamTime = std::int64_t;
inline constexpr StreamTime kStreamUnitsPerSecond = 10'000'000;
inline constexpr StreamTime kStreamUnitsPerMillisecond = 10'000;

// A monotonic source of "now". Thread-safe.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    virtual std::chrono::nanoseconds Now() const = 0;
};

// std::chrono::steady_clock.
class SteadyTimeSource final : public TimeSource {
public:
    std::chrono::nanoseconds Now() const override;
};

// Time that moves only when told to; for tests. Any thread may advance it.
class ManualTimeSource final : public TimeSource {
public:
    std::chrono::nanoseconds Now() const override;
    void Advance(std::chrono::nanoseconds step);

private:
    std::atomic<std::int64_t> nanoseconds_{0};
};

// Time that leaps an hour at every reading, so every frame is due as soon as
// it is decoded: for runs that take frames as fast as they come
// (tesselon-grab, tests). Thread-safe.
class FreeRunningTimeSource final : public TimeSource {
public:
    std::chrono::nanoseconds Now() const override;

private:
    mutable std::atomic<std::int64_t> nanoseconds_{0};
};

std::shared_ptr<const TimeSource> DefaultTimeSource();

// Not thread-safe: the media stream guards it with its own lock.
class PacingClock {
public:
    explicit PacingClock(std::shared_ptr<const TimeSource> source);

    // Runs from the current position (after Set, the position set).
    void Start();
    // Freezes at the current position.
    void Stop();
    // Moves to position; keeps running or stopped.
    void Set(StreamTime position);

    bool Running() const { return running_; }
    StreamTime Position() const;
    // Real time left until the clock reads position; zero when it already does,
    // and a large value while stopped.
    std::chrono::nanoseconds TimeUntil(StreamTime position) const;

private:
    std::shared_ptr<const TimeSource> source_;
    bool running_ = false;
    StreamTime base_ = 0; // position at startedAt_, or the frozen position
    std::chrono::nanoseconds startedAt_{0};
};

} // namespace media
