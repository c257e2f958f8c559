// Real sockets on 127.0.0.1 for the live capture tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace vorlanx::test {

// True when this process may open a capture socket (CAP_NET_RAW).
inline bool CanCapture() {
    const int probe = ::socket(AF_PACKET, SOCK_DGRAM, 0);
    if (probe < 0) {
        return false;
    }
    ::close(probe);
    return true;
}

// A descriptor closed with its scope.
class UniqueFd {
  public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }

  private:
    int m_fd;
};

inline sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// The local port a socket is bound to.
inline uint16_t BoundPort(int fd) {
    sockaddr_in a{};
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
}

// A socket of `type` (SOCK_DGRAM, SOCK_STREAM) bound to 127.0.0.1 and a free port.
inline int BoundLoopbackSocket(int type) {
    const int fd = ::socket(AF_INET, type, 0);
    const sockaddr_in a = LoopbackAddress(0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    return fd;
}

}  // namespace vorlanx::test
