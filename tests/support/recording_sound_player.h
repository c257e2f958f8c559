// A sound player that records what it was asked to play ("wave:<path>", "tune:<tones>/<ms>"
// with the tones' count and total length, "bell") and answers as told. One thread.
#pragma once

#include <string>
#include <vector>

#include "platform/sound.h"

namespace vorlanx::test {

class RecordingSoundPlayer final : public SoundPlayer {
  public:
    bool waveWorks = true;
    bool tonesWork = true;
    std::vector<std::string> played;
    bool playWaveFile(const std::string& path) override {
        played.push_back("wave:" + path);
        return waveWorks;
    }
    bool playTones(const std::vector<Tone>& tones, unsigned pauseMs) override {
        unsigned total = 0;
        for (const auto& t : tones)
            total += t.durationMs + pauseMs;
        played.push_back("tune:" + std::to_string(tones.size()) + "/" + std::to_string(total));
        return tonesWork;
    }
    void bell() override { played.push_back("bell"); }
};

}  // namespace vorlanx::test
