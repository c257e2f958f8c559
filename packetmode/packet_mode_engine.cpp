#include "packetmode/packet_mode_engine.h"

#include <condition_variable>
#include <thread>
#include <utility>
#include <vector>

#include "capture/capture_start.h"
#include "capture/date_time_template.h"
#include "packetmode/capture_file_load.h"
#include "packetmode/packet_capture_thread.h"
#include "packetmode/packet_find.h"
#include "packetmode/store_clear_thread.h"

namespace vorlanx {

namespace {

// Stands in for a capture socket that could not be created: its first receive fails.
class FailedCaptureSource final : public CaptureSource {
  public:
    std::optional<std::span<const uint8_t>> receive() override { return std::nullopt; }
    void close() override {}
};

constexpr auto kStarterPoll = std::chrono::milliseconds(10);

CaptureLosses LossesOf(const CaptureSource& source) {
    return CaptureLosses{source.droppedByKernel(), source.datagramsCut()};
}

}  // namespace

std::string CaptureLossText(const CaptureLosses& losses) {
    std::string text;
    if (losses.droppedByKernel > 0)
        text = "dropped by the kernel: " + std::to_string(losses.droppedByKernel);
    if (losses.cut > 0)
        text += (text.empty() ? "cut: " : ", cut: ") + std::to_string(losses.cut);
    return text.empty() ? text : "Datagrams " + text;
}

PacketModeEngine::PacketModeEngine(PacketModeServices services)
    : m_services(services),
      m_dateTimeTemplate(std::make_shared<const std::string>(kDefaultDateTimeTemplate)),
      m_findText(std::make_shared<const std::string>()),
      m_workers(std::make_unique<WorkerThreads>()) {}

PacketModeEngine::~PacketModeEngine() {
    shutdown();
}

void PacketModeEngine::updateTemplate(const SettingsRecord& settings) {
    std::string pattern = settings.dateTimeTemplate();
    if (*m_dateTimeTemplate.load() != pattern)
        m_dateTimeTemplate.replace(std::make_shared<const std::string>(std::move(pattern)));
}

void PacketModeEngine::start(const SettingsRecord& settings) {
    // A load and a capture would interleave their packets in the list.
    if (m_shutdown.load() || m_services.state.loadingFile.load())
        return;
    // A second Start while capturing does nothing (the starter checks again, atomically,
    // for two Starts that race).
    if (m_services.state.capturing.load())
        return;
    updateTemplate(settings);
    spawnStarter(settings.interfaceAddress(), false);
}

void PacketModeEngine::restartOnNewInterface(const SettingsRecord& settings) {
    if (m_shutdown.load() || !m_services.state.capturing.load())
        return;
    stop();
    updateTemplate(settings);
    spawnStarter(settings.interfaceAddress(), true);
}

void PacketModeEngine::spawnStarter(std::string interfaceAddress, bool waitForStop) {
    StartRequest request{std::move(interfaceAddress), waitForStop, 0};
    {
        std::lock_guard lock(m_sourceMutex);
        request.sequence = ++m_lastStartRequest;
    }
    {
        std::lock_guard lock(m_startersMutex);
        ++m_startersRunning;
    }
    m_workers->spawn("PacketModeStart", 0, [this, request = std::move(request)] {
        runStarter(request);
        std::lock_guard lock(m_startersMutex);
        --m_startersRunning;
        m_startersDone.notify_all();
    });
}

bool PacketModeEngine::waitForStarters(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_startersMutex);
    return m_startersDone.wait_for(lock, timeout, [this] { return m_startersRunning == 0; });
}

void PacketModeEngine::stop() {
    m_services.view.setListProgressRange(PacketStore::kCapacity);
    std::lock_guard lock(m_sourceMutex);
    // Every start asked for so far is cancelled, including one whose starter has not yet
    // taken the capture: its source closes as it opens.
    m_stoppedThroughRequest = m_lastStartRequest;
    if (m_source)
        m_source->close();
}

void PacketModeEngine::clear() {
    m_services.view.setListProgressRange(PacketStore::kCapacity);
    m_workers->spawn("StoreClear", 0, [this] { runClear(); });
}

void PacketModeEngine::releaseAll() {
    m_services.state.clearDone.store(false);
    m_workers->spawn("StoreClear", 0, [this] { runClear(); });
}

void PacketModeEngine::requestExit() {
    m_services.state.exitRequested.store(true);
    std::lock_guard lock(m_sourceMutex);
    if (m_source)
        m_source->close();
}

bool PacketModeEngine::captureFileOpenable() {
    const PacketModeState& state = m_services.state;
    if (m_shutdown.load() || state.exitRequested.load() || state.capturing.load() ||
        state.loadingFile.load())
        return false;
    // A starter not yet past taking `capturing` would begin a capture beside the load.
    std::lock_guard lock(m_startersMutex);
    return m_startersRunning == 0;
}

bool PacketModeEngine::openCaptureFile(const std::string& path, const SettingsRecord& settings) {
    // Start and this run on the user-interface thread, so no capture can begin between the
    // test and the flag.
    if (!captureFileOpenable())
        return false;
    PacketModeState& state = m_services.state;
    state.loadingFile.store(true);
    updateTemplate(settings);
    try {
        m_workers->spawn("CaptureFileLoad", 0, [this, path] {
            CaptureFileLoad(captureContext(), m_services.prompt).run(path);
            m_services.state.loadingFile.store(false);
        });
    } catch (...) {
        state.loadingFile.store(false);
        throw;
    }
    return true;
}

void PacketModeEngine::findOrNext() {
    PacketModeState& state = m_services.state;
    if (m_shutdown.load() || state.exitRequested.load())
        return;
    // Taken here, before the thread exists, so a second press cannot start a second search.
    if (state.findRunning.exchange(true)) {
        state.findNextRequested.store(true);
        return;
    }
    try {
        m_workers->spawn("Find", -1, [this] {
            FindThread(FindContext{m_services.state, m_services.store, m_services.list,
                                   m_services.view, m_services.prompt, m_findText, m_shutdown})
                .run();
        });
    } catch (...) {
        state.findRunning.store(false);
        throw;
    }
}

void PacketModeEngine::findTextChanged(std::string text) {
    m_findText.replace(std::make_shared<const std::string>(std::move(text)));
    if (m_services.state.findRunning.load())
        m_services.state.findAbortRequested.store(true);
}

void PacketModeEngine::refreshLiveCopies(const SettingsRecord& settings, bool applyFiltersChecked) {
    m_services.state.applyFiltersLive.store(applyFiltersChecked);
    m_services.filters.refresh(settings);
    updateTemplate(settings);
}

void PacketModeEngine::filterCriteriaChanged(const SettingsRecord& settings) {
    m_services.filters.criteriaChanged(settings);
}

void PacketModeEngine::settingsChanged(const SettingsRecord& settings) {
    updateTemplate(settings);
}

void PacketModeEngine::shutdown() {
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

bool PacketModeEngine::waitForThreads(std::chrono::milliseconds timeout) {
    return m_workers->waitUntilAllDone(timeout);
}

CaptureLosses PacketModeEngine::losses() const {
    std::lock_guard lock(m_sourceMutex);
    return m_source ? LossesOf(*m_source) : m_endedLosses;
}

bool PacketModeEngine::takeCapturing(const StartRequest& request) {
    for (;;) {
        bool expected = false;
        // Test and set in one step: two quick Starts can never both go on.
        if (m_services.state.capturing.compare_exchange_strong(expected, true))
            return true;
        if (!request.waitForStop)
            return false;  // a second Start while capturing does nothing
        if (m_shutdown.load() || m_services.state.exitRequested.load() || cancelled(request))
            return false;
        std::this_thread::sleep_for(kStarterPoll);
    }
}

bool PacketModeEngine::cancelled(const StartRequest& request) const {
    std::lock_guard lock(m_sourceMutex);
    return request.sequence <= m_stoppedThroughRequest;
}

void PacketModeEngine::runStarter(const StartRequest& request) {
    if (cancelled(request) || !takeCapturing(request))
        return;
    {
        std::lock_guard lock(m_sourceMutex);
        m_source.reset();
        m_endedLosses = {};  // the losses of the last capture show until this Start
    }

    {
        // Every row was deleted: the records behind them go; `count` stays, so new
        // packets continue at the next slot.
        std::unique_lock listLock = m_services.state.lockListForWorker();
        if (m_services.list.rowCount() == 0)
            m_services.store.releaseRecords();
    }

    StartCapture opened =
        OpenCaptureForStart(m_services.sources, request.interfaceAddress, m_services.prompt);
    if (opened.unableToListen) {
        m_services.state.capturing.store(false);
        ReportUnableToListen(m_services.prompt, request.interfaceAddress);
        return;
    }

    std::shared_ptr<CaptureSource> source;
    if (opened.source)
        source = std::move(opened.source);
    else
        source = std::make_shared<FailedCaptureSource>();
    {
        std::lock_guard lock(m_sourceMutex);
        m_source = source;
        if (request.sequence <= m_stoppedThroughRequest || m_shutdown.load())
            source->close();
    }
    m_captureThreadsStarted.fetch_add(1);
    m_workers->spawn("PacketCapture", 1, [this, source, address = request.interfaceAddress] {
        runCapture(source, address);
    });
}

void PacketModeEngine::runCapture(std::shared_ptr<CaptureSource> source,
                                  const std::string& interfaceAddress) {
    PacketCaptureThread(captureContext(), source, interfaceAddress).run();
    std::lock_guard lock(m_sourceMutex);
    // The source goes with its capture (its ring is large); a newer one may already have
    // replaced it. What it lost stays on show.
    if (m_source == source) {
        m_endedLosses = LossesOf(*source);
        m_source.reset();
    }
}

PacketCaptureContext PacketModeEngine::captureContext() {
    return PacketCaptureContext{m_services.state,   m_services.store, m_services.list,
                                m_services.filters, m_services.view,  m_services.localTime,
                                m_dateTimeTemplate, m_shutdown};
}

void PacketModeEngine::runClear() {
    StoreClearThread(m_services.state, m_services.store, m_services.list, m_services.view).run();
}

}  // namespace vorlanx
