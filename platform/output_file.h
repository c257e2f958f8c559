// A file written in order through one buffer: reports, logs and saved captures.
//
// Writes gather in a buffer and reach the file in large pieces; a piece larger than the
// buffer goes straight through. A short write goes on with the rest; a failed one gives its
// errno, and nothing after it is written. Close flushes and reports a failed flush or close
// like a failed write, never as success.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <functional>
#include <string>
#include <string_view>

namespace vorlanx {

// Writes all of `bytes` to `fd`, going on after short writes. False at the first failure.
bool WriteAll(int fd, std::string_view bytes);

// Replaces `target` by a whole new file or not at all: `fill` writes a temporary of this
// process's own beside it, which gets `mode`, is synced and renamed over `target` (the
// folder is synced too). On any failure the temporary is removed and `target` stays as it
// was.
bool ReplaceFile(const std::string& target, mode_t mode, const std::function<bool(int fd)>& fill);

class OutputFile {
  public:
    enum class Mode {
        Replace,  // a new, empty file (an existing one is emptied)
        Append,   // created when missing, kept and written at its end otherwise
    };

    OutputFile() = default;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Closes the file; what is still buffered is written, failures are not reported.
    ~OutputFile();

    // Opens `path` for writing, mode 0666 under the umask. Returns 0 or the errno of the
    // failure (the file is not open then).
    int open(const std::string& path, Mode mode);
    bool isOpen() const { return m_fd >= 0; }

    // Adds `bytes` to the file. 0, or the errno of the write that failed.
    int write(std::string_view bytes);
    // Lets render(std::string& text) add bytes behind what is buffered (never change what
    // is there), so that text is built in place instead of copied in; the buffer goes to
    // the file once it holds kBufferBytes or more. 0, or the errno of the write that failed
    // (render is not called after a failure, nor on a file that is not open).
    template <typename Render>
    int append(Render&& render) {
        if (m_fd < 0)
            return m_error != 0 ? m_error : EBADF;
        if (m_error != 0)
            return m_error;
        render(m_buffer);
        return m_buffer.size() >= kBufferBytes ? flush() : 0;
    }
    // Writes what is buffered. 0, or the errno of the write that failed.
    int flush();
    // Flushes and closes. 0, or the errno of the flush or the close that failed.
    int close();

    // Bytes gathered before a write to the file.
    static constexpr size_t kBufferBytes = 256 * 1024;

  private:
    int writeThrough(std::string_view bytes);

    int m_fd = -1;
    int m_error = 0;  // the first failure; every later write returns it
    std::string m_buffer;
};

}  // namespace vorlanx
