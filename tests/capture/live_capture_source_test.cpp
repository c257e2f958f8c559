// Live capture on the loopback interface with real traffic. Needs CAP_NET_RAW (CI runs as
// root); without it the tests that capture skip with a clear line.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/live_capture_source.h"
#include "platform/network_interfaces.h"
#include "support/loopback_sockets.h"

namespace vorlanx {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

using test::BoundPort;
using test::CanCapture;
using Fd = test::UniqueFd;

#define REQUIRE_CAPTURE_PERMISSION()                                                        \
    if (!CanCapture()) {                                                                    \
        GTEST_SKIP() << "CAP_NET_RAW missing: live capture on loopback not tested (run as " \
                        "root or give the test cap_net_raw)";                               \
    }

uint16_t Be16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

int BoundUdpSocket() {
    return test::BoundLoopbackSocket(SOCK_DGRAM);
}

// Sends `payload` from `fd` to 127.0.0.1:`port`; true when all of it went.
bool SendUdp(int fd, uint16_t port, const Bytes& payload) {
    const sockaddr_in to = test::LoopbackAddress(port);
    return ::sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) == static_cast<ssize_t>(payload.size());
}

// Receives on its own thread, as the capture thread does, and keeps a copy of every
// datagram that `keep` selects (other traffic on the loopback interface is ignored).
class BackgroundReceiver {
  public:
    BackgroundReceiver(CaptureSource& source, std::function<bool(const Bytes&)> keep)
        : m_source(source), m_keep(std::move(keep)), m_thread([this] { run(); }) {}
    ~BackgroundReceiver() { stop(); }

    // Waits until `done` holds for the datagrams kept so far, or the time is up.
    bool waitFor(const std::function<bool(const std::vector<Bytes>&)>& done,
                 Clock::duration limit = 5s) {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, limit, [&] { return done(m_kept); });
    }
    std::vector<Bytes> stop() {
        m_source.close();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        std::lock_guard lock(m_lock);
        return m_kept;
    }

  private:
    void run() {
        while (auto datagram = m_source.receive()) {
            Bytes bytes(datagram->begin(), datagram->end());
            if (m_keep(bytes)) {
                std::lock_guard lock(m_lock);
                m_kept.push_back(std::move(bytes));
                m_changed.notify_all();
            }
        }
    }

    CaptureSource& m_source;
    std::function<bool(const Bytes&)> m_keep;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Bytes> m_kept;
    std::thread m_thread;
};

bool IsUdpTo(const Bytes& d, uint16_t port) {
    return d.size() >= 28 && d[9] == 17 && Be16(d, 22) == port;
}

std::unique_ptr<LiveCaptureSource> OpenLoopback() {
    OpenOutcome outcome;
    auto source = LiveCaptureSource::open("127.0.0.1", outcome);
    EXPECT_EQ(outcome.result, ReceiveAllResult::Listening) << "errno " << outcome.errorNumber;
    EXPECT_EQ(outcome.errorNumber, 0);
    return source;
}

TEST(LiveCaptureSource, UdpDatagramsArriveOnceEachAndWhole) {
    REQUIRE_CAPTURE_PERMISSION();
    auto source = OpenLoopback();
    EXPECT_EQ(source->interfaceIndex(), static_cast<int>(if_nametoindex("lo")));
    Fd receiver(BoundUdpSocket());
    Fd sender(BoundUdpSocket());
    const uint16_t to = BoundPort(receiver.get()), from = BoundPort(sender.get());
    BackgroundReceiver capture(*source, [to](const Bytes& d) { return IsUdpTo(d, to); });

    // Payload sizes around the edges: empty, tiny, an Ethernet MTU and one past it, and
    // the largest UDP payload IPv4 carries (a 65,535-byte datagram).
    const std::vector<size_t> sizes = {0, 1, 17, 1472, 1473, 9000, 32768, 65507};
    std::map<Bytes, int> sent;  // payload -> times seen
    for (size_t i = 0; i < sizes.size(); ++i) {
        Bytes payload(sizes[i]);
        for (size_t j = 0; j < payload.size(); ++j) {
            payload[j] = static_cast<uint8_t>(i * 31 + j * 7);
        }
        if (!payload.empty()) {
            payload[0] = static_cast<uint8_t>(i);  // every payload distinct
        }
        ASSERT_TRUE(SendUdp(sender.get(), to, payload)) << "errno " << errno;
        sent[payload] = 0;
    }
    const auto sentAt = Clock::now();
    const bool allSeen =
        capture.waitFor([&](const auto& kept) { return kept.size() >= sizes.size(); });
    const auto firstWait = Clock::now() - sentAt;
    std::this_thread::sleep_for(50ms);  // room for a duplicate to show up
    const auto kept = capture.stop();
    ASSERT_TRUE(allSeen) << kept.size() << " of " << sizes.size() << " datagrams captured";
    std::cout << "[          ] all " << sizes.size() << " datagrams captured "
              << std::chrono::duration<double, std::milli>(firstWait).count()
              << " ms after the last send\n";

    for (const Bytes& d : kept) {
        ASSERT_GE(d.size(), 28u);
        EXPECT_EQ(d[0], 0x45);            // IP header first, no link header
        EXPECT_EQ(Be16(d, 2), d.size());  // whole: the total length is what arrived
        EXPECT_EQ(Be16(d, 20), from);
        EXPECT_EQ(Be16(d, 24), d.size() - 20);  // UDP length
        EXPECT_EQ(d[12], 127);
        EXPECT_EQ(d[19], 1);
        const Bytes payload(d.begin() + 28, d.end());
        auto it = sent.find(payload);
        ASSERT_NE(it, sent.end()) << "a captured datagram carries bytes nobody sent";
        ++it->second;
    }
    for (const auto& [payload, seen] : sent) {
        EXPECT_EQ(seen, 1) << "payload of " << payload.size() << " bytes seen " << seen << " times";
    }
    EXPECT_EQ(source->datagramsCut(), 0u);
    EXPECT_EQ(source->errorNumber(), 0);
}

struct Segment {
    uint16_t sourcePort, destinationPort;
    uint8_t flags;
    std::string payload;
};

Segment ParseTcp(const Bytes& d) {
    const size_t ip = (d[0] & 15u) * 4u;
    const size_t tcp = (d[ip + 12] >> 4) * 4u;
    return {Be16(d, ip), Be16(d, ip + 2), d[ip + 13],
            std::string(d.begin() + static_cast<long>(ip + tcp), d.end())};
}

TEST(LiveCaptureSource, TcpExchangeShowsEverySegmentOnce) {
    REQUIRE_CAPTURE_PERMISSION();
    LiveCaptureSourceFactory factory;  // as the capture threads open it
    OpenOutcome outcome;
    auto source = factory.open("127.0.0.1", outcome);
    ASSERT_EQ(outcome.result, ReceiveAllResult::Listening) << "errno " << outcome.errorNumber;
    Fd listener(test::BoundLoopbackSocket(SOCK_STREAM));
    ASSERT_EQ(::listen(listener.get(), 1), 0);
    const uint16_t serverPort = BoundPort(listener.get());
    BackgroundReceiver capture(*source, [serverPort](const Bytes& d) {
        return d.size() >= 40 && d[9] == 6 &&
               (Be16(d, 20) == serverPort || Be16(d, 22) == serverPort);
    });

    const std::string request = "GET /report HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    const std::string response(3000, 'r');
    {
        Fd client(::socket(AF_INET, SOCK_STREAM, 0));
        const sockaddr_in server = test::LoopbackAddress(serverPort);
        ASSERT_EQ(
            ::connect(client.get(), reinterpret_cast<const sockaddr*>(&server), sizeof server), 0);
        Fd accepted(::accept(listener.get(), nullptr, nullptr));
        ASSERT_GE(accepted.get(), 0);
        ASSERT_EQ(::send(client.get(), request.data(), request.size(), 0),
                  static_cast<ssize_t>(request.size()));
        std::string got(request.size(), '\0');
        ASSERT_EQ(::recv(accepted.get(), got.data(), got.size(), MSG_WAITALL),
                  static_cast<ssize_t>(got.size()));
        ASSERT_EQ(::send(accepted.get(), response.data(), response.size(), 0),
                  static_cast<ssize_t>(response.size()));
        std::string answer(response.size(), '\0');
        ASSERT_EQ(::recv(client.get(), answer.data(), answer.size(), MSG_WAITALL),
                  static_cast<ssize_t>(answer.size()));
    }  // both ends close: FIN each way

    const auto finsSeen = [](const std::vector<Bytes>& kept) {
        int fins = 0;
        for (const auto& d : kept) {
            fins += (ParseTcp(d).flags & 0x01) != 0;
        }
        return fins >= 2;
    };
    const bool complete = capture.waitFor(finsSeen);
    std::this_thread::sleep_for(50ms);
    const auto kept = capture.stop();
    ASSERT_TRUE(complete) << kept.size() << " segments, not both FINs";

    std::vector<Segment> segments;
    for (const auto& d : kept) {
        EXPECT_EQ(Be16(d, 2), d.size());
        segments.push_back(ParseTcp(d));
    }
    ASSERT_GE(segments.size(), 5u);
    EXPECT_EQ(segments[0].flags & 0x3F, 0x02);  // SYN (ECN bits aside)
    EXPECT_EQ(segments[0].destinationPort, serverPort);
    EXPECT_EQ(segments[1].flags & 0x3F, 0x12);  // SYN-ACK
    EXPECT_EQ(segments[1].sourcePort, serverPort);
    std::string toServer, toClient;
    int syns = 0;
    for (const auto& s : segments) {
        syns += (s.flags & 0x02) != 0;
        (s.destinationPort == serverPort ? toServer : toClient) += s.payload;
    }
    EXPECT_EQ(syns, 2);
    EXPECT_EQ(toServer, request);  // each data byte exactly once: no outgoing copies
    EXPECT_EQ(toClient, response);
}

TEST(LiveCaptureSource, CloseFromAnotherThreadEndsABlockedReceivePromptly) {
    REQUIRE_CAPTURE_PERMISSION();
    auto source = OpenLoopback();
    std::atomic<bool> ended{false};
    Clock::time_point endedAt;
    std::thread captureThread([&] {
        while (source->receive()) {
        }
        endedAt = Clock::now();
        ended = true;
    });
    std::this_thread::sleep_for(200ms);  // the thread is asleep in its receive by now
    ASSERT_FALSE(ended.load());
    const auto closedAt = Clock::now();
    source->close();
    captureThread.join();
    const double ms = std::chrono::duration<double, std::milli>(endedAt - closedAt).count();
    std::cout << "[          ] receive ended " << ms << " ms after close()\n";
    EXPECT_LT(ms, 1000.0);
    EXPECT_EQ(source->errorNumber(), 0);

    // Closed stays closed; close() again is harmless.
    source->close();
    EXPECT_FALSE(source->receive().has_value());
    EXPECT_EQ(source->bytesWaiting(), 0u);
}

TEST(LiveCaptureSource, FullRingCountsKernelDropsAndTheBacklog) {
    REQUIRE_CAPTURE_PERMISSION();
    auto source = OpenLoopback();
    EXPECT_EQ(source->droppedByKernel(), 0u);

    // Nobody reads while 400 datagrams of 60,000 bytes (24 MB) pass: the ring of about
    // 10 MB fills and the kernel drops the rest.
    Fd receiver(BoundUdpSocket());
    Fd sender(BoundUdpSocket());
    const uint16_t to = BoundPort(receiver.get());
    const Bytes payload(60000, 0x5A);
    constexpr int kSent = 400;
    for (int i = 0; i < kSent; ++i) {
        ASSERT_TRUE(SendUdp(sender.get(), to, payload)) << "errno " << errno;
    }
    std::this_thread::sleep_for(50ms);  // every block handed over
    const uint64_t backlog = source->bytesWaiting();
    EXPECT_GT(backlog, 8'000'000u);
    EXPECT_LE(backlog, uint64_t{LiveCaptureSource::kBlockBytes} * LiveCaptureSource::kBlockCount);

    const uint64_t drops = source->droppedByKernel();
    EXPECT_GT(drops, 100u);
    // The kernel resets its counter on every read; the source keeps the sum.
    EXPECT_EQ(source->droppedByKernel(), drops);

    int captured = 0;
    BackgroundReceiver capture(*source, [to](const Bytes& d) { return IsUdpTo(d, to); });
    capture.waitFor([](const auto& kept) { return kept.size() >= 100; });
    std::this_thread::sleep_for(100ms);
    EXPECT_LT(source->bytesWaiting(), 200'000u);  // worked through
    const auto kept = capture.stop();
    for (const auto& d : kept) {
        captured += d.size() == 60028;
    }
    EXPECT_EQ(static_cast<size_t>(captured), kept.size());
    std::cout << "[          ] sent " << kSent << ", captured " << captured << ", dropped " << drops
              << ", backlog " << backlog << " bytes\n";
    // Other loopback traffic (tests running beside this one) may add drops of its own.
    EXPECT_LE(captured, kSent);
    EXPECT_GE(static_cast<uint64_t>(captured) + drops, static_cast<uint64_t>(kSent));
    EXPECT_EQ(source->droppedByKernel(), drops);  // still readable after close()
}

// An interface that is not loopback shows the datagrams it sends (outgoing) and those it
// receives, each once, and nothing but IPv4 (ARP and IPv6 pass there too). Built in
// network namespaces of the test's own: a veth pair whose far end sits in a second
// namespace with a UDP echo. Runs in a child process; returns 0 when all held, 77 when
// namespaces or veth cannot be made here, another number (with a line on stderr) else.
// The UDP echo at the far end of the veth pair.
sockaddr_in FarEcho() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(7777);
    a.sin_addr.s_addr = inet_addr("10.77.0.2");
    return a;
}

int SentAndReceivedOnAVethPair() {
    ::alarm(30);
    if (::unshare(CLONE_NEWNET) != 0 ||
        std::system("ip link add vxa type veth peer name vxb 2>/dev/null") != 0) {
        return 77;
    }
    int ready[2], moved[2];
    if (::pipe(ready) != 0 || ::pipe(moved) != 0) {
        return 77;
    }
    const pid_t peer = ::fork();
    if (peer == 0) {
        ::alarm(20);
        char c = 0;
        if (::unshare(CLONE_NEWNET) != 0 || ::write(ready[1], &c, 1) != 1 ||
            ::read(moved[0], &c, 1) != 1 ||
            std::system("ip addr add 10.77.0.2/24 dev vxb && ip link set vxb up") != 0) {
            ::_exit(1);
        }
        Fd echo(::socket(AF_INET, SOCK_DGRAM, 0));
        const sockaddr_in here = FarEcho();
        ::bind(echo.get(), reinterpret_cast<const sockaddr*>(&here), sizeof here);
        const timeval patience{3, 0};
        ::setsockopt(echo.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        for (int i = 0; i < 40; ++i) {
            char buffer[256];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(echo.get(), buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 0) {
                break;
            }
            ::sendto(echo.get(), buffer, static_cast<size_t>(n), 0,
                     reinterpret_cast<const sockaddr*>(&from), length);
        }
        ::_exit(0);
    }
    char c = 0;
    if (::read(ready[0], &c, 1) != 1 ||
        std::system(("ip link set vxb netns " + std::to_string(peer)).c_str()) != 0 ||
        std::system("ip addr add 10.77.0.1/24 dev vxa") != 0) {
        return 77;
    }
    OpenOutcome outcome;
    if (LiveCaptureSource::open("10.77.0.1", outcome);
        outcome.result != ReceiveAllResult::InterfaceUnusable) {
        std::cerr << "an interface that is down was taken\n";
        return 2;
    }
    if (std::system("ip link set vxa up") != 0 || ::write(moved[1], &c, 1) != 1) {
        return 77;
    }
    auto source = LiveCaptureSource::open("10.77.0.1", outcome);
    if (outcome.result != ReceiveAllResult::Listening) {
        std::cerr << "opening on the veth end failed, errno " << outcome.errorNumber << "\n";
        return 3;
    }
    std::atomic<int> notIpv4{0};
    BackgroundReceiver capture(*source, [&](const Bytes& d) {
        notIpv4 += d.empty() || (d[0] >> 4) != 4;
        return d.size() >= 28 && d[9] == 17 && (Be16(d, 20) == 7777 || Be16(d, 22) == 7777);
    });

    Fd client(::socket(AF_INET, SOCK_DGRAM, 0));
    const sockaddr_in far = FarEcho();
    const timeval patience{0, 300'000};
    ::setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    std::vector<std::string> echoed;
    for (int attempt = 0; attempt < 30 && echoed.size() < 5; ++attempt) {
        const std::string probe = "probe-" + std::to_string(attempt);
        ::sendto(client.get(), probe.data(), probe.size(), 0,
                 reinterpret_cast<const sockaddr*>(&far), sizeof far);
        char answer[256];
        const ssize_t n = ::recv(client.get(), answer, sizeof answer, 0);
        if (n > 0 && std::string(answer, static_cast<size_t>(n)) == probe) {
            echoed.push_back(probe);
        }
    }
    if (echoed.size() < 3) {
        std::cerr << "the echo in the other namespace answered " << echoed.size() << " times\n";
        return 77;
    }
    const size_t expected = 2 * echoed.size();
    capture.waitFor([&](const auto& kept) { return kept.size() >= expected; }, 2s);
    std::this_thread::sleep_for(50ms);
    const auto kept = capture.stop();
    ::kill(peer, SIGKILL);
    ::waitpid(peer, nullptr, 0);

    int failures = 0;
    for (const auto& probe : echoed) {
        int sent = 0, received = 0;
        for (const auto& d : kept) {
            if (std::string(d.begin() + 28, d.end()) != probe) {
                continue;
            }
            const bool outgoing = d[15] == 1 && d[19] == 2;  // 10.77.0.1 -> 10.77.0.2
            (outgoing ? sent : received) += 1;
        }
        if (sent != 1 || received != 1) {
            std::cerr << probe << ": sent seen " << sent << " times, echo seen " << received
                      << " times\n";
            ++failures;
        }
    }
    if (notIpv4 != 0) {
        std::cerr << notIpv4 << " datagrams that are not IPv4 were delivered\n";
        ++failures;
    }
    return failures == 0 ? 0 : 4;
}

TEST(LiveCaptureSource, OtherInterfacesShowWhatTheySendAndWhatTheyReceive) {
    REQUIRE_CAPTURE_PERMISSION();
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(SentAndReceivedOnAVethPair());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the namespace test was killed (time limit?)";
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "network namespaces or veth interfaces unavailable here: sending "
                        "and receiving on an interface other than loopback not tested";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "2: a down interface was usable, 3: open failed, 4: datagrams missing or repeated";
}

TEST(LiveCaptureSource, AddressesNoInterfaceOwnsAreUnusable) {
    REQUIRE_CAPTURE_PERMISSION();
    const auto up = UpIpv4Addresses();
    ASSERT_EQ(std::count(up.begin(), up.end(), "198.51.100.77"), 0)
        << "this machine owns the address the test takes as foreign";
    LiveCaptureSourceFactory factory;
    for (const std::string address :
         {"", "198.51.100.77", "not an address", "127.0.0.1.5", "256.0.0.1", "127.1"}) {
        OpenOutcome outcome;
        auto source = LiveCaptureSource::open(address, outcome);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(outcome.result, ReceiveAllResult::InterfaceUnusable) << '"' << address << '"';
        EXPECT_FALSE(source->receive().has_value());  // fails at once, never blocks
        source->close();
        outcome = {};
        ASSERT_NE(factory.open(address, outcome), nullptr);
        EXPECT_EQ(outcome.result, ReceiveAllResult::InterfaceUnusable) << '"' << address << '"';
    }
}

// Runs `body` in a child process without CAP_NET_RAW in its effective set and returns its
// exit status.
int WithoutCaptureCapability(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        if (::syscall(SYS_capget, &header, data) != 0) {
            ::_exit(100);
        }
        data[CAP_NET_RAW / 32].effective &= ~(1u << (CAP_NET_RAW % 32));
        if (::syscall(SYS_capset, &header, data) != 0) {
            ::_exit(101);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LiveCaptureSource, WithoutCaptureRightsRawSocketsAreUnavailable) {
    const int status = WithoutCaptureCapability([] {
        OpenOutcome outcome;
        auto source = LiveCaptureSource::open("127.0.0.1", outcome);
        if (outcome.result != ReceiveAllResult::RawSocketsUnavailable) {
            return 1;
        }
        if (outcome.errorNumber != EPERM && outcome.errorNumber != EACCES) {
            return 2;
        }
        return source->receive().has_value() ? 3 : 0;
    });
    EXPECT_EQ(status, 0) << "1: wrong outcome, 2: wrong errno, 3: a failed source delivered";
}

}  // namespace
}  // namespace vorlanx
