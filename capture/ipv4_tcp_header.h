// The IPv4 and TCP header fields the program reads, by name, with bounds-checked readers.
//
// Every decoder of captured datagrams (the packet record, File Mode's capture rules and
// filter, the stream assembler) reads its fields through this one set, so an offset is
// written down once. The IP header is always taken as 20 bytes: the port, sequence and
// other TCP fields are read at their place behind a 20-byte header whatever the header
// length field says, and options show up as payload. A read of a field that does not lie
// wholly inside the bytes gives 0. Pure; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace vorlanx {

namespace header_offsets {
// IPv4 header.
inline constexpr size_t kTotalLength = 2;  // 16-bit, big-endian
inline constexpr size_t kTtl = 8;
inline constexpr size_t kProtocol = 9;
inline constexpr size_t kChecksum = 10;            // 16-bit, big-endian
inline constexpr size_t kSourceAddress = 12;       // 4 bytes, network order
inline constexpr size_t kDestinationAddress = 16;  // 4 bytes, network order
// The assumed IP header length: where the TCP (or UDP) header begins.
inline constexpr size_t kIpHeaderBytes = 20;
// TCP header (also the UDP ports), behind the 20-byte IP header.
inline constexpr size_t kSourcePort = 20;       // 16-bit, big-endian
inline constexpr size_t kDestinationPort = 22;  // 16-bit, big-endian
inline constexpr size_t kSequence = 24;         // 32-bit, big-endian
inline constexpr size_t kAcknowledgement = 28;  // 32-bit, big-endian
inline constexpr size_t kDataOffset = 32;       // high four bits: TCP header length / 4
inline constexpr size_t kFlags = 33;
inline constexpr size_t kWindow = 34;  // 16-bit, big-endian
// The end of a minimal TCP header behind the 20-byte IP header.
inline constexpr size_t kMinimalTcpEnd = 40;
}  // namespace header_offsets

// Values of the protocol byte.
inline constexpr uint8_t kProtocolIcmp = 1;
inline constexpr uint8_t kProtocolTcp = 6;
inline constexpr uint8_t kProtocolUdp = 17;

// Bits of the TCP flags byte.
namespace tcp_flag_bits {
inline constexpr uint8_t kUrg = 0x20;
inline constexpr uint8_t kAck = 0x10;
inline constexpr uint8_t kPsh = 0x08;
inline constexpr uint8_t kRst = 0x04;
inline constexpr uint8_t kSyn = 0x02;
inline constexpr uint8_t kFin = 0x01;
}  // namespace tcp_flag_bits

// Read-only view of a datagram's bytes (IP header first). Cheap to copy; valid while the
// bytes live.
class Ipv4TcpHeader {
  public:
    explicit Ipv4TcpHeader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    // Whether `width` bytes from `offset` lie inside the bytes.
    bool holds(size_t offset, size_t width) const {
        return offset <= m_bytes.size() && width <= m_bytes.size() - offset;
    }

    uint8_t byteAt(size_t offset) const { return holds(offset, 1) ? m_bytes[offset] : 0; }
    uint16_t be16(size_t offset) const {
        if (!holds(offset, 2)) {
            return 0;
        }
        return static_cast<uint16_t>((m_bytes[offset] << 8) | m_bytes[offset + 1]);
    }
    uint32_t be32(size_t offset) const {
        if (!holds(offset, 4)) {
            return 0;
        }
        return (uint32_t{m_bytes[offset]} << 24) | (uint32_t{m_bytes[offset + 1]} << 16) |
               (uint32_t{m_bytes[offset + 2]} << 8) | uint32_t{m_bytes[offset + 3]};
    }
    // The four bytes as they stand, memcpy'd into a uint32_t (like in_addr.s_addr).
    uint32_t raw32(size_t offset) const {
        uint32_t v = 0;
        if (holds(offset, 4)) {
            std::memcpy(&v, m_bytes.data() + offset, sizeof v);
        }
        return v;
    }
    std::array<uint8_t, 4> fourBytes(size_t offset) const {
        std::array<uint8_t, 4> v{};
        if (holds(offset, 4)) {
            std::memcpy(v.data(), m_bytes.data() + offset, v.size());
        }
        return v;
    }

    uint16_t totalLength() const { return be16(header_offsets::kTotalLength); }
    uint8_t ttl() const { return byteAt(header_offsets::kTtl); }
    uint8_t protocol() const { return byteAt(header_offsets::kProtocol); }
    uint16_t checksum() const { return be16(header_offsets::kChecksum); }
    std::array<uint8_t, 4> sourceAddress() const {
        return fourBytes(header_offsets::kSourceAddress);
    }
    std::array<uint8_t, 4> destinationAddress() const {
        return fourBytes(header_offsets::kDestinationAddress);
    }
    uint32_t sourceAddressRaw() const { return raw32(header_offsets::kSourceAddress); }
    uint32_t destinationAddressRaw() const { return raw32(header_offsets::kDestinationAddress); }

    uint16_t sourcePort() const { return be16(header_offsets::kSourcePort); }
    uint16_t destinationPort() const { return be16(header_offsets::kDestinationPort); }
    uint32_t sequence() const { return be32(header_offsets::kSequence); }
    uint32_t acknowledgement() const { return be32(header_offsets::kAcknowledgement); }
    // The acknowledgement-number field as its bytes stand (File Mode's stream key).
    uint32_t acknowledgementRaw() const { return raw32(header_offsets::kAcknowledgement); }
    // The TCP header length from the data-offset field: 0..60.
    uint32_t tcpHeaderLength() const {
        return (uint32_t{byteAt(header_offsets::kDataOffset)} >> 4) * 4u;
    }
    // Where the TCP payload begins: 20 + the TCP header length.
    uint32_t tcpPayloadOffset() const {
        return static_cast<uint32_t>(header_offsets::kIpHeaderBytes) + tcpHeaderLength();
    }
    uint8_t flagBits() const { return byteAt(header_offsets::kFlags); }
    uint16_t window() const { return be16(header_offsets::kWindow); }

  private:
    std::span<const uint8_t> m_bytes;
};

}  // namespace vorlanx
