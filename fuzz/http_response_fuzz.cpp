// Classifies arbitrary bytes as a rebuilt stream, reads header values out of them and
// decodes them as a chunked body, checking what the file writer relies on.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filemode/http_response.h"
#include "fuzz_check.h"

namespace {

using namespace vorlanx;

using fuzz::check;

bool inside(std::span<const uint8_t> piece, std::span<const uint8_t> stream) {
    return piece.data() >= stream.data() &&
           piece.data() + piece.size() <= stream.data() + stream.size();
}

void checkChunks(std::span<const uint8_t> stream, size_t bodyStart) {
    size_t total = 0;
    const uint8_t* previousEnd = nullptr;
    for (const auto& chunk : DecodeChunkedBody(stream, bodyStart)) {
        check(!chunk.empty(), "a chunk is never empty");
        check(inside(chunk, stream), "a chunk lies inside the stream");
        check(chunk.data() >= stream.data() + bodyStart, "a chunk lies behind the body start");
        // A chunk never reaches the last byte of the stream.
        check(chunk.data() + chunk.size() < stream.data() + stream.size(),
              "a chunk stops before the last byte");
        check(previousEnd == nullptr || chunk.data() > previousEnd, "chunks come in order");
        previousEnd = chunk.data() + chunk.size();
        total += chunk.size();
    }
    check(total <= stream.size(), "the decoded body is no longer than the stream");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The stream as the assembler hands it over: its bytes followed by a zero.
    std::vector<uint8_t> buffer(data, data + size);
    buffer.push_back(0);
    const std::span<const uint8_t> stream(buffer.data(), size);

    std::atomic<int32_t> tracked{0};
    for (bool acceptPartial : {false, true}) {
        const ResponseClassification r = ClassifyResponse(stream, acceptPartial, &tracked);
        check(tracked.load() == 0, "temporary buffers are released");
        check(r.bodyStart <= size, "body start inside the stream");
        check(r.contentType.size() < kHeaderValueCapacity, "content type fits its buffer");
        check(!r.extension.empty() || r.form != ResponseForm::NotHttp,
              "a stream that is not HTTP keeps txt");
        for (char c : r.extension) {
            check(c != '/' && c != '\\', "no separator in the extension");
            check(static_cast<unsigned char>(c) >= 0x20, "no control character in the extension");
        }
        if (r.form == ResponseForm::NotHttp) {
            check(r.extension == "txt" && !r.encoded && !r.chunked, "NotHttp is plain txt");
        }
        if (r.chunked) {
            check(r.form == ResponseForm::Http11, "only HTTP/1.1 is chunked");
            checkChunks(stream, r.bodyStart);
        }
        for (bool httpOnly : {false, true}) {
            const StoreDecision d = DecideStore(r, size, {httpOnly, 0, 0});
            check(d != StoreDecision::Discard || (httpOnly && r.form == ResponseForm::NotHttp),
                  "without limits only non-HTTP streams are discarded");
        }
    }

    // Chunked decoding from wherever the first byte points, and header values there.
    const size_t start = size == 0 ? 0 : data[0] % (size + 1);
    checkChunks(stream, start);
    checkChunks(stream, 0);
    const std::string_view text(reinterpret_cast<const char*>(buffer.data()), size);
    for (size_t capacity : {size_t{1}, size_t{7}, kHeaderValueCapacity}) {
        const std::string value = ExtractHeaderValue(text, start, capacity);
        check(value.size() < capacity, "a value fits its buffer");
        check(value.find_first_of(std::string_view("\r\n;\0", 4)) == std::string::npos,
              "a value holds no stop character");
    }
    return 0;
}
