#include "capture/packet_capture_engine.h"

#include <condition_variable>
#include <thread>
#include <utility>
#include <vector>

#include "capture/packet_capture_thread.h"
#include "capture/store_clear_thread.h"
#include "filemode/date_time_template.h"
#include "platform/thread_priority.h"

namespace vorlanx {

namespace {

std::string ReplaceFirst(const char* format, std::string_view token, std::string_view value) {
    std::string text(format);
    const size_t at = text.find(token);
    if (at != std::string::npos)
        text.replace(at, token.size(), value);
    return text;
}

// Stands in for a capture socket that could not be created: its first receive fails.
class FailedCaptureSource final : public CaptureSource {
  public:
    std::optional<std::span<const uint8_t>> receive() override { return std::nullopt; }
    void close() override {}
};

constexpr auto kStarterPoll = std::chrono::milliseconds(10);

}  // namespace

std::string FormatMessage(const char* format, long number) {
    return ReplaceFirst(format, "%ld", std::to_string(number));
}

std::string FormatMessage(const char* format, const std::string& text) {
    return ReplaceFirst(format, "%s", text);
}

// The engine's threads: each one registered until it is joined.
class PacketCaptureEngine::Workers {
  public:
    ~Workers() { joinAll(); }

    // Runs fn on a new thread named `name`.
    void spawn(const char* name, std::function<void()> fn) {
        joinFinished();
        std::lock_guard lock(m_mutex);
        auto done = std::make_shared<bool>(false);
        m_workers.push_back(Worker{std::thread([this, name, done, fn = std::move(fn)] {
                                       SetCurrentThreadName(name);
                                       fn();
                                       std::lock_guard doneLock(m_mutex);
                                       *done = true;
                                       m_changed.notify_all();
                                   }),
                                   done});
    }

    // Joins the threads that have ended.
    void joinFinished() {
        std::vector<std::thread> finished;
        {
            std::lock_guard lock(m_mutex);
            for (auto it = m_workers.begin(); it != m_workers.end();) {
                if (*it->done) {
                    finished.push_back(std::move(it->thread));
                    it = m_workers.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& t : finished)
            t.join();
    }

    // Joins every thread, including those started meanwhile by the ones joined.
    void joinAll() {
        for (;;) {
            std::vector<Worker> all;
            {
                std::lock_guard lock(m_mutex);
                all.swap(m_workers);
            }
            if (all.empty())
                return;
            for (auto& w : all)
                w.thread.join();
        }
    }

    bool waitUntilAllDone(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] {
            for (const auto& w : m_workers)
                if (!*w.done)
                    return false;
            return true;
        });
    }

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<bool> done;  // guarded by m_mutex
    };
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Worker> m_workers;
};

PacketCaptureEngine::PacketCaptureEngine(PacketModeServices services)
    : m_s(services),
      m_dateTimeTemplate(std::make_shared<const std::string>(kDefaultDateTimeTemplate)),
      m_workers(std::make_unique<Workers>()) {}

PacketCaptureEngine::~PacketCaptureEngine() {
    shutdown();
}

void PacketCaptureEngine::tell(const std::string& caption, const std::string& text,
                               PromptIcon icon) {
    m_s.prompt.tell(caption, text, icon);
}

ProbeResult PacketCaptureEngine::probe(const std::string& interfaceAddress) {
    switch (TryCaptureInterface(m_s.sources, interfaceAddress, m_s.prompt)) {
        case InterfaceTrial::Listening:
            return ProbeResult::Ready;
        case InterfaceTrial::InterfaceUnusable:
            m_s.view.openChooseInterface();
            return ProbeResult::InterfaceChosen;
        case InterfaceTrial::EndProcess:
            break;
    }
    return ProbeResult::EndProcess;
}

InterfaceTrial TryCaptureInterface(CaptureSourceFactory& sources,
                                   const std::string& interfaceAddress, UserPrompt& prompt) {
    OpenOutcome outcome;
    {
        std::unique_ptr<CaptureSource> trial = sources.open(interfaceAddress, outcome);
        if (trial)
            trial->close();
    }  // the trial's source is gone before anything else happens
    switch (outcome.result) {
        case ReceiveAllResult::Listening:
            return InterfaceTrial::Listening;
        case ReceiveAllResult::InterfaceUnusable:
            return InterfaceTrial::InterfaceUnusable;
        case ReceiveAllResult::RawSocketsUnavailable:
            // The socket could not be created (reported with its error number), so the
            // switch to receive-all had nothing to work on.
            prompt.tell("", FormatMessage(kCreateSocketErrorText, outcome.errorNumber),
                        PromptIcon::None);
            prompt.tell("", kRawSocketsUnavailableText, PromptIcon::Error);
            return InterfaceTrial::EndProcess;
        case ReceiveAllResult::OtherError:
            break;
    }
    prompt.tell("", FormatMessage(kStartupErrorText, outcome.errorNumber), PromptIcon::None);
    return InterfaceTrial::EndProcess;
}

void PacketCaptureEngine::updateTemplate(const SettingsRecord& settings) {
    std::string pattern = settings.dateTimeTemplate();
    if (*m_dateTimeTemplate.load() != pattern)
        m_dateTimeTemplate.replace(std::make_shared<const std::string>(std::move(pattern)));
}

void PacketCaptureEngine::start(const SettingsRecord& settings) {
    if (m_shutdown.load())
        return;
    // A second Start while capturing does nothing (the starter checks again, atomically,
    // for two Starts that race).
    if (m_s.state.capturing.load())
        return;
    updateTemplate(settings);
    spawnStarter(StartRequest{settings.interfaceAddress(), false});
}

void PacketCaptureEngine::restartOnNewInterface(const SettingsRecord& settings) {
    if (m_shutdown.load() || !m_s.state.capturing.load())
        return;
    stop();
    updateTemplate(settings);
    spawnStarter(StartRequest{settings.interfaceAddress(), true});
}

void PacketCaptureEngine::spawnStarter(StartRequest request) {
    {
        std::lock_guard lock(m_startersMutex);
        ++m_startersRunning;
    }
    m_workers->spawn("PacketModeStart", [this, request = std::move(request)] {
        runStarter(request);
        std::lock_guard lock(m_startersMutex);
        --m_startersRunning;
        m_startersDone.notify_all();
    });
}

bool PacketCaptureEngine::waitForStarters(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_startersMutex);
    return m_startersDone.wait_for(lock, timeout, [this] { return m_startersRunning == 0; });
}

void PacketCaptureEngine::stop() {
    m_s.view.setListProgressRange(PacketStore::kCapacity);
    if (!m_s.state.capturing.load())
        return;
    std::lock_guard lock(m_sourceMutex);
    if (m_source)
        m_source->close();
    else
        m_stopPending = true;  // a start is under way: its source closes as it opens
}

void PacketCaptureEngine::clear() {
    m_s.view.setListProgressRange(PacketStore::kCapacity);
    m_workers->spawn("StoreClear", [this] { runClear(); });
}

void PacketCaptureEngine::releaseAll() {
    m_s.state.clearDone.store(false);
    m_workers->spawn("StoreClear", [this] { runClear(); });
}

void PacketCaptureEngine::requestExit() {
    m_s.state.exitRequested.store(true);
    std::lock_guard lock(m_sourceMutex);
    if (m_source)
        m_source->close();
}

void PacketCaptureEngine::refreshLiveCopies(const SettingsRecord& settings,
                                            bool applyFiltersChecked) {
    m_s.state.applyFiltersLive.store(applyFiltersChecked);
    m_s.filters.refresh(settings);
    updateTemplate(settings);
}

void PacketCaptureEngine::filterCriteriaChanged(const SettingsRecord& settings) {
    m_s.filters.criteriaChanged(settings);
}

void PacketCaptureEngine::settingsChanged(const SettingsRecord& settings) {
    updateTemplate(settings);
}

void PacketCaptureEngine::shutdown() {
    m_shutdown.store(true);
    {
        std::lock_guard lock(m_sourceMutex);
        if (m_source)
            m_source->close();
    }
    m_workers->joinAll();
    std::lock_guard lock(m_sourceMutex);
    m_source.reset();
}

bool PacketCaptureEngine::waitForThreads(std::chrono::milliseconds timeout) {
    const bool done = m_workers->waitUntilAllDone(timeout);
    if (done)
        m_workers->joinFinished();
    return done;
}

uint64_t PacketCaptureEngine::droppedByKernel() const {
    std::lock_guard lock(m_sourceMutex);
    return m_source ? m_source->droppedByKernel() : 0;
}

bool PacketCaptureEngine::takeCapturing(bool waitForStop) {
    for (;;) {
        bool expected = false;
        // Test and set in one step: two quick Starts can never both go on.
        if (m_s.state.capturing.compare_exchange_strong(expected, true))
            return true;
        if (!waitForStop)
            return false;  // a second Start while capturing does nothing
        if (m_shutdown.load() || m_s.state.exitRequested.load())
            return false;
        std::this_thread::sleep_for(kStarterPoll);
    }
}

void PacketCaptureEngine::runStarter(const StartRequest& request) {
    if (!takeCapturing(request.waitForStop))
        return;
    {
        std::lock_guard lock(m_sourceMutex);
        m_source.reset();
        m_stopPending = false;
    }

    {
        // Every row was deleted: the records behind them go; `count` stays, so new
        // packets continue at the next slot.
        std::unique_lock listLock = m_s.state.lockListForWorker();
        if (m_s.list.rowCount() == 0)
            m_s.store.releaseRecords();
    }

    OpenOutcome outcome;
    std::unique_ptr<CaptureSource> opened = m_s.sources.open(request.interfaceAddress, outcome);
    switch (outcome.result) {
        case ReceiveAllResult::Listening:
            break;
        case ReceiveAllResult::RawSocketsUnavailable:
            tell(kCreateSocketErrorCaption,
                 FormatMessage(kCreateSocketErrorText, outcome.errorNumber), PromptIcon::Error);
            break;  // the capture thread's first receive fails and it ends with "Stopped"
        case ReceiveAllResult::InterfaceUnusable:
            if (opened)
                opened->close();
            opened.reset();
            m_s.state.capturing.store(false);
            tell(kUnableToListenCaption,
                 FormatMessage(kUnableToListenText, request.interfaceAddress), PromptIcon::Error);
            return;
        case ReceiveAllResult::OtherError:
            tell(kUnknownErrorCaption, FormatMessage(kUnknownErrorText, outcome.errorNumber),
                 PromptIcon::Error);
            break;
    }

    std::shared_ptr<CaptureSource> source;
    if (opened)
        source = std::move(opened);
    else
        source = std::make_shared<FailedCaptureSource>();
    {
        std::lock_guard lock(m_sourceMutex);
        m_source = source;
        if (m_stopPending || m_shutdown.load())
            source->close();
    }
    m_captureThreadsStarted.fetch_add(1);
    m_workers->spawn("PacketCapture", [this, source, address = request.interfaceAddress] {
        SetCurrentThreadPriorityStep(1);
        runCapture(source, address);
    });
}

void PacketCaptureEngine::runCapture(std::shared_ptr<CaptureSource> source,
                                     const std::string& interfaceAddress) {
    PacketCaptureContext context{m_s.state, m_s.store,     m_s.list,           m_s.filters,
                                 m_s.view,  m_s.localTime, m_dateTimeTemplate, m_shutdown};
    PacketCaptureThread(context, source, interfaceAddress).run();
    std::lock_guard lock(m_sourceMutex);
    // The source goes with its capture; a newer one may already have replaced it.
    if (m_source == source)
        m_source.reset();
}

void PacketCaptureEngine::runClear() {
    StoreClearThread(m_s.state, m_s.store, m_s.list, m_s.view).run();
}

}  // namespace vorlanx
