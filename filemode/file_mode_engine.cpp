#include "filemode/file_mode_engine.h"

#include <utility>

#include "capture/capture_start.h"

namespace vorlanx {

FileModeEngine::FileModeEngine(FileModeServices services, RebuiltStreamHandler handler,
                                 std::chrono::milliseconds passInterval)
    : m_services(services), m_handler(std::move(handler)), m_passInterval(passInterval) {
    if (!m_handler) {
        m_handler = WriteRebuiltStreams(m_services.options, m_services.counters, m_services.prompt,
                                        m_services.localTime);
    }
}

FileModeEngine::~FileModeEngine() {
    m_closing.store(true);
    // A thread may start another (the capture thread starts the assembler), and a start
    // under way may open its capture after the first stop(): each is stopped in turn.
    m_workers.joinAll([this] { stop(); });
}

void FileModeEngine::start(FileModeStartRequest request) {
    m_workers.spawn("FileModeStart", 0,
                    [this, request = std::move(request)]() mutable { startNow(std::move(request)); });
}

bool FileModeEngine::claimStart() {
    FileModeState& state = m_services.state;
    bool idle = false;
    return !m_closing.load() && !state.assemblerActive.load() &&
           state.captureRunning.compare_exchange_strong(idle, true);
}

StartOutcome FileModeEngine::startNow(FileModeStartRequest request) {
    if (!claimStart()) {
        return StartOutcome::Refused;
    }
    StartCapture opened =
        OpenCaptureForStart(m_services.sources, request.interfaceAddress, m_services.prompt);
    if (opened.unableToListen) {
        m_services.state.captureRunning.store(false);
        ReportUnableToListen(m_services.prompt, request.interfaceAddress);
        return StartOutcome::UnableToListen;
    }
    launch(std::move(opened.source), std::move(request));
    return StartOutcome::Started;
}

StartOutcome FileModeEngine::startReplay(std::shared_ptr<CaptureSource> recording,
                                         FileModeStartRequest request) {
    if (!claimStart()) {
        return StartOutcome::Refused;
    }
    launch(std::move(recording), std::move(request));
    return StartOutcome::Started;
}

std::unique_ptr<StreamAssemblerThread> FileModeEngine::makeAssembler() {
    return std::make_unique<StreamAssemblerThread>(m_services.state, m_table, m_services.counters,
                                                   m_services.prompt, m_services.events,
                                                   m_handler, m_passInterval);
}

void FileModeEngine::launch(std::shared_ptr<CaptureSource> source, FileModeStartRequest request) {
    FileModeState& state = m_services.state;
    {
        std::lock_guard lock(m_sourceLock);
        m_source = source;
        // A Stop that came while the capture was being opened found nothing to close.
        if (state.stopRequested.load() && m_source) {
            m_source->close();
        }
    }

    std::unique_ptr<StreamAssemblerThread> replayAssembler;
    if (source && source->isRecording()) {
        replayAssembler = makeAssembler();
        replayAssembler->paceActivity();
    }
    auto capture = std::make_shared<FileModeCaptureThread>(
        state, m_table, m_services.counters, m_services.prompt, m_services.events, m_services.clock,
        source, std::move(request),
        [this] {
            m_workers.spawn("StreamAssembler", 1, [this] { makeAssembler()->run(); });
        },
        [this, source] {
            std::lock_guard lock(m_sourceLock);
            if (m_source == source) {
                m_source.reset();
            }
        },
        std::move(replayAssembler));
    m_workers.spawn("FileModeCapture", 1, [capture] { capture->run(); });

    if (m_services.events != nullptr && !state.stopRequested.load()) {
        m_services.events->captureStarted();
    }
}

bool FileModeEngine::stop() {
    FileModeState& state = m_services.state;
    if (!state.captureRunning.load()) {
        return false;
    }
    std::lock_guard lock(m_sourceLock);
    state.stopRequested.store(true);
    if (m_source) {
        m_source->close();
    }
    return true;
}

bool FileModeEngine::waitUntilIdle(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const FileModeState& state = m_services.state;
        if (m_workers.waitUntilAllDone(std::chrono::milliseconds(2)) &&
            !state.captureRunning.load() && !state.assemblerActive.load()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
    }
}

uint64_t FileModeEngine::bytesWaiting() const {
    std::lock_guard lock(m_sourceLock);
    return m_source ? m_source->bytesWaiting() : 0;
}

}  // namespace vorlanx
