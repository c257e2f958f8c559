// Turning one rebuilt stream into a stored file: classify, decide, name, write.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "filemode/file_mode_counters.h"
#include "filemode/file_mode_options.h"
#include "filemode/file_output.h"
#include "filemode/http_response.h"
#include "platform/local_time.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// What became of one rebuilt stream.
struct StreamFate {
    StoreDecision decision = StoreDecision::Discard;
    bool notHttp = false;     // discarded: not an HTTP response while only those are kept
    bool incomplete = false;  // stored with the incomplete marker
    FileWriteResult file;     // when stored (decision not Discard)
};

// Whether a stored body is known to be short of what the server sent: the stream had a
// sequence gap, the body is shorter than its Content-Length, or a chunked body lacks its
// last chunk. Pure.
bool BodyIsIncomplete(std::span<const uint8_t> stream, const ResponseClassification& response,
                      StoreDecision decision, bool sequenceGap);

// Classifies the rebuilt stream (bytes [0, stream.size()) followed in memory by a zero byte),
// decides with the live options whether to store it and, if so, names and writes the file
// (an incomplete one with the marker). Updates counters (trackedMemory for temporary
// buffers, filesWritten*/bytesWritten*, filesIncompleteAll); reports
// through the prompt. Assembler thread.
StreamFate ProcessRebuiltStream(std::span<const uint8_t> stream, const StreamOrigin& origin,
                                const FileModeLiveOptions& options, FileModeCounters& counters,
                                UserPrompt& prompt, const LocalTimeSource& localTime);

}  // namespace vorlanx
