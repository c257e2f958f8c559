// vorlanx-cli extract: the same files from a recording however fast it is read and
// whatever else the machine runs, the incomplete marker, the settings flags, and a damaged
// recording.
#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/cli.h"
#include "support/interleaved_http_recording.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

using test::Bytes;

struct ExtractRun {
    int exitCode = -1;
    std::string out, err;
};

ExtractRun Extract(std::vector<std::string> args) {
    static const std::atomic<bool> never{false};
    args.insert(args.begin(), "extract");
    std::ostringstream out, err;
    const int exitCode = RunCli(args, {out, err, false}, never);
    return {exitCode, out.str(), err.str()};
}

class ExtractTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        s_recording = new test::InterleavedRecording(
            test::WriteInterleavedRecording(s_dir->path() / "interleaved.pcap"));
    }
    static void TearDownTestSuite() {
        delete s_recording;
        delete s_dir;
    }
    // Extracts the recording into a fresh directory with the name template "%SIP".
    std::map<std::string, std::string> extractInto(const std::string& name,
                                                   std::vector<std::string> more = {}) {
        const std::string dir = (m_out.path() / name).string();
        std::vector<std::string> args = {s_recording->path, "-o", dir, "--name-template", "%SIP"};
        args.insert(args.end(), more.begin(), more.end());
        last = Extract(args);
        EXPECT_EQ(last.exitCode, 0) << last.err;
        return test::FilesWritten(dir);
    }

    static test::TempDir* s_dir;
    static test::InterleavedRecording* s_recording;
    test::TempDir m_out;
    ExtractRun last;
};
test::TempDir* ExtractTest::s_dir = nullptr;
test::InterleavedRecording* ExtractTest::s_recording = nullptr;

TEST_F(ExtractTest, SameFilesAtFullSpeedAndOnALoadedCore) {
    ASSERT_EQ(s_recording->files.size(), 2 * test::InterleavedRecording::kPerWave);
    EXPECT_EQ(extractInto("full-speed"), s_recording->files);
    EXPECT_NE(last.out.find("incomplete: 3 files"), std::string::npos) << last.out;
    EXPECT_NE(last.out.find("read:    " + std::to_string(s_recording->datagrams) + " IPv4"),
              std::string::npos)
        << last.out;

    // Every thread of the run on one processor, shared with a thread that never yields.
    cpu_set_t all, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    std::atomic<bool> spin{true};
    std::thread spinner([&spin] {
        while (spin.load(std::memory_order_relaxed)) {
        }
    });
    const auto loaded = extractInto("loaded-core");
    spin = false;
    spinner.join();
    sched_setaffinity(0, sizeof all, &all);
    EXPECT_EQ(loaded, s_recording->files);
}

TEST_F(ExtractTest, SettingsFlagsSteerWhatIsWritten) {
    struct Case {
        const char* what;
        std::vector<std::string> flags;
        size_t files;
    };
    const size_t all = 2 * test::InterleavedRecording::kPerWave;
    for (const Case& c : std::vector<Case>{
             {"the 206 responses left out", {"--no-partial"}, all - all / 3},
             {"one server only", {"--src-ip", "10.2.0.7"}, 1},
             {"not to the client's port", {"--not-dst-port", "40000"}, 0},
             {"a size limit", {"--min-size", "100000"}, 0},
             {"one stream per key: the waves merge", {"--ack-timeout", "30000"}, all / 2},
         }) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extractInto(c.what, c.flags).size(), c.files);
    }
}

TEST_F(ExtractTest, UsageErrorsAndFailures) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const std::string out = (m_out.path() / "x").string();
    std::ofstream(m_out.path() / "file") << "not a directory";
    for (const Case& c : std::vector<Case>{
             {{"-o", out}, 2, "extract needs a capture file"},
             {{s_recording->path}, 2, "extract needs -o DIR"},
             {{s_recording->path, "-o", out, "--src-ip", "10.0.0"}, 2, "needs an address"},
             {{s_recording->path, "-o", out, "--min-size", "-1"}, 2, "number of bytes"},
             {{s_recording->path, "-o", out, "--bogus"}, 2, "unknown option '--bogus'"},
             {{(m_out.path() / "none.pcap").string(), "-o", out}, 1, "none.pcap"},
             {{s_recording->path, "-o", (m_out.path() / "file").string()}, 1,
              "cannot create the output directory"},
             {{s_recording->path, "-o", out, "--settings", out + "/none"}, 1,
              "cannot read the settings file"},
         }) {
        SCOPED_TRACE(c.message);
        const ExtractRun run = Extract(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

TEST_F(ExtractTest, DamagedRecordingWritesWhatPrecededTheDamageAndFails) {
    // Cut inside the last record: everything before it is still rebuilt.
    std::ifstream in(s_recording->path, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), {});
    const std::string cut = (m_out.path() / "cut.pcap").string();
    std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() - 10);
    const std::string dir = (m_out.path() / "from-cut").string();
    const ExtractRun run = Extract({cut, "-o", dir, "--name-template", "%SIP", "--quiet"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("damaged record"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find('\t'), std::string::npos) << "--quiet lists no file";
    EXPECT_NE(run.out.find("incomplete: 4 files"), std::string::npos) << run.out;
    // Only the response whose last segment was cut off comes out short.
    EXPECT_EQ(test::FilesWritten(dir).size(), s_recording->files.size());
}

TEST_F(ExtractTest, ALateCopyOfAWholeResponseMakesNoFileOfItsOwn) {
    // The response is whole at its second segment and written then; a copy of that
    // segment a second later, inside the time-out, is a retransmission, not a stream.
    const std::string path = (m_out.path() / "late-copy.pcap").string();
    const std::string response = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789";
    const Bytes first = test::TcpSegment(5000, 77, response.substr(0, 30));
    const Bytes second = test::TcpSegment(5030, 77, response.substr(30));
    PcapFileWriter writer;
    ASSERT_EQ(writer.open(path), 0);
    const int64_t at = 1700000000LL * 1000000;
    for (const auto& [datagram, time] : {std::pair{&first, at}, std::pair{&second, at + 1000},
                                         std::pair{&second, at + 1000000}})
        writer.write(*datagram, time);
    ASSERT_EQ(writer.close(), 0);
    const std::string dir = (m_out.path() / "late").string();
    last = Extract({path, "-o", dir, "--name-template", "%SIP", "--all-streams"});
    EXPECT_EQ(last.exitCode, 0) << last.err;
    EXPECT_EQ(test::FilesWritten(dir),
              (std::map<std::string, std::string>{{"10.0.0.1.txt", "0123456789"}}));
}

}  // namespace
}  // namespace vorlanx
