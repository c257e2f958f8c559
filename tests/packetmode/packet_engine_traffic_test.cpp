// The Packet Mode engine on real traffic: recorded exchanges replayed from capture files,
// and live datagrams sent over the loopback interface.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "capture/live_capture_source.h"
#include "capture/pcap_file_source.h"
#include "packetmode/packet_mode_core.h"
#include "support/loopback_traffic.h"
#include "support/quiet_platform.h"
#include "support/recording_packet_mode_view.h"
#include "support/scripted_prompt.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;

using test::WaitUntil;

// A core around one capture source factory.
struct Rig {
    explicit Rig(CaptureSourceFactory& sources)
        : core({sources, view, statusView, sound, localTime, prompt}),
          engine(core.engine()),
          state(core.state()),
          store(core.store()),
          list(core.list()) {
        settings.setInterfaceAddress("127.0.0.1");
        settings.setDateTimeTemplate("%H24:%MN");
    }

    std::vector<std::string> column(int c) {
        std::vector<std::string> texts;
        for (int32_t r = 0; r < list.rowCount(); ++r)
            texts.push_back(list.cellText(r, c));
        return texts;
    }
    std::vector<std::string> row(int32_t r) {
        std::vector<std::string> texts;
        for (int c = 0; c < kPacketListColumnCount; ++c)
            texts.push_back(list.cellText(r, c));
        return texts;
    }

    test::RecordingPacketModeView view;
    test::RecordingStatusMonitorView statusView;
    test::SilentSoundPlayer sound;
    test::ScriptedPrompt prompt;
    FixedLocalTimeSource localTime{LocalTime{2024, 6, 1, 9, 30, 0, 0}};
    SettingsRecord settings = SettingsRecord::defaults("/home/user/");
    PacketModeCore core;
    PacketModeEngine& engine;
    PacketModeState& state;
    PacketStore& store;
    PacketList& list;
};

// ---- Capture files ----

struct Recording {
    const char* file;
    const char* clientPort;
    const char* serverPort;
    const char* directions;  // per datagram: 'c' from the client, 's' from the server
};

// What tcpdump shows for each recorded HTTP exchange: handshake, request, response header,
// body, and the closing FINs (the recordings differ in who closes first).
const std::vector<std::string> kSizes = {"60", "60",    "52", "141", "52", "241",
                                         "52", "12402", "52", "52",  "52", "52"};

class PacketEngineReplay : public ::testing::TestWithParam<Recording> {
  protected:
    // Replays the file through the engine until its end stops the capture.
    void replay(Rig& rig) {
        rig.engine.start(rig.settings);
        ASSERT_TRUE(rig.engine.waitForThreads(60s));
        ASSERT_FALSE(rig.state.capturing.load());
        EXPECT_EQ(rig.view.lastStatus(), "Stopped");
        EXPECT_TRUE(rig.prompt.asked().empty());
    }
    std::string path() const { return std::string(VORLANX_TEST_DATA_DIR "/") + GetParam().file; }
};

TEST_P(PacketEngineReplay, EveryDatagramOfTheExchangeBecomesOneRow) {
    PcapFileSourceFactory sources(path());
    Rig rig(sources);
    replay(rig);
    const std::string client = GetParam().clientPort, server = GetParam().serverPort;
    std::vector<std::string> from, to;
    for (const char* d = GetParam().directions; *d; ++d) {
        from.push_back(*d == 'c' ? client : server);
        to.push_back(*d == 'c' ? server : client);
    }
    EXPECT_EQ(rig.column(1), kSizes);
    EXPECT_EQ(rig.column(4), from);
    EXPECT_EQ(rig.column(5), to);
    for (int col : {0, 2, 3, 6, 7}) {
        const std::string expected[] = {"TCP", "", "127.0.0.1", "127.0.0.1", "", "", "09:30", ""};
        for (const std::string& text : rig.column(col))
            EXPECT_EQ(text, expected[col]) << col;
    }
    EXPECT_EQ(rig.store.count(), 12);
    EXPECT_EQ(rig.store.allocationBytes(), 13268u + 12 * 44);
}

TEST_P(PacketEngineReplay, FiltersPickTheHttpHeadersAndOneDirection) {
    PcapFileSourceFactory sources(path());
    {
        Rig rig(sources);
        rig.settings.setMustContain1("http/1.");
        rig.engine.refreshLiveCopies(rig.settings, true);
        replay(rig);
        EXPECT_EQ(rig.column(1), (std::vector<std::string>{"141", "241"}));
        EXPECT_EQ(rig.column(7), (std::vector<std::string>{"http/1.,,", "http/1.,,"}));
        EXPECT_EQ(rig.column(8), (std::vector<std::string>{",,", ",,"}));
    }
    {
        Rig rig(sources);
        rig.settings.setDstPortList(0, static_cast<uint16_t>(std::stoi(GetParam().serverPort)));
        rig.settings.setMustNotContain3("line 0007");
        rig.engine.refreshLiveCopies(rig.settings, true);
        replay(rig);
        // The client's datagrams; the body (which holds line 0007) goes the other way.
        std::vector<std::string> clientSizes;
        for (size_t i = 0; i < kSizes.size(); ++i)
            if (GetParam().directions[i] == 'c')
                clientSizes.push_back(kSizes[i]);
        ASSERT_GE(clientSizes.size(), 6u);
        EXPECT_EQ(rig.column(1), clientSizes);
    }
    {
        Rig rig(sources);
        rig.settings.setMustContain2("line 0007");
        rig.engine.refreshLiveCopies(rig.settings, true);
        replay(rig);
        EXPECT_EQ(rig.column(1), (std::vector<std::string>{"12402"}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, PacketEngineReplay,
    ::testing::Values(Recording{"http_exchange_lo.pcap", "43320", "31113", "csccsscscscs"},
                      Recording{"http_exchange_any_sll.pcap", "58172", "27725", "csccsscscscs"},
                      Recording{"http_exchange_any_sll2.pcap", "54394", "30292", "csccsscsccsc"}),
    [](const auto& instance) {
        std::string name = instance.param.file;
        return name.substr(0, name.find('.'));
    });

TEST(PacketEngineReplayFailure, AMissingFileReportsAndEndsTheCapture) {
    PcapFileSourceFactory sources(VORLANX_TEST_DATA_DIR "/no_such_capture.pcap");
    Rig rig(sources);
    rig.engine.start(rig.settings);
    ASSERT_TRUE(rig.engine.waitForThreads(30s));
    const auto asked = rig.prompt.asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].caption, "Unknown error");
    EXPECT_EQ(asked[0].text, "Error: 2");
    EXPECT_EQ(rig.view.lastStatus(), "Stopped");
    EXPECT_EQ(rig.store.count(), 0);
}

// ---- Live loopback ----

// The rows, in list order, whose packet satisfies `match`.
template <typename Match>
std::vector<int32_t> RowsWhere(Rig& rig, Match match) {
    std::vector<int32_t> rows;
    for (int32_t r = 0; r < rig.list.rowCount(); ++r) {
        rig.store.withRecord(rig.list.slotOfRow(r), [&](const PacketView& p) {
            if (match(p))
                rows.push_back(r);
        });
    }
    return rows;
}

// Rows of `protocol` whose ports are `from` -> `to` and whose payload text holds `marker`.
std::vector<int32_t> RowsCarrying(Rig& rig, uint8_t protocol, uint16_t from, uint16_t to,
                                  const std::string& marker) {
    std::string work;
    return RowsWhere(rig, [&](const PacketView& p) {
        return p.protocol() == protocol && p.sourcePort() == from && p.destinationPort() == to &&
               p.payloadText(work).find(marker) != std::string_view::npos;
    });
}

TEST(PacketEngineLive, LoopbackDatagramsArriveOnceEachAndStopIsPrompt) {
    LiveCaptureSourceFactory sources;
    {
        OpenOutcome outcome;
        auto probe = LiveCaptureSource::open("127.0.0.1", outcome);
        if (outcome.result == ReceiveAllResult::RawSocketsUnavailable)
            GTEST_SKIP() << "live capture needs CAP_NET_RAW (run as root); skipped";
        ASSERT_EQ(outcome.result, ReceiveAllResult::Listening) << outcome.errorNumber;
    }
    Rig rig(sources);
    rig.engine.start(rig.settings);
    ASSERT_TRUE(rig.view.waitForStatus("Listening on: 127.0.0.1", 10s));
    const std::string nonce = std::to_string(std::random_device{}());

    // Twenty UDP datagrams to a socket that reads them.
    std::vector<std::string> markers;
    for (int i = 0; i < 20; ++i)
        markers.push_back("vorlanx-udp-" + nonce + "-" + std::to_string(i) + ";");
    const test::LoopbackUdp udp = test::SendLoopbackUdp(markers);
    ASSERT_TRUE(udp.ok);
    const uint16_t udpFrom = udp.fromPort, udpTo = udp.toPort;

    // One TCP exchange: connect, a request, a reply, close.
    const std::string request = "hello-" + nonce, reply = "world-" + nonce + "-reply";
    const test::LoopbackTcp tcp = test::ExchangeOverLoopbackTcp(request, reply);
    ASSERT_TRUE(tcp.ok);
    const uint16_t server = tcp.serverPort, clientPort = tcp.clientPort;

    ASSERT_TRUE(WaitUntil(
        [&] {
            return !RowsCarrying(rig, 17, udpFrom, udpTo, markers.back()).empty() &&
                   !RowsCarrying(rig, 6, server, clientPort, reply).empty();
        },
        10s))
        << "captured rows: " << rig.list.rowCount();
    std::this_thread::sleep_for(50ms);  // any duplicate would have arrived by now
    EXPECT_EQ(rig.engine.losses(), CaptureLosses{});

    // Stop ends the capture thread promptly.
    const auto stopAt = std::chrono::steady_clock::now();
    rig.engine.stop();
    ASSERT_TRUE(WaitUntil([&] { return !rig.state.capturing.load(); }, 5s));
    const auto stopMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stopAt)
            .count();
    std::printf("[ figures  ] Stop ended the capture thread after %.2f ms\n", stopMs);
    RecordProperty("stop_ms", std::to_string(stopMs));
    EXPECT_LT(stopMs, 1000.0) << "wanted within 100 ms";
    EXPECT_EQ(rig.view.lastStatus(), "Stopped");

    for (const std::string& m : markers) {
        const auto rows = RowsCarrying(rig, 17, udpFrom, udpTo, m);
        ASSERT_EQ(rows.size(), 1u) << m;
        EXPECT_EQ(rig.row(rows[0]),
                  (std::vector<std::string>{"UDP", std::to_string(28 + m.size()), "127.0.0.1",
                                            "127.0.0.1", std::to_string(udpFrom),
                                            std::to_string(udpTo), "09:30", "", ""}))
            << m;
    }
    const auto requests = RowsCarrying(rig, 6, clientPort, server, request);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(RowsCarrying(rig, 6, server, clientPort, reply).size(), 1u);
    EXPECT_EQ(rig.list.cellText(requests[0], 0), "TCP");
    EXPECT_EQ(rig.list.cellText(requests[0], 4), std::to_string(clientPort));
    EXPECT_EQ(rig.list.cellText(requests[0], 5), std::to_string(server));
    // The handshake's SYN was seen once, before the request.
    const auto syns = RowsWhere(rig, [&](const PacketView& p) {
        return p.protocol() == 6 && p.sourcePort() == clientPort && p.destinationPort() == server &&
               p.flags().syn && !p.flags().ack;
    });
    ASSERT_EQ(syns.size(), 1u);
    EXPECT_LT(syns[0], requests[0]);
}

}  // namespace
}  // namespace vorlanx
