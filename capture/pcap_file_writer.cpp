#include "capture/pcap_file_writer.h"

#include <fcntl.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace vorlanx {

namespace {

// The largest datagram a record holds: an IPv4 datagram's total length can say no more.
constexpr int kSnapLength = 65535;

int ErrnoOr(int fallback) {
    return errno != 0 ? errno : fallback;
}

}  // namespace

PcapFileWriter::~PcapFileWriter() {
    close();
}

int PcapFileWriter::open(const std::string& path, PcapLinkType linkType) {
    close();
    m_error = 0;
    if (path.empty() || path.find('\0') != std::string::npos)
        return ENOENT;
    // The file is created here, not by the dumper, so its mode is 0666 under the umask like
    // every other file the program writes and a failure gives its errno.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return ErrnoOr(EIO);
    FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = ErrnoOr(EIO);
        ::close(fd);
        return error;
    }
    // The stream's own buffer would be a page: a write to the file every few records.
    m_buffer = std::make_unique<char[]>(kBufferBytes);
    std::setvbuf(file, m_buffer.get(), _IOFBF, kBufferBytes);
    m_dead = pcap_open_dead(linkType == PcapLinkType::RawIp ? DLT_RAW : DLT_IPV4, kSnapLength);
    if (m_dead != nullptr)
        m_dumper = pcap_dump_fopen(m_dead, file);
    if (m_dumper == nullptr) {
        std::fclose(file);
        if (m_dead != nullptr)
            pcap_close(m_dead);
        m_dead = nullptr;
        m_buffer.reset();
        return ENOMEM;
    }
    return 0;
}

int PcapFileWriter::write(std::span<const uint8_t> datagram, int64_t microseconds) {
    if (m_dumper == nullptr)
        return m_error != 0 ? m_error : EBADF;
    if (m_error != 0)
        return m_error;
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(microseconds / 1000000);
    header.ts.tv_usec = static_cast<suseconds_t>(microseconds % 1000000);
    const auto length = static_cast<bpf_u_int32>(datagram.size());
    header.caplen = length < kSnapLength ? length : kSnapLength;
    header.len = length;
    // The stream writes to the file when its buffer fills; a failed write marks it, and
    // errno is still that write's.
    errno = 0;
    pcap_dump(reinterpret_cast<u_char*>(m_dumper), &header, datagram.data());
    if (std::ferror(pcap_dump_file(m_dumper)) != 0)
        m_error = ErrnoOr(EIO);
    return m_error;
}

int PcapFileWriter::flush() {
    if (m_dumper == nullptr)
        return m_error != 0 ? m_error : EBADF;
    if (m_error == 0) {
        errno = 0;
        if (pcap_dump_flush(m_dumper) != 0 || std::ferror(pcap_dump_file(m_dumper)) != 0)
            m_error = ErrnoOr(EIO);
    }
    return m_error;
}

int PcapFileWriter::close() {
    if (m_dumper == nullptr)
        return m_error;
    int error = flush();
    FILE* file = pcap_dump_file(m_dumper);
    // pcap_dump_close reports nothing: a duplicate of the descriptor, closed after it, is the
    // file's last close and tells whether the data reached the file.
    errno = 0;
    const int fd = ::dup(::fileno(file));
    pcap_dump_close(m_dumper);
    if (fd >= 0 && ::close(fd) != 0 && error == 0 && errno != EINTR)
        error = ErrnoOr(EIO);
    m_dumper = nullptr;
    m_buffer.reset();
    pcap_close(m_dead);
    m_dead = nullptr;
    m_error = error;
    return error;
}

}  // namespace vorlanx
