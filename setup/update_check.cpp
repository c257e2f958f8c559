#include "setup/update_check.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "settings/product.h"

namespace vorlanx {

namespace {

// A failed exchange: the errno of the step that failed, and its text as the answer.
VersionReply Failure(int error) {
    if (error == 0)
        error = EIO;
    return {error, "Error " + std::to_string(error)};
}

// Closes the socket when the exchange ends, however it ends.
class Socket {
  public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

  private:
    int m_fd;
};

}  // namespace

std::string VersionFileRequest(std::string_view host, std::string_view fileName) {
    std::string request = "GET /";
    request.append(fileName);
    request.append(" HTTP/1.1\r\nUser-Agent: ");
    request.append(kProductName);
    request.push_back(' ');
    request.append(kProductVersion);
    request.append("\r\nHost: ");
    request.append(host);
    request.append("\r\n\r\n");
    return request;
}

VersionReply FetchVersionFile(const std::string& host, uint16_t port, const std::string& fileName,
                              int timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || host.find('\0') != std::string::npos ||
        getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return Failure(EHOSTUNREACH);
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons(port);

    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (socket.fd() < 0)
        return Failure(errno);
    // A server that never answers must not hold the check (and the window's close that
    // waits for it) for ever: connect, send and each receive give up after the time-out
    // (a blocking connect on Linux waits at most the send time-out).
    const timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    int connected;
    do {
        connected =
            ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (connected != 0 && errno == EINTR);
    if (connected != 0)
        return Failure(errno);

    const std::string request = VersionFileRequest(host, fileName);
    size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n =
            ::send(socket.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Failure(n < 0 ? errno : EIO);
        sent += static_cast<size_t>(n);
    }
    return ReceiveVersionReply(socket.fd());
}

VersionReply ReceiveVersionReply(int socket) {
    VersionReply reply;
    reply.answer.resize(kVersionReplyBytes);
    size_t received = 0;
    // One receive may hold half a status line: read on until the status is in.
    while (received < kStatusBytes) {
        const ssize_t n = ::recv(socket, reply.answer.data() + received,
                                 kVersionReplyBytes - received, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (received == 0)
                return Failure(errno);
            break;  // what came before the time-out is the answer
        }
        if (n == 0)
            break;  // the server closed
        received += static_cast<size_t>(n);
    }
    reply.answer.resize(received);
    return reply;
}

UpdateVerdict JudgeVersionReply(const VersionReply& reply) {
    if (reply.failed())
        return UpdateVerdict::ConnectionFailed;
    if (reply.answer.size() < kStatusBytes)
        return UpdateVerdict::NothingToSay;
    const std::string_view status = std::string_view(reply.answer).substr(9, 3);
    if (status == "200")
        return UpdateVerdict::Latest;
    if (status == "404")
        return UpdateVerdict::NewerAvailable;
    return UpdateVerdict::NothingToSay;
}

UpdateVerdict CheckForNewerVersion(const std::string& host, uint16_t port,
                                   const std::string& fileName, int timeoutMs) {
    return JudgeVersionReply(FetchVersionFile(host, port, fileName, timeoutMs));
}

std::optional<PromptRequest> UpdateMessage(UpdateVerdict verdict) {
    PromptRequest message;
    message.owned = true;
    switch (verdict) {
        case UpdateVerdict::ConnectionFailed:
            message.caption = "Error";
            message.text =
                "There was an error connecting to the server:\r\n\r\n1. Make sure you are "
                "connected to the internet.\r\n2. If you have a software based firewall make "
                "sure this program is permitted to access the internet.";
            message.icon = PromptIcon::Error;
            return message;
        case UpdateVerdict::Latest:
            message.caption = kProductName;
            message.text = std::string("You have the latest version of ") + kProductName +
                           " available at this time.";
            message.icon = PromptIcon::Information;
            return message;
        case UpdateVerdict::NewerAvailable:
            message.caption = "Version Notification";
            message.text = std::string("There is a newer version of ") + kProductName +
                           " available.\n     Would you like to go to the description page?";
            message.icon = PromptIcon::Question;
            message.buttons = PromptButtons::YesNo;
            return message;
        case UpdateVerdict::NothingToSay:
            break;
    }
    return std::nullopt;
}

}  // namespace vorlanx
