#include "packetmode/reverse_resolve.h"

namespace vorlanx {

namespace {

constexpr const char* kHostInfoCaption = "Host Info";

PromptRequest HostInfo(std::string text, PromptIcon icon) {
    PromptRequest request;
    request.caption = kHostInfoCaption;
    request.text = std::move(text);
    request.icon = icon;
    request.owned = true;
    return request;
}

}  // namespace

std::optional<PromptRequest> ReverseResolveMarkedPacket(const PacketList& list,
                                                        const PacketStore& store,
                                                        int addressOffset,
                                                        const ReverseLookup& lookup) {
    const int32_t row = list.selectionMark();
    if (row < 0)
        return std::nullopt;
    // A row that went away since the mark was read has no slot (-1), like any index
    // outside the store.
    const int32_t slot = list.slotOfRow(row);
    std::array<uint8_t, 4> octets{};
    const bool held = store.length(slot) != 0 && store.withRecord(slot, [&](const PacketView& p) {
        octets = addressOffset == kSourceAddressOffset ? p.sourceAddress()
                                                       : p.destinationAddress();
    });
    if (!held)
        return HostInfo("Error getting selection!", PromptIcon::None);

    const std::string dotted = AddressText(octets);
    std::optional<std::string> name;
    if (lookup)
        name = lookup(octets);
    if (!name)
        return HostInfo("Error looking up IP: " + dotted, PromptIcon::Error);
    return HostInfo("IP:                   " + dotted + "\nDomain name: " + *name,
                    PromptIcon::Information);
}

}  // namespace vorlanx
