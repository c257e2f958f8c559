#include "filemode/response_writer.h"

#include "filemode/file_output.h"
#include "filemode/http_response.h"

namespace vorlanx {

void ProcessRebuiltStream(std::span<const uint8_t> stream, const StreamOrigin& origin,
                          const FileModeLiveOptions& options, FileModeCounters& counters,
                          UserPrompt& prompt, const LocalTimeSource& localTime) {
    const ResponseClassification response =
        ClassifyResponse(stream, options.acceptPartialContent(), &counters.trackedMemory);
    const StoreRules rules{options.httpOnly(), options.minFileSize(), options.maxFileSize()};

    FileBody body{stream};
    switch (DecideStore(response, stream.size(), rules)) {
        case StoreDecision::Discard:
            return;
        case StoreDecision::Body:
            body.start = response.bodyStart;
            break;
        case StoreDecision::ChunkedBody:
            body.start = response.bodyStart;
            body.chunked = true;
            break;
        case StoreDecision::WholeStream:
            break;
    }
    WriteStreamFile(body, origin, response.extension, options, counters, prompt, localTime);
}

}  // namespace vorlanx
