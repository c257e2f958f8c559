#include "names/protocol_name_table.h"

#include <array>

namespace vorlanx {
namespace {

// The protocol keywords of the assigned Internet protocol numbers. Numbers the list only
// describes in words stay unnamed; 0 is deliberately empty, so an IP packet with protocol 0
// shows a blank Type cell.
constexpr std::string_view kUnnamed = "\xC2\xBF?";  // "¿?" in UTF-8

struct NamedProtocol {
    uint8_t number;
    std::string_view name;
};

// clang-format off
constexpr NamedProtocol kNamed[] = {
    {0, ""}, {1, "ICMP"}, {2, "IGMP"}, {3, "GGP"}, {4, "IP"}, {5, "ST"}, {6, "TCP"}, {7, "UCL"},
    {8, "EGP"}, {9, "IGP"}, {10, "BBN-RCC-MON"}, {11, "NVP-II"}, {12, "PUP"}, {13, "ARGUS"},
    {14, "EMCON"}, {15, "XNET"}, {16, "CHAOS"}, {17, "UDP"}, {18, "MUX"}, {19, "DCN-MEAS"},
    {20, "HMP"}, {21, "PRM"}, {22, "XNS-IDP"}, {23, "TRUNK-1"}, {24, "TRUNK-2"}, {25, "LEAF-1"},
    {26, "LEAF-2"}, {27, "RDP"}, {28, "IRTP"}, {29, "ISO-TP4"}, {30, "NETBLT"}, {31, "MFE-NSP"},
    {32, "MERIT-INP"}, {33, "SEP"}, {34, "3PC"}, {35, "IDPR"}, {36, "XTP"}, {37, "DDP"},
    {38, "IDPR-CMTP"}, {39, "TP++"}, {40, "IL"}, {41, "SIP"}, {42, "SDRP"}, {43, "SIP-SR"},
    {44, "SIP-FRAG"}, {45, "IDRP"}, {46, "RSVP"}, {47, "GRE"}, {48, "MHRP"}, {49, "BNA"},
    {50, "SIPP-ESP"}, {51, "SIPP-AH"}, {52, "I-NLSP"}, {53, "SWIPE"}, {54, "NHRP"}, {62, "CFTP"},
    {64, "SAT-EXPAK"}, {65, "KRYPTOLAN"}, {66, "RVD"}, {67, "IPPC"}, {69, "SAT-MON"},
    {70, "VISA"}, {71, "IPCV"}, {72, "CPNX"}, {73, "CPHB"}, {74, "WSN"}, {75, "PVP"},
    {76, "BR-SAT-MON"}, {77, "SUN-ND"}, {78, "WB-MON"}, {79, "WB-EXPAK"}, {80, "ISO-IP"},
    {81, "VMTP"}, {82, "SECURE-VMTP"}, {83, "VINES"}, {84, "TTP"}, {85, "NSFNET-IGP"},
    {86, "DGP"}, {87, "TCF"}, {88, "IGRP"}, {89, "OSPFIGP"}, {90, "Sprite-RPC"}, {91, "LARP"},
    {92, "MTP"}, {93, "AX.25"}, {94, "IPIP"}, {95, "MICP"}, {96, "SCC-SP"}, {97, "ETHERIP"},
    {98, "ENCAP"}, {100, "GMTP"}, {255, "Reserved"},
};
// clang-format on

// Built at compile time: every entry "¿?", then the named ones over it. Read-only, so any
// thread may look up without a lock.
constexpr std::array<std::string_view, 256> kTable = [] {
    std::array<std::string_view, 256> table{};
    table.fill(kUnnamed);
    for (const NamedProtocol& entry : kNamed) {
        table[entry.number] = entry.name;
    }
    return table;
}();

}  // namespace

std::string_view ProtocolNameTable::name(uint8_t protocol) {
    return kTable[protocol];
}

}  // namespace vorlanx
