// File Mode on live loopback traffic: a real HTTP server (python3 -m http.server) serves
// files to a real client (curl) while File Mode captures on 127.0.0.1; every file written
// must equal a file served, byte for byte. Needs CAP_NET_RAW (CI runs as root); skips
// clearly otherwise.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "capture/live_capture_source.h"
#include "filemode/file_mode_core.h"
#include "filemode/stream_test_support.h"
#include "support/local_server.h"
#include "support/loopback_sockets.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

TEST(FileModeLiveTest, FilesFetchedFromALocalServerAreWrittenByteForByte) {
    if (!test::CanCapture()) {
        GTEST_SKIP() << "CAP_NET_RAW missing: File Mode live capture on loopback not tested "
                        "(run as root or give the test cap_net_raw)";
    }
    if (!test::HaveProgram("python3") || !test::HaveProgram("curl")) {
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

    const uint16_t port = test::FreeTcpPort("127.0.0.1");
    ASSERT_NE(port, 0);
    test::BackgroundProgram server({"python3", "-m", "http.server", "--bind", "127.0.0.1",
                                    "--directory", served.path().string(), std::to_string(port)});
    ASSERT_TRUE(server.waitUntilListening("127.0.0.1", port))
        << "the local HTTP server did not start";

    LiveCaptureSourceFactory sources;
    test::ScriptedPrompt prompt;
    SteadyProgramClock clock;
    SystemLocalTimeSource localTime;
    FileModeCore core({sources, prompt, clock, localTime});
    core.options().set(&FileModeOptionValues::directoryText, output.path().string() + "/");
    core.options().set(&FileModeOptionValues::onlyHttp, true);
    core.setAckTimeout(400);
    FileModeCounters& counters = core.counters();

    // The window's timer: streamClock follows the program clock every 20 ms (joined on
    // every way out of the test).
    std::jthread timer([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            core.updateStreamClock();
            std::this_thread::sleep_for(20ms);
        }
    });

    {
        FileModeEngine& starter = core.engine();
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
        test::WaitUntil([&] { return counters.filesWrittenRun.load() >= files.size(); }, 20s, 20ms);
        starter.stop();
        ASSERT_TRUE(starter.waitUntilIdle(20s));
    }
    timer.request_stop();
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
