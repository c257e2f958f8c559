#include "filemode/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "capture/date_time_template.h"
#include "filemode/http_response.h"

namespace vorlanx {
namespace {

constexpr const char* kWriteErrorText =
    "Error writing the file:\r\n\r\n%s\r\n\r\nto the destination, please choose another "
    "destination";

// Characters of an over-long path shown in its message; the rest is left out.
constexpr size_t kShownPathPrefix = 200;

void replaceAll(std::string& text, std::string_view token, std::string_view replacement) {
    size_t at = 0;
    while ((at = text.find(token, at)) != std::string::npos) {
        text.replace(at, token.size(), replacement);
        at += replacement.size();
    }
}

std::string writeErrorMessage(const std::string& path) {
    std::string text = kWriteErrorText;
    text.replace(text.find("%s"), 2, path);
    return text;
}

std::string pathTooLongMessage(const std::string& path) {
    char figures[160];
    std::snprintf(figures, sizeof figures,
                  "The path would be %zu characters long; at most %zu are possible.", path.size(),
                  kPathBufferBytes - 1);
    return "Error writing the file:\r\n\r\n" + path.substr(0, kShownPathPrefix) + "...\r\n\r\n" +
           figures + "\r\n\r\nPlease choose a shorter destination or file name template";
}

// The file system refuses the name itself (the platform's "invalid name"): such streams
// are dropped without a message, as a name with characters Windows forbids would be.
bool isInvalidName(int error) {
    return error == ENAMETOOLONG || error == EINVAL || error == EILSEQ;
}

// The file is opened only if it is (or becomes) a regular file: a symbolic link in its
// place is not followed and a FIFO or device is refused, so overwriting never writes
// through a link to somewhere else and never blocks on a FIFO that nobody reads. Returns
// the descriptor, or -1 with `error` set (ENXIO for something that is not a regular file).
int openForWriting(const std::string& path, bool exclusive, int& error) {
    const int flags =
        O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (exclusive ? O_EXCL : 0);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat status {};
    const int statusFlags = ::fcntl(fd, F_GETFL);
    // Truncated only once it is known to be a regular file.
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || statusFlags < 0 ||
        ::fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) != 0 ||
        (!exclusive && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        error = ENXIO;
        return -1;
    }
    error = 0;
    return fd;
}

// Writes all of `data`; returns false at the first failed write, with the bytes that did
// reach the file added to `result`.
bool writeAll(int fd, std::span<const uint8_t> data, FileWriteResult& result) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        ++result.writeCalls;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        done += static_cast<size_t>(n);
        result.bytesWritten += static_cast<uint64_t>(n);
    }
    return true;
}

// Gathers small pieces into one buffer and writes it when full; a piece at least as large
// as the buffer goes straight to the file. Without a buffer (none could be had) every
// piece is written as it comes. The buffer counts in trackedMemory while it exists.
class BufferedWriter {
  public:
    BufferedWriter(int fd, size_t capacity, FileWriteResult& result,
                   std::atomic<int32_t>& trackedMemory)
        : m_fd(fd),
          m_buffer(new (std::nothrow) uint8_t[capacity]),
          m_capacity(m_buffer ? capacity : 0),
          m_result(result),
          m_trackedMemory(trackedMemory) {
        m_trackedMemory.fetch_add(static_cast<int32_t>(m_capacity));
    }
    ~BufferedWriter() { m_trackedMemory.fetch_sub(static_cast<int32_t>(m_capacity)); }
    BufferedWriter(const BufferedWriter&) = delete;
    BufferedWriter& operator=(const BufferedWriter&) = delete;

    // Nothing more is written after a failed write.
    void append(std::span<const uint8_t> data) {
        if (m_failed)
            return;
        if (data.size() > m_capacity - m_used && !flush())
            return;
        if (data.size() >= m_capacity) {
            m_failed = !writeAll(m_fd, data, m_result);
            return;
        }
        std::memcpy(m_buffer.get() + m_used, data.data(), data.size());
        m_used += data.size();
    }
    // Writes what is held; false once any write failed.
    bool flush() {
        if (!m_failed && m_used != 0)
            m_failed = !writeAll(m_fd, {m_buffer.get(), m_used}, m_result);
        m_used = 0;
        return !m_failed;
    }

  private:
    int m_fd;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_capacity;
    size_t m_used = 0;
    bool m_failed = false;
    FileWriteResult& m_result;
    std::atomic<int32_t>& m_trackedMemory;
};

bool writeBody(int fd, const FileBody& body, FileWriteResult& result,
               std::atomic<int32_t>& trackedMemory) {
    if (body.start >= body.stream.size())
        return true;
    if (!body.chunked)
        return writeAll(fd, body.stream.subspan(body.start), result);
    // The decoded data is never longer than the raw body, so a small body gets a small
    // buffer.
    BufferedWriter writer(fd, std::min(kChunkedWriteBufferBytes, body.stream.size() - body.start),
                          result, trackedMemory);
    ForEachChunk(body.stream, body.start,
                 [&writer](std::span<const uint8_t> data) { writer.append(data); });
    return writer.flush();
}

}  // namespace

std::string FileNameDateText(std::string_view expandedDateTime) {
    std::string text(expandedDateTime);
    for (char& c : text) {
        if (c == ':') {
            c = '.';
        } else if (c == '\\') {
            c = '/';
        }
    }
    return text;
}

std::string BuildFileName(std::string_view fileNameTemplate, const StreamOrigin& origin,
                          std::string_view dateText) {
    const std::string source = AddressText(origin.source);
    const std::string destination = AddressText(origin.destination);
    std::string name(fileNameTemplate);
    replaceAll(name, "%SIP", source);
    replaceAll(name, "%DIP", destination);
    replaceAll(name, "%DAT", dateText);
    replaceAll(name, "%sip", source);
    replaceAll(name, "%dip", destination);
    replaceAll(name, "%dat", dateText);
    return name;
}

std::string JoinOutputPath(std::string_view directory, std::string_view name,
                           std::string_view extension, unsigned copy) {
    std::string path(directory);
    path += '/';
    path += name;
    if (copy > 1)
        path += " (" + std::to_string(copy) + ")";
    path += '.';
    path += extension;
    return path;
}

FileWriteResult WriteStreamFile(const FileBody& body, const StreamOrigin& origin,
                                std::string_view extension, const FileModeLiveOptions& options,
                                FileModeCounters& counters, UserPrompt& prompt,
                                const LocalTimeSource& localTime) {
    const std::string dateText =
        FileNameDateText(ExpandDateTimeTemplate(options.dateTimeTemplate(), localTime));
    const std::string name = BuildFileName(options.fileNameTemplate(), origin, dateText) +
                             (body.incomplete ? kIncompleteMarker : "");
    const std::string directory = options.directory();
    const bool overwrite = options.overwriteFiles();

    FileWriteResult result;
    int fd = -1;
    int error = 0;
    const unsigned lastCopy = overwrite ? 1 : kMaxSameNameCopies;
    for (unsigned copy = 1; copy <= lastCopy; ++copy) {
        result.path = JoinOutputPath(directory, name, extension, copy);
        if (result.path.size() >= kPathBufferBytes) {
            result.outcome = FileWriteOutcome::PathTooLong;
            prompt.tell("", pathTooLongMessage(result.path));
            return result;
        }
        // Overwriting off: the name is taken if anything at all stands there, and creating
        // exclusively means a file appearing meanwhile is never truncated either.
        fd = openForWriting(result.path, !overwrite, error);
        if (fd >= 0 || error != EEXIST || overwrite)
            break;
    }
    if (fd < 0) {
        if (error == EEXIST) {
            result.outcome = FileWriteOutcome::NoFreeName;
            result.path = JoinOutputPath(directory, name, extension);
            prompt.tell("", writeErrorMessage(result.path));
        } else if (isInvalidName(error)) {
            result.outcome = FileWriteOutcome::InvalidName;
        } else {
            result.outcome = FileWriteOutcome::OpenFailed;
            prompt.tell("", writeErrorMessage(result.path));
        }
        return result;
    }

    bool complete = writeBody(fd, body, result, counters.trackedMemory);
    if (::close(fd) != 0 && errno != EINTR)
        complete = false;
    result.outcome = complete ? FileWriteOutcome::Written : FileWriteOutcome::WriteFailed;

    counters.filesWrittenRun.fetch_add(1);
    counters.filesWrittenAll.fetch_add(1);
    counters.bytesWrittenRun.fetch_add(result.bytesWritten);
    counters.bytesWrittenAll.fetch_add(result.bytesWritten);
    if (body.incomplete)
        counters.filesIncompleteAll.fetch_add(1);

    // A disk that fills up mid-file leaves it short: say so rather than count it as whole.
    if (!complete)
        prompt.tell("", writeErrorMessage(result.path));
    return result;
}

}  // namespace vorlanx
