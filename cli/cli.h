// vorlanx-cli: the capture tools without windows.
//
//   vorlanx-cli list CAPTURE [--text|--dec|--hex] [--settings FILE]
//   vorlanx-cli capture -i ADDRESS -w FILE.pcap [-c COUNT] [--seconds N]
//
// RunCli takes the arguments after the program name and the two standard streams and
// returns the exit status: 0 done, 1 failed (the message names the file and the reason),
// 2 a usage error (one line on the error stream).
#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

namespace vorlanx {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct CliStreams {
    std::ostream& out;
    std::ostream& err;
    // Progress figures go to `err` only when it is a terminal.
    bool errIsTerminal = false;
};

// Runs one command. `stopRequested` ends a running capture with a complete file (set from
// the SIGINT and SIGTERM handlers); read only, from any thread.
int RunCli(const std::vector<std::string>& args, const CliStreams& streams,
           const std::atomic<bool>& stopRequested);

}  // namespace vorlanx
