#include "packetmode/packet_details.h"

#include <charconv>

#include "names/port_name_table.h"
#include "names/protocol_name_table.h"

namespace vorlanx {
namespace {

template <typename T>
void setNumber(std::string& out, T value) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    out.assign(buf, end);
}

struct FieldBytes {
    int controlId;
    size_t first;  // first byte of the field
    size_t last;   // last byte of the field
    enum class Needs { Any, PortProtocol, Tcp } needs;
};

// The header bytes behind each detail box. "Packet size:" shows the stored length but
// marks the IP total-length bytes; the "use:" boxes mark nothing.
constexpr FieldBytes kFieldBytes[] = {
    {1008, 2, 3, FieldBytes::Needs::Any},
    {1015, 8, 8, FieldBytes::Needs::Any},
    {1005, 9, 9, FieldBytes::Needs::Any},
    {1013, 9, 9, FieldBytes::Needs::Any},
    {1023, 10, 11, FieldBytes::Needs::Any},
    {1006, 12, 15, FieldBytes::Needs::Any},
    {1007, 16, 19, FieldBytes::Needs::Any},
    {1009, 20, 21, FieldBytes::Needs::PortProtocol},
    {1010, 22, 23, FieldBytes::Needs::PortProtocol},
    {1017, 24, 27, FieldBytes::Needs::Tcp},
    {1022, 28, 31, FieldBytes::Needs::Tcp},
    {1016, 34, 35, FieldBytes::Needs::Tcp},
};

}  // namespace

PacketRendering ChooseRendering(bool textChecked, bool decChecked, bool hexChecked) {
    if (decChecked)
        return PacketRendering::Dec;
    if (hexChecked)
        return PacketRendering::Hex;
    if (textChecked)
        return PacketRendering::Text;
    return PacketRendering::None;
}

void DescribePacket(const PacketView& packet, PacketRendering rendering, PacketDetails& out) {
    const uint8_t protocol = packet.protocol();
    out.packetType.assign(ProtocolNameTable::name(protocol));

    switch (rendering) {
        case PacketRendering::Dec:
            RenderDec(packet, out.entirePacket);
            break;
        case PacketRendering::Hex:
            RenderHex(packet, out.entirePacket);
            break;
        case PacketRendering::Text:
            RenderText(packet, out.entirePacket);
            break;
        case PacketRendering::None:
            out.entirePacket.clear();
            break;
    }

    setNumber(out.packetSize, packet.length());
    out.fromIp = AddressText(packet.sourceAddress());
    out.toIp = AddressText(packet.destinationAddress());

    if (packet.hasPorts()) {
        setNumber(out.fromPort, packet.sourcePort());
        setNumber(out.toPort, packet.destinationPort());
        const bool tcp = protocol == kProtocolTcp;
        out.fromPortUse.assign(tcp ? PortNameTable::tcp(packet.sourcePort())
                                   : PortNameTable::udp(packet.sourcePort()));
        out.toPortUse.assign(tcp ? PortNameTable::tcp(packet.destinationPort())
                                 : PortNameTable::udp(packet.destinationPort()));
    } else {
        out.fromPort = "0";
        out.toPort = "0";
        out.fromPortUse.clear();
        out.toPortUse.clear();
    }

    out.packetData.clear();
    const uint32_t offset = packet.payloadOffset();
    for (uint32_t i = offset; i < packet.length(); ++i)
        if (packet.data()[i] != 0)
            out.packetData.push_back(static_cast<char>(packet.data()[i]));

    setNumber(out.protocolNumber, protocol);
    setNumber(out.ttl, packet.ttl());
    setNumber(out.ipChecksum, packet.ipChecksum());

    if (protocol == kProtocolTcp) {
        setNumber(out.window, packet.window());
        setNumber(out.sequence, packet.sequence());
        setNumber(out.acknowledgement, packet.acknowledgement());
        out.flags = packet.flags();
    } else {
        out.window.clear();
        out.sequence.clear();
        out.acknowledgement.clear();
        out.flags = TcpFlags{};
    }
}

const char* InvalidRowPaneText(InvalidRowKind kind) {
    return kind == InvalidRowKind::Pointer ? "Invalid packet ptr!" : "Invalid packet data!";
}

const char* InvalidRowQuestion(InvalidRowKind kind) {
    return kind == InvalidRowKind::Pointer
               ? "A list item with an invalid packet pointer has been encountered, would you "
                 "like to delete this item from the list?"
               : "A list item with invalid packet data has been encountered, would you like to "
                 "delete this item from the list?";
}

std::optional<TextRange> FieldHighlight(int controlId, PacketRendering rendering,
                                        std::string_view protocolNumberText) {
    if (rendering != PacketRendering::Dec && rendering != PacketRendering::Hex)
        return std::nullopt;
    for (const auto& f : kFieldBytes) {
        if (f.controlId != controlId)
            continue;
        const bool tcp = protocolNumberText == "6";
        const bool ports = tcp || protocolNumberText == "17";
        if (f.needs == FieldBytes::Needs::PortProtocol && !ports)
            return std::nullopt;
        if (f.needs == FieldBytes::Needs::Tcp && !tcp)
            return std::nullopt;
        if (rendering == PacketRendering::Dec)
            return TextRange{DecStart(f.first), DecStart(f.last) + 3};
        return TextRange{HexStart(f.first), HexStart(f.last) + 2};
    }
    return std::nullopt;
}

}  // namespace vorlanx
