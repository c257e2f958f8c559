#include "packetmode/same_ack_tools.h"

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace vorlanx {

namespace {

constexpr std::chrono::milliseconds kPauseBetweenHolds{1};

PromptRequest Message(std::string caption, std::string text, PromptIcon icon,
                      PromptButtons buttons = PromptButtons::Ok) {
    return PromptRequest{std::move(caption), std::move(text), buttons, icon, true};
}

PromptAnswer Ask(const SameAckContext& context, std::string caption, std::string text) {
    return context.prompt.ask(
        Message(std::move(caption), std::move(text), PromptIcon::Question, PromptButtons::YesNo));
}

void TellInvalidPacket(const SameAckContext& context) {
    context.prompt.ask(Message("Invalid TCP packet",
                               "The selected packet does not seem to be a valid TCP packet, the "
                               "operation will not continue.",
                               PromptIcon::Error));
}

// The sequence and acknowledgement numbers of a TCP-sized record in `slot`; nothing for a
// shorter or missing one.
struct SequenceAndAck {
    uint32_t sequence = 0;
    uint32_t acknowledgement = 0;
};
std::optional<SequenceAndAck> TcpNumbers(const PacketStore& store, int32_t slot) {
    std::optional<SequenceAndAck> numbers;
    store.withRecord(slot, [&](const PacketView& p) {
        if (p.isTcpSized())
            numbers = SequenceAndAck{p.sequence(), p.acknowledgement()};
    });
    return numbers;
}

const char* NothingFoundText(SameAckMove move) {
    switch (move) {
        case SameAckMove::Next:
            return "No higher sequenced packet found.";
        case SameAckMove::Previous:
            return "No previous sequenced packet found.";
        default:
            return "No packets with same ACK found.";
    }
}

const char* PacketGoneText(SameAckMove move) {
    switch (move) {
        case SameAckMove::Next:
            return "The next sequenced packet was found, but it must have been deleted from the "
                   "list.\r\n\r\nWould you like to attempt to find the next sequenced packet?";
        case SameAckMove::Previous:
            return "The previous sequenced packet was found, but it must have been deleted from "
                   "the list.\r\n\r\nWould you like to attempt to find the previous sequenced "
                   "packet?";
        case SameAckMove::First:
            return "The first sequenced packet was found, but is no longer in the list.\r\n\r\n"
                   "Would you like to find the next lowest sequenced packet?";
        case SameAckMove::Last:
            return "The last sequenced packet was found, but is no longer in the list.\r\n\r\n"
                   "Would you like to find the next highest sequenced packet?";
    }
    return "";
}

// Decides for slots [doomed.size(), count) whether their rows go, until `deadline` (a chunk
// at the least). True when every slot below `count` is decided.
bool DecideSlots(const PacketStore& store, ListDeletion kind, uint32_t acknowledgement,
                 int32_t count, std::chrono::steady_clock::time_point deadline,
                 std::vector<uint8_t>& doomed) {
    const auto total = static_cast<size_t>(std::max(count, 0));
    while (doomed.size() < total) {
        const size_t chunkEnd =
            std::min(total, doomed.size() + static_cast<size_t>(PacketList::kSweepChunkRows));
        for (auto slot = static_cast<int32_t>(doomed.size()); slot < static_cast<int32_t>(chunkEnd);
             ++slot) {
            bool goes = false;
            store.withRecord(slot, [&](const PacketView& p) {
                goes = p.isTcpSized() &&
                       (p.acknowledgement() == acknowledgement) == (kind == ListDeletion::SameAck);
            });
            doomed.push_back(goes ? 1 : 0);
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
    }
    return doomed.size() == total;
}

}  // namespace

ListCommandTarget ListCommandTargetOf(const PacketList& list, int32_t row) {
    // The clear count first: a clear between the two reads leaves slot -1 or a count that
    // no longer matches, never an old count with a new slot.
    const uint64_t clears = list.clearCount();
    return ListCommandTarget{list.slotOfRow(row), clears};
}

std::optional<SameAckFind> FindSameAck(const PacketStore& store, SameAckMove move,
                                       uint32_t sequence, uint32_t acknowledgement) {
    std::optional<SameAckFind> best;
    // `count` is read afresh for every slot: packets captured meanwhile take part.
    for (int32_t slot = 0; slot < store.count(); ++slot) {
        store.withRecord(slot, [&](const PacketView& p) {
            if (!p.isTcpSized() || p.acknowledgement() != acknowledgement)
                return;
            const uint32_t s = p.sequence();
            bool better = false;
            switch (move) {
                case SameAckMove::Next:
                    better = sequence < s && (!best || s < best->sequence);
                    break;
                case SameAckMove::Previous:
                    better = s < sequence && (!best || s > best->sequence);
                    break;
                case SameAckMove::First:
                    better = !best || s <= best->sequence;
                    break;
                case SameAckMove::Last:
                    better = !best || s > best->sequence;
                    break;
            }
            if (better)
                best = SameAckFind{slot, s};
        });
    }
    return best;
}

int32_t GotoSameAck(SameAckMove move, int32_t slot, const SameAckContext& context,
                    const std::function<void(int32_t row)>& showRow) {
    const std::optional<SequenceAndAck> selected = TcpNumbers(context.store, slot);
    if (!selected) {
        TellInvalidPacket(context);
        return -1;
    }
    for (;;) {
        const std::optional<SameAckFind> found =
            FindSameAck(context.store, move, selected->sequence, selected->acknowledgement);
        if (!found) {
            context.prompt.ask(
                Message("Found nothing", NothingFoundText(move), PromptIcon::Information));
            return -1;
        }
        const int32_t row = context.list.rowOfSlot(found->slot);
        if (row >= 0) {
            context.list.setSelectionMark(row);
            if (showRow)
                showRow(row);
            if ((move == SameAckMove::First || move == SameAckMove::Last) &&
                found->sequence == selected->sequence)
                context.prompt.ask(Message("First sequence",
                                           move == SameAckMove::First
                                               ? "The currently selected packet has the first "
                                                 "sequence."
                                               : "The currently selected packet has the last "
                                                 "sequence.",
                                           PromptIcon::Information));
            return row;
        }
        if (Ask(context, "Packet gone", PacketGoneText(move)) != PromptAnswer::Yes)
            return -1;
        // Gone for good: no longer a candidate, nor saved or logged. The store releases it
        // under its own lock, so no reader of the slot sees it half released.
        context.store.release(found->slot);
    }
}

ListDeletionResult DeleteFromList(ListDeletion kind, ListCommandTarget target,
                                  const SameAckContext& context,
                                  const std::function<void()>& showSelectedPacket,
                                  std::chrono::nanoseconds holdBudget) {
    ListDeletionResult result;
    const PromptAnswer answer =
        kind == ListDeletion::Packet
            ? Ask(context, "Delete from list?",
                  "Are you sure you wish to delete the selected packet from the list?")
        : kind == ListDeletion::SameAck
            ? Ask(context, "Are you sure?",
                  "Are you sure you want to delete all packets with the same ACK from the packet "
                  "list?")
            : Ask(context, "Are you sure?",
                  "Are you sure you want to delete all packets with a different ACK from the "
                  "packet list?\r\n\r\nNote, this operation may take a very long time depending "
                  "on the length of the packet list. If the packet list has multiply thousands "
                  "of items, it is recommended that you minimize the program while it is "
                  "deleting items as this will speed up the process.\r\n\r\nContinue with "
                  "operation?");
    if (answer != PromptAnswer::Yes)
        return result;
    result.confirmed = true;

    if (kind == ListDeletion::Packet) {
        {
            auto listLock = context.state.lockListForWorker();
            ++result.holds;
            // A packet no longer listed (deleted, or cleared away) leaves nothing to delete.
            const int32_t row = context.list.clearCount() == target.clearCount
                                    ? context.list.rowOfSlot(target.slot)
                                    : -1;
            if (row >= 0 && context.list.deleteRow(row)) {
                context.store.setListed(target.slot, false);
                result.deleted = 1;
            }
        }
        if (showSelectedPacket)
            showSelectedPacket();
        return result;
    }

    const std::optional<SequenceAndAck> selected = context.list.clearCount() == target.clearCount
                                                       ? TcpNumbers(context.store, target.slot)
                                                       : std::nullopt;
    if (!selected) {
        TellInvalidPacket(context);
        return result;
    }

    // Each slot is decided once, under listBusy: nothing but a clear changes a listed slot,
    // and a clear ends the delete. Rows are then swept in order; a hold ends at its budget
    // and the next one goes on where it stopped.
    std::vector<uint8_t> doomed;
    doomed.reserve(static_cast<size_t>(context.store.count()));
    std::vector<int32_t> removed;
    removed.reserve(static_cast<size_t>(context.list.rowCount()));  // not grown under listBusy
    PacketList::RowSweep sweep;
    bool done = false;
    while (!done && !context.state.exitRequested.load()) {
        if (result.holds > 0)
            // A waiter woken by the unlock would rarely get the lock before this loop takes it
            // again; the pause lets the capture file its packets.
            std::this_thread::sleep_for(kPauseBetweenHolds);
        auto listLock = context.state.lockListForWorker();
        const auto start = std::chrono::steady_clock::now();
        const auto deadline = start + holdBudget;
        if (context.list.clearCount() != target.clearCount)
            break;  // a clear took every row
        if (DecideSlots(context.store, kind, selected->acknowledgement, context.store.count(),
                        deadline, doomed)) {
            removed.clear();
            done = context.list.deleteRowsOfSlots(doomed, sweep, deadline, removed);
            context.store.setListed(removed, false);
            result.deleted += static_cast<uint32_t>(removed.size());
        }
        ++result.holds;
        result.longestHold = std::max<std::chrono::nanoseconds>(
            result.longestHold, std::chrono::steady_clock::now() - start);
    }
    if (context.state.exitRequested.load())
        return result;
    if (showSelectedPacket)
        showSelectedPacket();
    context.prompt.ask(Message(
        "Deleted items", std::to_string(result.deleted) + " item(s) deleted from packet list.",
        PromptIcon::Information));
    return result;
}

}  // namespace vorlanx
