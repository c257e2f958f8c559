// A capture file of many HTTP responses in flight at once, for the File Mode replays.
//
// Two waves of kPerWave responses from as many servers to one client, their segments
// interleaved one per recorded millisecond. The second wave reuses the first wave's
// acknowledgement numbers 20 s of recorded time later, so only a replay that follows the
// recording's clock keeps the two apart. Plain Content-Length, chunked and 206 responses
// are mixed, and three of the first wave arrive short: a Content-Length never reached, a
// chunked body without its last chunk, and a segment lost from the middle.
#pragma once

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "capture/pcap_file_writer.h"
#include "filemode/stream_test_support.h"

namespace vorlanx::test {

struct InterleavedRecording {
    static constexpr size_t kPerWave = 120;
    std::string path;
    // Each file written with the name template "%SIP": its name and bytes.
    std::map<std::string, std::string> files;
    size_t datagrams = 0;
};

inline InterleavedRecording WriteInterleavedRecording(const std::filesystem::path& path) {
    struct Response {
        std::vector<Bytes> segments;
        size_t next = 0;
    };
    constexpr size_t kPiece = 1000;
    InterleavedRecording out;
    out.path = path.string();
    PcapFileWriter writer;
    if (writer.open(out.path) != 0)
        return out;
    int64_t at = 1700000000LL * 1000000;  // microseconds
    for (uint8_t wave = 0; wave < 2; ++wave) {
        std::vector<Response> inFlight;
        for (size_t i = 0; i < InterleavedRecording::kPerWave; ++i) {
            const std::array<uint8_t, 4> server{10, static_cast<uint8_t>(wave + 1),
                                                static_cast<uint8_t>(i / 256),
                                                static_cast<uint8_t>(i % 256)};
            std::string body;
            for (size_t n = 0; body.size() < 300 + (i * 977) % 9000; ++n)
                body += std::to_string(wave) + ":" + std::to_string(i) + ":" + std::to_string(n) + " ";
            const bool firstWave = wave == 0;
            std::string head, sent = body;
            switch (i % 3) {
                case 0:
                    head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                           std::to_string(body.size() + (firstWave && i == 0 ? 100 : 0)) + "\r\n";
                    break;
                case 1: {
                    head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                           "Transfer-Encoding: chunked\r\n";
                    sent.clear();
                    for (size_t c = 0; c < body.size(); c += 700) {
                        const std::string chunk = body.substr(c, 700);
                        char size[16];
                        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
                        sent += size + chunk + "\r\n";
                    }
                    if (!(firstWave && i == 1))
                        sent += "0\r\n\r\n";
                    break;
                }
                default:
                    head = "HTTP/1.1 206 Partial Content\r\nContent-Type: text/plain\r\n"
                           "Content-Range: bytes 0-" + std::to_string(body.size() - 1) + "/99999\r\n"
                           "Content-Length: " + std::to_string(body.size()) + "\r\n";
                    break;
            }
            const std::string response = head + "\r\n" + sent;
            const uint32_t ack = 0x10000u + static_cast<uint32_t>(i) * 7919u;
            const uint32_t first = 1000000u * static_cast<uint32_t>(i + 1);
            Response r;
            bool incomplete = firstWave && i < 2;
            std::string kept = body;
            for (size_t p = 0; p < response.size(); p += kPiece) {
                // The first wave's third response loses its third segment.
                if (firstWave && i == 2 && p == 2 * kPiece) {
                    kept = response.substr(head.size() + 2, p - head.size() - 2);
                    incomplete = true;
                    continue;
                }
                r.segments.push_back(TcpSegment(first + static_cast<uint32_t>(p), ack,
                                                response.substr(p, kPiece), server,
                                                {192, 168, 7, 2}, 80, 40000));
            }
            const std::string name = std::to_string(server[0]) + "." + std::to_string(server[1]) +
                                     "." + std::to_string(server[2]) + "." +
                                     std::to_string(server[3]);
            out.files[name + (incomplete ? " (incomplete)" : "") + ".txt"] = kept;
            inFlight.push_back(std::move(r));
        }
        // Round robin over the responses still sending, one segment per millisecond.
        for (bool any = true; any;) {
            any = false;
            for (Response& r : inFlight) {
                if (r.next < r.segments.size()) {
                    writer.write(r.segments[r.next++], at);
                    at += 1000;
                    ++out.datagrams;
                    any = true;
                }
            }
        }
        at += 20 * 1000000;  // 20 s of silence between the waves
    }
    writer.close();
    return out;
}

// The files in `dir`: name and bytes.
inline std::map<std::string, std::string> FilesWritten(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const Bytes bytes = ReadBytes(entry.path().string());
        files[entry.path().filename().string()] = std::string(bytes.begin(), bytes.end());
    }
    return files;
}

}  // namespace vorlanx::test
