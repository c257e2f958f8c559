#include "filemode/http_response.h"

#include <algorithm>
#include <limits>

#include "filemode/content_type_table.h"

namespace vorlanx {
namespace {

constexpr size_t kStatusTextBytes = 12;

// Adds a temporary buffer's size to trackedMemory for as long as the buffer exists.
class TrackedBuffer {
  public:
    TrackedBuffer(std::atomic<int32_t>* tracked, size_t bytes)
        : m_tracked(tracked),
          m_bytes(static_cast<int32_t>(
              std::min<size_t>(bytes, static_cast<size_t>(std::numeric_limits<int32_t>::max())))) {
        if (m_tracked)
            m_tracked->fetch_add(m_bytes);
    }
    ~TrackedBuffer() {
        if (m_tracked)
            m_tracked->fetch_sub(m_bytes);
    }
    TrackedBuffer(const TrackedBuffer&) = delete;
    TrackedBuffer& operator=(const TrackedBuffer&) = delete;

  private:
    std::atomic<int32_t>* m_tracked;
    int32_t m_bytes;
};

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i]))
            return false;
    }
    return true;
}

std::string_view asText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Text up to the first zero byte.
std::string_view upToZero(std::string_view text) {
    const size_t zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

// The value of the header whose name starts at `position`, read into a tracked
// 100-byte buffer.
std::string headerValueAt(const std::string& headerText, size_t position,
                          std::atomic<int32_t>* trackedMemory) {
    TrackedBuffer valueBuffer(trackedMemory, kHeaderValueCapacity);
    return ExtractHeaderValue(headerText, position);
}

struct HeaderEnd {
    size_t headerLength = 0;  // bytes before the terminating blank line
    size_t bodyStart = 0;
};

bool findHeaderEnd(std::string_view stream, ResponseForm form, HeaderEnd& end) {
    const size_t crlf = stream.find("\r\n\r\n");
    size_t at = crlf;
    size_t terminator = 4;
    if (form == ResponseForm::Http10) {
        // HTTP/1.0 servers end lines with CR LF as the protocol asks, older ones with a bare
        // LF: whichever blank line comes first ends the header.
        const size_t lflf = stream.find("\n\n");
        if (lflf != std::string_view::npos && (crlf == std::string_view::npos || lflf < crlf)) {
            at = lflf;
            terminator = 2;
        }
    }
    if (at == std::string_view::npos)
        return false;
    end.headerLength = at;
    end.bodyStart = at + terminator;
    return true;
}

}  // namespace

std::string ExtractHeaderValue(std::string_view headerText, size_t position, size_t capacity) {
    const std::string_view text = upToZero(headerText);
    size_t i = position;
    while (i < text.size() && text[i] != '\t' && text[i] != ' ' && text[i] != ':')
        ++i;
    if (i >= text.size())
        return {};
    if (text[i] == ':')
        ++i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i >= text.size())
        return {};
    std::string value;
    const size_t limit = capacity == 0 ? 0 : capacity - 1;
    while (i < text.size() && value.size() < limit) {
        const char c = text[i];
        if (c == '\r' || c == '\n' || c == ';')
            break;
        value += c;
        ++i;
    }
    return value;
}

std::string SafeExtensionText(std::string_view extension) {
    std::string safe(extension);
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unsafe = byte < 0x20 || byte == 0x7f || c == '/' || c == '\\' || c == ':' ||
                            c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
        if (unsafe)
            c = '_';
    }
    return safe;
}

namespace {

// The value of a "Content-Length:" header line in the upper-cased header: digits, with
// white space around them; nothing when absent, not a number, too large, or given twice
// with different values.
std::optional<uint64_t> contentLengthIn(std::string_view header) {
    constexpr std::string_view kName = "\nCONTENT-LENGTH:";
    std::optional<uint64_t> found;
    for (size_t at = header.find(kName); at != std::string_view::npos;
         at = header.find(kName, at + 1)) {
        size_t i = at + kName.size();
        while (i < header.size() && (header[i] == ' ' || header[i] == '\t'))
            ++i;
        uint64_t value = 0;
        const size_t digits = i;
        for (; i < header.size() && header[i] >= '0' && header[i] <= '9'; ++i) {
            if (value > (UINT64_MAX - 9) / 10)
                return std::nullopt;
            value = value * 10 + static_cast<uint64_t>(header[i] - '0');
        }
        while (i < header.size() && (header[i] == ' ' || header[i] == '\t'))
            ++i;
        if (i == digits || (i < header.size() && header[i] != '\r' && header[i] != '\n'))
            return std::nullopt;
        if (found && *found != value)
            return std::nullopt;
        found = value;
    }
    return found;
}

}  // namespace

ResponseClassification ClassifyResponse(std::span<const uint8_t> stream, bool acceptPartialContent,
                                        std::atomic<int32_t>* trackedMemory) {
    ResponseClassification result;
    const std::string_view text = asText(stream);

    {
        TrackedBuffer statusBuffer(trackedMemory, kStatusTextBytes + 1);
        const std::string_view status = upToZero(text.substr(0, kStatusTextBytes));
        if (equalIgnoringCase(status, "HTTP/1.1 200")) {
            result.form = ResponseForm::Http11;
        } else if (equalIgnoringCase(status, "HTTP/1.0 200")) {
            result.form = ResponseForm::Http10;
        } else if (acceptPartialContent && equalIgnoringCase(status, "HTTP/1.1 206")) {
            result.form = ResponseForm::Http11;
        }
    }
    if (result.form == ResponseForm::NotHttp)
        return result;

    HeaderEnd end;
    if (!findHeaderEnd(text, result.form, end)) {
        result.form = ResponseForm::NotHttp;
        return result;
    }
    result.bodyStart = end.bodyStart;

    TrackedBuffer headerBuffer(trackedMemory, end.headerLength + 1);
    std::string header(upToZero(text.substr(0, end.headerLength)));
    std::transform(header.begin(), header.end(), header.begin(), upperAscii);

    if (result.form == ResponseForm::Http11) {
        const size_t encodingAt = header.find("CONTENT-ENCODING:", kHeaderSearchStart);
        if (encodingAt != std::string::npos) {
            const std::string coding = headerValueAt(header, encodingAt, trackedMemory);
            result.encoded = coding == "GZIP" || coding == "X-GZIP" || coding == "COMPRESS" ||
                             coding == "X-COMPRESS";
        }
        const size_t transferAt = header.find("TRANSFER-ENCODING:", kHeaderSearchStart);
        if (transferAt != std::string::npos) {
            result.chunked = headerValueAt(header, transferAt, trackedMemory) == "CHUNKED";
        }
    }

    if (!result.chunked) {
        result.contentLength = contentLengthIn(header);
    }

    std::string extension = "txt";
    const size_t typeAt = header.find("CONTENT-TYPE:", kHeaderSearchStart);
    if (typeAt != std::string::npos) {
        std::transform(header.begin(), header.end(), header.begin(), lowerAscii);
        result.contentType = headerValueAt(header, typeAt, trackedMemory);
        const size_t slash = result.contentType.find('/');
        if (slash != std::string::npos)
            extension = result.contentType.substr(slash + 1);
    }
    if (auto known = ContentTypeTable::extensionFor(result.contentType)) {
        extension = std::string(*known);
    }
    if (result.form == ResponseForm::Http11 && result.encoded)
        extension += ".gz";
    result.extension = SafeExtensionText(extension);
    return result;
}

StoreDecision DecideStore(const ResponseClassification& response, size_t streamLength,
                          const StoreRules& rules) {
    const bool http = response.form != ResponseForm::NotHttp;
    if (!http && rules.httpOnly)
        return StoreDecision::Discard;
    const size_t size =
        http ? (streamLength > response.bodyStart ? streamLength - response.bodyStart : 0)
             : streamLength;
    if (size < rules.minSize)
        return StoreDecision::Discard;
    if (rules.maxSize != 0 && size > rules.maxSize)
        return StoreDecision::Discard;
    if (!http)
        return StoreDecision::WholeStream;
    return response.chunked ? StoreDecision::ChunkedBody : StoreDecision::Body;
}

std::vector<std::span<const uint8_t>> DecodeChunkedBody(std::span<const uint8_t> stream,
                                                        size_t bodyStart) {
    std::vector<std::span<const uint8_t>> chunks;
    ForEachChunk(stream, bodyStart,
                 [&chunks](std::span<const uint8_t> data) { chunks.push_back(data); });
    return chunks;
}

bool ForEachChunk(std::span<const uint8_t> stream, size_t bodyStart,
                  const std::function<void(std::span<const uint8_t> data)>& chunk) {
    const size_t length = stream.size();
    size_t pos = bodyStart;
    while (pos < length) {
        // The chunk size: hexadecimal after optional white space. Larger than the stream
        // means the chunk cannot be complete, so the value saturates instead of wrapping.
        size_t i = pos;
        while (i < length && (stream[i] == ' ' || stream[i] == '\t' || stream[i] == '\r' ||
                              stream[i] == '\n' || stream[i] == '\v' || stream[i] == '\f')) {
            ++i;
        }
        uint64_t size = 0;
        bool anyDigit = false;
        for (; i < length; ++i) {
            const uint8_t c = stream[i];
            unsigned digit;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            } else {
                break;
            }
            anyDigit = true;
            if (size <= length)
                size = size * 16 + digit;
        }
        if (!anyDigit)
            break;
        if (size == 0)
            return true;

        // Chunk extensions up to the CR are skipped; the data starts after CR LF. The CR is
        // looked for behind the size digits, so white space before the size never counts.
        while (i < length && stream[i] != '\r')
            ++i;
        if (i >= length)
            break;
        const size_t dataStart = i + 2;
        if (dataStart >= length || size >= length - dataStart)
            break;

        chunk(stream.subspan(dataStart, static_cast<size_t>(size)));
        pos = dataStart + static_cast<size_t>(size) + 2;
    }
    return false;
}

}  // namespace vorlanx
