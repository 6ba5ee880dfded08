// A progress target that counts its steps, made current for one scope.
#pragma once

#include "images/save_progress.h"

#include <atomic>

namespace images::testing {

class CountingTarget : public SaveProgressTarget {
public:
    CountingTarget() { SetSaveProgressTarget(this); }
    ~CountingTarget() override { SetSaveProgressTarget(nullptr); }
    CountingTarget(const CountingTarget&) = delete;
    CountingTarget& operator=(const CountingTarget&) = delete;

    void Step() override { steps.fetch_add(1); }
    int Take() { return steps.exchange(0); }

    std::atomic<int> steps{0};
};

} // namespace images::testing
