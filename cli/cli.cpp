#include "cli/cli.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "cli/commands.h"
#include "settings/product.h"

namespace vorlanx {

namespace {

constexpr const char* kHelpText =
    "Usage:\n"
    "  vorlanx-cli list CAPTURE [--text|--dec|--hex] [--settings FILE]\n"
    "      Writes the text report of a capture file (pcap or pcapng) to standard output:\n"
    "      a heading per IPv4 datagram, and its data as text, decimal or hexadecimal\n"
    "      when asked. --settings FILE applies the filters and the Date / Time template\n"
    "      stored in that settings file.\n"
    "  vorlanx-cli capture -i ADDRESS -w FILE.pcap [-c COUNT] [--seconds N]\n"
    "      Captures every IPv4 datagram of the interface that owns ADDRESS into a pcap\n"
    "      file, until COUNT datagrams, N seconds, or Ctrl+C. Needs the permission to\n"
    "      capture packets (cap_net_raw).\n"
    "  vorlanx-cli --help | --version\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage.\n";

// The error of a command line that cannot be run, or nothing.
using UsageError = std::optional<std::string>;

int ReportUsageError(const std::string& what, std::ostream& err) {
    err << kCliPrefix << what << "; see --help\n";
    return kExitUsage;
}

// A whole number above 0, or nothing.
std::optional<uint64_t> PositiveNumber(std::string_view text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0)
        return std::nullopt;
    return value;
}

// Walks the arguments of one command: options with their values, and operands.
class ArgumentReader {
  public:
    ArgumentReader(const std::vector<std::string>& args, size_t first) : m_args(args), m_next(first) {}
    bool done() const { return m_next >= m_args.size(); }
    const std::string& take() { return m_args[m_next++]; }
    // The value after option `name`, or an error.
    UsageError value(const std::string& name, std::string& into) {
        if (done())
            return name + " needs a value";
        into = take();
        return std::nullopt;
    }
    UsageError number(const std::string& name, uint64_t& into) {
        std::string text;
        if (UsageError e = value(name, text))
            return e;
        const std::optional<uint64_t> n = PositiveNumber(text);
        if (!n)
            return name + " needs a whole number above 0, not '" + text + "'";
        into = *n;
        return std::nullopt;
    }

  private:
    const std::vector<std::string>& m_args;
    size_t m_next;
};

UsageError ParseList(const std::vector<std::string>& args, ListOptions& options) {
    ArgumentReader reader(args, 1);
    const char* renderingFlag = nullptr;
    bool haveCapture = false;
    while (!reader.done()) {
        const std::string& arg = reader.take();
        std::optional<PacketRendering> rendering;
        if (arg == "--text")
            rendering = PacketRendering::Text;
        else if (arg == "--dec")
            rendering = PacketRendering::Dec;
        else if (arg == "--hex")
            rendering = PacketRendering::Hex;
        if (rendering) {
            if (renderingFlag != nullptr && arg != renderingFlag)
                return "choose one of --text, --dec and --hex";
            renderingFlag = arg.c_str();
            options.rendering = *rendering;
        } else if (arg == "--settings") {
            std::string path;
            if (UsageError e = reader.value(arg, path))
                return e;
            options.settingsPath = path;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option '" + arg + "' for list";
        } else if (haveCapture) {
            return "list reads one capture file, '" + arg + "' is a second";
        } else {
            options.capturePath = arg;
            haveCapture = true;
        }
    }
    if (!haveCapture)
        return "list needs a capture file";
    return std::nullopt;
}

UsageError ParseCapture(const std::vector<std::string>& args, CaptureOptions& options) {
    ArgumentReader reader(args, 1);
    while (!reader.done()) {
        const std::string& arg = reader.take();
        UsageError e;
        if (arg == "-i")
            e = reader.value(arg, options.interfaceAddress);
        else if (arg == "-w")
            e = reader.value(arg, options.outputPath);
        else if (arg == "-c")
            e = reader.number(arg, options.count);
        else if (arg == "--seconds")
            e = reader.number(arg, options.seconds);
        else if (arg.size() > 1 && arg[0] == '-')
            e = "unknown option '" + arg + "' for capture";
        else
            e = "capture takes no operand '" + arg + "'";
        if (e)
            return e;
    }
    if (options.interfaceAddress.empty())
        return "capture needs -i ADDRESS";
    if (options.outputPath.empty())
        return "capture needs -w FILE";
    return std::nullopt;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliStreams& streams,
           const std::atomic<bool>& stopRequested) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            streams.out << kHelpText;
            return kExitSuccess;
        }
    }
    if (args.empty())
        return ReportUsageError("no command given", streams.err);
    const std::string& command = args[0];
    if (command == "--version") {
        if (args.size() > 1)
            return ReportUsageError("--version takes nothing after it", streams.err);
        streams.out << "vorlanx-cli " << kProductVersion << "\n";
        return kExitSuccess;
    }
    if (command == "list") {
        ListOptions options;
        if (UsageError e = ParseList(args, options))
            return ReportUsageError(*e, streams.err);
        return RunList(options, streams);
    }
    if (command == "capture") {
        CaptureOptions options;
        if (UsageError e = ParseCapture(args, options))
            return ReportUsageError(*e, streams.err);
        return RunCapture(options, streams, stopRequested);
    }
    return ReportUsageError("unknown command '" + command + "'", streams.err);
}

}  // namespace vorlanx
