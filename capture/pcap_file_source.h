// A capture file as a capture source: recorded traffic replayed through the receive loop.
//
// Reads pcap and pcapng files with libpcap. The link types that carry IPv4 are unwrapped:
// Ethernet (with 802.1Q / 802.1ad VLAN tags), raw IP, BSD loopback (DLT_NULL and DLT_LOOP,
// either byte order) and Linux cooked captures v1 and v2. Only IPv4 datagrams are
// delivered, IP header first, without link-layer header or Ethernet padding; a record cut
// by the file's snap length delivers the bytes it holds. Everything else is skipped and
// counted.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture_source.h"

struct pcap;

namespace vorlanx {

class PcapFileSource final : public CaptureSource {
  public:
    // Opens the capture file at `path`. Never null: when the file is missing, unreadable
    // or not a capture file of a supported link type, the source is failed (receive()
    // returns nothing) and errorText() and errorNumber() say why.
    static std::unique_ptr<PcapFileSource> openFile(const std::string& path);
    // The same for an open stream, which the source takes over (closed with it); for
    // capture files held in memory (fmemopen). A null stream gives a failed source.
    static std::unique_ptr<PcapFileSource> openStream(FILE* stream);

    ~PcapFileSource() override;
    PcapFileSource(const PcapFileSource&) = delete;
    PcapFileSource& operator=(const PcapFileSource&) = delete;

    // The next IPv4 datagram of the file; valid until the next call. Nothing at the end of
    // the file, after close(), or at a damaged record (failed() then says so; the
    // datagrams before it were delivered). Capture thread only.
    std::optional<std::span<const uint8_t>> receive() override;
    // Ends the replay: the next receive() returns nothing. Any thread.
    void close() override;

    // True when opening failed or reading stopped at a damaged record. Capture thread, or
    // any thread once receive() has returned nothing.
    bool failed() const { return !m_errorText.empty(); }
    // What went wrong, naming the file; empty when nothing did.
    const std::string& errorText() const { return m_errorText; }
    // errno of the failure: the file system's for a missing or unreadable file, EINVAL
    // for a file that is not a capture file or is damaged; 0 when nothing failed.
    int errorNumber() const { return m_errorNumber; }

    // The capture time of the record last delivered (since the Unix epoch).
    std::chrono::microseconds lastRecordTime() const { return m_lastRecordTime; }
    bool isRecording() const override { return true; }
    std::chrono::microseconds recordTime() const override { return m_lastRecordTime; }
    std::string failureText() const override { return m_errorText; }
    // Records read so far that held no IPv4 datagram (other protocols, empty records) or
    // one longer than kMaxDatagramBytes (offload packets), which cannot be delivered whole.
    uint64_t recordsSkipped() const { return m_recordsSkipped; }
    // Bytes of the file read so far: its position, for a progress figure; 0 when it is
    // not open. Capture thread.
    uint64_t bytesRead() const;
    // The file's link type (a DLT_ value), or -1 when it is not open.
    int linkType() const { return m_linkType; }

  private:
    explicit PcapFileSource(std::string name) : m_name(std::move(name)) {}
    void start(FILE* stream);
    void fail(int errorNumber, const std::string& what);
    // The IPv4 datagram in one record's captured bytes, or nothing.
    std::optional<std::span<const uint8_t>> datagramIn(std::span<const uint8_t> record) const;

    std::string m_name;  // the path, or a description of the stream
    pcap* m_pcap = nullptr;
    int m_linkType = -1;
    std::atomic<bool> m_closed{false};
    std::string m_errorText;
    int m_errorNumber = 0;
    std::chrono::microseconds m_lastRecordTime{0};
    uint64_t m_recordsSkipped = 0;
};

// Several capture files replayed one after the other as one recording (a capture split
// into parts, or recordings taken in turn). A file that stops at a damaged record is
// reported and the next one follows.
class PcapFileSequence final : public CaptureSource {
  public:
    // Opens every file. When one cannot be opened (missing, unreadable, not a capture
    // file), returns nothing and `error` says which and why.
    static std::unique_ptr<PcapFileSequence> open(const std::vector<std::string>& paths,
                                                  std::string& error);

    std::optional<std::span<const uint8_t>> receive() override;
    void close() override;
    bool isRecording() const override { return true; }
    std::chrono::microseconds recordTime() const override { return m_recordTime; }
    // Every file's damage report, one line each.
    std::string failureText() const override;

    // Bytes of all the files together, and of those read so far (for a percentage). Any
    // thread.
    uint64_t totalBytes() const { return m_totalBytes; }
    uint64_t bytesDone() const { return m_bytesDone.load(std::memory_order_relaxed); }
    // IPv4 datagrams delivered so far. Any thread.
    uint64_t datagramsDelivered() const { return m_delivered.load(std::memory_order_relaxed); }
    // Records that held no deliverable IPv4 datagram, all files (see recordsSkipped()).
    uint64_t recordsSkipped() const;

  private:
    PcapFileSequence() = default;

    std::vector<std::unique_ptr<PcapFileSource>> m_files;
    size_t m_current = 0;
    uint64_t m_doneBefore = 0;  // sizes of the files finished
    uint64_t m_totalBytes = 0;
    std::vector<uint64_t> m_sizes;
    std::atomic<uint64_t> m_bytesDone{0};
    std::atomic<uint64_t> m_delivered{0};
    std::atomic<bool> m_closed{false};
    std::chrono::microseconds m_recordTime{0};
};

// Opens the same capture file, from its start, on every open(); the interface address is
// not used. Lets tests and replays drive the receive loops with recorded traffic.
class PcapFileSourceFactory final : public CaptureSourceFactory {
  public:
    explicit PcapFileSourceFactory(std::string path) : m_path(std::move(path)) {}

    // Listening when the file opened; otherwise OtherError with the source's
    // errorNumber() (and a failed source whose errorText() says why). Any thread.
    std::unique_ptr<CaptureSource> open(const std::string& interfaceAddress,
                                        OpenOutcome& outcome) override;

    const std::string& path() const { return m_path; }
    // The errorText() of the source the last open() returned; empty when it opened.
    std::string lastErrorText() const;

  private:
    std::string m_path;
    mutable std::mutex m_lock;  // over m_lastErrorText
    std::string m_lastErrorText;
};

}  // namespace vorlanx
