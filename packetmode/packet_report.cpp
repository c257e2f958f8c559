#include "packetmode/packet_report.h"

#include <cerrno>

#include "names/protocol_name_table.h"
#include "settings/product.h"

namespace vorlanx {

namespace {

constexpr std::string_view kColumnLine =
    "Type Size       Source IP  Destination IP  sPort dPort  Date/Time\r\n";
const std::string kRule(64, '-');

// Characters of UTF-8 text: every byte that does not continue a sequence.
size_t Characters(std::string_view text) {
    size_t n = 0;
    for (const char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

void AppendRight(std::string& out, std::string_view text, size_t width) {
    const size_t characters = Characters(text);
    if (characters < width)
        out.append(width - characters, ' ');
    out.append(text);
}

void AppendRight(std::string& out, uint32_t number, size_t width) {
    char digits[10];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    if (n < width)
        out.append(width - n, ' ');
    while (n > 0)
        out.push_back(digits[--n]);
}

void AppendAddress(std::string& out, const std::array<uint8_t, 4>& octets) {
    char text[16];
    size_t n = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (i > 0)
            text[n++] = '.';
        const unsigned v = octets[i];
        if (v >= 100)
            text[n++] = static_cast<char>('0' + v / 100);
        if (v >= 10)
            text[n++] = static_cast<char>('0' + v / 10 % 10);
        text[n++] = static_cast<char>('0' + v % 10);
    }
    AppendRight(out, std::string_view(text, n), 15);
}

}  // namespace

PacketRendering EntryRendering(bool withData, bool text, bool dec, bool hex) {
    if (!withData)
        return PacketRendering::None;
    if (text)
        return PacketRendering::Text;
    if (dec)
        return PacketRendering::Dec;
    if (hex)
        return PacketRendering::Hex;
    return PacketRendering::None;
}

void AppendPacketEntry(std::string& out, const PacketView& packet, std::string_view timeText,
                       PacketRendering rendering) {
    const bool withData = rendering != PacketRendering::None;
    out.append(withData ? "\r\n\r\n" : "\r\n");
    AppendRight(out, ProtocolNameTable::name(packet.protocol()), 4);
    out.push_back(' ');
    AppendRight(out, packet.length(), 4);
    out.push_back(' ');
    AppendAddress(out, packet.sourceAddress());
    out.push_back(' ');
    AppendAddress(out, packet.destinationAddress());
    out.append("  ");
    const bool ports = packet.hasPorts();
    AppendRight(out, ports ? packet.sourcePort() : 0u, 5);
    out.push_back(' ');
    AppendRight(out, ports ? packet.destinationPort() : 0u, 5);
    out.append("  [");
    out.append(timeText);
    out.push_back(']');
    if (!withData)
        return;
    out.append("\r\n\r\n");
    if (rendering == PacketRendering::Text) {
        out.append(reinterpret_cast<const char*>(packet.data()), packet.length());
        return;
    }
    if (rendering == PacketRendering::Dec)
        AppendDec(packet, out);
    else
        AppendHex(packet, out);
}

void AppendSlotEntry(std::string& out, const PacketStore& store, int32_t slot,
                     PacketRendering rendering) {
    store.withEntry(slot, [&](const PacketView& packet, const char* timeText, int64_t) {
        if (timeText != nullptr && packet.length() != 0)
            AppendPacketEntry(out, packet, timeText, rendering);
    });
}

int WritePacketEntry(OutputFile& file, const PacketStore& store, int32_t slot,
                     PacketRendering rendering) {
    // Rendered straight into the file's buffer.
    return file.append([&](std::string& text) { AppendSlotEntry(text, store, slot, rendering); });
}

std::string ReportHeader() {
    std::string header = std::string(kProductName) + " saved information:\r\n\r\n";
    header.append(kColumnLine);
    header.append(kRule);
    return header;
}

std::string ReportTrailer(int64_t packets, int64_t milliseconds) {
    std::string trailer = "\r\n\r\n" + kRule + "\r\n";
    trailer.append(kColumnLine);
    trailer.append("\r\n" + std::to_string(packets) + (packets == 1 ? " Packet" : " Packets") +
                   " listed in " + std::to_string(milliseconds) + " milliseconds.");
    return trailer;
}

std::string WriteErrorText(int error, std::string_view path, std::string_view now) {
    const char* cause = nullptr;
    switch (error) {
        case ENOSPC:
            cause = "Windows reports that the disk is full.";
            break;
        case EIO:
            cause =
                "Windows reports that while accessing the hard disk, a disk operation failed "
                "even after retries.";
            break;
        default:
            break;
    }
    if (cause == nullptr)
        return "Error while writing file with path:\r\n  " + std::string(path) +
               "\r\nThe cause of the error is unknown.";
    return std::string(now) + "\r\n\r\nError while writing file with path:\r\n  " +
           std::string(path) + "\r\n" + cause;
}

}  // namespace vorlanx
