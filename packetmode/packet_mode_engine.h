// The Packet Mode engine: Start, Stop, Clear, restart on a new interface and the release
// at close, with the threads that carry them out.
//
// The window calls it on the user-interface thread. It runs the system's threads:
// PacketModeStarter (one per start request, short), PacketCaptureThread (at most one,
// one priority step above normal), StoreClearThread, FindThread (at most one, one step
// below normal) and the loading of a capture file (at most one). Every thread it starts can be
// told to stop and is joined by shutdown(). Messages go through the UserPrompt, window
// changes through the PacketModeView.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "capture/capture_source.h"
#include "capture/worker_threads.h"
#include "packetmode/current_packet_filters.h"
#include "packetmode/packet_list.h"
#include "packetmode/packet_mode_state.h"
#include "packetmode/packet_mode_view.h"
#include "packetmode/packet_store.h"
#include "packetmode/shared_snapshot.h"
#include "platform/local_time.h"
#include "platform/user_prompt.h"
#include "settings/settings_record.h"

namespace vorlanx {

struct PacketCaptureContext;

// Datagrams a capture lost: dropped by the kernel because the ring was full, and cut (too
// long to be delivered whole, so skipped).
struct CaptureLosses {
    uint64_t droppedByKernel = 0;
    uint64_t cut = 0;
    bool operator==(const CaptureLosses&) const = default;
};

// The status bar's note of the losses, "Datagrams dropped by the kernel: N, cut: M", each
// part only when non-zero; "" when nothing was lost.
std::string CaptureLossText(const CaptureLosses& losses);

struct PacketModeServices {
    PacketModeState& state;
    PacketStore& store;
    PacketList& list;
    CurrentPacketFilters& filters;
    CaptureSourceFactory& sources;
    PacketModeView& view;
    UserPrompt& prompt;
    const LocalTimeSource& localTime;
};

class PacketModeEngine {
  public:
    explicit PacketModeEngine(PacketModeServices services);
    // Shuts down: see shutdown().
    ~PacketModeEngine();
    PacketModeEngine(const PacketModeEngine&) = delete;
    PacketModeEngine& operator=(const PacketModeEngine&) = delete;

    // Start (button 1001): a PacketModeStarter for interfaceAddress of the record. A
    // second Start while capturing does nothing. User-interface thread.
    void start(const SettingsRecord& settings);
    // Stop (button 1002): resets the range of progress bar 1019 and, while capturing,
    // closes the capture source; the capture thread then ends with "Stopped".
    // User-interface thread.
    void stop();
    // Clear (button 1003): resets the range of progress bar 1019 and runs a
    // StoreClearThread. Allowed in every state. User-interface thread.
    void clear();
    // After the Choose Interface window: while capturing, stops and starts again on the
    // record's (new) address once the old capture thread has ended. Otherwise nothing.
    // User-interface thread.
    void restartOnNewInterface(const SettingsRecord& settings);
    // Window close: sets exitRequested, so every loop ends, and ends a blocked receive.
    // Any thread.
    void requestExit();
    // The final release at close: clears clearDone and runs a StoreClearThread; the window
    // ends the process once clearDone is set again. User-interface thread.
    void releaseAll();

    // File > "Open capture file...": loads the file's datagrams into the list on a thread of
    // its own (CaptureFileLoad), appending to the rows held, with the record's Date / Time
    // template. Refused (false) while capturing or starting, while another load runs, and
    // once the window closes; a Start is refused while a load runs. User-interface thread.
    bool openCaptureFile(const std::string& path, const SettingsRecord& settings);
    // Whether openCaptureFile would go ahead now (the menu item's state). User-interface
    // thread.
    bool captureFileOpenable();

    // "Find / Next" (button 1049): while a search runs, asks it to go on from the match it
    // shows; otherwise starts a FindThread one priority step below normal. Two quick
    // presses start one search. User-interface thread.
    void findOrNext();
    // The text of the find box (1048) changed: the next search looks for `text`; a running
    // one ends silently. User-interface thread.
    void findTextChanged(std::string text);

    // The status monitor's refresh of the live copies: "Apply filters to incoming
    // packets", the filter strings (and criteria) and the Date / Time template. Thread of
    // the record's owner.
    void refreshLiveCopies(const SettingsRecord& settings, bool applyFiltersChecked);
    // The Filter Setup window stored new criteria: the next datagram uses them.
    void filterCriteriaChanged(const SettingsRecord& settings);
    // The General settings changed: rows filled from now on use the new Date / Time
    // template.
    void settingsChanged(const SettingsRecord& settings);

    // Closes the capture, lets every thread end and joins them. Idempotent; called by the
    // destructor. A starter waiting for the answer to a message keeps this waiting, so the
    // prompt must still be answerable (or answer by itself) while it runs.
    // User-interface thread.
    void shutdown();

    // Waits until every thread started so far has ended; false on time-out. For the
    // window's close and for tests.
    bool waitForThreads(std::chrono::milliseconds timeout);

    // Waits until every start request made so far was carried out or discarded (the
    // capture threads they started may still run); false on time-out.
    bool waitForStarters(std::chrono::milliseconds timeout);

    // What the current capture has lost so far; once it ended, what it lost in all, until
    // the next Start. Any thread.
    CaptureLosses losses() const;
    // Capture threads started so far.
    int captureThreadsStarted() const { return m_captureThreadsStarted.load(); }

  private:
    struct StartRequest {
        std::string interfaceAddress;
        bool waitForStop = false;
        uint64_t sequence = 0;  // 1, 2, ... in the order Start was asked for
    };

    void spawnStarter(std::string interfaceAddress, bool waitForStop);
    void runStarter(const StartRequest& request);
    bool cancelled(const StartRequest& request) const;
    bool takeCapturing(const StartRequest& request);
    void runCapture(std::shared_ptr<CaptureSource> source, const std::string& interfaceAddress);
    void runClear();
    PacketCaptureContext captureContext();
    void updateTemplate(const SettingsRecord& settings);

    PacketModeServices m_services;
    SharedSnapshot<std::string> m_dateTimeTemplate;
    SharedSnapshot<std::string> m_findText;  // what the find box holds, for the find thread
    std::atomic<bool> m_shutdown{false};
    std::atomic<int> m_captureThreadsStarted{0};

    std::mutex m_startersMutex;
    std::condition_variable m_startersDone;
    int m_startersRunning = 0;  // guarded by m_startersMutex

    // The current capture source (the window's captureSocket). A Stop cancels every start
    // requested before it, also one whose starter has not opened its source yet.
    mutable std::mutex m_sourceMutex;
    std::shared_ptr<CaptureSource> m_source;
    uint64_t m_lastStartRequest = 0;       // guarded by m_sourceMutex
    uint64_t m_stoppedThroughRequest = 0;  // guarded by m_sourceMutex
    CaptureLosses m_endedLosses;           // of the capture that ended; guarded by m_sourceMutex

    std::unique_ptr<WorkerThreads> m_workers;
};

}  // namespace vorlanx
