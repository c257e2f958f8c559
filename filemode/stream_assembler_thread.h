// The consumer side of File Mode: rebuilds each quiet stream and hands it on.
//
// Every pass (100 ms) walks the StreamTable, takes each slot that has been quiet for more
// than the ACK time-out, puts its segments in sequence order, copies the payloads into one
// buffer and hands the buffer to the response writer (classify, decide, name, write). The
// slot is then freed. When the capture has ended the thread finishes its current pass,
// releases every segment still held and ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filemode/file_mode_counters.h"
#include "filemode/file_mode_options.h"
#include "filemode/file_mode_state.h"
#include "filemode/response_writer.h"
#include "filemode/stream_table.h"
#include "platform/local_time.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// What becomes of one rebuilt stream: `stream` is followed in memory by a zero byte.
// Assembler thread.
using RebuiltStreamHandler =
    std::function<void(std::span<const uint8_t> stream, const StreamOrigin& origin)>;

// The handler the program runs with: ProcessRebuiltStream with the window's live values.
// The references must outlive the handler.
RebuiltStreamHandler WriteRebuiltStreams(const FileModeLiveOptions& options,
                                         FileModeCounters& counters, UserPrompt& prompt,
                                         const LocalTimeSource& localTime);

// A stored segment's TCP sequence number (bytes 24..27, big-endian) and payload (from
// 20 + TCP header length to the stored length; the IP header is taken as 20 bytes).
// A segment too short to hold a TCP header has no payload.
uint32_t SegmentSequence(const StreamSegment& segment);
std::span<const uint8_t> SegmentPayload(const StreamSegment& segment);

// The segments whose payloads make up a slot's stream, in order, and their total length.
struct StreamChain {
    std::vector<const StreamSegment*> segments;
    uint64_t length = 0;
    // Some payload lies past the chain's end: the stream had a sequence gap (or ran past
    // the longest stream), so its rebuilt bytes are incomplete.
    bool gap = false;
};

// The chain rule over a slot's segments (`firstFiled` and its `next` links, filing order):
// start with the segment lowest in sequence order (the first filed among equals); then
// repeatedly continue with the segment whose sequence number is the expected one (the one
// filed directly after the current segment if it fits, otherwise the first such in filing
// order) and stop at the first gap. Sequence order is 32-bit serial-number order relative
// to the first-filed segment, so a response whose sequence numbers wrap past 4,294,967,295
// is rebuilt whole from its true beginning. A stream never grows past 2^31 - 1 bytes.
// `gap` is set when a segment carries bytes beyond the chain's end.
// `growing`, when given, is called before each allocation the chain makes (a test seam: it
// may throw as an exhausted allocator would). Throws std::bad_alloc when memory runs out.
StreamChain ChainSegments(const StreamSegment* firstFiled,
                          const std::function<void()>& growing = {});

// The activity indicator's next text after `current`: "-" gives "/", "/" gives "|", "|"
// gives "\\", "\\" gives "----" (by the first character); anything else stays.
std::string NextActivityText(std::string_view current);

class StreamAssemblerThread {
  public:
    static constexpr std::chrono::milliseconds kPassInterval{100};

    // All references must outlive the object. `events` may be null.
    StreamAssemblerThread(FileModeState& state, StreamTable& table, FileModeCounters& counters,
                          UserPrompt& prompt, FileModeView* events, RebuiltStreamHandler handler,
                          std::chrono::milliseconds passInterval = kPassInterval);

    // The thread body: ends at once if another assembler is active; otherwise runs passes
    // while the capture runs, then releases every segment still held, sets filesPending
    // to 0 and clears assemblerActive.
    void run();

    // run() in parts, for a replay that runs the passes itself in step with the
    // recording's clock: begin() claims assemblerActive and zeroes the run's counters
    // (false, and nothing done, when another assembler is active); finish() releases what
    // is still held and clears assemblerActive.
    bool begin();
    void finish();

    // The indicator then advances at most once per pass interval of real time, however
    // often passes run (a replay runs them as fast as it reads).
    void paceActivity() { m_paceActivity = true; }

    // One pass over slots 0..slotHighWater-1 (without the wait before it): advances the
    // indicator, rebuilds and frees every slot quiet for longer than currentAckTimeout at
    // streamClock, and sets filesPending to the number of non-empty slots seen. Returns
    // the number of slots taken. Assembler thread (or a test in its place).
    uint32_t runPass() { return runPassAt(m_state.streamClock.load()); }
    // The same at stream clock `now`.
    uint32_t runPassAt(int32_t now);

    std::chrono::milliseconds passInterval() const { return m_passInterval; }

    // What rebuildIfWhole rebuilt: the sequence numbers its response covered, from the
    // first byte to one past the last.
    struct WholeResponse {
        uint32_t firstSequence = 0;
        uint32_t endSequence = 0;
    };
    // A replay's early rebuild: when the slot's segments join without a gap from its
    // response's header to its end (`expectedLength` bytes, header included; 0 for a
    // chunked body, whose end is its last chunk), takes, rebuilds and frees the slot at
    // once instead of after the ACK time-out. Nothing happens otherwise. Replay (capture)
    // thread, which is then also the only one filing segments.
    // Otherwise `holeAt` is the sequence number where the joined bytes stop.
    std::optional<WholeResponse> rebuildIfWhole(uint32_t slot, uint64_t expectedLength,
                                                uint32_t& holeAt);

    // The indicator text last shown ("----" before the first pass). Assembler thread.
    const std::string& activityText() const { return m_activity; }

    // Test hook: when set, called before the rebuild buffer is allocated with its size;
    // true makes the allocation fail as if memory were exhausted.
    void setBufferAllocationFault(std::function<bool(uint64_t)> fault) {
        m_bufferFault = std::move(fault);
    }
    // Test hook: called before each allocation of the chain rule (ChainSegments' `growing`);
    // it may throw std::bad_alloc or std::length_error. Either is reported like a failed
    // rebuild buffer, and the slot is freed.
    void setChainAllocationFault(std::function<void()> fault) { m_chainFault = std::move(fault); }

  private:
    // Counts, rebuilds and frees a slot take() gave; `chain`, when given, is its chain
    // already built.
    void rebuildAndFree(uint32_t slot, const StreamChain* chain = nullptr);
    void rebuildTaken(uint32_t slot);
    // Copies the chain's payloads into one buffer and hands it to the handler.
    void rebuildChain(const StreamSegment* firstFiled, const StreamChain& chain);
    // Adds the slot's segments that `joined` leaves out to the off-chain counters.
    void countOffChain(const StreamSegment* firstFiled, const StreamChain& joined);
    // "Memory allocation error #0" for a stream of `length` bytes. Never throws.
    void reportRebuildMemory(uint64_t length) noexcept;
    // The chain could not be built for want of memory: counts and reports the lost stream.
    void abandonRebuild(const StreamSegment* firstFiled) noexcept;

    FileModeState& m_state;
    StreamTable& m_table;
    FileModeCounters& m_counters;
    UserPrompt& m_prompt;
    FileModeView* m_events;
    RebuiltStreamHandler m_handler;
    std::chrono::milliseconds m_passInterval;
    std::string m_activity = "----";
    bool m_paceActivity = false;
    std::chrono::steady_clock::time_point m_lastActivity{};
    std::function<bool(uint64_t)> m_bufferFault;
    std::function<void()> m_chainFault;
};

}  // namespace vorlanx
