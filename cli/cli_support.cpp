#include "cli/cli_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "settings/settings_file.h"

namespace vorlanx {

std::optional<SettingsRecord> ReadSettingsOption(const std::string& path,
                                                 const CliStreams& streams) {
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe == nullptr) {
        const int error = errno;
        streams.err << kCliPrefix << "cannot read the settings file \"" << path
                    << "\": " << std::strerror(error) << "\n";
        return std::nullopt;
    }
    std::fclose(probe);
    SettingsRecord record = SettingsRecord::defaults(DefaultFileDirectory());
    LoadSettings(record, path);
    return record;
}

void ProgressLine::update(uint64_t done) {
    if (!m_shown || m_total == 0)
        return;
    const uint64_t percent = std::min<uint64_t>(100, done * 100 / m_total);
    if (percent == m_percent)
        return;
    m_percent = percent;
    m_err << "\r" << m_name << ": " << percent << "%" << std::flush;
}

void ProgressLine::finish() {
    if (m_percent != kNone)
        m_err << "\n" << std::flush;
}

}  // namespace vorlanx
