// The packet store and the packet list: slots, rows, cell texts and the view's catch-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "packetmode/packet_list.h"
#include "packetmode/packet_store.h"
#include "packetmode/store_clear_thread.h"
#include "support/test_datagram.h"

namespace vorlanx {
namespace {

using test::BuildDatagram;

PacketRecord RecordOf(const std::vector<uint8_t>& bytes) {
    return PacketRecord::create(bytes);
}

// From 10.0.0.1:40000 to 192.168.200.254:80 (ports for TCP and UDP only).
std::vector<uint8_t> Datagram(uint8_t protocol, size_t payloadBytes = 0) {
    return BuildDatagram({.protocol = protocol,
                          .destination = {192, 168, 200, 254},
                          .payload = std::string(payloadBytes, 'p')});
}

std::vector<std::string> RowTexts(const PacketList& list, int32_t row) {
    std::vector<std::string> cells;
    for (int c = 0; c < kPacketListColumnCount; ++c)
        cells.push_back(list.cellText(row, c));
    return cells;
}

// Fills slots first..first+n-1 (slot i holds 40 + i bytes) and lists a row for each, as
// the capture does.
void Fill(PacketStore& store, PacketList& list, int n, int first = 0) {
    for (int i = first; i < first + n; ++i) {
        const auto d = Datagram(6, static_cast<size_t>(i));
        store.put(i, RecordOf(d), static_cast<int32_t>(d.size()));
        ASSERT_EQ(list.append(i, nullptr), list.rowCount() - 1);
        store.advanceCount();
    }
}

// ---- PacketStore ----

TEST(PacketStore, StartsEmptyWithArraysOfAMillionSlots) {
    PacketStore store;
    // record reference, length, time-text reference and listed flag per slot
    EXPECT_EQ(PacketStore::arrayBytes(), 29000000u);
    EXPECT_EQ(store.count(), 0);
    EXPECT_EQ(store.allocationBytes(), 0u);
    for (int32_t slot : {0, 1, 499999, 999999}) {
        EXPECT_FALSE(store.hasRecord(slot));
        EXPECT_EQ(store.length(slot), 0);
        EXPECT_FALSE(store.listed(slot));
        EXPECT_EQ(store.timeText(slot), "");
    }
}

TEST(PacketStore, SlotKeepsRecordLengthTimeTextAndListedFlag) {
    PacketStore store;
    const auto d = Datagram(17, 12);
    store.put(999999, RecordOf(d), 40);
    EXPECT_TRUE(store.setTimeText(999999, "2024.01.02 - 03:04:05.006"));
    store.setListed(999999, true);
    EXPECT_TRUE(store.hasRecord(999999));
    EXPECT_EQ(store.length(999999), 40);
    EXPECT_EQ(store.timeText(999999), "2024.01.02 - 03:04:05.006");
    EXPECT_TRUE(store.listed(999999));
    uint16_t port = 0;
    EXPECT_TRUE(store.withRecord(999999, [&](const PacketView& p) { port = p.sourcePort(); }));
    EXPECT_EQ(port, 40000);

    EXPECT_TRUE(store.release(999999));
    EXPECT_FALSE(store.hasRecord(999999));
    EXPECT_EQ(store.length(999999), 0);
    EXPECT_EQ(store.timeText(999999), "");
    EXPECT_TRUE(store.listed(999999)) << "the listed flag belongs to the row, not the record";
    EXPECT_FALSE(store.release(999999));
    EXPECT_FALSE(store.withRecord(999999, [](const PacketView&) { FAIL(); }));
}

// Slots 0 to 999,999 hold packets; an index outside them reads empty and changes nothing.
TEST(PacketStore, OnlySlotsZeroTo999999HoldPackets) {
    PacketStore store;
    const auto d = Datagram(6);
    for (int32_t slot : {-2147483647 - 1, -1, 0, 999999, 1000000, 2147483647}) {
        SCOPED_TRACE(slot);
        const bool inside = slot >= 0 && slot <= 999999;
        store.put(slot, RecordOf(d), 40);
        EXPECT_EQ(store.setTimeText(slot, "x"), inside);
        store.setListed(slot, true);
        EXPECT_EQ(store.hasRecord(slot), inside);
        EXPECT_EQ(store.length(slot), inside ? 40 : 0);
        EXPECT_EQ(store.listed(slot), inside);
        EXPECT_EQ(store.withRecord(slot, [](const PacketView&) {}), inside);
        EXPECT_EQ(store.release(slot), inside);
    }
}

TEST(PacketStore, ReleaseRecordsKeepsLengthsTimeTextsAndCount) {
    PacketStore store;
    for (int i = 0; i < 3; ++i) {
        const auto d = Datagram(6, 5);
        store.put(i, RecordOf(d), 45);
        store.setTimeText(i, "t");
        store.setListed(i, true);
        store.advanceCount();
    }
    store.addAllocationBytes(3 * 89);
    store.releaseRecords();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(store.hasRecord(i));
        EXPECT_EQ(store.length(i), 45);
        EXPECT_EQ(store.timeText(i), "t");
    }
    EXPECT_EQ(store.count(), 3);
    EXPECT_EQ(store.allocationBytes(), 267u);
}

TEST(PacketStore, AllocationBytesWrapAsUnsigned32Bit) {
    PacketStore store;
    store.addAllocationBytes(0xFFFFFFF0u);
    store.addAllocationBytes(0x20u);
    EXPECT_EQ(store.allocationBytes(), 0x10u);
    store.resetAllocationBytes();
    EXPECT_EQ(store.allocationBytes(), 0u);
}

// ---- PacketList: rows and cells ----

TEST(PacketList, ColumnsInTheWindowsOrder) {
    const std::pair<const char*, int> expected[] = {
        {"Type", 40},         {"Size", 40},    {"From IP", 100},     {"To IP", 100},
        {"From Port", 60},    {"To Port", 60}, {"Date / Time", 170}, {"Contains string", 100},
        {"Lacks string", 100}};
    for (int c = 0; c < kPacketListColumnCount; ++c) {
        EXPECT_EQ(PacketList::columnTitle(c), expected[c].first);
        EXPECT_EQ(PacketList::columnWidth(c), expected[c].second);
    }
    EXPECT_EQ(PacketList::columnTitle(9), "");
    EXPECT_EQ(PacketList::columnTitle(-1), "");
}

TEST(PacketList, CellTextsComeFromTheSlot) {
    PacketStore store;
    PacketList list(store);
    struct Case {
        uint8_t protocol;
        size_t payload;
        const char* type;
        const char* size;
        const char* fromPort;
        const char* toPort;
    };
    const Case cases[] = {
        {6, 20, "TCP", "60", "40000", "80"},
        {17, 3, "UDP", "31", "40000", "80"},
        {1, 0, "ICMP", "28", "", ""},
        {47, 0, "GRE", "20", "", ""},
        {0, 4, "", "24", "", ""},
        {143, 1, "\xC2\xBF?", "21", "", ""},
    };
    int32_t slot = 7;  // slots and rows need not be equal
    for (const Case& c : cases) {
        const auto d = Datagram(c.protocol, c.payload);
        store.put(slot, RecordOf(d), static_cast<int32_t>(d.size()));
        store.setTimeText(slot, "at " + std::to_string(slot));
        const int32_t row = list.append(slot, nullptr);
        ASSERT_GE(row, 0);
        EXPECT_EQ(list.slotOfRow(row), slot);
        EXPECT_EQ(
            RowTexts(list, row),
            (std::vector<std::string>{c.type, c.size, "10.0.0.1", "192.168.200.254", c.fromPort,
                                      c.toPort, "at " + std::to_string(slot), "", ""}))
            << "protocol " << int(c.protocol);
        slot += 3;
    }
    EXPECT_EQ(list.cellText(0, 9), "");
    EXPECT_EQ(list.cellText(99, 0), "");
}

TEST(PacketList, StringColumnsOnlyForRowsWhoseStringStageRan) {
    PacketStore store;
    PacketList list(store);
    Fill(store, list, 1);
    auto texts = std::make_shared<const FilterColumnTexts>(FilterColumnTexts{",,", "bad,,"});
    const auto d = Datagram(6);
    store.put(1, RecordOf(d), 40);
    ASSERT_EQ(list.append(1, texts), 1);
    store.put(2, RecordOf(d), 40);
    ASSERT_EQ(list.append(2, texts), 2);
    EXPECT_EQ(list.cellText(0, 7), "");
    EXPECT_EQ(list.cellText(0, 8), "");
    EXPECT_EQ(list.cellText(1, 7), ",,");
    EXPECT_EQ(list.cellText(1, 8), "bad,,");
    EXPECT_EQ(list.cellText(2, 8), "bad,,");
    EXPECT_EQ(texts.use_count(), 2) << "rows share one copy of the texts";
}

TEST(PacketList, RefusesRowsBeyondItsCapacity) {
    PacketStore store;
    PacketList list(store, 2);
    EXPECT_EQ(list.append(5, nullptr), 0);
    EXPECT_EQ(list.append(6, nullptr), 1);
    EXPECT_EQ(list.append(7, nullptr), -1);
    EXPECT_EQ(list.rowCount(), 2);
    EXPECT_TRUE(list.deleteRow(0));
    EXPECT_EQ(list.append(7, nullptr), 1);
    EXPECT_EQ(list.append(-1, nullptr), -1) << "a slot index is never negative";
}

TEST(PacketList, ARowWhoseRecordWasReleasedShowsOnlyItsTimeText) {
    PacketStore store;
    PacketList list(store);
    Fill(store, list, 1);
    store.release(0);
    store.setTimeText(0, "kept");
    EXPECT_EQ(RowTexts(list, 0),
              (std::vector<std::string>{"", "", "", "", "", "", "kept", "", ""}));
}

TEST(PacketList, DeleteFindAndSelectionMark) {
    PacketStore store;
    PacketList list(store);
    Fill(store, list, 6);  // rows 0..5 carry slots 0..5
    list.setSelectionMark(4);
    EXPECT_EQ(list.selectionMark(), 4);

    EXPECT_TRUE(list.deleteRow(1));  // above the mark: the mark moves with its row
    EXPECT_EQ(list.selectionMark(), 3);
    EXPECT_EQ(list.slotOfRow(3), 4);
    EXPECT_EQ(list.rowOfSlot(1), -1);
    EXPECT_EQ(list.rowOfSlot(5), 4);

    EXPECT_TRUE(list.deleteRow(4));  // below the mark
    EXPECT_EQ(list.selectionMark(), 3);
    EXPECT_TRUE(list.deleteRow(3));  // the marked row itself
    EXPECT_EQ(list.selectionMark(), -1);

    EXPECT_FALSE(list.deleteRow(3));
    EXPECT_FALSE(list.deleteRow(-1));
    list.setSelectionMark(77);
    EXPECT_EQ(list.selectionMark(), -1) << "a row that does not exist cannot be marked";
    const uint64_t serial = list.selectionMarkSerial();
    list.setSelectionMark(0);
    EXPECT_GT(list.selectionMarkSerial(), serial);

    list.deleteAllRows();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.selectionMark(), -1);
    EXPECT_EQ(list.slotOfRow(0), -1);
}

TEST(PacketList, BatchDeleteResumesStartsOverAfterRowsMovedAndKeepsTheMark) {
    PacketStore store;
    PacketList list(store);
    Fill(store, list, 10000);
    std::vector<uint8_t> doomed(10000);
    for (size_t slot = 0; slot < doomed.size(); slot += 3)
        doomed[slot] = 1;
    list.setSelectionMark(9001);
    PacketList::RowSweep sweep;
    std::vector<int32_t> removed;
    // A deadline already past: one chunk of rows per call.
    ASSERT_FALSE(list.deleteRowsOfSlots(doomed, sweep, {}, removed));
    EXPECT_EQ(removed.size(), 1366u);  // slots 0, 3, ... 4095
    EXPECT_EQ(sweep.nextRow, 4096 - 1366);
    EXPECT_EQ(list.slotOfRow(list.selectionMark()), 9001);

    std::vector<int32_t> reversed(static_cast<size_t>(list.rowCount()));
    std::iota(reversed.rbegin(), reversed.rend(), 0);
    ASSERT_TRUE(list.reorderRows(reversed));
    ASSERT_FALSE(list.deleteRowsOfSlots(doomed, sweep, {}, removed));
    EXPECT_EQ(removed[1366], 9999);  // started over at row 0, now the last slot
    ASSERT_TRUE(list.deleteRowsOfSlots(doomed, sweep, std::chrono::steady_clock::time_point::max(),
                                       removed));
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed.size(), 3334u);
    EXPECT_EQ(std::unique(removed.begin(), removed.end()), removed.end());
    EXPECT_EQ(list.rowCount(), 10000 - 3334);
    for (int32_t row = 0; row < list.rowCount(); ++row)
        ASSERT_EQ(doomed[static_cast<size_t>(list.slotOfRow(row))], 0);
    EXPECT_EQ(list.slotOfRow(list.selectionMark()), 9001);
    EXPECT_TRUE(list.deleteRowsOfSlots(doomed, sweep, {}, removed));  // nothing left

    const uint64_t serial = list.selectionMarkSerial();
    doomed[9001] = 1;
    PacketList::RowSweep another;
    ASSERT_TRUE(list.deleteRowsOfSlots(doomed, another,
                                       std::chrono::steady_clock::time_point::max(), removed));
    EXPECT_EQ(list.selectionMark(), -1);
    EXPECT_EQ(list.selectionMarkSerial(), serial + 1);
}

TEST(PacketList, SortReordersRowsNotSlotsAndKeepsTheMarkOnItsPacket) {
    PacketStore store;
    PacketList list(store);
    Fill(store, list, 5);
    list.setSelectionMark(1);  // slot 1
    ASSERT_TRUE(list.reorderRows({4, 3, 2, 1, 0}));
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(list.slotOfRow(row), 4 - row);
    EXPECT_EQ(list.selectionMark(), 3);
    EXPECT_EQ(list.cellText(0, 1), "44") << "slot 4 holds 20 + 20 + 4 bytes";
}

// ---- PacketList: the view's catch-up ----

TEST(PacketListView, AppendsArriveAsOneBatch) {
    PacketStore store;
    PacketList list(store);
    EXPECT_EQ(list.nextChange(), std::nullopt);
    Fill(store, list, 3);
    EXPECT_EQ(list.publishedRowCount(), 0);
    auto change = list.nextChange();
    ASSERT_TRUE(change);
    EXPECT_EQ(*change, (PacketListChange{PacketListChange::Kind::Appended, 0, 3}));
    Fill(store, list, 2, 3);  // arrive while the view announces the first batch
    list.acknowledge(*change);
    EXPECT_EQ(list.publishedRowCount(), 3);
    change = list.nextChange();
    EXPECT_EQ(*change, (PacketListChange{PacketListChange::Kind::Appended, 3, 2}));
    list.acknowledge(*change);
    EXPECT_EQ(list.nextChange(), std::nullopt);
    EXPECT_EQ(list.publishedCellText(2, 1), "42");
    EXPECT_EQ(list.publishedCellText(5, 1), "");
}

TEST(PacketListView, RemovalsOfShownRowsAreReplayedInOrder) {
    PacketStore store;
    PacketList list(store);
    Fill(store, list, 5);
    list.acknowledge(*list.nextChange());
    ASSERT_TRUE(list.deleteRow(1));
    ASSERT_TRUE(list.deleteRow(2));  // slot 3, shown as published row 3
    // Until the view applies them, published rows map around the removed ones.
    std::vector<int32_t> actual;
    for (int32_t p = 0; p < 5; ++p)
        actual.push_back(list.actualRow(p));
    EXPECT_EQ(actual, (std::vector<int32_t>{0, -1, 1, -1, 2}));
    EXPECT_EQ(list.publishedRow(2), 4);
    EXPECT_EQ(list.publishedCellText(4, 1), "44");
    EXPECT_EQ(list.publishedCellText(5, 1), "");

    auto c = list.nextChange();
    EXPECT_EQ(*c, (PacketListChange{PacketListChange::Kind::Removed, 1, 1}));
    list.acknowledge(*c);
    c = list.nextChange();
    EXPECT_EQ(*c, (PacketListChange{PacketListChange::Kind::Removed, 2, 1}));
    list.acknowledge(*c);
    EXPECT_EQ(list.nextChange(), std::nullopt);
    EXPECT_EQ(list.publishedRowCount(), 3);
}

TEST(PacketListView, RowsNeverShownLeaveNoTraceAndResetsReplaceEverything) {
    PacketStore store;
    PacketList list(store);
    Fill(store, list, 2);
    list.acknowledge(*list.nextChange());
    const auto d = Datagram(6);
    store.put(2, RecordOf(d), 40);
    list.append(2, nullptr);
    ASSERT_TRUE(list.deleteRow(2));  // appended and deleted before the view saw it
    EXPECT_EQ(list.nextChange(), std::nullopt);

    ASSERT_TRUE(list.deleteRow(0));
    list.deleteAllRows();
    auto c = list.nextChange();
    EXPECT_EQ(*c, (PacketListChange{PacketListChange::Kind::Reset, 0, 2}));
    list.acknowledge(PacketListChange{PacketListChange::Kind::Appended, 0, 1});  // wrong one
    EXPECT_EQ(list.publishedRowCount(), 2);
    list.acknowledge(*c);
    EXPECT_EQ(list.publishedRowCount(), 0);
    EXPECT_EQ(list.nextChange(), std::nullopt);
}

TEST(PacketListView, ManyRemovalsCollapseIntoOneReset) {
    PacketStore store;
    PacketList list(store);
    Fill(store, list, 600);
    list.acknowledge(*list.nextChange());
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(list.deleteRow(0));
    auto c = list.nextChange();
    EXPECT_EQ(c->kind, PacketListChange::Kind::Reset);
    list.acknowledge(*c);
    c = list.nextChange();
    EXPECT_EQ(*c, (PacketListChange{PacketListChange::Kind::Appended, 0, 300}));
    list.acknowledge(*c);
    EXPECT_EQ(list.publishedCellText(0, 1), std::to_string(40 + 300));
}

// A view that mirrors the rows it was told about, checked against the list after every
// step of a long random mix of appends, deletions (one row, or a batch), clears, sorts and
// partial catch-ups.
TEST(PacketListView, MirrorOfTheViewAlwaysMatchesTheList) {
    PacketStore store;
    PacketList list(store, 5000);
    std::vector<int32_t> mirror;  // slot per published row
    std::mt19937 random(1234);
    int32_t nextSlot = 0;
    const auto d = Datagram(17);
    std::vector<uint8_t> everyFourth(10000);
    for (size_t slot = 0; slot < everyFourth.size(); slot += 4)
        everyFourth[slot] = 1;
    PacketList::RowSweep sweep;

    auto applyOne = [&] {
        const auto c = list.nextChange();
        if (!c)
            return false;
        switch (c->kind) {
            case PacketListChange::Kind::Reset:
                mirror.clear();
                list.acknowledge(*c);
                break;
            case PacketListChange::Kind::Removed:
                mirror.erase(mirror.begin() + c->first);
                list.acknowledge(*c);
                break;
            case PacketListChange::Kind::Appended:
                list.acknowledge(*c);
                for (int32_t p = c->first; p < c->first + c->count; ++p)
                    mirror.push_back(list.slotOfRow(list.actualRow(p)));
                break;
        }
        EXPECT_EQ(static_cast<int32_t>(mirror.size()), list.publishedRowCount());
        return true;
    };

    for (int step = 0; step < 4000; ++step) {
        const int op = static_cast<int>(random() % 100);
        const int32_t rows = list.rowCount();
        if (op < 50) {
            store.put(nextSlot % PacketStore::kCapacity, RecordOf(d), 36);
            list.append(nextSlot++, nullptr);
        } else if (op < 75 && rows > 0) {
            ASSERT_TRUE(list.deleteRow(static_cast<int32_t>(random() % rows)));
        } else if (op < 77) {
            list.deleteAllRows();
        } else if (op < 78) {
            // A batch delete stopped after its first chunk, resumed by the next one.
            std::vector<int32_t> removed;
            list.deleteRowsOfSlots(everyFourth, sweep, {}, removed);
        } else if (op < 79) {
            std::vector<int32_t> order(static_cast<size_t>(rows));
            std::iota(order.begin(), order.end(), 0);
            std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
                return list.slotOfRow(a) % 7 < list.slotOfRow(b) % 7;
            });
            ASSERT_TRUE(list.reorderRows(order));
        } else {
            applyOne();
        }
        // Every shown row maps to the packet the view shows for it, or to nothing.
        ASSERT_EQ(static_cast<int32_t>(mirror.size()), list.publishedRowCount());
        for (int32_t p = 0; p < static_cast<int32_t>(mirror.size()); ++p) {
            const int32_t actual = list.actualRow(p);
            if (actual < 0)
                continue;
            ASSERT_EQ(list.slotOfRow(actual), mirror[static_cast<size_t>(p)]) << "step " << step;
            ASSERT_EQ(list.publishedRow(actual), p) << "step " << step;
        }
    }
    while (applyOne()) {
    }
    ASSERT_EQ(static_cast<int32_t>(mirror.size()), list.rowCount());
    for (int32_t r = 0; r < list.rowCount(); ++r)
        EXPECT_EQ(mirror[static_cast<size_t>(r)], list.slotOfRow(r));
}

// ---- The clear's time mark ----

TEST(ClearTimeMark, EveryClearLeavesADifferentLaterMark) {
    // Automatic logging notices a clear by a changed mark: two clears in the same
    // millisecond must still differ, also where the signed 32-bit value wraps.
    const int32_t now = NextClearTime(0);
    const int32_t again = NextClearTime(now);
    EXPECT_NE(again, now);
    EXPECT_GT(static_cast<int32_t>(static_cast<uint32_t>(again) - static_cast<uint32_t>(now)), 0);
    const int32_t ahead = static_cast<int32_t>(static_cast<uint32_t>(now) + 100000u);
    EXPECT_EQ(NextClearTime(ahead), static_cast<int32_t>(static_cast<uint32_t>(ahead) + 1u));
    const int32_t later = static_cast<int32_t>(static_cast<uint32_t>(now) - 100000u);
    EXPECT_NE(NextClearTime(later), later + 1) << "an older mark gives the clock reading";
}

}  // namespace
}  // namespace vorlanx
