// A capture source fed by the test: the platform edge of the capture engine.
//
// The test hands datagrams to a ScriptedCaptureChannel; the source the engine owns
// delivers them in order. receive() blocks while nothing is queued, until more is given,
// the channel is finished (the end of a recording) or close() is called (Stop).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/capture_source.h"

namespace vorlanx::test {

class ScriptedCaptureChannel {
  public:
    // Queues one datagram, or the same datagram `times` times.
    void push(std::vector<uint8_t> datagram, uint64_t times = 1);
    // After the queued datagrams, receive() returns nothing (as at the end of a file).
    void finish();

    // Source side.
    std::optional<std::span<const uint8_t>> receive();
    void close();

    bool closed() const;
    uint64_t delivered() const;
    uint64_t receiveCalls() const;
    // Waits until the queue is empty and the receiver is back in receive(), waiting for
    // more: everything delivered has been handled. False on time-out.
    bool waitUntilDrained(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Waits until close() was called. False on time-out.
    bool waitUntilClosed(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    void setDroppedByKernel(uint64_t n);
    uint64_t droppedByKernel() const;
    void setDatagramsCut(uint64_t n);
    uint64_t datagramsCut() const;

  private:
    struct Entry {
        std::vector<uint8_t> bytes;
        uint64_t remaining;
    };
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Entry> m_queue;
    std::vector<uint8_t> m_current;  // the datagram last delivered
    bool m_closed = false;
    bool m_finished = false;
    bool m_waiting = false;  // a receive() is blocked on an empty queue
    uint64_t m_delivered = 0;
    uint64_t m_receiveCalls = 0;
    uint64_t m_dropped = 0;
    uint64_t m_cut = 0;
};

class ScriptedCaptureSource final : public CaptureSource {
  public:
    explicit ScriptedCaptureSource(std::shared_ptr<ScriptedCaptureChannel> channel)
        : m_channel(std::move(channel)) {}
    std::optional<std::span<const uint8_t>> receive() override { return m_channel->receive(); }
    void close() override { m_channel->close(); }
    uint64_t droppedByKernel() const override { return m_channel->droppedByKernel(); }
    uint64_t datagramsCut() const override { return m_channel->datagramsCut(); }

  private:
    std::shared_ptr<ScriptedCaptureChannel> m_channel;
};

// Opens ScriptedCaptureSources, records the addresses asked for, and reports the outcome
// the test chose.
class ScriptedCaptureSourceFactory final : public CaptureSourceFactory {
  public:
    // Outcome of the following opens; a failed open still returns a source (whose first
    // receive fails) unless `returnSource` is false.
    void setOutcome(ReceiveAllResult result, int errorNumber = 0, bool returnSource = true);
    // Datagrams every following open queues before the capture thread sees the source.
    void setPreload(std::vector<std::vector<uint8_t>> datagrams, bool finish);

    std::unique_ptr<CaptureSource> open(const std::string& interfaceAddress,
                                        OpenOutcome& outcome) override;

    // While held, open() waits (as a slow socket set-up) until released.
    void holdOpens();
    void releaseOpens();
    // open() calls that began, including one waiting while opens are held.
    size_t openAttempts() const;
    bool waitForOpenAttempts(size_t n,
                             std::chrono::milliseconds timeout = std::chrono::seconds(10));

    size_t openCount() const;
    std::string address(size_t i) const;
    std::shared_ptr<ScriptedCaptureChannel> channel(size_t i) const;
    // Waits until `n` sources were opened; false on time-out.
    bool waitForOpens(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10));

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_opened;
    OpenOutcome m_outcome{ReceiveAllResult::Listening, 0};
    bool m_returnSource = true;
    bool m_held = false;
    size_t m_attempts = 0;
    std::vector<std::vector<uint8_t>> m_preload;
    bool m_finishPreload = false;
    std::vector<std::string> m_addresses;
    std::vector<std::shared_ptr<ScriptedCaptureChannel>> m_channels;
};

}  // namespace vorlanx::test
