// Building and reshaping TCP segments for the File Mode stream tests.
//
// The tests start from real recorded exchanges (tests/data) and reshape them in code: the
// server's response bytes are cut into segments of chosen sizes, renumbered, reordered,
// duplicated or dropped, and the rebuilt stream is compared with what was served.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/pcap_file_source.h"
#include "support/test_datagram.h"

namespace vorlanx::test {

using Bytes = std::vector<uint8_t>;

inline std::string DataPath(const std::string& name) {
    return std::string(VORLANX_TEST_DATA_DIR) + "/" + name;
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline uint32_t Be32At(const Bytes& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           uint32_t{b[at + 3]};
}
inline uint16_t Be16At(const Bytes& b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}
inline void PutBe32(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 24);
    b[at + 1] = static_cast<uint8_t>(v >> 16);
    b[at + 2] = static_cast<uint8_t>(v >> 8);
    b[at + 3] = static_cast<uint8_t>(v);
}

// Every IPv4 datagram of a capture file, in order.
inline std::vector<Bytes> ReadCapture(const std::string& path) {
    auto source = PcapFileSource::openFile(path);
    std::vector<Bytes> datagrams;
    while (auto d = source->receive()) {
        datagrams.emplace_back(d->begin(), d->end());
    }
    return datagrams;
}

inline size_t TcpPayloadOffset(const Bytes& d) {
    return 20u + (d[32] >> 4) * 4u;
}

// One TCP segment: its datagram and the fields the tests reshape.
struct Segment {
    Bytes datagram;
    uint32_t sequence() const { return Be32At(datagram, 24); }
    uint32_t ack() const { return Be32At(datagram, 28); }
    std::string payload() const {
        return std::string(datagram.begin() + static_cast<long>(TcpPayloadOffset(datagram)),
                           datagram.end());
    }
};

// The data-carrying TCP segments sent from `sourcePort`, in capture order.
inline std::vector<Segment> DataSegmentsFrom(const std::vector<Bytes>& datagrams,
                                             uint16_t sourcePort) {
    std::vector<Segment> out;
    for (const Bytes& d : datagrams) {
        if (d.size() >= 40 && d[9] == 6 && Be16At(d, 20) == sourcePort &&
            TcpPayloadOffset(d) < d.size()) {
            out.push_back(Segment{d});
        }
    }
    return out;
}

// The bytes one side sent: the payloads in capture order (the recording has no loss).
inline std::string Concatenate(const std::vector<Segment>& segments) {
    std::string all;
    for (const Segment& s : segments)
        all += s.payload();
    return all;
}

// A copy of `model` (its IP and TCP headers, options included) carrying `payload` at
// sequence number `sequence`.
inline Segment Reshaped(const Segment& model, uint32_t sequence, const std::string& payload) {
    Bytes d(model.datagram.begin(),
            model.datagram.begin() + static_cast<long>(TcpPayloadOffset(model.datagram)));
    d.insert(d.end(), payload.begin(), payload.end());
    PutBe32(d, 24, sequence);
    d[2] = static_cast<uint8_t>(d.size() >> 8);
    d[3] = static_cast<uint8_t>(d.size());
    return Segment{d};
}

// `data` cut into segments of `piece` bytes (the last may be shorter) numbered from
// `firstSequence` (wrapping modulo 2^32), with `model`'s headers.
inline std::vector<Segment> Cut(const Segment& model, const std::string& data,
                                uint32_t firstSequence, size_t piece) {
    std::vector<Segment> out;
    for (size_t at = 0; at < data.size(); at += piece) {
        out.push_back(
            Reshaped(model, firstSequence + static_cast<uint32_t>(at), data.substr(at, piece)));
    }
    return out;
}

// A crafted TCP data segment.
inline Bytes TcpSegment(uint32_t sequence, uint32_t ack, const std::string& payload,
                        std::array<uint8_t, 4> source = {10, 0, 0, 1},
                        std::array<uint8_t, 4> destination = {10, 0, 0, 2},
                        uint16_t sourcePort = 80, uint16_t destinationPort = 40000) {
    DatagramSpec spec;
    spec.source = source;
    spec.destination = destination;
    spec.sourcePort = sourcePort;
    spec.destinationPort = destinationPort;
    spec.payload = payload;
    Bytes d = BuildDatagram(spec);
    PutBe32(d, 24, sequence);
    PutBe32(d, 28, ack);
    return d;
}

// The acknowledgement-number field as the four bytes stand (the table's key).
inline uint32_t KeyOf(const Bytes& datagram) {
    uint32_t key = 0;
    std::memcpy(&key, datagram.data() + 28, 4);
    return key;
}

}  // namespace vorlanx::test
