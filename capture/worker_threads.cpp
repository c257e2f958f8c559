#include "capture/worker_threads.h"

#include "platform/thread_priority.h"

namespace vorlanx {

WorkerThreads::~WorkerThreads() {
    joinAll();
}

void WorkerThreads::spawn(const char* name, int priorityStep, std::function<void()> body) {
    // The caller is never among the ended threads: a worker marks itself done only after
    // its body, so spawning from a worker is safe.
    joinFinished();
    std::lock_guard lock(m_mutex);
    // The list node stays put while the thread runs, so the thread can mark its own entry.
    Worker& worker = m_workers.emplace_back();
    worker.thread = std::thread([this, &worker, name, priorityStep, body = std::move(body)] {
        SetCurrentThreadName(name);
        if (priorityStep != 0)
            SetCurrentThreadPriorityStep(priorityStep);
        body();
        std::lock_guard doneLock(m_mutex);
        worker.done = true;
        m_changed.notify_all();
    });
}

void WorkerThreads::joinFinished() {
    std::list<Worker> finished;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            auto next = std::next(it);
            if (it->done)
                finished.splice(finished.end(), m_workers, it);
            it = next;
        }
    }
    for (auto& w : finished)
        w.thread.join();
}

void WorkerThreads::joinAll(const std::function<void()>& nudge) {
    // True only once every thread, also one started by another meanwhile, is joined.
    while (!waitUntilAllDone(std::chrono::milliseconds(5))) {
        if (nudge)
            nudge();
    }
}

bool WorkerThreads::waitUntilAllDone(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            const bool allDone = m_changed.wait_until(lock, deadline, [this] {
                for (const auto& w : m_workers)
                    if (!w.done)
                        return false;
                return true;
            });
            if (!allDone)
                return false;
        }
        joinFinished();
        // A thread joined just now may have started another before it ended.
        std::lock_guard lock(m_mutex);
        if (m_workers.empty())
            return true;
    }
}

size_t WorkerThreads::size() const {
    std::lock_guard lock(m_mutex);
    return m_workers.size();
}

}  // namespace vorlanx
