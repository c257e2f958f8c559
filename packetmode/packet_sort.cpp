#include "packetmode/packet_sort.h"

#include <algorithm>
#include <string_view>
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

// The eight bytes of `text` from `from` on as one big-endian number, zero padded: two
// texts that differ there order like these numbers.
uint64_t TextHead(const std::string& text, size_t from) {
    uint64_t head = 0;
    for (size_t i = from; i < from + 8; ++i)
        head = head << 8 | (i < text.size() ? static_cast<uint8_t>(text[i]) : 0u);
    return head;
}

// The rows in the order of their keys (row i has keys[i]), rows with equal keys in their
// present order. A million rows are compared about twenty million times, so each row gets
// one machine word that decides most comparisons: the number, or for a text the eight
// bytes after the prefix every text of the column shares (time texts share the date).
// Only texts equal in those bytes are compared whole.
std::vector<int32_t> SortedRows(const std::vector<std::optional<PacketSortKey>>& keys,
                                bool ascending) {
    std::optional<std::string_view> shared;
    for (const auto& key : keys) {
        const auto* text = key ? std::get_if<std::string>(&*key) : nullptr;
        if (!text)
            continue;
        if (!shared)
            shared = *text;
        const auto differ =
            std::mismatch(shared->begin(), shared->end(), text->begin(), text->end());
        shared = shared->substr(0, static_cast<size_t>(differ.first - shared->begin()));
    }
    const size_t from = shared ? shared->size() : 0;

    struct Entry {
        uint64_t head;
        int32_t row;
        bool keyed;
    };
    std::vector<Entry> entries;
    entries.reserve(keys.size());
    for (size_t row = 0; row < keys.size(); ++row) {
        const auto& key = keys[row];
        uint64_t head = 0;
        if (key) {
            if (const auto* number = std::get_if<uint32_t>(&*key))
                head = *number;
            else
                head = TextHead(std::get<std::string>(*key), from);
        }
        entries.push_back(Entry{head, static_cast<int32_t>(row), key.has_value()});
    }
    // Keyless rows rank equal to each other and below every key.
    const auto compare = [&keys](const Entry& a, const Entry& b) {
        if (a.keyed != b.keyed)
            return a.keyed ? 1 : -1;
        if (a.head != b.head)
            return a.head < b.head ? -1 : 1;
        const auto* textA =
            a.keyed ? std::get_if<std::string>(&*keys[static_cast<size_t>(a.row)]) : nullptr;
        if (!textA)
            return 0;
        // char_traits<char> compares bytes as unsigned char; a prefix comes first.
        return textA->compare(std::get<std::string>(*keys[static_cast<size_t>(b.row)]));
    };
    // Ties fall back on the row, so the result does not depend on how the algorithm
    // treats equal elements.
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        const int order = compare(a, b);
        if (order != 0)
            return ascending ? order < 0 : order > 0;
        return a.row < b.row;
    });
    std::vector<int32_t> order;
    order.reserve(entries.size());
    for (const Entry& e : entries)
        order.push_back(e.row);
    return order;
}

}  // namespace

std::optional<PacketSortKey> PacketSortKeyOf(const PacketList& list, const PacketStore& store,
                                             int32_t row, int column) {
    const int32_t slot = list.slotOfRow(row);
    if (slot < 0 || column < 0 || column >= kPacketListColumnCount)
        return std::nullopt;
    const auto which = static_cast<PacketListColumn>(column);
    switch (which) {
        case PacketListColumn::DateTime:
            if (!store.hasRecord(slot) || !store.hasTimeText(slot))
                return std::nullopt;
            return store.timeText(slot);
        case PacketListColumn::ContainsString:
        case PacketListColumn::LacksString:
            if (!store.hasRecord(slot))
                return std::nullopt;
            return list.cellText(row, column);
        default: {
            // No record: withRecord does not run and the row stays without a key.
            std::optional<PacketSortKey> key;
            store.withRecord(slot, [&](const PacketView& p) {
                if (const auto number = NumberKey(p, which))
                    key = *number;
            });
            return key;
        }
    }
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

    const int32_t rows = context.list.rowCount();
    std::vector<std::optional<PacketSortKey>> keys;
    keys.reserve(static_cast<size_t>(rows));
    for (int32_t row = 0; row < rows; ++row)
        keys.push_back(PacketSortKeyOf(context.list, context.store, row, column));
    const bool reordered = context.list.reorderRows(SortedRows(keys, context.sortAscending));

    if (context.showBusy)
        context.showBusy(false);
    if (!reordered)
        return PacketSortOutcome::ListChanged;
    context.sortAscending = !context.sortAscending;
    return PacketSortOutcome::Sorted;
}

}  // namespace vorlanx
