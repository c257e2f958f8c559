#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/host_names.h"
#include "platform/network_interfaces.h"

namespace vorlanx {
namespace {

// The same question asked the old way (SIOCGIFCONF and SIOCGIFFLAGS), to compare with.
std::multiset<std::string> UpAddressesByIoctl() {
    std::multiset<std::string> addresses;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        return addresses;
    }
    std::vector<ifreq> requests(256);
    ifconf list{};
    list.ifc_len = static_cast<int>(requests.size() * sizeof(ifreq));
    list.ifc_req = requests.data();
    if (::ioctl(fd, SIOCGIFCONF, &list) == 0) {
        for (size_t i = 0; i < static_cast<size_t>(list.ifc_len) / sizeof(ifreq); ++i) {
            ifreq flags{};
            std::memcpy(flags.ifr_name, requests[i].ifr_name, IFNAMSIZ);
            if (::ioctl(fd, SIOCGIFFLAGS, &flags) != 0 || (flags.ifr_flags & IFF_UP) == 0) {
                continue;
            }
            sockaddr_in address{};
            std::memcpy(&address, &requests[i].ifr_addr, sizeof address);
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
            addresses.insert(text);
        }
    }
    ::close(fd);
    return addresses;
}

TEST(UpIpv4Addresses, ListsEveryAddressOfTheInterfacesThatAreUp) {
    const auto addresses = UpIpv4Addresses();
    EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
    for (const auto& a : addresses) {
        in_addr parsed{};
        EXPECT_EQ(::inet_pton(AF_INET, a.c_str(), &parsed), 1) << a;
    }
    // SIOCGIFCONF lists one address per interface label; the sets agree on machines
    // without secondary unlabelled addresses, which every address here must at least be.
    const auto byIoctl = UpAddressesByIoctl();
    for (const auto& a : byIoctl) {
        EXPECT_NE(std::find(addresses.begin(), addresses.end(), a), addresses.end()) << a;
    }
}

TEST(InterfaceOwningAddress, EveryListedAddressHasItsOwner) {
    for (const auto& address : UpIpv4Addresses()) {
        const auto owner = InterfaceOwningAddress(address);
        ASSERT_TRUE(owner.has_value()) << address;
        EXPECT_GT(owner->index, 0) << address;
        EXPECT_EQ(owner->index, static_cast<int>(if_nametoindex(owner->name.c_str()))) << address;
        EXPECT_EQ(owner->loopback, address.rfind("127.", 0) == 0) << address;
    }
    const auto loopback = InterfaceOwningAddress("127.0.0.1");
    ASSERT_TRUE(loopback.has_value());
    EXPECT_TRUE(loopback->loopback);
    EXPECT_EQ(loopback->index, static_cast<int>(if_nametoindex("lo")));
}

TEST(InterfaceOwningAddress, TextsThatAreNoOwnedDottedQuadFindNothing) {
    const auto up = UpIpv4Addresses();
    ASSERT_EQ(std::count(up.begin(), up.end(), "198.51.100.77"), 0);
    for (const char* text : {"", "198.51.100.77", "0.0.0.0", "localhost", "127.1", "127.0.0.1.1",
                             "256.0.0.1", " 127.0.0.1", "127.0.0.1 ", "127.0.0.01x", "::1"}) {
        EXPECT_FALSE(InterfaceOwningAddress(text).has_value()) << '"' << text << '"';
    }
}


// The real resolver on names every Linux machine knows from its hosts file.
TEST(HostNames, ResolveAndReverseOnThisMachine) {
    EXPECT_EQ(ResolveHostIpv4("localhost"), "127.0.0.1");
    EXPECT_EQ(ResolveHostIpv4("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(ResolveHostIpv4(""), std::nullopt);
    EXPECT_EQ(ResolveHostIpv4(std::string("127.0.0.1\0x", 11)), std::nullopt);
    const std::optional<std::string> name = ReverseResolveIpv4({127, 0, 0, 1});
    ASSERT_TRUE(name.has_value());
    EXPECT_FALSE(name->empty());
    EXPECT_EQ(ResolveHostIpv4(*name), "127.0.0.1") << *name;
}

}  // namespace
}  // namespace vorlanx
