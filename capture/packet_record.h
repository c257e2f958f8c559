// One captured IPv4 datagram and the fixed-offset decoding every Packet Mode feature shares.
//
// A PacketRecord is one heap block of L + 44 bytes: the datagram as received (IP header
// first, network byte order) followed by 44 zero bytes. Every fixed-offset read lies
// below offset 44, so no read leaves the block whatever L is. The record stores nothing
// else; its length lives beside it in the PacketStore slot. The decoding is shallow: a
// 20-byte IP header is assumed, nothing is verified, options show up as payload.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "capture/ipv4_tcp_header.h"

namespace vorlanx {

inline constexpr uint32_t kMaxDatagramBytes = 65540;  // one receive call at most
inline constexpr uint32_t kRecordSpareBytes = 44;

struct TcpFlags {
    bool urg = false, ack = false, psh = false, rst = false, syn = false, fin = false;
    bool operator==(const TcpFlags&) const = default;
};

// Read-only decoding of a record block of `length` datagram bytes (+ 44 spare). Cheap to
// copy; valid while the block lives. Any thread.
class PacketView {
  public:
    PacketView(const uint8_t* block, uint32_t length) : m_block(block), m_length(length) {}

    const uint8_t* data() const { return m_block; }
    uint32_t length() const { return m_length; }

    uint16_t ipTotalLength() const { return header().totalLength(); }
    uint8_t ttl() const { return header().ttl(); }
    uint8_t protocol() const { return header().protocol(); }
    uint16_t ipChecksum() const { return header().checksum(); }
    // The four address bytes in network order.
    std::array<uint8_t, 4> sourceAddress() const { return header().sourceAddress(); }
    std::array<uint8_t, 4> destinationAddress() const { return header().destinationAddress(); }
    // As in in_addr.s_addr: the four bytes in network order, memcpy'd into a uint32_t.
    uint32_t sourceAddressRaw() const { return header().sourceAddressRaw(); }
    uint32_t destinationAddressRaw() const { return header().destinationAddressRaw(); }

    bool hasPorts() const { return protocol() == kProtocolTcp || protocol() == kProtocolUdp; }
    uint16_t sourcePort() const { return header().sourcePort(); }
    uint16_t destinationPort() const { return header().destinationPort(); }
    uint32_t sequence() const { return header().sequence(); }
    uint32_t acknowledgement() const { return header().acknowledgement(); }
    uint32_t tcpHeaderLength() const { return header().tcpHeaderLength(); }  // 0..60
    TcpFlags flags() const;
    uint16_t window() const { return header().window(); }

    // TCP: 20 + TCP header length; UDP and ICMP: 28; any other protocol: 20.
    uint32_t payloadOffset() const;
    // L >= 20 (the caller checks that a record exists).
    bool isDisplayable() const { return m_length >= header_offsets::kIpHeaderBytes; }
    // L >= 40, whatever the protocol.
    bool isTcpSized() const { return m_length >= header_offsets::kMinimalTcpEnd; }

    // The payload bytes with every zero byte replaced by a space, and with A-Z folded to a-z
    // when `foldCase` (as the filters and Find compare with "Match case" off), built in one
    // pass; empty when the payload offset is L or more. Written into `work` (reused across
    // calls to avoid allocation); the view points into it.
    std::string_view payloadText(std::string& work, bool foldCase = false) const;

  private:
    // The datagram and the spare bytes behind it: every field the view reads lies inside.
    Ipv4TcpHeader header() const {
        return Ipv4TcpHeader(
            std::span<const uint8_t>(m_block, size_t{m_length} + kRecordSpareBytes));
    }

    const uint8_t* m_block;
    uint32_t m_length;
};

// Folds ASCII A-Z to a-z; other bytes (UTF-8 sequences included) stay as they are.
// Branch-free, so loops over many bytes vectorise.
constexpr unsigned char FoldAsciiByte(unsigned char u) {
    return static_cast<unsigned char>(u + (static_cast<unsigned char>(u - 'A') < 26 ? 32 : 0));
}

// The owning heap block. Move-only; empty after a failed allocation.
class PacketRecord {
  public:
    PacketRecord() = default;
    // One allocation of L + 44 bytes and one copy; the spare bytes are zero. Returns an
    // empty record when the allocation fails (or L exceeds kMaxDatagramBytes).
    static PacketRecord create(std::span<const uint8_t> datagram) noexcept;

    explicit operator bool() const { return m_block != nullptr; }
    const uint8_t* block() const { return m_block.get(); }
    PacketView view(uint32_t length) const { return PacketView(m_block.get(), length); }

    // Ownership transfer to and from a store slot's raw pointer.
    uint8_t* release() { return m_block.release(); }
    static PacketRecord adopt(uint8_t* block) {
        PacketRecord r;
        r.m_block.reset(block);
        return r;
    }

  private:
    std::unique_ptr<uint8_t[]> m_block;
};

// "%u.%u.%u.%u" of the four bytes in order.
std::string AddressText(const std::array<uint8_t, 4>& address);
// The same for an address in network order (as in_addr.s_addr).
std::string AddressText(uint32_t networkOrder);
// A dotted IPv4 address as a user types it: four decimal numbers 0-255 joined by points,
// without leading zeros or anything around them, in network order. Nothing for any other
// text, such as a partial address ("192.168.1") or the short and hexadecimal forms
// inet_addr would take.
std::optional<uint32_t> ParseAddressText(std::string_view text);
// "%u" of a port.
std::string PortText(uint16_t port);

// Renderings of bytes 0 .. L-1, written into `out` (cleared first; sized once).
// Dec: "% 3u " per byte, "% 3u\r\n" for byte i with i % 10 == 9.
void RenderDec(const PacketView& packet, std::string& out);
// Hex: "%02X " per byte, "%02X\r\n" for byte i with i % 16 == 15.
void RenderHex(const PacketView& packet, std::string& out);
// The same renderings added behind what `out` holds (reports render straight into the
// text they write).
void AppendDec(const PacketView& packet, std::string& out);
void AppendHex(const PacketView& packet, std::string& out);
// Text as shown on screen: every byte as a character, zero bytes dropped.
void RenderText(const PacketView& packet, std::string& out);
// Start of byte i in the Dec and Hex texts.
constexpr size_t DecStart(size_t i) {
    return 4 * i + i / 10;
}
constexpr size_t HexStart(size_t i) {
    return 3 * i + i / 16;
}
// Length of the whole Dec and Hex texts of `length` bytes (each line break adds one).
constexpr size_t DecTextLength(size_t length) {
    return 4 * length + length / 10;
}
constexpr size_t HexTextLength(size_t length) {
    return 3 * length + length / 16;
}

}  // namespace vorlanx
