#include "filemode/response_writer.h"

namespace vorlanx {

bool BodyIsIncomplete(std::span<const uint8_t> stream, const ResponseClassification& response,
                      StoreDecision decision, bool sequenceGap) {
    if (sequenceGap)
        return true;
    switch (decision) {
        case StoreDecision::Body:
            return response.contentLength &&
                   stream.size() - response.bodyStart < *response.contentLength;
        case StoreDecision::ChunkedBody:
            return !ForEachChunk(stream, response.bodyStart, [](std::span<const uint8_t>) {});
        case StoreDecision::Discard:
        case StoreDecision::WholeStream:
            return false;
    }
    return false;
}

StreamFate ProcessRebuiltStream(std::span<const uint8_t> stream, const StreamOrigin& origin,
                                const FileModeLiveOptions& options, FileModeCounters& counters,
                                UserPrompt& prompt, const LocalTimeSource& localTime) {
    const ResponseClassification response =
        ClassifyResponse(stream, options.acceptPartialContent(), &counters.trackedMemory);
    const StoreRules rules{options.httpOnly(), options.minFileSize(), options.maxFileSize()};

    StreamFate fate;
    fate.decision = DecideStore(response, stream.size(), rules);
    FileBody body{stream};
    switch (fate.decision) {
        case StoreDecision::Discard:
            fate.notHttp = response.form == ResponseForm::NotHttp && rules.httpOnly;
            return fate;
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
    fate.incomplete = body.incomplete =
        BodyIsIncomplete(stream, response, fate.decision, origin.sequenceGap);
    fate.file = WriteStreamFile(body, origin, response.extension, options, counters, prompt,
                                localTime);
    return fate;
}

}  // namespace vorlanx
