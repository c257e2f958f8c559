#include "filemode/date_time_template.h"

#include <array>
#include <charconv>

namespace vorlanx {
namespace {

// "%0<width>u" of v.
std::string padded(unsigned v, size_t width) {
    char digits[16];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    const size_t n = static_cast<size_t>(r.ptr - digits);
    std::string text;
    if (n < width) {
        text.assign(width - n, '0');
    }
    text.append(digits, n);
    return text;
}

// Replaces every occurrence of `token` in `text`, scanning left to right; the
// replacement itself is never rescanned.
void replaceAll(std::string& text, std::string_view token, std::string_view replacement) {
    size_t at = text.find(token);
    if (at == std::string::npos) {
        return;
    }
    std::string result;
    result.reserve(text.size() + replacement.size() * 2);
    size_t from = 0;
    while (at != std::string::npos) {
        result.append(text, from, at - from);
        result.append(replacement);
        from = at + token.size();
        at = text.find(token, from);
    }
    result.append(text, from, std::string::npos);
    text.swap(result);
}

}  // namespace

std::string ExpandDateTimeTemplate(std::string_view dateTimeTemplate, const LocalTime& time) {
    std::string text(dateTimeTemplate);
    if (text.find('%') == std::string::npos) {
        return text;
    }
    // Noon hours are PM: 12:xx is "12 PM", 00:xx is "12 AM", 13:xx is "01 PM".
    const bool afternoon = time.hour >= 12;
    unsigned hour12 = time.hour > 12 ? time.hour - 12 : time.hour;
    if (hour12 == 0) {
        hour12 = 12;
    }

    // Order matters for odd templates only (a "%D" beginning "%DAT" becomes the day).
    const std::array<std::pair<std::string_view, std::string>, 9> replacements = {{
        {"%Y", padded(time.year, 1)},
        {"%MY", padded(time.month, 2)},
        {"%D", padded(time.day, 2)},
        {"%AP", afternoon ? "PM" : "AM"},
        {"%H12", padded(hour12, 2)},
        {"%H24", padded(time.hour, 2)},
        {"%MN", padded(time.minute, 2)},
        {"%S", padded(time.second, 2)},
        {"%MS", padded(time.millisecond, 3)},
    }};
    for (const auto& [token, value] : replacements) {
        replaceAll(text, token, value);
    }
    return text;
}

}  // namespace vorlanx
