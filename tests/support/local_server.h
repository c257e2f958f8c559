// Local servers for live tests: a program run in the background on a loopback address
// (a python3 HTTP server), ended with the object.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vorlanx::test {

// True when `name` is a program on the PATH.
inline bool HaveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline sockaddr_in AddressAndPort(const char* address, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    return a;
}

// A TCP port that is free on `address` at the moment of asking (0 if none was found).
inline uint16_t FreeTcpPort(const char* address) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = AddressAndPort(address, 0);
    socklen_t length = sizeof a;
    const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0;
    ::close(s);
    return ok ? ntohs(a.sin_port) : 0;
}

inline bool AcceptsConnections(const char* address, uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = AddressAndPort(address, port);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// A program started with `arguments` (the first is the program, looked up on the PATH),
// its output discarded; terminated and reaped when the object ends.
class BackgroundProgram {
  public:
    explicit BackgroundProgram(const std::vector<std::string>& arguments) {
        std::vector<char*> argv;
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~BackgroundProgram() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    // Waits until something accepts connections on `address`:`port`, at most `limit`.
    bool waitUntilListening(const char* address, uint16_t port,
                            std::chrono::milliseconds limit = std::chrono::seconds(15)) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (m_pid > 0 && std::chrono::steady_clock::now() < deadline) {
            if (AcceptsConnections(address, port))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

  private:
    pid_t m_pid = -1;
};

}  // namespace vorlanx::test
