// What a capture batch takes of the machine's memory, asked before it starts:
// 100 pictures of 3840 × 2160 take 3.3 GB, and a batch that drives the
// machine into swap freezes the desktop long before memory runs out.
#pragma once

#include "picture/picture.h"

#include <QString>

#include <cstdint>
#include <optional>

// The bytes `count` pictures of `shape` take.
std::uint64_t BatchBytes(const picture::Shape& shape, int count);

// The memory the system could give without swapping (MemAvailable), or
// nothing when it cannot say.
std::optional<std::uint64_t> AvailableMemoryBytes();

// A batch may go ahead at once when it needs at most half of what is
// available, or when that is not known.
bool BatchFitsMemory(std::uint64_t needed, std::optional<std::uint64_t> available);

// "3.3 GB", "512 MB": sizes as the user reads them, in powers of 1000.
QString MemoryText(std::uint64_t bytes);
