// FileModeCore: File Mode without its window.
//
// Owns everything a File Mode session holds apart from widgets: the run state and the
// counters, the live option values the engine's threads read, the engine (and through it
// the stream table and the capture and assembler threads), the statistics the window
// shows and the host-name lookups of the resolver. The window holds one and forwards its
// controls to it; tests, the benchmark and a command line drive it the same way.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_source.h"
#include "capture/pcap_file_source.h"
#include "capture/worker_threads.h"
#include "filemode/file_mode_capture_thread.h"
#include "filemode/file_mode_counters.h"
#include "filemode/file_mode_engine.h"
#include "filemode/file_mode_options.h"
#include "filemode/file_mode_state.h"
#include "filemode/file_mode_statistics.h"
#include "filemode/stream_assembler_thread.h"
#include "platform/clock.h"
#include "platform/local_time.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// Resolves a host name to its first IPv4 address as dotted text; nothing on failure.
// Blocks for as long as the lookup takes.
using HostResolver = std::function<std::optional<std::string>(const std::string& name)>;

// The resolver's answer: the dotted address, or nothing when the name did not resolve.
using HostAnswer = std::function<void(std::optional<std::string> address)>;

// What the core needs from its surroundings; each reference must outlive the core.
struct FileModeCoreServices {
    CaptureSourceFactory& sources;
    UserPrompt& prompt;
    const ProgramClock& clock;
    const LocalTimeSource& localTime;
    // The resolver's lookup; the system's resolver when empty.
    HostResolver resolveHost = {};
    // Where the engine's threads report (status, activity, capture started); may be null.
    FileModeView* events = nullptr;
    // What becomes of each rebuilt stream; writing files with the live values when empty.
    RebuiltStreamHandler handler = {};
    std::chrono::milliseconds passInterval = StreamAssemblerThread::kPassInterval;
};

// The live option values under a lock: set from the user-interface thread as the controls
// change, read by the engine's threads at the moment of use.
class FileModeLiveValues final : public FileModeLiveOptions {
  public:
    std::string directory() const override { return read(&FileModeOptionValues::directoryText); }
    bool overwriteFiles() const override { return read(&FileModeOptionValues::overwrite); }
    bool httpOnly() const override { return read(&FileModeOptionValues::onlyHttp); }
    bool acceptPartialContent() const override {
        return read(&FileModeOptionValues::partialContent);
    }
    uint32_t minFileSize() const override { return read(&FileModeOptionValues::minSize); }
    uint32_t maxFileSize() const override { return read(&FileModeOptionValues::maxSize); }
    std::string fileNameTemplate() const override {
        return read(&FileModeOptionValues::nameTemplate);
    }
    std::string dateTimeTemplate() const override {
        return read(&FileModeOptionValues::timeTemplate);
    }

    // Sets every value at once. Any thread.
    void setAll(const FileModeOptionValues& values) {
        std::lock_guard lock(m_mutex);
        m_values = values;
    }
    // Sets one value. Any thread.
    template <typename T, typename V>
    void set(T FileModeOptionValues::*field, V&& value) {
        std::lock_guard lock(m_mutex);
        m_values.*field = std::forward<V>(value);
    }

  private:
    template <typename T>
    T read(T FileModeOptionValues::*field) const {
        std::lock_guard lock(m_mutex);
        return m_values.*field;
    }
    mutable std::mutex m_mutex;
    FileModeOptionValues m_values;
};

class FileModeCore {
  public:
    explicit FileModeCore(FileModeCoreServices services);
    // Stops a running capture and joins every thread the core started: the engine's (the
    // assembler ends after its current pass, without writing pending streams) and a
    // lookup still under way (its answer is still delivered).
    ~FileModeCore();
    FileModeCore(const FileModeCore&) = delete;
    FileModeCore& operator=(const FileModeCore&) = delete;

    FileModeState& state() { return m_state; }
    const FileModeState& state() const { return m_state; }
    FileModeCounters& counters() { return m_counters; }
    FileModeLiveValues& options() { return m_options; }
    FileModeEngine& engine() { return *m_engine; }
    StreamTable& table() { return m_engine->table(); }

    // The Start button: a request with a refusal (a filter field holds no complete
    // address) is reported, warning icon, and not started; otherwise the start routine
    // runs on its own thread (it refuses silently while a capture or the last run's
    // assembler runs). Returns whether the start routine was set going. User-interface
    // thread.
    bool start(FileModeStartRequest request);

    // File > "Rebuild files from a capture file...": a run over the capture files at
    // `paths` (one after the other as one recording) instead of the interface, ending by
    // itself at their end with every stream rebuilt. A refused request, or a file that
    // cannot be opened, is reported (naming the file and why) and nothing starts. Returns
    // whether the run started. The opened recording is kept for progress (recording()).
    // Any thread but a worker's.
    bool startReplay(const std::vector<std::string>& paths, FileModeStartRequest request);
    // The recording of the last replay started; null before the first. Its counters
    // (bytesDone) may be read on any thread.
    std::shared_ptr<const PcapFileSequence> recording() const;

    // The Stop button (see FileModeEngine::stop). Any thread.
    bool stop() { return m_engine->stop(); }

    // Timer 300: streamClock = the program clock now.
    void updateStreamClock();
    // "ACK time-out (ms):" changed: the value the assembler compares with.
    void setAckTimeout(int32_t milliseconds) { m_state.currentAckTimeout.store(milliseconds); }

    // The window's timers: the texts to show, each only when its value changed. Rates and
    // the buffer bar change only while a capture runs. User-interface thread.
    CounterTexts countersTick() { return m_statistics.countersTick(); }
    RateTexts ratesTick();
    std::optional<int> bufferTick();

    // The status texts the window shows before any run, and the texts of the counters and
    // rates before the first tick.
    static const char* waitingStatusText() { return kStatusWaitingText; }
    CounterTexts firstCounterTexts() const { return m_statistics.shownCounterTexts(); }
    RateTexts firstRateTexts() const { return m_statistics.shownRateTexts(); }

    // The Resolve button: looks `name` up on a thread of the core and hands the answer to
    // `answer` on that thread. Refused (false, nothing happens) while a lookup is under
    // way. Any thread.
    bool resolveHost(std::string name, HostAnswer answer);
    bool resolving() const { return m_resolving.load(); }

    // Waits until no capture, assembler or lookup runs and every thread started has ended,
    // at most `limit`. Not on a worker thread.
    bool waitUntilIdle(std::chrono::milliseconds limit);

  private:
    FileModeCoreServices m_services;
    FileModeState m_state;
    FileModeCounters m_counters;
    FileModeLiveValues m_options;
    FileModeStatistics m_statistics;
    std::unique_ptr<FileModeEngine> m_engine;  // after everything it refers to
    mutable std::mutex m_recordingLock;
    std::shared_ptr<const PcapFileSequence> m_recording;
    std::atomic<bool> m_resolving{false};
    WorkerThreads m_lookups;  // last: a lookup ends before the members it uses go
};

}  // namespace vorlanx
