// WorkerThreads: the registry that owns a mode's worker threads. Each thread started
// through it stays registered until it is joined; nothing is ever detached.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace vorlanx {

class WorkerThreads {
  public:
    WorkerThreads() = default;
    // Joins every thread (joinAll without a nudge).
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Runs `body` on a new thread named `name` (15 bytes shown), `priorityStep` steps above
    // normal (negative: below). Joins the threads that have ended first, so the registry
    // never grows with finished ones. Any thread, including a worker of this registry.
    void spawn(const char* name, int priorityStep, std::function<void()> body);

    // Joins the threads that have ended; the others keep running. Not on a worker.
    void joinFinished();

    // Waits until every registered thread has ended, then joins them all, including those
    // they started meanwhile. `nudge`, when given, runs every few milliseconds while a
    // thread is still running: it tells them again to stop (a capture opened after the
    // first request, for instance). Not on a worker.
    void joinAll(const std::function<void()>& nudge = {});

    // True when every thread started so far has ended (within `timeout`); the ended ones
    // are then joined. Not on a worker.
    bool waitUntilAllDone(std::chrono::milliseconds timeout);

    // Threads registered and not yet joined.
    size_t size() const;

  private:
    struct Worker {
        std::thread thread;
        bool done = false;  // guarded by m_mutex
    };
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::list<Worker> m_workers;
};

}  // namespace vorlanx
