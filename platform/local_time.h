// Local date and time with milliseconds, from a source tests can replace.
#pragma once

#include <chrono>
#include <mutex>

namespace vorlanx {

struct LocalTime {
    unsigned year = 1970;
    unsigned month = 1;  // 1..12
    unsigned day = 1;    // 1..31
    unsigned hour = 0;   // 0..23
    unsigned minute = 0;
    unsigned second = 0;
    unsigned millisecond = 0;
};

class LocalTimeSource {
  public:
    virtual ~LocalTimeSource() = default;
    // The local time now. Any thread.
    virtual LocalTime now() const = 0;
};

// A moment broken down into the local date and time with localtime_r (the 1970 default
// for a moment outside the C library's range). Any thread.
LocalTime LocalTimeAt(std::chrono::system_clock::time_point moment);

// std::chrono::system_clock broken down with localtime_r.
class SystemLocalTimeSource final : public LocalTimeSource {
  public:
    LocalTime now() const override;
};

// A time that only changes when told to: for tests.
class FixedLocalTimeSource final : public LocalTimeSource {
  public:
    explicit FixedLocalTimeSource(LocalTime t = {}) : m_time(t) {}
    LocalTime now() const override {
        std::lock_guard lock(m_mutex);
        return m_time;
    }
    void set(const LocalTime& t) {
        std::lock_guard lock(m_mutex);
        m_time = t;
    }

  private:
    mutable std::mutex m_mutex;
    LocalTime m_time;
};

}  // namespace vorlanx
