#include "packetmode/packet_capture_thread.h"

#include <chrono>

#include "capture/date_time_template.h"

namespace vorlanx {

namespace {

bool SameTime(const LocalTime& a, const LocalTime& b) {
    return a.millisecond == b.millisecond && a.second == b.second && a.minute == b.minute &&
           a.hour == b.hour && a.day == b.day && a.month == b.month && a.year == b.year;
}

}  // namespace

PacketCaptureThread::PacketCaptureThread(PacketCaptureContext context,
                                         std::shared_ptr<CaptureSource> source,
                                         std::string interfaceAddress)
    : m_c(context),
      m_source(std::move(source)),
      m_interfaceAddress(std::move(interfaceAddress)),
      m_template(context.dateTimeTemplate),
      m_filters(context.filters.snapshot()) {}

PacketCaptureThread::EndReason PacketCaptureThread::end(EndReason reason, const char* status) {
    if (reason != EndReason::Stopped && m_source)
        m_source->close();
    m_c.view.setStatusText(status);
    // Cleared last: whoever waits for the end of the capture sees the final status.
    m_c.state.capturing.store(false);
    return reason;
}

const std::string& PacketCaptureThread::timeText() {
    const std::string& pattern = m_template.get();
    const LocalTime now = m_c.localTime.now();
    if (!m_haveTimeText || m_templateOfText != &pattern || !SameTime(now, m_timeOfText)) {
        m_timeText = ExpandDateTimeTemplate(pattern, now);
        m_timeOfText = now;
        m_templateOfText = &pattern;
        m_haveTimeText = true;
    }
    return m_timeText;
}

PacketCaptureThread::EndReason PacketCaptureThread::run() {
    PacketModeState& state = m_c.state;
    PacketStore& store = m_c.store;

    if (store.count() >= PacketStore::kCapacity)
        return end(EndReason::ItemLimitReached, kItemLimitStatus);
    m_c.view.setStatusText(kListeningOnStatus + m_interfaceAddress);

    while (!state.exitRequested.load() && state.capturing.load() && !m_c.shutdown.load()) {
        std::optional<std::span<const uint8_t>> received =
            m_source ? m_source->receive() : std::nullopt;
        if (!received) {
            if (m_source)
                m_source->close();
            break;
        }
        std::span<const uint8_t> datagram = *received;
        // One receive takes at most this many bytes; the rest of a longer one is cut off.
        if (datagram.size() > kMaxDatagramBytes)
            datagram = datagram.first(kMaxDatagramBytes);
        const auto length = static_cast<uint32_t>(datagram.size());

        PacketRecord record = PacketRecord::create(datagram);
        if (!record)
            return end(EndReason::MemoryError, kMemoryErrorStatus);

        std::shared_ptr<const FilterColumnTexts> stringColumns;
        if (state.applyFiltersLive.load()) {
            const bool matchCase = state.matchCaseLive.load();
            const PacketFilterSet& filters = m_filters.get();
            const FilterDecision decision =
                filters.accepts(record.view(length), matchCase, m_scratch);
            // A discarded packet leaves no trace: the record goes with this iteration.
            if (decision.verdict == FilterVerdict::Discard)
                continue;
            if (decision.stringStageRan)
                stringColumns = filters.columnTexts(matchCase);
        }

        std::unique_lock listLock = state.lockListForWorker();
        // Read under the lock: a clear that ran while this thread waited restarts at 0.
        const int32_t slot = store.count();
        store.put(slot, std::move(record), static_cast<int32_t>(length));
        if (m_c.list.append(slot, std::move(stringColumns)) < 0) {
            store.release(slot);
            listLock.unlock();
            return end(EndReason::MaxListItems, kMaxListItemsStatus);
        }
        store.addAllocationBytes(length + kRecordSpareBytes);
        // When the copy cannot be allocated the slot keeps no time text; the row stays.
        (void)store.setTimeText(slot, timeText());
        store.setCaptureTime(slot, std::chrono::duration_cast<std::chrono::microseconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count());
        store.setListed(slot, true);
        // `count` grows while listBusy is held, so no clear can come in between and
        // leave it pointing past an emptied slot.
        const int32_t newCount = store.advanceCount();
        listLock.unlock();

        state.newPacketPending.store(true);
        state.listProgressPosition.store(slot, std::memory_order_relaxed);
        if (newCount >= PacketStore::kCapacity)
            return end(EndReason::ItemLimitReached, kItemLimitStatus);
    }
    return end(EndReason::Stopped, kStoppedStatus);
}

}  // namespace vorlanx
