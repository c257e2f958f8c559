// The program clock: milliseconds of a steady clock since the program started.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace vorlanx {

class ProgramClock {
  public:
    virtual ~ProgramClock() = default;
    // Milliseconds since start as a signed 32-bit value (wraps after 24.8 days, as the
    // callers' arithmetic expects). Any thread.
    virtual int32_t nowMs() const = 0;
};

class SteadyProgramClock final : public ProgramClock {
  public:
    SteadyProgramClock() : m_start(std::chrono::steady_clock::now()) {}
    int32_t nowMs() const override {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - m_start)
                      .count();
        return static_cast<int32_t>(static_cast<uint32_t>(ms));
    }

  private:
    std::chrono::steady_clock::time_point m_start;
};

// A clock that only moves when told to: for tests.
class ManualProgramClock final : public ProgramClock {
  public:
    int32_t nowMs() const override { return m_now.load(); }
    void set(int32_t ms) { m_now.store(ms); }
    void advance(int32_t ms) { m_now.fetch_add(ms); }

  private:
    std::atomic<int32_t> m_now{0};
};

}  // namespace vorlanx
