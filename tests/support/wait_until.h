// Polls a condition until it holds or a time-out passes: for tests that watch threads.
#pragma once

#include <chrono>
#include <thread>

namespace vorlanx::test {

// True as soon as pred() is; false when it still is not after `timeout`.
template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(30),
               std::chrono::milliseconds poll = std::chrono::milliseconds(1)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(poll);
    }
    return true;
}

}  // namespace vorlanx::test
