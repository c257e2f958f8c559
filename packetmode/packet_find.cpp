#include "packetmode/packet_find.h"

#include <chrono>
#include <thread>
#include <utility>

#include "packetmode/packet_filter_set.h"

namespace vorlanx {

namespace {

const std::string kNothingToSearch = "Unable to perform search on nothing.";
const std::string kBlankFindText = "Unable to perform search for blank substring.";
const std::string kNoInstance = "No instance of string found.";
const std::string kSearchAgainText = "Search is complete.\r\n\r\nWould you like to search again?";
const std::string kSearchAgainCaption = "Search again?";

}  // namespace

PayloadSearch::PayloadSearch(std::string text, bool matchCase)
    : m_text(std::move(text)), m_matchCase(matchCase) {
    if (!m_matchCase)
        FoldAsciiCase(m_text);
}

std::string_view PayloadSearch::textOf(const PacketView& packet, std::string& work) const {
    return packet.payloadText(work, !m_matchCase);
}

bool PayloadSearch::foundIn(std::string_view payloadText) const {
    return !m_text.empty() && payloadText.find(m_text) != std::string_view::npos;
}

int32_t ScanForMatch(const PacketStore& store, const PayloadSearch& search, int32_t from,
                     int32_t end, std::string& work, const FindScanHooks& hooks) {
    for (int32_t slot = from < 0 ? 0 : from; slot < end; ++slot) {
        if (hooks.progress && slot % kFindProgressStep == 0)
            hooks.progress(slot);
        // The text is built under the slot's lock (a clear may release the record meanwhile)
        // and searched after it.
        std::string_view text;
        if (store.withRecord(
                slot, [&](const PacketView& packet) { text = search.textOf(packet, work); }) &&
            search.foundIn(text))
            return slot;
        if (hooks.stop && hooks.stop())
            return -1;
    }
    return end;
}

FindThread::FindThread(FindContext context) : m_context(context) {}

bool FindThread::exiting() const {
    return m_context.state.exitRequested.load() || m_context.shutdown.load();
}

bool FindThread::ending() const {
    return m_context.state.findAbortRequested.load() || exiting();
}

void FindThread::run() {
    RunEnd end = RunEnd::SearchAgain;
    while (end == RunEnd::SearchAgain && !exiting())
        end = search();
    m_context.state.findAbortRequested.store(false);
    m_context.state.findRunning.store(false);
}

FindThread::RunEnd FindThread::search() {
    PacketModeState& state = m_context.state;
    state.findRunning.store(true);
    state.findAbortRequested.store(false);

    if (m_context.list.rowCount() == 0) {
        m_context.prompt.tell("", kNothingToSearch);
        return RunEnd::Done;
    }
    const PayloadSearch search(*m_context.findText.load(), state.matchCaseLive.load());
    if (search.empty()) {
        m_context.prompt.tell("", kBlankFindText);
        return RunEnd::Done;
    }

    // Packets stored from now on lie beyond this run.
    const int32_t count = m_context.store.count();
    PacketModeView& view = m_context.view;
    view.showOperationProgress(count);
    bool covered = true;  // this run's progress covers the list
    const FindScanHooks hooks{[&view](int32_t slot) { view.setOperationProgress(slot); },
                              [this] { return ending(); }};
    bool found = false;
    for (int32_t from = 0;;) {
        const int32_t slot = ScanForMatch(m_context.store, search, from, count, m_work, hooks);
        if (slot < 0 || slot >= count)
            break;
        // Found, also when the packet's row was deleted and the match cannot be shown.
        found = true;
        if (!showMatch(slot, count, covered))
            break;
        from = slot + 1;
    }
    if (covered)
        view.hideOperationProgress();
    if (ending())
        return RunEnd::Done;  // aborted: no message

    if (found) {
        const PromptAnswer answer =
            m_context.prompt.ask({kSearchAgainCaption, kSearchAgainText, PromptButtons::YesNo,
                                  PromptIcon::Question, false});
        return answer == PromptAnswer::Yes ? RunEnd::SearchAgain : RunEnd::Done;
    }
    m_context.list.setSelectionMark(-1);
    view.emptyDetailFields();
    view.emptyEntirePacketPane();
    m_context.prompt.tell("", kNoInstance);
    return RunEnd::Done;
}

bool FindThread::showMatch(int32_t slot, int32_t count, bool& covered) {
    PacketModeState& state = m_context.state;
    PacketModeView& view = m_context.view;
    {
        // The row is looked up and marked in one step, so a sort in between cannot move
        // the mark to another packet; the scan itself never holds listBusy.
        std::unique_lock listLock = state.lockListForWorker();
        const int32_t row = m_context.list.rowOfSlot(slot);
        if (row < 0)
            return !ending();  // its row was deleted: go on with the next slot
        view.hideOperationProgress();
        covered = false;
        m_context.list.setSelectionMark(row);
    }
    // The window's selection watcher selects the marked row and scrolls it into view.
    view.focusList();
    state.findNextRequested.store(false);
    while (!state.findNextRequested.load() && !ending())
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitPollMs));
    if (ending())
        return false;
    view.showOperationProgress(count);
    view.setOperationProgress(slot);
    covered = true;
    return true;
}

}  // namespace vorlanx
