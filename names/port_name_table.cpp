#include "names/port_name_table.h"

#include "names/port_name_data.h"

namespace vorlanx {
namespace {

constexpr std::string_view kUnknown = "Unknown";

// A port without an entry, beyond the table, or whose stored text is empty reads "Unknown".
std::string_view textOrUnknown(uint16_t index) {
    std::string_view text = port_name_data::storedText(index);
    return text.empty() ? kUnknown : text;
}

}  // namespace

namespace port_name_data {

std::string_view storedText(uint16_t index) {
    if (index == kNoEntry || index > kTextCount) {
        return {};
    }
    const TextRef& ref = kTextRefs[index];
    return {kTextChunks[ref.chunk] + ref.offset, ref.length};
}

}  // namespace port_name_data

std::string_view PortNameTable::tcp(uint32_t port) {
    return textOrUnknown(port_name_data::tcpTextIndex(port));
}

std::string_view PortNameTable::udp(uint32_t port) {
    return textOrUnknown(port_name_data::udpTextIndex(port));
}

}  // namespace vorlanx
