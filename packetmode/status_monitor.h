// StatusMonitor: the window title, the memory label and the live filter copies.
//
// Every 50 ms it shows the number of listed packets in the title while a capture runs
// (blinking it when the number changed, unless the user turned blinking off), "VORLANX -
// Stopped" once a capture ended, rewrites the memory label when either figure changed,
// and refreshes the copies of the filter switch and strings the capture thread reads.
// It runs on its own thread and reaches the window only through StatusMonitorView.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "packetmode/packet_mode_state.h"

namespace vorlanx {

class StatusMonitorView {
  public:
    virtual ~StatusMonitorView() = default;
    // The window title. Any thread; must not wait for listBusy.
    virtual void setTitle(const std::string& title) = 0;
    // Label 1018. Any thread.
    virtual void setMemoryText(const std::string& text) = 0;
    // Rows of the packet list now. Any thread.
    virtual int32_t rowCount() const = 0;
    // "Apply filters to incoming packets" (1080) is checked. Any thread.
    virtual bool applyFiltersChecked() const = 0;
    // noTaskbarBlink of the settings. Any thread.
    virtual bool noTaskbarBlink() const = 0;
    // Bytes allocated for stored packets (the store's allocationBytes). Any thread.
    virtual uint32_t allocationBytes() const = 0;
    // Copies the six filter strings from the settings into the filter in use. Any thread.
    virtual void refreshFilterStrings() = 0;
};

class StatusMonitor {
  public:
    using Sleep = std::function<void(int milliseconds)>;
    using AvailableMemory = std::function<std::optional<uint64_t>()>;

    StatusMonitor(PacketModeState& state, StatusMonitorView& view, AvailableMemory memory,
                  Sleep sleep);

    // One cycle after its 50 ms pause: title, blink, memory label, filter copies.
    void cycle();
    // Cycles until exitRequested is set (tested at the end of each cycle). Its own thread.
    void run();

    static std::string itemsTitle(int32_t rowCount);
    static std::string memoryText(int32_t freeKb, int32_t allocatedKb);
    static constexpr const char* kStoppedTitle = "VORLANX - Stopped";
    static constexpr const char* kBlinkTitle = "##################";

  private:
    PacketModeState& m_state;
    StatusMonitorView& m_view;
    AvailableMemory m_memory;
    Sleep m_sleep;

    bool m_shownCapturing = false;
    int32_t m_lastCount = 0;
    std::optional<int32_t> m_lastFreeKb;
    std::optional<int32_t> m_lastAllocKb;
};

}  // namespace vorlanx
