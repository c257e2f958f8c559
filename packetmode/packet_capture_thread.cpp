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

PacketIntake::PacketIntake(const PacketCaptureContext& context)
    : m_state(context.state),
      m_store(context.store),
      m_list(context.list),
      m_localTime(context.localTime),
      m_template(context.dateTimeTemplate),
      m_filters(context.filters.snapshot()) {}

const std::string& PacketIntake::timeText(const LocalTime& at) {
    const std::string& pattern = m_template.get();
    if (!m_haveTimeText || m_templateOfText != &pattern || !SameTime(at, m_timeOfText)) {
        m_timeText = ExpandDateTimeTemplate(pattern, at);
        m_timeOfText = at;
        m_templateOfText = &pattern;
        m_haveTimeText = true;
    }
    return m_timeText;
}

PacketIntake::Outcome PacketIntake::take(std::span<const uint8_t> datagram,
                                         const std::optional<CaptureMoment>& recorded) {
    // One receive takes at most this many bytes; the rest of a longer one is cut off.
    if (datagram.size() > kMaxDatagramBytes)
        datagram = datagram.first(kMaxDatagramBytes);
    const auto length = static_cast<uint32_t>(datagram.size());

    PacketRecord record = PacketRecord::create(datagram);
    if (!record)
        return Outcome::MemoryError;

    std::shared_ptr<const FilterColumnTexts> stringColumns;
    if (m_state.applyFiltersLive.load()) {
        const bool matchCase = m_state.matchCaseLive.load();
        const PacketFilterSet& filters = m_filters.get();
        const FilterDecision decision = filters.accepts(record.view(length), matchCase, m_scratch);
        // A discarded packet leaves no trace: the record goes with this call.
        if (decision.verdict == FilterVerdict::Discard)
            return Outcome::Discarded;
        if (decision.stringStageRan)
            stringColumns = filters.columnTexts(matchCase);
    }

    std::unique_lock listLock = m_state.lockListForWorker();
    // Read under the lock: a clear that ran while this thread waited restarts at 0.
    const int32_t slot = m_store.count();
    m_store.put(slot, std::move(record), static_cast<int32_t>(length));
    if (m_list.append(slot, std::move(stringColumns)) < 0) {
        m_store.release(slot);
        return Outcome::MaxListItems;
    }
    m_store.addAllocationBytes(length + kRecordSpareBytes);
    const CaptureMoment moment =
        recorded ? *recorded
                 : CaptureMoment{m_localTime.now(),
                                 std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count()};
    // When the copy cannot be allocated the slot keeps no time text; the row stays.
    (void)m_store.setTimeText(slot, timeText(moment.local));
    m_store.setCaptureTime(slot, moment.microsecondsSinceEpoch);
    m_store.setListed(slot, true);
    // `count` grows while listBusy is held, so no clear can come in between and leave it
    // pointing past an emptied slot.
    const int32_t newCount = m_store.advanceCount();
    listLock.unlock();

    m_state.listProgressPosition.store(slot, std::memory_order_relaxed);
    return newCount >= PacketStore::kCapacity ? Outcome::ItemLimitReached : Outcome::Listed;
}

PacketCaptureThread::PacketCaptureThread(PacketCaptureContext context,
                                         std::shared_ptr<CaptureSource> source,
                                         std::string interfaceAddress)
    : m_c(context),
      m_source(std::move(source)),
      m_interfaceAddress(std::move(interfaceAddress)),
      m_intake(context) {}

PacketCaptureThread::EndReason PacketCaptureThread::end(EndReason reason, const char* status) {
    if (reason != EndReason::Stopped && m_source)
        m_source->close();
    m_c.view.setStatusText(status);
    // Cleared last: whoever waits for the end of the capture sees the final status.
    m_c.state.capturing.store(false);
    return reason;
}

PacketCaptureThread::EndReason PacketCaptureThread::run() {
    PacketModeState& state = m_c.state;
    if (m_c.store.count() >= PacketStore::kCapacity)
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
        switch (m_intake.take(*received)) {
            case PacketIntake::Outcome::Discarded:
                break;
            case PacketIntake::Outcome::Listed:
                state.newPacketPending.store(true);
                break;
            case PacketIntake::Outcome::MemoryError:
                return end(EndReason::MemoryError, kMemoryErrorStatus);
            case PacketIntake::Outcome::MaxListItems:
                return end(EndReason::MaxListItems, kMaxListItemsStatus);
            case PacketIntake::Outcome::ItemLimitReached:
                state.newPacketPending.store(true);
                return end(EndReason::ItemLimitReached, kItemLimitStatus);
        }
    }
    return end(EndReason::Stopped, kStoppedStatus);
}

}  // namespace vorlanx
