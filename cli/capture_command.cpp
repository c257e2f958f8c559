// vorlanx-cli capture: the live capture socket into a pcap file.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "capture/live_capture_source.h"
#include "capture/pcap_file_writer.h"
#include "capture/worker_threads.h"
#include "cli/commands.h"
#include "platform/process.h"

namespace vorlanx {

namespace {

constexpr auto kStopPollInterval = std::chrono::milliseconds(20);

int64_t MicrosecondsNow() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Why the capture socket did not open, for the error stream.
std::string OpenFailureText(const CaptureOptions& options, const OpenOutcome& outcome) {
    const std::string reason =
        outcome.errorNumber != 0 ? std::string(" (") + std::strerror(outcome.errorNumber) + ")"
                                 : std::string();
    switch (outcome.result) {
        case ReceiveAllResult::InterfaceUnusable:
            return "no interface has the address \"" + options.interfaceAddress + "\"" + reason;
        case ReceiveAllResult::RawSocketsUnavailable: {
            const std::string path = runningExecutablePath().value_or("vorlanx-cli");
            return "no permission to capture packets" + reason +
                   "; give it with: sudo setcap cap_net_raw+ep " + ShellQuoted(path);
        }
        case ReceiveAllResult::Listening:
        case ReceiveAllResult::OtherError:
            break;
    }
    return "cannot capture on \"" + options.interfaceAddress + "\"" + reason;
}

}  // namespace

int RunCapture(const CaptureOptions& options, const CliStreams& streams,
               const std::atomic<bool>& stopRequested) {
    OpenOutcome outcome;
    // Opened before the file is created: without permission no empty file is left.
    std::unique_ptr<LiveCaptureSource> source =
        LiveCaptureSource::open(options.interfaceAddress, outcome);
    if (outcome.result != ReceiveAllResult::Listening) {
        streams.err << kCliPrefix << OpenFailureText(options, outcome) << "\n";
        return kExitFailure;
    }
    PcapFileWriter writer;
    if (const int error = writer.open(options.outputPath); error != 0) {
        streams.err << kCliPrefix << "cannot create \"" << options.outputPath
                    << "\": " << std::strerror(error) << "\n";
        return kExitFailure;
    }

    // receive() blocks while the interface is quiet: a watcher closes the source when a
    // stop is requested or the time is up, which wakes it.
    std::atomic<bool> loopEnded{false};
    WorkerThreads threads;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
    threads.spawn("CliStopWatch", 0, [&] {
        while (!loopEnded.load()) {
            if (stopRequested.load() ||
                (options.seconds != 0 && std::chrono::steady_clock::now() >= deadline)) {
                source->close();
                return;
            }
            std::this_thread::sleep_for(kStopPollInterval);
        }
    });

    uint64_t captured = 0;
    int writeError = 0;
    while (options.count == 0 || captured < options.count) {
        const std::optional<std::span<const uint8_t>> datagram = source->receive();
        if (!datagram || stopRequested.load())
            break;
        writeError = writer.write(*datagram, MicrosecondsNow());
        if (writeError != 0)
            break;
        ++captured;
    }
    source->close();
    loopEnded.store(true);
    threads.joinAll();
    const int closeError = writer.close();
    if (writeError == 0)
        writeError = closeError;

    streams.out << captured << (captured == 1 ? " datagram" : " datagrams") << " captured to \""
                << options.outputPath << "\"; dropped by the kernel: "
                << source->droppedByKernel()
                << "; skipped as too long to keep whole: " << source->datagramsCut() << "\n"
                << std::flush;
    if (writeError != 0) {
        streams.err << kCliPrefix << "writing \"" << options.outputPath
                    << "\" failed: " << std::strerror(writeError) << "\n";
        return kExitFailure;
    }
    if (source->errorNumber() != 0) {
        streams.err << kCliPrefix << "the capture on \"" << options.interfaceAddress
                    << "\" ended: " << std::strerror(source->errorNumber()) << "\n";
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace vorlanx
