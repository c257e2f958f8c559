// File Mode's stream bookkeeping: TCP data segments filed by acknowledgement number.
//
// A stream is every TCP data segment that carries one acknowledgement number: while a
// server sends a response, each of its segments acknowledges the same client sequence
// number, so that number alone keys the stream. The capture thread files segments; the
// assembler thread takes quiet slots, rebuilds and frees them. The table is allocated once
// at full size and never grows.
//
// Exclusion between the two threads: each announces the slot it works on (`writingSlot`,
// `processingSlot`) and skips the slot the other announced; the check of the other's
// marker and the setting of one's own happen under one mutex. Segments are allocated and
// copied outside it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>

#include "filemode/file_mode_counters.h"

namespace vorlanx {

inline constexpr uint32_t kStreamSlotCount = 100000;
inline constexpr uint32_t kStreamTableEntries = 100001;  // entry 100,000 is never a slot
// The index meaning "no slot" (markers) and "table full" (nextFreeSlot).
inline constexpr uint32_t NoSlot = 100000;
// Dirty mode computes the slot from the key and uses only these many slots.
inline constexpr uint32_t kDirtySlotCount = 32768;
// What a segment record counts in trackedMemory, besides its datagram copy.
inline constexpr int32_t kSegmentRecordBytes = 12;

// One stored TCP segment: the whole datagram as received, owned by its slot.
struct StreamSegment {
    uint16_t length = 0;            // datagram bytes, headers included
    uint8_t* data = nullptr;        // heap copy of the datagram
    StreamSegment* next = nullptr;  // next segment filed into the same slot
};

// Dirty mode's slot for a key: the acknowledgement-number field read in little-endian
// byte order and shifted right by 17 (fourth byte x 128 + third byte / 2), 0..32,767.
// `ackKey` holds the four bytes as they stand in the TCP header.
uint32_t DirtySlotIndex(uint32_t ackKey);

// Which allocation of filing a segment failed; the value is the n of "Fatal memory
// allocation error #n".
enum class SegmentAllocation : int {
    AppendRecord = 0,
    AppendData = 1,
    CreateRecord = 2,
    CreateData = 3,
};

enum class FileResult {
    Appended,          // joined the slot of its key
    Created,           // started a new slot
    TableFull,         // normal mode, no free slot: dropped
    DirtyCollision,    // Dirty mode, the index holds another stream or is being rebuilt
    AllocationFailed,  // dropped; `allocation` says which one
};

struct FileOutcome {
    FileResult result = FileResult::Appended;
    uint32_t slot = NoSlot;  // the slot used (Appended, Created, AllocationFailed)
    SegmentAllocation allocation = SegmentAllocation::AppendRecord;
    size_t allocationBytes = 0;  // size of the failed allocation
};

class StreamTable {
  public:
    // Allocates the four slot arrays at full size, all empty.
    StreamTable();
    // Releases any segment still held (without touching counters).
    ~StreamTable();
    StreamTable(const StreamTable&) = delete;
    StreamTable& operator=(const StreamTable&) = delete;

    // Capture start: clears all four arrays (the previous run's assembler released every
    // segment before a new start is allowed; anything left is freed uncounted),
    // nextFreeSlot = slotHighWater = 0, markers NoSlot, and takes the mode for the run.
    // Capture thread, before the assembler starts.
    void beginCapture(bool dirtyMode);

    // Files one TCP data segment under `ackKey` (non-zero, as the bytes stand) at clock
    // `now`: appends to the slot of its key or creates one, by the rules of the run's mode.
    // Adds the record and copy to trackedMemory. Capture thread only.
    FileOutcome fileSegment(std::span<const uint8_t> datagram, uint32_t ackKey, int32_t now,
                            FileModeCounters& counters);

    // Takes slot `slot` for rebuilding: unless the capture thread is writing it or a segment
    // joined since the assembler read `lastSeenRead`, sets processingSlot to it and its
    // ackKey to 0 (no segment joins it any more). Returns whether it was taken. Assembler.
    bool take(uint32_t slot, int32_t lastSeenRead);

    // Releases the taken slot's segments (subtracting them from trackedMemory), empties it,
    // waits while a slot creation is in progress, in normal mode makes it nextFreeSlot, and
    // clears processingSlot. Assembler thread.
    void freeTaken(uint32_t slot, FileModeCounters& counters);

    // Releases every segment still held in any slot and empties the table. Assembler
    // thread at its end, when the capture loop has ended.
    void releaseAll(FileModeCounters& counters);

    // Reads for the assembler, the window and tests. Any thread.
    uint32_t slotHighWater() const { return m_slotHighWater.load(std::memory_order_acquire); }
    uint32_t nextFreeSlot() const { return m_nextFreeSlot.load(std::memory_order_relaxed); }
    uint32_t writingSlot() const { return m_writingSlot.load(std::memory_order_relaxed); }
    uint32_t processingSlot() const { return m_processingSlot.load(std::memory_order_relaxed); }
    bool slotCreationInProgress() const {
        return m_slotCreationInProgress.load(std::memory_order_relaxed);
    }
    bool dirtyMode() const { return m_dirtyMode; }
    int32_t lastSeen(uint32_t slot) const {
        return m_lastSeen[slot].load(std::memory_order_acquire);
    }
    uint32_t ackKey(uint32_t slot) const { return m_ackKey[slot].load(std::memory_order_relaxed); }
    // First-filed segment of a slot; the chain is stable only while the slot is taken by
    // the caller or no capture runs.
    const StreamSegment* head(uint32_t slot) const {
        return m_head[slot].load(std::memory_order_acquire);
    }
    // Slots holding segments (normal-mode index size; for tests and statistics).
    uint32_t occupiedSlots() const;

    // Test hook: when set, called before each segment allocation; true makes it fail as if
    // memory were exhausted.
    void setAllocationFault(std::function<bool(SegmentAllocation)> fault) {
        m_allocationFault = std::move(fault);
    }

  private:
    StreamSegment* allocateSegment(std::span<const uint8_t> datagram, bool creating,
                                   FileModeCounters& counters, FileOutcome& outcome);
    static void releaseChain(StreamSegment* head, FileModeCounters* counters);
    // Occupancy index (under m_lock): the lowest slot with an empty head.
    void markOccupied(uint32_t slot, bool occupied);
    uint32_t firstEmptySlot() const;

    // The four parallel arrays, kStreamTableEntries each.
    std::unique_ptr<std::atomic<StreamSegment*>[]> m_head;
    std::unique_ptr<StreamSegment*[]> m_tail;
    std::unique_ptr<std::atomic<uint32_t>[]> m_ackKey;
    std::unique_ptr<std::atomic<int32_t>[]> m_lastSeen;

    std::atomic<uint32_t> m_nextFreeSlot{0};
    std::atomic<uint32_t> m_slotHighWater{0};
    std::atomic<uint32_t> m_writingSlot{NoSlot};
    std::atomic<uint32_t> m_processingSlot{NoSlot};
    std::atomic<bool> m_slotCreationInProgress{false};
    bool m_dirtyMode = false;  // fixed for a run

    // Guards the markers, the key index and the occupancy bitmap.
    mutable std::mutex m_lock;
    // Normal mode: key -> the one slot holding that key (taken slots have key 0 and leave
    // the index), so a lookup equals the scan of slots 0..slotHighWater-1.
    std::unordered_map<uint32_t, uint32_t> m_keyIndex;
    // One bit per slot, set while its head holds a segment; a word of the summary bit set
    // when its 64 slots are all occupied. Finds the first empty slot without a scan.
    static constexpr uint32_t kOccupancyWords = (kStreamSlotCount + 63) / 64;  // 1,563
    static constexpr uint32_t kSummaryWords = (kOccupancyWords + 63) / 64;     // 25
    std::unique_ptr<uint64_t[]> m_occupied;
    uint64_t m_fullWords[kSummaryWords] = {};

    std::function<bool(SegmentAllocation)> m_allocationFault;
};

}  // namespace vorlanx
