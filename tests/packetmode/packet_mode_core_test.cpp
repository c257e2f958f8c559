// The Packet Mode core on its own: the monitor threads it owns start, report and are joined.
#include "packetmode/packet_mode_core.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/recording_packet_mode_view.h"
#include "support/scripted_capture_source.h"
#include "support/scripted_prompt.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;

// Records which sounds the monitor asked for; the tune "plays" at once.
class CountingPlayer final : public SoundPlayer {
  public:
    bool playWaveFile(const std::string& path) override {
        std::lock_guard lock(m_mutex);
        m_played.push_back(path);
        return false;  // unreadable: the tune follows
    }
    bool playTones(const std::vector<Tone>&, unsigned) override {
        std::lock_guard lock(m_mutex);
        m_played.push_back("tune");
        return true;
    }
    void bell() override {}
    std::vector<std::string> played() const {
        std::lock_guard lock(m_mutex);
        return m_played;
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_played;
};

struct PacketModeCoreTest : ::testing::Test {
    test::ScriptedCaptureSourceFactory sources;
    test::RecordingPacketModeView view;
    test::RecordingStatusMonitorView statusView;
    CountingPlayer sound;
    FixedLocalTimeSource localTime{LocalTime{2024, 6, 1, 9, 30, 0, 0}};
    test::ScriptedPrompt prompt;
    PacketModeCore core{{sources, view, statusView, sound, localTime, prompt}};
};

TEST_F(PacketModeCoreTest, MonitorsReportWhileRunningAndStopWhenJoined) {
    core.setSoundFile("/nonexistent/ding.wav");
    core.startMonitors();
    core.state().capturing = true;
    ASSERT_TRUE(WaitUntil([&] { return !statusView.titles().empty(); }));
    EXPECT_EQ(statusView.titles().front(), "0 items - Brindlecraft VORLANX");

    core.state().newPacketPending = true;
    ASSERT_TRUE(WaitUntil([&] { return sound.played().size() == 2; }));
    EXPECT_EQ(sound.played(), (std::vector<std::string>{"/nonexistent/ding.wav", "tune"}));

    // Unchecked: a pending packet stays silent.
    core.setSoundChecked(false);
    core.state().newPacketPending = true;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sound.played().size(), 2u);

    const auto before = std::chrono::steady_clock::now();
    core.stopMonitors();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_TRUE(core.state().exitRequested.load());
    const size_t titles = statusView.titles().size();
    core.state().capturing = false;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(statusView.titles().size(), titles) << "the monitor has ended";
    core.stopMonitors();  // again: nothing left to join
}

// Plays a wave file "for ten seconds" unless stopped.
class LongWavePlayer final : public SoundPlayer {
  public:
    bool playWaveFile(const std::string&) override {
        std::unique_lock lock(m_mutex);
        m_playing = true;
        m_changed.notify_all();
        return !m_changed.wait_for(lock, 10s, [this] { return m_stopped; });
    }
    bool playTones(const std::vector<Tone>&, unsigned) override { return false; }
    void bell() override {}
    void stop() override {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }
    bool waitUntilPlaying() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [this] { return m_playing; });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_playing = false;
    bool m_stopped = false;
};

TEST_F(PacketModeCoreTest, StoppingTheMonitorsEndsALongSound) {
    LongWavePlayer player;
    PacketModeCore withLongSound{{sources, view, statusView, player, localTime, prompt}};
    withLongSound.setSoundFile("/sounds/long.wav");
    withLongSound.startMonitors();
    withLongSound.state().capturing = true;
    withLongSound.state().newPacketPending = true;
    ASSERT_TRUE(player.waitUntilPlaying());
    const auto before = std::chrono::steady_clock::now();
    withLongSound.stopMonitors();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
}

}  // namespace
}  // namespace vorlanx
