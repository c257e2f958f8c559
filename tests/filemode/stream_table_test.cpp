#include "filemode/stream_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <vector>

#include "filemode/stream_test_support.h"

namespace vorlanx {
namespace {

using test::Bytes;
using test::KeyOf;
using test::TcpSegment;

// A key whose acknowledgement-number field holds the bytes b0 b1 b2 b3 (b0 first).
uint32_t KeyBytes(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    const uint8_t bytes[4] = {b0, b1, b2, b3};
    uint32_t key = 0;
    std::memcpy(&key, bytes, 4);
    return key;
}

Bytes SegmentWithKey(uint32_t key, uint32_t sequence = 1000, const std::string& payload = "x") {
    Bytes d = TcpSegment(sequence, 1, payload);
    std::memcpy(d.data() + 28, &key, 4);
    return d;
}

size_t ChainLength(const StreamTable& table, uint32_t slot) {
    size_t n = 0;
    for (const StreamSegment* s = table.head(slot); s != nullptr; s = s->next)
        ++n;
    return n;
}

// A table in normal mode, as a capture begins it; Dirty mode tests begin again.
class StreamTableTest : public ::testing::Test {
  protected:
    StreamTableTest() { table.beginCapture(false); }
    FileOutcome file(uint32_t key, int32_t now = 100, const std::string& payload = "x") {
        return table.fileSegment(SegmentWithKey(key, 1000, payload), key, now, counters);
    }
    void takeAndFree(uint32_t slot) {
        ASSERT_TRUE(table.take(slot, table.lastSeen(slot)));
        table.freeTaken(slot, counters);
    }

    StreamTable table;
    FileModeCounters counters;
};

TEST_F(StreamTableTest, NormalModeFilesByKeyInArrivalOrder) {
    EXPECT_EQ(table.nextFreeSlot(), 0u);
    EXPECT_EQ(table.slotHighWater(), 0u);

    const uint32_t a = KeyBytes(0, 0, 0, 7), b = KeyBytes(9, 9, 9, 9);
    EXPECT_EQ(file(a, 100, "one").result, FileResult::Created);
    EXPECT_EQ(table.nextFreeSlot(), 1u);
    EXPECT_EQ(table.slotHighWater(), 1u);
    EXPECT_EQ(file(b, 120).result, FileResult::Created);
    FileOutcome third = file(a, 140, "three");
    EXPECT_EQ(third.result, FileResult::Appended);
    EXPECT_EQ(third.slot, 0u);

    EXPECT_EQ(table.ackKey(0), a);
    EXPECT_EQ(table.ackKey(1), b);
    EXPECT_EQ(table.lastSeen(0), 140);
    EXPECT_EQ(table.lastSeen(1), 120);
    EXPECT_EQ(table.nextFreeSlot(), 2u);
    EXPECT_EQ(table.slotHighWater(), 2u);
    ASSERT_EQ(ChainLength(table, 0), 2u);
    const StreamSegment* first = table.head(0);
    EXPECT_EQ(std::string(first->data + 40, first->data + first->length), "one");
    EXPECT_EQ(std::string(first->next->data + 40, first->next->data + first->next->length),
              "three");
    // Each segment counts its record and its datagram.
    EXPECT_EQ(counters.trackedMemory.load(), 3 * 12 + 43 + 41 + 45);
}

TEST_F(StreamTableTest, KeyIsComparedAsTheBytesStand) {
    // The same four bytes in another order are another stream.
    EXPECT_EQ(file(KeyBytes(1, 2, 3, 4)).result, FileResult::Created);
    EXPECT_EQ(file(KeyBytes(4, 3, 2, 1)).result, FileResult::Created);
    EXPECT_EQ(file(KeyBytes(1, 2, 3, 4)).slot, 0u);
}

TEST_F(StreamTableTest, SegmentAfterTakeOverStartsANewSlotWithTheSameKey) {
    const uint32_t key = KeyBytes(0, 0, 1, 0);
    file(key);
    ASSERT_TRUE(table.take(0, table.lastSeen(0)));
    EXPECT_EQ(table.processingSlot(), 0u);
    EXPECT_EQ(table.ackKey(0), 0u);

    FileOutcome late = file(key, 300);
    EXPECT_EQ(late.result, FileResult::Created);
    EXPECT_EQ(late.slot, 1u);
    EXPECT_EQ(ChainLength(table, 0), 1u) << "the taken slot gets nothing more";

    table.freeTaken(0, counters);
    EXPECT_EQ(table.processingSlot(), NoSlot);
    EXPECT_EQ(table.head(0), nullptr);
    EXPECT_EQ(table.lastSeen(0), 0);
    EXPECT_EQ(table.nextFreeSlot(), 0u) << "normal mode hands the freed slot back";
    EXPECT_EQ(file(key).slot, 1u) << "the key lives on in its new slot";
}

TEST_F(StreamTableTest, FreedSlotIsUsedNextThenTheFirstEmptyOne) {
    for (uint8_t k = 1; k <= 5; ++k)
        file(KeyBytes(0, 0, 0, k));
    takeAndFree(3);
    takeAndFree(1);
    EXPECT_EQ(table.nextFreeSlot(), 1u);
    EXPECT_EQ(file(KeyBytes(0, 0, 1, 1)).slot, 1u);
    EXPECT_EQ(table.nextFreeSlot(), 3u);
    EXPECT_EQ(file(KeyBytes(0, 0, 1, 2)).slot, 3u);
    EXPECT_EQ(table.nextFreeSlot(), 5u);
    EXPECT_EQ(table.slotHighWater(), 5u);

    // Freed in the other order: the slot freed last is used first, even above a lower
    // empty one.
    takeAndFree(0);
    takeAndFree(2);
    EXPECT_EQ(table.nextFreeSlot(), 2u);
    EXPECT_EQ(file(KeyBytes(0, 0, 2, 1)).slot, 2u);
    EXPECT_EQ(table.nextFreeSlot(), 0u);
}

TEST_F(StreamTableTest, FullTableDropsNewStreamsButFeedsExistingOnes) {
    for (uint32_t i = 0; i < kStreamSlotCount; ++i) {
        ASSERT_EQ(file(i + 1).result, FileResult::Created) << i;
    }
    EXPECT_EQ(table.nextFreeSlot(), NoSlot);
    EXPECT_EQ(table.slotHighWater(), kStreamSlotCount);

    const int32_t before = counters.trackedMemory.load();
    EXPECT_EQ(file(kStreamSlotCount + 1).result, FileResult::TableFull);
    EXPECT_EQ(counters.trackedMemory.load(), before) << "a dropped segment costs nothing";
    FileOutcome existing = file(77, 500);
    EXPECT_EQ(existing.result, FileResult::Appended);
    EXPECT_EQ(existing.slot, 76u);

    takeAndFree(4321);
    EXPECT_EQ(table.nextFreeSlot(), 4321u);
    FileOutcome again = file(kStreamSlotCount + 1);
    EXPECT_EQ(again.result, FileResult::Created);
    EXPECT_EQ(again.slot, 4321u);
    EXPECT_EQ(table.nextFreeSlot(), NoSlot);
    EXPECT_EQ(table.occupiedSlots(), kStreamSlotCount);
}

TEST(DirtySlotIndexTest, LowOrderBytesOfTheAcknowledgementNumber) {
    struct Row {
        uint8_t b[4];
        uint32_t index;
    };
    // index = fourth byte x 128 + third byte / 2
    const Row rows[] = {
        {{0x12, 0x34, 0x00, 0x00}, 0},     {{0x12, 0x34, 0x01, 0x00}, 0},
        {{0x00, 0x00, 0x02, 0x00}, 1},     {{0x00, 0x00, 0x00, 0x01}, 128},
        {{0x00, 0x00, 0x05, 0x03}, 386},   {{0xFF, 0xFF, 0xFF, 0xFF}, 32767},
        {{0xAB, 0xCD, 0xFE, 0xFF}, 32767}, {{0x00, 0x00, 0xFF, 0x7F}, 16383},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(DirtySlotIndex(KeyBytes(r.b[0], r.b[1], r.b[2], r.b[3])), r.index)
            << int{r.b[2]} << "," << int{r.b[3]};
    }
}

TEST_F(StreamTableTest, DirtyModePlacesStreamsAtTheirIndex) {
    table.beginCapture(true);
    const uint32_t key = KeyBytes(0x10, 0x20, 0x05, 0x03);  // index 386
    FileOutcome created = file(key);
    EXPECT_EQ(created.result, FileResult::Created);
    EXPECT_EQ(created.slot, 386u);
    EXPECT_EQ(table.nextFreeSlot(), 386u);
    EXPECT_EQ(table.slotHighWater(), 387u);
    EXPECT_EQ(file(key).result, FileResult::Appended);

    // A lower index does not lower the high-water mark, a higher one raises it.
    file(KeyBytes(0, 0, 0, 1));  // 128
    EXPECT_EQ(table.slotHighWater(), 387u);
    file(KeyBytes(0, 0, 0xFF, 0xFF));  // 32767
    EXPECT_EQ(table.slotHighWater(), 32768u);
}

TEST_F(StreamTableTest, DirtyModeCollisionDropsTheSecondStreamWhileTheFirstIsHeld) {
    table.beginCapture(true);
    const uint32_t first = KeyBytes(0x00, 0x00, 0x04, 0x02);   // index 258
    const uint32_t second = KeyBytes(0x77, 0x66, 0x05, 0x02);  // index 258 as well
    ASSERT_EQ(DirtySlotIndex(first), DirtySlotIndex(second));

    EXPECT_EQ(file(first).result, FileResult::Created);
    EXPECT_EQ(file(second).result, FileResult::DirtyCollision);
    EXPECT_EQ(file(first).result, FileResult::Appended);

    ASSERT_TRUE(table.take(258, table.lastSeen(258)));
    EXPECT_EQ(file(first).result, FileResult::DirtyCollision) << "being rebuilt";
    EXPECT_EQ(file(second).result, FileResult::DirtyCollision);
    table.freeTaken(258, counters);
    EXPECT_EQ(table.nextFreeSlot(), 258u) << "Dirty mode leaves nextFreeSlot alone on free";

    EXPECT_EQ(file(second).result, FileResult::Created);
    EXPECT_EQ(table.ackKey(258), second);
}

TEST_F(StreamTableTest, AllocationFailuresLeaveNothingBehind) {
    struct Row {
        SegmentAllocation site;
        bool existingStream;
        size_t bytes;
    };
    const Row rows[] = {
        {SegmentAllocation::AppendRecord, true, 12},
        {SegmentAllocation::AppendData, true, 44},
        {SegmentAllocation::CreateRecord, false, 12},
        {SegmentAllocation::CreateData, false, 44},
    };
    for (const Row& r : rows) {
        for (bool dirty : {false, true}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(r.site) << " dirty " << dirty);
            StreamTable t;
            FileModeCounters c;
            t.beginCapture(dirty);
            const uint32_t key = KeyBytes(0, 0, 2, 0);
            if (r.existingStream) {
                ASSERT_EQ(t.fileSegment(SegmentWithKey(key), key, 10, c).result,
                          FileResult::Created);
            }
            const int32_t memory = c.trackedMemory.load();
            const uint32_t highWater = t.slotHighWater();
            t.setAllocationFault([&](SegmentAllocation site) { return site == r.site; });
            FileOutcome o = t.fileSegment(SegmentWithKey(key, 5, "abcd"), key, 20, c);
            EXPECT_EQ(o.result, FileResult::AllocationFailed);
            EXPECT_EQ(o.allocation, r.site);
            EXPECT_EQ(o.allocationBytes, r.bytes);
            EXPECT_EQ(c.trackedMemory.load(), memory);
            EXPECT_EQ(t.writingSlot(), NoSlot);
            EXPECT_FALSE(t.slotCreationInProgress());
            EXPECT_EQ(t.slotHighWater(), highWater);
            const uint32_t slot = dirty ? DirtySlotIndex(key) : 0;
            EXPECT_EQ(ChainLength(t, slot), r.existingStream ? 1u : 0u);
            EXPECT_EQ(t.lastSeen(slot), r.existingStream ? 10 : 0);

            // The next segment is filed normally.
            t.setAllocationFault({});
            EXPECT_EQ(t.fileSegment(SegmentWithKey(key), key, 30, c).result,
                      r.existingStream ? FileResult::Appended : FileResult::Created);
            t.releaseAll(c);
            EXPECT_EQ(c.trackedMemory.load(), 0);
        }
    }
}

// The markers: while the capture thread links a segment into a slot (writingSlot), the
// assembler cannot take it, and a creation in progress is announced.
TEST_F(StreamTableTest, SlotBeingWrittenCannotBeTaken) {
    const uint32_t key = KeyBytes(0, 0, 3, 0);
    file(key);
    bool checked = false;
    table.setAllocationFault([&](SegmentAllocation site) {
        if (site == SegmentAllocation::AppendRecord) {
            EXPECT_EQ(table.writingSlot(), 0u);
            EXPECT_FALSE(table.slotCreationInProgress());
            EXPECT_FALSE(table.take(0, table.lastSeen(0)));
            EXPECT_EQ(table.processingSlot(), NoSlot);
            checked = true;
        }
        if (site == SegmentAllocation::CreateRecord) {
            EXPECT_EQ(table.writingSlot(), 1u);
            EXPECT_TRUE(table.slotCreationInProgress());
        }
        return false;
    });
    EXPECT_EQ(file(key).result, FileResult::Appended);
    EXPECT_TRUE(checked);
    EXPECT_EQ(file(KeyBytes(0, 0, 4, 0)).result, FileResult::Created);
    EXPECT_EQ(table.writingSlot(), NoSlot);
    EXPECT_TRUE(table.take(0, table.lastSeen(0)));
}

TEST_F(StreamTableTest, TakeRefusesASlotThatJustGotASegment) {
    const uint32_t key = KeyBytes(0, 0, 5, 0);
    file(key, 100);
    const int32_t seen = table.lastSeen(0);
    file(key, 160);
    EXPECT_FALSE(table.take(0, seen));
    EXPECT_TRUE(table.take(0, table.lastSeen(0)));
    EXPECT_FALSE(table.take(1, 0)) << "an empty slot is never taken";
}

TEST_F(StreamTableTest, SegmentFiledAtClockZeroIsNotMistakenForAnEmptySlot) {
    file(KeyBytes(0, 0, 6, 0), 0);
    EXPECT_NE(table.lastSeen(0), 0);
    EXPECT_NE(table.head(0), nullptr);
}

TEST_F(StreamTableTest, ReleaseAllEmptiesEverySlotAndReturnsTheMemory) {
    for (uint8_t k = 1; k <= 20; ++k) {
        for (int i = 0; i < 3; ++i)
            file(KeyBytes(0, 0, 7, k), 100, std::string(k, 'p'));
    }
    EXPECT_GT(counters.trackedMemory.load(), 0);
    table.releaseAll(counters);
    EXPECT_EQ(counters.trackedMemory.load(), 0);
    EXPECT_EQ(table.occupiedSlots(), 0u);
    for (uint32_t i = 0; i < 20; ++i) {
        EXPECT_EQ(table.head(i), nullptr);
        EXPECT_EQ(table.lastSeen(i), 0);
    }
}

TEST_F(StreamTableTest, NewCaptureStartsFromAnEmptyTable) {
    table.beginCapture(true);
    file(KeyBytes(0, 0, 0, 9));
    table.releaseAll(counters);
    table.beginCapture(false);
    EXPECT_EQ(table.slotHighWater(), 0u);
    EXPECT_EQ(table.nextFreeSlot(), 0u);
    EXPECT_FALSE(table.dirtyMode());
    EXPECT_EQ(file(KeyBytes(0, 0, 0, 9)).slot, 0u);
}

// The normal-mode index against the plain scans that define it: the slot a segment joins
// is the first slot below slotHighWater with its key that is not being rebuilt, a new
// stream goes to nextFreeSlot, and nextFreeSlot then becomes the first slot with an empty
// head. Random filing, taking and freeing; every step compared.
class ScanModel {
  public:
    std::vector<uint32_t> key = std::vector<uint32_t>(kStreamSlotCount, 0);
    std::vector<bool> occupied = std::vector<bool>(kStreamSlotCount, false);
    uint32_t nextFree = 0, highWater = 0, processing = NoSlot;

    // Returns the slot used, or NoSlot when the table is full.
    uint32_t file(uint32_t k) {
        for (uint32_t i = 0; i < highWater; ++i) {
            if (key[i] == k && i != processing)
                return i;
        }
        if (nextFree == NoSlot)
            return NoSlot;
        const uint32_t slot = nextFree;
        key[slot] = k;
        occupied[slot] = true;
        nextFree = NoSlot;
        for (uint32_t i = 0; i < kStreamSlotCount; ++i) {
            if (!occupied[i]) {
                nextFree = i;
                break;
            }
        }
        if (nextFree > highWater)
            highWater = nextFree;
        return slot;
    }
    void takeAndFree(uint32_t slot) {
        key[slot] = 0;
        occupied[slot] = false;
        nextFree = slot;
    }
};

TEST(StreamTableIndexTest, NormalModeLookupsEqualTheScans) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        StreamTable table;
        FileModeCounters counters;
        table.beginCapture(false);
        ScanModel model;
        std::mt19937 random(seed);
        std::uniform_int_distribution<uint32_t> keys(1, 400);
        for (int step = 0; step < 6000; ++step) {
            if (random() % 3 != 0) {
                const uint32_t k = keys(random);
                const uint32_t expected = model.file(k);
                const FileOutcome got =
                    table.fileSegment(SegmentWithKey(k), k, 50 + step, counters);
                ASSERT_EQ(got.slot, expected) << "step " << step;
            } else {
                std::vector<uint32_t> used;
                for (uint32_t i = 0; i < model.highWater; ++i) {
                    if (model.occupied[i])
                        used.push_back(i);
                }
                if (used.empty())
                    continue;
                const uint32_t slot = used[random() % used.size()];
                ASSERT_TRUE(table.take(slot, table.lastSeen(slot)));
                table.freeTaken(slot, counters);
                model.takeAndFree(slot);
            }
            ASSERT_EQ(table.nextFreeSlot(), model.nextFree) << "step " << step;
            ASSERT_EQ(table.slotHighWater(), model.highWater) << "step " << step;
        }
        table.releaseAll(counters);
        EXPECT_EQ(counters.trackedMemory.load(), 0);
    }
}

}  // namespace
}  // namespace vorlanx
