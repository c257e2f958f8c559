// The soak's rule for memory that keeps growing across Packet Mode cycles.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>

namespace vorlanx::soak {

struct GrowthJudgement {
    bool judged = false;   // enough cycles to say
    bool growing = false;  // the rule is broken
    long early = 0;        // largest figure of the first third after warm-up
    long late = 0;         // smallest figure of the last third
};

inline constexpr size_t kWarmUpCycles = 2;
inline constexpr size_t kJudgedCycles = 6;  // at least, after warm-up

// Over the resident memory after each Clear, in cycle order. The first kWarmUpCycles are
// warm-up (the allocator's caches and the sanitizer's quarantine of freed blocks fill
// there). Of the rest, the smallest figure of the last third must stay within 10% of the
// largest of the first third: a steady growth breaks that, the noise of single cycles does
// not. Fewer than kJudgedCycles after warm-up are too few to judge.
inline GrowthJudgement JudgeGrowth(std::span<const long> rssAfterClear) {
    GrowthJudgement j;
    if (rssAfterClear.size() < kWarmUpCycles + kJudgedCycles)
        return j;
    const std::span<const long> rss = rssAfterClear.subspan(kWarmUpCycles);
    const size_t third = rss.size() / 3;
    j.judged = true;
    j.early = *std::max_element(rss.begin(), rss.begin() + static_cast<std::ptrdiff_t>(third));
    j.late = *std::min_element(rss.end() - static_cast<std::ptrdiff_t>(third), rss.end());
    j.growing = static_cast<double>(j.late) > static_cast<double>(j.early) * 1.10;
    return j;
}

}  // namespace vorlanx::soak
