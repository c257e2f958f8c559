// FileModeCore headless: the resolver's lookups on the core's own threads, the status
// texts and the end of a capture as the window learns them, and the ticks that only
// change while a capture runs.
#include "filemode/file_mode_core.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "filemode/recording_file_mode_view.h"
#include "support/scripted_capture_source.h"
#include "support/scripted_prompt.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;

struct CoreTest : ::testing::Test {
    test::ScriptedCaptureSourceFactory sources;
    test::ScriptedPrompt prompt;
    ManualProgramClock clock;
    FixedLocalTimeSource localTime{LocalTime{2024, 5, 6, 7, 8, 9, 10}};
    test::RecordingFileModeView events;

    FileModeCoreServices services(HostResolver resolver = {}) {
        return {sources, prompt, clock, localTime, std::move(resolver), &events, {}, 2ms};
    }
};

TEST_F(CoreTest, LookupRunsOnTheCoresThreadAndIsJoinedWhenTheCoreGoes) {
    std::atomic<bool> release{false};
    std::atomic<bool> lookupReturned{false};
    std::atomic<int> lookups{0};
    std::thread::id lookupThread;
    std::vector<std::optional<std::string>> answers;
    std::mutex answersMutex;
    auto answer = [&](std::optional<std::string> address) {
        std::lock_guard lock(answersMutex);
        answers.push_back(std::move(address));
    };
    auto core = std::make_unique<FileModeCore>(services([&](const std::string& name) {
        lookupThread = std::this_thread::get_id();
        ++lookups;
        while (!release.load())
            std::this_thread::sleep_for(1ms);
        lookupReturned = true;
        return name == "files.example" ? std::optional<std::string>("192.0.2.80") : std::nullopt;
    }));

    ASSERT_TRUE(core->resolveHost("files.example", answer));
    ASSERT_TRUE(test::WaitUntil([&] { return lookups.load() == 1; }));
    EXPECT_TRUE(core->resolving());
    EXPECT_FALSE(core->resolveHost("other.example", answer)) << "one lookup at a time";
    EXPECT_NE(lookupThread, std::this_thread::get_id());
    release = true;
    ASSERT_TRUE(core->waitUntilIdle(10s));
    EXPECT_FALSE(core->resolving());

    release = false;
    ASSERT_TRUE(core->resolveHost("nowhere.invalid", answer));
    ASSERT_TRUE(test::WaitUntil([&] { return lookups.load() == 2; }));
    lookupReturned = false;
    std::thread releaser([&] {
        std::this_thread::sleep_for(100ms);
        release = true;
    });
    core.reset();  // waits for the lookup under way; nothing is left running
    EXPECT_TRUE(lookupReturned.load());
    releaser.join();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0], std::optional<std::string>("192.0.2.80"));
    EXPECT_EQ(answers[1], std::nullopt);
}

TEST_F(CoreTest, ALookupThatThrowsIsANameThatDidNotResolve) {
    FileModeCore core(services([](const std::string&) -> std::optional<std::string> {
        throw std::runtime_error("resolver broke");
    }));
    std::atomic<int> answers{0};
    ASSERT_TRUE(core.resolveHost("files.example", [&](std::optional<std::string> address) {
        EXPECT_EQ(address, std::nullopt);
        ++answers;
    }));
    ASSERT_TRUE(core.waitUntilIdle(10s));
    EXPECT_EQ(answers.load(), 1);
    EXPECT_FALSE(core.resolving());
}

TEST_F(CoreTest, StatusTextsAndTheEndOfACaptureThatEndsByItself) {
    FileModeCore core(services());
    EXPECT_EQ(std::string(FileModeCore::waitingStatusText()), "Status: Waiting to run...");
    ASSERT_TRUE(core.start(FileModeStartRequest{"127.0.0.1", {}, false, ""}));
    ASSERT_TRUE(sources.waitForOpens(1));
    ASSERT_TRUE(test::WaitUntil([&] { return core.state().assemblerActive.load(); }));
    sources.channel(0)->push({});  // a receive of 0 bytes ends the loop
    ASSERT_TRUE(core.waitUntilIdle(10s));
    EXPECT_EQ(events.seen(), (std::vector<std::string>{"Status: Running", "Status: Stopped",
                                                       test::RecordingFileModeView::kEnded}));
}

TEST_F(CoreTest, ARefusedRequestIsReportedAndNothingOpens) {
    FileModeCore core(services());
    FileModeStartRequest request{"127.0.0.1", {}, false, "the field's message"};
    EXPECT_FALSE(core.start(request));
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text, "the field's message");
    EXPECT_EQ(prompt.asked()[0].icon, PromptIcon::Warning);
    ASSERT_TRUE(core.waitUntilIdle(10s));
    EXPECT_EQ(sources.openCount(), 0u);
    EXPECT_FALSE(core.state().captureRunning.load());
}

TEST_F(CoreTest, RatesAndBufferBarChangeOnlyWhileACaptureRuns) {
    FileModeCore core(services());
    core.counters().receivedBytes = 1250000;
    clock.set(5000);
    const RateTexts idle = core.ratesTick();
    EXPECT_FALSE(idle.current || idle.peak || idle.average);
    EXPECT_EQ(core.bufferTick(), std::nullopt);

    core.state().captureRunning = true;
    EXPECT_EQ(core.ratesTick().current, std::optional<std::string>("Current: 1953"));
    core.state().captureRunning = false;
}

TEST_F(CoreTest, StreamClockAndAckTimeOutReachTheState) {
    clock.set(1234);
    FileModeCore core(services());
    EXPECT_EQ(core.state().streamClock.load(), 1234) << "set when the core is made";
    clock.set(-20);
    core.updateStreamClock();
    EXPECT_EQ(core.state().streamClock.load(), -20);
    core.setAckTimeout(750);
    EXPECT_EQ(core.state().currentAckTimeout.load(), 750);
}

}  // namespace
}  // namespace vorlanx
