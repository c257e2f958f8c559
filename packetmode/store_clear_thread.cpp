#include "packetmode/store_clear_thread.h"

#include <chrono>

namespace vorlanx {

int32_t NextClearTime(int32_t previous) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    const auto now = static_cast<int32_t>(static_cast<uint32_t>(ms));
    // Signed 32-bit arithmetic that wraps, as the readers of the mark expect.
    const auto ahead =
        static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(previous));
    return ahead > 0 ? now : static_cast<int32_t>(static_cast<uint32_t>(previous) + 1u);
}

StoreClearThread::StoreClearThread(PacketModeState& state, PacketStore& store, PacketList& list,
                                   PacketModeView& view)
    : m_state(state), m_store(store), m_list(list), m_view(view) {}

void StoreClearThread::run() {
    if (m_state.findRunning.load())
        m_state.findAbortRequested.store(true);

    {
        std::unique_lock listLock = m_state.lockListForWorker();
        // Reset under the lock so a packet filed just before the clear is not counted
        // after it.
        m_store.resetAllocationBytes();
        m_list.deleteAllRows();
        m_view.emptyEntirePacketPane();
        m_state.listProgressPosition.store(0);

        m_view.showOperationProgress(m_store.count());
        for (int32_t slot = 0; slot < PacketStore::kCapacity; ++slot) {
            // Slots without a record are skipped without a progress update (a time text
            // left behind by a released record goes too).
            if (m_store.release(slot) && slot % kProgressStep == 0)
                m_view.setOperationProgress(slot);
        }
        m_view.hideOperationProgress();
        m_store.resetCount();
    }

    m_view.emptyDetailFields();
    m_state.lastClearTime.store(NextClearTime(m_state.lastClearTime.load()));
    m_state.clearDone.store(true);
}

}  // namespace vorlanx
