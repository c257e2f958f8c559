#include "packetmode/new_packet_sound_monitor.h"

namespace vorlanx {

NewPacketSoundMonitor::NewPacketSoundMonitor(PacketModeState& state, SoundPlayer& player,
                                             Flag soundChecked, Text soundFile, Sleep sleep)
    : m_state(state),
      m_player(player),
      m_soundChecked(std::move(soundChecked)),
      m_soundFile(std::move(soundFile)),
      m_sleep(std::move(sleep)) {}

void NewPacketSoundMonitor::cycle() {
    if (!m_state.newPacketPending.load() || !m_state.capturing.load() || !m_soundChecked())
        return;
    // A single flag, not a counter: everything listed while a sound plays gives one more.
    m_state.newPacketPending.store(false);
    // A sound cut short by the window's close is not followed by the bell.
    PlayAlertSound(m_player, m_soundFile(), m_state.exitRequested);
}

void NewPacketSoundMonitor::run() {
    do {
        m_sleep(25);
        cycle();
    } while (!m_state.exitRequested.load());
}

}  // namespace vorlanx
