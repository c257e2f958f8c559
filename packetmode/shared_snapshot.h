// An immutable value shared between a writer thread and hot-path readers.
//
// The writer replaces the value as a whole; a reader never sees half of an update. Readers
// on a hot path keep a Reader, which costs one atomic load per use while nothing changed
// and takes the lock only to pick up a replacement.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

namespace vorlanx {

template <typename T>
class SharedSnapshot {
  public:
    explicit SharedSnapshot(std::shared_ptr<const T> initial) : m_value(std::move(initial)) {}

    // Makes `next` the current value. Any thread.
    void replace(std::shared_ptr<const T> next) {
        {
            std::lock_guard lock(m_mutex);
            m_value.swap(next);
        }
        m_generation.fetch_add(1, std::memory_order_release);
        // `next` now holds the old value and is released outside the lock.
    }

    // The current value. Any thread.
    std::shared_ptr<const T> load() const {
        std::lock_guard lock(m_mutex);
        return m_value;
    }

    // Counts replacements; a reader compares it to notice a new value.
    uint64_t generation() const { return m_generation.load(std::memory_order_acquire); }

    // A thread's cached view of the snapshot. One thread only.
    class Reader {
      public:
        explicit Reader(const SharedSnapshot& cell) : m_cell(cell) {}
        // The current value; valid until the next call of get() on this reader.
        const T& get() {
            const uint64_t g = m_cell.generation();
            if (!m_value || g != m_seen) {
                m_value = m_cell.load();
                m_seen = g;
            }
            return *m_value;
        }
        // The same value as a shared reference (for values that outlive the call).
        const std::shared_ptr<const T>& shared() {
            get();
            return m_value;
        }

      private:
        const SharedSnapshot& m_cell;
        uint64_t m_seen = 0;
        std::shared_ptr<const T> m_value;
    };

  private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const T> m_value;
    std::atomic<uint64_t> m_generation{0};
};

}  // namespace vorlanx
