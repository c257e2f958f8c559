#include "platform/sound.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace vorlanx {
namespace {

constexpr unsigned kToneSampleRate = 44100;

uint32_t le32(const std::vector<unsigned char>& b, size_t o) {
    return uint32_t{b[o]} | (uint32_t{b[o + 1]} << 8) | (uint32_t{b[o + 2]} << 16) |
           (uint32_t{b[o + 3]} << 24);
}
uint16_t le16(const std::vector<unsigned char>& b, size_t o) {
    return static_cast<uint16_t>(b[o] | (b[o + 1] << 8));
}

// ALSA reports every failed open on stderr; a missing sound device is not news worth
// printing for each new packet, so its messages are dropped.
void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// Opens `device` without blocking on a busy one, configured for the format.
snd_pcm_t* openPcm(const std::string& device, snd_pcm_format_t format, unsigned channels,
                   unsigned rate) {
    static const bool silenced = [] {
        snd_lib_error_set_handler(silentAlsaError);
        return true;
    }();
    (void)silenced;
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return nullptr;
    snd_pcm_nonblock(pcm, 0);  // once open, write synchronously
    if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1, 200000) <
        0) {
        snd_pcm_close(pcm);
        return nullptr;
    }
    return pcm;
}

}  // namespace

bool WritePcmPieces(const unsigned char* data, size_t frames, size_t frameBytes, size_t pieceFrames,
                    const std::atomic<bool>& stopped, const PcmWrite& write) {
    while (frames > 0) {
        if (stopped.load())
            return false;
        const size_t written = write(data, std::min(frames, pieceFrames));
        if (written == 0)
            return false;
        data += written * frameBytes;
        frames -= std::min(written, frames);
    }
    return true;
}

std::optional<std::vector<unsigned char>> ReadSoundFile(const std::string& path,
                                                        uint64_t limitBytes) {
    // Non-blocking, so opening a FIFO without a writer returns at once; the type check
    // then refuses it, a device and a directory before any read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::vector<unsigned char>> result;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
        static_cast<uint64_t>(info.st_size) <= limitBytes) {
        // The size may change while the file is read: read to its end, one byte past the
        // limit at most, and refuse what grew beyond it.
        const uint64_t cap = limitBytes < UINT64_MAX ? limitBytes + 1 : limitBytes;
        std::vector<unsigned char> bytes(static_cast<size_t>(info.st_size) + 1);
        size_t have = 0;
        bool failed = false;
        while (have <= limitBytes) {
            if (have == bytes.size())
                bytes.resize(static_cast<size_t>(std::min<uint64_t>(cap, uint64_t{have} * 2)));
            const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                failed = n < 0;
                break;
            }
            have += static_cast<size_t>(n);
        }
        if (!failed && have <= limitBytes) {
            bytes.resize(have);
            result = std::move(bytes);
        }
    }
    ::close(fd);
    return result;
}

bool ParseWave(const std::vector<unsigned char>& file, WaveData& out) {
    if (file.size() < 12 || std::string(file.begin(), file.begin() + 4) != "RIFF" ||
        std::string(file.begin() + 8, file.begin() + 12) != "WAVE")
        return false;
    bool haveFormat = false;
    size_t pos = 12;
    while (pos + 8 <= file.size()) {
        const std::string id(file.begin() + static_cast<std::ptrdiff_t>(pos),
                             file.begin() + static_cast<std::ptrdiff_t>(pos) + 4);
        const size_t size = le32(file, pos + 4);
        const size_t body = pos + 8;
        const size_t available = file.size() - body;
        if (id == "fmt ") {
            if (size < 16 || available < 16)
                return false;
            const unsigned format = le16(file, body);
            out.channels = le16(file, body + 2);
            out.sampleRate = le32(file, body + 4);
            out.bitsPerSample = le16(file, body + 14);
            if (format != 1 || (out.channels != 1 && out.channels != 2) ||
                (out.bitsPerSample != 8 && out.bitsPerSample != 16) || out.sampleRate == 0)
                return false;
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return false;
            const size_t take = std::min(size, available);
            out.samples.assign(file.begin() + static_cast<std::ptrdiff_t>(body),
                               file.begin() + static_cast<std::ptrdiff_t>(body + take));
            return !out.samples.empty();
        }
        if (size > available)
            return false;
        pos = body + size + (size & 1);  // chunks are padded to even sizes
    }
    return false;
}

std::vector<short> SynthesizeTones(const std::vector<Tone>& tones, unsigned pauseMs,
                                   unsigned sampleRate) {
    std::vector<short> samples;
    for (const Tone& t : tones) {
        samples.insert(samples.end(), static_cast<size_t>(sampleRate) * pauseMs / 1000, 0);
        const size_t n = static_cast<size_t>(sampleRate) * t.durationMs / 1000;
        for (size_t i = 0; i < n; ++i) {
            // A square-ish wave like a speaker's, softened to a sine to spare the ears.
            const double phase =
                2 * std::numbers::pi * t.frequencyHz * static_cast<double>(i) / sampleRate;
            samples.push_back(static_cast<short>(std::lround(9000 * std::sin(phase))));
        }
    }
    return samples;
}

bool AlsaSoundPlayer::play(int format, unsigned channels, unsigned rate, const void* samples,
                           size_t frames, size_t frameBytes) {
    if (m_stopped.load())
        return false;
    snd_pcm_t* pcm = openPcm(m_device, static_cast<snd_pcm_format_t>(format), channels, rate);
    if (!pcm)
        return false;
    // Pieces of 50 ms: a stop is noticed that soon, while the device's 200 ms buffer
    // stays full.
    const bool whole =
        WritePcmPieces(static_cast<const unsigned char*>(samples), frames, frameBytes, rate / 20,
                       m_stopped, [pcm](const unsigned char* data, size_t count) -> size_t {
                           snd_pcm_sframes_t n = snd_pcm_writei(pcm, data, count);
                           if (n < 0)
                               n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
                           return n < 0 ? 0 : static_cast<size_t>(n);
                       });
    if (whole)
        snd_pcm_drain(pcm);
    else
        snd_pcm_drop(pcm);  // what is still buffered goes unheard
    snd_pcm_close(pcm);
    return whole;
}

bool AlsaSoundPlayer::playWaveFile(const std::string& path) {
    if (path.empty() || m_stopped.load())
        return false;
    const std::optional<std::vector<unsigned char>> file = ReadSoundFile(path);
    WaveData wave;
    if (!file || !ParseWave(*file, wave))
        return false;
    const snd_pcm_format_t format =
        wave.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    const size_t frameBytes = wave.channels * wave.bitsPerSample / 8;
    return play(format, wave.channels, wave.sampleRate, wave.samples.data(),
                wave.samples.size() / frameBytes, frameBytes);
}

bool AlsaSoundPlayer::playTones(const std::vector<Tone>& tones, unsigned pauseMs) {
    const auto samples = SynthesizeTones(tones, pauseMs, kToneSampleRate);
    return play(SND_PCM_FORMAT_S16_LE, 1, kToneSampleRate, samples.data(), samples.size(),
                sizeof(short));
}

void AlsaSoundPlayer::bell() {
    if (isatty(STDERR_FILENO)) {
        const char bel = '\a';
        [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, &bel, 1);
    }
}

const std::vector<Tone>& AlertTune() {
    static const std::vector<Tone> tones = {{700, 40}, {800, 60}, {600, 30}, {1000, 50},
                                            {400, 70}, {900, 70}, {600, 40}};
    return tones;
}

AlertOutcome PlayAlertSound(SoundPlayer& player, const std::string& file,
                            const std::atomic<bool>& cutShort) {
    if (!file.empty() && player.playWaveFile(file))
        return AlertOutcome::WaveFile;
    if (player.playTones(AlertTune(), kAlertTunePauseMs))
        return AlertOutcome::Tune;
    if (cutShort.load())
        return AlertOutcome::Nothing;
    player.bell();
    return AlertOutcome::Bell;
}

}  // namespace vorlanx
