// File Mode on live loopback traffic: a real HTTP server (python3 -m http.server) serves
// files to a real client (curl) while File Mode captures on 127.0.0.1; every file written
// must equal a file served, byte for byte. Needs CAP_NET_RAW (CI runs as root); skips
// clearly otherwise.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "capture/live_capture_source.h"
#include "filemode/file_mode_engine.h"
#include "filemode/stream_test_support.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

extern char** environ;

namespace vorlanx {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

bool CanCapture() {
    const int probe = ::socket(AF_PACKET, SOCK_DGRAM, 0);
    if (probe < 0)
        return false;
    ::close(probe);
    return true;
}

bool HaveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

uint16_t FreeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

bool Accepts(uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// python3 -m http.server on 127.0.0.1, ended with the object.
class LocalHttpServer {
  public:
    LocalHttpServer(const std::string& directory, uint16_t port) : m_port(port) {
        const std::string portText = std::to_string(port);
        const char* argv[] = {"python3",   "-m",          "http.server",     "--bind",
                              "127.0.0.1", "--directory", directory.c_str(), portText.c_str(),
                              nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&m_pid, "python3", &actions, nullptr, const_cast<char**>(argv), environ) !=
            0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~LocalHttpServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    bool waitReady() const {
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (m_pid > 0 && std::chrono::steady_clock::now() < deadline) {
            if (Accepts(m_port))
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

  private:
    pid_t m_pid = -1;
    uint16_t m_port;
};

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

TEST(FileModeLiveTest, FilesFetchedFromALocalServerAreWrittenByteForByte) {
    if (!CanCapture()) {
        GTEST_SKIP() << "CAP_NET_RAW missing: File Mode live capture on loopback not tested "
                        "(run as root or give the test cap_net_raw)";
    }
    if (!HaveProgram("python3") || !HaveProgram("curl")) {
        GTEST_SKIP() << "python3 or curl missing: File Mode live capture not tested";
    }

    test::TempDir served;
    test::TempDir output;
    std::mt19937 random(7);
    std::vector<std::pair<std::string, Bytes>> files;
    auto text = [&](size_t n) {
        Bytes b;
        for (size_t i = 0; b.size() < n; ++i) {
            const std::string line = "line " + std::to_string(i) + " of a served text file\n";
            b.insert(b.end(), line.begin(), line.end());
        }
        b.resize(n);
        return b;
    };
    auto binary = [&](size_t n) {
        Bytes b(n);
        for (auto& x : b)
            x = static_cast<uint8_t>(random());
        return b;
    };
    files.emplace_back("small.txt", text(900));
    files.emplace_back("page.html", text(70000));
    files.emplace_back("blob.bin", binary(300000));
    files.emplace_back("large.txt", text(1500000));
    for (const auto& [name, bytes] : files)
        WriteFile(served.path() / name, bytes);

    const uint16_t port = FreeLoopbackPort();
    LocalHttpServer server(served.path().string(), port);
    ASSERT_TRUE(server.waitReady()) << "the local HTTP server did not start";

    FileModeState state;
    FileModeCounters counters;
    LiveCaptureSourceFactory sources;
    test::ScriptedPrompt prompt;
    FileModeOptionValues options;
    options.directoryText = output.path().string() + "/";
    options.onlyHttp = true;
    SteadyProgramClock clock;
    SystemLocalTimeSource localTime;
    state.currentAckTimeout = 400;

    // The window's timer: streamClock follows the program clock every 20 ms.
    std::atomic<bool> ticking{true};
    state.streamClock = clock.nowMs();
    std::thread timer([&] {
        while (ticking) {
            state.streamClock = clock.nowMs();
            std::this_thread::sleep_for(20ms);
        }
    });

    {
        FileModeEngine starter(
            FileModeServices{state, counters, sources, prompt, options, clock, localTime, nullptr});
        FileModeStartRequest request;
        request.interfaceAddress = "127.0.0.1";
        // Only our server's responses: other tests may use the loopback interface too.
        request.filter.sourcePortMustBe = port;
        ASSERT_EQ(starter.startNow(request), StartOutcome::Started);
        ASSERT_TRUE(prompt.asked().empty());

        for (const auto& [name, bytes] : files) {
            const std::string command =
                "curl -s --max-time 20 -o /dev/null http://127.0.0.1:" + std::to_string(port) +
                "/" + name;
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
            // Responses finish apart from each other, so their files get their own names.
            std::this_thread::sleep_for(30ms);
        }
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (counters.filesWrittenRun.load() < files.size() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        starter.stop();
        ASSERT_TRUE(starter.waitUntilIdle(20s));
    }
    ticking = false;
    timer.join();

    std::multiset<Bytes> expected, written;
    for (const auto& [name, bytes] : files)
        expected.insert(bytes);
    for (const auto& entry : std::filesystem::directory_iterator(output.path())) {
        written.insert(test::ReadBytes(entry.path().string()));
    }
    EXPECT_EQ(written.size(), files.size());
    EXPECT_TRUE(written == expected) << "a written file differs from every served file";
    EXPECT_EQ(counters.filesWrittenRun.load(), files.size());
    EXPECT_EQ(counters.trackedMemory.load(), 0);
    EXPECT_TRUE(prompt.asked().empty());
}

}  // namespace
}  // namespace vorlanx
