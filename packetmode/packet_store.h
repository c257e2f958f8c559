// Every packet Packet Mode has accepted since the last clear, by slot index.
//
// Five arrays of 1,000,000 slots, allocated once when the window opens and never grown:
// the record, its length, a private copy of its Date / Time text, its capture time (for
// saved capture files) and whether its row is listed. Slots are filled in order (`count` is the next one) and not reused before a
// clear. Every list row names its slot, so sorting or deleting rows never moves a packet.
//
// Multi-step changes (fill a slot and add its row, clear everything) are made under
// PacketModeState::listBusy. Each single slot access is also guarded by the store's own
// short lock, so readers that do not take listBusy (painting, Find, logging) never touch
// a record while another thread releases it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "capture/packet_record.h"

namespace vorlanx {

class PacketStore {
  public:
    static constexpr int32_t kCapacity = 1'000'000;

    // Allocates the five arrays at full size, all slots empty.
    PacketStore();
    ~PacketStore();
    PacketStore(const PacketStore&) = delete;
    PacketStore& operator=(const PacketStore&) = delete;

    // Slots used since the last clear; also the index of the next slot. Any thread.
    int32_t count() const { return m_count.load(std::memory_order_acquire); }
    // Increases `count` by one after a slot is complete and returns the new value.
    // Holder of listBusy.
    int32_t advanceCount() { return m_count.fetch_add(1, std::memory_order_acq_rel) + 1; }
    // Sets `count` back to 0 at the end of a clear. Holder of listBusy.
    void resetCount() { m_count.store(0, std::memory_order_release); }

    // Sum of L + 44 over every record accepted since the last clear; deletions do not
    // reduce it (wraps as an unsigned 32-bit value). Any thread.
    uint32_t allocationBytes() const { return m_allocationBytes.load(std::memory_order_relaxed); }
    void addAllocationBytes(uint32_t bytes) {
        m_allocationBytes.fetch_add(bytes, std::memory_order_relaxed);
    }
    void resetAllocationBytes() { m_allocationBytes.store(0, std::memory_order_relaxed); }

    // Puts a record of `length` datagram bytes into the slot; its listed flag is left as it
    // is. A record already there is released. Ignored for an index outside the store.
    void put(int32_t slot, PacketRecord record, int32_t length);
    // Stores a private copy of the slot's Date / Time text. False when the copy could not
    // be allocated (the slot then keeps no time text) or the index is outside the store.
    bool setTimeText(int32_t slot, std::string_view text) noexcept;
    void setListed(int32_t slot, bool listed);
    // The moment the packet was captured, in microseconds since the epoch; taken with the
    // time text and released with it.
    void setCaptureTime(int32_t slot, int64_t microseconds);
    // The same for many slots under one hold of the store's lock.
    void setListed(std::span<const int32_t> slots, bool listed);
    // Releases the slot's record and time text and sets its length to 0. True when it held
    // a record.
    bool release(int32_t slot);
    // Releases the record of every slot; lengths, time texts, listed flags and `count` stay.
    // Used when a capture starts on a list from which every row was deleted.
    void releaseRecords();

    // Reads of one slot; an index outside the store reads as an empty slot. Any thread.
    bool hasRecord(int32_t slot) const;
    int32_t length(int32_t slot) const;
    bool listed(int32_t slot) const;
    bool hasTimeText(int32_t slot) const;
    std::string timeText(int32_t slot) const;
    int64_t captureTime(int32_t slot) const;

    // Runs fn(const PacketView&) on the slot's record while no other thread can release
    // it; false (fn not run) when the slot holds no record. Keep fn short: it holds the
    // store's lock.
    template <typename Fn>
    bool withRecord(int32_t slot, Fn&& fn) const {
        if (!valid(slot))
            return false;
        std::lock_guard lock(m_slotMutex);
        const PacketRecord& record = m_records[static_cast<size_t>(slot)];
        if (!record)
            return false;
        fn(record.view(static_cast<uint32_t>(m_lengths[static_cast<size_t>(slot)])));
        return true;
    }

    // Runs fn(const PacketView&, const char* timeText, int64_t captureTime) on the slot's
    // record, its time text (null when it has none) and its capture time, under one hold of
    // the store's lock; false (fn not run) when the slot holds no record. For the saves,
    // which read every slot: keep fn as short as for withRecord.
    template <typename Fn>
    bool withEntry(int32_t slot, Fn&& fn) const {
        if (!valid(slot))
            return false;
        const auto i = static_cast<size_t>(slot);
        std::lock_guard lock(m_slotMutex);
        const PacketRecord& record = m_records[i];
        if (!record)
            return false;
        fn(record.view(static_cast<uint32_t>(m_lengths[i])),
           static_cast<const char*>(m_timeTexts[i].get()), m_captureTimes[i]);
        return true;
    }

    // Bytes of the five arrays (they exist for the store's whole life).
    static size_t arrayBytes();

  private:
    static bool valid(int32_t slot) { return slot >= 0 && slot < kCapacity; }

    mutable std::mutex m_slotMutex;  // one slot access at a time; never held across calls
    std::unique_ptr<PacketRecord[]> m_records;
    std::unique_ptr<int32_t[]> m_lengths;
    std::unique_ptr<std::unique_ptr<char[]>[]> m_timeTexts;
    std::unique_ptr<int64_t[]> m_captureTimes;
    std::unique_ptr<uint8_t[]> m_listed;
    std::atomic<int32_t> m_count{0};
    std::atomic<uint32_t> m_allocationBytes{0};
};

}  // namespace vorlanx
