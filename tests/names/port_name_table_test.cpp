// The TCP and UDP port tables: which ports hold an entry (checked port by port against the
// listed ranges, so a regenerated table cannot drift), the texts users know, the
// "Unassigned" rows, "Unknown" for empty entries and for ports beyond either table, and
// the shape of every stored text.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "names/port_name_data.h"
#include "names/port_name_table.h"

namespace vorlanx {
namespace {

namespace data = port_name_data;

// The ports that hold an entry, as the tables are documented.
constexpr std::string_view kTcpListing =
    "0-224, 242-248, 256-268, 280-284, 286-287, 308-322, 333, 344-600, 606-698, 704-707, "
    "709-711, 729-731, 740-742, 744, 747-754, 758-765, 767, 769-777, 780-783, 786-787, "
    "799-801, 810, 828-829, 871, 873, 886-888, 900-903, 911, 989-1000, 1008, 1010-1011, "
    "1023-1026, 1030-1032, 1047-1112, 1114-1117, 1123, 1127, 1155, 1161-1162, 1169, 1178, "
    "1180, 1188, 1200-1229, 1234, 1239, 1241, 1243, 1245, 1248, 1300, 1310-1314, 1319-1321, "
    "1335, 1345-1774, 1776-1844, 1850-1851, 1860-1865, 1870-1874, 1881, 1895, 1899-1924, "
    "1930-1931, 1944-1953, 1961-1967, 1972-1979, 1984-2028, 2030, 2032-2035, 2038, "
    "2040-2049, 2053-2054, 2065, 2067, 2090-2152, 2165-2166, 2180-2181, 2200-2202, 2213, "
    "2220-2223, 2232-2245, 2279-2288, 2294-2311, 2313-2370, 2381-2384, 2389-2451, "
    "2453-2532, 2534-2823, 2826-2854, 2856-2891, 2893-3043, 3045-3063, 3065-3070, "
    "3075-3086, 3105-3106, 3128-3131, 3141-3145, 3147-3151, 3180-3182, 3262, 3264-3321, "
    "3325-3366, 3371-3401, 3421, 3454-3471, 3535, 3563, 3572, 3672, 3802, 3845, 3862, 3875, "
    "3900, 3984-3987, 4000-4019, 4045, 4096-4099, 4132-4134, 4141-4144, 4160, 4199, "
    "4299-4300, 4321, 4333, 4343-4351, 4353, 4442-4457, 4500-4501, 4545-4547, 4557, 4559, "
    "4567-4568, 4600-4601, 4672, 4800-4802, 4827, 4837-4838, 4868-4869, 4885, 4983, "
    "5000-5007, 5010-5011, 5020-5021, 5042, 5050-5052, 5055, 5060, 5069, 5071, 5093, 5099, "
    "5145, 5150-5152, 5165, 5190-5193, 5200-5203, 5232, 5236, 5272, 5300-5311, 5400-5423, "
    "5426-5432, 5435, 5454-5456, 5461-5462, 5465, 5500-5504, 5510, 5520, 5530, 5540, 5550, "
    "5554-5556, 5559, 5599-5605, 5631-5632, 5678-5680, 5713-5717, 5729, 5741-5742, "
    "5745-5746, 5755, 5757, 5766-5768, 5771, 5800-5801, 5813, 5859, 5968-5969, 5977-5979, "
    "5997-6001, 6063-6073, 6100-6112, 6123, 6141-6149, 6253, 6321-6322, 6346, 6389, "
    "6400-6410, 6455-6456, 6471, 6500-6503, 6505-6508, 6547-6550, 6558, 6665-6667, "
    "6669-6670, 6672-6673, 6699-6701, 6711, 6723, 6767-6768, 6776, 6790, 6831, 6841-6842, "
    "6850, 6888, 6961-6966, 6969, 6998-7015, 7020-7021, 7070, 7099-7100, 7121, 7141, 7161, "
    "7174, 7200-7201, 7323, 7326, 7390, 7395, 7426-7431, 7437, 7491, 7511, 7544-7545, 7566, "
    "7570, 7588, 7597, 7633, 7640, 7777-7778, 7781, 7786, 7932-7933, 7967, 7979-7980, "
    "7999-8002, 8008, 8032-8033, 8080, 8130-8131, 8160-8161, 8181, 8200-8201, 8204-8208, "
    "8351, 8376-8380, 8400-8403, 8431, 8450, 8473, 8554, 8733, 8763-8765, 8804, 8880, "
    "8888-8894, 8900-8901, 8999-9001, 9090, 9100, 9160-9164, 9200-9207, 9321, 9343-9344, "
    "9374, 9396-9397, 9500, 9535, 9537, 9594-9595, 9600, 9753, 9876, 9888, 9898-9900, 9909, "
    "9950-9952, 9992-10005, 10007, 10012, 10080, 10082-10083, 10113-10115, 10128, 10288, "
    "10520, 11000-11001, 11111, 11367, 11720, 12000-12004, 12172, 12345-12346, 12361-12362, "
    "12753-12754, 13160, 13223-13224, 13326, 13720-13722, 13782-13783, 13818-13822, 14001, "
    "15104, 16360-16361, 16367-16368, 16660, 16959, 16991, 17007, 17219, 18000, "
    "18181-18185, 18187, 18463, 18753, 18888, 19283, 19315, 19410-19412, 19541, 20000, "
    "20005, 20034, 20432, 20670, 20999, 21554, 21590, 21845-21849, 22000-22001, 22273, "
    "22289, 22305, 22321, 22555, 22800, 22951, 24000-24006, 24386, 24554, 25000-25009, "
    "25793, 26000, 26208, 26274, 27374, 27665, 27999, 30100-30102, 31337, 31785, 31787, "
    "32000, 32768-32771, 32780, 33434, 34324, 36865, 40421-40423, 40426, 40841, 43118, "
    "43188, 44818, 45678, 45966, 47262, 47557, 47624, 47806, 47808, 48000-48003, 54320, "
    "65000, 65301";

constexpr std::string_view kUdpListing =
    "0-99, 101-224, 242-248, 256-268, 280-284, 286-287, 308-322, 333, 344-600, 606-698, "
    "704-707, 709-711, 729-731, 740-742, 744, 747-754, 758-765, 767, 769-777, 780-783, "
    "786-787, 800-801, 810, 828-829, 873, 886-888, 900-903, 911, 989-1000, 1008, 1010, "
    "1012, 1023-1025, 1030-1032, 1047-1108, 1110-1112, 1114-1117, 1123, 1155, 1161-1162, "
    "1167, 1169, 1180, 1188, 1200-1229, 1234, 1239, 1248, 1300, 1310-1314, 1319-1321, "
    "1335, 1345-1774, 1776-1844, 1850-1851, 1860-1865, 1870-1874, 1881, 1895, 1899-1924, "
    "1930-1931, 1944-1953, 1961-1967, 1972-1979, 1984-2002, 2004-2028, 2030, 2032-2035, "
    "2038, 2040-2049, 2065, 2067, 2090-2152, 2165-2166, 2180-2181, 2200-2202, 2213, "
    "2220-2223, 2232-2245, 2279-2288, 2294-2311, 2313-2370, 2381-2384, 2389-2451, "
    "2453-2532, 2534-2563, 2565-2823, 2826-2854, 2856-2891, 2893-3043, 3045-3063, "
    "3065-3070, 3075-3086, 3105-3106, 3130-3131, 3141-3145, 3147-3151, 3180-3182, 3262, "
    "3264-3299, 3301-3321, 3325-3366, 3371-3401, 3421, 3454-3471, 3535, 3563, 3572, 3672, "
    "3802, 3845, 3862, 3875, 3900, 3984-3987, 4000-4019, 4045, 4096-4099, 4132-4134, "
    "4141-4144, 4160, 4199, 4299-4300, 4321, 4343-4351, 4353, 4442-4457, 4500-4501, "
    "4545-4547, 4567-4568, 4600-4601, 4672, 4800-4802, 4827, 4837-4839, 4868-4869, 4885, "
    "4983, 5000-5007, 5010-5011, 5020-5021, 5042, 5050-5052, 5055, 5060, 5069, 5071, 5093, "
    "5099, 5145, 5150-5152, 5165, 5190-5193, 5200-5203, 5236, 5272, 5300-5311, 5400-5423, "
    "5426-5431, 5435, 5454-5456, 5461-5462, 5465, 5500-5504, 5540, 5554-5555, 5599-5605, "
    "5631-5632, 5678-5679, 5713-5717, 5729, 5741-5742, 5745-5746, 5755, 5757, 5766-5768, "
    "5771, 5813, 5859, 5968-5969, 5999, 6063-6073, 6100-6112, 6123, 6141-6149, 6253, "
    "6321-6322, 6389, 6400-6410, 6455-6456, 6471, 6500-6503, 6505-6508, 6547-6550, 6558, "
    "6669-6670, 6672-6673, 6699-6701, 6767-6768, 6790, 6831, 6838, 6841-6842, 6850, 6888, "
    "6961-6966, 6969, 6998-7015, 7020-7021, 7070, 7099-7100, 7121, 7141, 7170, 7174, "
    "7200-7201, 7390, 7395, 7426-7431, 7437, 7491, 7511, 7544-7545, 7566, 7570, 7588, 7597, "
    "7633, 7640, 7648-7651, 7777-7778, 7781, 7786, 7932-7933, 7967, 7979-7980, 7983, "
    "7999-8002, 8008, 8032-8033, 8080, 8130-8131, 8160-8161, 8200-8201, 8204-8208, 8351, "
    "8376-8380, 8400-8403, 8450, 8473, 8554, 8733, 8763-8765, 8804, 8880, 8888-8894, "
    "8900-8901, 9000, 9090, 9160-9164, 9200-9207, 9321, 9325, 9343-9344, 9374, 9396-9397, "
    "9500, 9535, 9594-9595, 9600, 9753, 9876, 9888, 9898-9900, 9909, 9950-9952, "
    "9992-10012, 10067, 10080, 10113-10115, 10128, 10167, 10288, 10498, 11000-11001, 11111, "
    "11367, 11720, 12000-12004, 12172, 12753, 13160, 13223-13224, 13720-13722, 13782-13783, "
    "13818-13822, 14001, 16360-16361, 16367-16368, 16991, 17007, 17219, 18000, 18181-18185, "
    "18187, 18463, 18753, 18888, 19283, 19315, 19410-19412, 19541, 20000, 20432, 20670, "
    "20999, 21590, 21845-21849, 22000-22001, 22273, 22555, 22800, 22951, 24000-24006, "
    "24386, 24554, 25000-25009, 25793, 26000, 26208, 27374, 27444, 27999, 31335, "
    "31337-31338, 31789, 31791, 32768-32770, 32780, 33270, 33434, 34555, 36865, 40841, "
    "44818, 45678, 45966, 47557, 47624, 47806, 47808, 48000-48003, 54321";

// "a-b, c, ..." -> the set of ports; a malformed or descending listing fails the test.
std::set<uint32_t> portsOf(std::string_view listing) {
    std::set<uint32_t> ports;
    std::istringstream in{std::string(listing)};
    std::string item;
    uint32_t previous = 0;
    bool first = true;
    while (std::getline(in, item, ',')) {
        const size_t dash = item.find('-');
        const uint32_t low = static_cast<uint32_t>(std::stoul(item.substr(0, dash)));
        const uint32_t high = dash == std::string::npos
                                  ? low
                                  : static_cast<uint32_t>(std::stoul(item.substr(dash + 1)));
        EXPECT_LE(low, high) << item;
        EXPECT_TRUE(first || low > previous) << "listing not ascending at " << item;
        for (uint32_t p = low; p <= high; ++p)
            ports.insert(p);
        previous = high;
        first = false;
    }
    return ports;
}

struct Table {
    const char* name;
    bool isTcp;
    std::string_view listing;
    size_t storedCount;  // as documented next to the listing
    uint32_t entries;
    uint16_t (*textIndex)(uint32_t);
    std::string_view (*lookup)(uint32_t);
};

const Table kTables[] = {
    {"TCP", true, kTcpListing, 3147, 65302, data::tcpTextIndex, PortNameTable::tcp},
    {"UDP", false, kUdpListing, 3081, 54322, data::udpTextIndex, PortNameTable::udp},
};

TEST(PortNameTable, StoredPortsAreExactlyTheListedOnes) {
    for (const Table& table : kTables) {
        SCOPED_TRACE(table.name);
        const std::set<uint32_t> expected = portsOf(table.listing);
        ASSERT_EQ(expected.size(), table.storedCount) << "listing transcribed wrongly";

        std::vector<uint32_t> missing, extra, emptyText;
        size_t stored = 0;
        for (uint32_t port = 0; port <= 0x1FFFF; ++port) {
            const bool has = table.textIndex(port) != data::kNoEntry;
            stored += has ? 1 : 0;
            if (expected.count(port) && !has)
                missing.push_back(port);
            if (!expected.count(port) && has)
                extra.push_back(port);
            if (has && data::storedText(table.textIndex(port)).empty())
                emptyText.push_back(port);
        }
        EXPECT_EQ(stored, table.storedCount);
        // TCP port 41 alone is stored with an empty text: in the key set, yet shown as
        // "Unknown" like a port without an entry.
        EXPECT_EQ(emptyText, table.isTcp ? std::vector<uint32_t>{41} : std::vector<uint32_t>{});
        EXPECT_TRUE(missing.empty()) << missing.size() << " listed ports without an entry, first "
                                     << (missing.empty() ? 0 : missing.front());
        EXPECT_TRUE(extra.empty()) << extra.size() << " unlisted ports with an entry, first "
                                   << (extra.empty() ? 0 : extra.front());
    }
}

TEST(PortNameTable, UnassignedIsStoredForExactlyTheDocumentedPorts) {
    const std::set<uint32_t> tcpUnassigned = {4,  6,  8,  10, 12, 14, 16, 26,
                                              28, 30, 32, 34, 36, 40, 60};
    std::set<uint32_t> udpUnassigned = tcpUnassigned;
    udpUnassigned.insert(15);
    const std::set<uint32_t>* expected[] = {&tcpUnassigned, &udpUnassigned};
    for (size_t t = 0; t < 2; ++t) {
        std::set<uint32_t> found;
        for (uint32_t port = 0; port < kTables[t].entries; ++port) {
            if (kTables[t].lookup(port) == "Unassigned")
                found.insert(port);
        }
        EXPECT_EQ(found, *expected[t]) << kTables[t].name;
    }
}

// std::nullopt: the port has no entry and shows "Unknown" (or lies beyond the table).
struct TellingRow {
    uint32_t port;
    std::optional<std::string_view> tcp;
    std::optional<std::string_view> udp;
};

TEST(PortNameTable, TellingRows) {
    const TellingRow rows[] = {
        {0, "Reserved", "Reserved"},
        {1, "Port Service Multiplexer", "Port Service Multiplexer"},
        {13, "Daytime (RFC 867)", "Daytime"},
        {15, "Unassigned [was netstat]", "Unassigned"},
        {21, "File Transfer [Control]", "File Transfer [Control]"},
        {22, "SSH Remote Login Protocol", "SSH Remote Login Protocol"},
        {25, "Simple Mail Transfer", "Simple Mail Transfer"},
        {53, "Domain Name Server", "Domain Name Server"},
        {80, "World Wide Web HTTP", "World Wide Web HTTP"},
        {110, "Post Office Protocol - Version 3", "Post Office Protocol - Version 3"},
        {139, "NETBIOS Session Service", "NETBIOS Session Service"},
        {443, "HTTP protocol over TLS/SSL", "HTTP protocol over TLS/SSL"},
        {513, "Remote Login", "maintains data bases showing who's"},
        {514, "Remote Shell", "BSD syslogd"},
        {1080, "Socks", "Socks"},
        {3389, "MS Terminal Server", "MS WBT Server"},
        {8080, "HTTP", "HTTP"},
        {12345, "Netbus (Windows Trojan)", std::nullopt},
        {31337, "BO2K", "Back Orifice(Windows Trojan)"},
        {54320, "Orifice 2000 (TCP)", std::nullopt},
        {54321, std::nullopt, "Orifice 2000 (UDP)"},  // the last UDP entry
        {65000, "distributed attack tool / Devil (Windows Trojan)", std::nullopt},
        {65301, "pcAnywhere-def", std::nullopt},  // the last TCP entry
    };
    for (const TellingRow& row : rows) {
        EXPECT_EQ(PortNameTable::tcp(row.port), row.tcp.value_or("Unknown")) << "TCP " << row.port;
        EXPECT_EQ(PortNameTable::udp(row.port), row.udp.value_or("Unknown")) << "UDP " << row.port;
    }
}

struct EdgeRow {
    const char* what;
    std::string_view (*lookup)(uint32_t);
    uint32_t port;
    std::string_view expected;
};

TEST(PortNameTable, EmptyEntriesAndPortsBeyondTheTables) {
    const EdgeRow rows[] = {
        {"listed, but its text is empty", PortNameTable::tcp, 41, "Unknown"},
        {"no entry between listed ranges", PortNameTable::tcp, 225, "Unknown"},
        {"no entry, UDP", PortNameTable::udp, 100, "Unknown"},
        {"first port beyond the TCP table", PortNameTable::tcp, 65302, "Unknown"},
        {"highest 16-bit port, TCP", PortNameTable::tcp, 65535, "Unknown"},
        {"first port beyond the UDP table", PortNameTable::udp, 54322, "Unknown"},
        {"beyond UDP, never the TCP text", PortNameTable::udp, 60000, "Unknown"},
        {"no wrap to port 80 above 16 bits, TCP", PortNameTable::tcp, 65536 + 80, "Unknown"},
        {"no wrap to port 80 above 16 bits, UDP", PortNameTable::udp, 65536 + 80, "Unknown"},
        {"largest argument, TCP", PortNameTable::tcp, UINT32_MAX, "Unknown"},
        {"largest argument, UDP", PortNameTable::udp, UINT32_MAX, "Unknown"},
    };
    for (const EdgeRow& row : rows) {
        EXPECT_EQ(row.lookup(row.port), row.expected) << row.what << " (port " << row.port << ")";
    }
}

// Well-formed UTF-8: every lead byte followed by as many continuation bytes as it says.
bool isValidUtf8(std::string_view text) {
    size_t pending = 0;  // continuation bytes still expected
    for (char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (pending > 0) {
            if ((byte & 0xC0) != 0x80)
                return false;
            --pending;
        } else if (byte >= 0xF0 && byte < 0xF8) {
            pending = 3;
        } else if (byte >= 0xE0 && byte < 0xF0) {
            pending = 2;
        } else if (byte >= 0xC2 && byte < 0xE0) {
            pending = 1;
        } else if (byte >= 0x80) {
            return false;
        }
    }
    return pending == 0;
}

TEST(PortNameTable, EveryStoredTextIsOneTidyLineStoredOnce) {
    std::set<std::string_view> seen;
    for (size_t index = 1; index <= data::kTextCount; ++index) {
        const std::string_view text = data::storedText(static_cast<uint16_t>(index));
        SCOPED_TRACE(std::string(text));
        EXPECT_TRUE(seen.insert(text).second) << "stored twice";
        // Callers may hand the text on as a C string.
        EXPECT_EQ(text.data()[text.size()], '\0');
        EXPECT_LE(text.size(), 100u);
        EXPECT_TRUE(isValidUtf8(text));
        for (char c : text) {
            EXPECT_GE(static_cast<uint8_t>(c), 0x20) << "control character";
            EXPECT_NE(c, '\x7F');
        }
        if (!text.empty()) {
            EXPECT_NE(text.front(), ' ');
            EXPECT_NE(text.back(), ' ');
        }
    }
    EXPECT_TRUE(data::storedText(0).empty());
    EXPECT_TRUE(data::storedText(static_cast<uint16_t>(data::kTextCount + 1)).empty());
    // Ports sharing a text share its storage.
    EXPECT_EQ(PortNameTable::tcp(4).data(), PortNameTable::udp(60).data());
    EXPECT_EQ(PortNameTable::tcp(80).data(), PortNameTable::udp(80).data());
}

TEST(PortNameData, IndexPagesShareTheEmptyPage) {
    // A small index: two used pages, the rest of the range on the shared empty page.
    constexpr data::PortText stored[] = {{0, 1}, {17, 2}, {31, 3}, {39, 4}};
    constexpr auto index = data::makePortIndex<40, 3>(stored);
    static_assert(index[0] == 1 && index[17] == 2 && index[31] == 3 && index[39] == 4);
    static_assert(index[1] == data::kNoEntry && index[16] == data::kNoEntry);
    static_assert(index[40] == data::kNoEntry && index[0xFFFFFFFF] == data::kNoEntry);
    static_assert(index.page.size() == 3 && index.slot.size() == 4 * data::kPagePorts);
    for (uint32_t port = 0; port < 64; ++port) {
        const bool listed = port == 0 || port == 17 || port == 31 || port == 39;
        EXPECT_EQ(index[port] != data::kNoEntry, listed) << port;
    }
}

// The committed table is what the generator makes of its inputs, byte for byte. Needs
// Python and the reference data beside the repository; skipped where either is missing.
TEST(PortNameData, GeneratorReproducesTheCommittedTable) {
    const std::filesystem::path source = VORLANX_SOURCE_DIR;
    const std::filesystem::path dataDir = source.parent_path() / "shared" / "data";
    if (!std::filesystem::exists(dataDir / "iana-service-names-port-numbers.csv") ||
        !std::filesystem::exists(dataDir / "nmap-services") ||
        std::system("python3 -c '' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 or the reference data is not available";
    }
    const std::string command = "python3 '" + (source / "tools" / "gen_port_names.py").string() +
                                "' --check --data '" + dataDir.string() + "' --output '" +
                                (source / "names" / "port_name_data.cpp").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
}  // namespace vorlanx
