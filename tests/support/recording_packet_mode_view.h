// A PacketModeView that records what the engine asked of the window, and a
// StatusMonitorView that records what the status monitor showed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "packetmode/packet_mode_view.h"
#include "packetmode/status_monitor.h"

namespace vorlanx::test {

class RecordingPacketModeView final : public PacketModeView {
  public:
    void setStatusText(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_statuses.push_back(text);
        m_changed.notify_all();
    }
    void setListProgressRange(int32_t maximum) override {
        std::lock_guard lock(m_mutex);
        m_listProgressRanges.push_back(maximum);
    }
    void emptyEntirePacketPane() override {
        std::lock_guard lock(m_mutex);
        ++m_entirePacketEmptied;
        m_events.push_back("emptyEntirePacketPane");
    }
    void showOperationProgress(int32_t maximum) override {
        std::lock_guard lock(m_mutex);
        m_operationProgressMaximum = maximum;
        ++m_covers;
        m_events.push_back("showOperationProgress " + std::to_string(maximum));
    }
    void setOperationProgress(int32_t position) override {
        {
            std::lock_guard lock(m_mutex);
            m_operationProgress.push_back(position);
        }
        if (onOperationProgress)
            onOperationProgress(position);
    }
    // Called on every move of progress bar 1129, on the worker's thread (to act in the
    // middle of an operation). Set it before the operation starts.
    std::function<void(int32_t position)> onOperationProgress;
    void hideOperationProgress() override {
        std::lock_guard lock(m_mutex);
        if (m_covers > 0)
            --m_covers;
        m_events.push_back("hideOperationProgress");
    }
    void showSaveCancel(bool visible) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back(visible ? "showSaveCancel" : "hideSaveCancel");
    }
    void showLoadCancel(bool visible) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back(visible ? "showLoadCancel" : "hideLoadCancel");
    }
    void emptyDetailFields() override {
        std::lock_guard lock(m_mutex);
        ++m_detailFieldsEmptied;
        m_events.push_back("emptyDetailFields");
    }
    void focusList() override {
        std::lock_guard lock(m_mutex);
        m_events.push_back("focusList");
    }

    std::vector<std::string> statuses() const {
        std::lock_guard lock(m_mutex);
        return m_statuses;
    }
    std::string lastStatus() const {
        std::lock_guard lock(m_mutex);
        return m_statuses.empty() ? std::string() : m_statuses.back();
    }
    // Waits until the last status is `text`; false on time-out.
    bool waitForStatus(const std::string& text,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout,
                                  [&] { return !m_statuses.empty() && m_statuses.back() == text; });
    }
    std::vector<int32_t> listProgressRanges() const {
        std::lock_guard lock(m_mutex);
        return m_listProgressRanges;
    }
    std::vector<int32_t> operationProgress() const {
        std::lock_guard lock(m_mutex);
        return m_operationProgress;
    }
    int32_t operationProgressMaximum() const {
        std::lock_guard lock(m_mutex);
        return m_operationProgressMaximum;
    }
    std::vector<std::string> events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    bool listHidden() const {
        std::lock_guard lock(m_mutex);
        return m_covers > 0;
    }
    int detailFieldsEmptied() const {
        std::lock_guard lock(m_mutex);
        return m_detailFieldsEmptied;
    }
    int entirePacketEmptied() const {
        std::lock_guard lock(m_mutex);
        return m_entirePacketEmptied;
    }

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_statuses;
    std::vector<int32_t> m_listProgressRanges;
    std::vector<int32_t> m_operationProgress;
    std::vector<std::string> m_events;
    int32_t m_operationProgressMaximum = -1;
    int m_covers = 0;  // operations covering the list, as the window counts them
    int m_detailFieldsEmptied = 0;
    int m_entirePacketEmptied = 0;
};

// The status monitor's view of a window with an empty list; safe to call from the
// monitor thread while the test reads it.
class RecordingStatusMonitorView final : public StatusMonitorView {
  public:
    void setTitle(const std::string& title) override {
        std::lock_guard lock(m_mutex);
        m_titles.push_back(title);
    }
    void setMemoryText(const std::string&) override {}
    int32_t rowCount() const override { return 0; }
    bool applyFiltersChecked() const override { return false; }
    bool noTaskbarBlink() const override { return true; }
    uint32_t allocationBytes() const override { return 0; }
    void refreshFilterStrings() override {}

    std::vector<std::string> titles() const {
        std::lock_guard lock(m_mutex);
        return m_titles;
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_titles;
};

}  // namespace vorlanx::test
