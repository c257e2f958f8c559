#include "filemode/http_response.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filemode/content_type_table.h"

namespace vorlanx {
namespace {

// A rebuilt stream as the assembler hands it over: the bytes followed by a zero byte.
class Stream {
  public:
    explicit Stream(std::string_view text) : m_bytes(text.begin(), text.end()) {
        m_bytes.push_back(0);
    }
    std::span<const uint8_t> span() const { return {m_bytes.data(), m_bytes.size() - 1}; }
    std::string from(size_t offset) const {
        return std::string(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                           m_bytes.end() - 1);
    }

  private:
    std::vector<uint8_t> m_bytes;
};

std::string joined(const std::vector<std::span<const uint8_t>>& pieces) {
    std::string text;
    for (const auto& p : pieces)
        text.append(p.begin(), p.end());
    return text;
}

// ---------------------------------------------------------------------------------------
// Classification

struct ClassifyCase {
    const char* what;
    std::string stream;
    bool acceptPartial;
    ResponseForm form;
    std::string body = "";  // the text from bodyStart; ignored for NotHttp
    std::string contentType = "";
    std::string extension = "txt";
    bool encoded = false;
    bool chunked = false;
};

std::ostream& operator<<(std::ostream& os, const ClassifyCase& c) {
    return os << c.what;
}

const std::string kGifHeader = "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n\r\n";
const std::string kPython10 =
    "HTTP/1.0 200 OK\r\nServer: SimpleHTTP/0.6 Python/3.11.2\r\nDate: Wed, 02 Apr 2003 "
    "14:05:09 GMT\r\nContent-type: text/html\r\nContent-Length: 4\r\nLast-Modified: Wed, 02 Apr "
    "2003 14:00:00 GMT\r\n\r\nbody";

class Classify : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(Classify, FindsFormBodyTypeAndEncodings) {
    const ClassifyCase& c = GetParam();
    const Stream stream(c.stream);
    const ResponseClassification r = ClassifyResponse(stream.span(), c.acceptPartial);
    EXPECT_EQ(r.form, c.form);
    if (c.form != ResponseForm::NotHttp) {
        ASSERT_LE(r.bodyStart, c.stream.size());
        EXPECT_EQ(stream.from(r.bodyStart), c.body);
    }
    EXPECT_EQ(r.contentType, c.contentType);
    EXPECT_EQ(r.extension, c.extension);
    EXPECT_EQ(r.encoded, c.encoded);
    EXPECT_EQ(r.chunked, c.chunked);
}

using RF = ResponseForm;

INSTANTIATE_TEST_SUITE_P(
    Table, Classify,
    ::testing::Values(
        // Status lines.
        ClassifyCase{"Ok200", kGifHeader + "GIF89a", false, RF::Http11, "GIF89a", "image/gif",
                     "gif"},
        ClassifyCase{"LowerCaseStatus", "http/1.1 200 ok\r\ncontent-type: image/gif\r\n\r\nGIF89a",
                     false, RF::Http11, "GIF89a", "image/gif", "gif"},
        ClassifyCase{"NotFound", "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n\r\nx", true,
                     RF::NotHttp},
        ClassifyCase{"Request", "GET /a.gif HTTP/1.1\r\nHost: 10.0.0.1\r\n\r\n", true, RF::NotHttp},
        ClassifyCase{"PartialAccepted",
                     "HTTP/1.1 206 Partial Content\r\nContent-Type: image/png\r\n\r\nPNG", true,
                     RF::Http11, "PNG", "image/png", "png"},
        ClassifyCase{"PartialRefused",
                     "HTTP/1.1 206 Partial Content\r\nContent-Type: image/png\r\n\r\nPNG", false,
                     RF::NotHttp},
        ClassifyCase{"PartialOfHttp10NeverAccepted",
                     "HTTP/1.0 206 Partial Content\nContent-Type: image/png\n\nPNG", true,
                     RF::NotHttp},
        ClassifyCase{"ShorterThanStatus", "HTTP/1.1 20", true, RF::NotHttp},
        ClassifyCase{"ZeroInsideStatus", std::string("HTTP/1.1") + '\0' + " 200 OK\r\n\r\nx", true,
                     RF::NotHttp},
        ClassifyCase{"HeaderEndMissing", "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\nGIF", true,
                     RF::NotHttp},
        ClassifyCase{"Http11WithBareLineFeeds", "HTTP/1.1 200 OK\nContent-Type: image/gif\n\nGIF",
                     true, RF::NotHttp},
        // Content types. "HTTP/1.1 200" CR LF is 14 characters: a Content-Type right behind
        // it starts before index 17 and is never searched.
        ClassifyCase{"StatusWithoutReason", "HTTP/1.1 200\r\nContent-Type: image/gif\r\n\r\nGIF",
                     false, RF::Http11, "GIF"},
        ClassifyCase{"StatusWithoutReasonLaterHeaderFound",
                     "HTTP/1.1 200\r\nServer: x\r\nContent-Type: image/gif\r\n\r\nGIF", false,
                     RF::Http11, "GIF", "image/gif", "gif"},
        ClassifyCase{"ParametersCutAndCaseFolded",
                     "HTTP/1.1 200 OK\r\nContent-Type: Image/GIF; charset=binary\r\n\r\nG", false,
                     RF::Http11, "G", "image/gif", "gif"},
        ClassifyCase{"UnknownTypeGivesSubtype",
                     "HTTP/1.1 200 OK\r\nContent-Type: application/x-foo\r\n\r\nF", false,
                     RF::Http11, "F", "application/x-foo", "x-foo"},
        ClassifyCase{"NoContentType", "HTTP/1.1 200 OK\r\nServer: x\r\n\r\nT", false, RF::Http11,
                     "T"},
        ClassifyCase{"TypeWithoutSlash", "HTTP/1.1 200 OK\r\nContent-Type: html\r\n\r\nT", false,
                     RF::Http11, "T", "html"},
        ClassifyCase{"OctetStream",
                     "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\nMZ", false,
                     RF::Http11, "MZ", "application/octet-stream", "bin_dms_lha_lzh_exe_dll"},
        ClassifyCase{"XbitmapGivesBmp", "HTTP/1.1 200 OK\r\nContent-Type: image/x-xbitmap\r\n\r\nB",
                     false, RF::Http11, "B", "image/x-xbitmap", "bmp"},
        ClassifyCase{"TrailingSpaceBeforeParameterStays",
                     "HTTP/1.1 200 OK\r\nContent-Type: text/html ; charset=utf-8\r\n\r\nH", false,
                     RF::Http11, "H", "text/html ", "html "},
        ClassifyCase{"TypeInBodyIgnored",
                     "HTTP/1.1 200 OK\r\nServer: x\r\n\r\nContent-Type: image/gif\r\n", false,
                     RF::Http11, "Content-Type: image/gif\r\n"},
        ClassifyCase{
            "ZeroByteEndsHeaderText",
            std::string("HTTP/1.1 200 OK\r\nX: a") + '\0' + "b\r\nContent-Type: image/gif\r\n\r\nG",
            false, RF::Http11, "G"},
        ClassifyCase{"TypeCutAt99Characters",
                     "HTTP/1.1 200 OK\r\nContent-Type: a/" + std::string(120, 'b') + "\r\n\r\nX",
                     false, RF::Http11, "X", "a/" + std::string(97, 'b'), std::string(97, 'b')},
        // Encodings.
        ClassifyCase{"GzipHtml",
                     "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Type: "
                     "text/html\r\n\r\n\x1f\x8b",
                     false, RF::Http11, "\x1f\x8b", "text/html", "html.gz", true},
        ClassifyCase{"XGzipUpperCase",
                     "HTTP/1.1 200 OK\r\nCONTENT-ENCODING: X-GZIP\r\nContent-Type: "
                     "image/png\r\n\r\nz",
                     false, RF::Http11, "z", "image/png", "png.gz", true},
        ClassifyCase{"CompressWithoutType",
                     "HTTP/1.1 200 OK\r\nContent-Encoding: x-compress\r\n\r\nz", false, RF::Http11,
                     "z", "", "txt.gz", true},
        ClassifyCase{"TwoCodingsAddNothing",
                     "HTTP/1.1 200 OK\r\nContent-Encoding: gzip, deflate\r\nContent-Type: "
                     "text/html\r\n\r\nz",
                     false, RF::Http11, "z", "text/html", "html"},
        ClassifyCase{"DeflateAddsNothing", "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\n\r\nz",
                     false, RF::Http11, "z"},
        ClassifyCase{"Chunked",
                     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Type: "
                     "text/css\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
                     false, RF::Http11, "5\r\nhello\r\n0\r\n\r\n", "text/css", "css", false, true},
        ClassifyCase{"ChunkedAndGzipPartial",
                     "HTTP/1.1 206 Partial Content\r\nTransfer-Encoding: chunked\r\n"
                     "Content-Encoding: gzip\r\nContent-Type: text/html\r\n\r\n0\r\n\r\n",
                     true, RF::Http11, "0\r\n\r\n", "text/html", "html.gz", true, true},
        ClassifyCase{"TwoTransferCodingsNotChunked",
                     "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n", false,
                     RF::Http11, "0\r\n\r\n"},
        // HTTP/1.0.
        ClassifyCase{"Http10BareLineFeeds",
                     "HTTP/1.0 200 OK\nServer: old\nContent-Type: text/html\n\n<p>\n\nmore", false,
                     RF::Http10, "<p>\n\nmore", "text/html", "html"},
        ClassifyCase{"Http10CrLfAsPythonSends", kPython10, false, RF::Http10, "body", "text/html",
                     "html"},
        ClassifyCase{"Http10CrLfBodyHoldsLineFeedPairs",
                     "HTTP/1.0 200 OK\r\nServer: x\r\nContent-Type: text/plain\r\n\r\na\n\nb",
                     false, RF::Http10, "a\n\nb", "text/plain", "txt"},
        ClassifyCase{"Http10LineFeedPairBeforeCrLfPair",
                     "HTTP/1.0 200 OK\nServer: x\nContent-Type: image/png\n\nP\r\n\r\nQ", false,
                     RF::Http10, "P\r\n\r\nQ", "image/png", "png"},
        ClassifyCase{"Http10EncodingsNotLookedAt",
                     "HTTP/1.0 200 OK\r\nServer: x\r\nContent-Encoding: gzip\r\nTransfer-Encoding: "
                     "chunked\r\nContent-Type: text/html\r\n\r\nz",
                     false, RF::Http10, "z", "text/html", "html"},
        ClassifyCase{"Http10HeaderEndMissing", "HTTP/1.0 200 OK\r\nServer: x\r\n", false,
                     RF::NotHttp}),
    [](const auto& instance) { return std::string(instance.param.what); });

// The server controls Content-Type; whatever it sends, the extension stays one name part.
TEST(ClassifyHostile, ExtensionNeverCarriesPathSeparatorsOrControls) {
    const char* hostile[] = {
        "x/../../../home/u/.profile", "x/..\\..\\windows\\win.ini", "x//etc/passwd",
        "x/a\tb\x01\x7f|c",           "x/con:aux*?\"<>|",
    };
    for (const char* type : hostile) {
        SCOPED_TRACE(type);
        const Stream stream("HTTP/1.1 200 OK\r\nContent-Type: " + std::string(type) +
                            "\r\n\r\nevil");
        const ResponseClassification r = ClassifyResponse(stream.span(), false);
        ASSERT_EQ(r.form, ResponseForm::Http11);
        EXPECT_FALSE(r.extension.empty());
        for (char c : r.extension) {
            EXPECT_NE(c, '/');
            EXPECT_NE(c, '\\');
            EXPECT_GE(static_cast<unsigned char>(c), 0x20);
            EXPECT_EQ(std::string_view(":*?\"<>|").find(c), std::string_view::npos);
        }
    }
    const Stream traversal("HTTP/1.1 200 OK\r\nContent-Type: x/../../../home/u/.profile\r\n\r\n");
    EXPECT_EQ(ClassifyResponse(traversal.span(), false).extension, ".._.._.._home_u_.profile");
}

TEST(ClassifyHostile, SafeExtensionKeepsOrdinaryText) {
    EXPECT_EQ(SafeExtensionText("bin_dms_lha_lzh_exe_dll"), "bin_dms_lha_lzh_exe_dll");
    EXPECT_EQ(SafeExtensionText("vnd.ms-excel+xml.gz"), "vnd.ms-excel+xml.gz");
    EXPECT_EQ(SafeExtensionText("Ünïcode"), "Ünïcode");
    EXPECT_EQ(SafeExtensionText("a/b\\c"), "a_b_c");
}

TEST(ClassifyMemory, TemporaryBuffersAreReleased) {
    std::atomic<int32_t> tracked{1234};
    const Stream stream(
        "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n"
        "Content-Type: text/html\r\n\r\n0\r\n\r\n");
    const ResponseClassification r = ClassifyResponse(stream.span(), false, &tracked);
    EXPECT_EQ(r.extension, "html.gz");
    EXPECT_EQ(tracked.load(), 1234);
}

// ---------------------------------------------------------------------------------------
// ExtractHeaderValue

struct ValueCase {
    const char* what;
    std::string text;
    size_t position;
    size_t capacity;
    std::string value;
};

std::ostream& operator<<(std::ostream& os, const ValueCase& c) {
    return os << c.what;
}

class HeaderValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(HeaderValue, ReadsUpToTheFirstStopCharacter) {
    const ValueCase& c = GetParam();
    EXPECT_EQ(ExtractHeaderValue(c.text, c.position, c.capacity), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HeaderValue,
    ::testing::Values(
        ValueCase{"Plain", "CONTENT-TYPE: text/html\r\nX: y", 0, 100, "text/html"},
        ValueCase{"NoSpaceToEnd", "CONTENT-TYPE:text/html", 0, 100, "text/html"},
        ValueCase{"TabsAndSpacesSkipped", "CONTENT-TYPE:\t \ttext/html;charset=x", 0, 100,
                  "text/html"},
        ValueCase{"TrailingSpacesBeforeSemicolonStay", "CONTENT-TYPE: text/html  ; x", 0, 100,
                  "text/html  "},
        ValueCase{"LineFeedStops", "CONTENT-TYPE: a\nb", 0, 100, "a"},
        ValueCase{"CarriageReturnStops", "CONTENT-TYPE: a\rb", 0, 100, "a"},
        ValueCase{"ZeroStops", std::string("CONTENT-TYPE: a") + '\0' + "b", 0, 100, "a"},
        ValueCase{"NameRunsToEnd", "CONTENT-TYPE", 0, 100, ""},
        ValueCase{"OnlyBlanksAfterColon", "CONTENT-TYPE: \t ", 0, 100, ""},
        ValueCase{"EmptyValueBeforeCrLf", "CONTENT-TYPE:\r\nNEXT: v", 0, 100, ""},
        ValueCase{"SpaceInsteadOfColon", "NAME VALUE", 0, 100, "VALUE"},
        ValueCase{"SpaceBeforeColonKeepsColon", "NAME : VALUE", 0, 100, ": VALUE"},
        ValueCase{"PositionInsideText", "HTTP/1.1 200 OK\r\nCONTENT-TYPE: X\r\n", 17, 100, "X"},
        ValueCase{"PositionPastEnd", "ABC", 10, 100, ""},
        ValueCase{"At99Characters", "N: " + std::string(150, 'v'), 0, 100, std::string(99, 'v')},
        ValueCase{"Exactly99Characters", "N: " + std::string(99, 'v') + "\r\n", 0, 100,
                  std::string(99, 'v')},
        ValueCase{"SmallCapacity", "N: abcdefghijkl", 0, 10, "abcdefghi"},
        ValueCase{"CapacityOne", "N: abc", 0, 1, ""}),
    [](const auto& instance) { return std::string(instance.param.what); });

// ---------------------------------------------------------------------------------------
// Store decision

struct StoreCase {
    const char* what;
    ResponseForm form;
    bool chunked;
    size_t bodyStart;
    size_t length;
    StoreRules rules;
    StoreDecision decision;
};

std::ostream& operator<<(std::ostream& os, const StoreCase& c) {
    return os << c.what;
}

class Store : public ::testing::TestWithParam<StoreCase> {};

TEST_P(Store, AppliesFormAndSizeLimits) {
    const StoreCase& c = GetParam();
    ResponseClassification r;
    r.form = c.form;
    r.chunked = c.chunked;
    r.bodyStart = c.bodyStart;
    EXPECT_EQ(DecideStore(r, c.length, c.rules), c.decision);
}

using SD = StoreDecision;

INSTANTIATE_TEST_SUITE_P(
    Table, Store,
    ::testing::Values(
        StoreCase{"BelowMinimum", RF::Http11, false, 100, 1099, {true, 1000, 0}, SD::Discard},
        StoreCase{"AtMinimum", RF::Http11, false, 100, 1100, {true, 1000, 0}, SD::Body},
        StoreCase{"AboveMinimum", RF::Http10, false, 100, 1101, {true, 1000, 0}, SD::Body},
        StoreCase{"AtMaximum", RF::Http11, false, 100, 1100, {true, 0, 1000}, SD::Body},
        StoreCase{"AboveMaximum", RF::Http11, false, 100, 1101, {true, 0, 1000}, SD::Discard},
        StoreCase{"NoUpperLimit", RF::Http11, false, 100, 4'000'000'100u, {true, 0, 0}, SD::Body},
        StoreCase{"EmptyBody", RF::Http11, false, 100, 100, {true, 0, 0}, SD::Body},
        StoreCase{"EmptyBodyMinOne", RF::Http11, false, 100, 100, {true, 1, 0}, SD::Discard},
        // A chunked body is measured raw.
        StoreCase{"Chunked", RF::Http11, true, 100, 1100, {true, 1000, 1000}, SD::ChunkedBody},
        StoreCase{"ChunkedTooLarge", RF::Http11, true, 100, 1101, {true, 0, 1000}, SD::Discard},
        StoreCase{"NotHttpOnlyHttp", RF::NotHttp, false, 0, 5000, {true, 0, 0}, SD::Discard},
        StoreCase{"NotHttpWhole", RF::NotHttp, false, 0, 5000, {false, 0, 0}, SD::WholeStream},
        // Not HTTP: the whole stream is measured.
        StoreCase{"NotHttpBelowMin", RF::NotHttp, false, 0, 999, {false, 1000, 0}, SD::Discard},
        StoreCase{"NotHttpAtMin", RF::NotHttp, false, 0, 1000, {false, 1000, 0}, SD::WholeStream},
        StoreCase{"NotHttpAboveMax", RF::NotHttp, false, 0, 1001, {false, 0, 1000}, SD::Discard}),
    [](const auto& instance) { return std::string(instance.param.what); });

// ---------------------------------------------------------------------------------------
// Chunked decoding

struct ChunkCase {
    const char* what;
    std::string body;
    std::string decoded;
    size_t pieces;
};

std::ostream& operator<<(std::ostream& os, const ChunkCase& c) {
    return os << c.what;
}

class Chunked : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(Chunked, WritesCompleteChunksOnly) {
    const ChunkCase& c = GetParam();
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const Stream stream(head + c.body);
    const auto pieces = DecodeChunkedBody(stream.span(), head.size());
    EXPECT_EQ(joined(pieces), c.decoded);
    EXPECT_EQ(pieces.size(), c.pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Chunked,
    ::testing::Values(
        ChunkCase{"Whole", "5\r\nhello\r\n0\r\n\r\n", "hello", 1},
        ChunkCase{"TwoChunks", "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", "hello world", 2},
        ChunkCase{"HexUpperAndLower", "A\r\n0123456789\r\nb\r\nabcdefghijk\r\n0\r\n\r\n",
                  "0123456789abcdefghijk", 2},
        ChunkCase{"LeadingZerosAndBlanks", " 005\r\nhello\r\n0\r\n\r\n", "hello", 1},
        ChunkCase{"ExtensionSkipped", "5;name=value\r\nhello\r\n0\r\n\r\n", "hello", 1},
        ChunkCase{"TrailerNotWritten", "5\r\nhello\r\n0\r\nX-Sum: 1\r\n\r\n", "hello", 1},
        ChunkCase{"CutInSecondChunk", "5\r\nhello\r\n10\r\nabc", "hello", 1},
        ChunkCase{"CutInSizeLine", "5\r\nhello\r\n1", "hello", 1},
        ChunkCase{"ChunkReachingLastByteLeftOut", "5\r\nhello", "", 0},
        ChunkCase{"ChunkWithHalfItsCrLf", "5\r\nhello\r", "hello", 1},
        ChunkCase{"NoLastChunk", "5\r\nhello\r\n", "hello", 1},
        ChunkCase{"BinaryDataWithCrLfInside", std::string("4\r\n\r\n\0\n\r\n0\r\n\r\n", 14),
                  std::string("\r\n\0\n", 4), 1},
        ChunkCase{"NotHexadecimal", "zz\r\nhello\r\n0\r\n\r\n", "", 0},
        ChunkCase{"ZeroFirst", "0\r\n\r\n", "", 0}, ChunkCase{"EmptyBody", "", "", 0},
        ChunkCase{"HugeSizeNoOverflow", "FFFFFFFFFFFFFFFFFFFFFFFF\r\nabc\r\n0\r\n\r\n", "", 0},
        ChunkCase{"SizeOverflowingToSmall", "10000000000000005\r\nhello\r\n0\r\n\r\n", "", 0},
        ChunkCase{"SizeLineWithoutCr", "5", "", 0}),
    [](const auto& instance) { return std::string(instance.param.what); });

TEST(ChunkedBounds, BodyStartAtOrPastTheEndYieldsNothing) {
    const Stream stream("5\r\nhello\r\n0\r\n\r\n");
    EXPECT_TRUE(DecodeChunkedBody(stream.span(), stream.span().size()).empty());
    EXPECT_TRUE(DecodeChunkedBody(stream.span(), stream.span().size() + 7).empty());
    EXPECT_EQ(joined(DecodeChunkedBody(stream.span(), 0)), "hello");
}

TEST(ChunkedBounds, LargeChunksAreViewsIntoTheStream) {
    const std::string data(70000, 'q');
    const Stream stream("11170\r\n" + data + "\r\n0\r\n\r\n");
    const auto pieces = DecodeChunkedBody(stream.span(), 0);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].size(), 70000u);
    EXPECT_EQ(pieces[0].data(), stream.span().data() + 7);
}

// ---------------------------------------------------------------------------------------
// ContentTypeTable

TEST(ContentTypeTableRows, FixedRowsAndExactComparison) {
    const auto& rows = ContentTypeTable::rows();
    ASSERT_EQ(rows.size(), 95u);
    EXPECT_EQ(rows[0].contentType, "application/andrew-inset");
    EXPECT_EQ(rows[0].extension, "ez");
    EXPECT_EQ(rows[4].extension, "bin_dms_lha_lzh_exe_dll");
    EXPECT_EQ(rows[57].contentType, "image/bmp");
    EXPECT_EQ(rows[71].contentType, "image/x-xbitmap");
    EXPECT_EQ(rows[71].extension, "bmp");
    EXPECT_EQ(rows[80].contentType, "text/plain");
    EXPECT_EQ(rows[80].extension, "txt");
    EXPECT_EQ(rows[94].contentType, "x-conference/x-cooltalk");
    EXPECT_EQ(rows[94].extension, "ice");

    const std::pair<const char*, const char*> lookups[] = {
        {"image/jpeg", "jpeg"},
        {"text/html", "html"},
        {"application/x-javascript", "js"},
        {"application/x-koan", "skp_skd_skt_skm"},
        {"audio/mpeg", "mp3"},
        {"model/mesh", "msh_mesh_silo"},
        {"video/quicktime", "mov"},
        {"text/htm", "htm"},
    };
    for (const auto& [type, extension] : lookups) {
        EXPECT_EQ(ContentTypeTable::extensionFor(type), std::optional<std::string_view>(extension))
            << type;
    }
    EXPECT_FALSE(ContentTypeTable::extensionFor("IMAGE/GIF").has_value());
    EXPECT_FALSE(ContentTypeTable::extensionFor("image/gif ").has_value());
    EXPECT_FALSE(ContentTypeTable::extensionFor("").has_value());
    EXPECT_FALSE(ContentTypeTable::extensionFor("image/webp").has_value());
}

TEST(ContentTypeTableRows, EveryRowIsReachableAndSafeAsAName) {
    for (const ContentTypeRow& row : ContentTypeTable::rows()) {
        SCOPED_TRACE(std::string(row.contentType));
        // First equal row wins, so a duplicate type would shadow a later row.
        EXPECT_EQ(ContentTypeTable::extensionFor(row.contentType), row.extension);
        EXPECT_NE(row.contentType.find('/'), std::string_view::npos);
        EXPECT_EQ(SafeExtensionText(row.extension), row.extension);
        for (char c : row.contentType)
            EXPECT_FALSE(c >= 'A' && c <= 'Z');
    }
}

}  // namespace
}  // namespace vorlanx
