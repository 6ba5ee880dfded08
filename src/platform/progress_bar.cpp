#include "platform/progress_bar.h"

#include <algorithm>

namespace platform {
namespace {

LResult PackRange(int minimum, int maximum) {
    return static_cast<LResult>((static_cast<std::uint32_t>(maximum) & 0xFFFF) << 16 |
                                (static_cast<std::uint32_t>(minimum) & 0xFFFF));
}

} // namespace

ProgressBar::ProgressBar(QWidget* parent)
    : QProgressBar(parent) {
    setTextVisible(false);
    Show();
}

LResult ProgressBar::HandleMessage(MessageId message, WParam wParam, LParam lParam) {
    const int previous = position_;
    switch (message) {
    case PBM_SETRANGE: {
        const LResult before = PackRange(minimum_, maximum_);
        // Words: the range is 16 bits each way.
        minimum_ = static_cast<int>(static_cast<std::uint32_t>(lParam) & 0xFFFF);
        maximum_ = static_cast<int>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFF);
        position_ = std::clamp(position_, minimum_, std::max(minimum_, maximum_));
        Show();
        return before;
    }
    case PBM_SETPOS:
        position_ = std::clamp(static_cast<int>(wParam), minimum_, std::max(minimum_, maximum_));
        break;
    case PBM_DELTAPOS:
        position_ = std::clamp(position_ + static_cast<int>(wParam), minimum_,
                               std::max(minimum_, maximum_));
        break;
    case PBM_SETSTEP: {
        const int before = step_;
        step_ = static_cast<int>(wParam);
        return before;
    }
    case PBM_STEPIT:
        position_ += step_;
        if (position_ > maximum_)
            position_ = minimum_; // starts over from the beginning
        break;
    default:
        return 0;
    }
    Show();
    return previous;
}

void ProgressBar::Show() {
    setRange(minimum_, std::max(minimum_, maximum_));
    setValue(position_);
}

} // namespace platform
