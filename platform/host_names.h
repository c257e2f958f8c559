// Host names to IPv4 addresses, for the host name resolvers of the windows.
#pragma once

#include <optional>
#include <string>

namespace vorlanx {

// The first IPv4 address the system's resolver gives for `name` (a host or domain name, or
// an address text), as dotted decimal; nothing when the name cannot be resolved. Blocks
// for as long as the lookup takes: call it off the user-interface thread. Any thread.
std::optional<std::string> ResolveHostIpv4(const std::string& name);

}  // namespace vorlanx
