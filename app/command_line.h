// The command line: options found as substrings anywhere in the lower-cased text.
#pragma once

#include <string_view>

namespace vorlanx {

struct CommandLine {
    bool empty = true;  // no text after the program name
    bool help = false;  // "?" or "help": wins over every other option
    bool noInstall = false;
    bool uninstall = false;
    bool packetMode = false;
    bool fileMode = false;

    // True when any of the four action options was found.
    bool anyOption() const { return noInstall || uninstall || packetMode || fileMode; }
};

// Parses the text after the program name. "-", "/", separators and anything around an
// option do not matter: "xpacket_modex" selects Packet Mode.
CommandLine ParseCommandLine(std::string_view text);

inline constexpr const char* kOptionListText =
    "Current available command line options:\r\n\r\n"
    "-uninstall  Runs the un-installation system.\r\n"
    "-noinstall  Runs the program without asking to install (does not require the program to be "
    "installed).\r\n"
    "-help / -?  Displays this message.\r\n"
    "-packet_mode  Automatically chooses Packet Mode when started.\r\n"
    "-file_mode  Automatically chooses File Mode when started.";

inline constexpr const char* kNotImplementedText =
    "Command line sniffing is not currently implemented ;(\r\n"
    "To see available command options, use -help";

}  // namespace vorlanx
