// Start and Stop pressed in quick succession: a Stop cancels every Start asked for before
// it, whatever its starter thread has reached; a later Start runs.
#include <gtest/gtest.h>

#include <chrono>

#include "packetmode/packet_mode_core.h"
#include "support/recording_packet_mode_view.h"
#include "support/scripted_capture_source.h"
#include "support/scripted_prompt.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;

class NoSound final : public SoundPlayer {
  public:
    bool playWaveFile(const std::string&) override { return false; }
    bool playTones(const std::vector<Tone>&, unsigned) override { return true; }
    void bell() override {}
};

struct Rig {
    test::ScriptedCaptureSourceFactory sources;
    test::RecordingPacketModeView view;
    test::RecordingStatusMonitorView statusView;
    NoSound sound;
    FixedLocalTimeSource localTime;
    test::ScriptedPrompt prompt;
    SettingsRecord settings = SettingsRecord::defaults("/tmp/");
    PacketModeCore core{{sources, view, statusView, sound, localTime, prompt}};
    PacketModeEngine& engine = core.engine();
};

TEST(PacketEngineStartStop, AStopCancelsEveryStartBeforeIt) {
    enum class Press { Start, Stop, StartHeldOpen, StopWhileOpening, WaitIdle };
    struct Row {
        const char* name;
        std::vector<Press> presses;
        bool capturingAtEnd;
    };
    const Row rows[] = {
        {"stop before the starter has run", {Press::Start, Press::Stop}, false},
        {"stop while the socket is being opened", {Press::StartHeldOpen, Press::StopWhileOpening},
         false},
        // A Start while the stopped capture still winds down does nothing, as any Start
        // while capturing; once it has ended, the earlier Stop cancels nothing new.
        {"a start after the stop runs", {Press::Start, Press::Stop, Press::WaitIdle, Press::Start},
         true},
        {"two starts, one stop", {Press::Start, Press::Start, Press::Stop}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        for (Press press : row.presses) {
            switch (press) {
                case Press::Start:
                    rig.engine.start(rig.settings);
                    break;
                case Press::Stop:
                    rig.engine.stop();
                    break;
                case Press::StartHeldOpen:
                    rig.sources.holdOpens();
                    rig.engine.start(rig.settings);
                    ASSERT_TRUE(rig.sources.waitForOpenAttempts(1));
                    break;
                case Press::WaitIdle:
                    ASSERT_TRUE(rig.engine.waitForStarters(10s));
                    ASSERT_TRUE(rig.engine.waitForThreads(10s));
                    break;
                case Press::StopWhileOpening:
                    rig.engine.stop();
                    rig.sources.releaseOpens();
                    break;
            }
        }
        ASSERT_TRUE(rig.engine.waitForStarters(10s));
        if (row.capturingAtEnd) {
            EXPECT_TRUE(rig.core.state().capturing.load());
            EXPECT_FALSE(rig.engine.waitForThreads(50ms)) << "the capture must still run";
            rig.engine.stop();
        }
        // Every capture that was asked to stop has ended: nothing is left receiving.
        EXPECT_TRUE(rig.engine.waitForThreads(10s));
        EXPECT_FALSE(rig.core.state().capturing.load());
        EXPECT_TRUE(rig.prompt.asked().empty());
    }
}

}  // namespace
}  // namespace vorlanx
