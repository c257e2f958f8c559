#include "packetmode/packet_sort.h"

#include <algorithm>
#include <vector>

namespace vorlanx {

namespace {

uint32_t AddressNumber(const std::array<uint8_t, 4>& address) {
    return uint32_t{address[0]} << 24 | uint32_t{address[1]} << 16 | uint32_t{address[2]} << 8 |
           uint32_t{address[3]};
}

std::optional<uint32_t> NumberKey(const PacketView& p, PacketListColumn column) {
    switch (column) {
        case PacketListColumn::Type:
            return p.protocol();
        case PacketListColumn::Size:
            return p.ipTotalLength();
        case PacketListColumn::FromIp:
            return AddressNumber(p.sourceAddress());
        case PacketListColumn::ToIp:
            return AddressNumber(p.destinationAddress());
        case PacketListColumn::FromPort:
            return p.hasPorts() ? p.sourcePort() : 0u;
        case PacketListColumn::ToPort:
            return p.hasPorts() ? p.destinationPort() : 0u;
        default:
            return std::nullopt;
    }
}

const char* const kManyRowsQuestion =
    "If the packet list contains many items, sorting the filter text columns may take a very "
    "(extremely) long time.\r\n\r\nContinue with operation?";

}  // namespace

std::optional<PacketSortKey> PacketSortKeyOf(const PacketList& list, const PacketStore& store,
                                             int32_t row, int column) {
    const int32_t slot = list.slotOfRow(row);
    if (slot < 0 || column < 0 || column >= kPacketListColumnCount || !store.hasRecord(slot))
        return std::nullopt;
    const auto which = static_cast<PacketListColumn>(column);
    switch (which) {
        case PacketListColumn::DateTime:
            if (!store.hasTimeText(slot))
                return std::nullopt;
            return store.timeText(slot);
        case PacketListColumn::ContainsString:
        case PacketListColumn::LacksString:
            return list.cellText(row, column);
        default: {
            std::optional<PacketSortKey> key;
            store.withRecord(slot, [&](const PacketView& p) {
                if (const auto number = NumberKey(p, which))
                    key = *number;
            });
            return key;
        }
    }
}

bool PacketSortKeyLess(const std::optional<PacketSortKey>& a,
                       const std::optional<PacketSortKey>& b) {
    if (!b)
        return false;
    if (!a)
        return true;
    // std::string compares through char_traits<char>, which orders bytes as unsigned char;
    // a prefix comes before the longer text.
    return *a < *b;
}

PacketSortOutcome SortPacketList(int column, const PacketSortContext& context) {
    if (column < 0 || column >= kPacketListColumnCount)
        return PacketSortOutcome::NoSuchColumn;
    if (!context.state.tryLockListForUi().owns_lock())
        return PacketSortOutcome::ListBusy;
    const bool textColumn = column == static_cast<int>(PacketListColumn::ContainsString) ||
                            column == static_cast<int>(PacketListColumn::LacksString);
    // The question is asked without listBusy, so the capture goes on while it is open.
    if (textColumn && context.list.rowCount() > kPacketSortQuestionRows &&
        context.prompt.ask(PromptRequest{"Are you sure?", kManyRowsQuestion, PromptButtons::YesNo,
                                         PromptIcon::Question, true}) != PromptAnswer::Yes)
        return PacketSortOutcome::Declined;

    const auto listLock = context.state.tryLockListForUi();
    if (!listLock.owns_lock())
        return PacketSortOutcome::ListBusy;
    if (context.showBusy)
        context.showBusy(true);

    struct Entry {
        std::optional<PacketSortKey> key;
        int32_t row;
    };
    const int32_t rows = context.list.rowCount();
    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(rows));
    for (int32_t row = 0; row < rows; ++row)
        entries.push_back(Entry{PacketSortKeyOf(context.list, context.store, row, column), row});
    // Equal keys fall back on the row, which keeps their order and makes the result the
    // same whatever the sort algorithm does with ties.
    const bool ascending = context.sortAscending;
    std::sort(entries.begin(), entries.end(), [ascending](const Entry& a, const Entry& b) {
        if (PacketSortKeyLess(a.key, b.key))
            return ascending;
        if (PacketSortKeyLess(b.key, a.key))
            return !ascending;
        return a.row < b.row;
    });
    std::vector<int32_t> order;
    order.reserve(entries.size());
    for (const Entry& e : entries)
        order.push_back(e.row);
    const bool reordered = context.list.reorderRows(order);

    if (context.showBusy)
        context.showBusy(false);
    if (!reordered)
        return PacketSortOutcome::ListChanged;
    context.sortAscending = !context.sortAscending;
    return PacketSortOutcome::Sorted;
}

}  // namespace vorlanx
