#include "filemode/file_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/file_contents.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

namespace fs = std::filesystem;

constexpr StreamOrigin kOrigin{{10, 0, 0, 1}, {192, 168, 0, 2}};
// 2 April 2003, 14:05:09.007 local time.
constexpr LocalTime kCompletion{2003, 4, 2, 14, 5, 9, 7};
const std::string kDefaultName = "10.0.0.1 to 192.168.0.2 - [2003.04.02 - 14.05.09.007]";

std::span<const uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string writeErrorText(const std::string& path) {
    return "Error writing the file:\r\n\r\n" + path +
           "\r\n\r\nto the destination, please choose another destination";
}

// ---------------------------------------------------------------------------------------
// Names

TEST(FileNameDateText, ColonsBecomePointsAndBackslashesSlashes) {
    EXPECT_EQ(FileNameDateText("2003.04.02 - 14:05:09.007"), "2003.04.02 - 14.05.09.007");
    EXPECT_EQ(FileNameDateText("a\\b:c\\\\d"), "a/b.c//d");
    EXPECT_EQ(FileNameDateText(""), "");
    EXPECT_EQ(FileNameDateText("no change/here"), "no change/here");
}

struct NameCase {
    const char* what;
    const char* nameTemplate;
    StreamOrigin origin;
    const char* dateText;
    const char* name;
};

std::ostream& operator<<(std::ostream& os, const NameCase& c) {
    return os << c.what;
}

class FileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileName, ReplacesTokensInTheirOrder) {
    const NameCase& c = GetParam();
    EXPECT_EQ(BuildFileName(c.nameTemplate, c.origin, c.dateText), c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileName,
    ::testing::Values(
        NameCase{"Default", kDefaultFileNameTemplate, kOrigin, "2003.04.02 - 14.05.09.007",
                 "10.0.0.1 to 192.168.0.2 - [2003.04.02 - 14.05.09.007]"},
        NameCase{"LowerAndUpperMeanTheSame", "%sip-%SIP", kOrigin, "d", "10.0.0.1-10.0.0.1"},
        NameCase{"EveryOccurrence", "%DIP%DIP %dat%DAT", kOrigin, "T", "192.168.0.2192.168.0.2 TT"},
        NameCase{"NoTokens", "capture", kOrigin, "T", "capture"},
        NameCase{"MixedCaseIsNoToken", "%Sip %dIP %Dat", kOrigin, "T", "%Sip %dIP %Dat"},
        NameCase{"ExtremeAddresses", "%SIP_%DIP", StreamOrigin{{0, 0, 0, 0}, {255, 255, 255, 255}},
                 "T", "0.0.0.0_255.255.255.255"},
        // The date text goes in before the lower-case tokens are looked for.
        NameCase{"DateTextHoldingLowerToken", "[%DAT]", kOrigin, "%sip", "[10.0.0.1]"},
        NameCase{"CharactersKeptAsTheyAre", "a:b*c?\"<>|", kOrigin, "T", "a:b*c?\"<>|"},
        NameCase{"Empty", "", kOrigin, "T", ""}),
    [](const auto& instance) { return std::string(instance.param.what); });

TEST(OutputPath, JoinsWithOneSeparatorAndNumbersCopies) {
    EXPECT_EQ(JoinOutputPath("/home/u/files", "n", "gif"), "/home/u/files/n.gif");
    EXPECT_EQ(JoinOutputPath("/home/u/", "n", "gif"), "/home/u//n.gif");
    EXPECT_EQ(JoinOutputPath("", "n", "gif"), "/n.gif");
    EXPECT_EQ(JoinOutputPath("/d", "n", "html.gz", 2), "/d/n (2).html.gz");
    EXPECT_EQ(JoinOutputPath("/d", "n", "", 13), "/d/n (13).");
}

// ---------------------------------------------------------------------------------------
// Writing

class WriteFile : public ::testing::Test {
  protected:
    WriteFile() : m_time(kCompletion) {
        m_options.directoryText = m_dir.path().string();
        m_options.overwrite = false;
    }

    FileWriteResult write(std::string_view data, std::string_view extension = "gif") {
        return WriteStreamFile(FileBody{bytes(data)}, kOrigin, extension, m_options, m_counters,
                               m_prompt, m_time);
    }

    fs::path defaultFile(std::string_view suffix = ".gif") const {
        return m_dir.path() / (kDefaultName + std::string(suffix));
    }

    test::TempDir m_dir;
    FileModeOptionValues m_options;
    FileModeCounters m_counters;
    test::ScriptedPrompt m_prompt;
    FixedLocalTimeSource m_time;
};

TEST_F(WriteFile, DefaultTemplatesGiveTheDocumentedName) {
    m_options.directoryText += "/";  // a trailing separator doubles, as the platform allows
    const FileWriteResult r = write("GIF89a", "gif");
    EXPECT_EQ(r.outcome, FileWriteOutcome::Written);
    EXPECT_EQ(r.path, m_dir.path().string() + "//" + kDefaultName + ".gif");
    EXPECT_EQ(test::FileNamesIn(m_dir.path()), std::vector<std::string>{kDefaultName + ".gif"});
    EXPECT_EQ(test::ReadFileBytes(defaultFile()), "GIF89a");
    EXPECT_EQ(m_counters.filesWrittenRun, 1u);
    EXPECT_EQ(m_counters.filesWrittenAll, 1u);
    EXPECT_EQ(m_counters.bytesWrittenRun, 6u);
    EXPECT_EQ(m_counters.bytesWrittenAll, 6u);
    EXPECT_TRUE(m_prompt.asked().empty());
}

// A chunked body is decoded into one buffer and written in large pieces: a body of tiny
// chunks costs a few writes, not one per chunk.
TEST_F(WriteFile, BodiesAreWrittenInLargePieces) {
    auto chunked = [](const std::vector<std::string>& chunks) {
        std::string body;
        for (const std::string& c : chunks) {
            char size[16];
            std::snprintf(size, sizeof size, "%zx\r\n", c.size());
            body += size + c + "\r\n";
        }
        return body + "0\r\n\r\n";
    };
    const std::string big(200000, 'B');
    std::vector<std::string> tiny;
    std::string tinyData;
    for (size_t i = 0; i < 100000; ++i) {
        tiny.push_back(std::string(1, static_cast<char>('a' + i % 26)));
        tinyData += tiny.back();
    }
    struct Row {
        const char* name;
        std::string stream;
        size_t start;
        bool chunked;
        std::string expected;
        uint64_t writes;
    };
    const Row rows[] = {
        {"100,000 chunks of one byte: two buffers full", "HDR" + chunked(tiny), 3, true, tinyData,
         2},
        {"a chunk larger than the buffer goes straight through", chunked({"abc", big, "de"}), 0,
         true, "abc" + big + "de", 3},
        {"a small chunked body", chunked({"hello", " ", "world"}), 0, true, "hello world", 1},
        {"a plain body in one write", "HEADER" + big, 6, false, big, 1},
        {"a body start at the end gives an empty file", "HEADER", 6, false, "", 0},
        {"empty data gives an empty file", "", 0, false, "", 0},
        {"binary bytes are not translated", std::string("\r\n\0\n\x1a\xff\r", 7), 0, false,
         std::string("\r\n\0\n\x1a\xff\r", 7), 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const uint32_t files = m_counters.filesWrittenRun;
        const uint64_t written = m_counters.bytesWrittenRun;
        const FileWriteResult r =
            WriteStreamFile(FileBody{bytes(row.stream), row.start, row.chunked}, kOrigin, "txt",
                            m_options, m_counters, m_prompt, m_time);
        EXPECT_EQ(r.outcome, FileWriteOutcome::Written);
        EXPECT_EQ(r.writeCalls, row.writes);
        EXPECT_EQ(r.bytesWritten, row.expected.size());
        EXPECT_TRUE(fs::is_regular_file(r.path));
        EXPECT_TRUE(test::ReadFileBytes(r.path) == row.expected);
        EXPECT_EQ(m_counters.filesWrittenRun, files + 1);
        EXPECT_EQ(m_counters.bytesWrittenRun, written + row.expected.size());
        EXPECT_EQ(m_counters.trackedMemory.load(), 0) << "the buffer is counted while it lives";
    }
}

// Two responses of one server completing in the same millisecond share a name.
TEST_F(WriteFile, OverwriteOffKeepsEveryFileUnderNumberedNames) {
    EXPECT_EQ(write("first").outcome, FileWriteOutcome::Written);
    EXPECT_EQ(write("second").outcome, FileWriteOutcome::Written);
    const FileWriteResult third = write("third");
    EXPECT_EQ(third.path, m_dir.path().string() + "/" + kDefaultName + " (3).gif");
    EXPECT_EQ(test::ReadFileBytes(defaultFile()), "first");
    EXPECT_EQ(test::ReadFileBytes(defaultFile(" (2).gif")), "second");
    EXPECT_EQ(test::ReadFileBytes(defaultFile(" (3).gif")), "third");
    EXPECT_EQ(test::FileNamesIn(m_dir.path()).size(), 3u);
    EXPECT_EQ(m_counters.filesWrittenRun, 3u);
    EXPECT_EQ(m_counters.bytesWrittenRun, 16u);
    EXPECT_TRUE(m_prompt.asked().empty());
}

TEST_F(WriteFile, OverwriteOffNeverTouchesAnExistingFile) {
    std::ofstream(defaultFile()) << "the user's own";
    fs::create_directory(defaultFile(" (2).gif"));  // anything standing there takes the name
    fs::create_symlink("/nonexistent/target", defaultFile(" (3).gif"));
    const FileWriteResult r = write("captured");
    EXPECT_EQ(r.outcome, FileWriteOutcome::Written);
    EXPECT_EQ(r.path, defaultFile(" (4).gif").string());
    EXPECT_EQ(test::ReadFileBytes(defaultFile()), "the user's own");
    EXPECT_TRUE(fs::is_directory(defaultFile(" (2).gif")));
    EXPECT_TRUE(fs::is_symlink(defaultFile(" (3).gif")));
    EXPECT_FALSE(fs::exists("/nonexistent/target"));
    EXPECT_EQ(test::ReadFileBytes(defaultFile(" (4).gif")), "captured");
}

TEST_F(WriteFile, OverwriteOnReplacesAndCountsBoth) {
    m_options.overwrite = true;
    EXPECT_EQ(write("a much longer first file").outcome, FileWriteOutcome::Written);
    EXPECT_EQ(write("second").outcome, FileWriteOutcome::Written);
    EXPECT_EQ(test::FileNamesIn(m_dir.path()), std::vector<std::string>{kDefaultName + ".gif"});
    EXPECT_EQ(test::ReadFileBytes(defaultFile()), "second");  // truncated, not overlaid
    EXPECT_EQ(m_counters.filesWrittenRun, 2u);
    EXPECT_EQ(m_counters.bytesWrittenRun, 30u);
}

TEST_F(WriteFile, TemplateWithoutTokensNumbersEveryLaterFile) {
    m_options.nameTemplate = "capture";
    for (int i = 0; i < 4; ++i)
        write("x");
    EXPECT_EQ(test::FileNamesIn(m_dir.path()),
              (std::vector<std::string>{"capture (2).gif", "capture (3).gif", "capture (4).gif",
                                        "capture.gif"}));
}

TEST_F(WriteFile, TheTimeOfWritingNamesTheFile) {
    m_time.set(LocalTime{2024, 12, 31, 23, 59, 58, 999});
    write("x");
    m_options.timeTemplate = "%H12 %AP";
    m_time.set(LocalTime{2024, 1, 1, 0, 30, 0, 0});
    write("y");
    EXPECT_EQ(
        test::FileNamesIn(m_dir.path()),
        (std::vector<std::string>{"10.0.0.1 to 192.168.0.2 - [12 AM].gif",
                                  "10.0.0.1 to 192.168.0.2 - [2024.12.31 - 23.59.58.999].gif"}));
}

TEST_F(WriteFile, BackslashInDateTemplateBecomesASubdirectory) {
    m_options.nameTemplate = "%DAT";
    m_options.timeTemplate = "%Y\\%MY-%D";
    fs::create_directory(m_dir.path() / "2003");
    EXPECT_EQ(write("x").outcome, FileWriteOutcome::Written);
    EXPECT_EQ(test::ReadFileBytes(m_dir.path() / "2003" / "04-02.gif"), "x");
}

// A directory that cannot take the file: the full path is named, nothing is counted or
// created, with overwriting on or off, and the run goes on.
TEST_F(WriteFile, DirectoryThatCannotTakeTheFileIsReported) {
    struct Row {
        const char* name;
        std::function<std::string()> directory;
    };
    const Row rows[] = {
        {"missing", [&] { return (m_dir.path() / "gone").string(); }},
        {"a file",
         [&] {
             std::ofstream(m_dir.file("plain")) << "file";
             return m_dir.file("plain");
         }},
        {"unwritable",
         [&] {
             if (::geteuid() == 0)
                 return std::string("/sys");  // refuses new files even to root
             fs::create_directory(m_dir.file("locked"));
             ::chmod(m_dir.file("locked").c_str(), 0500);
             return m_dir.file("locked");
         }},
    };
    for (const Row& row : rows) {
        m_options.directoryText = row.directory();
        const std::string path = m_options.directoryText + "/" + kDefaultName + ".gif";
        for (bool overwrite : {false, true}) {
            SCOPED_TRACE(testing::Message() << row.name << (overwrite ? ", overwrite" : ""));
            m_options.overwrite = overwrite;
            const size_t asked = m_prompt.asked().size();
            const FileWriteResult r = write("x");
            EXPECT_EQ(r.outcome, FileWriteOutcome::OpenFailed);
            EXPECT_EQ(r.path, path);
            ASSERT_EQ(m_prompt.asked().size(), asked + 1);
            EXPECT_EQ(m_prompt.asked().back().text, writeErrorText(path));
            EXPECT_EQ(m_prompt.asked().back().caption, "");  // the application's title
            EXPECT_EQ(m_prompt.asked().back().buttons, PromptButtons::Ok);
            EXPECT_FALSE(fs::exists(path));
            EXPECT_EQ(m_counters.filesWrittenAll, 0u);
            EXPECT_EQ(m_counters.bytesWrittenAll, 0u);
        }
    }
    EXPECT_FALSE(fs::exists(m_dir.path() / "gone"));
    EXPECT_EQ(test::ReadFileBytes(m_dir.file("plain")), "file");

    m_options.directoryText = m_dir.path().string();
    EXPECT_EQ(write("y").outcome, FileWriteOutcome::Written);
    EXPECT_EQ(m_counters.filesWrittenRun, 1u);
}

TEST_F(WriteFile, NameTheFileSystemRefusesIsDroppedSilently) {
    m_options.nameTemplate = std::string(300, 'n');  // longer than one name may be
    for (bool overwrite : {false, true}) {
        m_options.overwrite = overwrite;
        EXPECT_EQ(write("x").outcome, FileWriteOutcome::InvalidName);
    }
    EXPECT_TRUE(m_prompt.asked().empty());
    EXPECT_TRUE(test::FileNamesIn(m_dir.path()).empty());
    EXPECT_EQ(m_counters.filesWrittenAll, 0u);
}

TEST_F(WriteFile, PathLongerThanItsBufferIsRefusedNotCut) {
    // directory + "/" + name + ".gif": choose the name so the path has 9,999 then 10,000
    // characters. 9,999 fits the buffer (the file system itself then refuses it).
    const size_t fixed = m_options.directoryText.size() + 1 + 4;
    m_options.nameTemplate = std::string(9999 - fixed, 'n');
    EXPECT_EQ(write("x").outcome, FileWriteOutcome::InvalidName);
    EXPECT_TRUE(m_prompt.asked().empty());

    m_options.nameTemplate = std::string(10000 - fixed, 'n');
    const FileWriteResult r = write("x");
    EXPECT_EQ(r.outcome, FileWriteOutcome::PathTooLong);
    EXPECT_EQ(r.path.size(), 10000u);
    ASSERT_EQ(m_prompt.texts().size(), 1u);
    const std::string text = m_prompt.texts()[0];
    EXPECT_EQ(text.rfind("Error writing the file:\r\n\r\n" + m_options.directoryText + "/nnn", 0),
              0u);
    EXPECT_NE(text.find("10000 characters"), std::string::npos);
    EXPECT_NE(text.find("at most 9999"), std::string::npos);
    EXPECT_LT(text.size(), 600u);
    EXPECT_TRUE(test::FileNamesIn(m_dir.path()).empty());
    EXPECT_EQ(m_counters.filesWrittenAll, 0u);
}

// A disk that fills up mid-file: the file-size limit stands in for it (the write past it
// fails with EFBIG once the signal it raises is ignored).
TEST_F(WriteFile, FullDiskIsReportedAndWhatWasWrittenCounted) {
    m_options.overwrite = true;
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = 5;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const FileWriteResult r = write("cannot be stored");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(r.outcome, FileWriteOutcome::WriteFailed);
    EXPECT_EQ(r.bytesWritten, 5u);
    EXPECT_EQ(test::ReadFileBytes(defaultFile()), "canno");
    EXPECT_EQ(m_prompt.texts(), std::vector<std::string>{writeErrorText(defaultFile().string())});
    EXPECT_EQ(m_counters.bytesWrittenAll, 5u);
}

// With overwriting on, only a regular file at the path is opened: a link is not followed
// (its target stays as it was, a dangling one is not created), and a FIFO is refused
// without waiting for a reader, whether or not one is there.
TEST_F(WriteFile, OverwriteRefusesAnythingButARegularFile) {
    m_options.overwrite = true;
    const fs::path target = m_dir.path() / "elsewhere" / "target.txt";
    fs::create_directory(target.parent_path());
    std::vector<int> readers;
    struct Row {
        const char* name;
        std::function<void(const fs::path&)> place;
    };
    const Row rows[] = {
        {"link to a file", [&](const fs::path& p) { fs::create_symlink(target, p); }},
        {"dangling link",
         [&](const fs::path& p) { fs::create_symlink(target.string() + ".new", p); }},
        {"FIFO without a reader",
         [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
        {"FIFO with a reader",
         [&readers](const fs::path& p) {
             ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
             readers.push_back(::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
             ASSERT_GE(readers.back(), 0);
         }},
        {"directory", [](const fs::path& p) { fs::create_directory(p); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(target, std::ios::trunc) << "keep";
        fs::remove_all(defaultFile());
        row.place(defaultFile());
        const size_t asked = m_prompt.asked().size();
        const FileWriteResult r = write("stream");
        EXPECT_EQ(r.outcome, FileWriteOutcome::OpenFailed);
        ASSERT_EQ(m_prompt.texts().size(), asked + 1);
        EXPECT_EQ(m_prompt.texts().back(), writeErrorText(defaultFile().string()));
        EXPECT_EQ(test::ReadFileBytes(target), "keep");
        EXPECT_FALSE(fs::exists(target.string() + ".new"));
        EXPECT_EQ(m_counters.filesWrittenAll, 0u);
    }
    for (int fd : readers)
        ::close(fd);
    // A regular file in its place is overwritten as before.
    fs::remove_all(defaultFile());
    std::ofstream(defaultFile()) << "old contents";
    EXPECT_EQ(write("new").outcome, FileWriteOutcome::Written);
    EXPECT_EQ(test::ReadFileBytes(defaultFile()), "new");
}

}  // namespace
}  // namespace vorlanx
