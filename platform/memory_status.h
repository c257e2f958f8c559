// Available physical memory, as the memory label shows it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorlanx {

// MemAvailable of /proc/meminfo in bytes; nothing when it cannot be read.
std::optional<uint64_t> AvailablePhysicalMemoryBytes();

// The MemAvailable line of a /proc/meminfo text, in bytes; nothing when absent or garbled.
std::optional<uint64_t> ParseMemAvailable(std::string_view meminfo);

}  // namespace vorlanx
