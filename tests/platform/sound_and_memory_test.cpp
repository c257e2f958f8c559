#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/memory_status.h"
#include "platform/sound.h"
#include "support/recording_sound_player.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

void put32(std::vector<unsigned char>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put16(std::vector<unsigned char>& b, uint16_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}

std::vector<unsigned char> wave(uint16_t format, uint16_t channels, uint16_t bits,
                                std::vector<unsigned char> data, uint32_t declaredData) {
    std::vector<unsigned char> b = {'R', 'I', 'F', 'F'};
    put32(b, 0);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'L', 'I', 'S', 'T'});
    put32(b, 3);  // an odd-sized chunk before the format, padded to 4
    b.insert(b.end(), {'x', 'y', 'z', 0});
    b.insert(b.end(), {'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, format);
    put16(b, channels);
    put32(b, 8000);
    put32(b, 8000u * channels * bits / 8);
    put16(b, static_cast<uint16_t>(channels * bits / 8));
    put16(b, bits);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, declaredData);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

TEST(WaveParsing, PcmAcceptedOthersRefused) {
    WaveData w;
    ASSERT_TRUE(ParseWave(wave(1, 2, 16, {1, 2, 3, 4, 5, 6, 7, 8}, 8), w));
    EXPECT_EQ(w.channels, 2u);
    EXPECT_EQ(w.sampleRate, 8000u);
    EXPECT_EQ(w.bitsPerSample, 16u);
    EXPECT_EQ(w.samples.size(), 8u);

    // A data chunk that claims more than the file holds keeps what is there.
    ASSERT_TRUE(ParseWave(wave(1, 1, 8, {9, 9, 9}, 1000), w));
    EXPECT_EQ(w.samples.size(), 3u);

    EXPECT_FALSE(ParseWave(wave(3, 1, 16, {1, 2}, 2), w));  // IEEE float
    EXPECT_FALSE(ParseWave(wave(1, 6, 16, {1, 2}, 2), w));  // six channels
    EXPECT_FALSE(ParseWave(wave(1, 1, 24, {1, 2, 3}, 3), w));
    EXPECT_FALSE(ParseWave({'R', 'I', 'F', 'F'}, w));
    EXPECT_FALSE(ParseWave({}, w));
    auto cut = wave(1, 1, 16, {1, 2}, 2);
    cut.resize(30);  // inside the format chunk
    EXPECT_FALSE(ParseWave(cut, w));
}

TEST(ToneSynthesis, LengthsFollowPausesAndDurations) {
    // The alert tune: seven tones, each after a 10 ms pause, 430 ms in all.
    const std::vector<Tone> tune = {{700, 40}, {800, 60}, {600, 30}, {1000, 50},
                                    {400, 70}, {900, 70}, {600, 40}};
    ASSERT_EQ(AlertTune().size(), tune.size());
    for (size_t i = 0; i < tune.size(); ++i)
        EXPECT_TRUE(AlertTune()[i].frequencyHz == tune[i].frequencyHz &&
                    AlertTune()[i].durationMs == tune[i].durationMs)
            << i;
    EXPECT_EQ(kAlertTunePauseMs, 10u);
    const auto samples = SynthesizeTones(tune, 10, 8000);
    EXPECT_EQ(samples.size(), 8000u * 430 / 1000);
    // The first 10 ms are silent, the tone that follows is not.
    for (size_t i = 0; i < 80; ++i)
        ASSERT_EQ(samples[i], 0);
    bool sound = false;
    for (size_t i = 80; i < 400; ++i)
        sound = sound || samples[i] != 0;
    EXPECT_TRUE(sound);
}

TEST(PcmPieces, WritesEverythingUnlessTheDeviceFailsOrAStopComes) {
    const std::vector<unsigned char> samples(2 * 1000);  // 1000 frames of two bytes
    struct Case {
        size_t failAtPiece;  // the write of this piece fails; past the end: none does
        bool stopAtFirst;
        bool whole;
        size_t pieces;  // pieces written before the result
    };
    const Case cases[] = {
        {99, false, true, 10},  // 100 frames a piece
        {3, false, false, 3},   // the fourth write fails
        {99, true, false, 0},   // stopped before the first piece
    };
    for (const Case& c : cases) {
        std::atomic<bool> stopped{c.stopAtFirst};
        size_t pieces = 0, frames = 0;
        const bool whole = WritePcmPieces(samples.data(), 1000, 2, 100, stopped,
                                          [&](const unsigned char*, size_t count) {
                                              if (pieces == c.failAtPiece)
                                                  return size_t{0};
                                              ++pieces;
                                              frames += count;
                                              return count;
                                          });
        EXPECT_EQ(whole, c.whole) << c.failAtPiece;
        EXPECT_EQ(pieces, c.pieces) << c.failAtPiece;
        EXPECT_EQ(frames, c.pieces * 100) << c.failAtPiece;
    }
}

TEST(PcmPieces, StopEndsAPlaybackUnderWay) {
    // Ten seconds of sound written at the pace of a device, 50 ms a piece.
    using namespace std::chrono;
    const std::vector<unsigned char> samples(8000 * 10);
    std::atomic<bool> stopped{false};
    size_t pieces = 0;
    const auto begin = steady_clock::now();
    std::thread stopper([&] {
        std::this_thread::sleep_for(150ms);
        stopped = true;
    });
    const bool whole = WritePcmPieces(samples.data(), samples.size(), 1, 400, stopped,
                                      [&](const unsigned char*, size_t count) {
                                          std::this_thread::sleep_for(50ms);
                                          ++pieces;
                                          return count;
                                      });
    stopper.join();
    EXPECT_FALSE(whole);
    EXPECT_LT(steady_clock::now() - begin, 1s);
    EXPECT_LT(pieces, 10u);
}

TEST(AlsaSound, StopRefusesEveryLaterSound) {
    // A long wave file on ALSA's null device, which takes the samples without pacing.
    test::TempDir dir;
    const std::string path = dir.file("long.wav");
    writeFile(path, wave(1, 1, 16, std::vector<unsigned char>(8000 * 2 * 5), 8000 * 2 * 5));
    AlsaSoundPlayer player("null");
    if (!player.playWaveFile(path))
        GTEST_SKIP() << "ALSA's null device is not available here";
    EXPECT_TRUE(player.playTones({{440, 20}}, 0));
    player.stop();
    EXPECT_FALSE(player.playWaveFile(path));
    EXPECT_FALSE(player.playTones({{440, 20}}, 0));
}

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
}

TEST(SoundFile, OnlySmallRegularFilesAreRead) {
    test::TempDir dir;
    const std::string fifo = dir.file("pipe.wav");  // no writer: a plain open blocks for ever
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir.file("huge.wav");
    writeFile(huge, {});
    ASSERT_EQ(::truncate(huge.c_str(), static_cast<off_t>(kMaxSoundFileBytes + 1)), 0);  // sparse
    const std::vector<unsigned char> small =
        wave(1, 1, 8, std::vector<unsigned char>(800, 128), 800);
    const std::string good = dir.file("good.wav");
    writeFile(good, small);

    const std::pair<std::string, uint64_t> refused[] = {
        {fifo, kMaxSoundFileBytes},
        {"/dev/zero", kMaxSoundFileBytes},
        {dir.path().string(), kMaxSoundFileBytes},
        {dir.file("missing.wav"), kMaxSoundFileBytes},
        {huge, kMaxSoundFileBytes},
        {good, small.size() - 1}};
    for (const auto& [path, limit] : refused)
        EXPECT_FALSE(ReadSoundFile(path, limit).has_value()) << path << " limit " << limit;
    for (const uint64_t limit : {small.size(), kMaxSoundFileBytes})
        EXPECT_EQ(ReadSoundFile(good, limit), small) << limit;

    // The player refuses the same paths at once, and plays the small file where ALSA's
    // null device exists.
    AlsaSoundPlayer player("null");
    for (const std::string& path : {fifo, std::string("/dev/zero"), dir.path().string(), huge})
        EXPECT_FALSE(player.playWaveFile(path)) << path;
    if (!player.playTones({{440, 10}}, 0))
        GTEST_SKIP() << "ALSA's null device is not available here";
    EXPECT_TRUE(player.playWaveFile(good));
}

TEST(MemoryStatus, ParsesMemAvailableOnly) {
    EXPECT_EQ(ParseMemAvailable(
                  "MemTotal:       16000 kB\nMemFree:    10 kB\nMemAvailable:    2048 kB\n"),
              2048u * 1024);
    EXPECT_FALSE(ParseMemAvailable("MemTotal: 1 kB\n").has_value());
    EXPECT_FALSE(ParseMemAvailable("MemAvailable: lots\n").has_value());
    EXPECT_FALSE(ParseMemAvailable("XMemAvailable: 5 kB\n").has_value());
    auto live = AvailablePhysicalMemoryBytes();
    ASSERT_TRUE(live.has_value());
    EXPECT_GT(*live, 0u);
}

}  // namespace
}  // namespace vorlanx
