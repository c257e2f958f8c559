#include "filemode/stream_table.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

namespace vorlanx {

uint32_t DirtySlotIndex(uint32_t ackKey) {
    uint8_t bytes[4];
    std::memcpy(bytes, &ackKey, sizeof bytes);
    return uint32_t{bytes[3]} * 128u + uint32_t{bytes[2]} / 2u;
}

StreamTable::StreamTable()
    : m_head(new std::atomic<StreamSegment*>[kStreamTableEntries]),
      m_tail(new StreamSegment*[kStreamTableEntries]),
      m_ackKey(new std::atomic<uint32_t>[kStreamTableEntries]),
      m_lastSeen(new std::atomic<int32_t>[kStreamTableEntries]),
      m_occupied(new uint64_t[kOccupancyWords]) {
    for (uint32_t i = 0; i < kStreamTableEntries; ++i) {
        m_head[i].store(nullptr, std::memory_order_relaxed);
        m_tail[i] = nullptr;
        m_ackKey[i].store(0, std::memory_order_relaxed);
        m_lastSeen[i].store(0, std::memory_order_relaxed);
    }
    std::lock_guard lock(m_lock);
    std::memset(m_occupied.get(), 0, kOccupancyWords * sizeof(uint64_t));
    std::memset(m_fullWords, 0, sizeof m_fullWords);
    // Summary bits of words past the last slot count as full, so they are never chosen.
    for (uint32_t w = kOccupancyWords; w < kSummaryWords * 64; ++w) {
        m_fullWords[w / 64] |= uint64_t{1} << (w % 64);
    }
}

StreamTable::~StreamTable() {
    for (uint32_t i = 0; i < kStreamSlotCount; ++i) {
        releaseChain(m_head[i].load(std::memory_order_relaxed), nullptr);
    }
}

void StreamTable::beginCapture(bool dirtyMode) {
    std::lock_guard lock(m_lock);
    // Every slot ever written lies below the high-water mark (a creation raises it past
    // its slot), so clearing up to it clears the whole table.
    const uint32_t extent =
        std::min(m_slotHighWater.load(std::memory_order_relaxed) + 1, kStreamTableEntries);
    for (uint32_t i = 0; i < extent; ++i) {
        // Normally empty: the previous run's assembler released everything.
        releaseChain(m_head[i].load(std::memory_order_relaxed), nullptr);
        m_head[i].store(nullptr, std::memory_order_relaxed);
        m_tail[i] = nullptr;
        m_ackKey[i].store(0, std::memory_order_relaxed);
        m_lastSeen[i].store(0, std::memory_order_relaxed);
    }
    const size_t words = std::min<size_t>((extent + 63) / 64, kOccupancyWords);
    std::memset(m_occupied.get(), 0, words * sizeof(uint64_t));
    for (uint32_t w = 0; w < kOccupancyWords; ++w) {
        m_fullWords[w / 64] &= ~(uint64_t{1} << (w % 64));
    }
    m_keyIndex.clear();
    m_dirtyMode = dirtyMode;
    m_nextFreeSlot.store(0, std::memory_order_relaxed);
    m_slotHighWater.store(0, std::memory_order_release);
    m_writingSlot.store(NoSlot, std::memory_order_relaxed);
    m_processingSlot.store(NoSlot, std::memory_order_relaxed);
    m_slotCreationInProgress.store(false, std::memory_order_relaxed);
}

void StreamTable::markOccupied(uint32_t slot, bool occupied) {
    const uint32_t word = slot / 64;
    const uint64_t bit = uint64_t{1} << (slot % 64);
    const uint64_t summaryBit = uint64_t{1} << (word % 64);
    if (occupied) {
        m_occupied[word] |= bit;
        if (m_occupied[word] == ~uint64_t{0}) {
            m_fullWords[word / 64] |= summaryBit;
        }
    } else {
        m_occupied[word] &= ~bit;
        m_fullWords[word / 64] &= ~summaryBit;
    }
}

uint32_t StreamTable::firstEmptySlot() const {
    for (uint32_t s = 0; s < kSummaryWords; ++s) {
        if (m_fullWords[s] == ~uint64_t{0}) {
            continue;
        }
        const uint32_t word = s * 64 + static_cast<uint32_t>(std::countr_one(m_fullWords[s]));
        const uint32_t slot = word * 64 + static_cast<uint32_t>(std::countr_one(m_occupied[word]));
        return slot < kStreamSlotCount ? slot : NoSlot;
    }
    return NoSlot;
}

uint32_t StreamTable::occupiedSlots() const {
    std::lock_guard lock(m_lock);
    uint32_t n = 0;
    for (uint32_t w = 0; w < kOccupancyWords; ++w) {
        n += static_cast<uint32_t>(std::popcount(m_occupied[w]));
    }
    return n;
}

StreamSegment* StreamTable::allocateSegment(std::span<const uint8_t> datagram, bool creating,
                                            FileModeCounters& counters, FileOutcome& outcome) {
    const auto recordSite =
        creating ? SegmentAllocation::CreateRecord : SegmentAllocation::AppendRecord;
    const auto dataSite = creating ? SegmentAllocation::CreateData : SegmentAllocation::AppendData;
    auto fail = [&](SegmentAllocation site, size_t bytes) {
        outcome.result = FileResult::AllocationFailed;
        outcome.allocation = site;
        outcome.allocationBytes = bytes;
        return nullptr;
    };

    StreamSegment* segment = nullptr;
    if (!(m_allocationFault && m_allocationFault(recordSite))) {
        segment = new (std::nothrow) StreamSegment;
    }
    if (segment == nullptr) {
        return fail(recordSite, kSegmentRecordBytes);
    }
    counters.trackedMemory.fetch_add(kSegmentRecordBytes, std::memory_order_relaxed);

    uint8_t* data = nullptr;
    if (!(m_allocationFault && m_allocationFault(dataSite))) {
        data = new (std::nothrow) uint8_t[datagram.size()];
    }
    if (data == nullptr) {
        delete segment;
        counters.trackedMemory.fetch_sub(kSegmentRecordBytes, std::memory_order_relaxed);
        return fail(dataSite, datagram.size());
    }
    counters.trackedMemory.fetch_add(static_cast<int32_t>(datagram.size()),
                                     std::memory_order_relaxed);
    std::memcpy(data, datagram.data(), datagram.size());
    segment->length = static_cast<uint16_t>(datagram.size());
    segment->data = data;
    segment->next = nullptr;
    return segment;
}

FileOutcome StreamTable::fileSegment(std::span<const uint8_t> datagram, uint32_t ackKey,
                                     int32_t now, FileModeCounters& counters) {
    FileOutcome outcome;
    // A lastSeen of 0 marks an empty slot: a segment filed at clock 0 is stamped 1 ms later
    // so its stream is not mistaken for an empty slot and lost.
    const int32_t stamp = now == 0 ? 1 : now;

    uint32_t slot = NoSlot;
    bool creating = false;
    {
        std::lock_guard lock(m_lock);
        const uint32_t processing = m_processingSlot.load(std::memory_order_relaxed);
        if (m_dirtyMode) {
            slot = DirtySlotIndex(ackKey);
            if (m_head[slot].load(std::memory_order_relaxed) != nullptr) {
                if (m_ackKey[slot].load(std::memory_order_relaxed) != ackKey ||
                    slot == processing) {
                    outcome.result = FileResult::DirtyCollision;
                    return outcome;
                }
            } else {
                creating = true;
                m_nextFreeSlot.store(slot, std::memory_order_relaxed);
            }
        } else {
            const auto found = m_keyIndex.find(ackKey);
            if (found != m_keyIndex.end() && found->second != processing) {
                slot = found->second;
            } else {
                slot = m_nextFreeSlot.load(std::memory_order_relaxed);
                if (slot != NoSlot && m_head[slot].load(std::memory_order_relaxed) != nullptr) {
                    slot = firstEmptySlot();  // never overwrite a slot that holds a stream
                }
                if (slot == NoSlot) {
                    outcome.result = FileResult::TableFull;
                    return outcome;
                }
                creating = true;
            }
        }
        m_writingSlot.store(slot, std::memory_order_relaxed);
        if (creating) {
            m_slotCreationInProgress.store(true, std::memory_order_relaxed);
        }
    }
    outcome.slot = slot;

    StreamSegment* segment = allocateSegment(datagram, creating, counters, outcome);
    if (segment == nullptr) {
        std::lock_guard lock(m_lock);
        m_slotCreationInProgress.store(false, std::memory_order_relaxed);
        m_writingSlot.store(NoSlot, std::memory_order_relaxed);
        return outcome;
    }

    if (!creating) {
        m_tail[slot]->next = segment;
        m_tail[slot] = segment;
        m_lastSeen[slot].store(stamp, std::memory_order_release);
        std::lock_guard lock(m_lock);
        m_writingSlot.store(NoSlot, std::memory_order_relaxed);
        outcome.result = FileResult::Appended;
        return outcome;
    }

    m_tail[slot] = segment;
    m_ackKey[slot].store(ackKey, std::memory_order_relaxed);
    m_head[slot].store(segment, std::memory_order_release);
    m_lastSeen[slot].store(stamp, std::memory_order_release);
    {
        std::lock_guard lock(m_lock);
        markOccupied(slot, true);
        // The high-water mark covers every slot that holds a stream, so the assembler's scan
        // always reaches a new slot.
        uint32_t highWater = std::max(m_slotHighWater.load(std::memory_order_relaxed), slot + 1);
        if (!m_dirtyMode) {
            m_keyIndex[ackKey] = slot;
            const uint32_t nextFree = firstEmptySlot();
            m_nextFreeSlot.store(nextFree, std::memory_order_relaxed);
            highWater = std::max(highWater, nextFree);
        }
        m_slotHighWater.store(highWater, std::memory_order_release);
        m_slotCreationInProgress.store(false, std::memory_order_relaxed);
        m_writingSlot.store(NoSlot, std::memory_order_relaxed);
    }
    outcome.result = FileResult::Created;
    return outcome;
}

bool StreamTable::take(uint32_t slot, int32_t lastSeenRead) {
    std::lock_guard lock(m_lock);
    if (slot == m_writingSlot.load(std::memory_order_relaxed) ||
        m_lastSeen[slot].load(std::memory_order_relaxed) != lastSeenRead ||
        m_head[slot].load(std::memory_order_relaxed) == nullptr) {
        return false;
    }
    m_processingSlot.store(slot, std::memory_order_relaxed);
    const uint32_t key = m_ackKey[slot].load(std::memory_order_relaxed);
    m_ackKey[slot].store(0, std::memory_order_relaxed);
    if (!m_dirtyMode) {
        const auto found = m_keyIndex.find(key);
        if (found != m_keyIndex.end() && found->second == slot) {
            m_keyIndex.erase(found);
        }
    }
    return true;
}

void StreamTable::releaseChain(StreamSegment* head, FileModeCounters* counters) {
    while (head != nullptr) {
        StreamSegment* next = head->next;
        if (counters != nullptr) {
            counters->trackedMemory.fetch_sub(kSegmentRecordBytes + int32_t{head->length},
                                              std::memory_order_relaxed);
        }
        delete[] head->data;
        delete head;
        head = next;
    }
}

void StreamTable::freeTaken(uint32_t slot, FileModeCounters& counters) {
    // The slot is ours (processingSlot): the capture thread neither links into it nor
    // frees it, so its chain is released outside the lock.
    releaseChain(m_head[slot].load(std::memory_order_acquire), &counters);
    bool emptied = false;
    for (;;) {
        {
            std::lock_guard lock(m_lock);
            if (!emptied) {
                m_lastSeen[slot].store(0, std::memory_order_relaxed);
                m_head[slot].store(nullptr, std::memory_order_relaxed);
                m_tail[slot] = nullptr;
                markOccupied(slot, false);
                emptied = true;
            }
            // A creation in progress must never see nextFreeSlot change under it.
            if (!m_slotCreationInProgress.load(std::memory_order_relaxed)) {
                // A stream created here meanwhile keeps it: the creation rescanned.
                if (!m_dirtyMode && m_head[slot].load(std::memory_order_relaxed) == nullptr) {
                    m_nextFreeSlot.store(slot, std::memory_order_relaxed);
                }
                m_processingSlot.store(NoSlot, std::memory_order_relaxed);
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void StreamTable::releaseAll(FileModeCounters& counters) {
    std::lock_guard lock(m_lock);
    // Slots at or above the high-water mark were never written in this run.
    const uint32_t extent = m_slotHighWater.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < extent; ++i) {
        StreamSegment* head = m_head[i].load(std::memory_order_relaxed);
        if (head != nullptr) {
            releaseChain(head, &counters);
            m_head[i].store(nullptr, std::memory_order_relaxed);
            markOccupied(i, false);
        }
        m_tail[i] = nullptr;
        m_lastSeen[i].store(0, std::memory_order_relaxed);
        m_ackKey[i].store(0, std::memory_order_relaxed);
    }
    m_keyIndex.clear();
    m_processingSlot.store(NoSlot, std::memory_order_relaxed);
}

}  // namespace vorlanx
