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

// Records which sounds the monitor asked for; the tune "plays" at once. A wave file is
// unreadable (the tune follows), or with `holdWave` plays "for ten seconds" unless stopped.
class ScriptedPlayer final : public SoundPlayer {
  public:
    explicit ScriptedPlayer(bool holdWave = false) : m_holdWave(holdWave) {}
    bool playWaveFile(const std::string& path) override {
        std::unique_lock lock(m_mutex);
        m_played.push_back(path);
        m_changed.notify_all();
        return m_holdWave && !m_changed.wait_for(lock, 10s, [this] { return m_stopped; });
    }
    bool playTones(const std::vector<Tone>&, unsigned) override {
        std::lock_guard lock(m_mutex);
        m_played.push_back("tune");
        return true;
    }
    void bell() override {}
    void stop() override {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }
    std::vector<std::string> played() const {
        std::lock_guard lock(m_mutex);
        return m_played;
    }
    bool waitUntilPlaying() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [this] { return !m_played.empty(); });
    }

  private:
    const bool m_holdWave;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_played;
    bool m_stopped = false;
};

struct PacketModeCoreTest : ::testing::Test {
    test::ScriptedCaptureSourceFactory sources;
    test::RecordingPacketModeView view;
    test::RecordingStatusMonitorView statusView;
    ScriptedPlayer sound;
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

TEST_F(PacketModeCoreTest, StoppingTheMonitorsEndsALongSound) {
    ScriptedPlayer player(true);
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
