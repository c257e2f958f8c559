// The protocol name table: every one of the 256 numbers, the unnamed placeholder's exact
// bytes, the empty entry 0, and the terminated texts the twelve-byte field takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "names/protocol_name_table.h"

namespace vorlanx {
namespace {

// The names of numbers 0-100 in the assigned protocol list; nullptr where the list only
// describes the number in words (55-61, 63, 68 and 99). 101-254 are all unnamed, 255 is
// "Reserved".
// clang-format off
const char* const kNamed[] = {
    /*   0 */ "", "ICMP", "IGMP", "GGP", "IP",
    /*   5 */ "ST", "TCP", "UCL", "EGP", "IGP",
    /*  10 */ "BBN-RCC-MON", "NVP-II", "PUP", "ARGUS", "EMCON",
    /*  15 */ "XNET", "CHAOS", "UDP", "MUX", "DCN-MEAS",
    /*  20 */ "HMP", "PRM", "XNS-IDP", "TRUNK-1", "TRUNK-2",
    /*  25 */ "LEAF-1", "LEAF-2", "RDP", "IRTP", "ISO-TP4",
    /*  30 */ "NETBLT", "MFE-NSP", "MERIT-INP", "SEP", "3PC",
    /*  35 */ "IDPR", "XTP", "DDP", "IDPR-CMTP", "TP++",
    /*  40 */ "IL", "SIP", "SDRP", "SIP-SR", "SIP-FRAG",
    /*  45 */ "IDRP", "RSVP", "GRE", "MHRP", "BNA",
    /*  50 */ "SIPP-ESP", "SIPP-AH", "I-NLSP", "SWIPE", "NHRP",
    /*  55 */ nullptr, nullptr, nullptr, nullptr, nullptr,
    /*  60 */ nullptr, nullptr, "CFTP", nullptr, "SAT-EXPAK",
    /*  65 */ "KRYPTOLAN", "RVD", "IPPC", nullptr, "SAT-MON",
    /*  70 */ "VISA", "IPCV", "CPNX", "CPHB", "WSN",
    /*  75 */ "PVP", "BR-SAT-MON", "SUN-ND", "WB-MON", "WB-EXPAK",
    /*  80 */ "ISO-IP", "VMTP", "SECURE-VMTP", "VINES", "TTP",
    /*  85 */ "NSFNET-IGP", "DGP", "TCF", "IGRP", "OSPFIGP",
    /*  90 */ "Sprite-RPC", "LARP", "MTP", "AX.25", "IPIP",
    /*  95 */ "MICP", "SCC-SP", "ETHERIP", "ENCAP", nullptr,
    /* 100 */ "GMTP"};
// clang-format on
static_assert(std::size(kNamed) == 101);

// The placeholder of an unnamed number: the inverted question mark (UTF-8 C2 BF) and '?'.
constexpr std::string_view kUnnamed = "\xC2\xBF?";

TEST(ProtocolNameTable, EveryNumberHasItsNameOrThePlaceholder) {
    size_t longest = 0;
    for (int n = 0; n < 256; ++n) {
        SCOPED_TRACE("protocol " + std::to_string(n));
        const std::string_view got = ProtocolNameTable::name(static_cast<uint8_t>(n));
        const char* named = n < 101 ? kNamed[n] : n == 255 ? "Reserved" : nullptr;
        EXPECT_EQ(got, named ? std::string_view(named) : kUnnamed);
        // Handed on as a C string into a field of eleven characters and a terminator.
        EXPECT_EQ(got.data()[got.size()], '\0');
        longest = std::max(longest, got.size());
    }
    EXPECT_EQ(longest, 11u);  // BBN-RCC-MON and SECURE-VMTP
}

}  // namespace
}  // namespace vorlanx
