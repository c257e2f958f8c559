#include "setup/update_check.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/host_names.h"
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

using Clock = std::chrono::steady_clock;

// Waits until `socket` is ready for `events`, in slices short enough to notice a stop
// request: 0 when ready, else ETIMEDOUT, ECANCELED or the error of poll.
int WaitFor(int socket, short events, Clock::time_point deadline, const std::stop_token& stop) {
    for (;;) {
        if (stop.stop_requested())
            return ECANCELED;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return ETIMEDOUT;
        pollfd entry{socket, events, 0};
        const int n = ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
        if (n > 0)
            return 0;  // ready, or an error the next call reports
        if (n < 0 && errno != EINTR)
            return errno;
    }
}

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
                              int timeoutMs, std::stop_token stop) {
    const std::optional<std::string> dotted = ResolveHostIpv4(host);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (!dotted || ::inet_pton(AF_INET, dotted->c_str(), &address.sin_addr) != 1)
        return Failure(EHOSTUNREACH);

    // A server that never answers must not hold the check (or the window's close that
    // ends it) for ever: each step waits with a deadline and notices a stop request.
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
    if (socket.fd() < 0)
        return Failure(errno);
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS)
            return Failure(errno);
        if (const int waited = WaitFor(socket.fd(), POLLOUT,
                                       Clock::now() + std::chrono::milliseconds(timeoutMs), stop))
            return Failure(waited);
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return Failure(errno);
        if (error != 0)
            return Failure(error);
    }

    const std::string request = VersionFileRequest(host, fileName);
    const auto sendDeadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n =
            ::send(socket.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return Failure(errno);
        if (const int waited = WaitFor(socket.fd(), POLLOUT, sendDeadline, stop))
            return Failure(waited);
    }
    return ReceiveVersionReply(socket.fd(), timeoutMs, stop);
}

VersionReply ReceiveVersionReply(int socket, int timeoutMs, std::stop_token stop) {
    VersionReply reply;
    reply.answer.resize(kVersionReplyBytes);
    size_t received = 0;
    // One receive may hold half a status line: read on until the status is in.
    while (received < kStatusBytes) {
        int error =
            WaitFor(socket, POLLIN, Clock::now() + std::chrono::milliseconds(timeoutMs), stop);
        ssize_t n = -1;
        if (error == 0) {
            n = ::recv(socket, reply.answer.data() + received, kVersionReplyBytes - received,
                       MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            error = errno;
        }
        if (n < 0) {
            if (received == 0 || error == ECANCELED)
                return Failure(error);
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
                                   const std::string& fileName, int timeoutMs,
                                   std::stop_token stop) {
    return JudgeVersionReply(FetchVersionFile(host, port, fileName, timeoutMs, std::move(stop)));
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
