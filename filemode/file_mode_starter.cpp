#include "filemode/file_mode_starter.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vorlanx {

StartCapture OpenCaptureForStart(CaptureSourceFactory& sources, const std::string& interfaceAddress,
                                 UserPrompt& prompt) {
    StartCapture opened;
    OpenOutcome outcome;
    opened.source = sources.open(interfaceAddress, outcome);
    switch (outcome.result) {
        case ReceiveAllResult::Listening:
            break;
        case ReceiveAllResult::InterfaceUnusable:
            if (opened.source) {
                opened.source->close();
            }
            opened.source.reset();
            opened.unableToListen = true;
            break;
        case ReceiveAllResult::RawSocketsUnavailable:
            prompt.tell("Error creating socket",
                        "Error code " + std::to_string(outcome.errorNumber) +
                            " while attempting to create socket.",
                        PromptIcon::Error);
            break;
        case ReceiveAllResult::OtherError:
            prompt.tell("Unknown error", "Error: " + std::to_string(outcome.errorNumber),
                        PromptIcon::Error);
            break;
    }
    return opened;
}

void ReportUnableToListen(UserPrompt& prompt, const std::string& interfaceAddress) {
    prompt.tell("Unable to listen",
                "Unable to listen on the interface: " + interfaceAddress +
                    "\r\nThe chosen interface must be a NIC or Modem.\r\nMake sure your NIC is "
                    "enabled.\r\nNote: Windows 2000 (or higher) is required.\r\nYou must be "
                    "logged on with an administrative account.",
                PromptIcon::Error);
}

void RaiseThreadPriority() {
    // On Linux a thread's nice value is its own; lowering it needs privilege, which a
    // capture program usually has. Without it the thread keeps normal priority.
    const id_t thread = static_cast<id_t>(gettid());
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, thread);
    if (errno == 0) {
        static_cast<void>(setpriority(PRIO_PROCESS, thread, current - 1));
    }
}

FileModeStarter::FileModeStarter(FileModeServices services, RebuiltStreamHandler handler,
                                 std::chrono::milliseconds passInterval)
    : m_services(services), m_handler(std::move(handler)), m_passInterval(passInterval) {
    if (!m_handler) {
        m_handler = WriteRebuiltStreams(m_services.options, m_services.counters, m_services.prompt,
                                        m_services.localTime);
    }
}

FileModeStarter::~FileModeStarter() {
    m_closing.store(true);
    for (;;) {
        stop();
        std::list<Worker> workers;
        {
            std::lock_guard lock(m_workersLock);
            workers.swap(m_workers);
        }
        if (workers.empty()) {
            break;
        }
        // A thread may start another (the capture thread starts the assembler), so look
        // again after joining.
        for (Worker& w : workers) {
            while (!w.done->load()) {
                stop();  // a capture started after the first stop() is stopped too
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            w.thread.join();
        }
    }
}

void FileModeStarter::spawn(std::function<void()> body, bool aboveNormal) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([body = std::move(body), done, aboveNormal] {
        if (aboveNormal) {
            RaiseThreadPriority();
        }
        body();
        done->store(true);
    });
    std::lock_guard lock(m_workersLock);
    m_workers.push_back(Worker{std::move(thread), std::move(done)});
}

void FileModeStarter::reapFinished() {
    std::list<Worker> finished;
    {
        std::lock_guard lock(m_workersLock);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            if (it->done->load()) {
                auto next = std::next(it);
                finished.splice(finished.end(), m_workers, it);
                it = next;
            } else {
                ++it;
            }
        }
    }
    for (Worker& w : finished) {
        w.thread.join();
    }
}

void FileModeStarter::start(FileModeStartRequest request) {
    reapFinished();
    spawn([this, request = std::move(request)]() mutable { startNow(std::move(request)); }, false);
}

StartOutcome FileModeStarter::startNow(FileModeStartRequest request) {
    FileModeRunState& state = m_services.state;
    bool idle = false;
    if (m_closing.load() || state.assemblerActive.load() ||
        !state.captureRunning.compare_exchange_strong(idle, true)) {
        return StartOutcome::Refused;
    }

    StartCapture opened =
        OpenCaptureForStart(m_services.sources, request.interfaceAddress, m_services.prompt);
    if (opened.unableToListen) {
        state.captureRunning.store(false);
        ReportUnableToListen(m_services.prompt, request.interfaceAddress);
        return StartOutcome::UnableToListen;
    }

    std::shared_ptr<CaptureSource> source = std::move(opened.source);
    {
        std::lock_guard lock(m_sourceLock);
        m_source = source;
        // A Stop that came while the capture was being opened found nothing to close.
        if (state.stopRequested.load() && m_source) {
            m_source->close();
        }
    }

    auto capture = std::make_shared<FileModeCaptureThread>(
        state, m_table, m_services.counters, m_services.prompt, m_services.events, m_services.clock,
        source, std::move(request),
        [this] {
            spawn(
                [this] {
                    StreamAssemblerThread assembler(m_services.state, m_table, m_services.counters,
                                                    m_services.prompt, m_services.events, m_handler,
                                                    m_passInterval);
                    assembler.run();
                },
                true);
        },
        [this, source] {
            std::lock_guard lock(m_sourceLock);
            if (m_source == source) {
                m_source.reset();
            }
        });
    spawn([capture] { capture->run(); }, true);

    if (m_services.events != nullptr && !state.stopRequested.load()) {
        m_services.events->captureStarted();
    }
    return StartOutcome::Started;
}

bool FileModeStarter::stop() {
    FileModeRunState& state = m_services.state;
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

bool FileModeStarter::waitUntilIdle(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        reapFinished();
        bool workersLeft = false;
        {
            std::lock_guard lock(m_workersLock);
            workersLeft = !m_workers.empty();
        }
        const FileModeRunState& state = m_services.state;
        if (!workersLeft && !state.captureRunning.load() && !state.assemblerActive.load()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

uint64_t FileModeStarter::bytesWaiting() const {
    std::lock_guard lock(m_sourceLock);
    return m_source ? m_source->bytesWaiting() : 0;
}

}  // namespace vorlanx
