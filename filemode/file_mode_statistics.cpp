#include "filemode/file_mode_statistics.h"

#include <algorithm>

namespace vorlanx {

std::string FileModeStatistics::pairText(const char* what, const PairShown& pair) {
    return std::string(what) + std::to_string(pair.runFiles) + " (" +
           std::to_string(pair.runBytes / 1024) + " KB) of " + std::to_string(pair.allFiles) +
           " (" + std::to_string(pair.allBytes / 1024) + " KB)" +
           (pair.incomplete == 0 ? "" : ", " + std::to_string(pair.incomplete) + " incomplete");
}

std::string FileModeStatistics::pendingText(uint32_t pending) {
    return "Files processing: " + std::to_string(pending);
}

std::string FileModeStatistics::memoryText(int32_t memory) {
    return std::to_string(memory / 1024) + " KB";  // toward zero, as C divides
}

CounterTexts FileModeStatistics::shownCounterTexts() const {
    return {pendingText(m_shownPending), pairText("Files processed: ", m_shownProcessed),
            pairText("Files written: ", m_shownWritten), memoryText(m_shownMemory)};
}

RateTexts FileModeStatistics::shownRateTexts() const {
    return {"Current: " + std::to_string(m_shownCurrent), "Peak: " + std::to_string(m_shownPeak),
            "Average: " + std::to_string(m_shownAverage)};
}

CounterTexts FileModeStatistics::countersTick() {
    CounterTexts texts;
    const uint32_t pending = m_counters.filesPending.load();
    if (pending != m_shownPending) {
        m_shownPending = pending;
        texts.pending = pendingText(pending);
    }
    const PairShown processed{
        m_counters.filesProcessedRun.load(), m_counters.bytesProcessedRun.load(),
        m_counters.filesProcessedAll.load(), m_counters.bytesProcessedAll.load()};
    if (processed != m_shownProcessed) {
        m_shownProcessed = processed;
        texts.processed = pairText("Files processed: ", processed);
    }
    const PairShown written{m_counters.filesWrittenRun.load(), m_counters.bytesWrittenRun.load(),
                            m_counters.filesWrittenAll.load(), m_counters.bytesWrittenAll.load(),
                            m_counters.filesIncompleteAll.load()};
    if (written != m_shownWritten) {
        m_shownWritten = written;
        texts.written = pairText("Files written: ", written);
    }
    const int32_t memory = m_counters.trackedMemory.load();
    if (memory != m_shownMemory) {
        m_shownMemory = memory;
        texts.memory = memoryText(memory);
    }
    return texts;
}

RateTexts FileModeStatistics::ratesTick() {
    const uint32_t generation = m_state.captureGeneration.load();
    if (generation != m_generation) {
        m_generation = generation;
        m_previousSample = 0;
        m_peak = 0;
    }
    RateTexts texts;
    const auto received = static_cast<int64_t>(m_counters.receivedBytes.load());

    const int64_t current = ((received - m_previousSample) / kRateIntervalSeconds) * 8 / 1024;
    m_previousSample = received;
    if (current != m_shownCurrent) {
        m_shownCurrent = current;
        texts.current = "Current: " + std::to_string(current);
    }

    m_peak = std::max(m_peak, current);
    if (m_peak != m_shownPeak) {
        m_shownPeak = m_peak;
        texts.peak = "Peak: " + std::to_string(m_peak);
    }

    // The 32-bit program clock wraps after 24.8 days; the elapsed time is taken modulo 2^32
    // so the average stays right across the wrap.
    const auto elapsedMs =
        static_cast<int32_t>(static_cast<uint32_t>(m_clock.nowMs()) -
                             static_cast<uint32_t>(m_state.captureStartClock.load()));
    const int64_t seconds = std::max<int64_t>(int64_t{elapsedMs} / 1000, 1);
    const int64_t average = ((received / seconds) * 8) / 1024;
    if (average != m_shownAverage) {
        m_shownAverage = average;
        texts.average = "Average: " + std::to_string(average);
    }
    return texts;
}

std::optional<int> FileModeStatistics::bufferTick(uint64_t bytesWaiting) {
    // The bar ignores a value beyond its range, so a queue fuller than the scale shows full.
    const auto position = static_cast<int64_t>(std::min<uint64_t>(bytesWaiting, kBufferScaleBytes));
    if (position == m_shownBuffer)
        return std::nullopt;
    m_shownBuffer = position;
    return static_cast<int>(position);
}

}  // namespace vorlanx
