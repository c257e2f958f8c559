// File Mode's process-wide run state and what its threads tell the window.
//
// The File Mode window, FileModeEngine, FileModeCaptureThread and StreamAssemblerThread
// coordinate through the flags below, each polled by the others. FileModeCore owns the
// object (the window holds the core for the life of the process); through it the window
// writes streamClock (every 20 ms) and currentAckTimeout, and reads the rest.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace vorlanx {

// The status line's texts (control 1060): before the first run, while a capture runs, after.
inline constexpr const char* kStatusWaitingText = "Status: Waiting to run...";
inline constexpr const char* kStatusRunningText = "Status: Running";
inline constexpr const char* kStatusStoppedText = "Status: Stopped";

struct FileModeState {
    // Set by the starter when it begins opening the capture; cleared when the capture loop
    // ends, or when opening fails because the interface cannot listen. The assembler runs
    // passes while it is set.
    std::atomic<bool> captureRunning{false};
    // Set by Stop; cleared when the capture loop ends.
    std::atomic<bool> stopRequested{false};
    // Set while StreamAssemblerThread runs; a new Start is refused until it falls.
    std::atomic<bool> assemblerActive{false};
    // Copy of "Dirty mode (may be faster)", taken when the capture loop starts.
    std::atomic<bool> runDirtyMode{false};

    // The program clock in ms, written by the window every 20 ms; the workers only read it,
    // so time stamps and the time-out test have a resolution of 20 ms.
    std::atomic<int32_t> streamClock{0};
    // "ACK time-out (ms):", written by the window whenever the edit changes.
    std::atomic<int32_t> currentAckTimeout{0};
    // Set while a run replays a recording: streamClock then follows the records' capture
    // times (written by the capture thread) and the window's timer leaves it alone.
    std::atomic<bool> recordedClock{false};

    // Program clock when the last capture loop started: the origin of the average rate.
    std::atomic<int32_t> captureStartClock{0};
    // Counts capture loop starts; the window resets its peak rate and rate sample when it
    // sees this change.
    std::atomic<uint32_t> captureGeneration{0};
    // Segments dropped for want of a slot (table full, Dirty-mode collision) or of memory,
    // all runs: the only sign of a file that will be missing or incomplete.
    std::atomic<uint64_t> segmentsDropped{0};
    // The same by reason: no slot free (normal mode), the slot taken by another stream
    // (Dirty mode). The rest of segmentsDropped lacked memory.
    std::atomic<uint64_t> segmentsTableFull{0};
    std::atomic<uint64_t> segmentsDirtyCollision{0};
    // Segments of rebuilt slots that never joined a rebuilt body, and their payload bytes,
    // all runs: retransmissions and duplicates the chain passed over, everything behind a
    // gap (or past the longest stream), and every segment of a slot whose rebuild failed.
    // Streams discarded unrebuilt at Stop are not counted here.
    std::atomic<uint64_t> segmentsOffChain{0};
    std::atomic<uint64_t> bytesOffChain{0};
    // Counts finished assembler passes (all runs): lets the window and tests see progress.
    std::atomic<uint32_t> assemblerPasses{0};
};

// What the worker threads show in the window. Called on the worker threads; the window
// marshals each call to its own thread (queued) and must not block the caller on it.
class FileModeView {
  public:
    virtual ~FileModeView() = default;
    // The capture thread has been started: disable Start and the locked controls, enable
    // Stop. The window ignores it when the capture has already ended or was stopped.
    virtual void captureStarted() {}
    // New text of the status line (control 1060): kStatusRunningText or kStatusStoppedText.
    virtual void statusChanged(const std::string& text) { static_cast<void>(text); }
    // The capture loop has ended (after its "Status: Stopped"), by Stop or because its
    // source ended: Start may be offered again.
    virtual void captureEnded() {}
    // New text of the activity indicator (control 1142), once per assembler pass.
    virtual void activityChanged(const std::string& text) { static_cast<void>(text); }
};

}  // namespace vorlanx
