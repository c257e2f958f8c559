// Turning one rebuilt stream into a stored file: classify, decide, name, write.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "filemode/file_mode_counters.h"
#include "filemode/file_mode_options.h"
#include "platform/local_time.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// The addresses that name a file: bytes 12..15 and 16..19 of the slot's first-filed
// datagram (not the first in sequence order), in network order.
struct StreamOrigin {
    std::array<uint8_t, 4> source;
    std::array<uint8_t, 4> destination;
};

// Classifies the rebuilt stream (bytes [0, stream.size()) followed in memory by a zero byte),
// decides with the live options whether to store it and, if so, names and writes the file.
// Updates counters (trackedMemory for temporary buffers, filesWritten*/bytesWritten*); reports
// through the prompt. Assembler thread.
void ProcessRebuiltStream(std::span<const uint8_t> stream, const StreamOrigin& origin,
                          const FileModeLiveOptions& options, FileModeCounters& counters,
                          UserPrompt& prompt, const LocalTimeSource& localTime);

}  // namespace vorlanx
