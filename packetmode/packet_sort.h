// Sorting the packet list by a column, on a click on its header.
//
// Each row has one raw key per column, read from its slot (from its own cells for the two
// filter-string columns). Rows without a key (their slot holds no record, or for
// "Date / Time" no time text) rank equal to each other and below every keyed row, so the
// order stays a strict weak ordering whatever the list holds.
//
// The sort runs on the user-interface thread. It only tries listBusy and skips the click
// when a worker holds it; while it holds listBusy the capture waits, so every key is read
// once before sorting and no comparison touches the store or the list.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "packetmode/packet_list.h"
#include "packetmode/packet_mode_state.h"
#include "packetmode/packet_store.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// A number for columns 0..5, text for 6..8. Keys order as std::optional orders them:
// numbers by value, texts byte by byte as unsigned char with a prefix first, and a row
// without a key below every key.
using PacketSortKey = std::variant<uint32_t, std::string>;

// The key of list row `row` in `column`; nothing for a row without one, a row that does not
// exist or a column outside 0..8. Any thread.
std::optional<PacketSortKey> PacketSortKeyOf(const PacketList& list, const PacketStore& store,
                                             int32_t row, int column);

// Above this many rows a sort of a filter-string column asks first.
inline constexpr int32_t kPacketSortQuestionRows = 1000;

enum class PacketSortOutcome {
    Sorted,
    ListBusy,      // a worker held listBusy; the click is lost
    Declined,      // the user answered No to the question
    NoSuchColumn,  // outside 0..8
    ListChanged,   // rows were added or deleted while the keys were read; nothing moved
};

struct PacketSortContext {
    PacketModeState& state;
    const PacketStore& store;
    PacketList& list;
    UserPrompt& prompt;
    // Clear: the next sort is descending. Lives for the process; flipped by every
    // completed sort, whatever the column.
    bool& sortAscending;
    // Called with true before the rows move and with false afterwards (the wait cursor).
    std::function<void(bool busy)> showBusy;
};

// Sorts every row by `column` in one step (the view sees one reset, the selection mark
// stays on its packet); rows with equal keys keep their order. User-interface thread.
PacketSortOutcome SortPacketList(int column, const PacketSortContext& context);

}  // namespace vorlanx
