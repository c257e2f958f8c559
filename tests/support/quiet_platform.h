// Platform edges that do nothing, for window tests: a sound player that stays silent and a
// launcher that starts no program.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/sound.h"

namespace vorlanx::test {

// Remembers the wave files it was asked for (from any thread).
class SilentSoundPlayer final : public SoundPlayer {
  public:
    bool playWaveFile(const std::string& path) override {
        std::lock_guard lock(m_mutex);
        m_waveFiles.push_back(path);
        return false;
    }
    std::vector<std::string> waveFiles() const {
        std::lock_guard lock(m_mutex);
        return m_waveFiles;
    }
    bool playTones(const std::vector<Tone>&, unsigned) override { return true; }
    void bell() override {}

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_waveFiles;
};

class RefusingLauncher final : public ProgramLauncher {
  public:
    bool start(const std::string&, const std::vector<std::string>&) override { return false; }
};

}  // namespace vorlanx::test
