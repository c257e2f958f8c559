#include "filemode/file_mode_capture_thread.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filemode/stream_test_support.h"
#include "settings/settings_record.h"
#include "support/scripted_capture_source.h"
#include "support/scripted_prompt.h"

namespace vorlanx {
namespace {

using test::Bytes;
using test::DatagramSpec;

uint32_t Address(const char* dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

Bytes Datagram(DatagramSpec spec, uint32_t ack = 0x11223344) {
    Bytes d = test::BuildDatagram(spec);
    if (spec.protocol == 6 && d.size() >= 32)
        test::PutBe32(d, 28, ack);
    return d;
}

class CaptureRulesTest : public ::testing::Test {
  protected:
    DatagramFate handle(const Bytes& d, FileModeFilter filter = {}, bool dirty = false) {
        FileModeStartRequest request;
        request.filter = filter;
        request.dirtyMode = dirty;
        FileModeCaptureThread capture(state, table, counters, prompt, nullptr, clock, nullptr,
                                      request);
        capture.beginCapture();
        return capture.handleDatagram(d);
    }

    FileModeState state;
    StreamTable table;
    FileModeCounters counters;
    test::ScriptedPrompt prompt;
    ManualProgramClock clock;
};

TEST_F(CaptureRulesTest, LengthAndTcpDataRules) {
    struct Row {
        const char* name;
        DatagramSpec spec;
        DatagramFate fate;
    };
    const Row rows[] = {
        {"39 bytes", {.payload = "x", .truncateTo = 39}, DatagramFate::WrongLength},
        {"40 bytes, 20-byte TCP header, no data", {}, DatagramFate::NoTcpData},
        {"41 bytes, one data byte", {.payload = "x"}, DatagramFate::Created},
        {"44 bytes, 24-byte TCP header, no data", {.tcpHeaderBytes = 24}, DatagramFate::NoTcpData},
        {"45 bytes, 24-byte TCP header, one data byte",
         {.payload = "x", .tcpHeaderBytes = 24},
         DatagramFate::Created},
        {"TCP header longer than the datagram",
         {.payload = "abc", .tcpHeaderBytes = 60, .truncateTo = 50},
         DatagramFate::NoTcpData},
        {"UDP with data",
         {.protocol = 17, .payload = std::string(30, 'u')},
         DatagramFate::NoTcpData},
        {"ICMP", {.protocol = 1, .payload = std::string(30, 'i')}, DatagramFate::NoTcpData},
        {"65,535 bytes", {.payload = std::string(65535 - 40, 'b')}, DatagramFate::Created},
        {"65,536 bytes", {.payload = std::string(65536 - 40, 'b')}, DatagramFate::WrongLength},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        table.releaseAll(counters);
        const Bytes d = Datagram(r.spec);
        EXPECT_EQ(handle(d), r.fate) << d.size();
    }
}

TEST_F(CaptureRulesTest, AcknowledgementNumberZeroIsDropped) {
    DatagramSpec s;
    s.payload = "data";
    EXPECT_EQ(handle(Datagram(s, 0)), DatagramFate::AckZero);
    EXPECT_EQ(table.occupiedSlots(), 0u);
    EXPECT_EQ(handle(Datagram(s, 1)), DatagramFate::Created);
}

TEST_F(CaptureRulesTest, FilterFieldsEachDropWhatTheyName) {
    DatagramSpec s;
    s.payload = "data";
    s.source = {192, 168, 0, 10};
    s.destination = {192, 168, 0, 20};
    s.sourcePort = 80;
    s.destinationPort = 51000;
    const Bytes d = Datagram(s);

    struct Row {
        const char* name;
        FileModeFilter filter;
        bool kept;
    };
    const Row rows[] = {
        {"no filter", {}, true},
        {"source must be it", {.sourceIpMustBe = Address("192.168.0.10")}, true},
        {"source must be another", {.sourceIpMustBe = Address("192.168.0.11")}, false},
        {"source must not be it", {.sourceIpMustNotBe = Address("192.168.0.10")}, false},
        {"source must not be another", {.sourceIpMustNotBe = Address("10.0.0.1")}, true},
        {"destination must be it", {.destinationIpMustBe = Address("192.168.0.20")}, true},
        {"destination must be the source", {.destinationIpMustBe = Address("192.168.0.10")}, false},
        {"destination must not be it", {.destinationIpMustNotBe = Address("192.168.0.20")}, false},
        {"source port 80 (server responses)", {.sourcePortMustBe = 80}, true},
        {"source port 8080", {.sourcePortMustBe = 8080}, false},
        {"source port not 80", {.sourcePortMustNotBe = 80}, false},
        {"destination port 51000", {.destinationPortMustBe = 51000}, true},
        {"destination port 80", {.destinationPortMustBe = 80}, false},
        {"destination port not 51000", {.destinationPortMustNotBe = 51000}, false},
        {"destination port not 52000", {.destinationPortMustNotBe = 52000}, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        table.releaseAll(counters);
        EXPECT_EQ(handle(d, r.filter), r.kept ? DatagramFate::Created : DatagramFate::Filtered);
    }
}

TEST_F(CaptureRulesTest, PortFiltersReadTheSameBytesWhateverTheProtocol) {
    // A UDP datagram from port 53 is refused by the port filter before the TCP test.
    DatagramSpec s;
    s.protocol = 17;
    s.sourcePort = 53;
    s.payload = std::string(40, 'q');
    FileModeFilter f;
    f.sourcePortMustBe = 80;
    EXPECT_EQ(handle(Datagram(s), f), DatagramFate::Filtered);
    f.sourcePortMustBe = 53;
    EXPECT_EQ(handle(Datagram(s), f), DatagramFate::NoTcpData);
}

TEST(FileModeFilterTest, AddressTexts) {
    struct Row {
        const char* text;
        std::optional<std::array<uint8_t, 4>> bytes;  // nothing: not an address
    };
    const Row rows[] = {
        {"0.0.0.0", std::array<uint8_t, 4>{0, 0, 0, 0}},
        {"", std::array<uint8_t, 4>{0, 0, 0, 0}},
        {"127.0.0.1", std::array<uint8_t, 4>{127, 0, 0, 1}},
        {"192.168.100.254", std::array<uint8_t, 4>{192, 168, 100, 254}},
        {"255.255.255.255", std::array<uint8_t, 4>{255, 255, 255, 255}},
        // Partial addresses once filtered other hosts ("192.168.1" meant 192.168.0.1) or
        // every host ("10.0.0" meant 10.0.0.0); now they are no address at all.
        {"192.168.1", std::nullopt},
        {"10.0.0", std::nullopt},
        {"127.1", std::nullopt},
        {"3232235777", std::nullopt},
        {"0x7f.0.0.1", std::nullopt},
        {"010.0.0.1", std::nullopt},
        {"1.2.3.4.", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1..2.3", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1.2.3.4 ", std::nullopt},
        {"256.1.1.1", std::nullopt},
        {"1.2.3.1000", std::nullopt},
        {"not an address", std::nullopt},
    };
    for (const Row& r : rows) {
        std::optional<uint32_t> expected;
        if (r.bytes) {
            expected = 0;
            std::memcpy(&*expected, r.bytes->data(), 4);
        }
        EXPECT_EQ(FileModeFilter::parseAddress(r.text), expected) << r.text;
    }
}

TEST(FileModeFilterTest, AnIncompleteFieldIsNamedAndChangesNothing) {
    struct Row {
        FilterAddressTexts texts;
        const char* named;  // nullptr: all four read
    };
    const Row rows[] = {
        {{"10.1.2.3", "", "0.0.0.0", "10.9.9.9"}, nullptr},
        {{"192.168.1", "", "", ""}, "\"Source IP must be:\" holds \"192.168.1\""},
        {{"", "10.0.0", "", ""}, "\"Source IP must NOT be:\" holds \"10.0.0\""},
        {{"", "", "1.2.3.", ""}, "\"Destination IP must be:\" holds \"1.2.3.\""},
        {{"1.2.3.4", "", "", "300.1.1.1"}, "\"Destination IP must NOT be:\" holds \"300.1.1.1\""},
    };
    for (const Row& r : rows) {
        FileModeFilter f;
        f.sourceIpMustBe = 7;  // what an earlier read left
        const std::string message = f.readAddresses(r.texts);
        if (r.named == nullptr) {
            EXPECT_EQ(message, "");
            EXPECT_EQ(f.sourceIpMustBe, Address("10.1.2.3"));
            EXPECT_EQ(f.destinationIpMustBe, 0u);
            EXPECT_EQ(f.destinationIpMustNotBe, Address("10.9.9.9"));
            continue;
        }
        EXPECT_NE(message.find(r.named), std::string::npos) << message;
        EXPECT_NE(message.find("The capture was not started."), std::string::npos);
        EXPECT_EQ(f.sourceIpMustBe, 7u) << r.named;
        EXPECT_EQ(f.destinationIpMustNotBe, 0u) << r.named;
    }
}

TEST(FileModeFilterTest, ReadsTheStoredFilters) {
    SettingsRecord settings;
    settings.setInterfaceAddress("127.0.0.1");
    settings.setFileSrcIp("10.1.2.3");
    settings.setFileSrcIpNot("0.0.0.0");
    settings.setFileDstIp("0.0.0.0");
    settings.setFileDstIpNot("10.9.9.9");
    settings.setFileSrcPort(80);
    settings.setFileDstPortNot(8080);
    settings.setFileMinSize(1000);
    settings.setDirtyMode(true);
    const FileModeStartRequest r = FileModeStartRequest::fromSettings(settings);
    EXPECT_EQ(r.interfaceAddress, "127.0.0.1");
    EXPECT_TRUE(r.dirtyMode);
    EXPECT_EQ(r.filter.sourceIpMustBe, Address("10.1.2.3"));
    EXPECT_EQ(r.filter.sourceIpMustNotBe, 0u);
    EXPECT_EQ(r.filter.destinationIpMustNotBe, Address("10.9.9.9"));
    EXPECT_EQ(r.filter.sourcePortMustBe, 80);
    EXPECT_EQ(r.filter.destinationPortMustNotBe, 8080);
    EXPECT_EQ(r.filter.minFileSize, 1000u);
    EXPECT_EQ(r.filter.maxFileSize, 0u);
    EXPECT_EQ(r.refusal, "");

    // A stored partial address refuses the request, naming the field.
    settings.setFileDstIp("10.0.0");
    const FileModeStartRequest refused = FileModeStartRequest::fromSettings(settings);
    EXPECT_NE(refused.refusal.find("\"Destination IP must be:\" holds \"10.0.0\""),
              std::string::npos);
    EXPECT_EQ(refused.filter.sourceIpMustBe, 0u);
    EXPECT_EQ(refused.filter.sourcePortMustBe, 80);
}

TEST_F(CaptureRulesTest, AllocationFailuresShowTheirNumberedMessage) {
    struct Row {
        SegmentAllocation site;
        bool existing;
        const char* firstLine;
    };
    const Row rows[] = {
        {SegmentAllocation::AppendRecord, true, "Fatal memory allocation error #0"},
        {SegmentAllocation::AppendData, true, "Fatal memory allocation error #1"},
        {SegmentAllocation::CreateRecord, false, "Fatal memory allocation error #2"},
        {SegmentAllocation::CreateData, false, "Fatal memory allocation error #3"},
    };
    DatagramSpec s;
    s.payload = "data";
    const Bytes d = Datagram(s);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.firstLine);
        test::ScriptedPrompt p;
        StreamTable t;
        FileModeCaptureThread capture(state, t, counters, p, nullptr, clock, nullptr, {});
        capture.beginCapture();
        if (r.existing) {
            ASSERT_EQ(capture.handleDatagram(d), DatagramFate::Created);
        }
        t.setAllocationFault([&](SegmentAllocation site) { return site == r.site; });
        EXPECT_EQ(capture.handleDatagram(d), DatagramFate::AllocationFailed);
        ASSERT_EQ(p.asked().size(), 1u);
        const std::string text = p.asked()[0].text;
        EXPECT_EQ(text.substr(0, text.find("\r\n")), r.firstLine);
        EXPECT_EQ(p.asked()[0].caption, "") << "the application's title";
        EXPECT_EQ(p.asked()[0].buttons, PromptButtons::Ok);
        t.releaseAll(counters);
    }
}

// The receive loop over a scripted source: counting, the rules, Stop.
TEST(CaptureLoopTest, CountsEveryDatagramAndFilesTheDataSegments) {
    FileModeState state;
    StreamTable table;
    FileModeCounters counters;
    test::ScriptedPrompt prompt;
    ManualProgramClock clock;
    clock.set(4242);
    state.streamClock = 700;
    state.captureRunning = true;
    auto channel = std::make_shared<test::ScriptedCaptureChannel>();
    DatagramSpec data;
    data.payload = "response bytes";
    DatagramSpec empty;
    channel->push(Datagram(data));                 // 54 bytes, filed
    channel->push(Datagram(empty));                // 40 bytes, no data
    channel->push(Bytes(30, 0));                   // too short
    channel->push(Datagram(data, 0x55555555), 2);  // 2 x 54, another stream

    struct Events : FileModeView {
        std::vector<std::string> status;
        void statusChanged(const std::string& t) override { status.push_back(t); }
    } events;
    int assemblerStarts = 0;
    int released = 0;
    FileModeCaptureThread capture(
        state, table, counters, prompt, &events, clock,
        std::make_shared<test::ScriptedCaptureSource>(channel), {}, [&] { ++assemblerStarts; },
        [&] { ++released; });
    std::thread thread([&] { capture.run(); });
    ASSERT_TRUE(channel->waitUntilDrained());
    EXPECT_EQ(counters.receivedBytes.load(), 54u + 40u + 30u + 108u);
    EXPECT_EQ(table.occupiedSlots(), 2u);
    EXPECT_EQ(table.lastSeen(0), 700);
    EXPECT_EQ(state.captureStartClock.load(), 4242);

    state.stopRequested = true;
    channel->close();
    thread.join();
    EXPECT_EQ(assemblerStarts, 1);
    EXPECT_EQ(released, 1);
    EXPECT_FALSE(state.captureRunning.load());
    EXPECT_FALSE(state.stopRequested.load());
    EXPECT_EQ(events.status, (std::vector<std::string>{"Status: Running", "Status: Stopped"}));
    table.releaseAll(counters);
}

// A capture thread over a scripted channel, as the starter builds one.
struct ScriptedLoop {
    FileModeState state;
    StreamTable table;
    FileModeCounters counters;
    test::ScriptedPrompt prompt;
    ManualProgramClock clock;
    std::shared_ptr<test::ScriptedCaptureChannel> channel =
        std::make_shared<test::ScriptedCaptureChannel>();
    FileModeCaptureThread capture{state,
                                  table,
                                  counters,
                                  prompt,
                                  nullptr,
                                  clock,
                                  std::make_shared<test::ScriptedCaptureSource>(channel),
                                  {}};
    ScriptedLoop() { state.captureRunning = true; }
};

TEST(CaptureLoopTest, FailedReceivesAreRetriedUntilStop) {
    ScriptedLoop loop;
    loop.channel->finish();  // every receive fails at once
    std::thread thread([&] { loop.capture.run(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (loop.channel->receiveCalls() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GE(loop.channel->receiveCalls(), 3u);
    EXPECT_TRUE(loop.state.captureRunning.load()) << "still running until Stop";
    loop.state.stopRequested = true;
    thread.join();
    EXPECT_FALSE(loop.state.captureRunning.load());
}

TEST(CaptureLoopTest, ReceiveOfZeroBytesEndsTheLoop) {
    ScriptedLoop loop;
    loop.channel->push(Bytes{});
    loop.capture.run();
    EXPECT_FALSE(loop.state.captureRunning.load());
}

}  // namespace
}  // namespace vorlanx
