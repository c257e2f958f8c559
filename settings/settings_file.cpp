#include "settings/settings_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

bool SaveSettings(const SettingsRecord& record, const std::string& path) {
    const std::string tmp = path + ".new";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const auto& bytes = record.bytes();
    size_t put = 0;
    bool ok = true;
    while (put < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + put, bytes.size() - put);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        put += static_cast<size_t>(n);
    }
    ok = (::fsync(fd) == 0) && ok;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

}  // namespace vorlanx
