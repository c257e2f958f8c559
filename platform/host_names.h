// Host names to IPv4 addresses and back, for the host name resolvers and the reverse
// lookups of the windows.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vorlanx {

// The first IPv4 address the system's resolver gives for `name` (a host or domain name, or
// an address text), as dotted decimal; nothing when the name cannot be resolved. Blocks
// for as long as the lookup takes: call it off the user-interface thread. Any thread.
std::optional<std::string> ResolveHostIpv4(const std::string& name);

// The host name the system's resolver gives for the IPv4 address `octets` (first octet
// first); nothing when the address has no name. Blocks like ResolveHostIpv4. Any thread.
std::optional<std::string> ReverseResolveIpv4(std::array<uint8_t, 4> octets);

// The two lookups as a window uses them; tests put answers of their own in.
struct HostNameLookup {
    std::function<std::optional<std::string>(const std::string& name)> resolve = ResolveHostIpv4;
    std::function<std::optional<std::string>(std::array<uint8_t, 4> octets)> reverse =
        ReverseResolveIpv4;
};

}  // namespace vorlanx
