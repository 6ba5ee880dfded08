#include "playback/capture_names.h"

namespace playback {

std::string NameMaker::Next(std::int32_t timeMs) {
    return Unique(std::to_string(timeMs));
}

std::string NameMaker::Unique(const std::string& base) {
    std::string name = base;
    for (int suffix = 2; !used_.insert(name).second; ++suffix)
        name = base + "_" + std::to_string(suffix);
    return name;
}

} // namespace playback
