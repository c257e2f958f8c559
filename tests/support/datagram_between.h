// A datagram of one protocol from an address and port to another: the shape most captured
// and filtered test datagrams take.
#pragma once

#include "support/test_datagram.h"

namespace vorlanx::test {

inline std::vector<uint8_t> BuildDatagramBetween(uint8_t protocol, std::array<uint8_t, 4> from,
                                                 std::array<uint8_t, 4> to, uint16_t sourcePort,
                                                 uint16_t destinationPort,
                                                 std::string payload = "") {
    return BuildDatagram({.protocol = protocol,
                          .source = from,
                          .destination = to,
                          .sourcePort = sourcePort,
                          .destinationPort = destinationPort,
                          .payload = std::move(payload)});
}

}  // namespace vorlanx::test
