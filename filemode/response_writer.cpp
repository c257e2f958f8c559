#include "filemode/response_writer.h"

#include <vector>

#include "filemode/file_output.h"
#include "filemode/http_response.h"

namespace vorlanx {

void ProcessRebuiltStream(std::span<const uint8_t> stream, const StreamOrigin& origin,
                          const FileModeLiveOptions& options, FileModeCounters& counters,
                          UserPrompt& prompt, const LocalTimeSource& localTime) {
    const ResponseClassification response =
        ClassifyResponse(stream, options.acceptPartialContent(), &counters.trackedMemory);
    const StoreRules rules{options.httpOnly(), options.minFileSize(), options.maxFileSize()};

    std::vector<std::span<const uint8_t>> pieces;
    switch (DecideStore(response, stream.size(), rules)) {
        case StoreDecision::Discard:
            return;
        case StoreDecision::Body:
            pieces.push_back(stream.subspan(response.bodyStart));
            break;
        case StoreDecision::ChunkedBody:
            pieces = DecodeChunkedBody(stream, response.bodyStart);
            break;
        case StoreDecision::WholeStream:
            pieces.push_back(stream);
            break;
    }
    WriteStreamFile(pieces, origin, response.extension, options, counters, prompt, localTime);
}

}  // namespace vorlanx
