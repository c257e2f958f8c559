// NewPacketSoundMonitor: one sound when packets have been listed since the last one.
//
// Every 25 ms, when a packet is pending, a capture runs and "Make sound for new packets"
// is checked, it plays the alert sound (PlayAlertSound) of the settings' wave file. Runs
// on its own thread; the sound plays there, never on the capture path.
#pragma once

#include <functional>
#include <string>

#include "packetmode/packet_mode_state.h"
#include "platform/sound.h"

namespace vorlanx {

class NewPacketSoundMonitor {
  public:
    using Sleep = std::function<void(int milliseconds)>;
    using Flag = std::function<bool()>;
    using Text = std::function<std::string()>;

    // soundChecked: check box 1014; soundFile: the settings' wave file. Both any thread.
    NewPacketSoundMonitor(PacketModeState& state, SoundPlayer& player, Flag soundChecked,
                          Text soundFile, Sleep sleep);

    // One cycle after its 25 ms pause.
    void cycle();
    // Cycles until exitRequested. Its own thread.
    void run();

  private:
    PacketModeState& m_state;
    SoundPlayer& m_player;
    Flag m_soundChecked;
    Text m_soundFile;
    Sleep m_sleep;
};

}  // namespace vorlanx
