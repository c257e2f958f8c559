// Reverse lookup of the marked packet's source or destination address, from the packet
// list's context menu: the lookup and the "Host Info" message that reports it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "packetmode/packet_list.h"
#include "packetmode/packet_store.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// Where the two addresses lie in the IP header.
inline constexpr int kSourceAddressOffset = 12;
inline constexpr int kDestinationAddressOffset = 16;

// The host name of an address (first octet first); nothing when it has none.
using ReverseLookup = std::function<std::optional<std::string>(std::array<uint8_t, 4> octets)>;

// Looks up the address at `addressOffset` (12 or 16) of the packet carrying the list's
// selection mark and returns the message that reports the answer, owned by the Packet
// Mode window: the name, "Error looking up IP: a.b.c.d", or "Error getting selection!" when
// the marked row's slot holds no packet. Nothing when there is no mark. Blocks for as long
// as the lookup takes: a worker thread calls it.
std::optional<PromptRequest> ReverseResolveMarkedPacket(const PacketList& list,
                                                        const PacketStore& store,
                                                        int addressOffset,
                                                        const ReverseLookup& lookup);

}  // namespace vorlanx
