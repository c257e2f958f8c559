// Service descriptions of TCP and UDP ports, as the detail pane shows them.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorlanx {

class PortNameTable {
  public:
    // The description of a TCP / UDP port; "Unknown" for an empty entry and for a port
    // beyond the table. Array index; any thread.
    static std::string_view tcp(uint32_t port);
    static std::string_view udp(uint32_t port);
};

}  // namespace vorlanx
