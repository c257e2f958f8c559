// Recognising an HTTP response in a rebuilt stream, deciding whether it becomes a file, and
// decoding a chunked body.
//
// The stream is whatever the captured segments covered, so nothing here trusts it: every
// read is bounded by the stream's length, and the only protocol facts used are the status
// text, the end of the header and four header values. The end of a transfer is never read
// from the protocol: the stream's end is the body's end, and Content-Length and the last
// chunk only tell whether that body is whole.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlanx {

enum class ResponseForm { Http11, Http10, NotHttp };

// What classification found in one stream.
struct ResponseClassification {
    ResponseForm form = ResponseForm::NotHttp;
    size_t bodyStart = 0;           // first body byte: header length including the blank line
    std::string contentType;        // lower case, at most 99 characters; empty without the header
    std::string extension = "txt";  // safe as part of one file name (no separators)
    bool encoded = false;           // Content-Encoding gzip, x-gzip, compress or x-compress
    bool chunked = false;           // Transfer-Encoding chunked (HTTP/1.1 form only)
    // Content-Length when the header holds one plain decimal value and the body is not
    // chunked: what a whole body's length must be. Nothing otherwise.
    std::optional<uint64_t> contentLength;
};

// Capacity of the buffer a header value is read into: at most 99 characters are returned.
inline constexpr size_t kHeaderValueCapacity = 100;

// Header-name searches start at this index: the first 17 characters (a status line such
// as "HTTP/1.1 200 OK" with its CR LF) are never searched.
inline constexpr size_t kHeaderSearchStart = 17;

// The value of the header whose name starts at `position` in `headerText`: from there to
// the first tab, space or colon, over one colon, over spaces and tabs, then up to the end,
// a zero, CR, LF or ";", at most `capacity` - 1 characters. Empty when the text ends first.
// Pure; any thread.
std::string ExtractHeaderValue(std::string_view headerText, size_t position,
                               size_t capacity = kHeaderValueCapacity);

// Classifies a rebuilt stream: a "200" status of HTTP/1.1 or HTTP/1.0 (letter case ignored)
// or, with `acceptPartialContent`, an HTTP/1.1 "206"; the header end; Content-Encoding and
// Transfer-Encoding (HTTP/1.1); Content-Type and the extension text from ContentTypeTable,
// with ".gz" for an encoded body. A recognised status whose header end is missing is
// NotHttp. The extension never holds a path separator or a control character, whatever
// the server sent. Temporary buffers are added to `trackedMemory` (when given) while they
// exist. Any thread.
ResponseClassification ClassifyResponse(std::span<const uint8_t> stream, bool acceptPartialContent,
                                        std::atomic<int32_t>* trackedMemory = nullptr);

// Makes a server-supplied extension text safe as the tail of one file name: path
// separators, control characters and the characters other systems refuse in names
// (: * ? " < > |) become "_". Everything else, letter case included, is kept. Pure.
std::string SafeExtensionText(std::string_view extension);

enum class StoreDecision { Discard, Body, ChunkedBody, WholeStream };

struct StoreRules {
    bool httpOnly = true;  // "Only store HTTP based file streams as files"
    uint32_t minSize = 0;  // 0 = no limit
    uint32_t maxSize = 0;  // 0 = no limit
};

// Whether and what to store of a classified stream of `streamLength` bytes. For the HTTP
// forms the size is the body's (the raw chunked body for a chunked one); otherwise the
// whole stream's, and nothing is stored when only HTTP streams are wanted. Pure.
StoreDecision DecideStore(const ResponseClassification& response, size_t streamLength,
                          const StoreRules& rules);

// Hands the data of each chunk of a chunked body that starts at `bodyStart` to `chunk`, in
// order, as views into `stream`, without holding anything per chunk. Stops at a zero or
// missing size, a size line without CR, or a chunk that would reach or pass the stream's
// last byte; so the last-chunk line, trailers and a chunk cut off by the end of the capture
// are left out. Returns whether it stopped at the last chunk (size 0): the body is whole.
// Any thread.
bool ForEachChunk(std::span<const uint8_t> stream, size_t bodyStart,
                  const std::function<void(std::span<const uint8_t> data)>& chunk);

// The same chunks gathered in a list (one view of 16 bytes per chunk). Pure; any thread.
std::vector<std::span<const uint8_t>> DecodeChunkedBody(std::span<const uint8_t> stream,
                                                        size_t bodyStart);

}  // namespace vorlanx
