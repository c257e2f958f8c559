// AutoLogThread: appends the packets stored since its last pass to the log file of the
// General settings, every autoLogIntervalSec seconds, for as long as the Packet Mode window
// lives.
//
// It keeps a private logged-count (the slots already written) and the clear time it saw
// last; after a Clear it starts again from slot 0 in the same file. Deleted rows are logged
// too: every slot that holds a record is. The settings it reads are a copy the
// user-interface thread publishes (AutoLogSettings), never the record itself.
//
// A pass gathers entries under listBusy in short chunks and writes each chunk with the
// lock released, so capture waits for at most one chunk instead of a whole interval's
// writing.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "packetmode/packet_details.h"
#include "packetmode/packet_mode_state.h"
#include "packetmode/packet_store.h"
#include "packetmode/shared_snapshot.h"
#include "settings/settings_record.h"

namespace vorlanx {

// The fields of the settings record that automatic logging reads.
struct AutoLogSettings {
    bool autoLog = false;
    std::string path;
    int32_t intervalSec = 60;
    PacketRendering rendering = PacketRendering::None;  // Text over Dec over Hex
    std::string dateTimeTemplate;                        // stamps a write-error message

    static AutoLogSettings fromRecord(const SettingsRecord& record);
};

struct AutoLogServices {
    PacketModeState& state;
    const PacketStore& store;
    const SharedSnapshot<AutoLogSettings>& settings;
    // Sleeps `ms` milliseconds, returning early once exitRequested is set.
    std::function<void(int ms)> sleep;
    // A log write failed with errno `error` on `path`: shows "Error while writing to file"
    // on a thread of its own (the caller owns it), one message at a time. Called on the log
    // thread; must not wait for the message.
    std::function<void(int error, const std::string& path, const std::string& dateTimeTemplate)>
        reportWriteError;
};

// How a pass ended.
enum class AutoLogPass {
    Empty,          // no packet stored
    NothingNew,     // no slot since the last pass, no clear
    OpenFailed,     // the file could not be opened; tried again next interval
    Written,        // every new slot written
    WriteFailed,    // a write, flush or close failed; reported, the slots are not retried
    Interrupted,    // a Clear or the window's close ended it early
};

class AutoLogThread {
  public:
    explicit AutoLogThread(AutoLogServices services);

    // The loop: waits the interval, then runs a pass, until exitRequested. Worker thread.
    void run();

    // One pass: writes the slots from the logged-count (0 after a Clear) to `count` - 1 to
    // the log file. Worker thread; the one that runs the loop, or a benchmark.
    AutoLogPass pass(const AutoLogSettings& settings);

    int32_t loggedCount() const { return m_loggedCount; }
    // The longest single hold of listBusy by a pass so far.
    std::chrono::nanoseconds longestListHold() const { return m_longestHold; }

    // A chunk ends at this many bytes or this much time under listBusy, whichever comes
    // first.
    static constexpr size_t kChunkBytes = 256 * 1024;
    static constexpr std::chrono::microseconds kChunkTime{2000};

  private:
    // Waits the interval in 100 ms steps (the interval read afresh before each). False when
    // the loop should start over or end.
    bool waitInterval();

    AutoLogServices m_services;
    SharedSnapshot<AutoLogSettings>::Reader m_settings;
    int32_t m_loggedCount = 0;
    int32_t m_lastSeenClearTime = 0;
    std::chrono::nanoseconds m_longestHold{0};
};

}  // namespace vorlanx
