// The About window's history rows and the agreement's wrapping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/about_text.h"

namespace vorlanx {
namespace {

TEST(AboutText, HistoryReadsNewestFirst) {
    const auto& rows = VersionHistoryRows();
    ASSERT_EQ(rows.size(), 97u);
    EXPECT_EQ(rows[0], "Version Change History:");
    EXPECT_EQ(rows[1], "");
    EXPECT_EQ(rows[2], "Changes in V1.5.2:");
    EXPECT_EQ(rows[4], "  Multiple bugs fixed including File Mode crash.");
    EXPECT_EQ(rows[13], "  File Mode - current receive buffer usage now shown.");
    EXPECT_EQ(rows[15], "Changes in V1.5.1:");
    EXPECT_EQ(rows[87], "Changes in V1.1:");
    EXPECT_EQ(rows[95], "  Some optimizations and bug fixes.");
    EXPECT_EQ(rows[96], "");
    // Each heading is followed by an empty row and preceded by one.
    std::vector<std::string> headings;
    for (size_t i = 2; i < rows.size(); ++i) {
        if (rows[i].rfind("Changes in V", 0) == 0) {
            headings.push_back(rows[i]);
            EXPECT_EQ(rows[i - 1], "");
            EXPECT_EQ(rows[i + 1], "");
        } else if (!rows[i].empty()) {
            EXPECT_EQ(rows[i].substr(0, 2), "  ") << rows[i];
        }
    }
    EXPECT_EQ(headings.size(), 12u);
    EXPECT_EQ(headings[3], "Changes in V1.4.2.3 (unreleased):");
}

TEST(AboutText, Wrapping) {
    // A line fits when it has at most `width` bytes.
    const struct {
        std::string paragraph;
        size_t width;
        std::vector<std::string> lines;
    } cases[] = {
        {"one two three", 20, {"one two three"}},
        {"one two three", 7, {"one two", "three"}},
        {"  spaced   out  ", 20, {"spaced out"}},
        {"abcdefghij xy", 4, {"abcd", "efgh", "ij", "xy"}},
        {"ab \xC3\xA9\xC3\xA9\xC3\xA9", 3, {"ab", "\xC3\xA9", "\xC3\xA9", "\xC3\xA9"}},
        {"x", 0, {"x"}},  // nothing fits: one character a line
        {"", 10, {""}},
    };
    for (const auto& c : cases) {
        const auto fits = [&](std::string_view line) { return line.size() <= c.width; };
        EXPECT_EQ(WrapParagraph(c.paragraph, fits), c.lines) << c.paragraph;
    }
}

TEST(AboutText, AgreementRows) {
    const auto rows =
        AgreementRows({"aa bb", "cc"}, [](std::string_view line) { return line.size() <= 2; });
    const std::vector<std::string> expected = {"", kAgreementStartMarker, "", "aa", "bb", "", "cc",
                                               "", kAgreementEndMarker,   ""};
    EXPECT_EQ(rows, expected);
}

}  // namespace
}  // namespace vorlanx
