// IPv4 datagrams built byte by byte for tests: the header fields the program reads, set to
// chosen values, and a payload after a TCP, UDP or ICMP header.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorlanx::test {

struct DatagramSpec {
    uint8_t protocol = 6;
    std::array<uint8_t, 4> source{10, 0, 0, 1};
    std::array<uint8_t, 4> destination{10, 0, 0, 2};
    uint16_t sourcePort = 40000;
    uint16_t destinationPort = 80;
    std::string payload;
    // TCP header length in bytes (a multiple of 4, 20..60); the bytes beyond 20 are options.
    uint8_t tcpHeaderBytes = 20;
    // The IP total-length field; by default the real length.
    std::optional<uint16_t> totalLength;
    // Cut the datagram to this many bytes after building it.
    std::optional<size_t> truncateTo;
};

// The datagram: a 20-byte IP header, then for TCP a tcpHeaderBytes header (data offset at
// byte 32), for UDP and ICMP an 8-byte header, then the payload.
inline std::vector<uint8_t> BuildDatagram(const DatagramSpec& s) {
    std::vector<uint8_t> d(20, 0);
    d[0] = 0x45;
    d[8] = 64;  // TTL
    d[9] = s.protocol;
    for (int i = 0; i < 4; ++i) {
        d[12 + i] = s.source[static_cast<size_t>(i)];
        d[16 + i] = s.destination[static_cast<size_t>(i)];
    }
    auto put16 = [&](size_t at, uint16_t v) {
        d[at] = static_cast<uint8_t>(v >> 8);
        d[at + 1] = static_cast<uint8_t>(v);
    };
    if (s.protocol == 6) {
        d.resize(20 + s.tcpHeaderBytes, 0);
        put16(20, s.sourcePort);
        put16(22, s.destinationPort);
        d[32] = static_cast<uint8_t>((s.tcpHeaderBytes / 4) << 4);
        d[33] = 0x18;  // PSH ACK
    } else if (s.protocol == 17 || s.protocol == 1) {
        d.resize(28, 0);
        if (s.protocol == 17) {
            put16(20, s.sourcePort);
            put16(22, s.destinationPort);
            put16(24, static_cast<uint16_t>(8 + s.payload.size()));
        }
    }
    d.insert(d.end(), s.payload.begin(), s.payload.end());
    put16(2, s.totalLength.value_or(static_cast<uint16_t>(d.size())));
    if (s.truncateTo && *s.truncateTo < d.size())
        d.resize(*s.truncateTo);
    return d;
}

}  // namespace vorlanx::test
