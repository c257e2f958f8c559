// One automatic-logging pass over a full store (a million packets, headings only) into a
// real file: how long the pass takes, and the longest single hold of listBusy, which is
// how long a capture that wants to file a packet may have to wait (target: 10 ms).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "packetmode/auto_log.h"

using namespace vorlanx;

namespace {

struct FullStore {
    PacketModeState state;
    PacketStore store;

    FullStore() {
        std::vector<uint8_t> d(60, 0);
        d[0] = 0x45;
        d[9] = 6;
        for (int32_t slot = 0; slot < PacketStore::kCapacity; ++slot) {
            d[12] = static_cast<uint8_t>(slot);
            d[20] = static_cast<uint8_t>(slot >> 8);
            store.put(slot, PacketRecord::create(d), static_cast<int32_t>(d.size()));
            store.setTimeText(slot, "2026.12.08 - 21:00:00.123");
            store.advanceCount();
        }
    }
};

void BM_AutoLogPassMillionHeadings(benchmark::State& state) {
    static FullStore full;
    const std::string path =
        (std::filesystem::temp_directory_path() / "vorlanx_auto_log_bench.txt").string();
    SharedSnapshot<AutoLogSettings> settings(std::make_shared<const AutoLogSettings>());
    AutoLogSettings pass;
    pass.autoLog = true;
    pass.path = path;
    std::chrono::nanoseconds longestHold{0};
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        AutoLogThread log({full.state, full.store, settings, [](int) {},
                           [](int, const std::string&, const std::string&) {}});
        state.ResumeTiming();
        if (log.pass(pass) != AutoLogPass::Written)
            state.SkipWithError("the pass did not write every slot");
        longestHold = std::max(longestHold, log.longestListHold());
    }
    state.counters["longest_listBusy_ms"] =
        std::chrono::duration<double, std::milli>(longestHold).count();
    state.counters["log_MB"] =
        static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
    std::filesystem::remove(path);
}
BENCHMARK(BM_AutoLogPassMillionHeadings)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
