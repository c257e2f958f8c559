// A FileModeView that records what the engine's threads report, for the File Mode tests.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "filemode/file_mode_state.h"

namespace vorlanx::test {

struct RecordingFileModeView : FileModeView {
    // What `seen` holds when the capture loop reported its end.
    static constexpr const char* kEnded = "(capture ended)";

    void captureStarted() override {
        std::lock_guard lock(m_mutex);
        ++m_started;
    }
    void statusChanged(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_seen.push_back(text);
    }
    void captureEnded() override {
        std::lock_guard lock(m_mutex);
        m_seen.push_back(kEnded);
    }

    // The status texts and the ends of captures, in the order reported.
    std::vector<std::string> seen() const {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }
    int started() const {
        std::lock_guard lock(m_mutex);
        return m_started;
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_seen;
    int m_started = 0;
};

}  // namespace vorlanx::test
