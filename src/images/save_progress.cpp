#include "images/save_progress.h"

#include <atomic>

namespace images {
namespace {

// Written by the user-interface thread, read by the worker: atomic.
std::atomic<SaveProgressTarget*> currentTarget{nullptr};

// Touched by one saving worker at a time; consecutive workers run on
// different threads, so the value is atomic to hand it over safely.
std::atomic<std::int32_t> lastPassSeen{0};

} // namespace

void SetSaveProgressTarget(SaveProgressTarget* target) {
    currentTarget.store(target, std::memory_order_release);
}

SaveProgressTarget* CurrentSaveProgressTarget() {
    return currentTarget.load(std::memory_order_acquire);
}

void StepBmpProgress() {
    if (SaveProgressTarget* target = CurrentSaveProgressTarget()) {
        target->Step();
    }
}

void StepCodecProgress(jpeg::RasterCoder& /*coder*/, std::uint32_t /*userValue*/,
                       std::int32_t currentPass, std::int32_t /*passCount*/,
                       std::int32_t /*percent*/, std::uint8_t& /*abortFlag*/) {
    SaveProgressTarget* target = CurrentSaveProgressTarget();
    if (target == nullptr || currentPass == lastPassSeen.load(std::memory_order_relaxed)) {
        return;
    }
    target->Step();
    lastPassSeen.store(currentPass, std::memory_order_relaxed);
}

std::int32_t LastCodecPassSeen() {
    return lastPassSeen.load(std::memory_order_relaxed);
}

} // namespace images
