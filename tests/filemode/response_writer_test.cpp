#include "filemode/response_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/file_contents.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

namespace fs = std::filesystem;

constexpr StreamOrigin kServer{{127, 0, 0, 1}, {127, 0, 0, 2}};
constexpr LocalTime kCompletion{2003, 4, 2, 14, 5, 9, 7};
const std::string kName = "127.0.0.1 to 127.0.0.2 - [2003.04.02 - 14.05.09.007]";

std::string fixture(const std::string& name) {
    const fs::path path = fs::path(VORLANX_TEST_DATA_DIR) / "http" / name;
    EXPECT_TRUE(fs::exists(path)) << path;
    return test::ReadFileBytes(path);
}

class ProcessStream : public ::testing::Test {
  protected:
    ProcessStream() : m_time(kCompletion) { m_options.directoryText = m_dir.path().string(); }

    // Hands the text over as the assembler does: a buffer with a zero byte behind it.
    StreamFate process(std::string_view text, bool sequenceGap = false) {
        std::vector<uint8_t> buffer(text.begin(), text.end());
        buffer.push_back(0);
        StreamOrigin origin = kServer;
        origin.sequenceGap = sequenceGap;
        return ProcessRebuiltStream({buffer.data(), text.size()}, origin, m_options, m_counters,
                                    m_prompt, m_time);
    }

    std::vector<std::string> files() const { return test::FileNamesIn(m_dir.path()); }
    std::string file(const std::string& extension, const char* dot = ".") const {
        return test::ReadFileBytes(m_dir.path() / (kName + dot + extension));
    }

    test::TempDir m_dir;
    FileModeOptionValues m_options;
    FileModeCounters m_counters;
    test::ScriptedPrompt m_prompt;
    FixedLocalTimeSource m_time;
};

TEST_F(ProcessStream, RecordedHttp10ResponsesStoreTheirBodies) {
    process(fixture("python10_page_html.response"));
    process(fixture("python10_logo_gif.response"));
    EXPECT_EQ(files(), (std::vector<std::string>{kName + ".gif", kName + ".html"}));
    EXPECT_EQ(file("html"), fixture("page.html"));
    EXPECT_EQ(file("gif"), fixture("logo.gif"));
    EXPECT_EQ(m_counters.filesWrittenRun, 2u);
    EXPECT_EQ(m_counters.bytesWrittenRun, fixture("page.html").size() + fixture("logo.gif").size());
    EXPECT_TRUE(m_prompt.asked().empty());
}

TEST_F(ProcessStream, RecordedChunkedGzipResponseStoresTheEncodedBody) {
    m_counters.trackedMemory = 777;
    process(fixture("chunked_gzip_page_html.response"));
    EXPECT_EQ(files(), std::vector<std::string>{kName + ".html.gz"});
    EXPECT_EQ(file("html.gz"), fixture("page.html.gz"));
    EXPECT_EQ(m_counters.bytesWrittenAll, fixture("page.html.gz").size());
    EXPECT_EQ(m_counters.trackedMemory.load(), 777);  // temporary buffers all released
    EXPECT_EQ(m_counters.filesProcessedRun, 0u);      // the assembler's counters
    EXPECT_EQ(m_counters.bytesProcessedAll, 0u);
    EXPECT_EQ(m_counters.filesWrittenRun, 1u);
    EXPECT_EQ(m_counters.filesWrittenAll, 1u);
}

TEST_F(ProcessStream, RecordedChunkedResponseCutShortKeepsWholeChunksMarkedIncomplete) {
    const std::string response = fixture("chunked_gzip_page_html.response");
    const std::string gz = fixture("page.html.gz");
    // Cut inside the 256-byte third chunk: the first two chunks (1000 + 17 bytes) remain.
    const size_t third = response.find("\r\n100\r\n");
    ASSERT_NE(third, std::string::npos);
    process(std::string_view(response).substr(0, third + 7 + 100));
    EXPECT_EQ(files(), std::vector<std::string>{kName + " (incomplete).html.gz"});
    EXPECT_EQ(file(" (incomplete).html.gz", ""), gz.substr(0, 1017));
    EXPECT_EQ(m_counters.filesIncompleteAll, 1u);
    EXPECT_EQ(m_counters.filesWrittenAll, 1u);
}

// A body is marked only when it is known to be short of what the server sent.
struct IncompleteCase {
    const char* what;
    std::string header;  // after the status line, up to the blank line
    std::string body;
    bool sequenceGap;
    bool incomplete;
};

class Incomplete : public ProcessStream, public ::testing::WithParamInterface<IncompleteCase> {};

TEST_P(Incomplete, MarkedOnlyWhenKnownShort) {
    const IncompleteCase& c = GetParam();
    const StreamFate fate =
        process("HTTP/1.1 200 OK\r\n" + c.header + "\r\n" + c.body, c.sequenceGap);
    EXPECT_EQ(fate.incomplete, c.incomplete);
    EXPECT_EQ(files(), std::vector<std::string>{kName + (c.incomplete ? " (incomplete)" : "") +
                                                ".txt"});
    EXPECT_EQ(m_counters.filesIncompleteAll, c.incomplete ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, Incomplete,
    ::testing::Values(
        IncompleteCase{"LengthMet", "Content-Length: 5\r\n", "abcde", false, false},
        IncompleteCase{"LengthShort", "content-length:  6 \r\n", "abcde", false, true},
        IncompleteCase{"LongerThanLength", "Content-Length: 2\r\n", "abcde", false, false},
        IncompleteCase{"NoLength", "X-Length: 9\r\n", "abcde", false, false},
        IncompleteCase{"GarbledLength", "Content-Length: 9x\r\n", "abcde", false, false},
        IncompleteCase{"ConflictingLengths", "Content-Length: 9\r\nContent-Length: 5\r\n",
                       "abcde", false, false},
        IncompleteCase{"ChunkedWhole", "Transfer-Encoding: chunked\r\n",
                       "5\r\nabcde\r\n0\r\n\r\n", false, false},
        IncompleteCase{"ChunkedWithoutLastChunk", "Transfer-Encoding: chunked\r\n",
                       "5\r\nabcde\r\n", false, true},
        IncompleteCase{"SequenceGap", "Content-Length: 5\r\n", "abcde", true, true}),
    [](const auto& instance) { return std::string(instance.param.what); });

TEST_F(ProcessStream, BareLineFeedHttp10IsStored) {
    process("HTTP/1.0 200 OK\nServer: old\nContent-Type: image/png\n\n\x89PNG\n\n");
    EXPECT_EQ(file("png"), "\x89PNG\n\n");
}

struct HttpOnlyCase {
    const char* what;
    std::string stream;
    bool partialContent;
};

std::ostream& operator<<(std::ostream& os, const HttpOnlyCase& c) {
    return os << c.what;
}

class NotHttpStream : public ProcessStream, public ::testing::WithParamInterface<HttpOnlyCase> {};

// Streams that are not HTTP in this sense: dropped when only HTTP is wanted, otherwise
// written whole, headers and all, as "txt".
TEST_P(NotHttpStream, DiscardedOrWrittenWhole) {
    const HttpOnlyCase& c = GetParam();
    m_options.partialContent = c.partialContent;
    m_options.onlyHttp = true;
    process(c.stream);
    EXPECT_TRUE(files().empty());
    EXPECT_EQ(m_counters.filesWrittenAll, 0u);

    m_options.onlyHttp = false;
    process(c.stream);
    EXPECT_EQ(files(), std::vector<std::string>{kName + ".txt"});
    EXPECT_EQ(file("txt"), c.stream);
    EXPECT_EQ(m_counters.bytesWrittenAll, c.stream.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, NotHttpStream,
    ::testing::Values(
        HttpOnlyCase{"NotFound",
                     "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n\r\n<h1>404</h1>", true},
        HttpOnlyCase{"Request", "GET /logo.gif HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", true},
        HttpOnlyCase{"PartialNotAccepted",
                     "HTTP/1.1 206 Partial Content\r\nContent-Type: image/gif\r\n\r\nGIF", false},
        HttpOnlyCase{"Http11HeaderEndMissing", "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n",
                     true},
        HttpOnlyCase{"Http11BareLineFeeds", "HTTP/1.1 200 OK\nContent-Type: image/gif\n\nGIF",
                     true}),
    [](const auto& instance) { return std::string(instance.param.what); });

TEST_F(ProcessStream, PartialContentAcceptedStoresItsBodyAlone) {
    m_options.partialContent = true;
    process(
        "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-3/9\r\n"
        "Content-Type: image/gif\r\n\r\nGIF8");
    EXPECT_EQ(file("gif"), "GIF8");
}

TEST_F(ProcessStream, ChunkedBodyIsDecodedAndCountedAsWritten) {
    process(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Type: text/plain\r\n\r\n"
        "5\r\nhello\r\n0\r\n\r\n");
    EXPECT_EQ(file("txt"), "hello");
    EXPECT_EQ(m_counters.bytesWrittenRun, 5u);
}

TEST_F(ProcessStream, SizeLimitsApplyToTheBody) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n\r\n";
    m_options.minSize = 1000;
    m_options.maxSize = 0;
    process(head + std::string(999, 'a'));
    EXPECT_TRUE(files().empty());
    process(head + std::string(5'000'000, 'b'));
    EXPECT_EQ(files().size(), 1u);
    EXPECT_EQ(fs::file_size(m_dir.path() / (kName + ".gif")), 5'000'000u);

    m_options.minSize = 0;
    m_options.maxSize = 10;
    m_options.overwrite = true;
    process(head + std::string(11, 'c'));
    EXPECT_EQ(fs::file_size(m_dir.path() / (kName + ".gif")), 5'000'000u);
    process(head + std::string(10, 'd'));
    EXPECT_EQ(file("gif"), std::string(10, 'd'));
}

TEST_F(ProcessStream, SameMillisecondResponsesAreAllKept) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/css\r\n\r\n";
    process(head + "a{}");
    process(head + "b{}");
    EXPECT_EQ(files(), (std::vector<std::string>{kName + " (2).css", kName + ".css"}));
    EXPECT_EQ(file("css"), "a{}");
    EXPECT_EQ(test::ReadFileBytes(m_dir.path() / (kName + " (2).css")), "b{}");

    m_options.overwrite = true;
    process(head + "c{}");
    EXPECT_EQ(file("css"), "c{}");
    EXPECT_EQ(m_counters.filesWrittenAll, 3u);
}

TEST_F(ProcessStream, HostileContentTypeStaysInsideTheDirectory) {
    // Files go into <temp>/a/b/captures; anything escaping would land in <temp> or above.
    const fs::path captures = m_dir.path() / "a" / "b" / "captures";
    fs::create_directories(captures);
    m_options.directoryText = captures.string();
    m_options.overwrite = true;
    process("HTTP/1.1 200 OK\r\nContent-Type: x/../../../escaped\r\n\r\npwned");
    process("HTTP/1.1 200 OK\r\nContent-Type: x/../../../home/u/.profile\r\n\r\npwned");
    process("HTTP/1.1 200 OK\r\nContent-Type: /../../escaped2\r\n\r\npwned");

    std::vector<fs::path> everything;
    for (const auto& e : fs::recursive_directory_iterator(m_dir.path())) {
        if (e.is_regular_file())
            everything.push_back(e.path());
    }
    ASSERT_EQ(everything.size(), 3u);
    for (const fs::path& p : everything) {
        EXPECT_EQ(p.parent_path(), captures) << p;
        EXPECT_EQ(test::ReadFileBytes(p), "pwned");
    }
    EXPECT_EQ(test::ReadFileBytes(captures / (kName + "..._.._.._escaped")), "pwned");
}

TEST_F(ProcessStream, MissingDirectoryIsReportedOnceAndNothingCounted) {
    m_options.directoryText = (m_dir.path() / "nowhere").string();
    process("HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n\r\nGIF");
    ASSERT_EQ(m_prompt.texts().size(), 1u);
    EXPECT_EQ(m_prompt.texts()[0], "Error writing the file:\r\n\r\n" + m_options.directoryText +
                                       "/" + kName +
                                       ".gif\r\n\r\nto the destination, please choose another "
                                       "destination");
    EXPECT_EQ(m_counters.filesWrittenAll, 0u);
}

TEST_F(ProcessStream, LiveOptionsAreReadForEachStream) {
    const std::string page = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<p>";
    process(page);
    const fs::path other = m_dir.path() / "other";
    fs::create_directory(other);
    m_options.directoryText = other.string();
    m_options.nameTemplate = "%dip from %sip";
    process(page);
    EXPECT_EQ(test::ReadFileBytes(other / "127.0.0.2 from 127.0.0.1.html"), "<p>");
    EXPECT_EQ(file("html"), "<p>");
}

}  // namespace
}  // namespace vorlanx
