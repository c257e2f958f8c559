#include "capture/date_time_template.h"

#include <charconv>

namespace vorlanx {
namespace {

// "%0<width>u" of v into `buffer`; returns the text.
std::string_view padded(char (&buffer)[16], unsigned v, size_t width) {
    char digits[12];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    const size_t n = static_cast<size_t>(r.ptr - digits);
    size_t at = 0;
    while (at + n < width) {
        buffer[at++] = '0';
    }
    for (size_t k = 0; k < n; ++k) {
        buffer[at++] = digits[k];
    }
    return std::string_view(buffer, at);
}

// Replaces every occurrence of `token` in `text` left to right, never rescanning a
// replacement; `scratch` is the reused second buffer.
void replaceAll(std::string& text, std::string& scratch, std::string_view token,
                std::string_view replacement) {
    size_t at = text.find(token);
    if (at == std::string::npos) {
        return;
    }
    scratch.clear();
    size_t from = 0;
    while (at != std::string::npos) {
        scratch.append(text, from, at - from);
        scratch.append(replacement);
        from = at + token.size();
        at = text.find(token, from);
    }
    scratch.append(text, from, std::string::npos);
    text.swap(scratch);
}

}  // namespace

std::string ExpandDateTimeTemplate(std::string_view dateTimeTemplate, const LocalTime& time) {
    std::string text(dateTimeTemplate);
    if (text.find('%') == std::string::npos) {
        return text;
    }
    // Hours from 13 on are PM; 00:xx and 12:xx both read "12 AM", the form the file names
    // and list texts of this program have always had, so names stay comparable.
    const bool afternoon = time.hour >= 13;
    unsigned hour12 = time.hour > 12 ? time.hour - 12 : time.hour;
    if (hour12 == 0) {
        hour12 = 12;
    }

    // Each token everywhere in turn, in this order. The order shows only in odd templates:
    // "%DAT" gives the day then "AT", and "%H1%Y" gives "%H1" and the year, whose first
    // digit then completes a "%H12".
    std::string scratch;
    scratch.reserve(text.size() + 32);
    char buffer[16];
    replaceAll(text, scratch, "%Y", padded(buffer, time.year, 1));
    replaceAll(text, scratch, "%MY", padded(buffer, time.month, 2));
    replaceAll(text, scratch, "%D", padded(buffer, time.day, 2));
    replaceAll(text, scratch, "%AP", afternoon ? "PM" : "AM");
    replaceAll(text, scratch, "%H12", padded(buffer, hour12, 2));
    replaceAll(text, scratch, "%H24", padded(buffer, time.hour, 2));
    replaceAll(text, scratch, "%MN", padded(buffer, time.minute, 2));
    replaceAll(text, scratch, "%S", padded(buffer, time.second, 2));
    replaceAll(text, scratch, "%MS", padded(buffer, time.millisecond, 3));
    return text;
}

}  // namespace vorlanx
