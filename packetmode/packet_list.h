// The packet list: one row per listed packet, as the Packet Mode window shows it.
//
// A row is its slot index in the PacketStore plus a reference to the filter-string
// column texts (shared by every row captured with the same strings), 8 bytes per row.
// Cell texts are made from the slot when asked for; the Date / Time text is the one kept
// in the store.
//
// Two sides use the list:
// - Workers and the user-interface thread change and read the rows ("actual" rows): the
//   capture thread appends, the clear and the TCP tools delete, the sort reorders.
// - The view (a Qt model on the user-interface thread) shows "published" rows and catches
//   up in batches: nextChange() names the oldest change it has not applied (a reset, the
//   removal of one of its rows, or the rows appended since), the view announces it,
//   calls acknowledge() and finishes the announcement. Appends never wait for the view;
//   a burst of appended rows reaches the view as one change.
// Every function is thread-safe; the view-side ones are meant for one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "packetmode/packet_filter_set.h"
#include "packetmode/packet_store.h"

namespace vorlanx {

// The nine columns, in the order the window creates them.
enum class PacketListColumn : int {
    Type = 0,
    Size = 1,
    FromIp = 2,
    ToIp = 3,
    FromPort = 4,
    ToPort = 5,
    DateTime = 6,
    ContainsString = 7,
    LacksString = 8,
};
inline constexpr int kPacketListColumnCount = 9;

// A change the view has not applied yet.
struct PacketListChange {
    enum class Kind {
        Reset,     // every published row is gone
        Removed,   // published row `first` is gone; rows below it move up by one
        Appended,  // `count` rows were appended at published row `first` (the end)
    };
    Kind kind = Kind::Reset;
    int32_t first = 0;
    int32_t count = 0;
    bool operator==(const PacketListChange&) const = default;
};

class PacketList {
  public:
    // The list refuses rows beyond `capacity`.
    explicit PacketList(const PacketStore& store, int32_t capacity = PacketStore::kCapacity);

    // Column title and initial width in pixels; "" and 0 outside 0..8.
    static std::string_view columnTitle(int column);
    static int columnWidth(int column);

    // ---- Rows (any thread) ----

    // Appends a row for `slot` at the end and returns its row index, or -1 when the list
    // is full. `stringColumns` is null when the string stage did not run for the packet.
    int32_t append(int32_t slot, std::shared_ptr<const FilterColumnTexts> stringColumns);
    int32_t rowCount() const;
    // The slot index a row carries as its item data; -1 for a row that does not exist.
    int32_t slotOfRow(int32_t row) const;
    // The row carrying `slot`; -1 when none does (its row was deleted).
    int32_t rowOfSlot(int32_t slot) const;
    // Deletes one row; false when it does not exist.
    bool deleteRow(int32_t row);
    // Deletes every row.
    void deleteAllRows();
    // Puts the rows in a new order in one step: row i becomes the row that was `order[i]`.
    // The selection mark stays on its packet; the view sees a reset. False, and nothing
    // changes, unless `order` names every current row exactly once.
    bool reorderRows(const std::vector<int32_t>& order);
    // The text of a cell; "" for a row or column that does not exist.
    std::string cellText(int32_t row, int column) const;

    // How far a deletion of many rows got: the first row it has not looked at yet, as long
    // as no other change moved rows since (then it starts again at row 0).
    struct RowSweep {
        int32_t nextRow = 0;
        uint64_t layout = 0;  // the list's layout count when the sweep last stopped
    };
    // Rows a sweep looks at between two looks at the clock.
    static constexpr int32_t kSweepChunkRows = 4096;
    // Deletes, from `sweep.nextRow` on, every row whose slot `doomed` marks (doomed[slot] is
    // non-zero; slots beyond its end are kept), appending each deleted row's slot to
    // `removedSlots`. Stops at the first chunk boundary past `deadline`, so a caller can
    // bound how long it holds listBusy and resume later; the rows keep their order and the
    // view sees the removals (many at once as one reset). True once every row was looked at.
    bool deleteRowsOfSlots(std::span<const uint8_t> doomed, RowSweep& sweep,
                           std::chrono::steady_clock::time_point deadline,
                           std::vector<int32_t>& removedSlots);
    // Clears so far (deleteAllRows calls): a slot taken before a different count names a
    // packet of an earlier list.
    uint64_t clearCount() const;

    // The selection mark: the row the detail pane and the tools work on, or -1. Deleting
    // the row clears it; deleting rows above it moves it up with its row.
    void setSelectionMark(int32_t row);
    int32_t selectionMark() const;
    // Counts setSelectionMark calls and the marked packet's removal, so the view notices a
    // mark set by a worker, and a new mark after a clear even when its row number is the
    // one shown before.
    uint64_t selectionMarkSerial() const;

    // ---- View side (the thread of the view) ----

    // Rows the view shows.
    int32_t publishedRowCount() const;
    // The oldest change the view has not applied, or nothing when it is up to date.
    std::optional<PacketListChange> nextChange() const;
    // Marks `change` (the one nextChange() returned) as applied by the view.
    void acknowledge(const PacketListChange& change);
    // The actual row shown as published row `row`; -1 when that row is gone.
    int32_t actualRow(int32_t publishedRow) const;
    // The published row showing actual row `row`; -1 when the view does not show it yet.
    int32_t publishedRow(int32_t actualRow) const;
    // The text of a cell of a published row.
    std::string publishedCellText(int32_t publishedRow, int column) const;

    // Most removals kept for the view before they collapse into one reset.
    static constexpr size_t kMaxPendingRemovals = 256;

  private:
    struct Row {
        uint32_t slot;
        uint32_t stringColumnsId;  // 0: the string stage did not run
    };

    // What a cell text needs of a row, copied out so the text is made without the lock.
    struct RowRef {
        int32_t slot = -1;
        std::shared_ptr<const FilterColumnTexts> stringColumns;
    };

    bool rowRefLocked(int32_t row, RowRef& ref) const;
    int32_t actualRowLocked(int32_t publishedRow) const;
    void journalRemovalLocked(int32_t row);
    void journalResetLocked();
    std::string cellTextOf(const RowRef& ref, int column) const;

    const PacketStore& m_store;
    const int32_t m_capacity;

    mutable std::mutex m_mutex;  // guards everything below; held only inside one call
    std::vector<Row> m_rows;     // row -> slot; appended by the capture thread
    // Distinct filter-string column texts in use; id = index + 1.
    std::vector<std::shared_ptr<const FilterColumnTexts>> m_stringColumns;
    int32_t m_selectionMark = -1;
    uint64_t m_selectionSerial = 0;
    uint64_t m_layoutCount = 0;  // changes that moved or removed rows (appends do not)
    uint64_t m_clearCount = 0;

    // View bookkeeping: the view shows m_publishedCount rows; the journal holds the resets
    // and removals it has not applied, oldest first; after them the first m_projectedCount
    // actual rows are the published rows that remain, the rest were appended since.
    int32_t m_publishedCount = 0;
    int32_t m_projectedCount = 0;
    std::vector<PacketListChange> m_journal;
};

}  // namespace vorlanx
