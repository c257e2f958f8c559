#include "packetmode/packet_list.h"

#include <algorithm>
#include <array>

#include "names/protocol_name_table.h"

namespace vorlanx {

namespace {

struct ColumnSpec {
    std::string_view title;
    int width;
};

constexpr std::array<ColumnSpec, kPacketListColumnCount> kColumns{{
    {"Type", 40},
    {"Size", 40},
    {"From IP", 100},
    {"To IP", 100},
    {"From Port", 60},
    {"To Port", 60},
    {"Date / Time", 170},
    {"Contains string", 100},
    {"Lacks string", 100},
}};

}  // namespace

PacketList::PacketList(const PacketStore& store, int32_t capacity)
    : m_store(store), m_capacity(std::max<int32_t>(capacity, 0)) {
    // The rows of a full list exist at once; reserving avoids copying a million rows
    // while the capture thread waits.
    m_rows.reserve(static_cast<size_t>(std::min<int32_t>(m_capacity, PacketStore::kCapacity)));
}

std::string_view PacketList::columnTitle(int column) {
    if (column < 0 || column >= kPacketListColumnCount)
        return {};
    return kColumns[static_cast<size_t>(column)].title;
}

int PacketList::columnWidth(int column) {
    if (column < 0 || column >= kPacketListColumnCount)
        return 0;
    return kColumns[static_cast<size_t>(column)].width;
}

int32_t PacketList::append(int32_t slot, std::shared_ptr<const FilterColumnTexts> stringColumns) {
    if (slot < 0)
        return -1;
    std::lock_guard lock(m_mutex);
    if (static_cast<int64_t>(m_rows.size()) >= m_capacity)
        return -1;
    uint32_t id = 0;
    if (stringColumns) {
        // Rows captured with the same strings share one entry.
        if (m_stringColumns.empty() || m_stringColumns.back() != stringColumns)
            m_stringColumns.push_back(std::move(stringColumns));
        id = static_cast<uint32_t>(m_stringColumns.size());
    }
    m_rows.push_back(Row{static_cast<uint32_t>(slot), id});
    return static_cast<int32_t>(m_rows.size() - 1);
}

int32_t PacketList::rowCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int32_t>(m_rows.size());
}

int32_t PacketList::slotOfRow(int32_t row) const {
    std::lock_guard lock(m_mutex);
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return -1;
    return static_cast<int32_t>(m_rows[static_cast<size_t>(row)].slot);
}

int32_t PacketList::rowOfSlot(int32_t slot) const {
    if (slot < 0)
        return -1;
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_rows.begin(), m_rows.end(), [slot](const Row& r) {
        return r.slot == static_cast<uint32_t>(slot);
    });
    return it == m_rows.end() ? -1 : static_cast<int32_t>(it - m_rows.begin());
}

bool PacketList::deleteRow(int32_t row) {
    std::lock_guard lock(m_mutex);
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return false;
    m_rows.erase(m_rows.begin() + row);
    ++m_layoutCount;
    if (m_selectionMark == row) {
        m_selectionMark = -1;
        ++m_selectionSerial;  // the marked packet is gone
    } else if (m_selectionMark > row)
        --m_selectionMark;
    journalRemovalLocked(row);
    if (m_rows.empty())
        m_stringColumns.clear();
    return true;
}

void PacketList::deleteAllRows() {
    std::lock_guard lock(m_mutex);
    m_rows.clear();
    m_stringColumns.clear();
    ++m_layoutCount;
    ++m_clearCount;
    if (m_selectionMark >= 0) {
        m_selectionMark = -1;
        ++m_selectionSerial;  // the marked packet is gone
    }
    journalResetLocked();
}

bool PacketList::reorderRows(const std::vector<int32_t>& order) {
    std::lock_guard lock(m_mutex);
    if (order.size() != m_rows.size())
        return false;
    std::vector<Row> rows;
    rows.reserve(m_rows.size());
    std::vector<bool> taken(m_rows.size(), false);
    int32_t mark = -1;
    for (const int32_t from : order) {
        if (from < 0 || static_cast<size_t>(from) >= m_rows.size() ||
            taken[static_cast<size_t>(from)])
            return false;
        taken[static_cast<size_t>(from)] = true;
        if (from == m_selectionMark)
            mark = static_cast<int32_t>(rows.size());
        rows.push_back(m_rows[static_cast<size_t>(from)]);
    }
    // Copied back rather than moved in, so the rows keep the capacity reserved for a full
    // list and the next append does not copy them all.
    std::copy(rows.begin(), rows.end(), m_rows.begin());
    ++m_layoutCount;
    m_selectionMark = mark;
    journalResetLocked();
    return true;
}

bool PacketList::deleteRowsOfSlots(std::span<const uint8_t> doomed, RowSweep& sweep,
                                   std::chrono::steady_clock::time_point deadline,
                                   std::vector<int32_t>& removedSlots) {
    std::lock_guard lock(m_mutex);
    if (sweep.layout != m_layoutCount) {
        // Rows moved since the last call: the rows before nextRow are not the ones looked at.
        sweep.nextRow = 0;
        sweep.layout = m_layoutCount;
    }
    // Kept rows move down over the deleted ones as the sweep goes: [0, write) is done,
    // [read, end) not looked at yet.
    const size_t end = m_rows.size();
    const size_t from = std::min(static_cast<size_t>(std::max(sweep.nextRow, 0)), end);
    size_t read = from;
    size_t write = from;
    const int32_t mark = m_selectionMark;
    int32_t newMark = mark;
    while (read < end) {
        const size_t chunkEnd = std::min(end, read + static_cast<size_t>(kSweepChunkRows));
        for (; read < chunkEnd; ++read) {
            const Row row = m_rows[read];
            const bool doomedRow = row.slot < doomed.size() && doomed[row.slot] != 0;
            if (static_cast<int32_t>(read) == mark)
                newMark = doomedRow ? -1 : static_cast<int32_t>(write);
            if (doomedRow) {
                removedSlots.push_back(static_cast<int32_t>(row.slot));
                // Deleted one by one, this row would be row `write` by now.
                journalRemovalLocked(static_cast<int32_t>(write));
            } else {
                m_rows[write++] = row;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
    }
    const auto removed = static_cast<int32_t>(read - write);
    if (removed > 0) {
        m_rows.erase(m_rows.begin() + static_cast<ptrdiff_t>(write),
                     m_rows.begin() + static_cast<ptrdiff_t>(read));
        ++m_layoutCount;
        if (mark >= static_cast<int32_t>(read))
            newMark = mark - removed;
        if (newMark < 0 && mark >= 0)
            ++m_selectionSerial;  // the marked packet is gone
        m_selectionMark = newMark;
        if (m_rows.empty())
            m_stringColumns.clear();
    }
    sweep.nextRow = static_cast<int32_t>(write);
    sweep.layout = m_layoutCount;
    return read == end;
}

uint64_t PacketList::clearCount() const {
    std::lock_guard lock(m_mutex);
    return m_clearCount;
}

std::string PacketList::cellText(int32_t row, int column) const {
    RowRef ref;
    {
        std::lock_guard lock(m_mutex);
        if (!rowRefLocked(row, ref))
            return {};
    }
    return cellTextOf(ref, column);
}

bool PacketList::rowRefLocked(int32_t row, RowRef& ref) const {
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return false;
    const Row& r = m_rows[static_cast<size_t>(row)];
    ref.slot = static_cast<int32_t>(r.slot);
    ref.stringColumns = r.stringColumnsId != 0 ? m_stringColumns[r.stringColumnsId - 1] : nullptr;
    return true;
}

std::string PacketList::cellTextOf(const RowRef& ref, int column) const {
    const int32_t slot = ref.slot;
    std::string text;
    switch (static_cast<PacketListColumn>(column)) {
        case PacketListColumn::Type:
            m_store.withRecord(
                slot, [&](const PacketView& p) { text = ProtocolNameTable::name(p.protocol()); });
            break;
        case PacketListColumn::Size:
            m_store.withRecord(slot, [&](const PacketView& p) {
                text = std::to_string(static_cast<long>(p.length()));
            });
            break;
        case PacketListColumn::FromIp:
            m_store.withRecord(slot,
                               [&](const PacketView& p) { text = AddressText(p.sourceAddress()); });
            break;
        case PacketListColumn::ToIp:
            m_store.withRecord(
                slot, [&](const PacketView& p) { text = AddressText(p.destinationAddress()); });
            break;
        case PacketListColumn::FromPort:
            m_store.withRecord(slot, [&](const PacketView& p) {
                if (p.hasPorts())
                    text = PortText(p.sourcePort());
            });
            break;
        case PacketListColumn::ToPort:
            m_store.withRecord(slot, [&](const PacketView& p) {
                if (p.hasPorts())
                    text = PortText(p.destinationPort());
            });
            break;
        case PacketListColumn::DateTime:
            text = m_store.timeText(slot);
            break;
        case PacketListColumn::ContainsString:
            if (ref.stringColumns)
                text = ref.stringColumns->contains;
            break;
        case PacketListColumn::LacksString:
            if (ref.stringColumns)
                text = ref.stringColumns->lacks;
            break;
    }
    return text;
}

void PacketList::setSelectionMark(int32_t row) {
    std::lock_guard lock(m_mutex);
    m_selectionMark = (row >= 0 && static_cast<size_t>(row) < m_rows.size()) ? row : -1;
    ++m_selectionSerial;
}

int32_t PacketList::selectionMark() const {
    std::lock_guard lock(m_mutex);
    return m_selectionMark;
}

uint64_t PacketList::selectionMarkSerial() const {
    std::lock_guard lock(m_mutex);
    return m_selectionSerial;
}

// ---- View side ----

void PacketList::journalRemovalLocked(int32_t row) {
    if (row >= m_projectedCount)
        return;  // appended since the last publish: never shown
    if (m_journal.size() >= kMaxPendingRemovals) {
        journalResetLocked();
        return;
    }
    m_journal.push_back(PacketListChange{PacketListChange::Kind::Removed, row, 1});
    --m_projectedCount;
}

void PacketList::journalResetLocked() {
    // A reset makes every earlier change moot.
    m_journal.clear();
    if (m_publishedCount > 0)
        m_journal.push_back(PacketListChange{PacketListChange::Kind::Reset, 0, m_publishedCount});
    m_projectedCount = 0;
}

int32_t PacketList::publishedRowCount() const {
    std::lock_guard lock(m_mutex);
    return m_publishedCount;
}

std::optional<PacketListChange> PacketList::nextChange() const {
    std::lock_guard lock(m_mutex);
    if (!m_journal.empty())
        return m_journal.front();
    const auto rows = static_cast<int32_t>(m_rows.size());
    if (rows > m_publishedCount)
        return PacketListChange{PacketListChange::Kind::Appended, m_publishedCount,
                                rows - m_publishedCount};
    return std::nullopt;
}

void PacketList::acknowledge(const PacketListChange& change) {
    std::lock_guard lock(m_mutex);
    if (!m_journal.empty()) {
        if (!(m_journal.front() == change))
            return;  // not the change the view was given
        m_journal.erase(m_journal.begin());
        if (change.kind == PacketListChange::Kind::Reset)
            m_publishedCount = 0;
        else
            --m_publishedCount;
        return;
    }
    if (change.kind != PacketListChange::Kind::Appended || change.first != m_publishedCount ||
        change.count <= 0 || m_publishedCount + change.count > static_cast<int32_t>(m_rows.size()))
        return;
    m_publishedCount += change.count;
    m_projectedCount = m_publishedCount;
}

int32_t PacketList::actualRowLocked(int32_t publishedRow) const {
    if (publishedRow < 0 || publishedRow >= m_publishedCount)
        return -1;
    int32_t row = publishedRow;
    for (const PacketListChange& c : m_journal) {
        if (c.kind == PacketListChange::Kind::Reset)
            return -1;
        if (row == c.first)
            return -1;
        if (row > c.first)
            --row;
    }
    return row;
}

int32_t PacketList::actualRow(int32_t publishedRow) const {
    std::lock_guard lock(m_mutex);
    return actualRowLocked(publishedRow);
}

int32_t PacketList::publishedRow(int32_t actualRow) const {
    std::lock_guard lock(m_mutex);
    if (actualRow < 0 || actualRow >= m_projectedCount)
        return -1;
    int32_t row = actualRow;
    for (auto it = m_journal.rbegin(); it != m_journal.rend(); ++it) {
        if (it->kind == PacketListChange::Kind::Reset)
            return -1;
        if (row >= it->first)
            ++row;
    }
    return row < m_publishedCount ? row : -1;
}

std::string PacketList::publishedCellText(int32_t publishedRow, int column) const {
    RowRef ref;
    {
        std::lock_guard lock(m_mutex);
        if (!rowRefLocked(actualRowLocked(publishedRow), ref))
            return {};
    }
    return cellTextOf(ref, column);
}

}  // namespace vorlanx
