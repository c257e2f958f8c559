// The commands of vorlanx-cli, each with its options as parsed from the command line.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "packetmode/packet_details.h"
#include "settings/settings_record.h"

namespace vorlanx {

// "vorlanx-cli: <what>" starts every message of the program.
inline constexpr const char* kCliPrefix = "vorlanx-cli: ";

struct ListOptions {
    std::string capturePath;
    PacketRendering rendering = PacketRendering::None;  // headings only
    std::optional<std::string> settingsPath;            // filters and Date / Time template
};

// Writes the text report of the capture file's IPv4 datagrams to `streams.out`, as
// Packet Mode's File > Save writes it for the same packets; with a settings file only the
// datagrams its filters accept, each stamped with its record time by its template.
int RunList(const ListOptions& options, const CliStreams& streams);

struct ExtractOptions {
    std::vector<std::string> capturePaths;  // replayed one after the other as one recording
    std::string outputDirectory;            // created when missing
    std::optional<std::string> settingsPath;
    bool quiet = false;  // no line per written file
    // The flags' changes to the File Mode settings, applied in order over the defaults or
    // the settings file.
    std::vector<std::function<void(SettingsRecord&)>> changes;
};

// File Mode over capture files: writes every stored response into the output directory,
// one line per file on `streams.out` (unless quiet) and a summary of what was read,
// written and lost. `stopRequested` ends the run early (pending streams are dropped).
int RunExtract(const ExtractOptions& options, const CliStreams& streams,
               const std::atomic<bool>& stopRequested);

struct CaptureOptions {
    std::string interfaceAddress;
    std::string outputPath;
    uint64_t count = 0;    // 0: no limit
    uint64_t seconds = 0;  // 0: no limit
};

// Captures on the interface that owns the address into a pcap file until `count`
// datagrams, `seconds` or `stopRequested`; the file is complete in every case.
int RunCapture(const CaptureOptions& options, const CliStreams& streams,
               const std::atomic<bool>& stopRequested);

}  // namespace vorlanx
