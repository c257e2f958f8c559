// The update check of the About window: one plain HTTP exchange with the maker's server
// asking for a small file named after this version. The server keeps that file for the
// newest version only, so its status alone decides: 200, this is the latest version; 404,
// a newer one is out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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
// How long a connect, send or receive may wait before the check counts as failed.
inline constexpr int kUpdateTimeoutSeconds = 20;

// The request, as sent: the GET line, the User-Agent and Host headers and an empty line,
// each ended by CR LF; no other header.
std::string VersionFileRequest(std::string_view host, std::string_view fileName);

// One exchange with `host` (a name or dotted address; its first IPv4 address) on `port`:
// the first block of the answer (at most kVersionReplyBytes), or "Error N" with the errno
// of the step that failed. Blocks up to the time-out: a worker calls it.
std::string FetchVersionFile(const std::string& host, uint16_t port, const std::string& fileName);

enum class UpdateVerdict {
    ConnectionFailed,  // the reply is an error text
    Latest,            // status 200
    NewerAvailable,    // status 404
    NothingToSay,      // any other answer, also one too short to hold a status
};

// Reads the verdict from a reply: "E" first is a failure; otherwise the three characters at
// positions 9 to 11 (the status code of "HTTP/1.x NNN").
UpdateVerdict JudgeVersionReply(std::string_view reply);

// The message the About window shows for a verdict (owned by it); nothing for
// NothingToSay. For NewerAvailable a Yes opens kDescriptionPage.
std::optional<PromptRequest> UpdateMessage(UpdateVerdict verdict);

}  // namespace vorlanx
