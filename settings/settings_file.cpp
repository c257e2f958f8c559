#include "settings/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/output_file.h"

namespace vorlanx {

std::string SettingsFilePath(std::string_view executablePath) {
    const size_t slash = executablePath.rfind('/');
    const std::string_view name =
        slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && name.size() - dot == 4)
        return std::string(executablePath.substr(0, executablePath.size() - 3)) + "BCS";
    return std::string(executablePath) + ".BCS";
}

std::string DefaultFileDirectory() {
    const char* home = std::getenv("HOME");
    std::string dir = (home && *home) ? home : "";
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

void LoadSettings(SettingsRecord& record, const std::string& path) {
    record = SettingsRecord::defaults(DefaultFileDirectory());
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    // Read into a copy: bytes present replace the defaults, a short file keeps the rest.
    SettingsRecord::Bytes bytes = record.bytes();
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(got),
              record.bytes().begin());
}

namespace {

// The process's file-creation mask, read without changing it (umask() can only be read by
// setting it, which would race with other threads creating files).
mode_t ProcessUmask() {
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 022;
    char text[4096];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return 022;
    text[n] = '\0';
    const char* at = std::strstr(text, "Umask:");
    return at ? static_cast<mode_t>(std::strtoul(at + 6, nullptr, 8)) : 022;
}

}  // namespace

bool SaveSettings(const SettingsRecord& record, const std::string& path) {
    // A temporary of this process's own in the same folder, renamed over the file once
    // complete: two copies of the program (the old and the new one of a mode switch)
    // never write into one temporary, and a reader sees the old file or the new one. The
    // settings file gets the mode a plain create would give it.
    const auto& bytes = record.bytes();
    return ReplaceFile(path, 0644 & ~ProcessUmask(), [&](int fd) {
        return WriteAll(
            fd, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    });
}

}  // namespace vorlanx
