#include "settings/general_settings.h"

#include <charconv>

namespace vorlanx {

int32_t ReadInterval(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    // from_chars takes a minus but no plus; a plus before a minus is no number.
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-'))
            return 0;
    }
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return 0;
    return value;
}

GeneralSettings GeneralSettings::load(const SettingsRecord& record) {
    GeneralSettings g;
    g.autoLog = record.autoLog();
    g.autoLogPath = record.autoLogPath();
    g.autoLogInterval = std::to_string(record.autoLogIntervalSec());
    g.soundFile = record.soundFile();
    g.useWindowsColors = record.useWindowsColors();
    g.noTaskbarBlink = record.noTaskbarBlink();
    g.fileNameTemplate = record.fileNameTemplate();
    g.dateTimeTemplate = record.dateTimeTemplate();
    g.showModeChoice = record.showModeChoice();
    g.autoLogContent = record.autoLogText()  ? AutoLogContent::Text
                       : record.autoLogDec() ? AutoLogContent::Dec
                       : record.autoLogHex() ? AutoLogContent::Hex
                                             : AutoLogContent::HeadingOnly;
    return g;
}

void GeneralSettings::store(SettingsRecord& record) const {
    record.setAutoLog(autoLog);
    record.setAutoLogPath(autoLogPath);
    record.setAutoLogIntervalSec(ReadInterval(autoLogInterval));
    record.setAutoLogText(autoLogContent == AutoLogContent::Text);
    record.setAutoLogDec(autoLogContent == AutoLogContent::Dec);
    record.setAutoLogHex(autoLogContent == AutoLogContent::Hex);
    record.setSoundFile(soundFile);
    record.setUseWindowsColors(useWindowsColors);
    record.setNoTaskbarBlink(noTaskbarBlink);
    record.setFileNameTemplate(fileNameTemplate);
    record.setDateTimeTemplate(dateTimeTemplate);
    record.setShowModeChoice(showModeChoice);
}

}  // namespace vorlanx
