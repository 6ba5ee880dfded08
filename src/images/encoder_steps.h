// Progress of a save whose encoder reports how far it is (PNG, WebP): a step
// function called a fixed number of times over the whole save, so a bar that
// counts those steps ends full as the file is written.
#pragma once

#include "images/bmp_image_builder.h"

#include <algorithm>
#include <cstdint>

namespace images {

// The saving progress bar's range, in steps of one.
inline constexpr unsigned kSaveProgressSteps = 10;

// One step at once (the save has started), the rest in proportion to the
// encoder's progress, and whatever is left at Finish. A null function is
// never called. Used by one thread.
class EncoderSteps {
public:
    EncoderSteps(BmpStepFunction step, unsigned total)
        : step_(step)
        , total_(total) {
        StepTo(1);
    }

    // `done` of `of` is encoded.
    void Reached(std::uint64_t done, std::uint64_t of) {
        if (of > 0 && total_ > 1)
            StepTo(1 + static_cast<unsigned>((total_ - 1) * std::min(done, of) / of));
    }

    void Finish() { StepTo(total_); }

private:
    void StepTo(unsigned count) {
        for (; taken_ < count && taken_ < total_; ++taken_) {
            if (step_ != nullptr)
                step_();
        }
    }

    BmpStepFunction step_;
    unsigned total_;
    unsigned taken_ = 0;
};

} // namespace images
