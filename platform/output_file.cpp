#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace vorlanx {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool ReplaceFile(const std::string& target, mode_t mode, const std::function<bool(int fd)>& fill) {
    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = fill(fd) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : target.substr(0, slash);
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);  // the rename itself reaches the disk
        ::close(folderFd);
    }
    return true;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_error(other.m_error),
      m_buffer(std::move(other.m_buffer)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_error = other.m_error;
        m_buffer = std::move(other.m_buffer);
    }
    return *this;
}

OutputFile::~OutputFile() {
    close();
}

int OutputFile::open(const std::string& path, Mode mode) {
    close();
    m_error = 0;
    m_buffer.clear();
    if (path.empty() || path.find('\0') != std::string::npos)
        return ENOENT;
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Mode::Replace ? O_TRUNC : O_APPEND);
    do {
        m_fd = ::open(path.c_str(), flags, 0666);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        return errno != 0 ? errno : EIO;
    m_buffer.reserve(kBufferBytes);
    return 0;
}

int OutputFile::writeThrough(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return m_error = errno != 0 ? errno : EIO;
        }
        if (n == 0)  // a regular file never takes nothing without saying why
            return m_error = EIO;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

int OutputFile::write(std::string_view bytes) {
    if (m_fd < 0)
        return m_error != 0 ? m_error : EBADF;
    if (m_error != 0)
        return m_error;
    if (m_buffer.size() + bytes.size() > kBufferBytes) {
        if (const int error = flush())
            return error;
        if (bytes.size() >= kBufferBytes)
            return writeThrough(bytes);
    }
    m_buffer.append(bytes);
    return 0;
}

int OutputFile::flush() {
    if (m_fd < 0)
        return m_error != 0 ? m_error : EBADF;
    if (m_error != 0)
        return m_error;
    const int error = writeThrough(m_buffer);
    m_buffer.clear();
    return error;
}

int OutputFile::close() {
    if (m_fd < 0)
        return m_error;
    int error = m_error == 0 ? flush() : m_error;
    if (::close(m_fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    m_fd = -1;
    m_buffer.clear();
    return error;
}

}  // namespace vorlanx
