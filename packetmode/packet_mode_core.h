// PacketModeCore: everything of Packet Mode that is not a widget.
//
// It owns the flags (PacketModeState), the PacketStore, the packet list, the filters in
// use, the PacketModeEngine, the two monitor threads (status and new-packet sound) and the
// automatic logging thread. The
// window holds one and reaches the engine, store and list through it; tests and
// benchmarks hold one instead of wiring the parts themselves. The platform services and
// the window's views are the caller's and must outlive the core.
//
// Created, driven and destroyed on the user-interface thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "capture/capture_source.h"
#include "capture/worker_threads.h"
#include "packetmode/auto_log.h"
#include "packetmode/current_packet_filters.h"
#include "packetmode/packet_list.h"
#include "packetmode/packet_mode_engine.h"
#include "packetmode/packet_mode_state.h"
#include "packetmode/packet_mode_view.h"
#include "packetmode/packet_store.h"
#include "packetmode/report_save.h"
#include "packetmode/reverse_resolve.h"
#include "packetmode/same_ack_tools.h"
#include "packetmode/status_monitor.h"
#include "platform/local_time.h"
#include "platform/sound.h"
#include "platform/user_prompt.h"

namespace vorlanx {

struct PacketModeCoreServices {
    CaptureSourceFactory& sources;
    PacketModeView& view;
    StatusMonitorView& statusView;
    SoundPlayer& sound;
    const LocalTimeSource& localTime;
    UserPrompt& prompt;
};

class PacketModeCore {
  public:
    // `listCapacity`: rows the list takes before it refuses one (the store's capacity
    // unless a test needs a smaller list).
    explicit PacketModeCore(PacketModeCoreServices services,
                            int32_t listCapacity = PacketStore::kCapacity);
    // Stops the monitors and shuts the engine down (see shutdown()).
    ~PacketModeCore();
    PacketModeCore(const PacketModeCore&) = delete;
    PacketModeCore& operator=(const PacketModeCore&) = delete;

    PacketModeState& state() { return m_state; }
    PacketStore& store() { return m_store; }
    PacketList& list() { return m_list; }
    CurrentPacketFilters& filters() { return m_filters; }
    PacketModeEngine& engine() { return m_engine; }

    // The direction of the next column sort: clear, descending. Flipped by every completed
    // sort; it lives as long as the mode's window.
    bool& sortAscending() { return m_sortAscending; }

    // Context menu "Reverse resolve ... IP address": looks up the address at
    // `addressOffset` (12 source, 16 destination) of the marked packet on a thread of its
    // own and reports the answer through the prompt (nothing once the window closes).
    // Several may run at once. User-interface thread.
    void reverseResolve(int addressOffset, ReverseLookup lookup);

    // File > Save, once the path and options are known: writes the file on a thread of its
    // own, one step below normal priority. Several may run at once. User-interface thread.
    void save(SaveRequest request);

    // Context menu delete commands (one packet, same ACK, different ACK) on `target`, on a
    // thread of their own; `showSelectedPacket` runs on it once the rows are deleted.
    // User-interface thread.
    void deleteFromList(ListDeletion kind, ListCommandTarget target,
                        std::function<void()> showSelectedPacket);

    // True when every worker thread of the mode (the engine's, lookups, saves and deletes)
    // has ended, within `timeout`. The window's close keeps its event loop turning on this,
    // since a worker may be waiting for a message to be answered.
    bool waitForThreads(std::chrono::milliseconds timeout);

    // What the sound monitor reads: check box 1014 and the settings' wave file. Any thread.
    void setSoundChecked(bool checked) { m_soundChecked.store(checked); }
    void setSoundFile(std::string path);

    // The window loaded its settings: automatic logging reads this copy of its fields from
    // its next step on. User-interface thread.
    void logSettingsChanged(const SettingsRecord& settings);
    // The General settings window stored new values: the Date / Time template of new rows
    // and the copy automatic logging reads. User-interface thread.
    void settingsChanged(const SettingsRecord& settings);

    // Starts the status and the new-packet sound monitor threads and the automatic logging
    // thread; once only.
    void startMonitors();
    // Sets exitRequested, stops the sound player (a sound playing ends, later ones do not
    // start) and joins the monitors and the logging thread. Idempotent.
    void stopMonitors();
    // Everything ends: exitRequested, the engine's threads and the lookups (the event loop
    // must keep answering prompts while this waits, see waitForThreads) and the monitors.
    // Idempotent.
    void shutdown();

  private:
    void sleepUnlessExiting(int milliseconds) const;
    void showLogWriteError(int error, const std::string& path,
                           const std::string& dateTimeTemplate);
    void joinAutoLog();

    PacketModeCoreServices m_services;
    PacketModeState m_state;
    PacketStore m_store;
    PacketList m_list;
    CurrentPacketFilters m_filters;
    PacketModeEngine m_engine;

    std::atomic<bool> m_soundChecked{true};
    mutable std::mutex m_soundFileMutex;
    std::string m_soundFile;  // guarded by m_soundFileMutex
    bool m_sortAscending = false;
    SharedSnapshot<AutoLogSettings> m_autoLogSettings{std::make_shared<const AutoLogSettings>()};
    WorkerThreads m_tools;  // reverse lookups, saves, deletes and log write-error messages
    std::thread m_statusThread;
    std::thread m_soundThread;
    std::thread m_autoLogThread;
};

}  // namespace vorlanx
