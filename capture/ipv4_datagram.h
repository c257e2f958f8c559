// The extent of an IPv4 datagram inside the bytes a capture delivered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vorlanx {

// The datagram without link-layer padding: when the IP total-length field is a plausible
// length (20 or more) shorter than the bytes at hand, the bytes beyond it are trailer
// (Ethernet pads short frames to 60 bytes) and are cut off, as the IP layer does.
// Otherwise (offload packets with a zero total length, records cut by a snap length)
// every byte at hand is the datagram.
inline std::span<const uint8_t> WithoutLinkPadding(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4) {
        return bytes;
    }
    const size_t totalLength = (size_t{bytes[2]} << 8) | bytes[3];
    if (totalLength >= 20 && totalLength < bytes.size()) {
        return bytes.first(totalLength);
    }
    return bytes;
}

}  // namespace vorlanx
