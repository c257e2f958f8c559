#include "platform/memory_status.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <string>

namespace vorlanx {

std::optional<uint64_t> ParseMemAvailable(std::string_view meminfo) {
    constexpr std::string_view key = "MemAvailable:";
    size_t at = meminfo.find(key);
    while (at != std::string_view::npos && at != 0 && meminfo[at - 1] != '\n')
        at = meminfo.find(key, at + 1);
    if (at == std::string_view::npos)
        return std::nullopt;
    size_t p = at + key.size();
    while (p < meminfo.size() && meminfo[p] == ' ')
        ++p;
    uint64_t kb = 0;
    auto [end, ec] = std::from_chars(meminfo.data() + p, meminfo.data() + meminfo.size(), kb);
    if (ec != std::errc() || end == meminfo.data() + p)
        return std::nullopt;
    if (kb > UINT64_MAX / 1024)
        return std::nullopt;
    return kb * 1024;
}

std::optional<uint64_t> AvailablePhysicalMemoryBytes() {
    std::ifstream in("/proc/meminfo");
    if (!in)
        return std::nullopt;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return ParseMemAvailable(text);
}

}  // namespace vorlanx
