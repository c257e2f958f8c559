#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "packetmode/new_packet_sound_monitor.h"
#include "packetmode/status_monitor.h"
#include "support/recording_sound_player.h"

namespace vorlanx {
namespace {

class RecordingView final : public StatusMonitorView {
  public:
    std::vector<std::string> titles;
    std::vector<std::string> memoryTexts;
    std::atomic<int32_t> rows{0};
    bool applyChecked = false;
    bool noBlink = false;
    uint32_t allocation = 0;
    int refreshes = 0;

    void setTitle(const std::string& t) override { titles.push_back(t); }
    void setMemoryText(const std::string& t) override { memoryTexts.push_back(t); }
    int32_t rowCount() const override { return rows.load(); }
    bool applyFiltersChecked() const override { return applyChecked; }
    bool noTaskbarBlink() const override { return noBlink; }
    uint32_t allocationBytes() const override { return allocation; }
    void refreshFilterStrings() override { ++refreshes; }
};

struct StatusFixture : ::testing::Test {
    PacketModeState state;
    RecordingView view;
    uint64_t freeBytes = 8ull << 30;
    std::vector<int> sleeps;
    StatusMonitor monitor{state, view, [this] { return std::optional(freeBytes); },
                          [this](int ms) { sleeps.push_back(ms); }};
};

TEST_F(StatusFixture, FirstCaptureOnEmptyListShowsZeroThenStoppedOnce) {
    monitor.cycle();
    EXPECT_TRUE(view.titles.empty());  // "Waiting" stays until a capture starts
    state.capturing = true;
    monitor.cycle();
    EXPECT_EQ(view.titles, std::vector<std::string>{"0 items - Brindlecraft VORLANX"});
    state.capturing = false;
    monitor.cycle();
    monitor.cycle();
    EXPECT_EQ(view.titles.back(), "VORLANX - Stopped");
    EXPECT_EQ(view.titles.size(), 2u);
}

TEST_F(StatusFixture, NewRowsBlinkThreeTimesAndAFlashUnlessBlinkingIsOff) {
    state.capturing = true;
    monitor.cycle();
    view.titles.clear();
    view.rows = 5;
    monitor.cycle();
    const std::string blink = "##################", five = "5 items - Brindlecraft VORLANX";
    EXPECT_EQ(view.titles,
              (std::vector<std::string>{blink, five, blink, five, blink, five, blink, five}));
    EXPECT_EQ(sleeps, std::vector<int>(7, 200));  // 1.4 s
    // No change, no blink.
    view.titles.clear();
    monitor.cycle();
    EXPECT_TRUE(view.titles.empty());
    // "No taskbar blink" goes straight to the new count.
    view.noBlink = true;
    sleeps.clear();
    view.rows = 7;
    monitor.cycle();
    EXPECT_EQ(view.titles, std::vector<std::string>{"7 items - Brindlecraft VORLANX"});
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(StatusFixture, RowsDeletedWhileStoppedDoNotChangeTheTitle) {
    view.rows = 3;
    monitor.cycle();
    view.rows = 1;
    monitor.cycle();
    EXPECT_TRUE(view.titles.empty());
}

TEST_F(StatusFixture, MemoryLabelRewrittenOnlyWhenAFigureChanges) {
    view.allocation = 5000;  // 4 KB after the shift
    monitor.cycle();
    ASSERT_EQ(view.memoryTexts.size(), 1u);
    EXPECT_EQ(view.memoryTexts[0],
              "Free physical RAM:       8388608 KB\r\nPacket data allocation: 4 KB");
    view.allocation = 5100;  // still 4 KB
    monitor.cycle();
    EXPECT_EQ(view.memoryTexts.size(), 1u);
    view.allocation = 6000;
    monitor.cycle();
    EXPECT_EQ(view.memoryTexts.size(), 2u);
    freeBytes -= 4096;
    monitor.cycle();
    EXPECT_EQ(view.memoryTexts.size(), 3u);
}

TEST_F(StatusFixture, RefreshesFilterSwitchAndStringsEveryCycle) {
    view.applyChecked = true;
    monitor.cycle();
    EXPECT_TRUE(state.applyFiltersLive);
    view.applyChecked = false;
    monitor.cycle();
    EXPECT_FALSE(state.applyFiltersLive);
    EXPECT_EQ(view.refreshes, 2);
}

TEST_F(StatusFixture, RunEndsAfterExitRequested) {
    state.exitRequested = true;
    monitor.run();
    EXPECT_EQ(sleeps, std::vector<int>{50});
}

struct SoundFixture : ::testing::Test {
    PacketModeState state;
    test::RecordingSoundPlayer player;
    bool checked = true;
    std::string soundFile;
    NewPacketSoundMonitor monitor{state, player, [this] { return checked; },
                                  [this] { return soundFile; }, [](int) {}};
};

TEST_F(SoundFixture, WaveFileElseTheTuneElseTheBellOncePerPendingPacket) {
    struct Case {
        const char* file;
        bool waveWorks, tonesWork;
        std::vector<std::string> played;
    };
    const Case cases[] = {
        {"", true, true, {"tune:7/430"}},
        {"/tmp/ding.wav", true, true, {"wave:/tmp/ding.wav"}},
        {"/tmp/ding.wav", false, true, {"wave:/tmp/ding.wav", "tune:7/430"}},
        {"/tmp/ding.wav", false, false, {"wave:/tmp/ding.wav", "tune:7/430", "bell"}},
    };
    state.capturing = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.played.back());
        soundFile = c.file;
        player.waveWorks = c.waveWorks;
        player.tonesWork = c.tonesWork;
        player.played.clear();
        state.newPacketPending = true;
        monitor.cycle();
        EXPECT_EQ(player.played, c.played);
        EXPECT_FALSE(state.newPacketPending);
        monitor.cycle();  // one sound per pending flag
        EXPECT_EQ(player.played, c.played);
    }
}

TEST_F(SoundFixture, UncheckedOrIdleKeepsThePendingPacketForLater) {
    checked = false;
    state.capturing = true;
    state.newPacketPending = true;
    monitor.cycle();
    EXPECT_TRUE(player.played.empty());
    EXPECT_TRUE(state.newPacketPending);
    checked = true;
    state.capturing = false;
    monitor.cycle();
    EXPECT_TRUE(player.played.empty());
    state.capturing = true;
    monitor.cycle();  // both conditions hold again: announced with one sound
    EXPECT_EQ(player.played.size(), 1u);
}

}  // namespace
}  // namespace vorlanx
