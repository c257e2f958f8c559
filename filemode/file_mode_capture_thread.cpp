#include "filemode/file_mode_capture_thread.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "capture/ipv4_tcp_header.h"

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
                                             std::function<void()> releaseRequest)
    : m_state(state),
      m_table(table),
      m_counters(counters),
      m_prompt(prompt),
      m_events(events),
      m_clock(clock),
      m_source(std::move(source)),
      m_request(std::move(request)),
      m_startAssembler(std::move(startAssembler)),
      m_releaseRequest(std::move(releaseRequest)) {}

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
    if (m_startAssembler) {
        m_startAssembler();
    }
    if (m_events != nullptr) {
        m_events->statusChanged(kStatusRunningText);
    }

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
    endCapture();
}

DatagramFate FileModeCaptureThread::handleDatagram(std::span<const uint8_t> datagram) {
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
        m_table.fileSegment(datagram, ackKey, m_state.streamClock.load(), m_counters);
    switch (outcome.result) {
        case FileResult::Appended:
            return DatagramFate::Appended;
        case FileResult::Created:
            return DatagramFate::Created;
        case FileResult::TableFull:
            m_state.segmentsDropped.fetch_add(1, std::memory_order_relaxed);
            return DatagramFate::TableFull;
        case FileResult::DirtyCollision:
            m_state.segmentsDropped.fetch_add(1, std::memory_order_relaxed);
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
