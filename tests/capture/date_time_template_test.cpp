#include <gtest/gtest.h>

#include <string>

#include "capture/date_time_template.h"
#include "platform/local_time.h"

namespace vorlanx {
namespace {

LocalTime at(unsigned hour, unsigned minute, unsigned second = 0, unsigned millisecond = 0) {
    LocalTime t;
    t.year = 2003;
    t.month = 4;
    t.day = 2;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.millisecond = millisecond;
    return t;
}

TEST(ExpandDateTimeTemplate, DefaultTemplate) {
    EXPECT_EQ(ExpandDateTimeTemplate(kDefaultDateTimeTemplate, at(14, 5, 9, 7)),
              "2003.04.02 - 14:05:09.007");
    LocalTime late{.year = 1999,
                   .month = 12,
                   .day = 31,
                   .hour = 23,
                   .minute = 59,
                   .second = 59,
                   .millisecond = 999};
    EXPECT_EQ(ExpandDateTimeTemplate(kDefaultDateTimeTemplate, late), "1999.12.31 - 23:59:59.999");
    LocalTime first{.year = 2010, .month = 1, .day = 1};
    EXPECT_EQ(ExpandDateTimeTemplate(kDefaultDateTimeTemplate, first), "2010.01.01 - 00:00:00.000");
}

struct ClockCase {
    unsigned hour;
    unsigned minute;
    const char* expected;
};

TEST(ExpandDateTimeTemplate, TwelveHourClock) {
    const ClockCase cases[] = {
        {0, 30, "12 AM 00:30"},  {1, 0, "01 AM 01:00"},   {9, 15, "09 AM 09:15"},
        {11, 59, "11 AM 11:59"}, {12, 0, "12 AM 12:00"},  {12, 30, "12 AM 12:30"},
        {13, 5, "01 PM 13:05"},  {13, 59, "01 PM 13:59"}, {18, 0, "06 PM 18:00"},
        {23, 59, "11 PM 23:59"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExpandDateTimeTemplate("%H12 %AP %H24:%MN", at(c.hour, c.minute)), c.expected)
            << c.hour << ":" << c.minute;
    }
}

struct TokenCase {
    const char* dateTimeTemplate;
    const char* expected;
};

TEST(ExpandDateTimeTemplate, EachTokenAndItsWidth) {
    // 2003-04-02 08:07:06.005
    const LocalTime t = at(8, 7, 6, 5);
    const TokenCase cases[] = {
        {"%Y", "2003"},
        {"%MY", "04"},
        {"%D", "02"},
        {"%AP", "AM"},
        {"%H12", "08"},
        {"%H24", "08"},
        {"%MN", "07"},
        {"%S", "06"},
        {"%MS", "005"},
        {"%Y%Y", "20032003"},
        {"%MS%S", "00506"},
        {"%S%MS", "06005"},
        {"[%D/%MY/%Y]", "[02/04/2003]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExpandDateTimeTemplate(c.dateTimeTemplate, t), c.expected) << c.dateTimeTemplate;
    }
    LocalTime wide{.year = 987,
                   .month = 10,
                   .day = 31,
                   .hour = 22,
                   .minute = 45,
                   .second = 59,
                   .millisecond = 123};
    EXPECT_EQ(ExpandDateTimeTemplate("%Y|%MY|%D|%H12|%MS", wide), "987|10|31|10|123");
}

TEST(ExpandDateTimeTemplate, EverythingElseIsCopied) {
    const LocalTime t = at(14, 5, 9, 7);
    const TokenCase cases[] = {
        {"", ""},
        {"no tokens here", "no tokens here"},
        {"%y %my %d %ap %h12 %h24 %mn %s %ms", "%y %my %d %ap %h12 %h24 %mn %s %ms"},
        {"%M %H %H1 %A %", "%M %H %H1 %A %"},
        {"100% %%", "100% %%"},
        {"%%Y", "%2003"},
        {"%DAT", "02AT"},  // "%D" is replaced before anything that could follow it
        {"%H123", "023"},
        {"%H1%Y", "02003"},  // the year's first digit completes "%H12", replaced later
        {"%%YY", "%2003Y"},
        {"a:b\\c %S", "a:b\\c 09"},
        {"\xC2\xBF %Y \xE2\x82\xAC", "\xC2\xBF 2003 \xE2\x82\xAC"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExpandDateTimeTemplate(c.dateTimeTemplate, t), c.expected) << c.dateTimeTemplate;
    }
}

// A clock that moves on by one second and one millisecond each time it is read, so a
// text built from two readings mixes two times.
class TickingLocalTimeSource final : public LocalTimeSource {
  public:
    LocalTime now() const override {
        ++m_reads;
        return at(11, 59, 58 + m_reads, 998 + m_reads);
    }
    mutable unsigned m_reads = 0;
};

TEST(ExpandDateTimeTemplate, ReadsTheSourceOnce) {
    TickingLocalTimeSource source;
    EXPECT_EQ(ExpandDateTimeTemplate("%H12 %AP %S.%MS", source), "11 AM 59.999");
    EXPECT_EQ(source.m_reads, 1u);
}

TEST(SystemLocalTimeSource, GivesAPlausibleLocalTime) {
    SystemLocalTimeSource source;
    const LocalTime t = source.now();
    EXPECT_GE(t.year, 2024u);
    EXPECT_GE(t.month, 1u);
    EXPECT_LE(t.month, 12u);
    EXPECT_GE(t.day, 1u);
    EXPECT_LE(t.day, 31u);
    EXPECT_LE(t.hour, 23u);
    EXPECT_LE(t.minute, 59u);
    EXPECT_LE(t.second, 59u);
    EXPECT_LE(t.millisecond, 999u);
    const std::string text = ExpandDateTimeTemplate(kDefaultDateTimeTemplate, source);
    EXPECT_EQ(text.size(), 25u) << text;
}

}  // namespace
}  // namespace vorlanx
