#include "platform/host_names.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace vorlanx {

std::optional<std::string> ResolveHostIpv4(const std::string& name) {
    // An empty name would make getaddrinfo fail anyway; a name with a zero byte in it
    // would be cut short and resolve as something else.
    if (name.empty() || name.find('\0') != std::string::npos)
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &results) != 0 || results == nullptr)
        return std::nullopt;
    std::optional<std::string> dotted;
    for (const addrinfo* r = results; r != nullptr && !dotted; r = r->ai_next) {
        if (r->ai_family != AF_INET || r->ai_addrlen < sizeof(sockaddr_in))
            continue;
        sockaddr_in address{};
        std::memcpy(&address, r->ai_addr, sizeof address);
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) != nullptr)
            dotted = std::string(text);
    }
    freeaddrinfo(results);
    return dotted;
}

std::optional<std::string> ReverseResolveIpv4(std::array<uint8_t, 4> octets) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    std::memcpy(&address.sin_addr, octets.data(), octets.size());
    char name[NI_MAXHOST] = {};
    // NI_NAMEREQD: an address without a name is a failed lookup, not its own dotted text.
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, name,
                    sizeof name, nullptr, 0, NI_NAMEREQD) != 0)
        return std::nullopt;
    return std::string(name);
}

}  // namespace vorlanx
