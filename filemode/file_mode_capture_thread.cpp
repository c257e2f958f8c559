#include "filemode/file_mode_capture_thread.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>

#include "capture/ipv4_tcp_header.h"
#include "filemode/http_response.h"

#include "settings/settings_record.h"

namespace vorlanx {

namespace {

// A failed receive is retried until Stop; the pause keeps a broken source (a socket that
// could not be switched, the end of a capture file) from spinning a processor.
constexpr std::chrono::milliseconds kFailedReceivePause{5};

const char* allocationWhat(SegmentAllocation allocation) {
    switch (allocation) {
        case SegmentAllocation::AppendRecord:
            return "the record of a segment joining a stream";
        case SegmentAllocation::AppendData:
            return "the copy of a segment joining a stream";
        case SegmentAllocation::CreateRecord:
            return "the record of the first segment of a new stream";
        case SegmentAllocation::CreateData:
            return "the copy of the first segment of a new stream";
    }
    return "a segment";
}

}  // namespace

FileModeStartRequest FileModeStartRequest::fromSettings(const SettingsRecord& settings) {
    FileModeStartRequest request;
    request.interfaceAddress = settings.interfaceAddress();
    request.filter = FileModeFilter::fromSettings(settings, &request.refusal);
    request.dirtyMode = settings.dirtyMode();
    return request;
}

std::string FatalAllocationMessage(const FileOutcome& outcome) {
    return "Fatal memory allocation error #" +
           std::to_string(static_cast<int>(outcome.allocation)) + "\r\nError allocating " +
           std::to_string(outcome.allocationBytes) + " bytes for " +
           allocationWhat(outcome.allocation) + "\r\nThe datagram was not stored.";
}

FileModeCaptureThread::FileModeCaptureThread(FileModeState& state, StreamTable& table,
                                             FileModeCounters& counters, UserPrompt& prompt,
                                             FileModeView* events, const ProgramClock& clock,
                                             std::shared_ptr<CaptureSource> source,
                                             FileModeStartRequest request,
                                             std::function<void()> startAssembler,
                                             std::function<void()> releaseRequest,
                                             std::unique_ptr<StreamAssemblerThread> replayAssembler)
    : m_state(state),
      m_table(table),
      m_counters(counters),
      m_prompt(prompt),
      m_events(events),
      m_clock(clock),
      m_source(std::move(source)),
      m_request(std::move(request)),
      m_startAssembler(std::move(startAssembler)),
      m_releaseRequest(std::move(releaseRequest)),
      m_replayAssembler(std::move(replayAssembler)) {}

void FileModeCaptureThread::beginCapture() {
    m_state.runDirtyMode.store(m_request.dirtyMode);
    m_state.captureStartClock.store(m_clock.nowMs());
    m_state.captureGeneration.fetch_add(1);
    m_table.beginCapture(m_request.dirtyMode);
    m_counters.receivedBytes.store(0);
    m_counters.filesPending.store(0);
}

void FileModeCaptureThread::run() {
    beginCapture();
    const bool replaying = m_replayAssembler && m_source && m_replayAssembler->begin();
    if (!replaying && m_startAssembler) {
        m_startAssembler();
    }
    if (m_events != nullptr) {
        m_events->statusChanged(kStatusRunningText);
    }
    if (replaying) {
        m_state.recordedClock.store(true);
        replayRecording();
        m_replayAssembler->finish();
        m_state.recordedClock.store(false);
    } else {
        receiveLive();
    }
    endCapture();
}

void FileModeCaptureThread::receiveLive() {
    for (;;) {
        // Checked before blocking too, so a Stop that came while the capture was being
        // opened is not left waiting for traffic.
        if (m_state.stopRequested.load()) {
            break;
        }
        const auto received = m_source ? m_source->receive() : std::nullopt;
        if (!received) {
            if (m_state.stopRequested.load()) {
                break;
            }
            std::this_thread::sleep_for(kFailedReceivePause);
            continue;
        }
        if (received->empty()) {
            break;  // a receive of 0 bytes ends the loop
        }
        m_counters.receivedBytes.fetch_add(received->size(), std::memory_order_relaxed);
        handleDatagram(*received);
    }
}

bool FileModeCaptureThread::replayRecording() {
    // The recording's clock: milliseconds since its first record, from 1 (a slot seen at 0
    // reads as empty), never running backwards when records are out of time order. The
    // 32-bit value wraps as the program clock does.
    std::optional<std::chrono::microseconds> origin;
    uint32_t now = 1;
    uint32_t lastPass = 1;
    const auto passEvery = static_cast<uint32_t>(m_replayAssembler->passInterval().count());
    for (;;) {
        if (m_state.stopRequested.load()) {
            return false;
        }
        const auto received = m_source->receive();
        if (!received || received->empty()) {
            if (m_state.stopRequested.load()) {
                return false;
            }
            finishRecording(static_cast<int32_t>(now));
            return true;
        }
        const std::chrono::microseconds at = m_source->recordTime();
        if (!origin) {
            origin = at;
        }
        const auto recorded = static_cast<uint32_t>(
            1 + std::chrono::duration_cast<std::chrono::milliseconds>(at - *origin).count());
        if (static_cast<int32_t>(recorded - now) > 0) {
            now = recorded;
        }
        m_state.streamClock.store(static_cast<int32_t>(now));
        const auto filingNow = static_cast<int32_t>(now == 0 ? 1 : now);
        if (now - lastPass >= passEvery) {
            m_replayAssembler->runPassAt(static_cast<int32_t>(now));
            lastPass = now;
            // Early rebuilds older than the time-out no longer shadow their key.
            const int32_t timeout = m_state.currentAckTimeout.load();
            std::erase_if(m_rebuiltEarly, [&](const auto& entry) {
                return filingNow - entry.second.at > timeout;
            });
        }
        m_counters.receivedBytes.fetch_add(received->size(), std::memory_order_relaxed);
        if (repeatsRebuiltResponse(*received, filingNow)) {
            continue;
        }
        uint32_t slot = NoSlot;
        const DatagramFate fate = handleDatagramAt(*received, filingNow, &slot);
        if (fate == DatagramFate::Appended || fate == DatagramFate::Created) {
            followResponse(slot, fate == DatagramFate::Created, *received, filingNow);
        }
    }
}

bool FileModeCaptureThread::repeatsRebuiltResponse(std::span<const uint8_t> datagram,
                                                   int32_t now) {
    if (m_rebuiltEarly.empty() || datagram.size() < kShortestDatagram) {
        return false;
    }
    const Ipv4TcpHeader header(datagram);
    if (header.protocol() != kProtocolTcp || header.tcpPayloadOffset() >= datagram.size()) {
        return false;
    }
    const auto found = m_rebuiltEarly.find(header.acknowledgementRaw());
    if (found == m_rebuiltEarly.end() ||
        now - found->second.at > m_state.currentAckTimeout.load()) {
        return false;
    }
    const RebuiltRange& range = found->second;
    const uint32_t length = static_cast<uint32_t>(datagram.size() - header.tcpPayloadOffset());
    const uint32_t offset = header.sequence() - range.first;  // serial distance
    if (offset + static_cast<uint64_t>(length) > range.end - range.first ||
        !m_request.filter.accepts(datagram)) {
        return false;
    }
    m_state.segmentsOffChain.fetch_add(1, std::memory_order_relaxed);
    m_state.bytesOffChain.fetch_add(length, std::memory_order_relaxed);
    return true;
}

void FileModeCaptureThread::followResponse(uint32_t slot, bool created,
                                           std::span<const uint8_t> datagram, int32_t now) {
    if (m_progress.empty()) {
        m_progress.resize(kStreamTableEntries);
    }
    ResponseProgress& p = m_progress[slot];
    if (created) {
        p = {};
    }
    const Ipv4TcpHeader header(datagram);
    const std::span<const uint8_t> payload = datagram.subspan(header.tcpPayloadOffset());
    const std::string_view text(reinterpret_cast<const char*>(payload.data()), payload.size());
    p.payloadBytes += payload.size();
    if (p.expected == 0 && !p.chunked && text.starts_with("HTTP/1.")) {
        // The header in one segment tells where the response ends.
        const ResponseClassification response = ClassifyResponse(payload, true);
        if (response.form != ResponseForm::NotHttp) {
            p.chunked = response.chunked;
            if (response.contentLength) {
                p.expected = response.bodyStart + *response.contentLength;
            }
        }
    }
    p.lastChunkSeen = p.lastChunkSeen || (p.chunked && text.ends_with("0\r\n\r\n"));
    const bool mayBeWhole = (p.expected != 0 && p.payloadBytes >= p.expected) || p.lastChunkSeen;
    // After a look that found a hole, only the segment that starts at the hole can close it.
    if (!mayBeWhole || (p.holeKnown && header.sequence() != p.holeAt)) {
        return;
    }
    uint32_t holeAt = 0;
    if (const auto whole = m_replayAssembler->rebuildIfWhole(slot, p.expected, holeAt)) {
        m_rebuiltEarly[header.acknowledgementRaw()] = {whole->firstSequence, whole->endSequence,
                                                        now};
        p = {};
    } else {
        p.holeKnown = true;
        p.holeAt = holeAt;
    }
}

void FileModeCaptureThread::finishRecording(int32_t now) {
    const int32_t timeout = std::max<int32_t>(m_state.currentAckTimeout.load(), 0);
    const auto end = static_cast<int32_t>(static_cast<uint32_t>(now) +
                                          static_cast<uint32_t>(timeout) + 1u);
    m_state.streamClock.store(end);
    m_replayAssembler->runPassAt(end);
    const std::string failure = m_source->failureText();
    if (!failure.empty()) {
        m_prompt.tell("", failure, PromptIcon::Error);
    }
}

DatagramFate FileModeCaptureThread::handleDatagramAt(std::span<const uint8_t> datagram,
                                                     int32_t now, uint32_t* slot) {
    if (datagram.size() < kShortestDatagram || datagram.size() > kLongestDatagram) {
        return DatagramFate::WrongLength;
    }
    if (!m_request.filter.accepts(datagram)) {
        return DatagramFate::Filtered;
    }
    const Ipv4TcpHeader header(datagram);
    if (header.protocol() != kProtocolTcp || header.tcpPayloadOffset() >= datagram.size()) {
        return DatagramFate::NoTcpData;
    }
    const uint32_t ackKey = header.acknowledgementRaw();
    if (ackKey == 0) {
        return DatagramFate::AckZero;
    }

    const FileOutcome outcome =
        m_table.fileSegment(datagram, ackKey, now, m_counters);
    if (slot != nullptr) {
        *slot = outcome.slot;
    }
    switch (outcome.result) {
        case FileResult::Appended:
            return DatagramFate::Appended;
        case FileResult::Created:
            return DatagramFate::Created;
        case FileResult::TableFull:
            m_state.segmentsDropped.fetch_add(1, std::memory_order_relaxed);
            m_state.segmentsTableFull.fetch_add(1, std::memory_order_relaxed);
            return DatagramFate::TableFull;
        case FileResult::DirtyCollision:
            m_state.segmentsDropped.fetch_add(1, std::memory_order_relaxed);
            m_state.segmentsDirtyCollision.fetch_add(1, std::memory_order_relaxed);
            return DatagramFate::DirtyCollision;
        case FileResult::AllocationFailed:
            m_state.segmentsDropped.fetch_add(1, std::memory_order_relaxed);
            m_prompt.tell("", FatalAllocationMessage(outcome));
            return DatagramFate::AllocationFailed;
    }
    return DatagramFate::NoTcpData;
}

void FileModeCaptureThread::endCapture() {
    if (m_source) {
        m_source->close();
    }
    if (m_releaseRequest) {
        m_releaseRequest();
    }
    m_source.reset();
    m_state.stopRequested.store(false);
    m_state.captureRunning.store(false);
    if (m_events != nullptr) {
        m_events->statusChanged(kStatusStoppedText);
        m_events->captureEnded();
    }
}

}  // namespace vorlanx
