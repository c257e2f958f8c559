#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "capture/pcap_file_source.h"
#include "support/temp_dir.h"
#include "support/test_datagram.h"

namespace vorlanx {
namespace {

using Bytes = std::vector<uint8_t>;

std::string DataFile(const std::string& name) {
    return std::string(VORLANX_TEST_DATA_DIR) + "/" + name;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<Bytes> Drain(CaptureSource& source) {
    std::vector<Bytes> datagrams;
    while (auto datagram = source.receive()) {
        datagrams.emplace_back(datagram->begin(), datagram->end());
    }
    return datagrams;
}

uint16_t Be16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}
uint32_t Be32(const Bytes& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

struct TcpSegment {
    uint16_t sourcePort = 0;
    uint16_t destinationPort = 0;
    uint32_t sequence = 0;
    uint8_t flags = 0;
    std::string payload;
};

constexpr uint8_t kSyn = 0x02, kAck = 0x10, kFin = 0x01;

// Parses a whole IPv4/TCP datagram the long way, checking every length on the way.
std::optional<TcpSegment> ParseTcp(const Bytes& d) {
    if (d.size() < 20 || (d[0] >> 4) != 4 || d[9] != 6) {
        return std::nullopt;
    }
    const size_t ipHeader = (d[0] & 15u) * 4u;
    const size_t total = Be16(d, 2);
    if (total != d.size() || ipHeader + 20 > total) {
        return std::nullopt;
    }
    const size_t tcpHeader = (d[ipHeader + 12] >> 4) * 4u;
    if (ipHeader + tcpHeader > total) {
        return std::nullopt;
    }
    TcpSegment s;
    s.sourcePort = Be16(d, ipHeader);
    s.destinationPort = Be16(d, ipHeader + 2);
    s.sequence = Be32(d, ipHeader + 4);
    s.flags = d[ipHeader + 13];
    s.payload.assign(d.begin() + static_cast<long>(ipHeader + tcpHeader), d.end());
    return s;
}

// ---------------------------------------------------------------------------------------
// Recorded exchanges: curl fetching a file from python3 -m http.server on 127.0.0.1 (see
// tests/data/README.md), captured in three link types.

struct RecordedExchange {
    const char* file;
    int linkType;
};

class RecordedExchangeTest : public testing::TestWithParam<RecordedExchange> {};

TEST_P(RecordedExchangeTest, ReplaysTheWholeExchangeInOrder) {
    auto source = PcapFileSource::openFile(DataFile(GetParam().file));
    ASSERT_FALSE(source->failed()) << source->errorText();
    EXPECT_EQ(source->linkType(), GetParam().linkType);

    std::vector<TcpSegment> segments;
    std::chrono::microseconds previousTime{0};
    while (auto datagram = source->receive()) {
        const Bytes bytes(datagram->begin(), datagram->end());
        EXPECT_EQ(Be32(bytes, 12), 0x7F000001u);  // 127.0.0.1 both ways
        EXPECT_EQ(Be32(bytes, 16), 0x7F000001u);
        auto segment = ParseTcp(bytes);
        ASSERT_TRUE(segment.has_value()) << "datagram " << segments.size() << " is not whole";
        EXPECT_GE(source->lastRecordTime(), previousTime);
        previousTime = source->lastRecordTime();
        segments.push_back(*segment);
    }
    EXPECT_FALSE(source->failed()) << source->errorText();
    EXPECT_EQ(source->recordsSkipped(), 0u);
    ASSERT_EQ(segments.size(), 12u);
    EXPECT_GT(previousTime, std::chrono::microseconds(std::chrono::seconds(1'700'000'000)));

    // The handshake opens it, FINs close it.
    const uint16_t client = segments[0].sourcePort, server = segments[0].destinationPort;
    EXPECT_EQ(segments[0].flags, kSyn);
    EXPECT_EQ(segments[1].flags, kSyn | kAck);
    EXPECT_EQ(segments[1].sourcePort, server);
    int fins = 0;
    std::string request, response;
    for (const auto& s : segments) {
        fins += (s.flags & kFin) != 0;
        (s.sourcePort == client ? request : response) += s.payload;
    }
    EXPECT_EQ(fins, 2);
    EXPECT_EQ(request.rfind("GET /served.txt HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(response.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    const Bytes served = ReadFile(DataFile("http_exchange_served.txt"));
    ASSERT_EQ(served.size(), 12350u);
    const std::string body(served.begin(), served.end());
    const auto headerEnd = response.find("\r\n\r\n");
    ASSERT_NE(headerEnd, std::string::npos);
    EXPECT_EQ(response.substr(headerEnd + 4), body);
    EXPECT_NE(response.find("Content-Length: 12350\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    LinkTypes, RecordedExchangeTest,
    testing::Values(RecordedExchange{"http_exchange_lo.pcap", DLT_EN10MB},
                    RecordedExchange{"http_exchange_any_sll.pcap", DLT_LINUX_SLL},
                    RecordedExchange{"http_exchange_any_sll2.pcap", DLT_LINUX_SLL2}),
    [](const auto& instance) {
        std::string name = instance.param.file;
        return name.substr(0, name.find('.'));
    });

std::vector<Bytes> RecordedDatagrams() {
    auto source = PcapFileSource::openFile(DataFile("http_exchange_lo.pcap"));
    return Drain(*source);
}

// ---------------------------------------------------------------------------------------
// Files written here in every link type: the recorded datagrams wrapped anew, with frames
// that carry no IPv4 in between.

struct Frame {
    Bytes bytes;
    uint32_t originalLength = 0;  // 0: the captured length
};

void WritePcap(const std::string& path, int linkType, const std::vector<Frame>& frames,
               int snapLength = 262144) {
    pcap_t* dead =
        pcap_open_dead_with_tstamp_precision(linkType, snapLength, PCAP_TSTAMP_PRECISION_MICRO);
    ASSERT_NE(dead, nullptr);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (size_t i = 0; i < frames.size(); ++i) {
        pcap_pkthdr header{};
        header.ts.tv_sec = 1'700'000'000 + static_cast<time_t>(i);
        header.ts.tv_usec = static_cast<suseconds_t>(i * 1000 + 7);
        header.caplen = static_cast<uint32_t>(frames[i].bytes.size());
        header.len = frames[i].originalLength != 0 ? frames[i].originalLength : header.caplen;
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frames[i].bytes.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

const Bytes kMacs = {0, 1, 2, 3, 4, 5, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};
const Bytes kFrameCheck = {0xde, 0xad, 0xbe, 0xef};  // trailer bytes some capture cards keep
const Bytes kIpv6Packet = [] {
    Bytes b(48, 0);
    b[0] = 0x60;
    b[4] = 0;
    b[5] = 8;
    b[6] = 17;
    return b;
}();
const Bytes kArpBody(28, 0x11);

struct LinkVariant {
    const char* name;
    int linkType;
    Bytes before, after;  // around each datagram
    std::vector<Bytes> notIpv4;
};

Bytes Cooked1(uint16_t protocol, const Bytes& body) {
    return Concat({{0, 0, 0x03, 0x04, 0, 6},
                   {0, 0, 0, 0, 0, 0, 0, 0},
                   {static_cast<uint8_t>(protocol >> 8), static_cast<uint8_t>(protocol)},
                   body});
}
Bytes Cooked2(uint16_t protocol, const Bytes& body) {
    return Concat({{static_cast<uint8_t>(protocol >> 8), static_cast<uint8_t>(protocol), 0, 0},
                   {0, 0, 0, 1, 0x03, 0x04, 0, 6},
                   {0, 0, 0, 0, 0, 0, 0, 0},
                   body});
}

// clang-format off
const std::vector<LinkVariant>& LinkVariants() {
    static const std::vector<LinkVariant> variants = {
        {"Ethernet", DLT_EN10MB, Concat({kMacs, {0x08, 0x00}}), kFrameCheck,
         {Concat({kMacs, {0x08, 0x06}, kArpBody}), Concat({kMacs, {0x86, 0xdd}, kIpv6Packet}),
          Concat({kMacs, {0x81, 0x00, 0x00, 0x05}, {0x86, 0xdd}, kIpv6Packet}),
          Concat({kMacs, {0x08, 0x00}}), Concat({kMacs, {0x81, 0x00, 0x00}})}},
        {"EthernetVlan", DLT_EN10MB, Concat({kMacs, {0x81, 0x00, 0x20, 0x07, 0x08, 0x00}}), {},
         {Concat({kMacs, {0x81, 0x00, 0x20, 0x07, 0x08, 0x06}, kArpBody})}},
        {"EthernetQinQ", DLT_EN10MB,
         Concat({kMacs, {0x88, 0xa8, 0, 100, 0x81, 0x00, 0, 7, 0x08, 0x00}}), {},
         {Concat({kMacs, {0x88, 0xa8, 0, 100, 0x81, 0x00, 0, 7, 0x86, 0xdd}, kIpv6Packet})}},
        {"RawIp", DLT_RAW, {}, {}, {kIpv6Packet}},
        {"Ipv4", DLT_IPV4, {}, {}, {Bytes{0x00, 0x45, 0x00}}},
        {"NullLittleEndian", DLT_NULL, {2, 0, 0, 0}, {},
         {Concat({{10, 0, 0, 0}, kIpv6Packet}), Concat({{0, 0, 0, 30}, kIpv6Packet}), Bytes{2, 0}}},
        {"NullBigEndian", DLT_NULL, {0, 0, 0, 2}, {}, {Concat({{0, 0, 0, 24}, kIpv6Packet})}},
        {"Loop", DLT_LOOP, {0, 0, 0, 2}, {}, {Concat({{0, 0, 0, 28}, kIpv6Packet})}},
        {"LinuxCooked", DLT_LINUX_SLL, Cooked1(0x0800, {}), {},
         {Cooked1(0x86dd, kIpv6Packet), Cooked1(0x0806, kArpBody), Bytes(15, 0)}},
        {"LinuxCookedV2", DLT_LINUX_SLL2, Cooked2(0x0800, {}), {},
         {Cooked2(0x86dd, kIpv6Packet), Cooked2(0x0806, kArpBody), Bytes(19, 0)}},
    };
    return variants;
}
// clang-format on

class LinkTypeTest : public testing::TestWithParam<LinkVariant> {};

TEST_P(LinkTypeTest, DeliversExactlyTheIpv4DatagramsAndSkipsTheRest) {
    const auto datagrams = RecordedDatagrams();
    ASSERT_EQ(datagrams.size(), 12u);
    const auto& variant = GetParam();

    // Other frames before, between and after the datagrams, and an empty record.
    std::vector<Frame> frames;
    size_t other = 0;
    for (size_t i = 0; i < datagrams.size(); ++i) {
        if (i % 4 == 0 && other < variant.notIpv4.size()) {
            frames.push_back({variant.notIpv4[other++]});
        }
        frames.push_back({Concat({variant.before, datagrams[i], variant.after})});
    }
    while (other < variant.notIpv4.size()) {
        frames.push_back({variant.notIpv4[other++]});
    }
    frames.push_back({Bytes{}});

    test::TempDir dir;
    const auto path = dir.file("capture.pcap");
    WritePcap(path, variant.linkType, frames);
    auto source = PcapFileSource::openFile(path);
    ASSERT_FALSE(source->failed()) << source->errorText();
    EXPECT_EQ(source->linkType(), variant.linkType);
    EXPECT_EQ(Drain(*source), datagrams);
    EXPECT_FALSE(source->failed()) << source->errorText();
    EXPECT_EQ(source->recordsSkipped(), variant.notIpv4.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(Written, LinkTypeTest, testing::ValuesIn(LinkVariants()),
                         [](const auto& instance) { return std::string(instance.param.name); });

struct RecordRow {
    const char* name;
    int linkType;
    std::vector<Frame> frames;
    std::vector<Bytes> delivered;
    uint64_t skipped = 0;
    int snapLength = 262144;
};

TEST(PcapFileSource, WhatSingleRecordsDeliver) {
    const Bytes ack = test::BuildDatagram({});  // a bare TCP segment
    const Bytes offload = test::BuildDatagram({.totalLength = 0});
    const Bytes padding(6, 0);                 // the rest of a 60-byte Ethernet frame
    const Bytes big = RecordedDatagrams()[7];  // the 12,350-byte response body
    ASSERT_GT(big.size(), 12350u);
    const Bytes cut(big.begin(), big.begin() + 96);
    const Bytes small = test::BuildDatagram({.protocol = 17});
    // Offload packets (total length 0) of the most one receive takes, and one byte more.
    const Bytes wholeReceive = test::BuildDatagram(
        {.protocol = 17, .payload = std::string(65540 - 28, 'w'), .totalLength = 0});
    const Bytes oneByteMore = test::BuildDatagram(
        {.protocol = 17, .payload = std::string(65541 - 28, 'w'), .totalLength = 0});
    const Bytes headerOnly = test::BuildDatagram({.totalLength = 20});
    const Bytes noLength = test::BuildDatagram({.totalLength = 19});
    // clang-format off
    const RecordRow rows[] = {
        {"Ethernet padding is not part of the datagram", DLT_EN10MB,
         {{Concat({kMacs, {0x08, 0x00}, ack, padding})}}, {ack}},
        {"a total length of 0 (offload) keeps everything", DLT_EN10MB,
         {{Concat({kMacs, {0x08, 0x00}, offload, padding})}}, {Concat({offload, padding})}},
        {"a record cut by the snap length delivers what it holds", DLT_RAW,
         {{cut, static_cast<uint32_t>(big.size())}}, {cut}, 0, 96},
        {"a datagram of one whole receive is delivered", DLT_RAW,
         {{wholeReceive}, {small}}, {wholeReceive, small}},
        {"one byte more is skipped and counted", DLT_RAW, {{oneByteMore}, {small}}, {small}, 1},
        {"a total length of 20 is the header alone", DLT_RAW,
         {{headerOnly}}, {Bytes(headerOnly.begin(), headerOnly.begin() + 20)}},
        {"a total length of 19 is no length: every byte stays", DLT_RAW,
         {{noLength}}, {noLength}},
    };
    // clang-format on
    for (const RecordRow& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        WritePcap(dir.file("c.pcap"), row.linkType, row.frames, row.snapLength);
        auto source = PcapFileSource::openFile(dir.file("c.pcap"));
        EXPECT_EQ(Drain(*source), row.delivered);
        EXPECT_EQ(source->recordsSkipped(), row.skipped);
        EXPECT_FALSE(source->failed()) << source->errorText();
    }
}

// ---------------------------------------------------------------------------------------
// pcapng: libpcap reads it but does not write it, so the test writes it by the format.

class PcapngWriter {
  public:
    explicit PcapngWriter(bool bigEndian) : m_bigEndian(bigEndian) {
        Bytes body;
        put32(body, 0x1A2B3C4D);  // byte-order magic
        put16(body, 1);
        put16(body, 0);
        body.insert(body.end(), 8, 0xFF);  // section length unknown
        block(0x0A0D0D0A, body);
    }
    void interface(uint16_t linkType) {
        Bytes body;
        put16(body, linkType);
        put16(body, 0);
        put32(body, 262144);
        block(1, body);
    }
    void packet(const Bytes& data, uint64_t microseconds) {
        Bytes body;
        put32(body, 0);
        put32(body, static_cast<uint32_t>(microseconds >> 32));
        put32(body, static_cast<uint32_t>(microseconds));
        put32(body, static_cast<uint32_t>(data.size()));
        put32(body, static_cast<uint32_t>(data.size()));
        body.insert(body.end(), data.begin(), data.end());
        block(6, body);
    }
    void unknownBlock() { block(0x00000BAD, Bytes(12, 0x5A)); }
    const Bytes& bytes() const { return m_out; }

  private:
    void put16(Bytes& b, uint16_t v) {
        const uint8_t hi = static_cast<uint8_t>(v >> 8), lo = static_cast<uint8_t>(v);
        b.insert(b.end(), m_bigEndian ? std::initializer_list<uint8_t>{hi, lo}
                                      : std::initializer_list<uint8_t>{lo, hi});
    }
    void put32(Bytes& b, uint32_t v) {
        if (m_bigEndian) {
            put16(b, static_cast<uint16_t>(v >> 16));
            put16(b, static_cast<uint16_t>(v));
        } else {
            put16(b, static_cast<uint16_t>(v));
            put16(b, static_cast<uint16_t>(v >> 16));
        }
    }
    void block(uint32_t type, Bytes body) {
        while (body.size() % 4 != 0) {
            body.push_back(0);
        }
        const uint32_t total = static_cast<uint32_t>(body.size() + 12);
        put32(m_out, type);
        put32(m_out, total);
        m_out.insert(m_out.end(), body.begin(), body.end());
        put32(m_out, total);
    }

    bool m_bigEndian;
    Bytes m_out;
};

class PcapngTest : public testing::TestWithParam<bool> {};

TEST_P(PcapngTest, ReadsEnhancedPacketBlocksInEitherByteOrder) {
    const auto datagrams = RecordedDatagrams();
    PcapngWriter writer(GetParam());
    writer.interface(DLT_EN10MB);
    writer.unknownBlock();
    const uint64_t start = 1'700'000'000'000'000ull;
    for (size_t i = 0; i < datagrams.size(); ++i) {
        writer.packet(Concat({kMacs, {0x08, 0x00}, datagrams[i]}), start + i * 250);
        if (i == 3) {
            writer.packet(Concat({kMacs, {0x08, 0x06}, kArpBody}), start + i * 250 + 1);
        }
    }
    test::TempDir dir;
    WriteFile(dir.file("c.pcapng"), writer.bytes());
    auto source = PcapFileSource::openFile(dir.file("c.pcapng"));
    ASSERT_FALSE(source->failed()) << source->errorText();
    for (size_t i = 0; i < datagrams.size(); ++i) {
        auto datagram = source->receive();
        ASSERT_TRUE(datagram.has_value()) << i;
        EXPECT_EQ(Bytes(datagram->begin(), datagram->end()), datagrams[i]);
        EXPECT_EQ(source->lastRecordTime().count(), static_cast<int64_t>(start + i * 250));
    }
    EXPECT_FALSE(source->receive().has_value());
    EXPECT_FALSE(source->failed()) << source->errorText();
    EXPECT_EQ(source->recordsSkipped(), 1u);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, PcapngTest, testing::Values(false, true),
                         [](const auto& instance) {
                             return instance.param ? "BigEndian" : "LittleEndian";
                         });

// ---------------------------------------------------------------------------------------
// Damaged, foreign and missing files: a clear outcome, never a crash, and every record
// before the damage still delivered.

std::vector<size_t> RecordEnds(const Bytes& file) {
    std::vector<size_t> ends;
    size_t at = 24;
    while (at + 16 <= file.size()) {
        const uint32_t captured = uint32_t{file[at + 8]} | (uint32_t{file[at + 9]} << 8) |
                                  (uint32_t{file[at + 10]} << 16) | (uint32_t{file[at + 11]} << 24);
        at += 16 + captured;
        ends.push_back(at);
    }
    return ends;
}

Bytes PcapHeaderThen(const Bytes& rest) {
    return Concat(
        {{0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 1, 0, 0, 0},
         rest});
}

Bytes Garbage() {
    Bytes b(4096);
    uint32_t x = 12345;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<uint8_t>(x >> 16);
    }
    return b;
}

struct DamagedRow {
    const char* name;
    Bytes contents;
    bool opens;         // the file header is sound
    size_t delivered;   // the recorded datagrams read before the damage
    const char* named;  // what the message says besides the file's name; "": no failure
};

TEST(PcapFileSource, CutAndForeignFilesDeliverWhatComesBeforeTheDamage) {
    const Bytes whole = ReadFile(DataFile("http_exchange_lo.pcap"));
    ASSERT_EQ(whole[0], 0xD4);  // little-endian microsecond pcap, as tcpdump wrote it here
    const auto ends = RecordEnds(whole);
    ASSERT_EQ(ends.size(), 12u);
    ASSERT_EQ(ends.back(), whole.size());
    const auto cutAt = [&](size_t size) { return Bytes(whole.begin(), whole.begin() + size); };
    Bytes wifi = PcapHeaderThen({});
    wifi[20] = 105;  // IEEE 802.11
    const char* unreadable = "is not a capture file";
    const char* damaged = "damaged record";
    // clang-format off
    const DamagedRow rows[] = {
        {"cut inside the file header", cutAt(10), false, 0, unreadable},
        {"cut after the file header", cutAt(24), true, 0, ""},
        {"cut at a record boundary", cutAt(ends[4]), true, 5, ""},
        {"cut inside a record header", cutAt(ends[4] + 7), true, 5, damaged},
        {"cut inside record data", cutAt(ends[4] + 16 + 20), true, 5, damaged},
        {"one byte short", cutAt(whole.size() - 1), true, 11, damaged},
        {"empty", {}, false, 0, unreadable},
        {"text", Bytes(300, 'x'), false, 0, unreadable},
        {"garbage", Garbage(), false, 0, unreadable},
        {"pcapng magic only", {0x0A, 0x0D, 0x0D, 0x0A, 0, 0, 0}, false, 0, unreadable},
        {"absurd record length", PcapHeaderThen({0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0xFF,
                                                 0xF0, 0xFF, 0xFF, 0xFF, 1, 2, 3}),
         true, 0, damaged},
        {"unsupported link type", wifi, false, 0, "IEEE802_11"},
    };
    // clang-format on
    const auto recorded = RecordedDatagrams();
    for (const DamagedRow& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        const auto path = dir.file("damaged.pcap");
        WriteFile(path, row.contents);
        PcapFileSourceFactory factory(path);
        OpenOutcome outcome;
        auto source = factory.open("127.0.0.1", outcome);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(outcome.result,
                  row.opens ? ReceiveAllResult::Listening : ReceiveAllResult::OtherError);
        const auto got = Drain(*source);
        ASSERT_EQ(got.size(), row.delivered);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), recorded.begin()));
        EXPECT_FALSE(source->receive().has_value());  // stays ended

        auto& file = static_cast<PcapFileSource&>(*source);
        ASSERT_EQ(file.failed(), *row.named != '\0') << file.errorText();
        if (file.failed()) {
            EXPECT_EQ(file.errorNumber(), EINVAL);
            EXPECT_NE(file.errorText().find(path), std::string::npos) << file.errorText();
            EXPECT_NE(file.errorText().find(row.named), std::string::npos) << file.errorText();
        }
        if (!row.opens) {
            EXPECT_EQ(outcome.errorNumber, EINVAL);
            EXPECT_EQ(factory.lastErrorText(), file.errorText());
        }
    }
}

TEST(PcapFileSource, MissingFileOrDirectoryIsReportedWithTheSystemsReason) {
    test::TempDir dir;
    const auto missing = dir.file("no-such-file.pcap");
    PcapFileSourceFactory factory(missing);
    OpenOutcome outcome;
    auto source = factory.open("127.0.0.1", outcome);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(outcome.result, ReceiveAllResult::OtherError);
    EXPECT_EQ(outcome.errorNumber, ENOENT);
    EXPECT_NE(factory.lastErrorText().find(missing), std::string::npos);
    EXPECT_NE(factory.lastErrorText().find("No such file"), std::string::npos);
    EXPECT_FALSE(source->receive().has_value());

    auto directory = PcapFileSource::openFile(dir.path().string());
    EXPECT_TRUE(directory->failed());
    EXPECT_FALSE(directory->receive().has_value());

    auto noStream = PcapFileSource::openStream(nullptr);
    EXPECT_TRUE(noStream->failed());
    EXPECT_FALSE(noStream->receive().has_value());
}

TEST(PcapFileSourceFactory, EveryOpenStartsFromTheBeginningAndCloseEndsTheReplay) {
    PcapFileSourceFactory factory(DataFile("http_exchange_lo.pcap"));
    OpenOutcome outcome;
    auto first = factory.open("", outcome);
    EXPECT_EQ(outcome.result, ReceiveAllResult::Listening);
    EXPECT_EQ(outcome.errorNumber, 0);
    EXPECT_TRUE(factory.lastErrorText().empty());
    ASSERT_TRUE(first->receive().has_value());
    first->close();
    first->close();
    EXPECT_FALSE(first->receive().has_value());

    auto second = factory.open("", outcome);
    EXPECT_EQ(Drain(*second), RecordedDatagrams());
    EXPECT_EQ(second->droppedByKernel(), 0u);
    EXPECT_EQ(second->bytesWaiting(), 0u);
}

TEST(PcapFileSource, ReadsACaptureHeldInMemory) {
    Bytes file = ReadFile(DataFile("http_exchange_lo.pcap"));
    FILE* stream = fmemopen(file.data(), file.size(), "rb");
    ASSERT_NE(stream, nullptr);
    auto source = PcapFileSource::openStream(stream);
    EXPECT_EQ(Drain(*source), RecordedDatagrams());
}

}  // namespace
}  // namespace vorlanx
