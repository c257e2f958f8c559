// The process-wide flags through which the Packet Mode threads coordinate.
//
// Each flag is written by one side and polled by the others; they are atomics so every
// poll reads a fresh value. `listBusy` is the one lock: it guards multi-step changes of
// the packet list and the PacketStore. Worker threads wait for it; the user-interface
// thread only tries it and skips its work when it is taken, because a worker holding it
// may be waiting for the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace vorlanx {

struct PacketModeState {
    std::atomic<bool> capturing{false};         // a capture source is open and its thread runs
    std::atomic<bool> exitRequested{false};     // the window closes; every worker loop ends
    std::atomic<bool> newPacketPending{false};  // a packet was listed since the last sound
    std::atomic<bool> applyFiltersLive{false};  // copy of "Apply filters to incoming packets"
    std::atomic<bool> matchCaseLive{false};     // copy of "Match case for Find and Filters"
    std::atomic<bool> clearDone{false};         // the last clear has finished
    std::atomic<int32_t> lastClearTime{0};      // clock reading when the last clear finished

    // Find in packets.
    std::atomic<bool> findRunning{false};
    std::atomic<bool> findAbortRequested{false};
    std::atomic<bool> findNextRequested{false};

    // Saving the list: saves in progress, and Cancel (1132) pressed.
    std::atomic<int32_t> activeSaves{0};
    std::atomic<bool> saveCancelRequested{false};

    // Loading a capture file: a load runs (at most one), and Cancel (1132) pressed.
    std::atomic<bool> loadingFile{false};
    std::atomic<bool> loadCancelRequested{false};

    // Automatic logging: a log write-error message is on screen (one at a time).
    std::atomic<bool> logErrorShowing{false};

    // The list row on which the context menu was last opened; -1 when the last attempt
    // showed no menu. Set before the chosen command runs.
    std::atomic<int32_t> contextRow{-1};

    // Position of progress bar 1019: the slot index of the newest packet. The view polls it,
    // so the capture thread never waits for the user-interface thread to move the bar.
    std::atomic<int32_t> listProgressPosition{0};

    std::mutex listBusy;

    // Worker threads: waits for the list and the store and holds them until the lock ends.
    std::unique_lock<std::mutex> lockListForWorker() { return std::unique_lock(listBusy); }
    // User-interface thread: the lock when it is free now; an unlocked one (skip the work)
    // when a worker holds it.
    std::unique_lock<std::mutex> tryLockListForUi() {
        return std::unique_lock(listBusy, std::try_to_lock);
    }
};

}  // namespace vorlanx
