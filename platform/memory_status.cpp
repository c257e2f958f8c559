#include "platform/memory_status.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
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
    // A few kilobytes of text; read whole with plain reads.
    const int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return ParseMemAvailable(text);
}

}  // namespace vorlanx
