// Feeds arbitrary bytes, cut into pieces of any size, to the update check's receive and
// verdict, as a server would: the answer kept is a prefix of what was sent, never longer
// than the buffer, holds the status whenever the server sent that much, and the verdict
// reads only those bytes.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "setup/update_check.h"

namespace {

using namespace vorlanx;
using fuzz::check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte sets the size of each send (1 to 256 bytes), so an answer arrives in
    // pieces, a status line split anywhere.
    const size_t piece = size_t{data[0]} + 1;
    const std::string_view whole(reinterpret_cast<const char*>(data + 1), size - 1);

    // Packet sockets keep the sends apart: each receive gets at most one piece. What does
    // not fit the socket's buffer is not sent.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends) != 0)
        return 0;
    size_t sentBytes = 0;
    while (sentBytes < whole.size()) {
        const std::string_view part = whole.substr(sentBytes, piece);
        if (::send(ends[1], part.data(), part.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
            break;
        sentBytes += part.size();
    }
    ::shutdown(ends[1], SHUT_WR);
    const std::string_view sent = whole.substr(0, sentBytes);
    const VersionReply reply = ReceiveVersionReply(ends[0]);
    ::close(ends[0]);
    ::close(ends[1]);

    check(!reply.failed(), "a peer that sends and closes is no failure");
    check(reply.answer.size() <= kVersionReplyBytes, "the answer fits its buffer");
    check(sent.substr(0, reply.answer.size()) == reply.answer, "the answer is what was sent");
    check(reply.answer.size() >= std::min(sent.size(), kStatusBytes),
          "the status is read when it was sent");
    const UpdateVerdict verdict = JudgeVersionReply(reply);
    const std::string_view status =
        sent.size() >= kStatusBytes ? sent.substr(9, 3) : std::string_view();
    check(verdict == (status == "200"   ? UpdateVerdict::Latest
                      : status == "404" ? UpdateVerdict::NewerAvailable
                                        : UpdateVerdict::NothingToSay),
          "the verdict is the status at positions 9 to 11");
    return 0;
}
