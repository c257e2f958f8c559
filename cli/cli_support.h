// Parts the commands of vorlanx-cli share: the settings option and the progress line.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli.h"
#include "settings/settings_record.h"

namespace vorlanx {

// The settings file named by --settings, loaded over the defaults. A missing or unreadable
// file is reported on the error stream (named on the command line, it has to be there;
// the program itself would quietly start from the defaults) and gives nothing.
std::optional<SettingsRecord> ReadSettingsOption(const std::string& path,
                                                 const CliStreams& streams);

// "NAME: NN%" on the error stream, rewritten in place as it grows; only on a terminal, so a
// redirected error stream holds the messages alone.
class ProgressLine {
  public:
    ProgressLine(const CliStreams& streams, std::string name, uint64_t total)
        : m_err(streams.err), m_shown(streams.errIsTerminal), m_name(std::move(name)),
          m_total(total) {}
    void update(uint64_t done);
    // Ends the progress line, so a message after it starts a line of its own.
    void finish();

  private:
    static constexpr uint64_t kNone = ~uint64_t{0};
    std::ostream& m_err;
    bool m_shown;
    std::string m_name;
    uint64_t m_total;
    uint64_t m_percent = kNone;
};

}  // namespace vorlanx
