// File Mode's receive loop: files every TCP data segment into the stream of its
// acknowledgement number.
//
// One thread per capture run, started by FileModeEngine; it starts the assembler, then
// receives until Stop. Datagrams come from a CaptureSource (the live capture socket, or a
// capture file replaying recorded traffic through the same loop).
//
// A recording is replayed on the recording's own clock: the stream clock follows the
// records' capture times, and the assembler's passes run on this thread, in step with
// that clock, instead of on a thread of their own. A stream is then quiet when the
// recording shows no segment of it for the ACK time-out, whatever the reading speed, so
// a replay writes the same files every time. At the end of the recording every stream
// still held is rebuilt and the run ends by itself.
//
// A replay also rebuilds a response as soon as the recording holds all of it (every byte
// from its header to its Content-Length, or to its last chunk, without a gap) rather than
// holding it for the ACK time-out: the same file, written sooner, and the memory held is
// that of the responses in flight instead of the last time-out's worth of traffic. Later
// copies of its segments (retransmissions) are passed over for the time-out that follows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "capture/capture_source.h"
#include "filemode/file_mode_counters.h"
#include "filemode/file_mode_filter.h"
#include "filemode/file_mode_state.h"
#include "filemode/stream_assembler_thread.h"
#include "filemode/stream_table.h"
#include "platform/clock.h"
#include "platform/user_prompt.h"

namespace vorlanx {

class SettingsRecord;

// What a Start hands to the capture thread: read from the window at the moment of Start.
struct FileModeStartRequest {
    std::string interfaceAddress;  // dotted IPv4 text
    FileModeFilter filter;
    bool dirtyMode = false;  // "Dirty mode (may be faster)"
    // Why this request must not start (a filter field holds no complete address), as the
    // user is told; empty when it may.
    std::string refusal;

    // The request from the settings record (the window stores its controls there first).
    static FileModeStartRequest fromSettings(const SettingsRecord& settings);
};

// What became of one received datagram.
enum class DatagramFate {
    Appended,          // joined its stream
    Created,           // started a stream
    WrongLength,       // shorter than 40 or longer than 65,535 bytes
    Filtered,          // refused by the FileModeFilter
    NoTcpData,         // not TCP, or a TCP segment without data
    AckZero,           // acknowledgement number 0
    TableFull,         // normal mode, no slot free
    DirtyCollision,    // Dirty mode, the slot of its index holds another stream
    AllocationFailed,  // no memory for the copy; reported
};

// The text of the message box shown when filing a segment fails for lack of memory; the
// first line names the allocation ("Fatal memory allocation error #n").
std::string FatalAllocationMessage(const FileOutcome& outcome);

class FileModeCaptureThread {
  public:
    inline static constexpr uint32_t kShortestDatagram = 40;
    inline static constexpr uint32_t kLongestDatagram = 65535;

    // `source` may be null (opening failed): every receive then fails until Stop.
    // `startAssembler` starts StreamAssemblerThread; `releaseRequest` runs when the loop
    // ends (the starter forgets the source). `events` may be null. References must outlive
    // the object. `replayAssembler`, for a source that is a recording, runs the passes on
    // this thread instead (startAssembler is then not called).
    FileModeCaptureThread(FileModeState& state, StreamTable& table, FileModeCounters& counters,
                          UserPrompt& prompt, FileModeView* events, const ProgramClock& clock,
                          std::shared_ptr<CaptureSource> source, FileModeStartRequest request,
                          std::function<void()> startAssembler = {},
                          std::function<void()> releaseRequest = {},
                          std::unique_ptr<StreamAssemblerThread> replayAssembler = {});

    // The thread body: capture loop start, the receive loop until Stop (or a receive of 0
    // bytes; for a recording, its end), capture loop end.
    void run();

    // Capture loop start without starting the assembler: empties the table for the run's
    // mode, zeroes receivedBytes and filesPending, notes the start clock. Capture thread.
    void beginCapture();

    // The rules for one datagram after it was counted: length, filter, TCP with data,
    // non-zero acknowledgement number, then filing (normal or Dirty). Reports allocation
    // failures through the prompt. Capture thread.
    DatagramFate handleDatagram(std::span<const uint8_t> datagram) {
        return handleDatagramAt(datagram, m_state.streamClock.load());
    }

  private:
    // handleDatagram with the stream clock `now`; `slot`, when given, receives the slot
    // used.
    DatagramFate handleDatagramAt(std::span<const uint8_t> datagram, int32_t now,
                                  uint32_t* slot = nullptr);
    // A replay's bookkeeping after a segment joined `slot`: rebuilds the response at once
    // when the recording now holds all of it.
    void followResponse(uint32_t slot, bool created, std::span<const uint8_t> datagram,
                        int32_t now);
    // Whether a replayed segment only repeats part of a response already rebuilt early.
    bool repeatsRebuiltResponse(std::span<const uint8_t> datagram, int32_t now);
    void receiveLive();
    // The recording's receive loop; returns whether it reached the recording's end (not
    // a Stop).
    bool replayRecording();
    // After the recording's end: one pass that finds every stream quiet; then a damaged or
    // unreadable recording is reported.
    void finishRecording(int32_t now);
    void endCapture();

    FileModeState& m_state;
    StreamTable& m_table;
    FileModeCounters& m_counters;
    UserPrompt& m_prompt;
    FileModeView* m_events;
    const ProgramClock& m_clock;
    std::shared_ptr<CaptureSource> m_source;
    FileModeStartRequest m_request;
    std::function<void()> m_startAssembler;
    std::function<void()> m_releaseRequest;
    std::unique_ptr<StreamAssemblerThread> m_replayAssembler;

    // Replay only: what is known of each slot's response so far.
    struct ResponseProgress {
        uint64_t payloadBytes = 0;  // filed, copies included
        uint64_t expected = 0;      // header + Content-Length; 0 while unknown
        bool chunked = false;
        bool lastChunkSeen = false;  // a segment ended as a last chunk does
        bool holeKnown = false;      // a look found the segments not yet joined
        uint32_t holeAt = 0;         // the sequence number the joined bytes stop at
    };
    std::vector<ResponseProgress> m_progress;
    // Responses rebuilt early, by key: their sequence range and when.
    struct RebuiltRange {
        uint32_t first = 0;
        uint32_t end = 0;
        int32_t at = 0;
    };
    std::unordered_map<uint32_t, RebuiltRange> m_rebuiltEarly;
};

}  // namespace vorlanx
