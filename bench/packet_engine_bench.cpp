// Packets per second through the Packet Mode receive loop: a recorded HTTP exchange,
// replayed from memory, into the store and the list; filters off, and with two string
// criteria that every datagram's payload is searched for. Also the cost of the cells a
// view paints over a million rows.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "capture/date_time_template.h"
#include "capture/pcap_file_source.h"
#include "null_packet_mode_view.h"
#include "packetmode/packet_capture_thread.h"
#include "packetmode/store_clear_thread.h"

namespace vorlanx {
namespace {

// The recording the tests use, found beside this source file.
std::vector<std::vector<uint8_t>> RecordedDatagrams() {
    const auto path = std::filesystem::path(__FILE__).parent_path().parent_path() / "tests" /
                      "data" / "http_exchange_lo.pcap";
    auto file = PcapFileSource::openFile(path.string());
    std::vector<std::vector<uint8_t>> datagrams;
    while (auto d = file->receive())
        datagrams.emplace_back(d->begin(), d->end());
    if (datagrams.empty()) {
        std::fprintf(stderr, "no datagrams in the recording: %s\n", file->errorText().c_str());
        std::abort();
    }
    return datagrams;
}

// Delivers `total` datagrams, cycling through the recording, then ends.
class MemorySource final : public CaptureSource {
  public:
    MemorySource(const std::vector<std::vector<uint8_t>>& datagrams, int64_t total)
        : m_datagrams(datagrams), m_left(total) {}
    std::optional<std::span<const uint8_t>> receive() override {
        if (m_left-- <= 0)
            return std::nullopt;
        const auto& d = m_datagrams[m_next];
        m_next = (m_next + 1) % m_datagrams.size();
        return std::span<const uint8_t>(d);
    }
    void close() override { m_left = 0; }

  private:
    const std::vector<std::vector<uint8_t>>& m_datagrams;
    int64_t m_left;
    size_t m_next = 0;
};

class NowSource final : public LocalTimeSource {
  public:
    LocalTime now() const override { return m_system.now(); }

  private:
    SystemLocalTimeSource m_system;
};

constexpr int64_t kPacketsPerRun = 200000;

void RunReceiveLoop(benchmark::State& bench, bool filters) {
    static const auto datagrams = RecordedDatagrams();
    PacketModeState state;
    PacketStore store;
    PacketList list(store);
    CurrentPacketFilters current;
    NullPacketModeView view;
    NowSource clock;
    SharedSnapshot<std::string> pattern(
        std::make_shared<const std::string>(kDefaultDateTimeTemplate));
    std::atomic<bool> shutdown{false};
    if (filters) {
        SettingsRecord settings = SettingsRecord::defaults("/tmp/");
        // Absent from every datagram: each is accepted after its payload was searched.
        settings.setMustNotContain1("X-Forbidden-Header");
        settings.setMustNotContain2("line 9999");
        current.refresh(settings);
        state.applyFiltersLive = true;
    }
    PacketCaptureContext context{state, store, list, current, view, clock, pattern, shutdown};

    for (auto _ : bench) {
        state.capturing = true;
        PacketCaptureThread(context, std::make_shared<MemorySource>(datagrams, kPacketsPerRun),
                            "127.0.0.1")
            .run();
        bench.PauseTiming();
        if (store.count() != kPacketsPerRun)
            bench.SkipWithError("packets were lost");
        StoreClearThread(state, store, list, view).run();
        bench.ResumeTiming();
    }
    bench.SetItemsProcessed(bench.iterations() * kPacketsPerRun);
}

void BM_ReceiveLoopFiltersOff(benchmark::State& bench) {
    RunReceiveLoop(bench, false);
}
void BM_ReceiveLoopTwoStringCriteria(benchmark::State& bench) {
    RunReceiveLoop(bench, true);
}
BENCHMARK(BM_ReceiveLoopFiltersOff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveLoopTwoStringCriteria)->Unit(benchmark::kMillisecond);

// A view painting one screen (40 rows, nine columns) somewhere in a million rows.
void BM_PaintScreenOfAMillionRows(benchmark::State& bench) {
    static const auto datagrams = RecordedDatagrams();
    static PacketStore store;
    static PacketList list(store);
    if (store.count() == 0) {
        for (int32_t slot = 0; slot < PacketStore::kCapacity; ++slot) {
            const auto& d = datagrams[static_cast<size_t>(slot) % datagrams.size()];
            store.put(slot, PacketRecord::create(d), static_cast<int32_t>(d.size()));
            store.setTimeText(slot, "2024.06.01 - 09:30:00.000");
            list.append(slot, nullptr);
            store.advanceCount();
        }
        list.acknowledge(*list.nextChange());
    }
    int32_t top = 0;
    for (auto _ : bench) {
        for (int32_t r = top; r < top + 40; ++r)
            for (int c = 0; c < kPacketListColumnCount; ++c)
                benchmark::DoNotOptimize(list.publishedCellText(r, c));
        top = (top + 24571) % (PacketStore::kCapacity - 40);
    }
    bench.SetItemsProcessed(bench.iterations() * 40);
}
BENCHMARK(BM_PaintScreenOfAMillionRows)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vorlanx
