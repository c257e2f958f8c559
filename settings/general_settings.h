// GeneralSettings: what the General settings window edits, as its controls hold it, and
// the two moves between those values and the settings record.
//
// The window only copies these values into its controls and back; loading, the radio
// precedence, reading the interval and the order of the store live here, headless.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/settings_record.h"

namespace vorlanx {

// The automatic log's content: the four radio buttons, one of them checked.
enum class AutoLogContent { HeadingOnly, Text, Dec, Hex };

struct GeneralSettings {
    bool autoLog = false;
    std::string autoLogPath;
    std::string autoLogInterval;  // the text of the interval box, as typed
    AutoLogContent autoLogContent = AutoLogContent::HeadingOnly;
    std::string soundFile;
    bool useWindowsColors = false;
    bool noTaskbarBlink = false;
    bool showModeChoice = false;
    std::string fileNameTemplate;
    std::string dateTimeTemplate;

    bool operator==(const GeneralSettings&) const = default;

    // The values of `record`: the interval as a signed decimal, the content Text if
    // autoLogText is set, else Dec if autoLogDec is, else Hex if autoLogHex is, else
    // HeadingOnly.
    static GeneralSettings load(const SettingsRecord& record);

    // Writes the values into their fields of `record`, in the window's order: logging,
    // interval, content, sound, colours, blinking, templates, mode choice. Texts longer
    // than their field are cut on a character boundary; the interval is ReadInterval of
    // its text. Every other byte of the record stays as it was.
    void store(SettingsRecord& record) const;
};

// A signed decimal number as the interval box is read: blanks around it and one sign are
// allowed; text that is not a number, or a number beyond 32 bits, gives 0.
int32_t ReadInterval(std::string_view text);

}  // namespace vorlanx
