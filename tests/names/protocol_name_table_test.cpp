// The protocol name table: every one of the 256 numbers, the unnamed placeholder's exact
// bytes, the empty entry 0, and lookups of the upper half as unsigned numbers.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "names/protocol_name_table.h"

namespace vorlanx {
namespace {

// The placeholder of an unnamed number: the inverted question mark (UTF-8 C2 BF) and '?'.
const std::string kUnnamed = "\xC2\xBF?";

// The named numbers of the assigned protocol list; every other number is unnamed.
const std::map<int, std::string>& namedProtocols() {
    static const std::map<int, std::string> names = {
        {0, ""},
        {1, "ICMP"},
        {2, "IGMP"},
        {3, "GGP"},
        {4, "IP"},
        {5, "ST"},
        {6, "TCP"},
        {7, "UCL"},
        {8, "EGP"},
        {9, "IGP"},
        {10, "BBN-RCC-MON"},
        {11, "NVP-II"},
        {12, "PUP"},
        {13, "ARGUS"},
        {14, "EMCON"},
        {15, "XNET"},
        {16, "CHAOS"},
        {17, "UDP"},
        {18, "MUX"},
        {19, "DCN-MEAS"},
        {20, "HMP"},
        {21, "PRM"},
        {22, "XNS-IDP"},
        {23, "TRUNK-1"},
        {24, "TRUNK-2"},
        {25, "LEAF-1"},
        {26, "LEAF-2"},
        {27, "RDP"},
        {28, "IRTP"},
        {29, "ISO-TP4"},
        {30, "NETBLT"},
        {31, "MFE-NSP"},
        {32, "MERIT-INP"},
        {33, "SEP"},
        {34, "3PC"},
        {35, "IDPR"},
        {36, "XTP"},
        {37, "DDP"},
        {38, "IDPR-CMTP"},
        {39, "TP++"},
        {40, "IL"},
        {41, "SIP"},
        {42, "SDRP"},
        {43, "SIP-SR"},
        {44, "SIP-FRAG"},
        {45, "IDRP"},
        {46, "RSVP"},
        {47, "GRE"},
        {48, "MHRP"},
        {49, "BNA"},
        {50, "SIPP-ESP"},
        {51, "SIPP-AH"},
        {52, "I-NLSP"},
        {53, "SWIPE"},
        {54, "NHRP"},
        {62, "CFTP"},
        {64, "SAT-EXPAK"},
        {65, "KRYPTOLAN"},
        {66, "RVD"},
        {67, "IPPC"},
        {69, "SAT-MON"},
        {70, "VISA"},
        {71, "IPCV"},
        {72, "CPNX"},
        {73, "CPHB"},
        {74, "WSN"},
        {75, "PVP"},
        {76, "BR-SAT-MON"},
        {77, "SUN-ND"},
        {78, "WB-MON"},
        {79, "WB-EXPAK"},
        {80, "ISO-IP"},
        {81, "VMTP"},
        {82, "SECURE-VMTP"},
        {83, "VINES"},
        {84, "TTP"},
        {85, "NSFNET-IGP"},
        {86, "DGP"},
        {87, "TCF"},
        {88, "IGRP"},
        {89, "OSPFIGP"},
        {90, "Sprite-RPC"},
        {91, "LARP"},
        {92, "MTP"},
        {93, "AX.25"},
        {94, "IPIP"},
        {95, "MICP"},
        {96, "SCC-SP"},
        {97, "ETHERIP"},
        {98, "ENCAP"},
        {100, "GMTP"},
        {255, "Reserved"},
    };
    return names;
}

// The numbers the list describes only in words: 55-61, 63, 68, 99 and 101-254.
std::set<int> unnamedNumbers() {
    std::set<int> numbers = {63, 68, 99};
    for (int n = 55; n <= 61; ++n)
        numbers.insert(n);
    for (int n = 101; n <= 254; ++n)
        numbers.insert(n);
    return numbers;
}

TEST(ProtocolNameTable, EveryNumberHasItsNameOrThePlaceholder) {
    const std::set<int> unnamed = unnamedNumbers();
    ASSERT_EQ(namedProtocols().size() + unnamed.size(), 256u);
    for (int n = 0; n < 256; ++n) {
        const std::string_view got = ProtocolNameTable::name(static_cast<uint8_t>(n));
        const auto named = namedProtocols().find(n);
        if (named != namedProtocols().end()) {
            EXPECT_EQ(got, named->second) << "protocol " << n;
        } else {
            EXPECT_TRUE(unnamed.count(n)) << "protocol " << n << " is in neither list";
            EXPECT_EQ(got, kUnnamed) << "protocol " << n;
        }
    }
}

struct EdgeRow {
    int protocol;
    const char* expected;
};

TEST(ProtocolNameTable, Edges) {
    const EdgeRow rows[] = {
        {0, ""},  // an empty Type cell, not the placeholder
        {1, "ICMP"},
        {6, "TCP"},
        {17, "UDP"},
        {54, "NHRP"},       // last of the first named run
        {55, "\xC2\xBF?"},  // first unnamed
        {61, "\xC2\xBF?"},
        {62, "CFTP"},
        {63, "\xC2\xBF?"},
        {99, "\xC2\xBF?"},
        {100, "GMTP"},
        {101, "\xC2\xBF?"},
        {127, "\xC2\xBF?"},
        {128, "\xC2\xBF?"},  // the upper half starts unsigned
        {200, "\xC2\xBF?"},
        {254, "\xC2\xBF?"},
        {255, "Reserved"},
    };
    for (const EdgeRow& row : rows) {
        EXPECT_EQ(ProtocolNameTable::name(static_cast<uint8_t>(row.protocol)), row.expected)
            << "protocol " << row.protocol;
    }
}

TEST(ProtocolNameTable, PlaceholderIsTheUtf8InvertedQuestionMark) {
    const std::string_view got = ProtocolNameTable::name(55);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(static_cast<uint8_t>(got[0]), 0xC2);
    EXPECT_EQ(static_cast<uint8_t>(got[1]), 0xBF);
    EXPECT_EQ(got[2], '?');
}

TEST(ProtocolNameTable, ByteFromASignedCharIsLookedUpUnsigned) {
    // A protocol byte that went through a signed char still names the upper-half entry.
    const char raw = static_cast<char>(0xFF);
    EXPECT_EQ(ProtocolNameTable::name(static_cast<uint8_t>(raw)), "Reserved");
    const char raw200 = static_cast<char>(200);
    EXPECT_EQ(ProtocolNameTable::name(static_cast<uint8_t>(raw200)), kUnnamed);
}

TEST(ProtocolNameTable, NamesFitTheTwelveByteField) {
    // Eleven characters plus the terminator; the longest are BBN-RCC-MON and SECURE-VMTP.
    size_t longest = 0;
    for (int n = 0; n < 256; ++n) {
        const std::string_view got = ProtocolNameTable::name(static_cast<uint8_t>(n));
        longest = std::max(longest, got.size());
        EXPECT_EQ(got.data()[got.size()], '\0') << "protocol " << n << " is not terminated";
    }
    EXPECT_EQ(longest, 11u);
    EXPECT_EQ(ProtocolNameTable::name(10).size(), 11u);
    EXPECT_EQ(ProtocolNameTable::name(82).size(), 11u);
}

}  // namespace
}  // namespace vorlanx
