#include "packetmode/packet_store.h"

#include <cstring>
#include <new>

namespace vorlanx {

PacketStore::PacketStore()
    : m_records(new PacketRecord[kCapacity]),
      m_lengths(new int32_t[kCapacity]()),
      m_timeTexts(new std::unique_ptr<char[]>[kCapacity]),
      m_captureTimes(new int64_t[kCapacity]()),
      m_listed(new uint8_t[kCapacity]()) {}

PacketStore::~PacketStore() = default;

size_t PacketStore::arrayBytes() {
    return static_cast<size_t>(kCapacity) * (sizeof(PacketRecord) + sizeof(int32_t) +
                                             sizeof(std::unique_ptr<char[]>) + sizeof(int64_t) +
                                             sizeof(uint8_t));
}

void PacketStore::put(int32_t slot, PacketRecord record, int32_t length) {
    if (!valid(slot))
        return;
    PacketRecord old;
    {
        std::lock_guard lock(m_slotMutex);
        old = std::move(m_records[static_cast<size_t>(slot)]);
        m_records[static_cast<size_t>(slot)] = std::move(record);
        m_lengths[static_cast<size_t>(slot)] = length;
    }
    // `old` is released outside the lock.
}

bool PacketStore::setTimeText(int32_t slot, std::string_view text) noexcept {
    if (!valid(slot))
        return false;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[text.size() + 1]);
    if (copy) {
        std::memcpy(copy.get(), text.data(), text.size());
        copy[text.size()] = '\0';
    }
    std::lock_guard lock(m_slotMutex);
    m_timeTexts[static_cast<size_t>(slot)].swap(copy);
    return m_timeTexts[static_cast<size_t>(slot)] != nullptr;
}

void PacketStore::setCaptureTime(int32_t slot, int64_t microseconds) {
    if (!valid(slot))
        return;
    std::lock_guard lock(m_slotMutex);
    m_captureTimes[static_cast<size_t>(slot)] = microseconds;
}

int64_t PacketStore::captureTime(int32_t slot) const {
    if (!valid(slot))
        return 0;
    std::lock_guard lock(m_slotMutex);
    return m_captureTimes[static_cast<size_t>(slot)];
}

void PacketStore::setListed(int32_t slot, bool listed) {
    if (!valid(slot))
        return;
    std::lock_guard lock(m_slotMutex);
    m_listed[static_cast<size_t>(slot)] = listed ? 1 : 0;
}

void PacketStore::setListed(std::span<const int32_t> slots, bool listed) {
    std::lock_guard lock(m_slotMutex);
    for (const int32_t slot : slots)
        if (valid(slot))
            m_listed[static_cast<size_t>(slot)] = listed ? 1 : 0;
}

bool PacketStore::release(int32_t slot) {
    if (!valid(slot))
        return false;
    PacketRecord record;
    std::unique_ptr<char[]> text;
    {
        std::lock_guard lock(m_slotMutex);
        const auto i = static_cast<size_t>(slot);
        record = std::move(m_records[i]);
        text = std::move(m_timeTexts[i]);
        m_captureTimes[i] = 0;
        m_lengths[i] = 0;
    }
    return static_cast<bool>(record);
}

void PacketStore::releaseRecords() {
    for (int32_t slot = 0; slot < kCapacity; ++slot) {
        PacketRecord record;
        std::lock_guard lock(m_slotMutex);
        record = std::move(m_records[static_cast<size_t>(slot)]);
    }
}

bool PacketStore::hasRecord(int32_t slot) const {
    if (!valid(slot))
        return false;
    std::lock_guard lock(m_slotMutex);
    return static_cast<bool>(m_records[static_cast<size_t>(slot)]);
}

int32_t PacketStore::length(int32_t slot) const {
    if (!valid(slot))
        return 0;
    std::lock_guard lock(m_slotMutex);
    return m_lengths[static_cast<size_t>(slot)];
}

bool PacketStore::listed(int32_t slot) const {
    if (!valid(slot))
        return false;
    std::lock_guard lock(m_slotMutex);
    return m_listed[static_cast<size_t>(slot)] != 0;
}

bool PacketStore::hasTimeText(int32_t slot) const {
    if (!valid(slot))
        return false;
    std::lock_guard lock(m_slotMutex);
    return m_timeTexts[static_cast<size_t>(slot)] != nullptr;
}

std::string PacketStore::timeText(int32_t slot) const {
    if (!valid(slot))
        return {};
    std::lock_guard lock(m_slotMutex);
    const char* text = m_timeTexts[static_cast<size_t>(slot)].get();
    return text ? std::string(text) : std::string();
}

}  // namespace vorlanx
