// vorlanx-cli through RunCli: usage errors and exit codes, list's report of the recorded
// captures against the Packet Mode report writer's for the same datagrams, a truncated
// file, the stored filters, and a live loopback capture read back by the program's own
// capture-file source and by tcpdump.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <ctime>
#include <filesystem>
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
    std::string out;
    std::string err;
};

CliRun RunWith(const std::vector<std::string>& args, bool errIsTerminal = false,
            const std::atomic<bool>* stop = nullptr) {
    static const std::atomic<bool> never{false};
    std::ostringstream out, err;
    CliRun run;
    run.exitCode = RunCli(args, {out, err, errIsTerminal}, stop ? *stop : never);
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::string Recording(const std::string& name) {
    return std::string(VORLANX_TEST_DATA_DIR) + "/" + name;
}

// Record times as the report shows them, the same on every machine.
class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
};

TEST_F(CliTest, UsageErrorsAndExitCodes) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;  // exact standard output; empty for usage errors
    };
    const Case cases[] = {
        {{}, 2, ""},
        {{"extract", "x.pcap"}, 2, ""},
        {{"--version", "list"}, 2, ""},
        {{"list"}, 2, ""},
        {{"list", "a.pcap", "b.pcap"}, 2, ""},
        {{"list", "a.pcap", "--text", "--hex"}, 2, ""},
        {{"list", "a.pcap", "--bogus"}, 2, ""},
        {{"list", "a.pcap", "--settings"}, 2, ""},
        {{"capture", "-w", "out.pcap"}, 2, ""},
        {{"capture", "-i", "127.0.0.1"}, 2, ""},
        {{"capture", "-i", "127.0.0.1", "-w", "o.pcap", "-c", "0"}, 2, ""},
        {{"capture", "-i", "127.0.0.1", "-w", "o.pcap", "--seconds", "1x"}, 2, ""},
        {{"capture", "-i", "127.0.0.1", "-w", "o.pcap", "-c"}, 2, ""},
        {{"capture", "stray", "-i", "127.0.0.1", "-w", "o.pcap"}, 2, ""},
        {{"--version"}, 0, "vorlanx-cli 1.5\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const CliRun run = RunWith(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, c.out);
        if (c.exitCode == 2) {
            EXPECT_TRUE(run.err.starts_with("vorlanx-cli: ")) << run.err;
            EXPECT_TRUE(run.err.ends_with("; see --help\n")) << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        } else {
            EXPECT_EQ(run.err, "");
        }
    }
    for (const char* help : {"--help", "-h"}) {
        const CliRun run = RunWith({"list", help});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_NE(run.out.find("vorlanx-cli capture -i ADDRESS -w FILE.pcap"), std::string::npos);
    }
}

TEST_F(CliTest, FailuresNameTheFileAndTheReason) {
    test::TempDir dir;
    const std::string notCapture = dir.file("notes.pcap");
    std::ofstream(notCapture) << "plain text, not a capture file\n";
    struct Case {
        std::vector<std::string> args;
        std::string named;
        std::string reason;
    };
    const Case cases[] = {
        {{"list", dir.file("missing.pcap")}, dir.file("missing.pcap"), "No such file"},
        {{"list", notCapture}, notCapture, "not a capture file"},
        {{"list", Recording("http_exchange_lo.pcap"), "--settings", dir.file("none.BCS")},
         dir.file("none.BCS"), "No such file"},
        {{"capture", "-i", "192.0.2.222", "-w", dir.file("o.pcap")}, "192.0.2.222",
         "no interface"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        const CliRun run = RunWith(c.args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("\"" + c.named + "\""), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.pcap")));
}

// The report of `datagrams`' entries as Packet Mode's writer renders them, stamped with
// each record's time by the default Date / Time template.
std::string ExpectedEntries(const std::string& path, PacketRendering rendering) {
    std::string entries;
    const auto source = PcapFileSource::openFile(path);
    while (const auto datagram = source->receive()) {
        const auto record = PacketRecord::create(*datagram);
        const auto moment = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                source->lastRecordTime()));
        AppendPacketEntry(entries, record.view(static_cast<uint32_t>(datagram->size())),
                          ExpandDateTimeTemplate(kDefaultDateTimeTemplate, LocalTimeAt(moment)),
                          rendering);
    }
    return entries;
}

// The report without its trailer, and the packet count and milliseconds the trailer gives.
struct SplitReport {
    std::string body;
    int64_t packets = -1;
    int64_t milliseconds = -1;
};

SplitReport Split(const std::string& report) {
    static const std::regex trailer("(\\d+) Packets? listed in (\\d+) milliseconds\\.$");
    SplitReport split;
    std::smatch m;
    if (!std::regex_search(report, m, trailer))
        return split;
    split.packets = std::stoll(m[1]);
    split.milliseconds = std::stoll(m[2]);
    const std::string expectedTrailer = ReportTrailer(split.packets, split.milliseconds);
    if (report.ends_with(expectedTrailer))
        split.body = report.substr(0, report.size() - expectedTrailer.size());
    return split;
}

TEST_F(CliTest, ListWritesPacketModesReportOfEveryRecording) {
    const struct {
        const char* flag;
        PacketRendering rendering;
    } renderings[] = {{nullptr, PacketRendering::None},
                      {"--text", PacketRendering::Text},
                      {"--dec", PacketRendering::Dec},
                      {"--hex", PacketRendering::Hex}};
    const struct {
        const char* name;
        const char* firstHeading;
    } recordings[] = {
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
    test::TempDir dir;
    const std::string whole = test::ReadFileBytes(Recording("http_exchange_lo.pcap"));
    // 3,000 bytes end inside the eighth record, the 12,350-byte body.
    const std::string cut = dir.file("cut.pcap");
    std::ofstream(cut, std::ios::binary) << whole.substr(0, 3000);

    const CliRun full = RunWith({"list", Recording("http_exchange_lo.pcap")});
    const CliRun run = RunWith({"list", cut});
    EXPECT_EQ(run.exitCode, 1);
    const SplitReport split = Split(run.out);
    EXPECT_EQ(split.packets, 7);
    EXPECT_TRUE(full.out.starts_with(split.body)) << run.out;
    EXPECT_NE(run.err.find("\"" + cut + "\" stopped at a damaged record"), std::string::npos)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST_F(CliTest, ProgressGoesToATerminalOnly) {
    for (const bool terminal : {false, true}) {
        const CliRun run = RunWith({"list", Recording("http_exchange_lo.pcap")}, terminal);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err.empty(), !terminal) << run.err;
        if (terminal) {
            EXPECT_TRUE(run.err.starts_with("\r" + Recording("http_exchange_lo.pcap") + ": "));
            EXPECT_TRUE(run.err.ends_with(": 100%\n")) << run.err;
        }
    }
}

TEST_F(CliTest, ListAppliesTheStoredFilters) {
    struct Case {
        std::string mustContain;
        bool matchCase;
        int32_t minSize;
        int64_t listed;
    };
    // The recording: 12 TCP segments, one of them the response header "HTTP/1.0 200 OK"
    // (241 bytes) and one the body (12,402 bytes).
    const Case cases[] = {
        {"HTTP/1.0 200", true, 0, 1},
        {"http/1.0 200", true, 0, 0},
        {"http/1.0 200", false, 0, 1},
        {"", false, 200, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mustContain + " " + std::to_string(c.minSize));
        test::TempDir dir;
        SettingsRecord record = SettingsRecord::defaults(dir.path().string() + "/");
        record.setMustContain1(c.mustContain);
        record.setMatchCase(c.matchCase);
        record.setMinPacketSize(c.minSize);
        record.setDateTimeTemplate("%H24h%MN");
        ASSERT_TRUE(SaveSettings(record, dir.file("vorlanx.BCS")));
        const CliRun run = RunWith(
            {"list", Recording("http_exchange_lo.pcap"), "--settings", dir.file("vorlanx.BCS")});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Split(run.out).packets, c.listed);
        if (c.listed == 1)
            EXPECT_NE(run.out.find(" TCP  241       127.0.0.1       127.0.0.1  31113 43320  "
                                   "[15h16]\r\n"),
                      std::string::npos)
                << run.out;
    }
}

// The datagrams of a raw-IPv4 capture file as `tcpdump -r path -x` prints them, or
// nothing without tcpdump.
std::optional<Datagrams> TcpdumpDatagrams(const std::string& path) {
    if (std::system("command -v tcpdump >/dev/null 2>&1") != 0)
        return std::nullopt;
    FILE* pipe = ::popen(("tcpdump -r '" + path + "' -nn -x 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    Datagrams datagrams;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        if (!text.starts_with("\t0x")) {
            datagrams.emplace_back();
            continue;
        }
        std::istringstream words(text.substr(text.find(':') + 1));
        for (std::string word; words >> word && !datagrams.empty();)
            for (size_t i = 0; i + 1 < word.size(); i += 2)
                datagrams.back().push_back(
                    static_cast<uint8_t>(std::stoul(word.substr(i, 2), nullptr, 16)));
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

TEST_F(CliTest, CaptureWritesLoopbackTrafficToACompleteFile) {
    if (!test::CanCapture())
        GTEST_SKIP() << "needs the permission to capture packets";
    struct Case {
        std::vector<std::string> limit;
        bool stopBySignalFlag;
        std::optional<size_t> datagrams;  // exactly this many, when known
    };
    const Case cases[] = {
        {{"-c", "4"}, false, 4},
        {{"--seconds", "1"}, false, std::nullopt},
        {{}, true, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.limit));
        test::TempDir dir;
        const std::string path = dir.file("loopback.pcap");
        std::vector<std::string> args = {"capture", "-i", "127.0.0.1", "-w", path};
        args.insert(args.end(), c.limit.begin(), c.limit.end());
        std::atomic<bool> stop{false};
        std::atomic<bool> finished{false};
        CliRun run;
        std::thread capture([&] {
            run = RunWith(args, false, &stop);
            finished.store(true);
        });
        // Traffic until the capture ends: it may open after the first datagrams were sent.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (int i = 0; !finished.load() && std::chrono::steady_clock::now() < giveUp; ++i) {
            EXPECT_TRUE(test::SendLoopbackUdp({"cli round trip " + std::to_string(i)}).ok);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (c.stopBySignalFlag && i == 25)
                stop.store(true);
        }
        capture.join();
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");

        const Datagrams read = DatagramsOf(path);
        if (c.datagrams)
            EXPECT_EQ(read.size(), *c.datagrams);
        EXPECT_FALSE(read.empty());
        EXPECT_TRUE(run.out.starts_with(std::to_string(read.size()) + " datagram")) << run.out;
        EXPECT_NE(run.out.find("dropped by the kernel: 0"), std::string::npos) << run.out;
        if (const std::optional<Datagrams> dumped = TcpdumpDatagrams(path))
            EXPECT_EQ(*dumped, read);
    }
}

// The program itself, its output to files in `dir`; the pid, or -1.
pid_t StartProgram(const std::vector<std::string>& args, const test::TempDir& dir) {
    std::vector<char*> argv;
    std::vector<std::string> all = {VORLANX_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    for (std::string& a : all)
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

int ExitStatusOf(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST_F(CliTest, InterruptEndsTheProgramsCaptureWithACompleteFile) {
    if (!test::CanCapture())
        GTEST_SKIP() << "needs the permission to capture packets";
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        test::TempDir dir;
        const pid_t pid = StartProgram({"capture", "-i", "127.0.0.1", "-w", dir.file("c.pcap")}, dir);
        ASSERT_GT(pid, 0);
        // Long enough for the program to start and open the socket on a busy machine.
        for (int i = 0; i < 40; ++i) {
            test::SendLoopbackUdp({"before the interrupt " + std::to_string(i)});
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(pid, signal);
        EXPECT_EQ(ExitStatusOf(pid), 0) << test::ReadFileBytes(dir.file("err"));
        const size_t read = DatagramsOf(dir.file("c.pcap")).size();
        EXPECT_GT(read, 0u);
        EXPECT_TRUE(test::ReadFileBytes(dir.file("out")).starts_with(std::to_string(read) + " "));
    }
}

TEST_F(CliTest, WithoutCapturePermissionTheProgramGivesTheCommandThatGrantsIt) {
    if (std::system("command -v setpriv >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs setpriv to start the program without cap_net_raw";
    test::TempDir dir;
    const std::string command = std::string("setpriv --inh-caps=-net_raw --bounding-set=-net_raw ") +
                                VORLANX_CLI_PATH + " capture -i 127.0.0.1 -w '" +
                                dir.file("c.pcap") + "' 2>'" + dir.file("err") + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = test::ReadFileBytes(dir.file("err"));
    EXPECT_NE(err.find(std::string("sudo setcap cap_net_raw+ep '") + VORLANX_CLI_PATH + "'\n"),
              std::string::npos)
        << err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("c.pcap")));
}

}  // namespace
}  // namespace vorlanx
