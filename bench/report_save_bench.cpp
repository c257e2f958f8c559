// File > Save over a full store (a million packets of mixed sizes) to a real file on disk:
// the report with headings only, the report with Hex data and the capture file. The two
// with data are set against a plain write of the same number of bytes through OutputFile
// in the same run ("plainMs", "ratio"; "cpuRatio" for processor time, which other load on
// the machine disturbs less); every run reports the file's size.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "null_packet_mode_view.h"
#include "packetmode/report_save.h"
#include "platform/output_file.h"

namespace vorlanx {
namespace {

class SilentPrompt final : public UserPrompt {
  public:
    PromptAnswer ask(const PromptRequest&) override { return PromptAnswer::Ok; }
};

// A million listed TCP and UDP datagrams between a few hosts: a third short (60 to 120
// bytes, ACKs and small requests), a third full-sized (1,400 to 1,500), the rest anywhere
// between. Time texts in the default Date / Time pattern. Built once.
struct FullStore {
    PacketModeState state;
    PacketStore store;
    PacketList list{store};
    NullPacketModeView view;
    SilentPrompt prompt;
    FixedLocalTimeSource time{LocalTime{2026, 12, 8, 21, 0, 0, 5}};
    uint64_t datagramBytes = 0;

    FullStore() {
        std::mt19937 random{7};
        std::vector<uint8_t> d(1500, 0);
        for (int32_t slot = 0; slot < PacketStore::kCapacity; ++slot) {
            const uint32_t kind = random() % 3;
            const uint32_t length = kind == 0   ? 60 + random() % 61
                                    : kind == 1 ? 1400 + random() % 101
                                                : 121 + random() % 1279;
            for (uint32_t i = 0; i < length; ++i)
                d[i] = static_cast<uint8_t>(random());
            d[0] = 0x45;
            d[9] = random() % 2 ? 6 : 17;
            d[12] = 192, d[13] = 168, d[14] = 0, d[15] = static_cast<uint8_t>(random() % 8);
            d[16] = 10, d[17] = 0, d[18] = 0, d[19] = static_cast<uint8_t>(random() % 200);
            store.put(slot, PacketRecord::create({d.data(), length}), static_cast<int32_t>(length));
            char text[32];
            std::snprintf(text, sizeof text, "2026.12.08 - 21:%02d:%02d.%03d", slot / 60000 % 60,
                          slot / 1000 % 60, slot % 1000);
            store.setTimeText(slot, text);
            store.setCaptureTime(slot, 1'796'000'000'000'000 + int64_t{slot} * 997);
            store.setListed(slot, true);
            list.append(slot, nullptr);
            store.advanceCount();
            datagramBytes += length;
        }
    }
};

FullStore& fullStore() {
    static FullStore full;
    return full;
}

std::string TempFile(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("vorlanx-save-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of this thread, user and system (the kernel's copy into the page cache).
double ThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Wall and processor seconds of one write.
struct Spent {
    double wall = 0;
    double cpu = 0;
    Spent& operator+=(const Spent& o) {
        wall += o.wall;
        cpu += o.cpu;
        return *this;
    }
};

// Runs `write` with no dirty pages of an earlier write still waiting for the disk.
template <typename Write>
Spent Measure(Write&& write) {
    ::sync();
    const auto start = std::chrono::steady_clock::now();
    const double cpu = ThreadCpuSeconds();
    write();
    return {SecondsSince(start), ThreadCpuSeconds() - cpu};
}

// Writes `total` bytes to `path` through OutputFile in pieces of `piece` bytes, as a save
// that had its text ready would, open to close. 0 or the errno of the failure.
int PlainWrite(const std::string& path, uint64_t total, size_t piece) {
    const std::string bytes(piece, 'x');
    OutputFile file;
    int error = file.open(path, OutputFile::Mode::Replace);
    for (uint64_t left = total; error == 0 && left > 0;) {
        const size_t n = left < piece ? static_cast<size_t>(left) : piece;
        error = file.write({bytes.data(), n});
        left -= n;
    }
    const int closeError = file.close();
    return error != 0 ? error : closeError;
}

// One save per iteration, timed by hand (wall time); with `compare`, the plain write of as
// many bytes follows, outside the timing. Counters: the file's size, and against the
// plain write its milliseconds and the ratios of wall and of processor time.
void RunSaveBench(benchmark::State& bench, SaveFormat format, SavingOptions options, bool compare) {
    FullStore& full = fullStore();
    const std::string path = TempFile(format == SaveFormat::Capture ? "c.pcap" : "r.txt");
    const SaveServices services{full.state, full.store,  full.list,
                                full.view,  full.prompt, full.time};
    uint64_t fileBytes = 0;
    Spent save, plain;
    for (auto _ : bench) {
        SaveResult result;
        const Spent one = Measure([&] {
            result = RunSave({path, format, options, "%Y"}, services);
        });
        bench.SetIterationTime(one.wall);
        save += one;
        if (!result.created || result.error != 0 || result.saved != PacketStore::kCapacity) {
            bench.SkipWithError("the save failed or left packets out");
            break;
        }
        fileBytes = std::filesystem::file_size(path);
        std::filesystem::remove(path);
        if (!compare)
            continue;
        int error = 0;
        plain += Measure(
            [&] { error = PlainWrite(path, fileBytes, fileBytes / PacketStore::kCapacity); });
        std::filesystem::remove(path);
        if (error != 0) {
            bench.SkipWithError("the plain write failed");
            break;
        }
    }
    bench.counters["fileMB"] = static_cast<double>(fileBytes) / 1e6;
    bench.counters["datagramMB"] = static_cast<double>(full.datagramBytes) / 1e6;
    bench.counters["saveCpuMs"] = save.cpu * 1000 / static_cast<double>(bench.iterations());
    if (compare && plain.wall > 0 && plain.cpu > 0) {
        bench.counters["plainMs"] = plain.wall * 1000 / static_cast<double>(bench.iterations());
        bench.counters["plainCpuMs"] = plain.cpu * 1000 / static_cast<double>(bench.iterations());
        bench.counters["ratio"] = save.wall / plain.wall;
        bench.counters["cpuRatio"] = save.cpu / plain.cpu;
    }
    bench.SetItemsProcessed(bench.iterations() * PacketStore::kCapacity);
}

void BM_ReportHeadingsOnly(benchmark::State& bench) {
    RunSaveBench(bench, SaveFormat::Report, {}, false);
}
void BM_ReportWithHexData(benchmark::State& bench) {
    RunSaveBench(bench, SaveFormat::Report, {.withData = true, .hex = true}, true);
}
void BM_CaptureFile(benchmark::State& bench) {
    RunSaveBench(bench, SaveFormat::Capture, {}, true);
}
BENCHMARK(BM_ReportHeadingsOnly)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReportWithHexData)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CaptureFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace vorlanx
