// The user's date-time pattern and its expansion.
#pragma once

#include <string>
#include <string_view>

#include "platform/local_time.h"
#include "settings/settings_record.h"  // kDefaultDateTimeTemplate

namespace vorlanx {

// Replaces, in this order and every occurrence each time, "%Y", "%MY", "%D", "%AP",
// "%H12", "%H24", "%MN", "%S", "%MS" by the parts of `time`; everything else is copied.
// Tokens are case-sensitive. Pure; any thread.
std::string ExpandDateTimeTemplate(std::string_view dateTimeTemplate, const LocalTime& time);

// The same with the time read once from `source`.
inline std::string ExpandDateTimeTemplate(std::string_view dateTimeTemplate,
                                          const LocalTimeSource& source) {
    return ExpandDateTimeTemplate(dateTimeTemplate, source.now());
}

}  // namespace vorlanx
