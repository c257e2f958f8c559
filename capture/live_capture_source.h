// The live capture socket: every IPv4 datagram an interface sends or receives.
//
// A packet socket (AF_PACKET, SOCK_DGRAM) bound to the interface that owns the chosen
// address delivers IP datagrams without their link-layer header, with no promiscuous
// mode. It is bound for every protocol (ETH_P_ALL), because the kernel shows a socket bound
// to ETH_P_IP only what the interface receives, never what it sends; a kernel filter then
// keeps the IPv4 datagrams and, on loopback, drops the outgoing copy of each (loopback
// shows every datagram as sent and again as received). The kernel writes them into a
// memory-mapped ring (PACKET_RX_RING, TPACKET_V3) of about 10,000,000 bytes, the
// capture's receive buffer, so a datagram costs no system call of its own: the reader
// only sleeps in poll() when the ring is empty. Needs CAP_NET_RAW.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "capture/capture_source.h"

namespace vorlanx {

class LiveCaptureSource final : public CaptureSource {
  public:
    // Ring geometry: 39 blocks of 256 KiB (10,223,616 bytes, the receive buffer). A block
    // is handed to the reader when full or after kBlockRetireMs, so a lone datagram
    // arrives within a few milliseconds.
    static constexpr uint32_t kBlockBytes = 256 * 1024;
    static constexpr uint32_t kBlockCount = 39;
    static constexpr uint32_t kBlockRetireMs = 2;

    // Opens, binds and maps the ring for the interface that owns `interfaceAddress`
    // (dotted IPv4). Never null: on failure the source is closed and `outcome` says why.
    static std::unique_ptr<LiveCaptureSource> open(const std::string& interfaceAddress,
                                                   OpenOutcome& outcome);

    ~LiveCaptureSource() override;
    LiveCaptureSource(const LiveCaptureSource&) = delete;
    LiveCaptureSource& operator=(const LiveCaptureSource&) = delete;

    // The next datagram, IP header first, whole (at most kMaxDatagramBytes); the bytes
    // point into the ring and stay valid until the next call. Blocks in poll() while the
    // ring is empty. Nothing once closed, or when the socket reports an error (the
    // interface went down or away; errorNumber() says which). Capture thread only.
    std::optional<std::span<const uint8_t>> receive() override;

    // Stops delivery and wakes a blocked receive() at once. Any thread; idempotent. The
    // socket and ring stay allocated until destruction, which must wait until receive()
    // has returned for the last time.
    void close() override;

    // Bytes of ring blocks the kernel has handed to the reader and the reader has not
    // consumed yet (frame headers included): the backlog the capture thread has to work
    // through. Any thread.
    uint64_t bytesWaiting() const override;

    // Datagrams the kernel dropped because the ring was full, since opening. Any thread.
    uint64_t droppedByKernel() const override;

    // Datagrams skipped because they could not be delivered whole: longer than
    // kMaxDatagramBytes (oversized offload packets) or cut by the ring. Any thread.
    uint64_t datagramsCut() const override { return m_oversized.load(std::memory_order_relaxed); }

    // The errno that ended the capture, 0 while it runs or when close() ended it.
    int errorNumber() const { return m_errorNumber.load(std::memory_order_relaxed); }

    // Index of the interface the socket is bound to (0 when opening failed).
    int interfaceIndex() const { return m_interfaceIndex; }

  private:
    LiveCaptureSource() = default;
    OpenOutcome setUp(const std::string& interfaceAddress);
    bool waitForBlock();  // false when closed or failed
    void releaseBlock();
    uint8_t* block(uint32_t index) const { return m_ring + size_t{index} * kBlockBytes; }

    int m_socket = -1;
    int m_wakeEvent = -1;  // eventfd written by close()
    int m_interfaceIndex = 0;
    bool m_loopback = false;  // loopback: outgoing copies are skipped
    uint8_t* m_ring = nullptr;
    size_t m_ringBytes = 0;

    // Reader position; capture thread only.
    uint32_t m_blockIndex = 0;    // block being read or awaited
    bool m_holdingBlock = false;  // m_blockIndex belongs to the reader
    uint32_t m_framesLeft = 0;    // frames of the held block not yet taken
    const uint8_t* m_nextFrame = nullptr;

    // Bytes of the held block consumed so far (for bytesWaiting).
    std::atomic<uint32_t> m_consumedInBlock{0};
    std::atomic<bool> m_closed{false};
    std::atomic<int> m_errorNumber{0};
    std::atomic<uint64_t> m_oversized{0};

    mutable std::mutex m_statisticsLock;  // the kernel resets its counters on each read
    mutable uint64_t m_drops = 0;
};

// Opens LiveCaptureSource objects; the factory the program runs with.
class LiveCaptureSourceFactory final : public CaptureSourceFactory {
  public:
    // Always returns a source; see LiveCaptureSource::open.
    std::unique_ptr<CaptureSource> open(const std::string& interfaceAddress,
                                        OpenOutcome& outcome) override;
};

}  // namespace vorlanx
