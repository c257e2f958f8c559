// File Mode's statistics as the window shows them: the counter texts, the data rates and
// the buffer usage, each produced only when its value differs from the one shown last.
//
// The window calls the ticks from its timers on the user-interface thread and shows
// whatever text comes back; it composes none of these texts itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "filemode/file_mode_counters.h"
#include "filemode/file_mode_state.h"
#include "platform/clock.h"

namespace vorlanx {

// New texts for the counter statics; a field is empty when its text stays as it is.
struct CounterTexts {
    std::optional<std::string> pending;    // 1061 "Files processing: %ld"
    std::optional<std::string> processed;  // 1066 "Files processed: ..."
    std::optional<std::string> written;    // 1062 "Files written: ...[, N incomplete]"
    std::optional<std::string> memory;     // 1136 "%ld KB"
};

// New texts for the three rate statics (Kbps, 1,024 bits per second).
struct RateTexts {
    std::optional<std::string> current;  // 1137 "Current: %ld"
    std::optional<std::string> peak;     // 1139 "Peak: %ld"
    std::optional<std::string> average;  // 1138 "Average: %ld"
};

class FileModeStatistics {
  public:
    // The seconds between two rate samples and the full scale of the buffer bar (the
    // capture's receive buffer).
    static constexpr int64_t kRateIntervalSeconds = 5;
    static constexpr int64_t kBufferScaleBytes = 10000000;

    // Every value starts at 0, as the window's first texts show. The references must
    // outlive the object.
    FileModeStatistics(const FileModeState& state, const FileModeCounters& counters,
                       const ProgramClock& clock)
        : m_state(state), m_counters(counters), m_clock(clock) {}

    // The 100 ms tick: files pending, processed and written (this run's pair, then every
    // run's), and the memory File Mode holds.
    CounterTexts countersTick();

    // The 5 s tick (while a capture runs): the rate over the last interval, the run's peak
    // and the run's average, in signed 64-bit integer arithmetic with truncating divisions
    // in the order the figures have always been computed. A new capture (seen by its
    // generation) starts the sample and the peak again from 0.
    RateTexts ratesTick();

    // The 50 ms tick (while a capture runs): the bar position for `bytesWaiting`, clamped
    // to the bar's scale; empty when the bar already shows it.
    std::optional<int> bufferTick(uint64_t bytesWaiting);

    // The texts of the values shown last (every field set): before the first tick, the
    // window's first texts.
    CounterTexts shownCounterTexts() const;
    RateTexts shownRateTexts() const;

  private:
    struct PairShown {
        uint32_t runFiles = 0;
        uint64_t runBytes = 0;
        uint32_t allFiles = 0;
        uint64_t allBytes = 0;
        uint32_t incomplete = 0;  // files written with the incomplete marker, all runs
        bool operator==(const PairShown&) const = default;
    };
    static std::string pairText(const char* what, const PairShown& pair);
    static std::string pendingText(uint32_t pending);
    static std::string memoryText(int32_t memory);

    const FileModeState& m_state;
    const FileModeCounters& m_counters;
    const ProgramClock& m_clock;

    uint32_t m_shownPending = 0;
    PairShown m_shownProcessed;
    PairShown m_shownWritten;
    int32_t m_shownMemory = 0;

    uint32_t m_generation = 0;  // captureGeneration the rates belong to
    int64_t m_previousSample = 0;
    int64_t m_peak = 0;
    int64_t m_shownCurrent = 0;
    int64_t m_shownPeak = 0;
    int64_t m_shownAverage = 0;
    int64_t m_shownBuffer = 0;
};

}  // namespace vorlanx
