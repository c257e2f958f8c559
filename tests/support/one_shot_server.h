// A one-connection HTTP server on 127.0.0.1 for tests of clients: it keeps the request and
// answers from a script.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/local_server.h"

namespace vorlanx::test {

// Listens on 127.0.0.1 (a free port), takes one connection, keeps the request and answers
// with `pieces`, each sent on its own after a short pause; with `silent` it answers nothing
// and waits for the client to give up.
class OneShotServer {
  public:
    explicit OneShotServer(std::vector<std::string> pieces, bool silent = false) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = AddressAndPort("127.0.0.1", 0);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, pieces = std::move(pieces), silent] {
            const int peer = ::accept(m_listener, nullptr, nullptr);
            if (peer < 0)
                return;
            char buffer[4096];
            while (m_request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(peer, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                m_request.append(buffer, static_cast<size_t>(n));
            }
            for (const std::string& piece : pieces) {
                ::send(peer, piece.data(), piece.size(), MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
            if (silent)
                while (::recv(peer, buffer, sizeof buffer, 0) > 0) {
                }
            ::close(peer);
        });
    }
    ~OneShotServer() {
        ::shutdown(m_listener, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listener);
    }
    uint16_t port() const { return m_port; }
    // The request received; call after the exchange.
    const std::string& request() {
        if (m_thread.joinable())
            m_thread.join();
        return m_request;
    }

  private:
    int m_listener = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::string m_request;
};

}  // namespace vorlanx::test
