#include <gtest/gtest.h>

#include <vector>

#include "packetmode/packet_details.h"

namespace vorlanx {
namespace {

// A record block (datagram + 44 zero spare bytes) built from explicit bytes.
struct Datagram {
    std::vector<uint8_t> bytes;
    explicit Datagram(std::vector<uint8_t> b) : bytes(std::move(b)) {
        length = static_cast<uint32_t>(bytes.size());
        bytes.resize(bytes.size() + kRecordSpareBytes, 0);
    }
    PacketView view() const { return PacketView(bytes.data(), length); }
    uint32_t length;
};

// 20-byte IP header: TTL 64, protocol, checksum 0xBEEF, 10.0.0.1 -> 192.168.1.20.
std::vector<uint8_t> ipHeader(uint8_t protocol, uint8_t total) {
    return {0x45, 0, 0, total, 0, 0, 0, 0, 64, protocol, 0xBE, 0xEF, 10, 0, 0, 1, 192, 168, 1, 20};
}

using Texts = std::vector<std::string>;

TEST(PacketDetails, TcpPacketFillsEveryField) {
    auto b = ipHeader(6, 44);
    // ports 80 -> 51000, seq 0xFFFFFFFF, ack 1000, data offset 0x50, flags ACK|PSH, window 512
    std::vector<uint8_t> tcp = {0,    80,   0xC7, 0x38, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0,
                                0x03, 0xE8, 0x50, 0x18, 0x02, 0x00, 0,    0,    0, 0};
    b.insert(b.end(), tcp.begin(), tcp.end());
    b.insert(b.end(), {'h', 0, 'i', '!'});
    Datagram d(b);
    PacketDetails out;
    DescribePacket(d.view(), PacketRendering::Hex, out);
    EXPECT_EQ((Texts{out.packetType, out.packetSize, out.fromIp, out.toIp, out.protocolNumber,
                     out.ttl, out.ipChecksum, out.fromPort, out.toPort, out.sequence,
                     out.acknowledgement, out.window}),
              (Texts{"TCP", "44", "10.0.0.1", "192.168.1.20", "6", "64", "48879", "80", "51000",
                     "4294967295", "1000", "512"}));
    EXPECT_FALSE(out.fromPortUse.empty());
    EXPECT_NE(out.fromPortUse, "Unknown");
    EXPECT_EQ(out.flags, (TcpFlags{false, true, true, false, false, false}));
    EXPECT_EQ(out.packetData, "hi!");  // the zero byte is left out
    EXPECT_EQ(out.entirePacket.substr(0, 12), "45 00 00 2C ");
}

TEST(PacketDetails, IcmpShowsZeroPortsAndNoTcpFields) {
    auto b = ipHeader(1, 30);
    b.insert(b.end(), {8, 0, 0, 0, 0, 0, 0, 0, 'a', 'b'});
    Datagram d(b);
    PacketDetails out;
    out.sequence = "stale";
    out.flags.syn = true;
    DescribePacket(d.view(), PacketRendering::Text, out);
    EXPECT_EQ((Texts{out.fromPort, out.toPort, out.fromPortUse, out.toPortUse, out.sequence,
                     out.acknowledgement, out.window}),
              (Texts{"0", "0", "", "", "", "", ""}));
    EXPECT_EQ(out.flags, TcpFlags{});
    EXPECT_EQ(out.packetData, "ab");
}

TEST(PacketDetails, UdpUsesUdpTableAndEmptyPayloadAtOffset) {
    auto b = ipHeader(17, 28);
    b.insert(b.end(), {0, 53, 0, 53, 0, 8, 0, 0});
    Datagram d(b);
    PacketDetails out;
    DescribePacket(d.view(), PacketRendering::Dec, out);
    EXPECT_EQ(out.fromPort, "53");
    EXPECT_EQ(out.packetData, "");
    EXPECT_EQ(out.sequence, "");
    EXPECT_EQ(out.entirePacket.size(), 28u * 4 + 2);
}

TEST(PacketDetails, RenderingChoiceOrder) {
    EXPECT_EQ(ChooseRendering(true, true, true), PacketRendering::Dec);
    EXPECT_EQ(ChooseRendering(true, false, true), PacketRendering::Hex);
    EXPECT_EQ(ChooseRendering(true, false, false), PacketRendering::Text);
    EXPECT_EQ(ChooseRendering(false, false, false), PacketRendering::None);
}

TEST(PacketDetails, InvalidRowTexts) {
    EXPECT_STREQ(InvalidRowPaneText(InvalidRowKind::Pointer), "Invalid packet ptr!");
    EXPECT_STREQ(InvalidRowPaneText(InvalidRowKind::Data), "Invalid packet data!");
    EXPECT_STREQ(InvalidRowQuestion(InvalidRowKind::Data),
                 "A list item with invalid packet data has been encountered, would you like to "
                 "delete this item from the list?");
}

// The documented highlight table: box, Dec [first, after), Hex [first, after), protocol needed.
struct HighlightRow {
    int box;
    size_t decBegin, decEnd, hexBegin, hexEnd;
    const char* needs;  // "" any, "ports" 6 or 17, "tcp" 6
};

TEST(FieldHighlight, DocumentedTable) {
    const HighlightRow rows[] = {
        {1008, 8, 15, 6, 11, ""},        {1015, 32, 35, 24, 26, ""},
        {1005, 36, 39, 27, 29, ""},      {1013, 36, 39, 27, 29, ""},
        {1023, 41, 48, 30, 35, ""},      {1006, 49, 64, 36, 47, ""},
        {1007, 65, 80, 49, 60, ""},      {1009, 82, 89, 61, 66, "ports"},
        {1010, 90, 97, 67, 72, "ports"}, {1017, 98, 113, 73, 84, "tcp"},
        {1022, 114, 130, 85, 96, "tcp"}, {1016, 139, 146, 104, 109, "tcp"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.box);
        EXPECT_EQ(FieldHighlight(r.box, PacketRendering::Dec, "6"),
                  (TextRange{r.decBegin, r.decEnd}));
        EXPECT_EQ(FieldHighlight(r.box, PacketRendering::Hex, "6"),
                  (TextRange{r.hexBegin, r.hexEnd}));
        EXPECT_FALSE(FieldHighlight(r.box, PacketRendering::Text, "6").has_value());
        EXPECT_FALSE(FieldHighlight(r.box, PacketRendering::None, "6").has_value());
        const std::string needs = r.needs;
        EXPECT_EQ(FieldHighlight(r.box, PacketRendering::Dec, "17").has_value(), needs != "tcp");
        EXPECT_EQ(FieldHighlight(r.box, PacketRendering::Dec, "1").has_value(), needs.empty());
        EXPECT_EQ(FieldHighlight(r.box, PacketRendering::Hex, "").has_value(), needs.empty());
    }
    EXPECT_FALSE(FieldHighlight(1011, PacketRendering::Dec, "6").has_value());
    EXPECT_FALSE(FieldHighlight(1012, PacketRendering::Hex, "17").has_value());
    // "Protocol #:" reading 16 or 60 is not 6 or 17.
    EXPECT_FALSE(FieldHighlight(1009, PacketRendering::Dec, "16").has_value());
    EXPECT_FALSE(FieldHighlight(1009, PacketRendering::Dec, "60").has_value());
}

}  // namespace
}  // namespace vorlanx
