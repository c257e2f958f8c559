#include "app/command_line.h"

#include <string>

namespace vorlanx {

CommandLine ParseCommandLine(std::string_view text) {
    CommandLine cl;
    cl.empty = text.empty();
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    auto has = [&](std::string_view s) { return lower.find(s) != std::string::npos; };
    cl.noInstall = has("noinstall");
    cl.uninstall = has("uninstall");
    cl.packetMode = has("packet_mode");
    cl.fileMode = has("file_mode");
    cl.help = has("?") || has("help");
    return cl;
}

}  // namespace vorlanx
