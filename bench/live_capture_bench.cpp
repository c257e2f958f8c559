// The live capture socket under a bounded loopback flood of small UDP datagrams, and
// tcpdump on the same flood for comparison. Reports datagrams sent and captured, the
// kernel's drops and the receiving side's CPU time per captured datagram.
//
// Needs CAP_NET_RAW (run as root). Each run sends for a given time at a given rate of
// datagrams per second (or as fast as the senders manage), to 127.0.0.1 only.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capture/live_capture_source.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr size_t kPayloadBytes = 18;  // 46-byte datagrams
constexpr unsigned kBatch = 32;

bool CanCapture() {
    const int probe = ::socket(AF_PACKET, SOCK_DGRAM, 0);
    if (probe < 0) {
        return false;
    }
    ::close(probe);
    return true;
}

double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A UDP sink on 127.0.0.1 that is never read (its queue overflows quietly) and a sender.
struct LoopbackFlood {
    int sink = -1;
    int sender = -1;
    uint16_t port = 0;

    LoopbackFlood() {
        sink = ::socket(AF_INET, SOCK_DGRAM, 0);
        sender = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(sink, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        socklen_t length = sizeof a;
        ::getsockname(sink, reinterpret_cast<sockaddr*>(&a), &length);
        port = ntohs(a.sin_port);
        ::connect(sender, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    }
    ~LoopbackFlood() {
        ::close(sink);
        ::close(sender);
    }

    // Sends for `duration` at `rate` per second (0: as fast as possible) from `senders`
    // threads sharing the rate; returns the count.
    uint64_t run(uint64_t rate, Clock::duration duration, int senders) const {
        std::atomic<uint64_t> total{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < senders; ++i) {
            threads.emplace_back(
                [&] { total += send(rate / static_cast<uint64_t>(senders), duration); });
        }
        for (auto& t : threads) {
            t.join();
        }
        return total;
    }

    uint64_t send(uint64_t rate, Clock::duration duration) const {
        char payload[kPayloadBytes] = "vorlanx flood";
        iovec vector{payload, sizeof payload};
        mmsghdr messages[kBatch] = {};
        for (auto& m : messages) {
            m.msg_hdr.msg_iov = &vector;
            m.msg_hdr.msg_iovlen = 1;
        }
        uint64_t sent = 0;
        const auto start = Clock::now();
        for (;;) {
            const auto elapsed = Clock::now() - start;
            if (elapsed >= duration) {
                break;
            }
            uint64_t due = kBatch;
            if (rate != 0) {
                const double seconds = std::chrono::duration<double>(elapsed).count();
                const uint64_t target = static_cast<uint64_t>(seconds * static_cast<double>(rate));
                if (target <= sent) {
                    continue;  // ahead of the pace
                }
                due = std::min<uint64_t>(target - sent, kBatch);
            }
            const int done = ::sendmmsg(sender, messages, static_cast<unsigned>(due), 0);
            if (done > 0) {
                sent += static_cast<uint64_t>(done);
            }
        }
        return sent;
    }
};

void ReportFlood(benchmark::State& state, uint64_t sent, uint64_t captured, uint64_t drops,
                 double cpuSeconds, Clock::duration sending) {
    const double seconds = std::chrono::duration<double>(sending).count();
    state.counters["sent"] = static_cast<double>(sent);
    state.counters["captured"] = static_cast<double>(captured);
    state.counters["kernel_drops"] = static_cast<double>(drops);
    state.counters["sent_per_s"] = static_cast<double>(sent) / seconds;
    state.counters["cpu_ns_per_datagram"] =
        captured == 0 ? 0.0 : cpuSeconds * 1e9 / static_cast<double>(captured);
}

struct FloodSettings {
    uint64_t rate;  // datagrams per second, 0: flat out
    Clock::duration duration;
    int senders;
};

// The settings of a run from its arguments; nothing (and the run skipped) without the
// right to capture.
std::optional<FloodSettings> Settings(benchmark::State& state) {
    if (!CanCapture()) {
        state.SkipWithError("CAP_NET_RAW missing: run the benchmark as root");
        return std::nullopt;
    }
    return FloodSettings{static_cast<uint64_t>(state.range(0)),
                         std::chrono::milliseconds(state.range(1)),
                         static_cast<int>(state.range(2))};
}

// The capture socket, read as the capture thread reads it; CPU time of the reading thread.
void BM_LiveCaptureLoopbackFlood(benchmark::State& state) {
    const auto settings = Settings(state);
    if (!settings) {
        return;
    }
    for (auto _ : state) {
        LoopbackFlood flood;
        vorlanx::OpenOutcome outcome;
        auto source = vorlanx::LiveCaptureSource::open("127.0.0.1", outcome);
        if (outcome.result != vorlanx::ReceiveAllResult::Listening) {
            state.SkipWithError("the capture socket did not open");
            return;
        }
        std::atomic<uint64_t> captured{0};
        std::atomic<double> cpu{0};
        std::thread reader([&] {
            rusage before{}, after{};
            ::getrusage(RUSAGE_THREAD, &before);
            uint64_t mine = 0;
            while (auto datagram = source->receive()) {
                const auto& d = *datagram;
                if (d.size() >= 28 && d[9] == 17 && ((d[22] << 8) | d[23]) == flood.port) {
                    ++mine;
                }
            }
            ::getrusage(RUSAGE_THREAD, &after);
            cpu = CpuSeconds(after) - CpuSeconds(before);
            captured = mine;
        });
        std::this_thread::sleep_for(50ms);
        const auto start = Clock::now();
        const uint64_t sent = flood.run(settings->rate, settings->duration, settings->senders);
        const auto sending = Clock::now() - start;
        std::this_thread::sleep_for(200ms);  // the reader works through the backlog
        const uint64_t drops = source->droppedByKernel();
        source->close();
        reader.join();
        ReportFlood(state, sent, captured, drops, cpu, sending);
    }
}

// tcpdump -i lo -w /dev/null on the same flood; CPU time of the whole tcpdump process.
void BM_TcpdumpLoopbackFlood(benchmark::State& state) {
    const auto settings = Settings(state);
    if (!settings) {
        return;
    }
    const char* tcpdump = "/usr/bin/tcpdump";
    if (::access(tcpdump, X_OK) != 0) {
        state.SkipWithError("tcpdump not installed: no comparison");
        return;
    }
    for (auto _ : state) {
        LoopbackFlood flood;
        char errorsPath[] = "/tmp/vorlanx-bench-tcpdump-XXXXXX";
        const int errors = ::mkstemp(errorsPath);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, errors, STDERR_FILENO);
        // The same receive buffer as the capture socket (-B in KiB).
        std::vector<std::string> args = {"tcpdump", "-i",   "lo", "-n",
                                         "-B",      "9766", "-w", "/dev/null"};
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_t child = 0;
        const int spawned = ::posix_spawn(&child, tcpdump, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ::close(errors);
            ::unlink(errorsPath);
            state.SkipWithError("tcpdump did not start");
            return;
        }
        // Wait until it says it is listening (at most 5 s).
        for (int i = 0; i < 100; ++i) {
            std::ifstream in(errorsPath);
            std::stringstream text;
            text << in.rdbuf();
            if (text.str().find("listening on") != std::string::npos) {
                break;
            }
            std::this_thread::sleep_for(50ms);
        }
        std::this_thread::sleep_for(100ms);
        const auto start = Clock::now();
        const uint64_t sent = flood.run(settings->rate, settings->duration, settings->senders);
        const auto sending = Clock::now() - start;
        std::this_thread::sleep_for(1200ms);  // tcpdump's ring hands blocks over after 1 s
        ::kill(child, SIGINT);
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        ::close(errors);

        std::ifstream in(errorsPath);
        std::stringstream text;
        text << in.rdbuf();
        ::unlink(errorsPath);
        std::smatch match;
        const std::string report = text.str();
        uint64_t captured = 0, drops = 0;
        if (std::regex_search(report, match, std::regex("(\\d+) packets? captured"))) {
            captured = std::stoull(match[1]);
        }
        if (std::regex_search(report, match, std::regex("(\\d+) packets? dropped by kernel"))) {
            drops = std::stoull(match[1]);
        }
        ReportFlood(state, sent, captured, drops, CpuSeconds(usage), sending);
    }
}

}  // namespace

// {datagrams per second (0: flat out), milliseconds, sending threads}
BENCHMARK(BM_LiveCaptureLoopbackFlood)
    ->Args({200000, 2000, 2})
    ->Args({0, 1000, 2})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_TcpdumpLoopbackFlood)
    ->Args({200000, 2000, 2})
    ->Args({0, 1000, 2})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
