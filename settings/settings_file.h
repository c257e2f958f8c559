// The settings file: one SettingsRecord beside the executable, nothing else in it.
#pragma once

#include <string>
#include <string_view>

#include "settings/settings_record.h"

namespace vorlanx {

// The settings file for an executable path: a file name with a three-character extension
// has it replaced by "BCS" ("vorlanx.exe" -> "vorlanx.BCS"); any other name gets ".BCS"
// appended ("vorlanx" -> "vorlanx.BCS").
std::string SettingsFilePath(std::string_view executablePath);

// The default File Mode directory: $HOME followed by "/" ("/" when HOME is unset).
std::string DefaultFileDirectory();

// Fills the record from the file. A missing or unreadable file gives the defaults; a
// shorter file gives its bytes followed by the defaults' bytes; bytes beyond the record
// are ignored. Reports nothing.
void LoadSettings(SettingsRecord& record, const std::string& path);

// Writes the record's 20,672 bytes to a new file beside the old one and renames it over
// the old one, so an interrupted or failed write leaves the previous file whole. Returns
// false when nothing was written (the caller reports nothing and runs on).
bool SaveSettings(const SettingsRecord& record, const std::string& path);

}  // namespace vorlanx
