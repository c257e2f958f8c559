// The Packet Mode engine with a scripted capture source: Start, Stop, Clear,
// restart, limits and the messages, as the user sees them through the window and prompts.
#include "packetmode/packet_mode_core.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "packetmode/packet_capture_thread.h"
#include "support/datagram_between.h"
#include "support/packet_mode_edges.h"
#include "support/test_datagram.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;
using test::BuildDatagram;
using test::ScriptedCaptureChannel;
using test::WaitUntil;

std::vector<uint8_t> Tcp(uint16_t sport, uint16_t dport, std::string payload = "") {
    return test::BuildDatagramBetween(6, {10, 1, 1, 1}, {10, 2, 2, 2}, sport, dport, payload);
}

std::vector<uint8_t> Udp(uint16_t sport, uint16_t dport, std::string payload = "") {
    return test::BuildDatagramBetween(17, {172, 16, 0, 9}, {224, 0, 0, 251}, sport, dport, payload);
}

const std::string kListening = "Listening on: 127.0.0.1";
using Texts = std::vector<std::string>;

class PacketEngineTest : public ::testing::Test, protected test::PacketModeEdges {
  protected:
    void SetUp() override {
        settings.setInterfaceAddress("127.0.0.1");
        settings.setDateTimeTemplate("at %Y");
        build(PacketStore::kCapacity);
    }
    // (Re)creates the core; its list refuses rows beyond `listCapacity`.
    void build(int32_t listCapacity) {
        core.reset();
        core = std::make_unique<PacketModeCore>(services(), listCapacity);
    }
    PacketModeEngine& engine() { return core->engine(); }
    PacketModeState& state() { return core->state(); }
    PacketStore& store() { return core->store(); }
    PacketList& list() { return core->list(); }

    // Starts a capture and waits until its thread listens; returns its source.
    std::shared_ptr<ScriptedCaptureChannel> startCapture() {
        const size_t opened = sources.openCount();
        engine().start(settings);
        EXPECT_TRUE(sources.waitForOpens(opened + 1));
        auto channel = sources.channel(opened);
        EXPECT_TRUE(WaitUntil([&] { return channel->receiveCalls() > 0; }));
        EXPECT_EQ(view.lastStatus(), kListening);
        return channel;
    }

    // Queues the datagrams in order; true once the capture thread has handled them all.
    static bool feed(ScriptedCaptureChannel& channel,
                     const std::vector<std::vector<uint8_t>>& datagrams, uint64_t times = 1) {
        for (const auto& d : datagrams)
            channel.push(d, times);
        return channel.waitUntilDrained();
    }

    // Stop, and wait until every thread of the engine has ended.
    void stopAndWait() {
        engine().stop();
        ASSERT_TRUE(engine().waitForThreads(10s));
        ASSERT_FALSE(state().capturing.load());
    }

    void clearAndWait() {
        state().clearDone = false;
        engine().clear();
        ASSERT_TRUE(WaitUntil([&] { return state().clearDone.load(); }));
    }

    Texts row(int32_t r) {
        Texts cells;
        for (int c = 0; c < kPacketListColumnCount; ++c)
            cells.push_back(list().cellText(r, c));
        return cells;
    }
    Texts column(int c) {
        Texts cells;
        for (int32_t r = 0; r < list().rowCount(); ++r)
            cells.push_back(list().cellText(r, c));
        return cells;
    }

    SettingsRecord settings = SettingsRecord::defaults("/home/user/");
    std::unique_ptr<PacketModeCore> core;
};

// ---- Capture ----

TEST_F(PacketEngineTest, CapturedPacketsFillSlotsAndRows) {
    auto channel = startCapture();
    const auto icmp = BuildDatagram({.protocol = 1, .payload = "ping"});
    ASSERT_TRUE(
        feed(*channel, {Tcp(40000, 80, "GET / HTTP/1.1\r\n"), Udp(5353, 5353, "mdns"), icmp}));

    EXPECT_EQ(store().count(), 3);
    ASSERT_EQ(list().rowCount(), 3);
    EXPECT_EQ(row(0),
              (Texts{"TCP", "56", "10.1.1.1", "10.2.2.2", "40000", "80", "at 2024", "", ""}));
    EXPECT_EQ(row(1),
              (Texts{"UDP", "32", "172.16.0.9", "224.0.0.251", "5353", "5353", "at 2024", "", ""}));
    EXPECT_EQ(row(2), (Texts{"ICMP", "32", "10.0.0.1", "10.0.0.2", "", "", "at 2024", "", ""}));
    for (int32_t slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(list().slotOfRow(slot), slot);
        EXPECT_TRUE(store().listed(slot));
        EXPECT_EQ(store().timeText(slot), "at 2024");
    }
    EXPECT_EQ(store().length(0), 56);
    EXPECT_EQ(store().allocationBytes(), (56u + 44) + (32 + 44) + (32 + 44));
    EXPECT_TRUE(state().newPacketPending.load());
    EXPECT_EQ(state().listProgressPosition.load(), 2);
    EXPECT_TRUE(state().capturing.load());
    EXPECT_TRUE(prompt.asked().empty());

    stopAndWait();
    EXPECT_TRUE(channel->closed());
    EXPECT_EQ(view.statuses(), (Texts{kListening, "Stopped"}));
    EXPECT_EQ(store().count(), 3) << "Stop keeps what was captured";
}

TEST_F(PacketEngineTest, DateTimeTemplateChangesReachTheNextRow) {
    auto channel = startCapture();
    ASSERT_TRUE(feed(*channel, {Tcp(1, 2)}));
    settings.setDateTimeTemplate("%Y/%MY");
    engine().settingsChanged(settings);
    localTime.set(LocalTime{2025, 11, 30, 23, 59, 59, 999});
    ASSERT_TRUE(feed(*channel, {Tcp(1, 2)}));
    EXPECT_EQ(column(6), (Texts{"at 2024", "2025/11"}));
}

TEST_F(PacketEngineTest, RepeatedStartsNeverRunTwoCaptures) {
    for (int i = 0; i < 20; ++i)  // quick starts, before the first capture listens
        engine().start(settings);
    ASSERT_TRUE(sources.waitForOpens(1));
    auto channel = sources.channel(0);
    ASSERT_TRUE(WaitUntil([&] { return channel->receiveCalls() > 0; }));
    engine().start(settings);  // and starts while it captures
    engine().start(settings);
    ASSERT_TRUE(engine().waitForStarters(10s));
    ASSERT_TRUE(feed(*channel, {Tcp(1, 2)}));
    stopAndWait();
    EXPECT_EQ(sources.openCount(), 1u);
    EXPECT_EQ(engine().captureThreadsStarted(), 1);
    EXPECT_EQ(store().count(), 1);
}

TEST_F(PacketEngineTest, StopAndInterfaceChangeWhileIdleStartNothing) {
    engine().stop();
    EXPECT_EQ(view.listProgressRanges(), (std::vector<int32_t>{1000000}))
        << "Stop only resets the progress range";
    engine().restartOnNewInterface(settings);
    ASSERT_TRUE(engine().waitForThreads(10s));
    EXPECT_TRUE(view.statuses().empty());
    EXPECT_EQ(sources.openCount(), 0u);
    EXPECT_FALSE(state().capturing.load());
}

TEST_F(PacketEngineTest, StopWhileTheSourceIsStillOpeningStopsThatCapture) {
    sources.holdOpens();
    engine().start(settings);
    ASSERT_TRUE(sources.waitForOpenAttempts(1));
    EXPECT_TRUE(state().capturing.load());
    engine().stop();
    sources.releaseOpens();
    ASSERT_TRUE(engine().waitForThreads(10s));
    EXPECT_FALSE(state().capturing.load());
    EXPECT_TRUE(sources.channel(0)->closed());
    EXPECT_EQ(view.lastStatus(), "Stopped");
}

TEST_F(PacketEngineTest, ExitRequestEndsABlockedCapture) {
    auto channel = startCapture();
    engine().requestExit();
    ASSERT_TRUE(engine().waitForThreads(10s));
    EXPECT_FALSE(state().capturing.load());
    EXPECT_EQ(view.lastStatus(), "Stopped");
    engine().start(settings);  // every loop ends at its first check once exit is requested
    ASSERT_TRUE(engine().waitForThreads(10s));
    EXPECT_EQ(store().count(), 0);
}

TEST_F(PacketEngineTest, DatagramLongerThanOneReceiveIsCutToIt) {
    auto channel = startCapture();
    ASSERT_TRUE(feed(*channel, {Tcp(1, 2, std::string(70000, 'z'))}));
    EXPECT_EQ(store().length(0), 65540);
    EXPECT_EQ(list().cellText(0, 1), "65540");
    EXPECT_EQ(store().allocationBytes(), 65540u + 44);
}

TEST_F(PacketEngineTest, LossesStayAfterStopUntilTheNextStart) {
    EXPECT_EQ(engine().losses(), CaptureLosses{});
    auto channel = startCapture();
    channel->setDroppedByKernel(17);
    channel->setDatagramsCut(2);
    EXPECT_EQ(engine().losses(), (CaptureLosses{17, 2}));
    stopAndWait();
    EXPECT_EQ(engine().losses(), (CaptureLosses{17, 2})) << "the count outlives its capture";
    channel = startCapture();
    EXPECT_EQ(engine().losses(), CaptureLosses{});
}

TEST(CaptureLossTextTest, ShowsOnlyWhatWasLost) {
    const std::pair<CaptureLosses, std::string> cases[] = {
        {{0, 0}, ""},
        {{17, 0}, "Datagrams dropped by the kernel: 17"},
        {{0, 3}, "Datagrams cut: 3"},
        {{17, 3}, "Datagrams dropped by the kernel: 17, cut: 3"},
    };
    for (const auto& [losses, text] : cases)
        EXPECT_EQ(CaptureLossText(losses), text);
}

// ---- Filters ----

TEST_F(PacketEngineTest, RejectedPacketsChangeNothing) {
    settings.setAllowUdp(false);
    engine().refreshLiveCopies(settings, true);
    auto channel = startCapture();
    ASSERT_TRUE(feed(*channel, {Udp(53, 53, "rejected")}, 5));
    EXPECT_EQ(store().count(), 0);
    EXPECT_EQ(store().allocationBytes(), 0u);
    EXPECT_FALSE(state().newPacketPending.load());
    EXPECT_EQ(list().rowCount(), 0);
    EXPECT_FALSE(store().hasRecord(0));
    EXPECT_EQ(view.lastStatus(), kListening);

    ASSERT_TRUE(feed(*channel, {Tcp(1, 2)}));
    EXPECT_EQ(store().count(), 1);
    EXPECT_EQ(list().cellText(0, 0), "TCP");
    EXPECT_TRUE(state().newPacketPending.load());

    // With the switch off every datagram is accepted again.
    engine().refreshLiveCopies(settings, false);
    ASSERT_TRUE(feed(*channel, {Udp(53, 53)}));
    EXPECT_EQ(store().count(), 2);
}

TEST_F(PacketEngineTest, StringColumnsShowOnlyWhenTheStringStageRan) {
    settings.setMustContain1("GET");
    settings.setMustNotContain2("Secret");
    engine().refreshLiveCopies(settings, true);
    auto channel = startCapture();
    // The second is discarded; with match case on, so is the fourth.
    ASSERT_TRUE(feed(*channel, {Tcp(1, 80, "get /index.html"), Tcp(1, 80, "get /secret")}));
    state().matchCaseLive = true;
    ASSERT_TRUE(feed(*channel, {Tcp(1, 80, "GET /a"), Tcp(1, 80, "get /b")}));
    engine().refreshLiveCopies(settings, false);
    ASSERT_TRUE(feed(*channel, {Tcp(1, 80, "no filter")}));

    ASSERT_EQ(list().rowCount(), 3);
    EXPECT_EQ(column(7), (Texts{"get,,", "GET,,", ""}));
    EXPECT_EQ(column(8), (Texts{",secret,", ",Secret,", ""}));
}

TEST_F(PacketEngineTest, NewCriteriaApplyFromTheNextDatagram) {
    engine().refreshLiveCopies(settings, true);
    auto channel = startCapture();
    ASSERT_TRUE(feed(*channel, {Tcp(1, 22)}));
    settings.setDstPortNotList(0, 22);
    engine().filterCriteriaChanged(settings);
    ASSERT_TRUE(feed(*channel, {Tcp(1, 22), Tcp(1, 23)}));
    EXPECT_EQ(column(5), (Texts{"22", "23"}));
}

// ---- Limits ----

TEST_F(PacketEngineTest, FullStoreStopsAndStartEndsAtOnceUntilClear) {
    auto channel = startCapture();
    channel->push(Tcp(7, 8), PacketStore::kCapacity - 1);
    ASSERT_TRUE(channel->waitUntilDrained(600s));
    ASSERT_EQ(store().count(), 999999);
    EXPECT_EQ(view.lastStatus(), kListening);
    EXPECT_TRUE(state().capturing.load());

    channel->push(Udp(1, 2));
    ASSERT_TRUE(WaitUntil([&] { return !state().capturing.load(); }));
    EXPECT_EQ(view.lastStatus(), "Stopped/Item Limit Reached");
    EXPECT_EQ(store().count(), 1000000);
    EXPECT_EQ(list().cellText(999999, 0), "UDP") << "the last packet is in slot 999,999";
    EXPECT_EQ(list().slotOfRow(999999), 999999);
    EXPECT_TRUE(channel->closed());
    EXPECT_EQ(state().listProgressPosition.load(), 999999);

    // Start ends at once with the same status.
    engine().start(settings);
    ASSERT_TRUE(sources.waitForOpens(2));
    ASSERT_TRUE(engine().waitForThreads(10s));
    EXPECT_FALSE(state().capturing.load());
    EXPECT_EQ(view.lastStatus(), "Stopped/Item Limit Reached");
    EXPECT_TRUE(sources.channel(1)->closed());
    EXPECT_EQ(sources.channel(1)->receiveCalls(), 0u);

    clearAndWait();
    EXPECT_EQ(store().count(), 0);
    EXPECT_EQ(list().rowCount(), 0);
    EXPECT_FALSE(store().hasRecord(999999));
    // Progress every 100th occupied slot, from 0 up to 999,900.
    const auto progress = view.operationProgress();
    ASSERT_EQ(progress.size(), 10000u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 999900);
    EXPECT_EQ(view.operationProgressMaximum(), 1000000);

    channel = startCapture();
    ASSERT_TRUE(feed(*channel, {Tcp(1, 2)}));
    EXPECT_EQ(store().count(), 1);
}

TEST_F(PacketEngineTest, ListRefusingARowStopsWithoutStoringThePacket) {
    build(2);
    auto channel = startCapture();
    for (const auto& d : {Tcp(1, 2), Tcp(1, 2), Udp(3, 4)})
        channel->push(d);
    ASSERT_TRUE(WaitUntil([&] { return !state().capturing.load(); }));
    EXPECT_EQ(view.lastStatus(), "Stopped/Max List Items");
    EXPECT_EQ(store().count(), 2);
    EXPECT_FALSE(store().hasRecord(2));
    EXPECT_EQ(store().length(2), 0);
    EXPECT_EQ(store().allocationBytes(), 2u * (40 + 44));
    EXPECT_TRUE(channel->closed());
}

// ---- Start failures ----

// An unusable interface is known before a capture thread starts; every other failure
// ends the capture at its first receive. Either way one prompt, and nothing captured.
TEST_F(PacketEngineTest, StartFailuresPromptAndLeaveNothingRunning) {
    struct Case {
        ReceiveAllResult result;
        int errorNumber;
        bool returnSource;
        const char* caption;
        std::string text;
    };
    const Case cases[] = {
        {ReceiveAllResult::InterfaceUnusable, 19, true, "Unable to listen",
         "Unable to listen on the interface: 10.9.9.9\r\nThe chosen interface must be a NIC "
         "or Modem.\r\nMake sure your NIC is enabled.\r\nNote: Windows 2000 (or higher) is "
         "required.\r\nYou must be logged on with an administrative account."},
        {ReceiveAllResult::RawSocketsUnavailable, 1, false, "Error creating socket",
         "Error code 1 while attempting to create socket."},
        {ReceiveAllResult::RawSocketsUnavailable, 13, true, "Error creating socket",
         "Error code 13 while attempting to create socket."},
        {ReceiveAllResult::OtherError, 105, true, "Unknown error", "Error: 105"},
        {ReceiveAllResult::OtherError, 12, false, "Unknown error", "Error: 12"},
    };
    settings.setInterfaceAddress("10.9.9.9");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        test::ScriptedPrompt casePrompt;
        test::RecordingPacketModeView caseView;
        test::ScriptedCaptureSourceFactory caseSources;
        caseSources.setOutcome(c.result, c.errorNumber, c.returnSource);
        PacketModeCore caseCore({caseSources, caseView, statusView, sound, localTime, casePrompt});
        caseCore.engine().start(settings);
        ASSERT_TRUE(caseSources.waitForOpens(1));
        ASSERT_TRUE(caseCore.engine().waitForThreads(10s));
        EXPECT_FALSE(caseCore.state().capturing.load());
        const bool threadRan = c.result != ReceiveAllResult::InterfaceUnusable;
        EXPECT_EQ(caseCore.engine().captureThreadsStarted(), threadRan ? 1 : 0);
        EXPECT_EQ(caseView.statuses(),
                  (threadRan ? Texts{"Listening on: 10.9.9.9", "Stopped"} : Texts{}));
        const auto asked = casePrompt.asked();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].caption, c.caption);
        EXPECT_EQ(asked[0].text, c.text);
        EXPECT_EQ(asked[0].icon, PromptIcon::Error);
        if (c.returnSource) {
            EXPECT_TRUE(caseSources.channel(0)->closed());
        }
        EXPECT_EQ(caseCore.store().count(), 0);
    }
}

// ---- Clear ----

TEST_F(PacketEngineTest, ClearDuringCaptureRestartsAtSlotZero) {
    auto channel = startCapture();
    ASSERT_TRUE(feed(*channel, {Tcp(1, 2, "x")}, 250));
    list().setSelectionMark(3);
    const int32_t clearTimeBefore = state().lastClearTime.load();
    state().findRunning = true;

    clearAndWait();
    EXPECT_TRUE(state().findAbortRequested.load()) << "a running Find is told to stop";
    EXPECT_EQ(store().count(), 0);
    EXPECT_EQ(store().allocationBytes(), 0u);
    EXPECT_EQ(list().rowCount(), 0);
    EXPECT_EQ(list().selectionMark(), -1);
    EXPECT_FALSE(store().hasRecord(0));
    EXPECT_EQ(store().timeText(249), "");
    EXPECT_TRUE(store().listed(249)) << "listed flags stay until a new row sets them";
    EXPECT_NE(state().lastClearTime.load(), clearTimeBefore);
    EXPECT_EQ(view.operationProgress(), (std::vector<int32_t>{0, 100, 200}));
    EXPECT_EQ(view.events(), (Texts{"emptyEntirePacketPane", "showOperationProgress 250",
                                    "hideOperationProgress", "emptyDetailFields"}));
    EXPECT_EQ(view.listProgressRanges(), (std::vector<int32_t>{1000000}));
    EXPECT_EQ(state().listProgressPosition.load(), 0);

    // The capture goes on, from slot 0.
    EXPECT_TRUE(state().capturing.load());
    EXPECT_EQ(view.lastStatus(), kListening);
    ASSERT_TRUE(feed(*channel, {Udp(9, 9), Tcp(1, 2)}));
    EXPECT_EQ(store().count(), 2);
    EXPECT_EQ(list().cellText(0, 0), "UDP");
    EXPECT_EQ(list().slotOfRow(0), 0);
    EXPECT_EQ(list().slotOfRow(1), 1);
    EXPECT_EQ(store().allocationBytes(), (28u + 44) + (40 + 44));
}

TEST_F(PacketEngineTest, PacketsWaitForARunningClearAndFollowIt) {
    auto channel = startCapture();
    ASSERT_TRUE(feed(*channel, {Tcp(1, 2)}, 3));
    {
        // Hold the list as a long clear does; the capture thread waits for it.
        std::unique_lock busy = state().lockListForWorker();
        channel->push(Udp(5, 6));
        ASSERT_TRUE(WaitUntil([&] { return channel->delivered() == 4; }));
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(store().count(), 3);
        state().clearDone = false;
        engine().clear();
    }
    ASSERT_TRUE(WaitUntil([&] { return state().clearDone.load(); }));
    ASSERT_TRUE(channel->waitUntilDrained());
    // Whichever of the two took the list first, nothing is lost or counted twice.
    const int32_t count = store().count();
    ASSERT_TRUE(count == 0 || count == 1) << count;
    EXPECT_EQ(list().rowCount(), count);
    EXPECT_EQ(store().allocationBytes(), count == 1 ? 28u + 44 : 0u);
    if (count == 1) {
        EXPECT_EQ(list().cellText(0, 0), "UDP");
    }
}

TEST_F(PacketEngineTest, ReleaseAllAtCloseReleasesEverythingAndSignalsDone) {
    auto channel = startCapture();
    ASSERT_TRUE(feed(*channel, {Tcp(1, 2)}, 10));
    engine().requestExit();
    state().clearDone = true;  // an earlier clear
    engine().releaseAll();
    // clearDone is cleared before the release starts: it is never seen set over records.
    EXPECT_FALSE(state().clearDone.load() && store().count() != 0);
    ASSERT_TRUE(WaitUntil([&] { return state().clearDone.load(); }));
    EXPECT_EQ(store().count(), 0);
    for (int32_t slot = 0; slot < 10; ++slot)
        EXPECT_FALSE(store().hasRecord(slot));
    ASSERT_TRUE(engine().waitForThreads(10s));
    EXPECT_FALSE(state().capturing.load());
}

// Start releases the records only once every row is deleted, and keeps the count.
TEST_F(PacketEngineTest, StartReleasesTheRecordsOnlyWhenNoRowIsLeft) {
    auto channel = startCapture();
    ASSERT_TRUE(feed(*channel, {Tcp(1, 2, "abc")}, 3));
    stopAndWait();
    ASSERT_TRUE(list().deleteRow(0));
    channel = startCapture();
    for (int32_t slot = 0; slot < 3; ++slot)
        EXPECT_TRUE(store().hasRecord(slot)) << "rows left: " << slot;

    stopAndWait();
    while (list().rowCount() > 0)
        ASSERT_TRUE(list().deleteRow(0));
    channel = startCapture();
    for (int32_t slot = 0; slot < 3; ++slot) {
        EXPECT_FALSE(store().hasRecord(slot)) << slot;
        EXPECT_EQ(store().length(slot), 43) << "nothing but the records changes";
    }
    EXPECT_EQ(store().count(), 3);
    ASSERT_TRUE(feed(*channel, {Udp(1, 2)}));
    EXPECT_EQ(store().count(), 4);
    EXPECT_EQ(list().slotOfRow(0), 3);
    EXPECT_EQ(list().cellText(0, 0), "UDP");
}

// ---- Interface change ----

TEST_F(PacketEngineTest, InterfaceChangeWaitsForTheOldCaptureThread) {
    auto oldChannel = startCapture();
    std::unique_lock busy = state().lockListForWorker();
    oldChannel->push(Tcp(1, 2));  // the old capture thread now waits for the list
    ASSERT_TRUE(WaitUntil([&] { return oldChannel->delivered() == 1; }));

    settings.setInterfaceAddress("192.168.7.7");
    engine().restartOnNewInterface(settings);
    EXPECT_TRUE(oldChannel->closed());
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(sources.openCount(), 1u) << "no new capture while the old thread runs";
    EXPECT_TRUE(state().capturing.load());

    busy.unlock();
    ASSERT_TRUE(sources.waitForOpens(2));
    EXPECT_EQ(sources.address(1), "192.168.7.7");
    auto newChannel = sources.channel(1);
    ASSERT_TRUE(WaitUntil([&] { return newChannel->receiveCalls() > 0; }));
    EXPECT_EQ(engine().captureThreadsStarted(), 2);
    EXPECT_EQ(store().count(), 1) << "the packet the old thread held was filed";
    EXPECT_EQ(view.statuses(), (Texts{kListening, "Stopped", "Listening on: 192.168.7.7"}));
    ASSERT_TRUE(feed(*newChannel, {Udp(1, 2)}));
    EXPECT_EQ(list().slotOfRow(1), 1);
}

}  // namespace
}  // namespace vorlanx
