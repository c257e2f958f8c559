#include "platform/network_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace vorlanx {

namespace {

// Owns the getifaddrs list.
class InterfaceAddressList {
  public:
    InterfaceAddressList() {
        if (::getifaddrs(&m_head) != 0) {
            m_head = nullptr;
        }
    }
    ~InterfaceAddressList() {
        if (m_head != nullptr) {
            ::freeifaddrs(m_head);
        }
    }
    InterfaceAddressList(const InterfaceAddressList&) = delete;
    InterfaceAddressList& operator=(const InterfaceAddressList&) = delete;

    const ifaddrs* head() const { return m_head; }

  private:
    ifaddrs* m_head = nullptr;
};

bool IsUpIpv4(const ifaddrs* entry) {
    return entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET &&
           (entry->ifa_flags & IFF_UP) != 0;
}

in_addr AddressOf(const ifaddrs* entry) {
    sockaddr_in address{};
    std::memcpy(&address, entry->ifa_addr, sizeof address);
    return address.sin_addr;
}

}  // namespace

std::vector<std::string> UpIpv4Addresses() {
    std::vector<std::string> addresses;
    InterfaceAddressList list;
    for (const ifaddrs* entry = list.head(); entry != nullptr; entry = entry->ifa_next) {
        if (!IsUpIpv4(entry)) {
            continue;
        }
        const in_addr address = AddressOf(entry);
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &address, text, sizeof text) != nullptr) {
            addresses.emplace_back(text);
        }
    }
    return addresses;
}

std::optional<NetworkInterface> InterfaceOwningAddress(const std::string& dottedAddress) {
    in_addr wanted{};
    if (::inet_pton(AF_INET, dottedAddress.c_str(), &wanted) != 1) {
        return std::nullopt;
    }
    InterfaceAddressList list;
    for (const ifaddrs* entry = list.head(); entry != nullptr; entry = entry->ifa_next) {
        if (!IsUpIpv4(entry) || AddressOf(entry).s_addr != wanted.s_addr) {
            continue;
        }
        const unsigned index = ::if_nametoindex(entry->ifa_name);
        if (index == 0) {
            continue;  // gone since the list was read
        }
        return NetworkInterface{entry->ifa_name, static_cast<int>(index),
                                (entry->ifa_flags & IFF_LOOPBACK) != 0};
    }
    return std::nullopt;
}

}  // namespace vorlanx
