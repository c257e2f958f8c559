// QtSoundPlayer: sounds through another player, the bell through the desktop.
//
// The terminal bell of the ALSA player is heard only when the program was started from a
// terminal; this player rings QApplication::beep() instead, carried to the user-interface
// thread, so the last resort works for a program started from the desktop too.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sound.h"

namespace vorlanx {

class QtSoundPlayer final : public SoundPlayer {
  public:
    // `sounds` plays the wave files and tones and outlives this player. `ring` rings the
    // bell on the user-interface thread (QApplication::beep unless a test gives another).
    explicit QtSoundPlayer(SoundPlayer& sounds, std::function<void()> ring = {});
    // The same over a player it owns.
    explicit QtSoundPlayer(std::unique_ptr<SoundPlayer> sounds, std::function<void()> ring = {});
    ~QtSoundPlayer() override;

    bool playWaveFile(const std::string& path) override;
    bool playTones(const std::vector<Tone>& tones, unsigned pauseMs) override;
    // Queues one ring to the user-interface thread and returns. Any thread.
    void bell() override;
    void stop() override;

  private:
    std::unique_ptr<SoundPlayer> m_owned;  // empty when the caller owns the player
    SoundPlayer& m_sounds;
    std::function<void()> m_ring;
    // Lives on the user-interface thread; a ring queued to it is dropped with it.
    QObject m_context;
};

// A player of its own on the default ALSA device, ringing the desktop's bell: what a
// window that stops its sounds on close is given (a SoundPlayerFactory).
std::unique_ptr<SoundPlayer> MakeDesktopSoundPlayer();

}  // namespace vorlanx
