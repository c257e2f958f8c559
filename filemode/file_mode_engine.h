// Start and Stop of the File Mode capture, and the threads they run.
//
// Start runs the start routine on a short-lived thread: it opens the capture (the routine
// and its messages are Packet Mode's too), starts FileModeCaptureThread and
// ends; the capture thread starts StreamAssemblerThread. Stop closes the capture, which
// ends a blocked receive at once. The starter owns the StreamTable and joins every thread
// it started when it is destroyed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "capture/capture_source.h"
#include "capture/worker_threads.h"
#include "filemode/file_mode_capture_thread.h"
#include "filemode/file_mode_counters.h"
#include "filemode/file_mode_options.h"
#include "filemode/file_mode_state.h"
#include "filemode/stream_assembler_thread.h"
#include "filemode/stream_table.h"
#include "platform/clock.h"
#include "platform/local_time.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// What the File Mode threads share; everything must outlive the starter.
struct FileModeServices {
    FileModeState& state;
    FileModeCounters& counters;
    CaptureSourceFactory& sources;
    UserPrompt& prompt;
    const FileModeLiveOptions& options;
    const ProgramClock& clock;
    const LocalTimeSource& localTime;
    FileModeView* events = nullptr;
};

enum class StartOutcome {
    Started,         // the capture thread runs
    Refused,         // a capture or the previous run's assembler is still running
    UnableToListen,  // the interface cannot listen; reported, nothing changed
};

class FileModeEngine {
  public:
    // `handler` receives each rebuilt stream; empty means writing files with the window's
    // live values (WriteRebuiltStreams). `passInterval` is the assembler's pass period.
    explicit FileModeEngine(
        FileModeServices services, RebuiltStreamHandler handler = {},
        std::chrono::milliseconds passInterval = StreamAssemblerThread::kPassInterval);
    // Stops a running capture and joins every thread started (the assembler ends after
    // its current pass, without writing pending streams).
    ~FileModeEngine();
    FileModeEngine(const FileModeEngine&) = delete;
    FileModeEngine& operator=(const FileModeEngine&) = delete;

    // The Start button: runs startNow on a new thread at normal priority and returns at
    // once. User-interface thread.
    void start(FileModeStartRequest request);

    // The start routine itself, on the calling thread: refuses silently while a capture
    // or the previous run's assembler is running; otherwise opens the capture, starts the
    // capture thread (above normal priority) and tells the window (captureStarted).
    StartOutcome startNow(FileModeStartRequest request);

    // Starts a run over `recording` (an opened capture file) instead of the interface: the
    // same refusals, capture thread and events; the run replays the recording on its own
    // clock and ends by itself at its end, with every stream rebuilt. Any thread.
    StartOutcome startReplay(std::shared_ptr<CaptureSource> recording,
                             FileModeStartRequest request);

    // The Stop button: when a capture runs, requests the stop and closes the capture
    // source (a blocked receive returns at once) and returns true; otherwise does nothing
    // and returns false. Any thread.
    bool stop();

    // Waits until neither a capture nor an assembler runs and every started thread has
    // ended, at most `limit`. Returns whether that happened. Not on a worker thread.
    bool waitUntilIdle(std::chrono::milliseconds limit);

    // Bytes waiting in the open capture's receive queue (the buffer usage bar); 0 when
    // none is open. Any thread.
    uint64_t bytesWaiting() const;

    // The table of the runs (for statistics and tests).
    StreamTable& table() { return m_table; }

  private:
    // Marks the capture running unless a run or the last run's assembler is active.
    bool claimStart();
    // Runs the capture thread over `source` (the assembler on its own thread, or, for a
    // recording, on the capture thread).
    void launch(std::shared_ptr<CaptureSource> source, FileModeStartRequest request);
    std::unique_ptr<StreamAssemblerThread> makeAssembler();

    FileModeServices m_services;
    RebuiltStreamHandler m_handler;
    std::chrono::milliseconds m_passInterval;
    StreamTable m_table;

    // The open capture (the shared "socket variable"): Stop closes it.
    mutable std::mutex m_sourceLock;
    std::shared_ptr<CaptureSource> m_source;

    std::atomic<bool> m_closing{false};
    WorkerThreads m_workers;  // last: its threads end before the members they use go
};

}  // namespace vorlanx
