#include "support/scripted_capture_source.h"

namespace vorlanx::test {

void ScriptedCaptureChannel::push(std::vector<uint8_t> datagram, uint64_t times) {
    if (times == 0)
        return;
    std::lock_guard lock(m_mutex);
    m_queue.push_back(Entry{std::move(datagram), times});
    m_changed.notify_all();
}

void ScriptedCaptureChannel::finish() {
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_changed.notify_all();
}

std::optional<std::span<const uint8_t>> ScriptedCaptureChannel::receive() {
    std::unique_lock lock(m_mutex);
    ++m_receiveCalls;
    m_waiting = true;
    // Only a receive that finds nothing queued can complete a wait for the drain.
    if (m_queue.empty())
        m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_closed || !m_queue.empty() || m_finished; });
    m_waiting = false;
    if (m_closed || m_queue.empty())
        return std::nullopt;
    Entry& front = m_queue.front();
    if (front.remaining == 1) {
        m_current = std::move(front.bytes);
        m_queue.pop_front();
    } else {
        // Repeats share one buffer; the copy is made only when the datagram changes.
        if (m_current != front.bytes)
            m_current = front.bytes;
        --front.remaining;
    }
    ++m_delivered;
    return std::span<const uint8_t>(m_current);
}

void ScriptedCaptureChannel::close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_changed.notify_all();
}

bool ScriptedCaptureChannel::closed() const {
    std::lock_guard lock(m_mutex);
    return m_closed;
}

uint64_t ScriptedCaptureChannel::delivered() const {
    std::lock_guard lock(m_mutex);
    return m_delivered;
}

uint64_t ScriptedCaptureChannel::receiveCalls() const {
    std::lock_guard lock(m_mutex);
    return m_receiveCalls;
}

bool ScriptedCaptureChannel::waitUntilDrained(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_queue.empty() && m_waiting; });
}

bool ScriptedCaptureChannel::waitUntilClosed(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_closed; });
}

void ScriptedCaptureChannel::setDroppedByKernel(uint64_t n) {
    std::lock_guard lock(m_mutex);
    m_dropped = n;
}

uint64_t ScriptedCaptureChannel::droppedByKernel() const {
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

void ScriptedCaptureChannel::setDatagramsCut(uint64_t n) {
    std::lock_guard lock(m_mutex);
    m_cut = n;
}

uint64_t ScriptedCaptureChannel::datagramsCut() const {
    std::lock_guard lock(m_mutex);
    return m_cut;
}

void ScriptedCaptureSourceFactory::setOutcome(ReceiveAllResult result, int errorNumber,
                                              bool returnSource) {
    std::lock_guard lock(m_mutex);
    m_outcome = OpenOutcome{result, errorNumber};
    m_returnSource = returnSource;
}

void ScriptedCaptureSourceFactory::setPreload(std::vector<std::vector<uint8_t>> datagrams,
                                              bool finish) {
    std::lock_guard lock(m_mutex);
    m_preload = std::move(datagrams);
    m_finishPreload = finish;
}

std::unique_ptr<CaptureSource> ScriptedCaptureSourceFactory::open(
    const std::string& interfaceAddress, OpenOutcome& outcome) {
    std::unique_lock lock(m_mutex);
    ++m_attempts;
    m_opened.notify_all();
    m_opened.wait(lock, [this] { return !m_held; });
    outcome = m_outcome;
    auto channel = std::make_shared<ScriptedCaptureChannel>();
    for (const auto& d : m_preload)
        channel->push(d);
    if (m_finishPreload)
        channel->finish();
    // A source that failed to switch behaves as a socket whose first receive fails.
    if (outcome.result != ReceiveAllResult::Listening)
        channel->close();
    m_addresses.push_back(interfaceAddress);
    m_channels.push_back(channel);
    m_opened.notify_all();
    if (outcome.result != ReceiveAllResult::Listening && !m_returnSource)
        return nullptr;
    return std::make_unique<ScriptedCaptureSource>(channel);
}

void ScriptedCaptureSourceFactory::holdOpens() {
    std::lock_guard lock(m_mutex);
    m_held = true;
}

void ScriptedCaptureSourceFactory::releaseOpens() {
    std::lock_guard lock(m_mutex);
    m_held = false;
    m_opened.notify_all();
}

size_t ScriptedCaptureSourceFactory::openAttempts() const {
    std::lock_guard lock(m_mutex);
    return m_attempts;
}

bool ScriptedCaptureSourceFactory::waitForOpenAttempts(size_t n,
                                                       std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_opened.wait_for(lock, timeout, [&] { return m_attempts >= n; });
}

size_t ScriptedCaptureSourceFactory::openCount() const {
    std::lock_guard lock(m_mutex);
    return m_channels.size();
}

std::string ScriptedCaptureSourceFactory::address(size_t i) const {
    std::lock_guard lock(m_mutex);
    return i < m_addresses.size() ? m_addresses[i] : std::string();
}

std::shared_ptr<ScriptedCaptureChannel> ScriptedCaptureSourceFactory::channel(size_t i) const {
    std::lock_guard lock(m_mutex);
    return i < m_channels.size() ? m_channels[i] : nullptr;
}

bool ScriptedCaptureSourceFactory::waitForOpens(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_opened.wait_for(lock, timeout, [&] { return m_channels.size() >= n; });
}

}  // namespace vorlanx::test
