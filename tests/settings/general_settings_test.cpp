// General settings values: how the record's fields load into the window's values and how
// a store writes them back, touching nothing else.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "settings/general_settings.h"

namespace vorlanx {
namespace {

TEST(ReadInterval, SignedDecimalOrZero) {
    const std::pair<const char*, int32_t> cases[] = {
        {"60", 60},
        {"-5", -5},
        {"+7", 7},
        {" 12", 12},
        {"12 ", 12},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", 0},
        {"99999999999", 0},
        {"", 0},
        {"abc", 0},
        {"12abc", 0},
        {"1 2", 0},
        {"+-5", 0},
        {"0x10", 0},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ReadInterval(text), value) << '"' << text << '"';
}

TEST(GeneralSettingsLoad, RadioPrecedenceTextDecHexElseHeadingOnly) {
    struct Case {
        bool text, dec, hex;
        AutoLogContent shown;
    };
    const Case cases[] = {
        {false, false, false, AutoLogContent::HeadingOnly},
        {true, true, true, AutoLogContent::Text},
        {false, true, true, AutoLogContent::Dec},
        {false, false, true, AutoLogContent::Hex},
        {true, false, true, AutoLogContent::Text},
    };
    for (const Case& c : cases) {
        SettingsRecord r = SettingsRecord::defaults("/");
        r.setAutoLogText(c.text);
        r.setAutoLogDec(c.dec);
        r.setAutoLogHex(c.hex);
        GeneralSettings g = GeneralSettings::load(r);
        EXPECT_EQ(g.autoLogContent, c.shown) << c.text << c.dec << c.hex;
        // Stored back, exactly the shown one is set.
        g.store(r);
        EXPECT_EQ(r.autoLogText(), c.shown == AutoLogContent::Text);
        EXPECT_EQ(r.autoLogDec(), c.shown == AutoLogContent::Dec);
        EXPECT_EQ(r.autoLogHex(), c.shown == AutoLogContent::Hex);
    }
}

TEST(GeneralSettingsStore, WritesItsFieldsAndNoOtherByte) {
    // Every byte distinct from its neighbours, so a stray write shows.
    SettingsRecord before;
    for (size_t i = 0; i < SettingsRecord::kSize; ++i)
        before.bytes()[i] = static_cast<uint8_t>(i * 7 + 3);
    before.setAutoLogIntervalSec(60);

    GeneralSettings g = GeneralSettings::load(before);
    g.autoLog = true;
    g.autoLogPath = "/var/log/packets.txt";
    g.autoLogInterval = "-5";
    g.autoLogContent = AutoLogContent::Hex;
    g.soundFile = "/usr/share/sounds/ding.wav";
    g.useWindowsColors = true;
    g.noTaskbarBlink = true;
    g.showModeChoice = false;
    g.fileNameTemplate = "%DAT %SIP";
    g.dateTimeTemplate = "%H12%AP";
    SettingsRecord after = before;
    g.store(after);

    EXPECT_EQ(GeneralSettings::load(after), g);
    EXPECT_EQ(after.autoLogIntervalSec(), -5);
    // The fields of the window: showModeChoice, the logging block without its reserved
    // three bytes at 12065, and soundFile up to the end of dateTimeTemplate.
    const std::pair<size_t, size_t> edited[] = {
        {0, 1}, {11040, 12065}, {12068, 12075}, {17592, 20666}};
    for (size_t i = 0; i < SettingsRecord::kSize; ++i) {
        bool inField = false;
        for (const auto& [begin, end] : edited)
            inField = inField || (i >= begin && i < end);
        if (!inField) {
            ASSERT_EQ(after.bytes()[i], before.bytes()[i]) << "offset " << i;
        }
    }

    // An unchanged window stores the defaulted record back byte for byte.
    const SettingsRecord defaults = SettingsRecord::defaults("/home/user/");
    SettingsRecord again = defaults;
    GeneralSettings::load(defaults).store(again);
    EXPECT_EQ(again, defaults);
}

TEST(GeneralSettingsStore, LongTextsAreCutOnACharacterBoundary) {
    const std::string e = "\xC3\xA9";  // a two-byte character
    struct Case {
        std::string text;
        std::string stored;
    };
    const Case cases[] = {
        {std::string(1021, 'a') + e, std::string(1021, 'a') + e},  // 1,023 bytes: all kept
        {std::string(1022, 'a') + e, std::string(1022, 'a')},      // the character would split
        {std::string(1023, 'a') + "b", std::string(1023, 'a')},
    };
    for (const Case& c : cases) {
        SettingsRecord r = SettingsRecord::defaults("/");
        GeneralSettings g = GeneralSettings::load(r);
        g.autoLogPath = g.soundFile = g.fileNameTemplate = g.dateTimeTemplate = c.text;
        g.store(r);
        EXPECT_EQ(r.autoLogPath(), c.stored) << c.text.size();
        EXPECT_EQ(r.soundFile(), c.stored) << c.text.size();
        EXPECT_EQ(r.fileNameTemplate(), c.stored) << c.text.size();
        EXPECT_EQ(r.dateTimeTemplate(), c.stored) << c.text.size();
    }
}

}  // namespace
}  // namespace vorlanx
