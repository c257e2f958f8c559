// FileModeStatistics headless: the counter texts, the rates over successive 5 s ticks and
// across a new capture, and the buffer bar, each given only when its value changed.
#include "filemode/file_mode_statistics.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace vorlanx {
namespace {

using Text = std::optional<std::string>;

struct StatisticsTest : ::testing::Test {
    FileModeState state;
    FileModeCounters counters;
    ManualProgramClock clock;
    FileModeStatistics statistics{state, counters, clock};
};

// Every field of a tick's texts, named in a failure.
void ExpectTexts(const CounterTexts& got, const CounterTexts& want, const char* what) {
    EXPECT_EQ(got.pending, want.pending) << what;
    EXPECT_EQ(got.processed, want.processed) << what;
    EXPECT_EQ(got.written, want.written) << what;
    EXPECT_EQ(got.memory, want.memory) << what;
}
void ExpectTexts(const RateTexts& got, const RateTexts& want, const char* what) {
    EXPECT_EQ(got.current, want.current) << what;
    EXPECT_EQ(got.peak, want.peak) << what;
    EXPECT_EQ(got.average, want.average) << what;
}

TEST_F(StatisticsTest, FirstTextsAreTheWindowsZeroes) {
    ExpectTexts(statistics.shownCounterTexts(),
                {"Files processing: 0", "Files processed: 0 (0 KB) of 0 (0 KB)",
                 "Files written: 0 (0 KB) of 0 (0 KB)", "0 KB"},
                "shown counters");
    ExpectTexts(statistics.shownRateTexts(), {"Current: 0", "Peak: 0", "Average: 0"},
                "shown rates");
    // Nothing changed yet: a tick gives no text at all.
    ExpectTexts(statistics.countersTick(), {}, "first tick");
}

TEST_F(StatisticsTest, CounterTextsFollowTheirOwnValuesOnly) {
    struct Row {
        const char* change;
        std::function<void(FileModeCounters&)> apply;
        CounterTexts texts;
    };
    const Row rows[] = {
        {"pending", [](auto& c) { c.filesPending = 3; }, {.pending = "Files processing: 3"}},
        {"processed run bytes below 1 KB still change the pair",
         [](auto& c) { c.bytesProcessedRun = 1023; },
         {.processed = "Files processed: 0 (0 KB) of 0 (0 KB)"}},
        {"processed, both pairs",
         [](auto& c) {
             c.filesProcessedRun = 2;
             c.bytesProcessedRun = 2048;
             c.filesProcessedAll = 7;
             c.bytesProcessedAll = 10 * 1024 + 1023;
         },
         {.processed = "Files processed: 2 (2 KB) of 7 (10 KB)"}},
        {"written",
         [](auto& c) {
             c.filesWrittenRun = 1;
             c.bytesWrittenRun = 5205;
             c.filesWrittenAll = 4;
             c.bytesWrittenAll = uint64_t{5} << 40;
         },
         {.written = "Files written: 1 (5 KB) of 4 (5368709120 KB)"}},
        {"memory just under 1 KB", [](auto& c) { c.trackedMemory = 1023; }, {.memory = "0 KB"}},
        {"memory", [](auto& c) { c.trackedMemory = 5217; }, {.memory = "5 KB"}},
        {"negative memory rounds toward zero",
         [](auto& c) { c.trackedMemory = -2047; },
         {.memory = "-1 KB"}},
        {"nothing", [](auto&) {}, {}},
    };
    for (const Row& row : rows) {
        row.apply(counters);
        ExpectTexts(statistics.countersTick(), row.texts, row.change);
    }
}

TEST_F(StatisticsTest, RatesOverSuccessiveTicksAndANewCapture) {
    struct Row {
        const char* tick;
        bool newCapture;  // a capture starts at `clockMs` - 0 before this tick
        uint64_t receivedBytes;
        int32_t clockMs;
        RateTexts texts;
    };
    const Row rows[] = {
        // 1,250,000 bytes in 5 s: 250,000 a second, 2,000,000 bits, 1953 Kbps.
        {"first interval", true, 1250000, 5000, {"Current: 1953", "Peak: 1953", "Average: 1953"}},
        // 250,000 more: 390.6 truncated; the peak stays; 1,500,000 over 10 s gives 1171.
        {"slower interval", false, 1500000, 10000, {"Current: 390", {}, "Average: 1171"}},
        {"idle interval", false, 1500000, 20000, {"Current: 0", {}, "Average: 585"}},
        {"same figures again", false, 1500000, 20000, {}},
        // A new capture: the sample and the peak start again from 0, and less than one
        // second after the start the average divides by one second.
        {"new capture, 500 ms in", true, 1000, 500, {"Current: 1", "Peak: 1", "Average: 7"}},
    };
    for (const Row& row : rows) {
        if (row.newCapture) {
            state.captureGeneration.fetch_add(1);
            state.captureStartClock = 0;
        }
        counters.receivedBytes = row.receivedBytes;
        clock.set(row.clockMs);
        ExpectTexts(statistics.ratesTick(), row.texts, row.tick);
    }
}

TEST_F(StatisticsTest, AverageHoldsAcrossTheProgramClockWrap) {
    state.captureGeneration = 1;
    state.captureStartClock = INT32_MAX - 4999;  // 5 s before the wrap
    counters.receivedBytes = 1280000;            // 1000 Kbps over 10 s
    clock.set(INT32_MIN + 5000);                 // 5 s after it
    EXPECT_EQ(statistics.ratesTick().average, Text("Average: 1000"));
}

TEST_F(StatisticsTest, BufferBarClampsToItsScaleAndRepeatsNothing) {
    struct Row {
        uint64_t waiting;
        std::optional<int> position;
    };
    const Row rows[] = {
        {0, std::nullopt},
        {4000, 4000},
        {4000, std::nullopt},
        {FileModeStatistics::kBufferScaleBytes, 10000000},
        {FileModeStatistics::kBufferScaleBytes + 1, std::nullopt},
        {10223616, std::nullopt},
        {1, 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(statistics.bufferTick(row.waiting), row.position) << row.waiting;
}

}  // namespace
}  // namespace vorlanx
