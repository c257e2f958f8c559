// Platform edges that do nothing, for window tests: a sound player that stays silent and a
// launcher that starts no program.
#pragma once

#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/sound.h"

namespace vorlanx::test {

class SilentSoundPlayer final : public SoundPlayer {
  public:
    bool playWaveFile(const std::string&) override { return false; }
    bool playTones(const std::vector<Tone>&, unsigned) override { return true; }
    void bell() override {}
};

class RefusingLauncher final : public ProgramLauncher {
  public:
    bool start(const std::string&, const std::vector<std::string>&) override { return false; }
};

}  // namespace vorlanx::test
