#include "platform/local_time.h"

#include <chrono>
#include <ctime>

namespace vorlanx {

LocalTime LocalTimeAt(std::chrono::system_clock::time_point moment) {
    using namespace std::chrono;
    // Seconds and milliseconds from the same instant, so 12:00:00.999 never becomes
    // 12:00:01.999 by rounding.
    const auto wholeSeconds = floor<seconds>(moment);
    const auto millis = duration_cast<milliseconds>(moment - wholeSeconds).count();
    const std::time_t t = system_clock::to_time_t(wholeSeconds);
    std::tm parts{};
    LocalTime result;
    if (localtime_r(&t, &parts) == nullptr) {
        return result;  // the 1970 default: a time outside the C library's range
    }
    result.year = static_cast<unsigned>(parts.tm_year + 1900);
    result.month = static_cast<unsigned>(parts.tm_mon + 1);
    result.day = static_cast<unsigned>(parts.tm_mday);
    result.hour = static_cast<unsigned>(parts.tm_hour);
    result.minute = static_cast<unsigned>(parts.tm_min);
    // A leap second (tm_sec 60) shows as 59 so the text keeps its two-digit range.
    result.second = static_cast<unsigned>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    result.millisecond = static_cast<unsigned>(millis);
    return result;
}

LocalTime SystemLocalTimeSource::now() const {
    return LocalTimeAt(std::chrono::system_clock::now());
}

}  // namespace vorlanx
