// File Mode under heavy HTTP traffic: thousands of responses in flight at once, their
// segments interleaved as a busy link delivers them, in normal and Dirty mode.
//
// BM_FileModeEngine files every segment through the capture rules and rebuilds every
// stream in one assembler pass (one thread, no files): the engine's own cost.
// BM_FileModeReplay runs the real threads (FileModeCore, capture, assembler) on the
// same traffic replayed from memory and writes every response as a file into a temporary
// directory. Both report captured MB/s, files rebuilt or written, segments dropped and the
// peak of File Mode's tracked memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "filemode/file_mode_capture_thread.h"
#include "filemode/file_mode_core.h"
#include "filemode/file_mode_engine.h"
#include "filemode/stream_assembler_thread.h"
#include "platform/user_prompt.h"

namespace {

using namespace vorlanx;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr size_t kSegmentPayload = 1448;  // a typical Ethernet MSS with timestamps
constexpr size_t kBodyBytes = 16 * 1024;

struct Traffic {
    std::vector<Bytes> datagrams;
    uint64_t bytes = 0;
};

void put32(Bytes& d, size_t at, uint32_t v) {
    d[at] = static_cast<uint8_t>(v >> 24);
    d[at + 1] = static_cast<uint8_t>(v >> 16);
    d[at + 2] = static_cast<uint8_t>(v >> 8);
    d[at + 3] = static_cast<uint8_t>(v);
}

// `streams` HTTP/1.1 200 responses of kBodyBytes each, from as many servers to one client,
// cut into segments and delivered round-robin (every stream is in flight until its end),
// with every 50th segment delivered twice (a retransmission).
const Traffic& MakeTraffic(size_t streams) {
    static std::vector<std::pair<size_t, Traffic>> cache;
    for (const auto& [n, t] : cache) {
        if (n == streams)
            return t;
    }
    std::mt19937 random(static_cast<uint32_t>(streams));
    std::vector<std::vector<Bytes>> perStream(streams);
    for (size_t s = 0; s < streams; ++s) {
        std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                               std::to_string(kBodyBytes) + "\r\n\r\n";
        for (size_t i = 0; response.size() < kBodyBytes + 80; ++i) {
            response += static_cast<char>('a' + (s + i) % 26);
        }
        const uint32_t ack = random() | 1u;
        const uint32_t firstSequence = random();
        for (size_t at = 0; at < response.size(); at += kSegmentPayload) {
            const size_t n = std::min(kSegmentPayload, response.size() - at);
            Bytes d(52 + n, 0);  // 20-byte IP header, 32-byte TCP header (timestamps)
            d[0] = 0x45;
            d[2] = static_cast<uint8_t>(d.size() >> 8);
            d[3] = static_cast<uint8_t>(d.size());
            d[8] = 64;
            d[9] = 6;
            put32(d, 12, 0x0A000000u + static_cast<uint32_t>(s));  // 10.x.y.z
            put32(d, 16, 0xC0A80002u);                             // 192.168.0.2
            d[20] = 0;
            d[21] = 80;
            d[22] = static_cast<uint8_t>(0xC0 + s % 16);
            d[23] = static_cast<uint8_t>(s);
            put32(d, 24, firstSequence + static_cast<uint32_t>(at));
            std::memcpy(d.data() + 28, &ack, 4);
            d[32] = 8 << 4;
            d[33] = 0x18;
            std::memcpy(d.data() + 52, response.data() + at, n);
            perStream[s].push_back(std::move(d));
        }
    }
    Traffic t;
    for (size_t round = 0;; ++round) {
        bool any = false;
        for (auto& segments : perStream) {
            if (round < segments.size()) {
                any = true;
                t.datagrams.push_back(segments[round]);
                if (t.datagrams.size() % 50 == 0)
                    t.datagrams.push_back(segments[round]);
            }
        }
        if (!any)
            break;
    }
    for (const Bytes& d : t.datagrams)
        t.bytes += d.size();
    cache.emplace_back(streams, std::move(t));
    return cache.back().second;
}

struct QuietPrompt final : UserPrompt {
    PromptAnswer ask(const PromptRequest&) override { return PromptAnswer::Ok; }
};

long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_FileModeEngine(benchmark::State& bench) {
    const size_t streams = static_cast<size_t>(bench.range(0));
    const bool dirty = bench.range(1) != 0;
    const Traffic& traffic = MakeTraffic(streams);

    FileModeState state;
    auto table = std::make_unique<StreamTable>();
    FileModeCounters counters;
    QuietPrompt prompt;
    ManualProgramClock clock;
    uint64_t rebuilt = 0, rebuiltBytes = 0;
    int32_t peakMemory = 0;
    StreamAssemblerThread assembler(state, *table, counters, prompt, nullptr,
                                    [&](std::span<const uint8_t> stream, const StreamOrigin&) {
                                        ++rebuilt;
                                        rebuiltBytes += stream.size();
                                        peakMemory =
                                            std::max(peakMemory, counters.trackedMemory.load());
                                    });
    FileModeStartRequest request;
    request.dirtyMode = dirty;
    state.currentAckTimeout = 500;

    for (auto _ : bench) {
        FileModeCaptureThread capture(state, *table, counters, prompt, nullptr, clock, nullptr,
                                      request);
        state.streamClock = 1000;
        capture.beginCapture();
        for (const Bytes& d : traffic.datagrams) {
            capture.handleDatagram(d);
        }
        peakMemory = std::max(peakMemory, counters.trackedMemory.load());
        state.streamClock = 100000;
        assembler.runPass();
        table->releaseAll(counters);
    }
    bench.SetBytesProcessed(static_cast<int64_t>(traffic.bytes * bench.iterations()));
    bench.counters["streams"] = static_cast<double>(streams);
    bench.counters["rebuilt/run"] =
        static_cast<double>(rebuilt) / static_cast<double>(bench.iterations());
    bench.counters["rebuiltMB/run"] =
        static_cast<double>(rebuiltBytes) / 1e6 / static_cast<double>(bench.iterations());
    bench.counters["dropped/run"] =
        static_cast<double>(state.segmentsDropped.load()) / static_cast<double>(bench.iterations());
    bench.counters["peakTrackedMB"] = static_cast<double>(peakMemory) / 1e6;
    bench.counters["peakRssMB"] = static_cast<double>(PeakResidentKiB()) / 1024.0;
}

// Replays datagrams from memory, then fails every receive (as at the end of a file).
class MemorySource final : public CaptureSource {
  public:
    explicit MemorySource(const std::vector<Bytes>& d, std::atomic<size_t>& delivered)
        : m_datagrams(d), m_delivered(delivered) {}
    std::optional<std::span<const uint8_t>> receive() override {
        if (m_closed || m_next >= m_datagrams.size())
            return std::nullopt;
        m_delivered.store(m_next + 1);
        return std::span<const uint8_t>(m_datagrams[m_next++]);
    }
    void close() override { m_closed = true; }

  private:
    const std::vector<Bytes>& m_datagrams;
    std::atomic<size_t>& m_delivered;
    size_t m_next = 0;
    std::atomic<bool> m_closed{false};
};

class MemorySourceFactory final : public CaptureSourceFactory {
  public:
    explicit MemorySourceFactory(const std::vector<Bytes>& d) : m_datagrams(d) {}
    std::unique_ptr<CaptureSource> open(const std::string&, OpenOutcome& outcome) override {
        outcome = {ReceiveAllResult::Listening, 0};
        delivered = 0;
        return std::make_unique<MemorySource>(m_datagrams, delivered);
    }
    std::atomic<size_t> delivered{0};

  private:
    const std::vector<Bytes>& m_datagrams;
};

void BM_FileModeReplay(benchmark::State& bench) {
    const size_t streams = static_cast<size_t>(bench.range(0));
    const bool dirty = bench.range(1) != 0;
    const Traffic& traffic = MakeTraffic(streams);
    const auto directory = std::filesystem::temp_directory_path() /
                           ("vorlanx_file_mode_bench_" + std::to_string(getpid()));

    MemorySourceFactory sources(traffic.datagrams);
    QuietPrompt prompt;
    SteadyProgramClock clock;
    SystemLocalTimeSource localTime;
    FileModeCore core({sources, prompt, clock, localTime, {}, nullptr, {}, 1ms});
    core.options().set(&FileModeOptionValues::directoryText, directory.string() + "/");
    FileModeState& state = core.state();
    FileModeCounters& counters = core.counters();
    FileModeEngine& starter = core.engine();
    state.currentAckTimeout = 500;
    FileModeStartRequest request;
    request.interfaceAddress = "127.0.0.1";
    request.dirtyMode = dirty;

    uint64_t written = 0;
    int32_t peakMemory = 0;
    double captureSeconds = 0;
    for (auto _ : bench) {
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
        state.streamClock = 1000;
        const uint32_t writtenBefore = counters.filesWrittenAll.load();
        const auto start = std::chrono::steady_clock::now();
        starter.startNow(request);
        while (sources.delivered.load() < traffic.datagrams.size()) {
            peakMemory = std::max(peakMemory, counters.trackedMemory.load());
            std::this_thread::sleep_for(100us);
        }
        captureSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        peakMemory = std::max(peakMemory, counters.trackedMemory.load());
        state.streamClock = 100000;
        while (counters.filesPending.load() != 0 || counters.trackedMemory.load() != 0) {
            std::this_thread::sleep_for(100us);
        }
        starter.stop();
        starter.waitUntilIdle(60s);
        written += counters.filesWrittenAll.load() - writtenBefore;
    }
    std::filesystem::remove_all(directory);
    const double runs = static_cast<double>(bench.iterations());
    bench.SetBytesProcessed(static_cast<int64_t>(traffic.bytes * bench.iterations()));
    bench.counters["streams"] = static_cast<double>(streams);
    bench.counters["captureMB/s"] =
        static_cast<double>(traffic.bytes) * runs / 1e6 / std::max(captureSeconds, 1e-9);
    bench.counters["written/run"] = static_cast<double>(written) / runs;
    bench.counters["dropped/run"] = static_cast<double>(state.segmentsDropped.load()) / runs;
    bench.counters["peakTrackedMB"] = static_cast<double>(peakMemory) / 1e6;
    bench.counters["peakRssMB"] = static_cast<double>(PeakResidentKiB()) / 1024.0;
}

// streams x {normal, Dirty}
BENCHMARK(BM_FileModeEngine)
    ->ArgsProduct({{1000, 4000, 16000}, {0, 1}})
    ->ArgNames({"streams", "dirty"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileModeReplay)
    ->ArgsProduct({{4000}, {0, 1}})
    ->ArgNames({"streams", "dirty"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
