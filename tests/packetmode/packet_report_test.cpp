// The bytes of report and log entries, the report's frame and the write-error texts.
#include <gtest/gtest.h>

#include <cerrno>

#include "packetmode/packet_report.h"
#include "support/file_contents.h"
#include "support/temp_dir.h"
#include "support/test_datagram.h"

namespace vorlanx {
namespace {

using test::DatagramSpec;

std::string Entry(const std::vector<uint8_t>& d, std::string_view time, PacketRendering r) {
    const PacketRecord record = PacketRecord::create(d);
    std::string out = "<";  // an entry goes behind what is there
    AppendPacketEntry(out, record.view(static_cast<uint32_t>(d.size())), time, r);
    return out;
}

TEST(PacketReport, EntryBytes) {
    const auto tcp60 = test::BuildDatagram({.source = {192, 168, 0, 2}, .destination = {10, 0, 0, 1},
                                            .sourcePort = 1025, .destinationPort = 80,
                                            .payload = std::string(20, 'x')});
    std::vector<uint8_t> ten(10), eleven(11), sixteen(16), seventeen(17);
    for (size_t i = 0; i < 17; ++i) {
        if (i < 10) ten[i] = static_cast<uint8_t>(i);
        if (i < 11) eleven[i] = static_cast<uint8_t>(i);
        if (i < 16) sixteen[i] = static_cast<uint8_t>(0xF0 + i);
        seventeen[i] = static_cast<uint8_t>(0xF0 + i % 16);
    }
    const auto udpWide = test::BuildDatagram({.protocol = 17, .source = {255, 255, 255, 255},
                                              .destination = {1, 2, 3, 4}, .sourcePort = 65535,
                                              .destinationPort = 7,
                                              .payload = std::string(65507, 'u')});
    const struct {
        const char* name;
        std::vector<uint8_t> datagram;
        std::string time;
        PacketRendering rendering;
        std::string expected;
    } cases[] = {
        {"heading of the example", tcp60, "T", PacketRendering::None,
         "<\r\n TCP   60     192.168.0.2        10.0.0.1   1025    80  [T]"},
        {"unnamed protocol keeps two spaces, no ports",
         test::BuildDatagram({.protocol = 253, .payload = "ab"}), "t", PacketRendering::None,
         "<\r\n  \xC2\xBF?   22        10.0.0.1        10.0.0.2      0     0  [t]"},
        {"ICMP: ports 0 0", test::BuildDatagram({.protocol = 1}), "", PacketRendering::None,
         "<\r\nICMP   28        10.0.0.1        10.0.0.2      0     0  []"},
        {"wide values widen their fields", udpWide, "2026.12.08 - 20:50:18.123",
         PacketRendering::None,
         "<\r\n UDP 65535 255.255.255.255         1.2.3.4  65535     7  [2026.12.08 - 20:50:18.123]"},
        // With data: what follows the heading's closing bracket.
        {"Dec, ten bytes: one line", ten, "d", PacketRendering::Dec,
         "\r\n\r\n  0   1   2   3   4   5   6   7   8   9\r\n"},
        {"Dec, eleven bytes: a second line", eleven, "d", PacketRendering::Dec,
         "\r\n\r\n  0   1   2   3   4   5   6   7   8   9\r\n 10 "},
        {"Hex, sixteen bytes", sixteen, "h", PacketRendering::Hex,
         "\r\n\r\nF0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF\r\n"},
        {"Hex, seventeen bytes", seventeen, "h", PacketRendering::Hex,
         "\r\n\r\nF0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF\r\nF0 "},
    };
    for (const auto& c : cases) {
        const std::string entry = Entry(c.datagram, c.time, c.rendering);
        const bool withData = c.rendering != PacketRendering::None;
        EXPECT_EQ(withData ? entry.substr(entry.find(']') + 1) : entry, c.expected) << c.name;
        if (withData) {
            EXPECT_EQ(entry.substr(0, 5), "<\r\n\r\n") << c.name;
        }
    }

    // Text: the bytes as captured, zero bytes and headers included.
    const auto withZeros = test::BuildDatagram({.protocol = 17, .payload = std::string("a\0b", 3)});
    const std::string text = Entry(withZeros, "x", PacketRendering::Text);
    EXPECT_EQ(text.substr(text.size() - withZeros.size() - 4),
              "\r\n\r\n" + std::string(withZeros.begin(), withZeros.end()));
}

TEST(PacketReport, RenderingPrecedence) {
    using R = PacketRendering;
    const struct {
        bool withData, text, dec, hex;
        R expected;
    } cases[] = {{false, true, true, true, R::None}, {true, true, true, true, R::Text},
                 {true, false, true, true, R::Dec},  {true, false, false, true, R::Hex},
                 {true, false, false, false, R::None}};
    for (const auto& c : cases)
        EXPECT_EQ(EntryRendering(c.withData, c.text, c.dec, c.hex), c.expected);
}

TEST(PacketReport, FrameAndWriteErrors) {
    const std::string columns = "Type Size       Source IP  Destination IP  sPort dPort  Date/Time\r\n";
    const std::string rule(64, '-');
    EXPECT_EQ(ReportHeader(), "Brindlecraft VORLANX saved information:\r\n\r\n" + columns + rule);
    EXPECT_EQ(ReportTrailer(0, 5), "\r\n\r\n" + rule + "\r\n" + columns +
                                       "\r\n0 Packets listed in 5 milliseconds.");
    EXPECT_EQ(ReportTrailer(1, 0).substr(ReportTrailer(1, 0).rfind("\r\n")),
              "\r\n1 Packet listed in 0 milliseconds.");

    const struct {
        int error;
        std::string expected;
    } errors[] = {
        {ENOSPC, "NOW\r\n\r\nError while writing file with path:\r\n  /p\r\n"
                 "Windows reports that the disk is full."},
        {EIO, "NOW\r\n\r\nError while writing file with path:\r\n  /p\r\nWindows reports that "
              "while accessing the hard disk, a disk operation failed even after retries."},
        {EACCES, "Error while writing file with path:\r\n  /p\r\nThe cause of the error is unknown."},
    };
    for (const auto& e : errors)
        EXPECT_EQ(WriteErrorText(e.error, "/p", "NOW"), e.expected);
}

TEST(PacketReport, EntryOfASlotAndFileFailures) {
    test::TempDir dir;
    PacketStore store;
    const auto d = test::BuildDatagram({.protocol = 17});
    store.put(0, PacketRecord::create(d), static_cast<int32_t>(d.size()));
    store.setTimeText(0, "t");
    store.put(1, PacketRecord::create(d), static_cast<int32_t>(d.size()));  // no time text
    OutputFile file;
    ASSERT_EQ(file.open(dir.file("entries.txt"), OutputFile::Mode::Replace), 0);
    for (int32_t slot : {0, 1, 2, -1, PacketStore::kCapacity})
        EXPECT_EQ(WritePacketEntry(file, store, slot, PacketRendering::None), 0) << slot;
    EXPECT_EQ(file.close(), 0);
    EXPECT_EQ(test::ReadFileBytes(dir.file("entries.txt")),
              "\r\n UDP   28        10.0.0.1        10.0.0.2  40000    80  [t]");

    OutputFile full;
    ASSERT_EQ(full.open("/dev/full", OutputFile::Mode::Append), 0);
    EXPECT_EQ(WritePacketEntry(full, store, 0, PacketRendering::None), 0);  // buffered
    EXPECT_EQ(full.close(), ENOSPC);
    EXPECT_NE(OutputFile().open(dir.file("missing/x.txt"), OutputFile::Mode::Replace), 0);
}

}  // namespace
}  // namespace vorlanx
