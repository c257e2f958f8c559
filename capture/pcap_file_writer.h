// Writes IPv4 datagrams as a classic capture file (pcap, raw-IPv4 link type) through
// libpcap's own dumper, so every analyser that reads capture files opens it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct pcap;
struct pcap_dumper;

namespace vorlanx {

// The link type a file declares. Either way each record is the IPv4 datagram alone, IP
// header first; only the file header's number differs.
enum class PcapLinkType {
    Ipv4,   // LINKTYPE_IPV4 (228): says the records are IPv4
    RawIp,  // LINKTYPE_RAW (101): IPv4 or IPv6 by the version nibble; read by more tools
};

class PcapFileWriter {
  public:
    PcapFileWriter() = default;
    // Closes the file (failures not reported).
    ~PcapFileWriter();
    PcapFileWriter(const PcapFileWriter&) = delete;
    PcapFileWriter& operator=(const PcapFileWriter&) = delete;

    // Creates `path` (an existing file is replaced), mode 0666 under the umask, and writes
    // the file header declaring `linkType`. 0, or the errno of the failure.
    int open(const std::string& path, PcapLinkType linkType = PcapLinkType::Ipv4);
    bool isOpen() const { return m_dumper != nullptr; }

    // Adds one record: the datagram whole, captured at `microseconds` since the epoch.
    // Buffered (kBufferBytes): 0, or the errno of the write to the file that failed, now or
    // before; nothing is added after a failure.
    int write(std::span<const uint8_t> datagram, int64_t microseconds);
    // Writes what is buffered. 0, or the errno of the failed write.
    int flush();
    // Flushes and closes. 0, or the errno of the failed write or close. The file is a
    // valid capture of every record written before.
    int close();

    // Bytes gathered before a write to the file.
    static constexpr size_t kBufferBytes = 256 * 1024;

  private:
    pcap* m_dead = nullptr;
    pcap_dumper* m_dumper = nullptr;
    int m_error = 0;
    std::unique_ptr<char[]> m_buffer;  // the stream's buffer; outlives the stream
};

}  // namespace vorlanx
