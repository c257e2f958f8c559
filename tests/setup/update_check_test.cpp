// The update check against a real server on the loopback interface: the request's bytes,
// each kind of answer and a refused connection.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "setup/update_check.h"

namespace vorlanx {
namespace {

// Listens on 127.0.0.1 (a free port), takes one connection, keeps the request and answers
// with `reply`.
class OneShotServer {
  public:
    explicit OneShotServer(std::string reply) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, reply = std::move(reply)] {
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
            ::send(peer, reply.data(), reply.size(), MSG_NOSIGNAL);
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

TEST(UpdateCheck, AnswersFromARealServer) {
    const struct {
        std::string reply;
        UpdateVerdict verdict;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", UpdateVerdict::Latest},
        {"HTTP/1.0 200 OK\r\n\r\n", UpdateVerdict::Latest},
        {"HTTP/1.1 404 Not Found\r\n\r\n", UpdateVerdict::NewerAvailable},
        {"HTTP/1.1 301 Moved Permanently\r\nLocation: /x\r\n\r\n", UpdateVerdict::NothingToSay},
        {"HTTP/1.1 20", UpdateVerdict::NothingToSay},  // too short to hold a status
        {"", UpdateVerdict::NothingToSay},               // closed without an answer
    };
    for (const auto& c : cases) {
        OneShotServer server(c.reply);
        const std::string reply = FetchVersionFile("127.0.0.1", server.port(), kVersionFileName);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(JudgeVersionReply(reply), c.verdict) << c.reply;
        EXPECT_EQ(server.request(),
                  "GET /BrindlecraftVORLANXv1.5.2.chk HTTP/1.1\r\nUser-Agent: Brindlecraft "
                  "VORLANX 1.5\r\nHost: 127.0.0.1\r\n\r\n");
    }
    // Nobody listens on the port of a server that has gone.
    uint16_t closedPort = 0;
    { closedPort = OneShotServer("").port(); }
    const std::string refused = FetchVersionFile("127.0.0.1", closedPort, kVersionFileName);
    EXPECT_EQ(refused, "Error " + std::to_string(ECONNREFUSED));
    EXPECT_EQ(JudgeVersionReply(refused), UpdateVerdict::ConnectionFailed);
}

TEST(UpdateCheck, Messages) {
    EXPECT_EQ(UpdateMessage(UpdateVerdict::NothingToSay), std::nullopt);
    const auto error = UpdateMessage(UpdateVerdict::ConnectionFailed);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->caption, "Error");
    EXPECT_EQ(error->icon, PromptIcon::Error);
    EXPECT_EQ(error->text.substr(0, 49), "There was an error connecting to the server:\r\n\r\n1");
    const auto latest = UpdateMessage(UpdateVerdict::Latest);
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->text,
              "You have the latest version of Brindlecraft VORLANX available at this time.");
    EXPECT_EQ(latest->caption, "Brindlecraft VORLANX");
    const auto newer = UpdateMessage(UpdateVerdict::NewerAvailable);
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->text, "There is a newer version of Brindlecraft VORLANX available.\n     "
                           "Would you like to go to the description page?");
    EXPECT_EQ(newer->caption, "Version Notification");
    EXPECT_EQ(newer->buttons, PromptButtons::YesNo);
    EXPECT_TRUE(newer->owned);
}

}  // namespace
}  // namespace vorlanx
