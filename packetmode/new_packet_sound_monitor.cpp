#include "packetmode/new_packet_sound_monitor.h"

namespace vorlanx {

NewPacketSoundMonitor::NewPacketSoundMonitor(PacketModeState& state, SoundPlayer& player,
                                             Flag soundChecked, Text soundFile, Sleep sleep)
    : m_state(state),
      m_player(player),
      m_soundChecked(std::move(soundChecked)),
      m_soundFile(std::move(soundFile)),
      m_sleep(std::move(sleep)) {}

const std::vector<Tone>& NewPacketSoundMonitor::tune() {
    static const std::vector<Tone> tones = {{700, 40}, {800, 60}, {600, 30}, {1000, 50},
                                            {400, 70}, {900, 70}, {600, 40}};
    return tones;
}

void NewPacketSoundMonitor::cycle() {
    if (!m_state.newPacketPending.load() || !m_state.capturing.load() || !m_soundChecked())
        return;
    // A single flag, not a counter: everything listed while a sound plays gives one more.
    m_state.newPacketPending.store(false);
    const std::string file = m_soundFile();
    if (!file.empty() && m_player.playWaveFile(file))
        return;
    // A sound cut short by the window's close is not followed by the bell.
    if (!m_player.playTones(tune(), kTunePauseMs) && !m_state.exitRequested.load())
        m_player.bell();
}

void NewPacketSoundMonitor::run() {
    do {
        m_sleep(25);
        cycle();
    } while (!m_state.exitRequested.load());
}

}  // namespace vorlanx
