// The alert sound: the wave file, else the tune, else the bell; and the wave file reader
// that refuses what is not a small regular file without blocking.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sound.h"
#include "support/recording_sound_player.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

TEST(AlertSound, FileThenTuneThenBell) {
    const std::string tune = "tune:7/430";
    struct Case {
        const char* file;
        bool waveWorks, tonesWork, cutShort;
        AlertOutcome outcome;
        std::vector<std::string> played;
    };
    const Case cases[] = {
        {"a.wav", true, true, false, AlertOutcome::WaveFile, {"wave:a.wav"}},
        {"a.wav", false, true, false, AlertOutcome::Tune, {"wave:a.wav", tune}},
        {"", true, true, false, AlertOutcome::Tune, {tune}},
        {"a.wav", false, false, false, AlertOutcome::Bell, {"wave:a.wav", tune, "bell"}},
        {"", false, false, false, AlertOutcome::Bell, {tune, "bell"}},
        // A close that cut the sound short: no bell after it.
        {"a.wav", false, false, true, AlertOutcome::Nothing, {"wave:a.wav", tune}},
    };
    for (const Case& c : cases) {
        test::RecordingSoundPlayer player;
        player.waveWorks = c.waveWorks;
        player.tonesWork = c.tonesWork;
        const std::atomic<bool> cutShort{c.cutShort};
        EXPECT_EQ(PlayAlertSound(player, c.file, cutShort), c.outcome) << c.played.back();
        EXPECT_EQ(player.played, c.played);
    }
    // The tones in their order, each after a 10 ms pause.
    const std::vector<std::pair<unsigned, unsigned>> tones = {
        {700, 40}, {800, 60}, {600, 30}, {1000, 50}, {400, 70}, {900, 70}, {600, 40}};
    std::vector<std::pair<unsigned, unsigned>> played;
    for (const Tone& t : AlertTune())
        played.emplace_back(t.frequencyHz, t.durationMs);
    EXPECT_EQ(played, tones);
    EXPECT_EQ(kAlertTunePauseMs, 10u);
}

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A mono 8-bit wave of `frames` samples at 8000 Hz.
std::vector<unsigned char> SmallWave(uint32_t frames) {
    auto le = [](std::vector<unsigned char>& b, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    std::vector<unsigned char> b = {'R', 'I', 'F', 'F'};
    le(b, 36 + frames, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    le(b, 16, 4);
    le(b, 1, 2);     // PCM
    le(b, 1, 2);     // mono
    le(b, 8000, 4);  // rate
    le(b, 8000, 4);  // bytes a second
    le(b, 1, 2);     // block
    le(b, 8, 2);     // bits
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    le(b, frames, 4);
    b.insert(b.end(), frames, 128);
    return b;
}

TEST(SoundFile, OnlySmallRegularFilesAreRead) {
    test::TempDir dir;
    const std::string fifo = dir.file("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir.file("huge.wav");
    {
        const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kMaxSoundFileBytes + 1)), 0);  // sparse
        ::close(fd);
    }
    const std::vector<unsigned char> wave = SmallWave(800);
    const std::string good = dir.file("good.wav");
    WriteFile(good, wave);

    struct Case {
        std::string path;
        uint64_t limit;
        bool read;
    };
    const Case cases[] = {
        {fifo, kMaxSoundFileBytes, false},  // no writer: would block a plain open for ever
        {"/dev/zero", kMaxSoundFileBytes, false},
        {dir.path().string(), kMaxSoundFileBytes, false},
        {dir.file("missing.wav"), kMaxSoundFileBytes, false},
        {huge, kMaxSoundFileBytes, false},
        {good, kMaxSoundFileBytes, true},
        {good, wave.size() + 1, true},
        {good, wave.size(), true},
        {good, wave.size() - 1, false},
    };
    for (const Case& c : cases) {
        const std::optional<std::vector<unsigned char>> bytes = ReadSoundFile(c.path, c.limit);
        ASSERT_EQ(bytes.has_value(), c.read) << c.path << " limit " << c.limit;
        if (c.read)
            EXPECT_EQ(*bytes, wave) << c.path;
    }

    // The player refuses the same paths at once, and plays the small file where ALSA's
    // null device exists.
    AlsaSoundPlayer player("null");
    for (const std::string& path : {fifo, std::string("/dev/zero"), dir.path().string(), huge})
        EXPECT_FALSE(player.playWaveFile(path)) << path;
    if (!player.playTones({{440, 10}}, 0))
        GTEST_SKIP() << "ALSA's null device is not available here";
    EXPECT_TRUE(player.playWaveFile(good));
}

}  // namespace
}  // namespace vorlanx
