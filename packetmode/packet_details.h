// What the detail pane shows for one packet, and which bytes a field box highlights.
//
// Pure functions over a PacketView: the window (or any thread) builds the texts here and
// sets them on its controls in one go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "capture/packet_record.h"

namespace vorlanx {

enum class PacketRendering { None, Text, Dec, Hex };

// Which rendering the radio buttons choose, tested in the order Dec, Hex, Text.
PacketRendering ChooseRendering(bool textChecked, bool decChecked, bool hexChecked);

// The texts of the detail controls, named by the labels beside them.
struct PacketDetails {
    std::string packetType;       // 1005
    std::string packetSize;       // 1008: the stored length L
    std::string fromIp;           // 1006
    std::string toIp;             // 1007
    std::string protocolNumber;   // 1013
    std::string ttl;              // 1015
    std::string ipChecksum;       // 1023
    std::string fromPort;         // 1009
    std::string toPort;           // 1010
    std::string fromPortUse;      // 1011
    std::string toPortUse;        // 1012
    std::string sequence;         // 1017
    std::string acknowledgement;  // 1022
    std::string window;           // 1016
    TcpFlags flags;               // labels 1041..1046, shown when set (TCP only)
    std::string entirePacket;     // 1020: the chosen rendering of the whole datagram
    std::string packetData;       // 1021: payload bytes, zero bytes left out
};

// Fills `out` for a displayable packet (L >= 20). Reuses out's buffers. Any thread.
void DescribePacket(const PacketView& packet, PacketRendering rendering, PacketDetails& out);

// A row whose slot holds no usable record: what the pane says and what the user is asked.
enum class InvalidRowKind { Pointer, Data };  // Pointer: L >= 20 but no record; Data: L < 20
inline constexpr const char* kInvalidRowCaption = "Delete invalid packet?";
const char* InvalidRowPaneText(InvalidRowKind kind);
const char* InvalidRowQuestion(InvalidRowKind kind);

// Characters [begin, end) of the Entire packet pane that a field box's bytes occupy.
struct TextRange {
    size_t begin = 0;
    size_t end = 0;
    bool operator==(const TextRange&) const = default;
};

// The range to select when field box `controlId` gets the focus, or nothing: Text or no
// rendering chosen, a box that highlights nothing, or a port/TCP box while "Protocol #:"
// (`protocolNumberText`, the text box 1013 shows) is not 6/17 or 6.
std::optional<TextRange> FieldHighlight(int controlId, PacketRendering rendering,
                                        std::string_view protocolNumberText);

}  // namespace vorlanx
