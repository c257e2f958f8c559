// Writes a large capture of HTTP/1.1 traffic for File Mode's end-to-end benchmark
// (bench/extract_vs_tcpflow.sh), and a manifest of every response body in it.
//
//   make_http_capture --bytes N --out FILE.pcap --manifest FILE.tsv [--seed S]
//
// The capture (classic pcap, raw IP link type) holds at least N bytes, default
// 550,000,000: thousands of TCP connections between many clients (10.64.0.0/16) and
// servers (198.18.0.0/15), hundreds in flight at once, their records in time order. Each
// connection opens with SYN, SYN-ACK, ACK, carries one or a few exchanges (a GET with Host,
// the response) and closes with FIN, FIN-ACK, ACK. Every header checksum, sequence and
// acknowledgment number is right, the client's ACKs included; server segments carry at most
// 1448 bytes (MSS 1460 less the timestamps option). A few percent of server segments are
// sent twice, and a few arrive swapped with their neighbour; no byte is ever missing.
//
// Timing suits a rebuilder that waits for a quiet stream (File Mode's ACK time-out, 2 s by
// default): all segments of one response fall within 0.8 s, and the responses of one
// connection are more than 3 s apart. A client and server pair is never reused within 3 s
// of its previous connection, so two files are never due under the same addresses at the
// same moment. Every stream key (the acknowledgment number its data segments carry) is
// used once in the whole capture, and no connection's sequence numbers wrap.
//
// Responses, all mixed: 200 with Content-Length (html, png, jpeg, gif, pdf, css, js, ...),
// 200 chunked (varied chunk sizes, some with chunk extensions), 200 gzip-encoded (a real
// gzip stream, some also chunked), 206 Partial Content with Content-Range, and a few 404
// and 304 responses that File Mode must not store. Body sizes are log-uniform: most from
// 200 bytes to 64 KiB, one in ten from 64 KiB to 4 MiB.
//
// The manifest is tab-separated, one line per response in the order the connections open,
// after a header line starting with "#": kind, status, source ip (the server), destination
// ip (the client), body length and SHA-256 (hex) of the body as File Mode stores it (the
// body bytes as sent; the decoded chunk data of a chunked body; a gzip body still encoded),
// then source port, destination port, content type and the time of the response's first
// segment in microseconds since the epoch.
//
// Deterministic for a given seed and size. One thread; memory is held only for the
// connections in flight.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <queue>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "capture/pcap_file_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kDefaultBytes = 550'000'000;
constexpr size_t kMaxSegmentPayload = 1448;
constexpr int64_t kCaptureStartUs = 1'767'225'600'000'000;  // 2026-01-01 00:00:00 UTC
constexpr int64_t kMs = 1000;
constexpr int64_t kSecond = 1'000'000;
// New connections per second of capture time; with the exchanges' lengths and keep-alive
// pauses below this keeps a few hundred connections open at once.
constexpr double kConnectionsPerSecond = 100.0;
// The longest a response's segments take to arrive (retransmissions included: they come at
// most kMaxRetransmitDelayUs after the original, inside kMaxResponseSpanUs).
constexpr int64_t kMaxTransferUs = 600 * kMs;
constexpr int64_t kMaxRetransmitDelayUs = 150 * kMs;
constexpr int64_t kMaxResponseSpanUs = kMaxTransferUs + kMaxRetransmitDelayUs + 50 * kMs;
// The least quiet time between two responses of one connection, and before a client and
// server pair opens its next connection.
constexpr int64_t kMinPauseUs = 3200 * kMs;
constexpr double kRetransmitShare = 0.025;
constexpr double kSwapShare = 0.015;
constexpr size_t kClients = 4000;
constexpr size_t kServers = 500;

// xoshiro256** seeded through splitmix64: the same stream of numbers on every platform
// (the standard library's distributions are not), fast enough to fill bodies with.
class Random {
  public:
    explicit Random(uint64_t seed) {
        for (uint64_t& s : m_state) {
            seed += 0x9E3779B97F4A7C15ull;
            uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            s = z ^ (z >> 31);
        }
    }
    uint64_t next() {
        const uint64_t result = Rotate(m_state[1] * 5, 7) * 9;
        const uint64_t t = m_state[1] << 17;
        m_state[2] ^= m_state[0];
        m_state[3] ^= m_state[1];
        m_state[1] ^= m_state[2];
        m_state[0] ^= m_state[3];
        m_state[2] ^= t;
        m_state[3] = Rotate(m_state[3], 45);
        return result;
    }
    // 0 .. n-1 for n < 2^32 (multiply-shift: no modulo bias worth a mention).
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(((next() >> 32) * n) >> 32); }
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    double logUniform(double lo, double hi) { return lo * std::exp(unit() * std::log(hi / lo)); }
    double exponential(double mean) { return -mean * std::log(1.0 - unit()); }
    void fill(uint8_t* out, size_t n) {
        for (; n >= 8; out += 8, n -= 8) {
            const uint64_t v = next();
            std::memcpy(out, &v, 8);
        }
        if (n > 0) {
            const uint64_t v = next();
            std::memcpy(out, &v, n);
        }
    }

  private:
    static uint64_t Rotate(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::array<uint64_t, 4> m_state{};
};

// SHA-256 (FIPS 180-4), for the manifest's body digests.
class Sha256 {
  public:
    void update(const uint8_t* data, size_t n) {
        if (n == 0)
            return;
        m_total += n;
        if (m_used > 0) {
            const size_t take = std::min(n, m_block.size() - m_used);
            std::memcpy(m_block.data() + m_used, data, take);
            m_used += take;
            data += take;
            n -= take;
            if (m_used < m_block.size())
                return;
            compress(m_block.data());
            m_used = 0;
        }
        for (; n >= 64; data += 64, n -= 64)
            compress(data);
        std::memcpy(m_block.data(), data, n);
        m_used = n;
    }
    std::string hexDigest() {
        const uint64_t bits = m_total * 8;
        const uint8_t one = 0x80, zero = 0;
        update(&one, 1);
        while (m_used != 56)
            update(&zero, 1);
        uint8_t length[8];
        for (int i = 0; i < 8; ++i)
            length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        update(length, 8);
        static constexpr char kHex[] = "0123456789abcdef";
        std::string text;
        for (uint32_t h : m_hash) {
            for (int shift = 28; shift >= 0; shift -= 4)
                text += kHex[(h >> shift) & 0xF];
        }
        return text;
    }

  private:
    static uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
    void compress(const uint8_t* p) {
        static constexpr std::array<uint32_t, 64> kRound = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
            0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
            0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
            0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
            0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
            0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
            0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
            0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
            0xc67178f2};
        std::array<uint32_t, 64> w;
        for (size_t i = 0; i < 16; ++i)
            w[i] = (uint32_t{p[4 * i]} << 24) | (uint32_t{p[4 * i + 1]} << 16) |
                   (uint32_t{p[4 * i + 2]} << 8) | uint32_t{p[4 * i + 3]};
        for (size_t i = 16; i < 64; ++i) {
            const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = m_hash[0], b = m_hash[1], c = m_hash[2], d = m_hash[3];
        uint32_t e = m_hash[4], f = m_hash[5], g = m_hash[6], h = m_hash[7];
        for (size_t i = 0; i < 64; ++i) {
            const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) +
                                ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            const uint32_t t2 =
                (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        const std::array<uint32_t, 8> add = {a, b, c, d, e, f, g, h};
        for (size_t i = 0; i < 8; ++i)
            m_hash[i] += add[i];
    }

    std::array<uint32_t, 8> m_hash = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<uint8_t, 64> m_block{};
    size_t m_used = 0;
    uint64_t m_total = 0;
};

void Append(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

// ---- Bodies -------------------------------------------------------------------------------

enum class Content { Html, Css, Script, Json, Plain, Png, Jpeg, Gif, Pdf, Zip, Mp4, Binary };

struct ContentKind {
    const char* type;  // the Content-Type header's value
    Content content;
};

constexpr ContentKind kWholeTypes[] = {
    {"text/html; charset=utf-8", Content::Html},
    {"text/html", Content::Html},
    {"image/png", Content::Png},
    {"image/jpeg", Content::Jpeg},
    {"image/gif", Content::Gif},
    {"application/pdf", Content::Pdf},
    {"text/css", Content::Css},
    {"application/javascript", Content::Script},
    {"application/octet-stream", Content::Binary},
    {"application/zip", Content::Zip},
};
constexpr ContentKind kChunkedTypes[] = {
    {"text/html; charset=utf-8", Content::Html},
    {"application/json", Content::Json},
    {"text/plain", Content::Plain},
};
constexpr ContentKind kGzipTypes[] = {
    {"text/html; charset=utf-8", Content::Html},
    {"text/css", Content::Css},
    {"application/javascript", Content::Script},
    {"application/json", Content::Json},
};
constexpr ContentKind kPartialTypes[] = {
    {"application/octet-stream", Content::Binary},
    {"video/mp4", Content::Mp4},
    {"application/zip", Content::Zip},
};

constexpr const char* kWords[] = {
    "network", "packet",   "stream",  "window",  "server",  "client", "capture", "segment",
    "header",  "request",  "reply",   "content", "length",  "chunk",  "encoded", "address",
    "the",     "of",       "and",     "to",      "in",      "is",     "for",     "with",
    "a",       "on",       "that",    "by",      "this",    "from",   "at",      "as",
    "river",   "mountain", "garden",  "harbour", "lantern", "copper", "meadow",  "violet",
    "quiet",   "rapid",    "distant", "golden",  "hollow",  "bright", "narrow",  "silent",
    "build",   "travel",   "listen",  "gather",  "follow",  "answer", "measure", "wander",
    "table",   "letter",   "market",  "bridge",  "engine",  "signal", "archive", "journal",
};
constexpr uint32_t kWordCount = sizeof kWords / sizeof kWords[0];

void AppendWords(Random& random, Bytes& out, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        Append(out, kWords[random.below(kWordCount)]);
        out.push_back(' ');
    }
}

// Text of the kind, `n` bytes long, opening with the response's number so that no two
// bodies are alike.
Bytes MakeText(Random& random, Content content, size_t n, uint64_t id) {
    Bytes out;
    out.reserve(n + 512);
    const std::string number = std::to_string(id);
    switch (content) {
        case Content::Html:
            Append(out, "<!DOCTYPE html>\n<html><head><title>Page " + number +
                            "</title></head>\n<body>\n");
            while (out.size() < n) {
                Append(out, "<p>");
                AppendWords(random, out, 8 + random.below(40));
                Append(out, "</p>\n");
            }
            break;
        case Content::Css:
            Append(out, "/* sheet " + number + " */\n");
            while (out.size() < n) {
                Append(out, ".c" + std::to_string(random.below(100000)) +
                                " { margin: " + std::to_string(random.below(64)) + "px; color: #" +
                                std::to_string(100000 + random.below(900000)) + "; }\n");
            }
            break;
        case Content::Script:
            Append(out, "// bundle " + number + "\n");
            while (out.size() < n) {
                Append(out, "function f" + std::to_string(random.below(100000)) +
                                "(a, b) { return a * " + std::to_string(random.below(1000)) +
                                " + b; } // ");
                AppendWords(random, out, 2 + random.below(8));
                out.push_back('\n');
            }
            break;
        case Content::Json:
            Append(out, "{\"request\":" + number + ",\"items\":[\n");
            while (out.size() < n) {
                Append(out, "{\"id\":" + std::to_string(random.below(1000000)) + ",\"text\":\"");
                AppendWords(random, out, 3 + random.below(12));
                Append(out, "\"},\n");
            }
            break;
        default:
            Append(out, "Document " + number + "\n");
            while (out.size() < n) {
                AppendWords(random, out, 5 + random.below(15));
                out.push_back('\n');
            }
            break;
    }
    out.resize(n);
    return out;
}

Bytes MakeBody(Random& random, Content content, size_t n, uint64_t id) {
    std::string_view magic;
    switch (content) {
        case Content::Png:
            magic = std::string_view("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
            break;
        case Content::Jpeg:
            magic = "\xff\xd8\xff\xe0\x00\x10JFIF";
            break;
        case Content::Gif:
            magic = "GIF89a";
            break;
        case Content::Pdf:
            magic = "%PDF-1.7\n";
            break;
        case Content::Zip:
            magic = "PK\x03\x04";
            break;
        case Content::Mp4:
            magic = std::string_view(
                "\0\0\0\x18"
                "ftypmp42",
                12);
            break;
        case Content::Binary:
            break;
        default:
            return MakeText(random, content, n, id);
    }
    Bytes out(n);
    random.fill(out.data(), n);
    if (!magic.empty())
        std::memcpy(out.data(), magic.data(), std::min(magic.size(), n));
    return out;
}

// The gzip stream (RFC 1952) of `data` at zlib's fastest level.
Bytes Gzip(const Bytes& data) {
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        std::fprintf(stderr, "make_http_capture: zlib could not start a gzip stream\n");
        std::exit(1);
    }
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END) {
        std::fprintf(stderr, "make_http_capture: zlib could not compress a body (%d)\n", result);
        std::exit(1);
    }
    return out;
}

// `data` in chunked transfer coding: chunks from one byte to 64 KiB, the size in lower or
// (for some responses) upper case hexadecimal, for some responses a chunk extension, then
// the last chunk "0\r\n\r\n".
Bytes Chunked(Random& random, const Bytes& data) {
    const bool upper = random.chance(0.3);
    const bool extensions = random.chance(0.1);
    Bytes out;
    out.reserve(data.size() + data.size() / 64 + 64);
    char line[48];
    for (size_t at = 0; at < data.size();) {
        const double pick = random.unit();
        const double size = pick < 0.4   ? random.logUniform(1, 512)
                            : pick < 0.8 ? random.logUniform(512, 8192)
                                         : random.logUniform(8192, 65536);
        const size_t n = std::min(data.size() - at, static_cast<size_t>(size));
        const int length = std::snprintf(line, sizeof line, upper ? "%zX%s\r\n" : "%zx%s\r\n", n,
                                         extensions && random.chance(0.3) ? ";part=\"next\"" : "");
        out.insert(out.end(), line, line + length);
        out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(at),
                   data.begin() + static_cast<ptrdiff_t>(at + n));
        Append(out, "\r\n");
        at += n;
    }
    Append(out, "0\r\n\r\n");
    return out;
}

// ---- Exchanges ----------------------------------------------------------------------------

enum class Kind { Length, Chunked, Gzip, GzipChunked, Partial, NotFound, NotModified };

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Length:
            return "length";
        case Kind::Chunked:
            return "chunked";
        case Kind::Gzip:
            return "gzip";
        case Kind::GzipChunked:
            return "gzip-chunked";
        case Kind::Partial:
            return "partial";
        case Kind::NotFound:
            return "not-found";
        case Kind::NotModified:
            return "not-modified";
    }
    return "?";
}

struct Server {
    uint32_t address = 0;
    uint16_t port = 80;
    std::string host;
    const char* software = "";
};

struct Client {
    uint32_t address = 0;
    uint16_t nextPort = 0;
    const char* agent = "";
};

constexpr const char* kServerSoftware[] = {"nginx/1.24.0", "Apache/2.4.57 (Debian)",
                                           "lighttpd/1.4.69", "Caddy"};
constexpr const char* kUserAgents[] = {
    "Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0",
    ("Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
     "Chrome/131.0.0.0 Safari/537.36"),
    "curl/7.88.1",
    "Wget/1.21.3",
};

// One request and its response, as the bytes each side sends.
struct Exchange {
    Kind kind = Kind::Length;
    int status = 200;
    std::string contentType;
    std::shared_ptr<const Bytes> request;
    std::shared_ptr<const Bytes> response;
    size_t headerBytes = 0;  // of the response
    uint64_t storedLength = 0;
    std::string storedDigest;
};

std::string HttpDate(int64_t microseconds) {
    const time_t seconds = static_cast<time_t>(microseconds / kSecond);
    tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    return text;
}

size_t BodySize(Random& random, double largest) {
    return static_cast<size_t>(random.chance(0.9) ? random.logUniform(200, 65536)
                                                  : random.logUniform(65536, largest));
}

Kind PickKind(Random& random) {
    const double pick = random.unit();
    if (pick < 0.42)
        return Kind::Length;
    if (pick < 0.62)
        return Kind::Chunked;
    if (pick < 0.74)
        return Kind::Gzip;
    if (pick < 0.80)
        return Kind::GzipChunked;
    if (pick < 0.95)
        return Kind::Partial;
    return pick < 0.98 ? Kind::NotFound : Kind::NotModified;
}

template <size_t N>
const ContentKind& PickType(Random& random, const ContentKind (&types)[N]) {
    return types[random.below(N)];
}

Exchange MakeExchange(Random& random, uint64_t id, const Server& server, const Client& client,
                      int64_t responseTimeUs) {
    Exchange x;
    x.kind = PickKind(random);
    const std::string path =
        "/" + std::string(kWords[random.below(kWordCount)]) + "/" + std::to_string(id);
    std::string extraRequest, extraResponse;
    Bytes body;  // as sent
    Bytes stored;
    switch (x.kind) {
        case Kind::Length: {
            const ContentKind& type = PickType(random, kWholeTypes);
            x.contentType = type.type;
            body = MakeBody(random, type.content, BodySize(random, 4 << 20), id);
            extraResponse = "Content-Length: " + std::to_string(body.size()) + "\r\n";
            break;
        }
        case Kind::Chunked: {
            const ContentKind& type = PickType(random, kChunkedTypes);
            x.contentType = type.type;
            stored = MakeBody(random, type.content, BodySize(random, 4 << 20), id);
            body = Chunked(random, stored);
            extraResponse = "Transfer-Encoding: chunked\r\n";
            break;
        }
        case Kind::Gzip:
        case Kind::GzipChunked: {
            const ContentKind& type = PickType(random, kGzipTypes);
            x.contentType = type.type;
            // The text compresses about threefold; gzip bodies stay under about 1 MiB so that
            // compressing them does not dominate the run.
            stored = Gzip(MakeBody(random, type.content, 3 * BodySize(random, 1 << 20), id));
            extraResponse = "Content-Encoding: gzip\r\nVary: Accept-Encoding\r\n";
            if (x.kind == Kind::Gzip) {
                body = stored;
                extraResponse += "Content-Length: " + std::to_string(body.size()) + "\r\n";
            } else {
                body = Chunked(random, stored);
                extraResponse += "Transfer-Encoding: chunked\r\n";
            }
            extraRequest = "Accept-Encoding: gzip, deflate\r\n";
            break;
        }
        case Kind::Partial: {
            const ContentKind& type = PickType(random, kPartialTypes);
            x.contentType = type.type;
            x.status = 206;
            body = MakeBody(random, Content::Binary, BodySize(random, 4 << 20), id);
            const uint64_t first = random.below(1u << 30);
            const uint64_t last = first + body.size() - 1;
            const uint64_t total = last + 1 + random.below(1u << 30);
            extraRequest =
                "Range: bytes=" + std::to_string(first) + "-" + std::to_string(last) + "\r\n";
            extraResponse = "Content-Range: bytes " + std::to_string(first) + "-" +
                            std::to_string(last) + "/" + std::to_string(total) +
                            "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
            break;
        }
        case Kind::NotFound:
            x.contentType = "text/html";
            x.status = 404;
            body = MakeText(random, Content::Html, 120 + random.below(400), id);
            extraResponse = "Content-Length: " + std::to_string(body.size()) + "\r\n";
            break;
        case Kind::NotModified:
            x.status = 304;
            extraRequest = "If-None-Match: \"" + std::to_string(id) + "\"\r\n";
            break;
    }
    if (x.kind != Kind::Chunked && x.kind != Kind::GzipChunked)
        stored = body;

    Bytes request;
    Append(request, "GET " + path + " HTTP/1.1\r\nHost: " + server.host +
                        "\r\nUser-Agent: " + client.agent + "\r\nAccept: */*\r\n" + extraRequest +
                        "Connection: keep-alive\r\n\r\n");

    const char* reason = x.status == 200   ? "OK"
                         : x.status == 206 ? "Partial Content"
                         : x.status == 404 ? "Not Found"
                                           : "Not Modified";
    std::string header = "HTTP/1.1 " + std::to_string(x.status) + " " + reason +
                         "\r\nDate: " + HttpDate(responseTimeUs) +
                         "\r\nServer: " + server.software + "\r\n";
    if (!x.contentType.empty())
        header += "Content-Type: " + x.contentType + "\r\n";
    header += extraResponse + "ETag: \"" + std::to_string(random.next() >> 16) +
              "\"\r\nCache-Control: max-age=" + std::to_string(60 * random.below(1440)) +
              "\r\nConnection: keep-alive\r\n\r\n";
    auto response = std::make_shared<Bytes>();
    response->reserve(header.size() + body.size());
    Append(*response, header);
    response->insert(response->end(), body.begin(), body.end());

    x.headerBytes = header.size();
    x.request = std::make_shared<const Bytes>(std::move(request));
    x.response = std::move(response);
    x.storedLength = stored.size();
    Sha256 digest;
    digest.update(stored.data(), stored.size());
    x.storedDigest = digest.hexDigest();
    return x;
}

// ---- Segments and the capture ------------------------------------------------------------

// Addresses, ports and per-direction state of one connection; segments name it by index.
struct Connection {
    uint32_t clientAddress = 0, serverAddress = 0;
    uint16_t clientPort = 0, serverPort = 0;
    uint16_t clientIpId = 0, serverIpId = 0;
    uint32_t clientTsBase = 0, serverTsBase = 0;
    int64_t rttUs = 0;
};

namespace flags {
constexpr uint8_t kFin = 0x01, kSyn = 0x02, kPsh = 0x08, kAck = 0x10;
}

// One record to come: everything but the IP identification, which is counted at writing.
struct Segment {
    int64_t timeUs = 0;
    uint64_t order = 0;  // scheduling order: breaks ties between equal times
    uint32_t connection = 0;
    bool fromServer = false;
    uint8_t flagBits = 0;
    uint32_t sequence = 0, acknowledgment = 0;
    std::shared_ptr<const Bytes> payload;
    uint32_t payloadOffset = 0;
    uint16_t payloadLength = 0;
};

struct Later {
    bool operator()(const Segment& a, const Segment& b) const {
        return a.timeUs != b.timeUs ? a.timeUs > b.timeUs : a.order > b.order;
    }
};

void Put16(uint8_t* at, uint32_t v) {
    at[0] = static_cast<uint8_t>(v >> 8);
    at[1] = static_cast<uint8_t>(v);
}
void Put32(uint8_t* at, uint32_t v) {
    Put16(at, v >> 16);
    Put16(at + 2, v);
}

// The ones' complement sum of big-endian 16-bit words (RFC 1071), not yet folded.
uint64_t SumWords(const uint8_t* p, size_t n, uint64_t sum) {
    for (; n >= 2; p += 2, n -= 2)
        sum += (uint32_t{p[0]} << 8) | p[1];
    if (n == 1)
        sum += uint32_t{p[0]} << 8;
    return sum;
}
uint16_t Fold(uint64_t sum) {
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

struct Totals {
    uint64_t records = 0, captureBytes = 24;  // the file header
    uint64_t connections = 0, retransmitted = 0, swapped = 0;
    uint64_t byKind[7] = {};
    size_t mostOpen = 0;
    double openSum = 0;
};

class CaptureBuilder {
  public:
    CaptureBuilder(uint64_t seed, uint64_t targetBytes, FILE* manifest)
        : m_random(seed), m_targetBytes(targetBytes), m_manifest(manifest) {
        for (size_t i = 0; i < kServers; ++i) {
            Server s;
            s.address = 0xC6120000u + static_cast<uint32_t>((i / 250) << 8) + 2 + i % 250;
            s.port = m_random.chance(0.1) ? 8080 : 80;
            s.host = "www.site" + std::to_string(i) + ".example";
            s.software = kServerSoftware[m_random.below(4)];
            m_servers.push_back(std::move(s));
        }
        for (size_t i = 0; i < kClients; ++i) {
            Client c;
            c.address = 0x0A400000u + static_cast<uint32_t>((i / 250) << 8) + 2 + i % 250;
            c.nextPort = static_cast<uint16_t>(32768 + m_random.below(28000));
            c.agent = kUserAgents[m_random.below(4)];
            m_clients.push_back(c);
        }
    }

    // Writes the capture; 0, or the errno of the write that failed.
    int run(vorlanx::PcapFileWriter& writer) {
        int64_t nextOpen = kCaptureStartUs;
        while (m_totals.captureBytes < m_targetBytes) {
            if (const int error = writeUntil(writer, nextOpen); error != 0)
                return error;
            openConnection(nextOpen);
            nextOpen +=
                1 + static_cast<int64_t>(m_random.exponential(kSecond / kConnectionsPerSecond));
        }
        return writeUntil(writer, INT64_MAX);
    }

    const Totals& totals() const { return m_totals; }
    int64_t lastTimeUs() const { return m_lastTimeUs; }

  private:
    int writeUntil(vorlanx::PcapFileWriter& writer, int64_t timeUs) {
        while (!m_pending.empty() && m_pending.top().timeUs < timeUs) {
            if (const int error = write(writer, m_pending.top()); error != 0)
                return error;
            m_pending.pop();
        }
        return 0;
    }

    void schedule(Segment s) {
        s.order = m_order++;
        const size_t optionBytes = (s.flagBits & flags::kSyn) ? 20 : 12;
        m_totals.captureBytes += 16 + 40 + optionBytes + s.payloadLength;
        ++m_totals.records;
        m_pending.push(std::move(s));
    }

    // Builds the datagram of `s` with its checksums and adds it to the capture.
    int write(vorlanx::PcapFileWriter& writer, const Segment& s) {
        Connection& c = m_connections[s.connection];
        const bool syn = (s.flagBits & flags::kSyn) != 0;
        const size_t tcpBytes = syn ? 40 : 32;
        const size_t total = 20 + tcpBytes + s.payloadLength;
        uint8_t* d = m_datagram.data();
        std::memset(d, 0, 20 + tcpBytes);
        d[0] = 0x45;
        Put16(d + 2, static_cast<uint32_t>(total));
        Put16(d + 4, s.fromServer ? c.serverIpId++ : c.clientIpId++);
        d[6] = 0x40;  // don't fragment
        d[8] = s.fromServer ? 52 : 64;
        d[9] = 6;
        Put32(d + 12, s.fromServer ? c.serverAddress : c.clientAddress);
        Put32(d + 16, s.fromServer ? c.clientAddress : c.serverAddress);
        Put16(d + 10, Fold(SumWords(d, 20, 0)));

        uint8_t* t = d + 20;
        Put16(t, s.fromServer ? c.serverPort : c.clientPort);
        Put16(t + 2, s.fromServer ? c.clientPort : c.serverPort);
        Put32(t + 4, s.sequence);
        Put32(t + 8, s.acknowledgment);
        t[12] = static_cast<uint8_t>((tcpBytes / 4) << 4);
        t[13] = s.flagBits;
        Put16(t + 14, syn ? (s.fromServer ? 65160 : 64240) : (s.fromServer ? 509 : 502));
        // Timestamps: each side's clock ticks in milliseconds from its own base; the echo is
        // the peer's clock half a round trip ago (none on the first SYN).
        const uint32_t ownTs = static_cast<uint32_t>(
            (s.fromServer ? c.serverTsBase : c.clientTsBase) + s.timeUs / kMs);
        const uint32_t peerTs = static_cast<uint32_t>(
            (s.fromServer ? c.clientTsBase : c.serverTsBase) + (s.timeUs - c.rttUs / 2) / kMs);
        uint8_t* o = t + 20;
        if (syn) {
            const uint8_t options[20] = {
                2, 4, 0x05, 0xB4, 4, 2, 8, 10, 0, 0,
                0, 0, 0,    0,    0, 0, 1, 3,  3, 7};  // MSS 1460, SACK, TS, WS 7
            std::memcpy(o, options, sizeof options);
            Put32(o + 8, ownTs);
            Put32(o + 12, (s.flagBits & flags::kAck) ? peerTs : 0);
        } else {
            const uint8_t options[12] = {1, 1, 8, 10};
            std::memcpy(o, options, sizeof options);
            Put32(o + 4, ownTs);
            Put32(o + 8, peerTs);
        }
        if (s.payloadLength > 0)
            std::memcpy(t + tcpBytes, s.payload->data() + s.payloadOffset, s.payloadLength);

        uint64_t sum = SumWords(d + 12, 8, 0) + 6 + (tcpBytes + s.payloadLength);
        Put16(t + 16, Fold(SumWords(t, tcpBytes + s.payloadLength, sum)));

        m_lastTimeUs = s.timeUs;
        return writer.write(std::span<const uint8_t>(d, total), s.timeUs);
    }

    // Plans one connection opening at `openUs`: its exchanges, their times, its sequence
    // numbers; schedules all its segments and adds its responses to the manifest.
    void openConnection(int64_t openUs) {
        // A client and server pair that is not still busy with (or just done with) another
        // connection.
        uint32_t clientIndex = 0, serverIndex = 0;
        for (;;) {
            clientIndex = m_random.below(kClients);
            serverIndex = m_random.below(kServers);
            const auto busy = m_pairBusyUntil.find(PairKey(clientIndex, serverIndex));
            if (busy == m_pairBusyUntil.end() || busy->second <= openUs)
                break;
        }
        Client& client = m_clients[clientIndex];
        const Server& server = m_servers[serverIndex];

        Connection c;
        c.clientAddress = client.address;
        c.serverAddress = server.address;
        c.clientPort = client.nextPort;
        client.nextPort =
            client.nextPort >= 60999 ? 32768 : static_cast<uint16_t>(client.nextPort + 1);
        c.serverPort = server.port;
        c.clientIpId = static_cast<uint16_t>(m_random.below(65536));
        c.serverIpId = static_cast<uint16_t>(m_random.below(65536));
        c.clientTsBase = static_cast<uint32_t>(m_random.next());
        c.serverTsBase = static_cast<uint32_t>(m_random.next());
        c.rttUs = static_cast<int64_t>(m_random.logUniform(2 * kMs, 80 * kMs));
        const double bytesPerUs = m_random.logUniform(2.0, 40.0);  // 2 to 40 MB/s

        // The exchanges and when they happen: each response starts a round trip and the
        // server's think time after its request; the next request waits for a quiet pause.
        const double pick = m_random.unit();
        const int exchangeCount = pick < 0.55   ? 1
                                  : pick < 0.80 ? 2
                                  : pick < 0.92 ? 3
                                                : 4 + static_cast<int>(m_random.below(3));
        std::vector<Exchange> exchanges;
        std::vector<int64_t> requestTimes, responseTimes, transferUs;
        int64_t requestUs = openUs + c.rttUs + 60;
        for (int k = 0; k < exchangeCount; ++k) {
            const int64_t responseUs =
                requestUs + c.rttUs + static_cast<int64_t>(m_random.logUniform(300, 40 * kMs));
            exchanges.push_back(
                MakeExchange(m_random, m_nextExchangeId++, server, client, responseUs));
            const int64_t transfer = std::min<int64_t>(
                kMaxTransferUs,
                static_cast<int64_t>(static_cast<double>(exchanges.back().response->size()) /
                                     bytesPerUs));
            requestTimes.push_back(requestUs);
            responseTimes.push_back(responseUs);
            transferUs.push_back(transfer);
            requestUs = responseUs + kMaxResponseSpanUs + kMinPauseUs +
                        static_cast<int64_t>(m_random.logUniform(1, 5 * kSecond));
        }

        // Initial sequence numbers that wrap nowhere in the connection and give every data
        // segment an acknowledgment number (its stream key) not used anywhere else.
        uint64_t clientBytes = 0, serverBytes = 0;
        for (const Exchange& x : exchanges) {
            clientBytes += x.request->size();
            serverBytes += x.response->size();
        }
        uint32_t clientIsn = 0, serverIsn = 0;
        std::vector<uint32_t> keys;
        for (;;) {
            clientIsn = static_cast<uint32_t>(m_random.next());
            serverIsn = static_cast<uint32_t>(m_random.next());
            if (uint64_t{clientIsn} + clientBytes + 2 > UINT32_MAX ||
                uint64_t{serverIsn} + serverBytes + 2 > UINT32_MAX)
                continue;
            keys.clear();
            uint32_t clientNext = clientIsn + 1, serverNext = serverIsn + 1;
            for (const Exchange& x : exchanges) {
                keys.push_back(serverNext);  // the request's
                clientNext += static_cast<uint32_t>(x.request->size());
                keys.push_back(clientNext);  // the response's
                serverNext += static_cast<uint32_t>(x.response->size());
            }
            std::vector<uint32_t> sorted = keys;
            std::sort(sorted.begin(), sorted.end());
            const bool fresh = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end() &&
                               std::none_of(keys.begin(), keys.end(), [&](uint32_t k) {
                                   return k == 0 || m_usedKeys.contains(k);
                               });
            if (fresh)
                break;
        }
        m_usedKeys.insert(keys.begin(), keys.end());

        Segment base;
        base.connection = static_cast<uint32_t>(m_connections.size());
        m_connections.push_back(c);
        auto send = [&](int64_t timeUs, bool fromServer, uint8_t flagBits, uint32_t sequence,
                        uint32_t acknowledgment) {
            Segment s = base;
            s.timeUs = timeUs;
            s.fromServer = fromServer;
            s.flagBits = flagBits;
            s.sequence = sequence;
            s.acknowledgment = acknowledgment;
            return s;
        };

        uint32_t clientNext = clientIsn + 1, serverNext = serverIsn + 1;
        schedule(send(openUs, false, flags::kSyn, clientIsn, 0));
        schedule(send(openUs + c.rttUs, true, flags::kSyn | flags::kAck, serverIsn, clientNext));
        schedule(send(openUs + c.rttUs + 30, false, flags::kAck, clientNext, serverNext));

        int64_t lastUs = 0;
        for (size_t k = 0; k < exchanges.size(); ++k) {
            const Exchange& x = exchanges[k];
            Segment request =
                send(requestTimes[k], false, flags::kPsh | flags::kAck, clientNext, serverNext);
            request.payload = x.request;
            request.payloadLength = static_cast<uint16_t>(x.request->size());
            schedule(std::move(request));
            clientNext += static_cast<uint32_t>(x.request->size());
            lastUs =
                scheduleResponse(base, x, responseTimes[k], transferUs[k], serverNext, clientNext);
            serverNext += static_cast<uint32_t>(x.response->size());
            ++m_totals.byKind[static_cast<int>(x.kind)];
            std::fprintf(m_manifest, "%s\t%d\t%s\t%s\t%llu\t%s\t%u\t%u\t%s\t%lld\n",
                         KindName(x.kind), x.status, AddressText(server.address).c_str(),
                         AddressText(client.address).c_str(),
                         static_cast<unsigned long long>(x.storedLength), x.storedDigest.c_str(),
                         server.port, c.clientPort, x.contentType.c_str(),
                         static_cast<long long>(responseTimes[k]));
        }

        // The close: either side sends its FIN after an idle while, the other answers with
        // its own, and the first acknowledges it.
        const int64_t closeUs =
            lastUs + static_cast<int64_t>(m_random.logUniform(20 * kMs, 2 * kSecond));
        const bool serverCloses = m_random.chance(0.5);
        const uint8_t finAck = flags::kFin | flags::kAck;
        if (serverCloses) {
            schedule(send(closeUs, true, finAck, serverNext, clientNext));
            schedule(send(closeUs + c.rttUs, false, finAck, clientNext, serverNext + 1));
            schedule(
                send(closeUs + c.rttUs + 30, true, flags::kAck, serverNext + 1, clientNext + 1));
        } else {
            schedule(send(closeUs, false, finAck, clientNext, serverNext));
            schedule(send(closeUs + c.rttUs, true, finAck, serverNext, clientNext + 1));
            schedule(
                send(closeUs + c.rttUs + 30, false, flags::kAck, clientNext + 1, serverNext + 1));
        }
        const int64_t endUs = closeUs + c.rttUs + 30;
        m_pairBusyUntil[PairKey(clientIndex, serverIndex)] = endUs + kMinPauseUs;

        // Connections open at this moment, this one included.
        while (!m_openUntil.empty() && m_openUntil.top() <= openUs)
            m_openUntil.pop();
        m_openUntil.push(endUs);
        ++m_totals.connections;
        m_totals.mostOpen = std::max(m_totals.mostOpen, m_openUntil.size());
        m_totals.openSum += static_cast<double>(m_openUntil.size());
    }

    // Schedules a response's segments from `startUs` over `transferUs`, with its
    // retransmissions and swaps, and the client's ACKs for it; returns the time of its last
    // segment.
    int64_t scheduleResponse(const Segment& base, const Exchange& x, int64_t startUs,
                             int64_t transferUs, uint32_t firstSequence, uint32_t clientNext) {
        // Cuts: the header alone first for half of the responses, then full segments.
        struct Piece {
            uint32_t offset;
            uint16_t length;
            int64_t timeUs;
        };
        std::vector<Piece> pieces;
        const size_t size = x.response->size();
        size_t at = 0;
        if (m_random.chance(0.5) && x.headerBytes < size) {
            pieces.push_back({0, static_cast<uint16_t>(x.headerBytes), 0});
            at = x.headerBytes;
        }
        for (; at < size; at += kMaxSegmentPayload)
            pieces.push_back({static_cast<uint32_t>(at),
                              static_cast<uint16_t>(std::min(kMaxSegmentPayload, size - at)), 0});
        const double spacing = static_cast<double>(transferUs) / static_cast<double>(pieces.size());
        for (size_t i = 0; i < pieces.size(); ++i)
            pieces[i].timeUs =
                startUs +
                static_cast<int64_t>(spacing * (static_cast<double>(i) + 0.3 * m_random.unit()));
        // Out of order: a segment overtaken by the one behind it.
        for (size_t i = 0; i + 1 < pieces.size(); ++i) {
            if (m_random.chance(kSwapShare)) {
                std::swap(pieces[i].timeUs, pieces[i + 1].timeUs);
                ++m_totals.swapped;
                ++i;
            }
        }
        // Sent twice: a copy some milliseconds after the first.
        const size_t originals = pieces.size();
        for (size_t i = 0; i < originals; ++i) {
            if (m_random.chance(kRetransmitShare)) {
                Piece again = pieces[i];
                again.timeUs +=
                    static_cast<int64_t>(m_random.logUniform(5 * kMs, kMaxRetransmitDelayUs));
                pieces.push_back(again);
                ++m_totals.retransmitted;
            }
        }
        std::stable_sort(pieces.begin(), pieces.end(),
                         [](const Piece& a, const Piece& b) { return a.timeUs < b.timeUs; });

        // The client acknowledges every second segment that extends what it holds in order,
        // and at once any segment out of order or already held (a duplicate ACK).
        uint32_t contiguous = firstSequence;
        std::vector<std::pair<uint32_t, uint32_t>> ahead;  // [begin, end) held past a hole
        int unacknowledged = 0;
        for (const Piece& p : pieces) {
            Segment s = base;
            s.timeUs = p.timeUs;
            s.fromServer = true;
            s.flagBits = flags::kAck;
            if (p.offset + p.length == size || p.offset == 0)
                s.flagBits |= flags::kPsh;
            s.sequence = firstSequence + p.offset;
            s.acknowledgment = clientNext;
            s.payload = x.response;
            s.payloadOffset = p.offset;
            s.payloadLength = p.length;
            schedule(std::move(s));

            const uint32_t begin = firstSequence + p.offset, end = begin + p.length;
            bool ackNow = false;
            if (begin == contiguous) {
                contiguous = end;
                std::sort(ahead.begin(), ahead.end());
                for (auto it = ahead.begin(); it != ahead.end();) {
                    if (it->first <= contiguous) {
                        contiguous = std::max(contiguous, it->second);
                        it = ahead.erase(it);
                    } else {
                        ++it;
                    }
                }
                ackNow = ++unacknowledged >= 2 || contiguous == firstSequence + size;
            } else {
                if (begin > contiguous)
                    ahead.emplace_back(begin, end);
                ackNow = true;
            }
            if (ackNow) {
                unacknowledged = 0;
                Segment ack = base;
                ack.timeUs = p.timeUs + 20 + m_random.below(40);
                ack.flagBits = flags::kAck;
                ack.sequence = clientNext;
                ack.acknowledgment = contiguous;
                schedule(std::move(ack));
            }
        }
        return pieces.back().timeUs;
    }

    static uint64_t PairKey(uint32_t client, uint32_t server) {
        return (uint64_t{client} << 32) | server;
    }
    static std::string AddressText(uint32_t a) {
        return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." +
               std::to_string((a >> 8) & 255) + "." + std::to_string(a & 255);
    }

    Random m_random;
    uint64_t m_targetBytes;
    FILE* m_manifest;
    std::vector<Server> m_servers;
    std::vector<Client> m_clients;
    std::vector<Connection> m_connections;
    std::priority_queue<Segment, std::vector<Segment>, Later> m_pending;
    std::priority_queue<int64_t, std::vector<int64_t>, std::greater<>> m_openUntil;
    std::unordered_map<uint64_t, int64_t> m_pairBusyUntil;
    std::unordered_set<uint32_t> m_usedKeys;
    std::array<uint8_t, 20 + 40 + kMaxSegmentPayload> m_datagram{};
    uint64_t m_order = 0;
    uint64_t m_nextExchangeId = 1;
    int64_t m_lastTimeUs = 0;
    Totals m_totals;
};

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "make_http_capture: %s\n"
                 "usage: make_http_capture [--bytes N] --out FILE.pcap --manifest FILE.tsv "
                 "[--seed S]\n",
                 problem);
    return 2;
}

bool ParseNumber(const char* text, uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-')
        return false;
    value = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t bytes = kDefaultBytes, seed = 1;
    std::string out, manifestPath;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i + 1 >= argc)
            return Usage(("missing value after " + std::string(arg)).c_str());
        const char* value = argv[++i];
        if (arg == "--bytes") {
            if (!ParseNumber(value, bytes) || bytes == 0)
                return Usage("--bytes needs a positive whole number");
        } else if (arg == "--seed") {
            if (!ParseNumber(value, seed))
                return Usage("--seed needs a whole number");
        } else if (arg == "--out") {
            out = value;
        } else if (arg == "--manifest") {
            manifestPath = value;
        } else {
            return Usage(("unknown option " + std::string(arg)).c_str());
        }
    }
    if (out.empty() || manifestPath.empty())
        return Usage("--out and --manifest are required");

    const auto started = std::chrono::steady_clock::now();
    FILE* manifest = std::fopen(manifestPath.c_str(), "w");
    if (manifest == nullptr) {
        std::fprintf(stderr, "make_http_capture: cannot create %s: %s\n", manifestPath.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::fprintf(manifest,
                 "#kind\tstatus\tsource_ip\tdest_ip\tbody_length\tsha256\tsource_port\tdest_port"
                 "\tcontent_type\tfirst_segment_us\n");
    vorlanx::PcapFileWriter writer;
    if (const int error = writer.open(out, vorlanx::PcapLinkType::RawIp); error != 0) {
        std::fprintf(stderr, "make_http_capture: cannot create %s: %s\n", out.c_str(),
                     std::strerror(error));
        std::fclose(manifest);
        return 1;
    }

    CaptureBuilder builder(seed, bytes, manifest);
    int error = builder.run(writer);
    if (const int closeError = writer.close(); error == 0)
        error = closeError;
    if (error != 0) {
        std::fprintf(stderr, "make_http_capture: writing %s failed: %s\n", out.c_str(),
                     std::strerror(error));
        std::fclose(manifest);
        return 1;
    }
    if (std::ferror(manifest) != 0 || std::fclose(manifest) != 0) {
        std::fprintf(stderr, "make_http_capture: writing %s failed\n", manifestPath.c_str());
        return 1;
    }

    const Totals& t = builder.totals();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    uint64_t responses = 0;
    for (uint64_t n : t.byKind)
        responses += n;
    std::fprintf(
        stderr,
        "make_http_capture: %s: %llu bytes, %llu records, %.1f s of traffic; "
        "%llu connections (at most %zu open, %.0f on average), %llu responses "
        "(length %llu, chunked %llu, gzip %llu, gzip-chunked %llu, partial %llu, "
        "404 %llu, 304 %llu); %llu segments sent twice, %llu pairs swapped; "
        "written in %.1f s\n",
        out.c_str(), static_cast<unsigned long long>(t.captureBytes),
        static_cast<unsigned long long>(t.records),
        static_cast<double>(builder.lastTimeUs() - kCaptureStartUs) / kSecond,
        static_cast<unsigned long long>(t.connections), t.mostOpen,
        t.connections ? t.openSum / static_cast<double>(t.connections) : 0.0,
        static_cast<unsigned long long>(responses), static_cast<unsigned long long>(t.byKind[0]),
        static_cast<unsigned long long>(t.byKind[1]), static_cast<unsigned long long>(t.byKind[2]),
        static_cast<unsigned long long>(t.byKind[3]), static_cast<unsigned long long>(t.byKind[4]),
        static_cast<unsigned long long>(t.byKind[5]), static_cast<unsigned long long>(t.byKind[6]),
        static_cast<unsigned long long>(t.retransmitted),
        static_cast<unsigned long long>(t.swapped), seconds);
    return 0;
}
