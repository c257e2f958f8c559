#include "platform/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vorlanx {

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
