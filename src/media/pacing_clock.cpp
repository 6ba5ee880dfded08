#include "media/pacing_clock.h"

namespace media {

namespace {
// 100 ns per stream unit.
constexpr std::int64_t kNanosecondsPerUnit = 100;
} // namespace

std::chrono::nanoseconds SteadyTimeSource::Now() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

std::chrono::nanoseconds ManualTimeSource::Now() const {
    return std::chrono::nanoseconds(nanoseconds_.load());
}

void ManualTimeSource::Advance(std::chrono::nanoseconds step) {
    nanoseconds_ += step.count();
}

std::chrono::nanoseconds FreeRunningTimeSource::Now() const {
    constexpr std::int64_t kHour = std::chrono::nanoseconds(std::chrono::hours(1)).count();
    return std::chrono::nanoseconds(nanoseconds_ += kHour);
}

std::shared_ptr<const TimeSource> DefaultTimeSource() {
    static const auto source = std::make_shared<const SteadyTimeSource>();
    return source;
}

PacingClock::PacingClock(std::shared_ptr<const TimeSource> source)
    : source_(std::move(source)) {}

void PacingClock::Start() {
    if (running_)
        return;
    startedAt_ = source_->Now();
    running_ = true;
}

void PacingClock::Stop() {
    if (!running_)
        return;
    base_ = Position();
    running_ = false;
}

void PacingClock::Set(StreamTime position) {
    base_ = position;
    startedAt_ = source_->Now();
}

StreamTime PacingClock::Position() const {
    if (!running_)
        return base_;
    return base_ + (source_->Now() - startedAt_).count() / kNanosecondsPerUnit;
}

std::chrono::nanoseconds PacingClock::TimeUntil(StreamTime position) const {
    if (!running_)
        return std::chrono::hours(1);
    const StreamTime left = position - Position();
    return std::chrono::nanoseconds(left > 0 ? left * kNanosecondsPerUnit : 0);
}

} // namespace media
