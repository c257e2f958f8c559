#include "soak/soak_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string_view>

namespace vorlanx::soak {

namespace {

sockaddr_in Address(const std::string& address, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
}

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool SendAll(int fd, const std::string& text) { return SendAll(fd, text.data(), text.size()); }

void SetTimeouts(int fd, int seconds) {
    timeval t{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
}

constexpr const char* kContentTypes[] = {"application/octet-stream", "text/plain", "image/png",
                                         "text/html", "application/json"};

// The data of a chunked body, or nothing when it is not well formed.
std::optional<std::string> Dechunk(const std::string& body) {
    std::string data;
    size_t at = 0;
    while (true) {
        const size_t lineEnd = body.find("\r\n", at);
        if (lineEnd == std::string::npos)
            return std::nullopt;
        char* end = nullptr;
        const std::string line = body.substr(at, lineEnd - at);
        const size_t size = std::strtoul(line.c_str(), &end, 16);
        if (end == line.c_str())
            return std::nullopt;
        at = lineEnd + 2;
        if (size == 0)
            return data;
        if (at + size + 2 > body.size())
            return std::nullopt;
        data.append(body, at, size);
        at += size + 2;
    }
}

}  // namespace

std::string SoakBody(uint64_t id, size_t size) {
    std::string body = "VORLANX-SOAK " + std::to_string(id) + " " + std::to_string(size) + "\n";
    const size_t header = body.size();
    body.resize(std::max(size, kMinBodyBytes));
    uint64_t state = id * 0x9E3779B97F4A7C15ULL + 1;
    for (size_t i = header; i < body.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        body[i] = static_cast<char>(state >> 24);
    }
    return body;
}

std::optional<BodyName> ReadBodyName(const std::string& bytes) {
    unsigned long long id = 0;
    size_t size = 0;
    const std::string first = bytes.substr(0, bytes.find('\n'));
    if (std::sscanf(first.c_str(), "VORLANX-SOAK %llu %zu", &id, &size) != 2)
        return std::nullopt;
    return BodyName{id, size};
}

bool IsCutFirstLine(const std::string& bytes) {
    const std::string_view mark = "VORLANX-SOAK ";
    if (bytes.size() <= mark.size())
        return mark.starts_with(bytes);
    return bytes.size() < kMinBodyBytes && bytes.starts_with(mark) &&
           bytes.find_first_not_of("0123456789 ", mark.size()) == std::string::npos;
}

SoakHttpServer::SoakHttpServer(const char* address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Address(address, 0);
    socklen_t length = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(fd, 64) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    m_listener = fd;
    m_port = ntohs(a.sin_port);
    for (int i = 0; i < 2; ++i)
        m_threads.emplace_back([this] { serve(); });
}

SoakHttpServer::~SoakHttpServer() {
    if (m_listener >= 0)
        ::shutdown(m_listener, SHUT_RDWR);  // wakes both accepts
    for (std::thread& t : m_threads)
        t.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

void SoakHttpServer::serve() {
    std::mt19937 random(static_cast<unsigned>(m_port));
    while (true) {
        const int peer = ::accept(m_listener, nullptr, nullptr);
        if (peer < 0)
            return;
        SetTimeouts(peer, 15);
        std::string request;
        char buffer[2048];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
            const ssize_t n = ::recv(peer, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<size_t>(n));
        }
        unsigned long long id = 0;
        size_t size = 0;
        char kind = 0;
        if (std::sscanf(request.c_str(), "GET /%llu/%zu/%c ", &id, &size, &kind) != 3) {
            SendAll(peer, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            ::close(peer);
            continue;
        }
        const std::string body = SoakBody(id, size);
        std::string head = "HTTP/1.1 200 OK\r\nContent-Type: ";
        head += kContentTypes[id % std::size(kContentTypes)];
        head += kind == 'C' ? "\r\nTransfer-Encoding: chunked"
                            : "\r\nContent-Length: " + std::to_string(body.size());
        head += "\r\nConnection: close\r\n\r\n";
        bool ok = SendAll(peer, head);
        if (kind == 'C') {
            for (size_t at = 0; ok && at < body.size();) {
                const size_t piece = std::min<size_t>(body.size() - at, 1 + random() % 40000);
                char line[64];
                std::snprintf(line, sizeof line, "%zx%s\r\n", piece,
                              piece % 5 == 0 ? ";soak=ext" : "");
                ok = SendAll(peer, line) && SendAll(peer, body.data() + at, piece) &&
                     SendAll(peer, "\r\n");
                at += piece;
            }
            ok = ok && SendAll(peer, "0\r\n\r\n");
        } else {
            ok = SendAll(peer, body);
        }
        ::close(peer);
    }
}

SoakHttpClients::SoakHttpClients(const char* address, uint16_t port, int clients)
    : m_address(address), m_port(port) {
    for (int i = 0; i < clients; ++i)
        m_threads.emplace_back([this, i] { fetchLoop(i); });
}

void SoakHttpClients::stop() {
    m_stop.store(true);
    for (std::thread& t : m_threads)
        t.join();
    m_threads.clear();
}

bool SoakHttpClients::wasServed(uint64_t id) const {
    std::lock_guard lock(m_mutex);
    return id < m_servedIds.size() && m_servedIds[id];
}

void SoakHttpClients::fetchLoop(int client) {
    std::mt19937_64 random(static_cast<uint64_t>(client) + 17);
    // Most bodies small, some of a few hundred KB, a few of megabytes.
    const auto pickSize = [&random]() -> size_t {
        const uint64_t band = random() % 10;
        const auto between = [&random](size_t low, size_t high) {
            return low + static_cast<size_t>(random() % (high - low));
        };
        if (band < 4)
            return between(kMinBodyBytes, 4096);
        if (band < 7)
            return between(4096, 65536);
        if (band < 9)
            return between(65536, 512 * 1024);
        return between(512 * 1024, 3 * 1024 * 1024);
    };
    while (!m_stop.load()) {
        const uint64_t id = m_nextId.fetch_add(1);
        const size_t size = pickSize();
        const bool chunked = id % 2 == 0;
        if (fetch(id, size, chunked)) {
            m_served.fetch_add(1);
            m_servedBytes.fetch_add(size);
            m_chunked.fetch_add(chunked ? 1 : 0);
            std::lock_guard lock(m_mutex);
            if (m_servedIds.size() <= id)
                m_servedIds.resize(id + 1024);
            m_servedIds[id] = true;
        } else {
            m_failed.fetch_add(1);
        }
        // About 8 MB/s a client: continuous, yet far below what the capture ring holds.
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + size / 8000));
    }
}

bool SoakHttpClients::fetch(uint64_t id, size_t size, bool chunked) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    SetTimeouts(fd, 15);
    const sockaddr_in server = Address(m_address, m_port);
    std::string response;
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0 &&
              SendAll(fd, "GET /" + std::to_string(id) + "/" + std::to_string(size) + "/" +
                              (chunked ? "C" : "L") + " HTTP/1.1\r\nHost: " + m_address +
                              "\r\nConnection: close\r\n\r\n");
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        response.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    const size_t headEnd = response.find("\r\n\r\n");
    if (!ok || response.rfind("HTTP/1.1 200 ", 0) != 0 || headEnd == std::string::npos)
        return false;
    const std::string body = response.substr(headEnd + 4);
    const std::optional<std::string> data = chunked ? Dechunk(body) : std::optional(body);
    return data && *data == SoakBody(id, size);
}

}  // namespace vorlanx::soak
