// vorlanx-cli extract: File Mode's engine over capture files, without a window.
#include <chrono>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string_view>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "filemode/file_mode_core.h"
#include "platform/clock.h"
#include "platform/local_time.h"
#include "platform/user_prompt.h"

namespace vorlanx {

namespace {

// The engine's messages on the error stream, one line each; every one counts as a
// failure of the run.
class ErrorStreamPrompt final : public UserPrompt {
  public:
    explicit ErrorStreamPrompt(std::ostream& err) : m_err(err) {}
    PromptAnswer ask(const PromptRequest& request) override {
        std::string text = request.text;
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
            text.replace(at, 2, "; ");
        std::lock_guard lock(m_lock);
        m_err << kCliPrefix << text << "\n" << std::flush;
        ++m_reported;
        return request.buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Ok;
    }
    unsigned reported() const {
        std::lock_guard lock(m_lock);
        return m_reported;
    }

  private:
    std::ostream& m_err;
    mutable std::mutex m_lock;
    unsigned m_reported = 0;
};

// Replays never open the interface.
class NoInterface final : public CaptureSourceFactory {
  public:
    std::unique_ptr<CaptureSource> open(const std::string&, OpenOutcome& outcome) override {
        outcome = {ReceiveAllResult::InterfaceUnusable, 0};
        return nullptr;
    }
};

// What became of the rebuilt streams, counted on the capture thread as they are written.
struct StreamTally {
    uint64_t gaps = 0;
    uint64_t notHttp = 0;
    uint64_t outsideSize = 0;
    std::vector<std::string> incomplete;
};

constexpr auto kPollInterval = std::chrono::milliseconds(100);

}  // namespace

int RunExtract(const ExtractOptions& options, const CliStreams& streams,
               const std::atomic<bool>& stopRequested) {
    SettingsRecord settings = SettingsRecord::defaults(options.outputDirectory);
    if (options.settingsPath) {
        std::optional<SettingsRecord> loaded = ReadSettingsOption(*options.settingsPath, streams);
        if (!loaded)
            return kExitFailure;
        settings = *loaded;
    }
    for (const auto& change : options.changes)
        change(settings);
    settings.setFileDirectory(options.outputDirectory);

    std::error_code dirError;
    std::filesystem::create_directories(options.outputDirectory, dirError);
    if (dirError || !std::filesystem::is_directory(options.outputDirectory)) {
        streams.err << kCliPrefix << "cannot create the output directory \""
                    << options.outputDirectory << "\": "
                    << (dirError ? dirError.message() : "a file stands there") << "\n";
        return kExitFailure;
    }

    FileModeOptionValues values = FileModeOptionValues::fromSettings(settings);
    ErrorStreamPrompt prompt(streams.err);
    NoInterface noInterface;
    SteadyProgramClock clock;
    SystemLocalTimeSource localTime;
    StreamTally tally;
    FileModeCore* running = nullptr;  // set before the run starts
    const bool quiet = options.quiet;
    auto handler = [&](std::span<const uint8_t> stream, const StreamOrigin& origin) {
        const StreamFate fate = ProcessRebuiltStream(stream, origin, running->options(),
                                                     running->counters(), prompt, localTime);
        tally.gaps += origin.sequenceGap ? 1 : 0;
        if (fate.decision == StoreDecision::Discard) {
            ++(fate.notHttp ? tally.notHttp : tally.outsideSize);
            return;
        }
        if (fate.file.outcome != FileWriteOutcome::Written &&
            fate.file.outcome != FileWriteOutcome::WriteFailed)
            return;
        if (fate.incomplete)
            tally.incomplete.push_back(fate.file.path);
        if (!quiet)
            streams.out << fate.file.path << "\t" << fate.file.bytesWritten << "\n";
    };
    FileModeCore core({noInterface, prompt, clock, localTime, {}, nullptr, handler});
    running = &core;
    core.options().setAll(values);
    core.setAckTimeout(settings.ackTimeoutMs());

    const auto started = std::chrono::steady_clock::now();
    if (!core.startReplay(options.capturePaths, FileModeStartRequest::fromSettings(settings)))
        return kExitFailure;
    const auto recording = core.recording();
    ProgressLine progress(streams, options.capturePaths.size() == 1
                                       ? options.capturePaths.front()
                                       : std::to_string(options.capturePaths.size()) + " files",
                          recording->totalBytes());
    bool stopped = false;
    while (!core.waitUntilIdle(kPollInterval)) {
        progress.update(recording->bytesDone());
        if (stopRequested.load() && !stopped) {
            stopped = core.stop();
        }
    }
    progress.finish();
    streams.out << std::flush;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const FileModeCounters& counters = core.counters();
    const FileModeState& state = core.state();
    std::ostringstream summary;
    summary << "read:    " << recording->datagramsDelivered() << " IPv4 datagrams, "
            << recording->bytesDone() << " bytes of " << options.capturePaths.size()
            << " capture file" << (options.capturePaths.size() == 1 ? "" : "s") << " in "
            << static_cast<int64_t>(seconds * 1000) << " ms\n"
            << "streams: " << counters.filesProcessedAll.load() << " rebuilt\n"
            << "written: " << counters.filesWrittenAll.load() << " files, "
            << counters.bytesWrittenAll.load() << " bytes, into " << options.outputDirectory
            << "\n"
            << "incomplete: " << tally.incomplete.size() << " files\n";
    for (const std::string& path : tally.incomplete)
        summary << "  " << path << "\n";
    summary << "lost:    " << state.segmentsTableFull.load() << " segments (stream table full), "
            << state.segmentsDirtyCollision.load() << " segments (Dirty-mode collision), "
            << state.segmentsDropped.load() - state.segmentsTableFull.load() -
                   state.segmentsDirtyCollision.load()
            << " segments (out of memory)\n"
            << "         " << tally.gaps << " streams with a sequence gap (written incomplete), "
            << tally.outsideSize << " streams outside the size limits, " << tally.notHttp
            << " streams not HTTP\n";
    streams.out << summary.str() << std::flush;

    if (stopped) {
        streams.err << kCliPrefix << "stopped before the end of the recording; streams still "
                                     "open were not written\n";
        return kExitFailure;
    }
    if (!streams.out) {
        streams.err << kCliPrefix << "standard output could not be written\n";
        return kExitFailure;
    }
    return prompt.reported() == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace vorlanx
