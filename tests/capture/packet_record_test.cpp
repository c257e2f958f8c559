#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capture/packet_record.h"

namespace vorlanx {
namespace {

using Bytes = std::vector<uint8_t>;

PacketRecord makeRecord(const Bytes& bytes) {
    PacketRecord record = PacketRecord::create(bytes);
    EXPECT_TRUE(record);
    return record;
}

// A datagram of `length` bytes: protocol at 9 and TCP data offset at 32 where they fit,
// every other byte `fill`.
Bytes datagram(size_t length, uint8_t protocol, uint8_t dataOffset = 0x50, uint8_t fill = 0) {
    Bytes b(length, fill);
    if (length > 9)
        b[9] = protocol;
    if (length > 32)
        b[32] = dataOffset;
    return b;
}

// `length` bytes, byte i holding at(i).
template <typename At>
Bytes Pattern(size_t length, At at) {
    Bytes b(length);
    for (size_t i = 0; i < length; ++i)
        b[i] = static_cast<uint8_t>(at(i));
    return b;
}

// A TCP SYN-ACK from 192.168.1.10:80 to 10.0.200.7:51234 with two payload bytes "OK".
const Bytes kSynAck = {0x45, 0x00, 0x00, 0x2A, 0x1C, 0x46, 0x40, 0x00,
                       0x80, 0x06, 0xB1, 0xE6,                          // IP
                       0xC0, 0xA8, 0x01, 0x0A, 0x0A, 0x00, 0xC8, 0x07,  // addresses
                       0x00, 0x50, 0xC8, 0x22,                          // ports
                       0x12, 0x34, 0x56, 0x78,                          // sequence
                       0x9A, 0xBC, 0xDE, 0xF0,                          // ack
                       0x50, 0x12, 0xFA, 0xF0, 0x00, 0x00, 0x00, 0x00,  // offset .. urgent
                       'O',  'K'};

TEST(PacketView, DecodesEveryFieldOfATcpSegment) {
    PacketRecord record = makeRecord(kSynAck);
    PacketView v = record.view(static_cast<uint32_t>(kSynAck.size()));
    EXPECT_EQ(v.ipTotalLength(), 42u);
    EXPECT_EQ(v.ttl(), 128u);
    EXPECT_EQ(v.protocol(), 6u);
    EXPECT_EQ(v.ipChecksum(), 45542u);
    EXPECT_EQ(v.sourceAddress(), (std::array<uint8_t, 4>{192, 168, 1, 10}));
    EXPECT_EQ(v.destinationAddress(), (std::array<uint8_t, 4>{10, 0, 200, 7}));
    EXPECT_EQ(v.sourceAddressRaw(), inet_addr("192.168.1.10"));
    EXPECT_EQ(v.destinationAddressRaw(), inet_addr("10.0.200.7"));
    EXPECT_TRUE(v.hasPorts());
    EXPECT_EQ(v.sourcePort(), 80u);
    EXPECT_EQ(v.destinationPort(), 51234u);
    EXPECT_EQ(v.sequence(), 305419896u);
    EXPECT_EQ(v.acknowledgement(), 2596069104u);
    EXPECT_EQ(v.tcpHeaderLength(), 20u);
    EXPECT_EQ(v.window(), 64240u);
    EXPECT_EQ(v.payloadOffset(), 40u);
    EXPECT_TRUE(v.isDisplayable());
    EXPECT_TRUE(v.isTcpSized());
    std::string work;
    EXPECT_EQ(v.payloadText(work), "OK");
    EXPECT_EQ(AddressText(v.sourceAddress()), "192.168.1.10");
    EXPECT_EQ(AddressText(v.destinationAddress()), "10.0.200.7");
    EXPECT_EQ(PortText(v.sourcePort()), "80");
    EXPECT_EQ(PortText(v.destinationPort()), "51234");
}

// The header helper every decoder shares: a field read only when it lies wholly inside the
// bytes given, 0 otherwise; the TCP fields always behind a 20-byte IP header.
TEST(Ipv4TcpHeader, FieldsPastTheEndReadAsZero) {
    struct Row {
        size_t length;  // of kSynAck given to the reader
        uint16_t totalLength, sourcePort, destinationPort;
        uint32_t sequence, acknowledgement, tcpHeaderLength;
        std::array<uint8_t, 4> destination;
    };
    const Row rows[] = {
        {0, 0, 0, 0, 0, 0, 0, {0, 0, 0, 0}},
        {3, 0, 0, 0, 0, 0, 0, {0, 0, 0, 0}},
        {4, 42, 0, 0, 0, 0, 0, {0, 0, 0, 0}},
        {19, 42, 0, 0, 0, 0, 0, {0, 0, 0, 0}},
        {20, 42, 0, 0, 0, 0, 0, {10, 0, 200, 7}},
        {23, 42, 80, 0, 0, 0, 0, {10, 0, 200, 7}},
        {31, 42, 80, 51234, 305419896u, 0, 0, {10, 0, 200, 7}},
        {32, 42, 80, 51234, 305419896u, 2596069104u, 0, {10, 0, 200, 7}},
        {33, 42, 80, 51234, 305419896u, 2596069104u, 20, {10, 0, 200, 7}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.length);
        const Ipv4TcpHeader h(std::span<const uint8_t>(kSynAck.data(), r.length));
        EXPECT_EQ(h.totalLength(), r.totalLength);
        EXPECT_EQ(h.sourcePort(), r.sourcePort);
        EXPECT_EQ(h.destinationPort(), r.destinationPort);
        EXPECT_EQ(h.sequence(), r.sequence);
        EXPECT_EQ(h.acknowledgement(), r.acknowledgement);
        EXPECT_EQ(h.tcpHeaderLength(), r.tcpHeaderLength);
        EXPECT_EQ(h.destinationAddress(), r.destination);
        EXPECT_EQ(h.holds(header_offsets::kSequence, 4), r.length >= 28);
    }
    // An IP header with options (length field 6, 24 bytes) changes nothing: the ports are
    // read at 20 and 22, here from the option bytes.
    Bytes withOptions = kSynAck;
    withOptions[0] = 0x46;
    withOptions.insert(withOptions.begin() + 20, {0x01, 0x02, 0x03, 0x04});
    const Ipv4TcpHeader h(withOptions);
    EXPECT_EQ(h.sourcePort(), 0x0102u);
    EXPECT_EQ(h.destinationPort(), 0x0304u);
    EXPECT_EQ(h.tcpPayloadOffset(), 56u);  // byte 32 is now 0x9A, from the acknowledgement
}

TEST(PacketView, AllOnesFieldsStayUnsigned) {
    Bytes b(40, 0xFF);
    PacketRecord record = makeRecord(b);
    PacketView v = record.view(40);
    EXPECT_EQ(v.sequence(), 4294967295u);
    EXPECT_EQ(v.acknowledgement(), 4294967295u);
    EXPECT_EQ(v.window(), 65535u);
    EXPECT_EQ(v.ipChecksum(), 65535u);
    EXPECT_EQ(v.ipTotalLength(), 65535u);
    EXPECT_EQ(v.ttl(), 255u);
    EXPECT_EQ(v.protocol(), 255u);
    EXPECT_EQ(v.sourcePort(), 65535u);
    EXPECT_EQ(PortText(v.sourcePort()), "65535");
    EXPECT_EQ(AddressText(v.sourceAddress()), "255.255.255.255");
    EXPECT_EQ(v.sourceAddressRaw(), 0xFFFFFFFFu);
    EXPECT_EQ(v.tcpHeaderLength(), 60u);
}

struct FlagsCase {
    uint8_t byte;
    TcpFlags expected;
};

TEST(PacketView, FlagsIgnoreTheTwoHighBits) {
    const FlagsCase cases[] = {
        {0xC2, {.syn = true}},
        {0x12, {.ack = true, .syn = true}},
        {0x3F, {true, true, true, true, true, true}},
        {0xFF, {true, true, true, true, true, true}},
        {0x00, {}},
        {0xC0, {}},
        {0x20, {.urg = true}},
        {0x10, {.ack = true}},
        {0x08, {.psh = true}},
        {0x04, {.rst = true}},
        {0x01, {.fin = true}},
        {0x11, {.ack = true, .fin = true}},
    };
    for (const auto& c : cases) {
        Bytes b = datagram(40, kProtocolTcp);
        b[33] = c.byte;
        PacketRecord record = makeRecord(b);
        EXPECT_EQ(record.view(40).flags(), c.expected) << "flags byte " << int{c.byte};
    }
}

struct OffsetCase {
    uint8_t protocol;
    uint8_t dataOffset;
    uint32_t payloadOffset;
    bool hasPorts;
};

TEST(PacketView, PayloadOffsetFollowsTheProtocol) {
    const OffsetCase cases[] = {
        {6, 0x50, 40, true},    {6, 0x00, 20, true},    {6, 0x5F, 40, true},  {6, 0x60, 44, true},
        {6, 0xF0, 80, true},    {6, 0x10, 24, true},    {17, 0x50, 28, true}, {17, 0x00, 28, true},
        {1, 0xF0, 28, false},   {0, 0x50, 20, false},   {2, 0x50, 20, false}, {55, 0x50, 20, false},
        {200, 0xF0, 20, false}, {255, 0x50, 20, false},
    };
    for (const auto& c : cases) {
        PacketRecord record = makeRecord(datagram(100, c.protocol, c.dataOffset));
        PacketView v = record.view(100);
        EXPECT_EQ(v.payloadOffset(), c.payloadOffset)
            << "protocol " << int{c.protocol} << " offset byte " << int{c.dataOffset};
        EXPECT_EQ(v.hasPorts(), c.hasPorts) << "protocol " << int{c.protocol};
    }
}

struct PayloadCase {
    const char* name;
    Bytes bytes;
    std::string expected;
};

TEST(PacketView, PayloadTextReplacesZerosAndStopsAtTheLength) {
    Bytes udp30 = datagram(30, kProtocolUdp);
    udp30[28] = 'h';
    udp30[29] = 'i';
    Bytes udpZeros = datagram(31, kProtocolUdp);
    udpZeros[29] = 'x';
    Bytes tcpNoHeader = datagram(40, kProtocolTcp, 0x00);
    tcpNoHeader[20] = 'A';
    tcpNoHeader[39] = 'Z';
    Bytes tcpLong = datagram(81, kProtocolTcp, 0xF0);
    tcpLong[80] = '!';
    Bytes icmp = datagram(29, kProtocolIcmp);
    icmp[28] = 0x80;
    Bytes other = datagram(21, 47);
    other[20] = 'q';

    const PayloadCase cases[] = {
        {"UDP of 28 bytes", datagram(28, kProtocolUdp), ""},
        {"UDP of 30 bytes", udp30, "hi"},
        {"UDP zeros", udpZeros, " x "},
        {"TCP data offset 0", tcpNoHeader, "A" + std::string(18, ' ') + "Z"},
        {"TCP of 40 bytes, offset 0x50", datagram(40, kProtocolTcp), ""},
        {"TCP header past the end", datagram(60, kProtocolTcp, 0xF0), ""},
        {"TCP header ends one short", datagram(80, kProtocolTcp, 0xF0), ""},
        {"TCP one byte after a 60-byte header", tcpLong, "!"},
        {"ICMP high byte", icmp, "\x80"},
        {"other protocol of 21 bytes", other, "q"},
        {"other protocol of 20 bytes", datagram(20, 47), ""},
        {"other protocol of 19 bytes", datagram(19, 47), ""},
        {"empty datagram", Bytes{}, ""},
    };
    std::string work = "left over from the previous packet";
    for (const auto& c : cases) {
        PacketRecord record = PacketRecord::create(c.bytes);
        ASSERT_TRUE(record) << c.name;
        EXPECT_EQ(record.view(static_cast<uint32_t>(c.bytes.size())).payloadText(work), c.expected)
            << c.name;
    }
}

struct LengthCase {
    uint32_t length;
    bool displayable;
    bool tcpSized;
};

TEST(PacketRecord, KeepsTheBytesAndZeroesTheSpareArea) {
    const LengthCase cases[] = {
        {0, false, false},  {1, false, false},   {19, false, false},  {20, true, false},
        {21, true, false},  {39, true, false},   {40, true, true},    {41, true, true},
        {1500, true, true}, {65539, true, true}, {65540, true, true},
    };
    for (const auto& c : cases) {
        const Bytes b = Pattern(c.length, [](size_t i) { return i * 7 + 3; });
        PacketRecord record = PacketRecord::create(b);
        ASSERT_TRUE(record) << c.length;
        EXPECT_TRUE(std::equal(b.begin(), b.end(), record.block())) << c.length;
        const Bytes spare(record.block() + c.length, record.block() + c.length + 44);
        EXPECT_EQ(spare, Bytes(44, 0)) << c.length;
        PacketView v = record.view(c.length);
        EXPECT_EQ(v.length(), c.length);
        EXPECT_EQ(v.isDisplayable(), c.displayable) << c.length;
        EXPECT_EQ(v.isTcpSized(), c.tcpSized) << c.length;
    }
}

TEST(PacketRecord, ShortDatagramFieldsReadTheZeroSpareBytes) {
    // 21 bytes: the high byte of the source port is real, everything after it is spare.
    Bytes b = datagram(21, kProtocolTcp, 0, 0xEE);
    b[20] = 0xAB;
    PacketRecord record = makeRecord(b);
    PacketView v = record.view(21);
    EXPECT_EQ(v.sourcePort(), 0xAB00u);
    EXPECT_EQ(v.destinationPort(), 0u);
    EXPECT_EQ(v.sequence(), 0u);
    EXPECT_EQ(v.tcpHeaderLength(), 0u);
    EXPECT_EQ(v.flags(), TcpFlags{});
    EXPECT_EQ(v.window(), 0u);
    std::string work;
    EXPECT_EQ(v.payloadText(work), "\xAB");  // data offset 0: payload starts at 20

    PacketRecord empty = makeRecord({});
    PacketView e = empty.view(0);
    EXPECT_EQ(e.protocol(), 0u);
    EXPECT_EQ(e.payloadOffset(), 20u);
    EXPECT_EQ(AddressText(e.destinationAddress()), "0.0.0.0");
}

TEST(PacketRecord, RefusesMoreThanOneReceiveBuffer) {
    Bytes b(65541, 1);
    EXPECT_FALSE(PacketRecord::create(b));
    EXPECT_FALSE(PacketRecord());
}

TEST(PacketRecord, OwnershipPassesThroughARawSlotPointer) {
    PacketRecord record = makeRecord(kSynAck);
    const uint8_t* block = record.block();
    uint8_t* raw = record.release();
    EXPECT_FALSE(record);
    EXPECT_EQ(raw, block);
    PacketRecord back = PacketRecord::adopt(raw);
    ASSERT_TRUE(back);
    EXPECT_EQ(back.view(42).destinationPort(), 51234u);
    PacketRecord moved = std::move(back);
    EXPECT_TRUE(moved);
    EXPECT_FALSE(back);  // NOLINT(bugprone-use-after-move): moved-from is empty
}

TEST(AddressAndPortText, PrintEachPartUnsignedWithoutPadding) {
    EXPECT_EQ(AddressText({0, 0, 0, 0}), "0.0.0.0");
    EXPECT_EQ(AddressText({1, 2, 3, 4}), "1.2.3.4");
    EXPECT_EQ(AddressText({127, 0, 0, 1}), "127.0.0.1");
    EXPECT_EQ(AddressText({200, 9, 10, 99}), "200.9.10.99");
    EXPECT_EQ(AddressText({128, 255, 100, 0}), "128.255.100.0");
    EXPECT_EQ(PortText(0), "0");
    EXPECT_EQ(PortText(4), "4");
    EXPECT_EQ(PortText(41), "41");
    EXPECT_EQ(PortText(443), "443");
    EXPECT_EQ(PortText(8080), "8080");
    EXPECT_EQ(PortText(60000), "60000");
}

struct RenderCase {
    const char* name;
    Bytes bytes;
    std::string dec;
    std::string hex;
    std::string text;
};

TEST(Renderings, DecHexAndTextOfSmallDatagrams) {
    const RenderCase cases[] = {
        {"empty", {}, "", "", ""},
        {"one zero", {0}, "  0 ", "00 ", ""},
        {"three zeros", {0, 0, 0}, "  0   0   0 ", "00 00 00 ", ""},
        {"widths", {7, 42, 255}, "  7  42 255 ", "07 2A FF ", "\x07*\xFF"},
        {"ten bytes end the Dec line",
         {0, 1, 9, 10, 99, 100, 199, 200, 254, 255},
         "  0   1   9  10  99 100 199 200 254 255\r\n",
         "00 01 09 0A 63 64 C7 C8 FE FF ",
         "\x01\x09\x0A"
         "cd\xC7\xC8\xFE\xFF"},
        {"eleven bytes start a second Dec line",
         {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k'},
         " 97  98  99 100 101 102 103 104 105 106\r\n107 ",
         "61 62 63 64 65 66 67 68 69 6A 6B ",
         "abcdefghijk"},
        {"sixteen bytes end the Hex line",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
         "  0   1   2   3   4   5   6   7   8   9\r\n 10  11  12  13  14  15 ",
         "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n",
         "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F"},
        {"seventeen bytes start a second Hex line",
         {'G', 'E', 'T', ' ', '/', 0, 'H', 'T', 'T', 'P', '/', '1', '.', '1', '\r', '\n', 0xAB},
         " 71  69  84  32  47   0  72  84  84  80\r\n 47  49  46  49  13  10 171 ",
         "47 45 54 20 2F 00 48 54 54 50 2F 31 2E 31 0D 0A\r\nAB ",
         "GET /HTTP/1.1\r\n\xAB"},
    };
    std::string out = "stale";
    for (const auto& c : cases) {
        PacketRecord record = PacketRecord::create(c.bytes);
        ASSERT_TRUE(record) << c.name;
        PacketView v = record.view(static_cast<uint32_t>(c.bytes.size()));
        RenderDec(v, out);
        EXPECT_EQ(out, c.dec) << c.name;
        RenderHex(v, out);
        EXPECT_EQ(out, c.hex) << c.name;
        RenderText(v, out);
        EXPECT_EQ(out, c.text) << c.name;
    }
}

TEST(Renderings, AllZeroDatagramsShowOnlyInDecAndHex) {
    for (uint32_t length : {20u, 40u, 160u}) {
        PacketRecord record = makeRecord(Bytes(length, 0));
        PacketView v = record.view(length);
        std::string out;
        RenderText(v, out);
        EXPECT_EQ(out, "") << length;
        RenderDec(v, out);
        std::string expected;
        for (uint32_t i = 0; i < length / 10; ++i)
            expected += "  0   0   0   0   0   0   0   0   0   0\r\n";
        EXPECT_EQ(out, expected) << length;
        RenderHex(v, out);
        expected.clear();
        for (uint32_t i = 0; i < length; ++i)
            expected += i % 16 == 15 ? "00\r\n" : "00 ";
        EXPECT_EQ(out, expected) << length;
    }
}

// The position of every number in a rendering, found by scanning the text itself.
std::vector<size_t> tokenStarts(const std::string& text) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool blank = text[i] == ' ' || text[i] == '\r' || text[i] == '\n';
        const bool afterBlank = i == 0 || text[i - 1] == ' ' || text[i - 1] == '\n';
        if (!blank && afterBlank)
            starts.push_back(i);
    }
    return starts;
}

TEST(Renderings, StartPositionsPointAtEachByte) {
    EXPECT_EQ(DecStart(0), 0u);
    EXPECT_EQ(DecStart(9), 36u);
    EXPECT_EQ(DecStart(10), 41u);
    EXPECT_EQ(DecStart(20), 82u);
    EXPECT_EQ(HexStart(15), 45u);
    EXPECT_EQ(HexStart(16), 49u);
    EXPECT_EQ(HexStart(32), 98u);

    // Bytes of value 100..255 fill all three Dec columns, so each number starts its cell.
    PacketRecord record = makeRecord(Pattern(333, [](size_t i) { return 100 + i % 156; }));
    PacketView v = record.view(333);
    std::string dec, hex;
    RenderDec(v, dec);
    RenderHex(v, hex);
    const auto decStarts = tokenStarts(dec);
    const auto hexStarts = tokenStarts(hex);
    ASSERT_EQ(decStarts.size(), 333u);
    ASSERT_EQ(hexStarts.size(), 333u);
    for (size_t i = 0; i < 333; ++i) {
        EXPECT_EQ(DecStart(i), decStarts[i]) << i;
        EXPECT_EQ(HexStart(i), hexStarts[i]) << i;
    }
}

TEST(Renderings, LargestDatagramRendersWhole) {
    PacketRecord record = makeRecord(Pattern(65540, [](size_t i) { return i; }));
    PacketView v = record.view(65540);
    std::string out;
    RenderDec(v, out);
    EXPECT_EQ(out.size(), 268714u);
    EXPECT_EQ(out.substr(0, 12), "  0   1   2 ");
    // Bytes 65530..65539 (values 250..255, 0..3) fill the last line exactly.
    EXPECT_EQ(out.substr(out.size() - 43), "\r\n250 251 252 253 254 255   0   1   2   3\r\n");
    RenderHex(v, out);
    EXPECT_EQ(out.size(), 200716u);
    // Byte 65535 ends a line; bytes 65536..65539 begin one that stays open.
    EXPECT_EQ(out.substr(out.size() - 34), "F9 FA FB FC FD FE FF\r\n00 01 02 03 ");
    RenderText(v, out);
    EXPECT_EQ(out.size(), 65540u - 257u);  // one zero in every 256 bytes dropped
    EXPECT_EQ(out.substr(0, 3), "\x01\x02\x03");
}

}  // namespace
}  // namespace vorlanx
