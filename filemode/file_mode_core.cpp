#include "filemode/file_mode_core.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "platform/host_names.h"

namespace vorlanx {

FileModeCore::FileModeCore(FileModeCoreServices services)
    : m_services(std::move(services)), m_statistics(m_state, m_counters, m_services.clock) {
    if (!m_services.resolveHost) {
        m_services.resolveHost = ResolveHostIpv4;
    }
    m_engine = std::make_unique<FileModeEngine>(
        FileModeServices{m_state, m_counters, m_services.sources, m_services.prompt, m_options,
                         m_services.clock, m_services.localTime, m_services.events},
        m_services.handler, m_services.passInterval);
    updateStreamClock();
}

FileModeCore::~FileModeCore() {
    m_engine.reset();  // stops the capture and joins the engine's threads
    m_lookups.joinAll();
}

bool FileModeCore::startReplay(const std::vector<std::string>& paths,
                               FileModeStartRequest request) {
    if (!request.refusal.empty()) {
        m_services.prompt.tell("", request.refusal, PromptIcon::Warning);
        return false;
    }
    std::string error;
    std::shared_ptr<PcapFileSequence> recording = PcapFileSequence::open(paths, error);
    if (!recording) {
        m_services.prompt.tell("", error, PromptIcon::Error);
        return false;
    }
    {
        std::lock_guard lock(m_recordingLock);
        m_recording = recording;
    }
    return m_engine->startReplay(std::move(recording), std::move(request)) ==
           StartOutcome::Started;
}

std::shared_ptr<const PcapFileSequence> FileModeCore::recording() const {
    std::lock_guard lock(m_recordingLock);
    return m_recording;
}

bool FileModeCore::start(FileModeStartRequest request) {
    if (!request.refusal.empty()) {
        m_services.prompt.tell("", request.refusal, PromptIcon::Warning);
        return false;
    }
    m_engine->start(std::move(request));
    return true;
}

void FileModeCore::updateStreamClock() {
    // A replay's stream clock is the recording's.
    if (!m_state.recordedClock.load()) {
        m_state.streamClock.store(m_services.clock.nowMs());
    }
}

RateTexts FileModeCore::ratesTick() {
    if (!m_state.captureRunning.load()) {
        return {};
    }
    return m_statistics.ratesTick();
}

std::optional<int> FileModeCore::bufferTick() {
    if (!m_state.captureRunning.load()) {
        return std::nullopt;
    }
    return m_statistics.bufferTick(m_engine->bytesWaiting());
}

bool FileModeCore::resolveHost(std::string name, HostAnswer answer) {
    if (m_resolving.exchange(true)) {
        return false;
    }
    m_lookups.spawn("HostLookup", 0, [this, name = std::move(name), answer = std::move(answer)] {
        std::optional<std::string> address;
        try {
            address = m_services.resolveHost(name);
        } catch (const std::exception&) {
            // A lookup that fails in any way is a name that did not resolve.
        }
        m_resolving.store(false);
        if (answer) {
            answer(std::move(address));
        }
    });
    return true;
}

bool FileModeCore::waitUntilIdle(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    if (!m_engine->waitUntilIdle(limit)) {
        return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return m_lookups.waitUntilAllDone(std::max(left, std::chrono::milliseconds(0)));
}

}  // namespace vorlanx
