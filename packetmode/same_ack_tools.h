// The TCP tools of the packet list's context menu: walking through the packets that share
// the chosen packet's acknowledgement number in sequence-number order, and deleting rows
// (one packet's, every row with the same acknowledgement number, or every row with a
// different one). Deleting removes rows only; the records stay in the PacketStore. The one
// record ever released here is a packet whose row is gone when a Goto finds it and the
// user agrees to skip it.
//
// A scan looks at every slot below `count` that holds a record of at least 40 bytes (the
// protocol byte is not looked at), listed or not: sequence number at bytes 24-27,
// acknowledgement number at 28-31.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "packetmode/packet_list.h"
#include "packetmode/packet_mode_state.h"
#include "packetmode/packet_store.h"
#include "platform/user_prompt.h"

namespace vorlanx {

enum class SameAckMove { Previous, Next, First, Last };
enum class ListDeletion { Packet, SameAck, DifferentAck };

// The packet a command works on: the slot of the row the menu was opened on, taken when the
// command is chosen, so a sort or delete that moves rows before it runs changes nothing,
// and the list's clear count then, so a slot refilled after a Clear is not mistaken for it.
struct ListCommandTarget {
    int32_t slot = -1;
    uint64_t clearCount = 0;
};
// The target for list row `row`; slot -1 for a row that does not exist. Any thread.
ListCommandTarget ListCommandTargetOf(const PacketList& list, int32_t row);

struct SameAckContext {
    PacketModeState& state;
    PacketStore& store;
    PacketList& list;
    UserPrompt& prompt;  // every box owned by the Packet Mode window
};

struct SameAckFind {
    int32_t slot = -1;
    uint32_t sequence = 0;
    bool operator==(const SameAckFind&) const = default;
};

// The scan of a Goto from a packet with `sequence` and `acknowledgement`: among the slots
// with that acknowledgement number (the packet's own included), Next takes the lowest
// sequence above `sequence`, Previous the highest below it, First the lowest and Last the
// highest. Equal sequences: the lowest slot wins, except for First (the highest). Every
// sequence number counts, 0 and 4294967295 included. Nothing when no slot qualifies.
// Any thread.
std::optional<SameAckFind> FindSameAck(const PacketStore& store, SameAckMove move,
                                       uint32_t sequence, uint32_t acknowledgement);

// A Goto command from the packet in `slot`: tells "Invalid TCP packet" when it is not a
// TCP-sized record, "Found nothing" when the scan finds no packet, and otherwise selects
// the found packet's row by setting the selection mark, calls showRow(row) (the window
// moves its view there) and, for First and Last when the selected packet already has that
// sequence, says so. A found packet whose row is gone is offered for release ("Packet
// gone"): Yes releases its record and scans again, No stops. Returns the row selected, or
// -1. User-interface thread; never takes listBusy.
int32_t GotoSameAck(SameAckMove move, int32_t slot, const SameAckContext& context,
                    const std::function<void(int32_t row)>& showRow = {});

// How long a delete looks at slots and rows in one hold of listBusy; the capture appends
// its rows between two holds. Closing the gap behind the deleted rows and unlisting their
// slots come on top, so a hold lasts up to about twice this.
inline constexpr std::chrono::milliseconds kDeletionHoldBudget{4};

struct ListDeletionResult {
    bool confirmed = false;  // the user answered Yes to the question
    uint32_t deleted = 0;    // rows deleted
    int32_t holds = 0;       // times listBusy was taken
    std::chrono::nanoseconds longestHold{0};
};

// A delete command on `target`, after its question: Packet deletes the target's row when
// it is still listed; SameAck and DifferentAck delete the row of every TCP-sized slot whose
// acknowledgement number equals (differs from) the target's, slots appended meanwhile
// included, in holds of listBusy of about `holdBudget` each, then tell "%u item(s) deleted
// from packet list.". Every deleted row's slot is marked unlisted. showSelectedPacket runs
// once the rows are deleted (on this thread). A Clear during the delete ends it. Nothing is
// told once the window closes. Worker thread; waits for listBusy, never holds it while a
// message is shown.
ListDeletionResult DeleteFromList(ListDeletion kind, ListCommandTarget target,
                                  const SameAckContext& context,
                                  const std::function<void()>& showSelectedPacket = {},
                                  std::chrono::nanoseconds holdBudget = kDeletionHoldBudget);

}  // namespace vorlanx
