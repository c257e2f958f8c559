#include "packetmode/status_monitor.h"

#include <cstdio>

#include "settings/product.h"

namespace vorlanx {

StatusMonitor::StatusMonitor(PacketModeState& state, StatusMonitorView& view,
                             AvailableMemory memory, Sleep sleep)
    : m_state(state), m_view(view), m_memory(std::move(memory)), m_sleep(std::move(sleep)) {}

std::string StatusMonitor::itemsTitle(int32_t rowCount) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%ld items - %s", static_cast<long>(rowCount), kProductName);
    return buf;
}

std::string StatusMonitor::memoryText(int32_t freeKb, int32_t allocatedKb) {
    char buf[128];
    std::snprintf(buf, sizeof buf,
                  "Free physical RAM:       %ld KB\r\nPacket data allocation: %ld KB",
                  static_cast<long>(freeKb), static_cast<long>(allocatedKb));
    return buf;
}

void StatusMonitor::cycle() {
    const bool capturing = m_state.capturing.load();
    if (!capturing && m_shownCapturing) {
        m_shownCapturing = false;
        m_view.setTitle(kStoppedTitle);
    }
    if (capturing && !m_shownCapturing) {
        m_shownCapturing = true;
        m_lastCount = m_view.rowCount();
        m_view.setTitle(itemsTitle(m_lastCount));
    }

    if (m_view.rowCount() != m_lastCount && m_state.capturing.load()) {
        if (!m_view.noTaskbarBlink()) {
            // Three blinks and a last flash: 1.4 s in which this monitor does nothing else.
            for (int i = 0; i < 3; ++i) {
                m_view.setTitle(kBlinkTitle);
                m_sleep(200);
                m_view.setTitle(itemsTitle(m_view.rowCount()));
                m_sleep(200);
            }
            m_view.setTitle(kBlinkTitle);
            m_sleep(200);
        }
        m_lastCount = m_view.rowCount();
        m_view.setTitle(itemsTitle(m_lastCount));
    }

    // Both figures as the platform reports them, shifted to KB and shown as signed values.
    const uint64_t freeBytes = m_memory ? m_memory().value_or(0) : 0;
    const auto freeKb = static_cast<int32_t>(static_cast<uint32_t>(freeBytes >> 10));
    const auto allocKb = static_cast<int32_t>(m_view.allocationBytes() >> 10);
    if (freeKb != m_lastFreeKb || allocKb != m_lastAllocKb) {
        m_lastFreeKb = freeKb;
        m_lastAllocKb = allocKb;
        m_view.setMemoryText(memoryText(freeKb, allocKb));
    }

    m_state.applyFiltersLive.store(m_view.applyFiltersChecked());
    m_view.refreshFilterStrings();
}

void StatusMonitor::run() {
    do {
        m_sleep(50);
        cycle();
    } while (!m_state.exitRequested.load());
}

}  // namespace vorlanx
