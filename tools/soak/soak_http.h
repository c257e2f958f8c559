// The HTTP side of the soak: a small HTTP/1.1 server on a loopback address and clients
// that fetch from it in a loop. Every body is made from its id and size alone, so a file
// File Mode writes can be checked against what was served without keeping the bodies.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vorlanx::soak {

// The body served under `id`: a first line "VORLANX-SOAK <id> <size>\n", then bytes of a
// generator seeded by the id, `size` bytes in all (at least kMinBodyBytes).
inline constexpr size_t kMinBodyBytes = 64;
std::string SoakBody(uint64_t id, size_t size);

// The id and size a body names in its first line; nothing when it has none.
struct BodyName {
    uint64_t id = 0;
    size_t size = 0;
};
std::optional<BodyName> ReadBodyName(const std::string& bytes);
// Whether `bytes` could be the start of a body cut within its first line, before it
// names itself (an empty file included).
bool IsCutFirstLine(const std::string& bytes);

// Serves GET /<id>/<size>/<L|C> with Connection: close: the body of SoakBody(id, size),
// with a Content-Length (L) or chunked in pieces of varied sizes, some with a chunk
// extension (C). Two accepting threads, ended and joined with the object.
class SoakHttpServer {
  public:
    explicit SoakHttpServer(const char* address);
    ~SoakHttpServer();
    SoakHttpServer(const SoakHttpServer&) = delete;
    SoakHttpServer& operator=(const SoakHttpServer&) = delete;

    bool listening() const { return m_listener >= 0; }
    uint16_t port() const { return m_port; }

  private:
    void serve();

    int m_listener = -1;
    uint16_t m_port = 0;
    std::vector<std::thread> m_threads;
};

// Clients fetching from the server until stopped: varied sizes (64 bytes to 3 MB, most of
// them small), every other one chunked, each paced so the traffic stays well below what
// the capture ring holds. Counts what was served whole.
class SoakHttpClients {
  public:
    SoakHttpClients(const char* address, uint16_t port, int clients);
    ~SoakHttpClients() { stop(); }
    SoakHttpClients(const SoakHttpClients&) = delete;
    SoakHttpClients& operator=(const SoakHttpClients&) = delete;

    // Ends the fetches (the one running finishes) and joins the clients.
    void stop();

    uint64_t served() const { return m_served.load(); }
    uint64_t servedBytes() const { return m_servedBytes.load(); }
    uint64_t failed() const { return m_failed.load(); }
    uint64_t chunked() const { return m_chunked.load(); }
    // Whether a response under `id` was fetched whole.
    bool wasServed(uint64_t id) const;

  private:
    void fetchLoop(int client);
    bool fetch(uint64_t id, size_t size, bool chunked);

    std::string m_address;
    uint16_t m_port;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_nextId{1};
    std::atomic<uint64_t> m_served{0};
    std::atomic<uint64_t> m_servedBytes{0};
    std::atomic<uint64_t> m_failed{0};
    std::atomic<uint64_t> m_chunked{0};
    mutable std::mutex m_mutex;
    std::vector<bool> m_servedIds;  // by id; guarded by m_mutex
    std::vector<std::thread> m_threads;
};

}  // namespace vorlanx::soak
