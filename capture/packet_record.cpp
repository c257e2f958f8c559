#include "capture/packet_record.h"

#include <arpa/inet.h>

#include <cstring>
#include <new>

namespace vorlanx {
namespace {

constexpr uint32_t kIpHeaderBytes = header_offsets::kIpHeaderBytes;

// The text of every byte value: "% 3u " for Dec, "%02X " for Hex.
struct ByteTexts {
    std::array<std::array<char, 4>, 256> dec{};
    // "%02X " and one more byte, so that a byte's text is one four-byte store whose last
    // byte the next text (or the line end) overwrites.
    std::array<std::array<char, 4>, 256> hex{};
};

constexpr ByteTexts makeByteTexts() {
    ByteTexts t;
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    for (unsigned v = 0; v < 256; ++v) {
        auto& d = t.dec[v];
        d[0] = v >= 100 ? static_cast<char>('0' + v / 100) : ' ';
        d[1] = v >= 10 ? static_cast<char>('0' + v / 10 % 10) : ' ';
        d[2] = static_cast<char>('0' + v % 10);
        d[3] = ' ';
        t.hex[v][0] = kHexDigits[v >> 4];
        t.hex[v][1] = kHexDigits[v & 0xF];
        t.hex[v][2] = ' ';
        t.hex[v][3] = ' ';
    }
    return t;
}

constexpr ByteTexts kByteTexts = makeByteTexts();

// Appends the decimal digits of v at `out`; returns the position after them.
char* writeUnsigned(char* out, uint32_t v) {
    char digits[10];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n != 0) {
        *out++ = digits[--n];
    }
    return out;
}

}  // namespace

PacketRecord PacketRecord::create(std::span<const uint8_t> datagram) noexcept {
    const size_t length = datagram.size();
    if (length > kMaxDatagramBytes) {
        return {};
    }
    uint8_t* block = new (std::nothrow) uint8_t[length + kRecordSpareBytes];
    if (block == nullptr) {
        return {};
    }
    if (length != 0) {
        std::memcpy(block, datagram.data(), length);
    }
    // The spare area is never part of the packet; zero it so that a short datagram's
    // header fields read as zero rather than as leftover heap contents.
    std::memset(block + length, 0, kRecordSpareBytes);
    return adopt(block);
}

TcpFlags PacketView::flags() const {
    const uint8_t b = header().flagBits();
    TcpFlags f;
    f.urg = (b & tcp_flag_bits::kUrg) != 0;
    f.ack = (b & tcp_flag_bits::kAck) != 0;
    f.psh = (b & tcp_flag_bits::kPsh) != 0;
    f.rst = (b & tcp_flag_bits::kRst) != 0;
    f.syn = (b & tcp_flag_bits::kSyn) != 0;
    f.fin = (b & tcp_flag_bits::kFin) != 0;
    return f;
}

uint32_t PacketView::payloadOffset() const {
    switch (protocol()) {
        case kProtocolTcp:
            return header().tcpPayloadOffset();
        case kProtocolUdp:
        case kProtocolIcmp:
            return kIpHeaderBytes + 8;  // the 8-byte UDP or ICMP header
        default:
            return kIpHeaderBytes;
    }
}

std::string_view PacketView::payloadText(std::string& work, bool foldCase) const {
    const uint32_t offset = payloadOffset();
    if (offset >= m_length) {
        work.clear();
        return {};
    }
    const uint32_t count = m_length - offset;
    work.resize(count);
    const uint8_t* src = m_block + offset;
    auto* dst = reinterpret_cast<unsigned char*>(work.data());
    // Branch-free, so each loop runs many bytes per instruction: the filters and Find pay
    // this for every payload byte.
    if (foldCase) {
        for (uint32_t i = 0; i < count; ++i)
            dst[i] = FoldAsciiByte(src[i] == 0 ? ' ' : src[i]);
    } else {
        for (uint32_t i = 0; i < count; ++i)
            dst[i] = src[i] == 0 ? ' ' : src[i];
    }
    return std::string_view(work.data(), count);
}

std::string AddressText(const std::array<uint8_t, 4>& address) {
    char text[16];
    char* p = text;
    for (size_t i = 0; i < 4; ++i) {
        if (i != 0) {
            *p++ = '.';
        }
        p = writeUnsigned(p, address[i]);
    }
    return std::string(text, p);
}

std::string AddressText(uint32_t networkOrder) {
    std::array<uint8_t, 4> bytes;
    std::memcpy(bytes.data(), &networkOrder, bytes.size());
    return AddressText(bytes);
}

std::optional<uint32_t> ParseAddressText(std::string_view text) {
    // inet_pton takes exactly this form; it needs a terminated string, and no dotted
    // address is longer than 15 characters. A zero byte inside the text would end it
    // early there and let whatever follows pass unseen.
    if (text.size() > 15 || text.find('\0') != std::string_view::npos)
        return std::nullopt;
    const std::string terminated(text);
    in_addr address{};
    if (inet_pton(AF_INET, terminated.c_str(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

std::string PortText(uint16_t port) {
    char text[5];
    char* end = writeUnsigned(text, port);
    return std::string(text, end);
}

void AppendDec(const PacketView& packet, std::string& out) {
    const uint32_t length = packet.length();
    const size_t at = out.size();
    out.resize(at + DecTextLength(length));
    const uint8_t* bytes = packet.data();
    char* p = out.data() + at;
    // Whole lines of ten: "% 3u " nine times, then "% 3u\r\n".
    uint32_t i = 0;
    for (; i + 10 <= length; i += 10) {
        for (uint32_t k = 0; k < 10; ++k) {
            std::memcpy(p + 4 * k, kByteTexts.dec[bytes[i + k]].data(), 4);
        }
        p[39] = '\r';
        p[40] = '\n';
        p += 41;
    }
    for (; i < length; ++i) {
        std::memcpy(p, kByteTexts.dec[bytes[i]].data(), 4);
        p += 4;
    }
}

void AppendHex(const PacketView& packet, std::string& out) {
    const uint32_t length = packet.length();
    const size_t at = out.size();
    out.resize(at + HexTextLength(length));
    const uint8_t* bytes = packet.data();
    char* p = out.data() + at;
    // Whole lines of sixteen: "%02X " fifteen times, then "%02X\r\n" (49 bytes, so the
    // fourth byte of the last store lands on the line end).
    uint32_t i = 0;
    for (; i + 16 <= length; i += 16) {
        for (uint32_t k = 0; k < 16; ++k) {
            std::memcpy(p + 3 * k, kByteTexts.hex[bytes[i + k]].data(), 4);
        }
        p[47] = '\r';
        p[48] = '\n';
        p += 49;
    }
    for (; i < length; ++i) {
        std::memcpy(p, kByteTexts.hex[bytes[i]].data(), 3);
        p += 3;
    }
}

void RenderDec(const PacketView& packet, std::string& out) {
    out.clear();
    AppendDec(packet, out);
}

void RenderHex(const PacketView& packet, std::string& out) {
    out.clear();
    AppendHex(packet, out);
}

void RenderText(const PacketView& packet, std::string& out) {
    const uint32_t length = packet.length();
    out.clear();
    out.resize(length);
    const uint8_t* bytes = packet.data();
    char* p = out.data();
    for (uint32_t i = 0; i < length; ++i) {
        *p = static_cast<char>(bytes[i]);
        p += bytes[i] != 0;
    }
    out.resize(static_cast<size_t>(p - out.data()));
}

}  // namespace vorlanx
