// Arbitrary bytes as a capture file: opening and draining it must end with datagrams or a
// clear failure, never a fault. Every datagram delivered is non-empty and at most one
// receive long.
//
// libpcap is not instrumented, so the fuzzer cannot find its magic numbers alone. The
// first input byte picks how the rest becomes a file: as it is; behind a pcap file header
// of a chosen link type; as records of that link type with sound record headers (to reach
// the link-layer unwrapping); or behind a pcapng section and interface header.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "capture/packet_record.h"
#include "capture/pcap_file_source.h"

namespace {

constexpr uint16_t kLinkTypes[] = {1, 101, 228, 0, 108, 113, 276, 105, 12, 14};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PcapHeader(std::vector<uint8_t>& out, uint16_t linkType) {
    Put32(out, 0xA1B2C3D4);
    Put16(out, 2);
    Put16(out, 4);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 262144);
    Put32(out, linkType);
}

void PcapngHeader(std::vector<uint8_t>& out, uint16_t linkType) {
    Put32(out, 0x0A0D0D0A);
    Put32(out, 28);
    Put32(out, 0x1A2B3C4D);
    Put16(out, 1);
    Put16(out, 0);
    Put32(out, 0xFFFFFFFF);
    Put32(out, 0xFFFFFFFF);
    Put32(out, 28);
    Put32(out, 1);
    Put32(out, 20);
    Put16(out, linkType);
    Put16(out, 0);
    Put32(out, 262144);
    Put32(out, 20);
}

std::vector<uint8_t> BuildFile(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file;
    if (size < 2) {
        file.assign(data, data + size);
        return file;
    }
    const uint16_t linkType = kLinkTypes[data[1] % std::size(kLinkTypes)];
    const uint8_t* rest = data + 2;
    const size_t restSize = size - 2;
    switch (data[0] % 4) {
        case 0:
            file.assign(data, data + size);
            break;
        case 1:
            PcapHeader(file, linkType);
            file.insert(file.end(), rest, rest + restSize);
            break;
        case 2: {
            PcapHeader(file, linkType);
            size_t at = 0;
            uint32_t second = 0;
            while (at + 2 <= restSize) {
                // Record length from two bytes; lengths past a receive stay possible.
                size_t length = rest[at] | (size_t{rest[at + 1]} << 8);
                length = length >= 0xF000 ? 65000 + (length - 0xF000) : length % 4096;
                at += 2;
                const size_t available = std::min(length, restSize - at);
                Put32(file, ++second);
                Put32(file, 0);
                Put32(file, static_cast<uint32_t>(available));
                Put32(file, static_cast<uint32_t>(length));
                file.insert(file.end(), rest + at, rest + at + available);
                at += available;
            }
            break;
        }
        default:
            PcapngHeader(file, linkType);
            file.insert(file.end(), rest, rest + restSize);
            break;
    }
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file = BuildFile(data, size);
    FILE* stream = file.empty() ? nullptr : fmemopen(file.data(), file.size(), "rb");
    auto source = vorlanx::PcapFileSource::openStream(stream);
    while (auto datagram = source->receive()) {
        if (datagram->empty() || datagram->size() > vorlanx::kMaxDatagramBytes) {
            std::abort();
        }
        // Read every byte so the sanitizer sees any read outside the record.
        volatile uint8_t sum = 0;
        for (uint8_t b : *datagram) {
            sum = static_cast<uint8_t>(sum + b);
        }
    }
    if (source->failed() && source->errorText().empty()) {
        std::abort();
    }
    return 0;
}
