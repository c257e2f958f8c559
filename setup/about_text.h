// The fixed content of the About and agreement windows: the maker's details, the version
// history and the end-user agreement, as rows ready for their lists.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlanx {

inline constexpr const char* kMakerName = "Brindlecraft";
inline constexpr const char* kMakerSlogan = "Small tools that show their work.";
inline constexpr const char* kMakerSiteAddress = "https://brindlecraft.example/";
inline constexpr const char* kSupportAddress = "support@brindlecraft.example";

// The About window's blurb (control 1116).
extern const char* const kAboutBlurb;

// The version history, top row first: "Version Change History:", an empty row, then one
// block per version, newest first (heading, empty row, changes, empty row).
const std::vector<std::string>& VersionHistoryRows();

// The agreement's paragraphs, between its start and end markers.
const std::vector<std::string>& AgreementParagraphs();

inline constexpr const char* kAgreementStartMarker =
    "    ----- BRINDLECRAFT VORLANX END USER AGREEMENT STARTS HERE -----";
inline constexpr const char* kAgreementEndMarker =
    "     ----- BRINDLECRAFT VORLANX END USER AGREEMENT ENDS HERE -----";

// Breaks `paragraph` into lines that `fits` accepts, at spaces; a word too long for a line
// alone is broken between characters (never inside a UTF-8 sequence). At least one line.
std::vector<std::string> WrapParagraph(std::string_view paragraph,
                                       const std::function<bool(std::string_view)>& fits);

// The agreement's rows, top row first: an empty row, the start marker, each paragraph
// wrapped by `fits` after an empty row, an empty row, the end marker and an empty row.
std::vector<std::string> AgreementRows(const std::vector<std::string>& paragraphs,
                                       const std::function<bool(std::string_view)>& fits);

}  // namespace vorlanx
