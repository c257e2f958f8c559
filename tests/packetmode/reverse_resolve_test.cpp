// The reverse lookup of the marked packet's address: which address is asked for and what
// the user is told.
#include <gtest/gtest.h>

#include "packetmode/reverse_resolve.h"
#include "support/test_datagram.h"

namespace vorlanx {
namespace {

TEST(ReverseResolve, MessageForEachAnswer) {
    PacketStore store;
    PacketList list(store);
    const auto d = test::BuildDatagram({.protocol = 17, .source = {10, 0, 0, 1},
                                        .destination = {192, 168, 7, 2}});
    store.put(0, PacketRecord::create(d), static_cast<int32_t>(d.size()));
    store.advanceCount();
    store.advanceCount();  // slot 1 stays without a record
    list.append(0, nullptr);
    list.append(1, nullptr);

    const struct {
        int32_t mark;
        int offset;
        std::optional<std::string> name;
        std::optional<std::array<uint8_t, 4>> asked;  // nothing: no lookup
        std::optional<std::string> text;              // nothing: no message
        PromptIcon icon;
    } cases[] = {
        {-1, kSourceAddressOffset, "x", std::nullopt, std::nullopt, PromptIcon::None},
        {0, kSourceAddressOffset, "one.example", std::array<uint8_t, 4>{10, 0, 0, 1},
         "IP:                   10.0.0.1\nDomain name: one.example", PromptIcon::Information},
        {0, kDestinationAddressOffset, std::nullopt, std::array<uint8_t, 4>{192, 168, 7, 2},
         "Error looking up IP: 192.168.7.2", PromptIcon::Error},
        {1, kSourceAddressOffset, "x", std::nullopt, "Error getting selection!",
         PromptIcon::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mark);
        list.setSelectionMark(c.mark);
        std::optional<std::array<uint8_t, 4>> asked;
        const auto message = ReverseResolveMarkedPacket(
            list, store, c.offset, [&](std::array<uint8_t, 4> octets) {
                asked = octets;
                return c.name;
            });
        EXPECT_EQ(asked, c.asked);
        ASSERT_EQ(message.has_value(), c.text.has_value());
        if (!message)
            continue;
        EXPECT_EQ(message->text, *c.text);
        EXPECT_EQ(message->icon, c.icon);
        EXPECT_EQ(message->caption, "Host Info");
        EXPECT_TRUE(message->owned);
    }
}

}  // namespace
}  // namespace vorlanx
