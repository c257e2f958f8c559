// The machine's network interfaces and their IPv4 addresses (getifaddrs).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorlanx {

// Dotted IPv4 addresses of the interfaces that are up, in getifaddrs order (an interface
// with several addresses lists each). Empty when the list cannot be read. Any thread.
std::vector<std::string> UpIpv4Addresses();

struct NetworkInterface {
    std::string name;
    int index = 0;
    bool loopback = false;
};

// The interface that is up and owns `dottedAddress` (strict dotted quad, as "10.0.0.1").
// Nothing when the text is not such an address or no interface that is up owns it. Any
// thread.
std::optional<NetworkInterface> InterfaceOwningAddress(const std::string& dottedAddress);

}  // namespace vorlanx
