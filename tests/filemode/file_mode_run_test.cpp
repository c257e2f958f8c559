// File Mode as the window drives it: Start, the capture and assembler threads, Stop; with
// scripted sources and recorded exchanges replayed from capture files.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/pcap_file_source.h"
#include "filemode/file_mode_core.h"
#include "filemode/file_mode_engine.h"
#include "filemode/recording_file_mode_view.h"
#include "filemode/stream_test_support.h"
#include "support/scripted_capture_source.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

// Collects rebuilt streams; can hold the assembler inside the handler until released.
struct StreamSink {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> streams;
    bool hold = false;
    bool inside = false;

    RebuiltStreamHandler handler() {
        return [this](std::span<const uint8_t> s, const StreamOrigin&) {
            std::unique_lock lock(mutex);
            streams.emplace_back(s.begin(), s.end());
            inside = true;
            changed.notify_all();
            changed.wait(lock, [this] { return !hold; });
            inside = false;
        };
    }
    bool waitFor(size_t n, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return streams.size() >= n; });
    }
    void release() {
        std::lock_guard lock(mutex);
        hold = false;
        changed.notify_all();
    }
};

class FileModeRunTest : public ::testing::Test {
  protected:
    FileModeServices services() {
        return FileModeServices{state,   counters, factory,   prompt,
                                options, clock,    localTime, &events};
    }
    FileModeStartRequest request() {
        FileModeStartRequest r;
        r.interfaceAddress = "127.0.0.1";
        return r;
    }
    // Lets the assembler see every stream filed so far as quiet, and waits for a pass.
    void letStreamsTimeOut() { letStreamsTimeOut(state); }
    static void letStreamsTimeOut(FileModeState& runState) {
        runState.streamClock = runState.streamClock + runState.currentAckTimeout + 100;
        const uint32_t passes = runState.assemblerPasses.load();
        ASSERT_TRUE(test::WaitUntil([&] { return runState.assemblerPasses.load() >= passes + 2; }));
    }

    FileModeState state;
    FileModeCounters counters;
    test::ScriptedCaptureSourceFactory factory;
    test::ScriptedPrompt prompt;
    FileModeOptionValues options;
    ManualProgramClock clock;
    FixedLocalTimeSource localTime{LocalTime{2024, 5, 6, 7, 8, 9, 10}};
    test::RecordingFileModeView events;
    StreamSink sink;
};

TEST_F(FileModeRunTest, StartCaptureRebuildStop) {
    state.streamClock = 1000;
    state.currentAckTimeout = 200;
    FileModeEngine starter(services(), sink.handler(), 2ms);
    ASSERT_EQ(starter.startNow(request()), StartOutcome::Started);
    EXPECT_EQ(factory.address(0), "127.0.0.1");
    EXPECT_TRUE(state.captureRunning.load());
    ASSERT_TRUE(test::WaitUntil([&] { return state.assemblerActive.load(); }));

    auto channel = factory.channel(0);
    channel->push(test::TcpSegment(10, 5, "world"));
    channel->push(test::TcpSegment(5, 5, "hello"));
    channel->push(test::TcpSegment(1, 6, "other"));
    ASSERT_TRUE(channel->waitUntilDrained());
    EXPECT_EQ(counters.receivedBytes.load(), 3u * 45u);
    ASSERT_TRUE(test::WaitUntil([&] { return counters.filesPending.load() == 2; }));

    letStreamsTimeOut();
    ASSERT_TRUE(sink.waitFor(2));
    EXPECT_EQ(sink.streams, (std::vector<std::string>{"helloworld", "other"}));
    EXPECT_EQ(counters.filesProcessedRun.load(), 2u);

    EXPECT_TRUE(starter.stop());
    ASSERT_TRUE(starter.waitUntilIdle(10s));
    EXPECT_FALSE(state.captureRunning.load());
    EXPECT_FALSE(state.assemblerActive.load());
    EXPECT_EQ(counters.filesPending.load(), 0u);
    EXPECT_EQ(counters.trackedMemory.load(), 0);
    EXPECT_EQ(events.started(), 1);
    EXPECT_EQ(events.seen(), (std::vector<std::string>{"Status: Running", "Status: Stopped",
                                                       test::RecordingFileModeView::kEnded}));
    EXPECT_FALSE(starter.stop()) << "Stop does nothing once stopped";
    EXPECT_TRUE(prompt.asked().empty());
}

TEST_F(FileModeRunTest, StopDiscardsStreamsThatWereStillPending) {
    state.streamClock = 1000;
    state.currentAckTimeout = 60000;
    FileModeEngine starter(services(), sink.handler(), 2ms);
    ASSERT_EQ(starter.startNow(request()), StartOutcome::Started);
    auto channel = factory.channel(0);
    for (uint32_t i = 0; i < 50; ++i)
        channel->push(test::TcpSegment(1, 100 + i, "pending"));
    ASSERT_TRUE(channel->waitUntilDrained());
    ASSERT_TRUE(test::WaitUntil([&] { return counters.filesPending.load() == 50; }));
    EXPECT_GT(counters.trackedMemory.load(), 0);

    EXPECT_TRUE(starter.stop());
    ASSERT_TRUE(starter.waitUntilIdle(10s));
    EXPECT_TRUE(sink.streams.empty());
    EXPECT_EQ(counters.trackedMemory.load(), 0);
    EXPECT_EQ(counters.filesPending.load(), 0u);
    EXPECT_EQ(counters.filesProcessedRun.load(), 0u);
}

TEST_F(FileModeRunTest, StartIsRefusedWhileCapturingAndWhileTheAssemblerFinishes) {
    state.streamClock = 1000;
    state.currentAckTimeout = 100;
    FileModeEngine starter(services(), sink.handler(), 2ms);
    ASSERT_EQ(starter.startNow(request()), StartOutcome::Started);
    EXPECT_EQ(starter.startNow(request()), StartOutcome::Refused);
    EXPECT_EQ(factory.openCount(), 1u);

    // Hold the assembler inside a stream's hand-over, then Stop.
    sink.hold = true;
    factory.channel(0)->push(test::TcpSegment(1, 9, "slow"));
    ASSERT_TRUE(factory.channel(0)->waitUntilDrained());
    state.streamClock = 5000;
    ASSERT_TRUE(sink.waitFor(1));
    EXPECT_TRUE(starter.stop());
    ASSERT_TRUE(test::WaitUntil([&] { return !state.captureRunning.load(); }));
    EXPECT_TRUE(state.assemblerActive.load());

    EXPECT_EQ(starter.startNow(request()), StartOutcome::Refused);
    EXPECT_EQ(factory.openCount(), 1u) << "nothing was opened";
    EXPECT_FALSE(state.captureRunning.load());

    sink.release();
    ASSERT_TRUE(starter.waitUntilIdle(10s));
    EXPECT_EQ(starter.startNow(request()), StartOutcome::Started);
    EXPECT_EQ(factory.openCount(), 2u);
    EXPECT_TRUE(starter.stop());
    ASSERT_TRUE(starter.waitUntilIdle(10s));
}

TEST_F(FileModeRunTest, SecondRunStartsItsCountersAfresh) {
    state.streamClock = 1000;
    state.currentAckTimeout = 100;
    FileModeEngine starter(services(), sink.handler(), 2ms);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_EQ(starter.startNow(request()), StartOutcome::Started);
        auto channel = factory.channel(static_cast<size_t>(run - 1));
        channel->push(test::TcpSegment(1, 70, "abc"));
        ASSERT_TRUE(channel->waitUntilDrained());
        letStreamsTimeOut();
        ASSERT_TRUE(sink.waitFor(static_cast<size_t>(run)));
        ASSERT_TRUE(test::WaitUntil([&] { return counters.filesProcessedRun.load() == 1; }));
        EXPECT_EQ(counters.filesProcessedAll.load(), static_cast<uint32_t>(run));
        EXPECT_EQ(counters.bytesProcessedRun.load(), 4u);
        EXPECT_EQ(counters.bytesProcessedAll.load(), 4u * static_cast<uint32_t>(run));
        EXPECT_EQ(state.captureGeneration.load(), static_cast<uint32_t>(run));
        EXPECT_TRUE(starter.stop());
        ASSERT_TRUE(starter.waitUntilIdle(10s));
    }
}

TEST_F(FileModeRunTest, OpeningOutcomesAndTheirMessages) {
    struct Row {
        ReceiveAllResult result;
        int error;
        StartOutcome outcome;
        const char* caption;
        const char* text;
    };
    const Row rows[] = {
        {ReceiveAllResult::InterfaceUnusable, 19, StartOutcome::UnableToListen, "Unable to listen",
         "Unable to listen on the interface: 10.99.0.1\r\nThe chosen interface must be a NIC or "
         "Modem.\r\nMake sure your NIC is enabled.\r\nNote: Windows 2000 (or higher) is "
         "required.\r\nYou must be logged on with an administrative account."},
        {ReceiveAllResult::RawSocketsUnavailable, 1, StartOutcome::Started, "Error creating socket",
         "Error code 1 while attempting to create socket."},
        {ReceiveAllResult::OtherError, 22, StartOutcome::Started, "Unknown error", "Error: 22"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.caption);
        test::ScriptedPrompt p;
        test::ScriptedCaptureSourceFactory f;
        f.setOutcome(r.result, r.error, false);
        test::RecordingFileModeView e;
        FileModeEngine starter(
            FileModeServices{state, counters, f, p, options, clock, localTime, &e}, sink.handler(),
            2ms);
        FileModeStartRequest req = request();
        req.interfaceAddress = "10.99.0.1";
        EXPECT_EQ(starter.startNow(req), r.outcome);
        ASSERT_EQ(p.asked().size(), 1u);
        EXPECT_EQ(p.asked()[0].caption, r.caption);
        EXPECT_EQ(p.asked()[0].text, r.text);
        EXPECT_EQ(p.asked()[0].icon, PromptIcon::Error);
        if (r.outcome == StartOutcome::UnableToListen) {
            EXPECT_FALSE(state.captureRunning.load());
            EXPECT_EQ(e.started(), 0);
            EXPECT_TRUE(starter.waitUntilIdle(1s));
        } else {
            // The start goes on: the capture runs, every receive fails, until Stop.
            EXPECT_TRUE(state.captureRunning.load());
            EXPECT_EQ(e.started(), 1);
            std::this_thread::sleep_for(30ms);
            EXPECT_TRUE(state.captureRunning.load());
            EXPECT_TRUE(starter.stop());
            ASSERT_TRUE(starter.waitUntilIdle(10s));
        }
    }
}

TEST_F(FileModeRunTest, StopEndsABlockedReceivePromptly) {
    FileModeEngine starter(services(), sink.handler(), 2ms);
    ASSERT_EQ(starter.startNow(request()), StartOutcome::Started);
    ASSERT_TRUE(test::WaitUntil([&] { return factory.channel(0)->receiveCalls() > 0; }));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(starter.stop());
    ASSERT_TRUE(starter.waitUntilIdle(10s));
    EXPECT_TRUE(factory.channel(0)->closed());
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
}

TEST_F(FileModeRunTest, StartButtonRunsTheRoutineOnItsOwnThread) {
    FileModeEngine starter(services(), sink.handler(), 2ms);
    starter.start(request());
    ASSERT_TRUE(test::WaitUntil([&] { return state.assemblerActive.load(); }));
    EXPECT_TRUE(state.captureRunning.load());
    // Destroying the starter stops the capture and joins every thread.
}

// Replays of recorded exchanges, through the capture-file source and the real writer.
struct Replay {
    const char* name;
    const char* capture;
};

class ReplayTest : public FileModeRunTest, public ::testing::WithParamInterface<Replay> {};

std::map<std::string, Bytes> FilesIn(const std::filesystem::path& dir) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        files[entry.path().filename().string()] = test::ReadBytes(entry.path().string());
    }
    return files;
}

TEST_P(ReplayTest, WritesTheServedFileByteForByte) {
    for (bool dirty : {false, true}) {
        SCOPED_TRACE(dirty ? "Dirty mode" : "normal mode");
        test::TempDir dir;
        // The whole of File Mode as File > "Rebuild files..." runs it: the core writes files.
        FileModeCore core({factory, prompt, clock, localTime, {}, &events, {}, 2ms});
        core.options().set(&FileModeOptionValues::directoryText, dir.path().string() + "/");
        core.options().set(&FileModeOptionValues::timeTemplate, options.timeTemplate);
        core.setAckTimeout(10000);  // longer than the whole recording
        FileModeStartRequest req = request();
        req.dirtyMode = dirty;
        ASSERT_TRUE(core.startReplay({test::DataPath(GetParam().capture)}, req));
        // The run ends by itself at the recording's end, with every stream written.
        ASSERT_TRUE(core.waitUntilIdle(10s));
        EXPECT_FALSE(core.state().captureRunning.load());
        EXPECT_EQ(core.counters().filesWrittenAll.load(), 1u);
        EXPECT_EQ(core.counters().filesProcessedAll.load(), 2u);  // the request and the response
        EXPECT_EQ(core.recording()->datagramsDelivered(), 12u);
        const auto written_files = FilesIn(dir.path());
        ASSERT_EQ(written_files.size(), 1u);
        EXPECT_TRUE(written_files.begin()->second ==
                    test::ReadBytes(test::DataPath("http_exchange_served.txt")))
            << written_files.begin()->first;
        EXPECT_EQ(written_files.begin()->first,
                  "127.0.0.1 to 127.0.0.1 - [2024.05.06 - 07.08.09.010].txt");
        EXPECT_EQ(core.counters().trackedMemory.load(), 0);
        EXPECT_TRUE(prompt.asked().empty());
    }
    EXPECT_EQ(events.seen().back(), events.kEnded);
}

TEST_F(FileModeRunTest, ReplayOfAnUnreadableFileIsReportedAndNothingStarts) {
    test::TempDir dir;
    FileModeCore core({factory, prompt, clock, localTime, {}, &events, {}, 2ms});
    const std::string missing = (dir.path() / "gone.pcap").string();
    EXPECT_FALSE(core.startReplay({test::DataPath("http_exchange_lo.pcap"), missing}, request()));
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_NE(prompt.asked()[0].text.find(missing), std::string::npos) << prompt.asked()[0].text;
    EXPECT_FALSE(core.state().captureRunning.load());
}

// The same exchange recorded on the loopback interface and on "any" (both link types).
INSTANTIATE_TEST_SUITE_P(RecordedExchanges, ReplayTest,
                         ::testing::Values(Replay{"Loopback", "http_exchange_lo.pcap"},
                                           Replay{"AnySll", "http_exchange_any_sll.pcap"},
                                           Replay{"AnySll2", "http_exchange_any_sll2.pcap"}),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace vorlanx
