#include "capture/live_capture_source.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

#include "capture/ipv4_datagram.h"
#include "capture/packet_record.h"
#include "platform/network_interfaces.h"

namespace vorlanx {

namespace {

static_assert(LiveCaptureSource::kBlockBytes % 4096 == 0, "ring blocks are whole pages");
static_assert(uint64_t{LiveCaptureSource::kBlockBytes} * LiveCaptureSource::kBlockCount >=
                  10'000'000,
              "the ring is the 10,000,000-byte receive buffer");

// Frames in a TPACKET_V3 block are packed back to back; the nominal frame size only has
// to divide the block. Any datagram up to the block size fits without being cut.
constexpr uint32_t kNominalFrameBytes = 2048;
static_assert(LiveCaptureSource::kBlockBytes - 4096 >= kMaxDatagramBytes + TPACKET3_HDRLEN,
              "a whole datagram fits into one block");

// A frame header (with the link-level address behind it) starting later than this would
// leave the block; the kernel never writes one, and the reader never reads one.
constexpr size_t kLastFrameStart = LiveCaptureSource::kBlockBytes - TPACKET3_HDRLEN;

// Block descriptor fields, as offsets from the start of a block.
constexpr size_t kBlockStatusOffset =
    offsetof(tpacket_block_desc, hdr) + offsetof(tpacket_hdr_v1, block_status);
constexpr size_t kBlockPacketsOffset =
    offsetof(tpacket_block_desc, hdr) + offsetof(tpacket_hdr_v1, num_pkts);
constexpr size_t kBlockFirstOffset =
    offsetof(tpacket_block_desc, hdr) + offsetof(tpacket_hdr_v1, offset_to_first_pkt);
constexpr size_t kBlockLengthOffset =
    offsetof(tpacket_block_desc, hdr) + offsetof(tpacket_hdr_v1, blk_len);

// The ring is page-aligned and every field the kernel shares with us is naturally
// aligned, so these views are sound.
uint32_t& Word(uint8_t* p) {
    return *static_cast<uint32_t*>(static_cast<void*>(p));
}

uint32_t LoadStatus(uint8_t* block) {
    return std::atomic_ref<uint32_t>(Word(block + kBlockStatusOffset))
        .load(std::memory_order_acquire);
}

const tpacket3_hdr& FrameHeader(const uint8_t* frame) {
    return *static_cast<const tpacket3_hdr*>(static_cast<const void*>(frame));
}

// The link-level address follows the frame header.
constexpr size_t kAddressOffset = TPACKET_ALIGN(sizeof(tpacket3_hdr));

uint8_t PacketType(const uint8_t* frame) {
    return frame[kAddressOffset + offsetof(sockaddr_ll, sll_pkttype)];
}

bool IsIpv4(const uint8_t* frame) {
    const uint8_t* protocol = frame + kAddressOffset + offsetof(sockaddr_ll, sll_protocol);
    return protocol[0] == (ETH_P_IP >> 8) && protocol[1] == (ETH_P_IP & 0xFF);
}

sock_filter Statement(uint16_t code, uint32_t k) {
    return sock_filter{code, 0, 0, k};
}
sock_filter Jump(uint16_t code, uint32_t k, uint8_t ifTrue, uint8_t ifFalse) {
    return sock_filter{code, ifTrue, ifFalse, k};
}

// The kernel-side filter: IPv4 datagrams only and, on loopback, not the outgoing copies.
// Everything else is dropped before it is copied into the ring.
std::vector<sock_filter> IpDatagramFilter(bool loopback) {
    constexpr uint16_t kLoadHalf = BPF_LD | BPF_H | BPF_ABS;
    constexpr uint16_t kLoadWord = BPF_LD | BPF_W | BPF_ABS;
    constexpr uint16_t kIfEqual = BPF_JMP | BPF_JEQ | BPF_K;
    constexpr uint16_t kReturn = BPF_RET | BPF_K;
    constexpr uint32_t kWholePacket = 0xFFFFFFFF;
    const uint32_t protocol = static_cast<uint32_t>(SKF_AD_OFF + SKF_AD_PROTOCOL);
    const uint32_t packetType = static_cast<uint32_t>(SKF_AD_OFF + SKF_AD_PKTTYPE);
    if (!loopback) {
        return {Statement(kLoadHalf, protocol), Jump(kIfEqual, ETH_P_IP, 0, 1),
                Statement(kReturn, kWholePacket), Statement(kReturn, 0)};
    }
    return {Statement(kLoadHalf, protocol),   Jump(kIfEqual, ETH_P_IP, 0, 3),
            Statement(kLoadWord, packetType), Jump(kIfEqual, PACKET_OUTGOING, 1, 0),
            Statement(kReturn, kWholePacket), Statement(kReturn, 0)};
}

OpenOutcome Failure(ReceiveAllResult result, int errorNumber) {
    return OpenOutcome{result, errorNumber};
}

}  // namespace

std::unique_ptr<LiveCaptureSource> LiveCaptureSource::open(const std::string& interfaceAddress,
                                                           OpenOutcome& outcome) {
    std::unique_ptr<LiveCaptureSource> source(new LiveCaptureSource());
    outcome = source->setUp(interfaceAddress);
    if (outcome.result != ReceiveAllResult::Listening) {
        source->m_errorNumber.store(outcome.errorNumber, std::memory_order_relaxed);
        source->m_closed.store(true, std::memory_order_release);
    }
    return source;
}

OpenOutcome LiveCaptureSource::setUp(const std::string& interfaceAddress) {
    // Protocol 0: nothing is queued before the ring exists and the socket is bound, so no
    // datagram of another interface slips in.
    m_socket = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        const int error = errno;
        return Failure(error == EPERM || error == EACCES ? ReceiveAllResult::RawSocketsUnavailable
                                                         : ReceiveAllResult::OtherError,
                       error);
    }
    m_wakeEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeEvent < 0) {
        return Failure(ReceiveAllResult::OtherError, errno);
    }

    const auto owner = InterfaceOwningAddress(interfaceAddress);
    if (!owner) {
        return Failure(ReceiveAllResult::InterfaceUnusable, EADDRNOTAVAIL);
    }
    m_interfaceIndex = owner->index;
    m_loopback = owner->loopback;

    const int version = TPACKET_V3;
    if (::setsockopt(m_socket, SOL_PACKET, PACKET_VERSION, &version, sizeof version) != 0) {
        return Failure(ReceiveAllResult::OtherError, errno);
    }
    if (m_loopback) {
        // Loopback shows every datagram twice, as sent and as received; keep the received
        // copy only, without the kernel even copying the other (older kernels lack the
        // option; the filter below then drops the copies).
        const int on = 1;
        (void)::setsockopt(m_socket, SOL_PACKET, PACKET_IGNORE_OUTGOING, &on, sizeof on);
    }
    const auto filter = IpDatagramFilter(m_loopback);
    const sock_fprog program{static_cast<unsigned short>(filter.size()),
                             const_cast<sock_filter*>(filter.data())};
    if (::setsockopt(m_socket, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0) {
        return Failure(ReceiveAllResult::OtherError, errno);
    }

    tpacket_req3 request{};
    request.tp_block_size = kBlockBytes;
    request.tp_block_nr = kBlockCount;
    request.tp_frame_size = kNominalFrameBytes;
    request.tp_frame_nr = kBlockCount * (kBlockBytes / kNominalFrameBytes);
    request.tp_retire_blk_tov = kBlockRetireMs;
    if (::setsockopt(m_socket, SOL_PACKET, PACKET_RX_RING, &request, sizeof request) != 0) {
        return Failure(ReceiveAllResult::OtherError, errno);
    }
    m_ringBytes = size_t{kBlockBytes} * kBlockCount;
    void* ring = ::mmap(nullptr, m_ringBytes, PROT_READ | PROT_WRITE, MAP_SHARED, m_socket, 0);
    if (ring == MAP_FAILED) {
        m_ringBytes = 0;
        return Failure(ReceiveAllResult::OtherError, errno);
    }
    m_ring = static_cast<uint8_t*>(ring);

    // Binding starts the capture: the filter and the ring are in place by now.
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ALL);
    address.sll_ifindex = m_interfaceIndex;
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        // The interface vanished between the lookup and the bind.
        return Failure(
            error == ENODEV ? ReceiveAllResult::InterfaceUnusable : ReceiveAllResult::OtherError,
            error);
    }
    return OpenOutcome{ReceiveAllResult::Listening, 0};
}

LiveCaptureSource::~LiveCaptureSource() {
    if (m_ring != nullptr) {
        ::munmap(m_ring, m_ringBytes);
    }
    if (m_socket >= 0) {
        ::close(m_socket);
    }
    if (m_wakeEvent >= 0) {
        ::close(m_wakeEvent);
    }
}

std::optional<std::span<const uint8_t>> LiveCaptureSource::receive() {
    for (;;) {
        if (m_closed.load(std::memory_order_acquire)) {
            return std::nullopt;
        }
        if (m_holdingBlock && m_framesLeft == 0) {
            releaseBlock();  // the previous datagram was the block's last
        }
        if (!m_holdingBlock && !waitForBlock()) {
            return std::nullopt;
        }
        if (m_framesLeft == 0) {
            continue;
        }

        uint8_t* const blockStart = block(m_blockIndex);
        const uint8_t* const frame = m_nextFrame;
        const tpacket3_hdr& header = FrameHeader(frame);
        const size_t frameOffset = static_cast<size_t>(frame - blockStart);
        --m_framesLeft;
        if (m_framesLeft > 0) {
            if (header.tp_next_offset == 0 ||
                header.tp_next_offset > kLastFrameStart - frameOffset) {
                m_framesLeft = 0;  // a broken chain: give the block back
            } else {
                m_nextFrame = frame + header.tp_next_offset;
            }
        }
        m_consumedInBlock.store(static_cast<uint32_t>(m_nextFrame - blockStart),
                                std::memory_order_relaxed);

        // The kernel filter already keeps out other protocols and loopback's outgoing
        // copies; these checks cost nothing and hold should it not.
        if (!IsIpv4(frame) || (m_loopback && PacketType(frame) == PACKET_OUTGOING)) {
            continue;
        }
        if (header.tp_snaplen == 0) {
            continue;
        }
        if (header.tp_len > kMaxDatagramBytes || header.tp_snaplen < header.tp_len ||
            header.tp_mac > kBlockBytes - frameOffset ||
            header.tp_snaplen > kBlockBytes - frameOffset - header.tp_mac) {
            m_oversized.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        return WithoutLinkPadding(
            std::span<const uint8_t>(frame + header.tp_mac, header.tp_snaplen));
    }
}

bool LiveCaptureSource::waitForBlock() {
    for (;;) {
        if (m_closed.load(std::memory_order_acquire)) {
            return false;
        }
        uint8_t* const current = block(m_blockIndex);
        if ((LoadStatus(current) & TP_STATUS_USER) != 0) {
            const uint32_t first = Word(current + kBlockFirstOffset);
            m_holdingBlock = true;
            m_framesLeft = first > kLastFrameStart ? 0 : Word(current + kBlockPacketsOffset);
            m_nextFrame = current + first;
            m_consumedInBlock.store(first, std::memory_order_relaxed);
            return true;
        }

        pollfd waits[2] = {{m_socket, POLLIN, 0}, {m_wakeEvent, POLLIN, 0}};
        const int ready = ::poll(waits, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_errorNumber.store(errno, std::memory_order_relaxed);
            return false;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            continue;  // close(): the check above ends the wait
        }
        const short socketEvents = waits[0].revents;
        if ((socketEvents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                error = errno;
            }
            if (error != 0 || (socketEvents & (POLLHUP | POLLNVAL)) != 0) {
                // The interface went down or away: the capture ends, as a failed receive.
                m_errorNumber.store(error != 0 ? error : ENETDOWN, std::memory_order_relaxed);
                return false;
            }
        }
        if ((socketEvents & POLLIN) != 0 && (LoadStatus(current) & TP_STATUS_USER) == 0) {
            // Readable without a block: something sits in the plain receive queue, which
            // this socket never reads. Discard it so poll() does not spin.
            (void)::recv(m_socket, nullptr, 0, MSG_DONTWAIT | MSG_TRUNC);
        }
    }
}

void LiveCaptureSource::releaseBlock() {
    std::atomic_ref<uint32_t>(Word(block(m_blockIndex) + kBlockStatusOffset))
        .store(TP_STATUS_KERNEL, std::memory_order_release);
    m_holdingBlock = false;
    m_framesLeft = 0;
    m_consumedInBlock.store(0, std::memory_order_relaxed);
    m_blockIndex = (m_blockIndex + 1) % kBlockCount;
}

void LiveCaptureSource::close() {
    if (m_closed.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    if (m_socket >= 0) {
        // Stop the kernel filling a ring nobody reads any more: a filter that takes
        // nothing. The socket itself stays open for the drop counter.
        sock_filter takeNothing{BPF_RET | BPF_K, 0, 0, 0};
        sock_fprog program{1, &takeNothing};
        (void)::setsockopt(m_socket, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
    }
    if (m_wakeEvent >= 0) {
        const uint64_t one = 1;
        (void)::write(m_wakeEvent, &one, sizeof one);
    }
}

uint64_t LiveCaptureSource::bytesWaiting() const {
    if (m_ring == nullptr || m_closed.load(std::memory_order_acquire)) {
        return 0;
    }
    uint64_t waiting = 0;
    for (uint32_t i = 0; i < kBlockCount; ++i) {
        uint8_t* const current = block(i);
        if ((LoadStatus(current) & TP_STATUS_USER) != 0) {
            waiting += Word(current + kBlockLengthOffset);
        }
    }
    const uint64_t consumed = m_consumedInBlock.load(std::memory_order_relaxed);
    return waiting > consumed ? waiting - consumed : 0;
}

uint64_t LiveCaptureSource::droppedByKernel() const {
    std::lock_guard<std::mutex> lock(m_statisticsLock);
    if (m_socket >= 0) {
        tpacket_stats_v3 statistics{};
        socklen_t length = sizeof statistics;
        if (::getsockopt(m_socket, SOL_PACKET, PACKET_STATISTICS, &statistics, &length) == 0) {
            m_drops += statistics.tp_drops;
        }
    }
    return m_drops;
}

std::unique_ptr<CaptureSource> LiveCaptureSourceFactory::open(const std::string& interfaceAddress,
                                                              OpenOutcome& outcome) {
    return LiveCaptureSource::open(interfaceAddress, outcome);
}

}  // namespace vorlanx
