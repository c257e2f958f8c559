// Real traffic on 127.0.0.1 for the live capture tests: UDP datagrams and one TCP exchange,
// each between two sockets of this process that read what they are sent.
#pragma once

#include <sys/socket.h>
#include <sys/time.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/loopback_sockets.h"

namespace vorlanx::test {

// A socket on 127.0.0.1 and a free port whose receives give up after two seconds.
inline int PatientLoopbackSocket(int type) {
    const int fd = BoundLoopbackSocket(type);
    timeval timeout{2, 0};
    if (fd >= 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

struct LoopbackUdp {
    bool ok = false;  // every datagram was sent and received
    uint16_t fromPort = 0;
    uint16_t toPort = 0;
};

// Sends each payload as one datagram and reads it at the other end.
inline LoopbackUdp SendLoopbackUdp(const std::vector<std::string>& payloads) {
    UniqueFd receiver(PatientLoopbackSocket(SOCK_DGRAM)), sender(PatientLoopbackSocket(SOCK_DGRAM));
    LoopbackUdp result;
    if (receiver.get() < 0 || sender.get() < 0)
        return result;
    result.fromPort = BoundPort(sender.get());
    result.toPort = BoundPort(receiver.get());
    const sockaddr_in to = LoopbackAddress(result.toPort);
    for (const std::string& payload : payloads) {
        char buffer[2048];
        if (::sendto(sender.get(), payload.data(), payload.size(), 0,
                     reinterpret_cast<const sockaddr*>(&to),
                     sizeof to) != static_cast<ssize_t>(payload.size()) ||
            ::recv(receiver.get(), buffer, sizeof buffer, 0) <= 0)
            return result;
    }
    result.ok = true;
    return result;
}

struct LoopbackTcp {
    bool ok = false;  // connected, and request and reply arrived whole
    uint16_t clientPort = 0;
    uint16_t serverPort = 0;
};

// Connects, sends `request`, answers it with `reply` and closes both ends.
inline LoopbackTcp ExchangeOverLoopbackTcp(const std::string& request, const std::string& reply) {
    LoopbackTcp result;
    UniqueFd listener(PatientLoopbackSocket(SOCK_STREAM));
    if (listener.get() < 0 || ::listen(listener.get(), 1) != 0)
        return result;
    result.serverPort = BoundPort(listener.get());
    UniqueFd client(PatientLoopbackSocket(SOCK_STREAM));
    result.clientPort = BoundPort(client.get());
    const sockaddr_in server = LoopbackAddress(result.serverPort);
    if (::connect(client.get(), reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0)
        return result;
    UniqueFd accepted(::accept(listener.get(), nullptr, nullptr));
    char buffer[2048];
    result.ok =
        ::send(client.get(), request.data(), request.size(), 0) ==
            static_cast<ssize_t>(request.size()) &&
        ::recv(accepted.get(), buffer, sizeof buffer, 0) == static_cast<ssize_t>(request.size()) &&
        ::send(accepted.get(), reply.data(), reply.size(), 0) ==
            static_cast<ssize_t>(reply.size()) &&
        ::recv(client.get(), buffer, sizeof buffer, 0) == static_cast<ssize_t>(reply.size());
    return result;
}

}  // namespace vorlanx::test
