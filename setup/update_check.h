// The update check of the About window: one plain HTTP exchange with the maker's server
// asking for a small file named after this version. The server keeps that file for the
// newest version only, so its status alone decides: 200, this is the latest version; 404,
// a newer one is out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/user_prompt.h"

namespace vorlanx {

inline constexpr const char* kUpdateHost = "brindlecraft.example";
inline constexpr uint16_t kUpdatePort = 80;
inline constexpr const char* kVersionFileName = "BrindlecraftVORLANXv1.5.2.chk";
// The product's description page, offered when a newer version is out.
inline constexpr const char* kDescriptionPage = "https://brindlecraft.example/vorlanx/";
// Only the first block of the answer, at most this long, is read.
inline constexpr size_t kVersionReplyBytes = 10000;
// How long a connect, a send or a wait for more of the answer may take before the check
// counts as failed.
inline constexpr int kUpdateTimeoutSeconds = 10;
// The answer is read until it holds this much (the status line's code ends at position 11),
// the server closes, the time-out passes or kVersionReplyBytes are in.
inline constexpr size_t kStatusBytes = 12;

// The request, as sent: the GET line, the User-Agent and Host headers and an empty line,
// each ended by CR LF; no other header.
std::string VersionFileRequest(std::string_view host, std::string_view fileName);

// What one exchange gave: the first bytes of the answer, or the errno of the step that
// failed. A failure is decided by each step's own result, never by what the answer holds.
struct VersionReply {
    int error = 0;       // 0: `answer` is what the server sent
    std::string answer;  // at most kVersionReplyBytes; on a failure "Error N"
    bool failed() const { return error != 0; }
};

// One exchange with `host` (a name or dotted address; its first IPv4 address) on `port`.
// Connecting, sending and each wait for more of the answer give up after `timeoutMs`
// (ETIMEDOUT); a stop request ends any of them within about 50 ms (ECANCELED). Only the
// name lookup waits out the system resolver's own time-out. A worker calls it.
VersionReply FetchVersionFile(const std::string& host, uint16_t port, const std::string& fileName,
                              int timeoutMs = kUpdateTimeoutSeconds * 1000,
                              std::stop_token stop = {});

// Reads the answer from a connected stream socket: until kStatusBytes are in, the peer
// closes or kVersionReplyBytes are in. A receive that fails (the time-out included) before
// anything arrived fails the exchange; after that the bytes in hand are the answer.
VersionReply ReceiveVersionReply(int socket, int timeoutMs = kUpdateTimeoutSeconds * 1000,
                                 std::stop_token stop = {});

enum class UpdateVerdict {
    ConnectionFailed,  // resolving, connecting, sending or receiving failed
    Latest,            // status 200
    NewerAvailable,    // status 404
    NothingToSay,      // any other answer, also one too short to hold a status
};

// The verdict: a failed exchange, else the three characters at positions 9 to 11 of the
// answer (the status code of "HTTP/1.x NNN").
UpdateVerdict JudgeVersionReply(const VersionReply& reply);

// The whole check: one exchange with the server and its verdict. Any thread.
UpdateVerdict CheckForNewerVersion(const std::string& host, uint16_t port,
                                   const std::string& fileName = kVersionFileName,
                                   int timeoutMs = kUpdateTimeoutSeconds * 1000,
                                   std::stop_token stop = {});

// The message the About window shows for a verdict (owned by it); nothing for
// NothingToSay. For NewerAvailable a Yes opens kDescriptionPage.
std::optional<PromptRequest> UpdateMessage(UpdateVerdict verdict);

}  // namespace vorlanx
