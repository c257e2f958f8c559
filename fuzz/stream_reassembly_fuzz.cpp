// Files arbitrary datagrams through File Mode's capture rules and rebuilds every stream,
// checking what the assembler and the writer rely on: each rebuilt stream is followed by a
// zero byte, never longer than the payloads filed under its key, and every byte of memory
// counted is given back.
//
// Input: the first byte chooses Dirty mode (odd) and the ACK time-out; then datagrams, each
// a 2-byte big-endian length followed by that many bytes (short input ends the list).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <span>

#include "filemode/file_mode_capture_thread.h"
#include "filemode/stream_assembler_thread.h"
#include "fuzz_check.h"

namespace {

using namespace vorlanx;

using fuzz::check;

struct SilentPrompt final : UserPrompt {
    PromptAnswer ask(const PromptRequest&) override { return PromptAnswer::Ok; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static StreamTable table;  // allocated once, as in the program
    FileModeState state;
    FileModeCounters counters;
    SilentPrompt prompt;
    ManualProgramClock clock;
    FileModeStartRequest request;
    request.dirtyMode = (data[0] & 1) != 0;
    state.currentAckTimeout = data[0] >> 1;
    state.streamClock = 0;  // the stamp of a slot must still not read as empty

    FileModeCaptureThread capture(state, table, counters, prompt, nullptr, clock, nullptr, request);
    capture.beginCapture();

    std::map<uint32_t, uint64_t> payloadByKey;  // filed payload bytes per slot key
    size_t at = 1;
    int32_t now = 0;
    while (at + 2 <= size) {
        const size_t length = (size_t{data[at]} << 8) | data[at + 1];
        at += 2;
        if (length > size - at)
            break;
        const std::span<const uint8_t> datagram(data + at, length);
        at += length;
        const DatagramFate fate = capture.handleDatagram(datagram);
        if (fate == DatagramFate::Appended || fate == DatagramFate::Created) {
            check(length >= 40 && length > 20u + (datagram[32] >> 4) * 4u && datagram[9] == 6,
                  "only TCP segments with data are filed");
            uint32_t key = 0;
            std::memcpy(&key, datagram.data() + 28, 4);
            check(key != 0, "a filed key is never 0");
            payloadByKey[key] += length - (20u + (datagram[32] >> 4) * 4u);
        }
        state.streamClock = now += 7;
    }

    uint64_t rebuiltBytes = 0;
    StreamAssemblerThread assembler(
        state, table, counters, prompt, nullptr,
        [&](std::span<const uint8_t> stream, const StreamOrigin&) {
            check(stream.data()[stream.size()] == 0, "a rebuilt stream ends with a zero byte");
            check(!stream.empty(), "a rebuilt stream holds at least one payload byte");
            rebuiltBytes += stream.size();
        });
    state.streamClock = now + 1000;
    assembler.runPass();
    uint64_t filed = 0;
    for (const auto& [key, bytes] : payloadByKey)
        filed += bytes;
    check(rebuiltBytes <= filed, "a stream never holds more than was filed");
    check(counters.filesPending.load() == table.occupiedSlots() + counters.filesProcessedRun.load(),
          "every non-empty slot was seen");
    table.releaseAll(counters);
    check(counters.trackedMemory.load() == 0, "all tracked memory is returned");
    return 0;
}
