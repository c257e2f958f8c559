// Sound output: a wave file, a sequence of tones, or the terminal bell.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
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
    // The bell: the last resort when no audio device works.
    virtual void bell() = 0;
    // Ends a playback under way within about 50 ms and makes every later one end at once
    // (returning false): for the window's close, so the thread playing a long wave file can
    // be joined. A player that never blocks has nothing to end. Any thread.
    virtual void stop() {}
};

// ALSA, opened per sound and never waiting for a busy device.
class AlsaSoundPlayer final : public SoundPlayer {
  public:
    // `device`: the ALSA device name.
    explicit AlsaSoundPlayer(std::string device = "default") : m_device(std::move(device)) {}
    bool playWaveFile(const std::string& path) override;
    bool playTones(const std::vector<Tone>& tones, unsigned pauseMs) override;
    // The controlling terminal's bell, when there is one.
    void bell() override;
    void stop() override { m_stopped.store(true); }

  private:
    bool play(int format, unsigned channels, unsigned rate, const void* samples, size_t frames,
              size_t frameBytes);

    const std::string m_device;
    std::atomic<bool> m_stopped{false};
};

// Writes `frames` frames of `frameBytes` each through `write` in pieces of at most
// `pieceFrames`, looking at `stopped` before each piece. `write` takes the bytes and a
// frame count and returns the frames it wrote, 0 on failure. True when every frame was
// written; false on a failure or once `stopped` is set. Thread of the playback.
using PcmWrite = std::function<size_t(const unsigned char* data, size_t frames)>;
bool WritePcmPieces(const unsigned char* data, size_t frames, size_t frameBytes, size_t pieceFrames,
                    const std::atomic<bool>& stopped, const PcmWrite& write);

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
