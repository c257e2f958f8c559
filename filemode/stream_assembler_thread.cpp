#include "filemode/stream_assembler_thread.h"

#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "capture/ipv4_tcp_header.h"

namespace vorlanx {

RebuiltStreamHandler WriteRebuiltStreams(const FileModeLiveOptions& options,
                                         FileModeCounters& counters, UserPrompt& prompt,
                                         const LocalTimeSource& localTime) {
    return [&options, &counters, &prompt, &localTime](std::span<const uint8_t> stream,
                                                      const StreamOrigin& origin) {
        ProcessRebuiltStream(stream, origin, options, counters, prompt, localTime);
    };
}

namespace {

constexpr uint64_t kLongestStream = 0x7FFFFFFFu;  // half the sequence space

bool holdsTcpHeader(const StreamSegment& s) {
    return s.data != nullptr && s.length >= header_offsets::kMinimalTcpEnd;
}

Ipv4TcpHeader headerOf(const StreamSegment& s) {
    return Ipv4TcpHeader(std::span<const uint8_t>(s.data, s.data == nullptr ? 0 : s.length));
}

}  // namespace

uint32_t SegmentSequence(const StreamSegment& segment) {
    if (!holdsTcpHeader(segment)) {
        return 0;
    }
    return headerOf(segment).sequence();
}

std::span<const uint8_t> SegmentPayload(const StreamSegment& segment) {
    if (!holdsTcpHeader(segment)) {
        return {};
    }
    const uint32_t offset = headerOf(segment).tcpPayloadOffset();
    if (offset >= segment.length) {
        return {};
    }
    return {segment.data + offset, segment.data + segment.length};
}

StreamChain ChainSegments(const StreamSegment* firstFiled, const std::function<void()>& growing) {
    auto grow = [&growing] {
        if (growing) {
            growing();
        }
    };
    StreamChain chain;
    // Segments without a payload can never continue a chain; ignore them throughout.
    auto usable = [](const StreamSegment* s) { return !SegmentPayload(*s).empty(); };

    const StreamSegment* reference = nullptr;
    const StreamSegment* first = nullptr;
    int32_t firstDistance = 0;
    for (const StreamSegment* s = firstFiled; s != nullptr; s = s->next) {
        if (!usable(s)) {
            continue;
        }
        if (reference == nullptr) {
            reference = s;
        }
        const auto distance =
            static_cast<int32_t>(SegmentSequence(*s) - SegmentSequence(*reference));
        if (first == nullptr || distance < firstDistance) {
            first = s;
            firstDistance = distance;
        }
    }
    if (first == nullptr) {
        return chain;
    }

    // First segment in filing order for each sequence number; built only when the segment
    // filed next does not continue the chain (segments out of order or retransmitted).
    std::unordered_map<uint32_t, const StreamSegment*> bySequence;
    auto search = [&](uint32_t expected) -> const StreamSegment* {
        if (bySequence.empty()) {
            for (const StreamSegment* s = firstFiled; s != nullptr; s = s->next) {
                if (usable(s)) {
                    grow();
                    bySequence.try_emplace(SegmentSequence(*s), s);
                }
            }
        }
        const auto found = bySequence.find(expected);
        return found == bySequence.end() ? nullptr : found->second;
    };

    const StreamSegment* current = first;
    uint32_t expected = SegmentSequence(*first);
    while (current != nullptr) {
        const uint64_t payload = SegmentPayload(*current).size();
        // Past half the sequence space the numbers repeat; a longer run is not one stream.
        if (chain.length + payload > kLongestStream) {
            break;
        }
        grow();
        chain.segments.push_back(current);
        chain.length += payload;
        expected += static_cast<uint32_t>(payload);

        const StreamSegment* next = current->next;
        if (next == nullptr || !usable(next) || SegmentSequence(*next) != expected) {
            next = search(expected);
        }
        current = next;
    }
    // Bytes past the chain's end (serial distance from its first byte) were sent but
    // could not be joined: a gap, or the end of an over-long run.
    const uint32_t origin = SegmentSequence(*first);
    for (const StreamSegment* s = firstFiled; s != nullptr && !chain.gap; s = s->next) {
        if (usable(s)) {
            const uint64_t end = static_cast<uint32_t>(SegmentSequence(*s) - origin) +
                                 static_cast<uint64_t>(SegmentPayload(*s).size());
            chain.gap = end > chain.length;
        }
    }
    return chain;
}

std::string NextActivityText(std::string_view current) {
    if (current.empty()) {
        return std::string(current);
    }
    switch (current.front()) {
        case '-':
            return "/";
        case '/':
            return "|";
        case '|':
            return "\\";
        case '\\':
            return "----";
        default:
            return std::string(current);
    }
}

StreamAssemblerThread::StreamAssemblerThread(FileModeState& state, StreamTable& table,
                                             FileModeCounters& counters, UserPrompt& prompt,
                                             FileModeView* events, RebuiltStreamHandler handler,
                                             std::chrono::milliseconds passInterval)
    : m_state(state),
      m_table(table),
      m_counters(counters),
      m_prompt(prompt),
      m_events(events),
      m_handler(std::move(handler)),
      m_passInterval(passInterval) {}

void StreamAssemblerThread::run() {
    if (!begin()) {
        return;
    }
    while (m_state.captureRunning.load()) {
        std::this_thread::sleep_for(m_passInterval);
        runPass();
    }
    finish();
}

bool StreamAssemblerThread::begin() {
    if (m_state.assemblerActive.exchange(true)) {
        return false;
    }
    m_activity = "----";  // shown only from the first pass on
    m_counters.filesProcessedRun.store(0);
    m_counters.bytesProcessedRun.store(0);
    m_counters.filesWrittenRun.store(0);
    m_counters.bytesWrittenRun.store(0);
    return true;
}

void StreamAssemblerThread::finish() {
    // Streams that had not yet gone quiet are discarded, not written.
    m_table.releaseAll(m_counters);
    m_counters.filesPending.store(0);
    m_state.assemblerActive.store(false);
}

uint32_t StreamAssemblerThread::runPassAt(int32_t now) {
    const auto wallNow = std::chrono::steady_clock::now();
    if (!m_paceActivity || wallNow - m_lastActivity >= m_passInterval) {
        m_lastActivity = wallNow;
        m_activity = NextActivityText(m_activity);
        if (m_events != nullptr) {
            m_events->activityChanged(m_activity);
        }
    }

    const int32_t timeout = m_state.currentAckTimeout.load();
    uint32_t pending = 0;
    uint32_t taken = 0;
    for (uint32_t slot = 0; slot < m_table.slotHighWater(); ++slot) {
        const int32_t lastSeen = m_table.lastSeen(slot);
        if (lastSeen == 0) {
            continue;
        }
        ++pending;
        // Quiet for more than the time-out. The difference is taken modulo 2^32 so the
        // test stays right when the 32-bit program clock wraps.
        const auto quiet =
            static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(lastSeen));
        if (quiet <= timeout) {
            continue;
        }
        if (!m_table.take(slot, lastSeen)) {
            continue;  // the capture thread is writing it, or it just got a segment
        }
        ++taken;
        rebuildAndFree(slot);
    }
    m_counters.filesPending.store(pending);
    m_state.assemblerPasses.fetch_add(1);
    return taken;
}

void StreamAssemblerThread::rebuildAndFree(uint32_t slot, const StreamChain* chain) {
    m_counters.filesProcessedRun.fetch_add(1);
    m_counters.filesProcessedAll.fetch_add(1);
    if (chain != nullptr) {
        rebuildChain(m_table.head(slot), *chain);
    } else {
        rebuildTaken(slot);
    }
    m_table.freeTaken(slot, m_counters);
}

std::optional<StreamAssemblerThread::WholeResponse> StreamAssemblerThread::rebuildIfWhole(
    uint32_t slot, uint64_t expectedLength, uint32_t& holeAt) {
    StreamChain chain;
    try {
        chain = ChainSegments(m_table.head(slot));
    } catch (const std::exception&) {
        return std::nullopt;  // the time-out's rebuild will meet the shortage and report it
    }
    if (chain.segments.empty()) {
        return std::nullopt;
    }
    holeAt = SegmentSequence(*chain.segments.front()) + static_cast<uint32_t>(chain.length);
    if (chain.gap) {
        return std::nullopt;
    }
    const auto lastPayload = SegmentPayload(*chain.segments.back());
    const std::string_view tail(reinterpret_cast<const char*>(lastPayload.data()),
                                lastPayload.size());
    if (expectedLength != 0 ? chain.length < expectedLength : !tail.ends_with("0\r\n\r\n")) {
        return std::nullopt;
    }
    const WholeResponse whole{SegmentSequence(*chain.segments.front()),
                              SegmentSequence(*chain.segments.front()) +
                                  static_cast<uint32_t>(chain.length)};
    if (!m_table.take(slot, m_table.lastSeen(slot))) {
        return std::nullopt;
    }
    rebuildAndFree(slot, &chain);  // the chain just built: the slot has not changed since
    return whole;
}

void StreamAssemblerThread::countOffChain(const StreamSegment* firstFiled,
                                          const StreamChain& joined) {
    uint64_t segments = 0;
    uint64_t bytes = 0;
    for (const StreamSegment* s = firstFiled; s != nullptr; s = s->next) {
        ++segments;
        bytes += SegmentPayload(*s).size();
    }
    m_state.segmentsOffChain.fetch_add(segments - joined.segments.size(),
                                       std::memory_order_relaxed);
    m_state.bytesOffChain.fetch_add(bytes - joined.length, std::memory_order_relaxed);
}

void StreamAssemblerThread::reportRebuildMemory(uint64_t length) noexcept {
    try {
        m_prompt.tell("", "Memory allocation error #0\r\nError allocating " +
                              std::to_string(length) +
                              " bytes\r\nPossible cause: Not enuf memory available");
    } catch (const std::exception&) {
        // Not even the message could be built: the stream is lost without one.
    }
}

void StreamAssemblerThread::abandonRebuild(const StreamSegment* firstFiled) noexcept {
    // Memory ran out while the chain was put together: the stream is lost as if its buffer
    // could not be had (the message names the bytes its segments carry); the caller frees
    // the slot.
    countOffChain(firstFiled, StreamChain{});
    uint64_t carried = 0;
    for (const StreamSegment* s = firstFiled; s != nullptr; s = s->next) {
        carried += SegmentPayload(*s).size();
    }
    reportRebuildMemory(carried);
}

void StreamAssemblerThread::rebuildTaken(uint32_t slot) {
    const StreamSegment* firstFiled = m_table.head(slot);
    StreamChain chain;
    try {
        chain = ChainSegments(firstFiled, m_chainFault);
    } catch (const std::bad_alloc&) {
        abandonRebuild(firstFiled);
        return;
    } catch (const std::length_error&) {
        abandonRebuild(firstFiled);
        return;
    }
    rebuildChain(firstFiled, chain);
}

void StreamAssemblerThread::rebuildChain(const StreamSegment* firstFiled, const StreamChain& chain) {
    if (chain.segments.empty()) {
        countOffChain(firstFiled, chain);
        return;
    }
    const uint64_t length = chain.length;
    const uint64_t bufferBytes = length + 1;

    std::unique_ptr<uint8_t[]> buffer;
    if (!(m_bufferFault && m_bufferFault(bufferBytes))) {
        buffer.reset(new (std::nothrow) uint8_t[bufferBytes]);
    }
    if (!buffer) {
        countOffChain(firstFiled, StreamChain{});
        reportRebuildMemory(length);
        return;
    }
    countOffChain(firstFiled, chain);
    m_counters.trackedMemory.fetch_add(static_cast<int32_t>(bufferBytes));
    m_counters.bytesProcessedRun.fetch_add(bufferBytes);
    m_counters.bytesProcessedAll.fetch_add(bufferBytes);

    uint8_t* out = buffer.get();
    for (const StreamSegment* s : chain.segments) {
        const auto payload = SegmentPayload(*s);
        std::memcpy(out, payload.data(), payload.size());
        out += payload.size();
    }
    *out = 0;

    // The file is named after the addresses of the first segment filed, which may be a
    // retransmission or a later part of the response.
    // A datagram too short for both addresses names neither.
    const Ipv4TcpHeader firstHeader = headerOf(*firstFiled);
    StreamOrigin origin{};
    if (firstHeader.holds(header_offsets::kSourceAddress, 8)) {
        origin = {firstHeader.sourceAddress(), firstHeader.destinationAddress()};
    }
    origin.sequenceGap = chain.gap;
    if (m_handler) {
        try {
            m_handler(std::span<const uint8_t>(buffer.get(), length), origin);
        } catch (const std::exception& e) {
            // One stream is lost; the run goes on and the buffer is still released.
            m_prompt.tell("", std::string("Error storing a rebuilt stream of ") +
                                  std::to_string(length) + " bytes\r\n" + e.what());
        }
    }
    buffer.reset();
    m_counters.trackedMemory.fetch_sub(static_cast<int32_t>(bufferBytes));
}

}  // namespace vorlanx
