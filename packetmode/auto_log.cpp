#include "packetmode/auto_log.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>

#include "packetmode/packet_report.h"
#include "platform/output_file.h"

namespace vorlanx {

namespace {
constexpr int kStepMs = 100;         // one step of the interval
constexpr int kAfterWaitMs = 10;     // the pause between the wait and the pass
constexpr int32_t kTimeCheckEvery = 64;  // entries between two clock reads in a chunk
}  // namespace

AutoLogSettings AutoLogSettings::fromRecord(const SettingsRecord& record) {
    AutoLogSettings s;
    s.autoLog = record.autoLog();
    s.path = record.autoLogPath();
    s.intervalSec = record.autoLogIntervalSec();
    s.rendering = EntryRendering(true, record.autoLogText(), record.autoLogDec(),
                                 record.autoLogHex());
    s.dateTimeTemplate = record.dateTimeTemplate();
    return s;
}

AutoLogThread::AutoLogThread(AutoLogServices services)
    : m_services(std::move(services)), m_settings(m_services.settings) {}

void AutoLogThread::run() {
    const PacketModeState& state = m_services.state;
    while (!state.exitRequested.load()) {
        if (!m_settings.get().autoLog) {
            m_services.sleep(kStepMs);
            continue;
        }
        if (!waitInterval())
            continue;
        const std::shared_ptr<const AutoLogSettings> settings = m_settings.shared();
        pass(*settings);
    }
}

bool AutoLogThread::waitInterval() {
    const PacketModeState& state = m_services.state;
    for (int64_t step = 0;; ++step) {
        const AutoLogSettings& s = m_settings.get();
        // In 64 bits: a long interval times ten does not wrap into "no wait".
        if (state.exitRequested.load() || !s.autoLog || step >= int64_t{s.intervalSec} * 10)
            break;
        m_services.sleep(kStepMs);
    }
    m_services.sleep(kAfterWaitMs);
    return !state.exitRequested.load() && m_settings.get().autoLog;
}

AutoLogPass AutoLogThread::pass(const AutoLogSettings& settings) {
    using Clock = std::chrono::steady_clock;
    PacketModeState& state = m_services.state;
    const PacketStore& store = m_services.store;

    std::unique_lock list = state.lockListForWorker();
    Clock::time_point heldSince = Clock::now();
    const auto unlockList = [&] {
        m_longestHold = std::max<std::chrono::nanoseconds>(m_longestHold, Clock::now() - heldSince);
        list.unlock();
    };

    const int32_t n = store.count();
    if (n == 0) {
        unlockList();
        return AutoLogPass::Empty;
    }
    const int32_t clearTime = state.lastClearTime.load();
    if (clearTime != m_lastSeenClearTime) {
        // From slot 0 again, also when this pass cannot open the file: the slots of the new
        // list are then logged by the next pass that can.
        m_lastSeenClearTime = clearTime;
        m_loggedCount = 0;
    }
    if (n <= m_loggedCount) {
        // Fewer slots than logged without a new clear time: a clear is finishing; its time
        // starts the next pass from slot 0.
        m_loggedCount = n;
        unlockList();
        return AutoLogPass::NothingNew;
    }
    unlockList();

    OutputFile file;
    if (file.open(settings.path, OutputFile::Mode::Append) != 0)
        return AutoLogPass::OpenFailed;

    AutoLogPass outcome = AutoLogPass::Written;
    int error = 0;
    std::string chunk;
    for (int32_t slot = m_loggedCount; slot < n && error == 0;) {
        if (state.exitRequested.load()) {
            outcome = AutoLogPass::Interrupted;
            break;
        }
        list.lock();
        heldSince = Clock::now();
        // A Clear since the pass began empties and refills the slots: the next pass starts
        // again from slot 0.
        if (state.lastClearTime.load() != clearTime || store.count() < n) {
            unlockList();
            outcome = AutoLogPass::Interrupted;
            break;
        }
        chunk.clear();
        for (int32_t taken = 1; slot < n; ++taken) {
            AppendSlotEntry(chunk, store, slot++, settings.rendering);
            if (chunk.size() >= kChunkBytes ||
                (taken % kTimeCheckEvery == 0 && Clock::now() - heldSince >= kChunkTime))
                break;
        }
        unlockList();
        error = file.write(chunk);
    }
    const int closeError = file.close();
    if (error == 0)
        error = closeError;
    // The slots after a failed one are not retried.
    m_loggedCount = n;
    if (error != 0) {
        if (!state.exitRequested.load())
            m_services.reportWriteError(error, settings.path, settings.dateTimeTemplate);
        return AutoLogPass::WriteFailed;
    }
    return outcome;
}

}  // namespace vorlanx
