// Sound output: a wave file, a sequence of tones, or the terminal bell.
#pragma once

#include <string>
#include <vector>

namespace vorlanx {

struct Tone {
    unsigned frequencyHz;
    unsigned durationMs;
};

class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    // Plays a PCM wave file synchronously. False when the file cannot be read or played
    // (missing, not PCM, no audio device, device busy); nothing is reported.
    virtual bool playWaveFile(const std::string& path) = 0;
    // Plays the tones in order, each preceded by `pauseMs` of silence, synchronously.
    // False when no audio device can be opened.
    virtual bool playTones(const std::vector<Tone>& tones, unsigned pauseMs) = 0;
    // The terminal bell: the last resort when no audio device works.
    virtual void bell() = 0;
};

// ALSA ("default" device), opened per sound and never waiting for a busy device.
class AlsaSoundPlayer final : public SoundPlayer {
  public:
    bool playWaveFile(const std::string& path) override;
    bool playTones(const std::vector<Tone>& tones, unsigned pauseMs) override;
    void bell() override;
};

// The PCM samples of a wave file, as far as this player understands them.
struct WaveData {
    unsigned channels = 0;
    unsigned sampleRate = 0;
    unsigned bitsPerSample = 0;  // 8 or 16
    std::vector<unsigned char> samples;
};

// Parses a RIFF/WAVE file of uncompressed PCM (8 or 16 bits, 1 or 2 channels). False for
// anything else, a truncated header or a data chunk that runs past the file (the part
// that is there is kept).
bool ParseWave(const std::vector<unsigned char>& file, WaveData& out);

// Renders tones as signed 16-bit mono samples at `sampleRate`, each preceded by pauseMs
// of silence.
std::vector<short> SynthesizeTones(const std::vector<Tone>& tones, unsigned pauseMs,
                                   unsigned sampleRate);

}  // namespace vorlanx
