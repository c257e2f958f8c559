// File Mode's process-wide counters, shown by the File Mode window's timers.
//
// Written by the capture and assembler threads, read by the window: every field is atomic
// so each update is one whole read-modify-write; figures read together may be momentarily
// out of step, which the display tolerates.
#pragma once

#include <atomic>
#include <cstdint>

namespace vorlanx {

struct FileModeCounters {
    // Capture (reset when a capture starts).
    std::atomic<uint64_t> receivedBytes{0};  // every datagram received, before any test
    // Bytes held by File Mode's allocations: 12 per segment record plus its datagram, the
    // rebuilt-stream buffer and the classification's temporary buffers. Never reset.
    std::atomic<int32_t> trackedMemory{0};

    // Assembler (the "Run" ones are zeroed when the assembler starts; "All" never).
    std::atomic<uint32_t> filesPending{0};
    std::atomic<uint32_t> filesProcessedRun{0};
    std::atomic<uint32_t> filesProcessedAll{0};
    std::atomic<uint64_t> bytesProcessedRun{0};
    std::atomic<uint64_t> bytesProcessedAll{0};

    // Written files.
    std::atomic<uint32_t> filesWrittenRun{0};
    std::atomic<uint64_t> bytesWrittenRun{0};
    std::atomic<uint32_t> filesWrittenAll{0};
    std::atomic<uint64_t> bytesWrittenAll{0};
    // Written files whose body is known to be short (" (incomplete)" in the name); they
    // are counted among the written ones too. All runs.
    std::atomic<uint32_t> filesIncompleteAll{0};
};

}  // namespace vorlanx
