// The product's names as they appear in captions, messages and the install layout.
#pragma once

namespace vorlanx {

inline constexpr const char* kProductName = "Brindlecraft VORLANX";
inline constexpr const char* kProductVersion = "1.5";
// The installed copy's key and its two values: the installed executable's full path and
// the marker that this version was installed before.
inline constexpr const char* kInstallKey = "SOFTWARE\\Brindlecraft\\VORLANX";
inline constexpr const char* kInstalledPathValue = "1.5EXENameAndPath";
inline constexpr const char* kInstalledVersionValue = "1.5";

// The maker's web page, opened by the logo of the mode windows.
inline constexpr const char* kMakerWebAddress = "https://brindlecraft.example/vorlanx/";

// Colours as 0x00BBGGRR.
inline constexpr unsigned kDialogBackgroundColor = 0x00C8C8C8;
inline constexpr unsigned kDialogTextColor = 0x00000000;

}  // namespace vorlanx
