// Sound output: a wave file, a sequence of tones, or the terminal bell.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

// Makes a player of its own for a caller that stops it (SoundPlayer::stop is for good).
using SoundPlayerFactory = std::function<std::unique_ptr<SoundPlayer>()>;

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

// The largest wave file the player reads: about six minutes of CD-quality stereo.
inline constexpr uint64_t kMaxSoundFileBytes = 64ull * 1024 * 1024;

// The whole content of `path` when it names a regular file of at most `limitBytes` bytes
// that can be read; nothing for anything else (missing, a directory, a FIFO or device, a
// larger file). Never blocks on a FIFO and never reads more than `limitBytes` + 1 bytes.
std::optional<std::vector<unsigned char>> ReadSoundFile(const std::string& path,
                                                        uint64_t limitBytes = kMaxSoundFileBytes);

// Parses a RIFF/WAVE file of uncompressed PCM (8 or 16 bits, 1 or 2 channels). False for
// anything else, a truncated header or a data chunk that runs past the file (the part
// that is there is kept).
bool ParseWave(const std::vector<unsigned char>& file, WaveData& out);

// Renders tones as signed 16-bit mono samples at `sampleRate`, each preceded by pauseMs
// of silence.
std::vector<short> SynthesizeTones(const std::vector<Tone>& tones, unsigned pauseMs,
                                   unsigned sampleRate);

// The alert tune for a new packet and for the General settings' Test: seven tones, each
// after a 10 ms pause, 430 ms in all.
const std::vector<Tone>& AlertTune();
inline constexpr unsigned kAlertTunePauseMs = 10;

// What PlayAlertSound made heard.
enum class AlertOutcome { WaveFile, Tune, Bell, Nothing };

// The alert rule: the wave file `file` when it is not empty and plays; otherwise the
// tune; when that cannot play either (no audio device), the bell, unless `cutShort` is
// set by then (a close stopped the player, so the failure was not the device's).
// Synchronous: the thread of the caller plays.
AlertOutcome PlayAlertSound(SoundPlayer& player, const std::string& file,
                            const std::atomic<bool>& cutShort);

}  // namespace vorlanx
