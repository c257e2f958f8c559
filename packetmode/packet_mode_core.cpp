#include "packetmode/packet_mode_core.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "packetmode/new_packet_sound_monitor.h"
#include "platform/memory_status.h"

namespace vorlanx {

PacketModeCore::PacketModeCore(PacketModeCoreServices services, int32_t listCapacity)
    : m_services(services),
      m_list(m_store, listCapacity),
      m_engine(PacketModeServices{m_state, m_store, m_list, m_filters, services.sources,
                                  services.view, services.prompt, services.localTime}) {}

PacketModeCore::~PacketModeCore() {
    shutdown();
}

void PacketModeCore::setSoundFile(std::string path) {
    std::lock_guard lock(m_soundFileMutex);
    m_soundFile = std::move(path);
}

void PacketModeCore::sleepUnlessExiting(int milliseconds) const {
    // Short steps, so a monitor notices the window closing promptly.
    using namespace std::chrono;
    const auto until = steady_clock::now() + milliseconds * 1ms;
    while (!m_state.exitRequested.load() && steady_clock::now() < until)
        std::this_thread::sleep_for(
            std::min<steady_clock::duration>(10ms, until - steady_clock::now()));
}

void PacketModeCore::logSettingsChanged(const SettingsRecord& settings) {
    m_autoLogSettings.replace(
        std::make_shared<const AutoLogSettings>(AutoLogSettings::fromRecord(settings)));
}

void PacketModeCore::settingsChanged(const SettingsRecord& settings) {
    m_engine.settingsChanged(settings);
    logSettingsChanged(settings);
}

void PacketModeCore::showLogWriteError(int error, const std::string& path,
                                       const std::string& dateTimeTemplate) {
    m_tools.spawn("LogWriteError", 0, [this, error, path, dateTimeTemplate] {
        // Test and set in one step, so two failures close together show one message; none
        // once the window closes.
        bool showing = false;
        if (m_state.exitRequested.load() ||
            !m_state.logErrorShowing.compare_exchange_strong(showing, true))
            return;
        m_services.prompt.ask(
            WriteErrorMessage(error, path, dateTimeTemplate, m_services.localTime));
        m_state.logErrorShowing.store(false);
    });
}

void PacketModeCore::startMonitors() {
    if (m_statusThread.joinable() || m_soundThread.joinable())
        return;
    m_autoLogThread = std::thread([this] {
        AutoLogThread log({m_state, m_store, m_autoLogSettings,
                           [this](int ms) { sleepUnlessExiting(ms); },
                           [this](int error, const std::string& path, const std::string& t) {
                               showLogWriteError(error, path, t);
                           }});
        log.run();
    });
    m_statusThread = std::thread([this] {
        StatusMonitor monitor(m_state, m_services.statusView, AvailablePhysicalMemoryBytes,
                              [this](int ms) { sleepUnlessExiting(ms); });
        monitor.run();
    });
    m_soundThread = std::thread([this] {
        NewPacketSoundMonitor monitor(
            m_state, m_services.sound, [this] { return m_soundChecked.load(); },
            [this] {
                std::lock_guard lock(m_soundFileMutex);
                return m_soundFile;
            },
            [this](int ms) { sleepUnlessExiting(ms); });
        monitor.run();
    });
}

void PacketModeCore::stopMonitors() {
    m_state.exitRequested = true;
    // A long wave file would otherwise hold the join for as long as it plays.
    m_services.sound.stop();
    if (m_statusThread.joinable())
        m_statusThread.join();
    if (m_soundThread.joinable())
        m_soundThread.join();
    joinAutoLog();
}

void PacketModeCore::joinAutoLog() {
    m_state.exitRequested = true;
    if (m_autoLogThread.joinable())
        m_autoLogThread.join();
}

void PacketModeCore::reverseResolve(int addressOffset, ReverseLookup lookup) {
    m_tools.spawn("ReverseResolve", 0, [this, addressOffset, lookup = std::move(lookup)] {
        const std::optional<PromptRequest> message =
            ReverseResolveMarkedPacket(m_list, m_store, addressOffset, lookup);
        // A lookup may outlast the window's close; its answer is no longer wanted then.
        if (message && !m_state.exitRequested.load())
            m_services.prompt.ask(*message);
    });
}

void PacketModeCore::save(SaveRequest request) {
    m_tools.spawn("ReportSave", -1, [this, request = std::move(request)] {
        RunSave(request, {m_state, m_store, m_list, m_services.view, m_services.prompt,
                          m_services.localTime});
    });
}

void PacketModeCore::deleteFromList(ListDeletion kind, ListCommandTarget target,
                                    std::function<void()> showSelectedPacket) {
    m_tools.spawn("ListDelete", 0, [this, kind, target, show = std::move(showSelectedPacket)] {
        DeleteFromList(kind, target, SameAckContext{m_state, m_store, m_list, m_services.prompt},
                       show);
    });
}

bool PacketModeCore::waitForThreads(std::chrono::milliseconds timeout) {
    return m_engine.waitForThreads(timeout) && m_tools.waitUntilAllDone(timeout);
}

void PacketModeCore::shutdown() {
    m_state.exitRequested = true;
    m_engine.requestExit();
    m_engine.shutdown();
    // The log thread starts message threads: it ends before they are joined.
    joinAutoLog();
    m_tools.joinAll();
    stopMonitors();
}

}  // namespace vorlanx
