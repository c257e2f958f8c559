// vorlanx-cli: usage errors and exit codes, list's report of the recordings against the
// Packet Mode report writer's for the same datagrams, a truncated file, the stored filters,
// and the program capturing real loopback traffic, read back by the capture-file source
// and by tcpdump.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "capture/date_time_template.h"
#include "capture/pcap_file_source.h"
#include "cli/cli.h"
#include "packetmode/packet_report.h"
#include "settings/settings_file.h"
#include "support/file_contents.h"
#include "support/loopback_sockets.h"
#include "support/loopback_traffic.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

using Datagrams = std::vector<std::vector<uint8_t>>;

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

CliRun RunWith(const std::vector<std::string>& args, bool errIsTerminal = false) {
    static const std::atomic<bool> never{false};
    std::ostringstream out, err;
    const int exitCode = RunCli(args, {out, err, errIsTerminal}, never);
    return {exitCode, out.str(), err.str()};
}

std::string Recording(const std::string& name) {
    return std::string(VORLANX_TEST_DATA_DIR) + "/" + name;
}
const std::string kLo = Recording("http_exchange_lo.pcap");

// The report without its trailer, and the count and milliseconds the trailer gives.
struct SplitReport {
    std::string body;
    int64_t packets = -1;
};

SplitReport Split(const std::string& report) {
    static const std::regex trailer("(\\d+) Packets? listed in (\\d+) milliseconds\\.$");
    std::smatch m;
    if (!std::regex_search(report, m, trailer))
        return {};
    const std::string expected = ReportTrailer(std::stoll(m[1]), std::stoll(m[2]));
    if (!report.ends_with(expected))
        return {};
    return {report.substr(0, report.size() - expected.size()), std::stoll(m[1])};
}

// Record times as the report shows them, the same on every machine.
class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    test::TempDir dir;
};

TEST_F(CliTest, UsageErrorsFailuresAndTheirExitCodes) {
    std::ofstream(dir.file("notes.pcap")) << "plain text, not a capture file\n";
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string errHas;  // usage errors: the one line ends so
    } cases[] = {
        {{}, 2, "no command given; see --help\n"},
        {{"extract", "x.pcap"}, 2, "; see --help\n"},
        {{"--version", "list"}, 2, "; see --help\n"},
        {{"list"}, 2, "; see --help\n"},
        {{"list", "a.pcap", "b.pcap"}, 2, "; see --help\n"},
        {{"list", "a.pcap", "--text", "--hex"}, 2, "; see --help\n"},
        {{"list", "a.pcap", "--bogus"}, 2, "; see --help\n"},
        {{"list", "a.pcap", "--settings"}, 2, "; see --help\n"},
        {{"capture", "-w", "o.pcap"}, 2, "; see --help\n"},
        {{"capture", "-i", "127.0.0.1"}, 2, "; see --help\n"},
        {{"capture", "-i", "127.0.0.1", "-w", "o.pcap", "-c", "0"}, 2, "; see --help\n"},
        {{"capture", "-i", "127.0.0.1", "-w", "o.pcap", "--seconds", "1x"}, 2, "; see --help\n"},
        {{"capture", "stray", "-i", "127.0.0.1", "-w", "o.pcap"}, 2, "; see --help\n"},
        {{"list", dir.file("missing.pcap")}, 1, dir.file("missing.pcap") + "\": No such file"},
        {{"list", dir.file("notes.pcap")}, 1, dir.file("notes.pcap") + "\" is not a capture file"},
        {{"list", kLo, "--settings", dir.file("x.BCS")}, 1, dir.file("x.BCS") + "\": No such"},
        {{"capture", "-i", "192.0.2.222", "-w", "o.pcap"}, 1, "no interface has the address"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const CliRun run = RunWith(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("vorlanx-cli: ")) << run.err;
        EXPECT_NE(run.err.find(c.errHas), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(RunWith({"--version"}).out, "vorlanx-cli 1.5\n");
    const CliRun help = RunWith({"list", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("vorlanx-cli capture -i ADDRESS -w FILE.pcap"), std::string::npos);
}

// The entries Packet Mode's report writer gives the file's datagrams, stamped with each
// record's time by the default Date / Time template.
std::string ExpectedEntries(const std::string& path, PacketRendering rendering) {
    std::string entries;
    const auto source = PcapFileSource::openFile(path);
    while (const auto datagram = source->receive()) {
        const auto moment = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                source->lastRecordTime()));
        AppendPacketEntry(entries,
                          PacketRecord::create(*datagram).view(uint32_t(datagram->size())),
                          ExpandDateTimeTemplate(kDefaultDateTimeTemplate, LocalTimeAt(moment)),
                          rendering);
    }
    return entries;
}

TEST_F(CliTest, ListWritesPacketModesReportOfEveryRecording) {
    const struct {
        const char* flag;
        PacketRendering rendering;
    } renderings[] = {{nullptr, PacketRendering::None},
                      {"--text", PacketRendering::Text},
                      {"--dec", PacketRendering::Dec},
                      {"--hex", PacketRendering::Hex}};
    const std::pair<const char*, const char*> recordings[] = {
        {"http_exchange_lo.pcap", "43320 31113  [2026.12.08 - 15:16:09.334]"},
        {"http_exchange_any_sll.pcap", "58172 27725  [2026.12.08 - 15:16:16.543]"},
        {"http_exchange_any_sll2.pcap", "54394 30292  [2026.12.08 - 15:16:12.944]"},
    };
    for (const auto& [name, firstHeading] : recordings) {
        for (const auto& r : renderings) {
            SCOPED_TRACE(std::string(name) + " " + (r.flag ? r.flag : "(headings)"));
            std::vector<std::string> args = {"list", Recording(name)};
            if (r.flag)
                args.push_back(r.flag);
            const CliRun run = RunWith(args);
            EXPECT_EQ(run.exitCode, 0);
            EXPECT_EQ(run.err, "");
            const SplitReport split = Split(run.out);
            EXPECT_EQ(split.packets, 12);
            EXPECT_EQ(split.body, ReportHeader() + ExpectedEntries(Recording(name), r.rendering));
            // The first SYN, right after the header and the entry's line ends.
            EXPECT_EQ(run.out.find(" TCP   60       127.0.0.1       127.0.0.1  " +
                                   std::string(firstHeading) + "\r\n"),
                      ReportHeader().size() + (r.flag ? 4 : 2));
        }
    }
}

TEST_F(CliTest, ListOfATruncatedFileGivesTheRowsBeforeTheCutAndFails) {
    // 3,000 bytes end inside the eighth record, the 12,350-byte body.
    const std::string cut = dir.file("cut.pcap");
    std::ofstream(cut, std::ios::binary) << test::ReadFileBytes(kLo).substr(0, 3000);
    const CliRun run = RunWith({"list", cut});
    EXPECT_EQ(run.exitCode, 1);
    const SplitReport split = Split(run.out);
    EXPECT_EQ(split.packets, 7);
    EXPECT_TRUE(RunWith({"list", kLo}).out.starts_with(split.body)) << run.out;
    EXPECT_NE(run.err.find("\"" + cut + "\" stopped at a damaged record"), std::string::npos)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST_F(CliTest, ProgressGoesToATerminalOnly) {
    EXPECT_EQ(RunWith({"list", kLo}, false).err, "");
    const std::string err = RunWith({"list", kLo}, true).err;
    EXPECT_TRUE(err.starts_with("\r" + kLo + ": ")) << err;
    EXPECT_TRUE(err.ends_with(": 100%\n")) << err;
}

TEST_F(CliTest, ListAppliesTheStoredFilters) {
    // The recording: 12 TCP segments, among them the response header "HTTP/1.0 200 OK"
    // (241 bytes) and the body (12,402 bytes).
    const struct {
        std::string mustContain;
        bool matchCase;
        int32_t minSize;
        int64_t listed;
    } cases[] = {
        {"HTTP/1.0 200", true, 0, 1},
        {"http/1.0 200", true, 0, 0},
        {"http/1.0 200", false, 0, 1},
        {"", false, 200, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mustContain + " " + std::to_string(c.minSize));
        SettingsRecord record = SettingsRecord::defaults(dir.path().string() + "/");
        record.setMustContain1(c.mustContain);
        record.setMatchCase(c.matchCase);
        record.setMinPacketSize(c.minSize);
        record.setDateTimeTemplate("%H24h%MN");
        ASSERT_TRUE(SaveSettings(record, dir.file("vorlanx.BCS")));
        const CliRun run = RunWith({"list", kLo, "--settings", dir.file("vorlanx.BCS")});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Split(run.out).packets, c.listed);
        if (c.listed == 1) {
            EXPECT_NE(run.out.find(" TCP  241       127.0.0.1       127.0.0.1  31113 43320  "
                                   "[15h16]\r\n"),
                      std::string::npos)
                << run.out;
        }
    }
}

// The datagrams of a raw-IPv4 capture file as `tcpdump -x` prints them; nothing without
// tcpdump.
std::optional<Datagrams> TcpdumpDatagrams(const std::string& path) {
    FILE* pipe = std::system("command -v tcpdump >/dev/null 2>&1") != 0
                     ? nullptr
                     : ::popen(("tcpdump -r '" + path + "' -nn -x 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    Datagrams datagrams;
    for (char line[512]; std::fgets(line, sizeof line, pipe) != nullptr;) {
        const std::string text(line);
        if (!text.starts_with("\t0x")) {
            datagrams.emplace_back();
            continue;
        }
        std::istringstream words(text.substr(text.find(':') + 1));
        for (std::string word; words >> word && !datagrams.empty();)
            for (size_t i = 0; i + 1 < word.size(); i += 2)
                datagrams.back().push_back(uint8_t(std::stoul(word.substr(i, 2), nullptr, 16)));
    }
    ::pclose(pipe);
    return datagrams;
}

Datagrams DatagramsOf(const std::string& path) {
    Datagrams datagrams;
    const auto source = PcapFileSource::openFile(path);
    while (const auto d = source->receive())
        datagrams.emplace_back(d->begin(), d->end());
    EXPECT_FALSE(source->failed()) << source->errorText();
    return datagrams;
}

// Runs the program with its output in `dir`/out and `dir`/err; the pid, or -1.
pid_t StartProgram(std::vector<std::string> args, const test::TempDir& dir) {
    args.insert(args.begin(), VORLANX_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, dir.file("out").c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&files, 2, dir.file("err").c_str(), O_WRONLY | O_CREAT, 0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

TEST_F(CliTest, CaptureWritesLoopbackTrafficToACompleteFile) {
    if (!test::CanCapture())
        GTEST_SKIP() << "needs the permission to capture packets";
    const struct {
        std::vector<std::string> limit;
        int signal;                 // sent after a second of traffic; 0: none
        std::optional<size_t> datagrams;  // exactly this many, when known
    } cases[] = {
        {{"-c", "4"}, 0, 4},
        {{"--seconds", "1"}, 0, std::nullopt},
        {{}, SIGINT, std::nullopt},
        {{}, SIGTERM, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.limit) + std::to_string(c.signal));
        const std::string path = dir.file("loopback" + std::to_string(c.signal) + ".pcap");
        std::vector<std::string> args = {"capture", "-i", "127.0.0.1", "-w", path};
        args.insert(args.end(), c.limit.begin(), c.limit.end());
        const pid_t pid = StartProgram(args, dir);
        ASSERT_GT(pid, 0);
        // Traffic until the program ends: it may open the socket after the first datagrams.
        int status = 0;
        for (int i = 0; ::waitpid(pid, &status, WNOHANG) == 0; ++i) {
            EXPECT_TRUE(test::SendLoopbackUdp({"cli round trip " + std::to_string(i)}).ok);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (c.signal != 0 && i == 50)
                ::kill(pid, c.signal);
            ASSERT_LT(i, 1000) << "the capture did not end";
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(test::ReadFileBytes(dir.file("err")), "");

        const Datagrams read = DatagramsOf(path);
        EXPECT_EQ(read.size(), c.datagrams.value_or(read.size()));
        EXPECT_FALSE(read.empty());
        const std::string out = test::ReadFileBytes(dir.file("out"));
        EXPECT_TRUE(out.starts_with(std::to_string(read.size()) + " datagram")) << out;
        // Other traffic on the loopback interface may fill the queue: the count is reported,
        // whatever it is.
        EXPECT_NE(out.find("; dropped by the kernel: "), std::string::npos) << out;
        if (const std::optional<Datagrams> dumped = TcpdumpDatagrams(path)) {
            EXPECT_EQ(*dumped, read);
        }
        std::filesystem::remove(dir.file("out"));
    }
}

TEST_F(CliTest, WithoutCapturePermissionTheProgramGivesTheCommandThatGrantsIt) {
    if (std::system("command -v setpriv >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs setpriv to start the program without cap_net_raw";
    const int status = std::system(
        ("setpriv --inh-caps=-net_raw --bounding-set=-net_raw " + std::string(VORLANX_CLI_PATH) +
         " capture -i 127.0.0.1 -w '" + dir.file("c.pcap") + "' 2>'" + dir.file("err") + "'")
            .c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    const std::string err = test::ReadFileBytes(dir.file("err"));
    EXPECT_NE(err.find(std::string("sudo setcap cap_net_raw+ep '") + VORLANX_CLI_PATH + "'\n"),
              std::string::npos)
        << err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("c.pcap")));
}

}  // namespace
}  // namespace vorlanx
