#include "app/capture_memory.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

std::uint64_t BatchBytes(const picture::Shape& shape, int count) {
    return std::uint64_t(shape.Bytes()) * std::uint64_t(count > 0 ? count : 0);
}

std::optional<std::uint64_t> AvailableMemoryBytes() {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        std::istringstream fields(line);
        std::string key;
        std::uint64_t kibibytes = 0;
        if (fields >> key >> kibibytes && key == "MemAvailable:")
            return kibibytes * 1024;
    }
    return std::nullopt;
}

bool BatchFitsMemory(std::uint64_t needed, std::optional<std::uint64_t> available) {
    return !available || needed <= *available / 2;
}

QString MemoryText(std::uint64_t bytes) {
    constexpr std::uint64_t kGigabyte = 1000000000;
    constexpr std::uint64_t kMegabyte = 1000000;
    if (bytes >= kGigabyte)
        return QStringLiteral("%1 GB").arg(double(bytes) / double(kGigabyte), 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(std::max<std::uint64_t>(1, (bytes + kMegabyte / 2) / kMegabyte));
}
