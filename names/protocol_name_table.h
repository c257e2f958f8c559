// Names of the 256 IP protocol numbers, as the Type column and the detail pane show them.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorlanx {

class ProtocolNameTable {
  public:
    // The name of a protocol number: "" for 0, "¿?" (UTF-8) for an unnamed number.
    // Array index; any thread.
    static std::string_view name(uint8_t protocol);
};

}  // namespace vorlanx
