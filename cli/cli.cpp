#include "cli/cli.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "cli/commands.h"
#include "filemode/file_mode_filter.h"
#include "settings/product.h"

namespace vorlanx {

namespace {

const std::string kHelpText =
    "Usage:\n"
    "  vorlanx-cli list CAPTURE [--text|--dec|--hex] [--settings FILE]\n"
    "      Writes the text report of a capture file (pcap or pcapng) to standard output:\n"
    "      a heading per IPv4 datagram, and its data as text, decimal or hexadecimal\n"
    "      when asked. --settings FILE applies the filters and the Date / Time template\n"
    "      stored in that settings file.\n"
    "  vorlanx-cli extract [options] CAPTURE... -o DIR\n"
    "      Rebuilds the HTTP responses in capture files, as File Mode does, and writes\n"
    "      their bodies into DIR; the files are read one after the other as one\n"
    "      recording, and a stream is quiet when the recording shows nothing of it for\n"
    "      the ACK time-out. Prints each file written and a summary.\n"
    "      --settings FILE          take File Mode's settings from a settings file;\n"
    "                               the options below change them\n"
    "      --name-template TEXT     file name (default \"" +
    std::string(kDefaultFileNameTemplate) +
    "\")\n"
    "      --time-template TEXT     the %DAT text (default \"" +
    kDefaultDateTimeTemplate +
    "\")\n"
    "      --overwrite              overwrite files of the same name (default: number them)\n"
    "      --all-streams            also store streams that are not HTTP responses\n"
    "      --no-partial             ignore 206 Partial Content responses\n"
    "      --min-size N, --max-size N   body size limits in bytes (0: none)\n"
    "      --ack-timeout MS         quiet time that ends a stream (default 10000)\n"
    "      --dirty                  Dirty mode (may be faster)\n"
    "      --src-ip A, --not-src-ip A, --dst-ip A, --not-dst-ip A\n"
    "      --src-port P, --not-src-port P, --dst-port P, --not-dst-port P\n"
    "                               only segments from / not from / to / not to these\n"
    "      --quiet                  no line per file, only the summary\n"
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

// A whole number from 0 to `max`, or nothing.
std::optional<uint64_t> NumberUpTo(std::string_view text, uint64_t max) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

// The File Mode settings extract takes as flags.
using SettingsChange = std::function<void(SettingsRecord&)>;
using TextSetter = void (SettingsRecord::*)(std::string_view);
using PortSetter = void (SettingsRecord::*)(uint16_t);
using SwitchSetter = void (SettingsRecord::*)(bool);

struct SwitchFlag {
    const char* name;
    SwitchSetter set;
    bool value;
};
constexpr SwitchFlag kSwitchFlags[] = {
    {"--overwrite", &SettingsRecord::setOverwriteFiles, true},
    {"--no-overwrite", &SettingsRecord::setOverwriteFiles, false},
    {"--all-streams", &SettingsRecord::setHttpOnly, false},
    {"--only-http", &SettingsRecord::setHttpOnly, true},
    {"--no-partial", &SettingsRecord::setAcceptPartialContent, false},
    {"--partial", &SettingsRecord::setAcceptPartialContent, true},
    {"--dirty", &SettingsRecord::setDirtyMode, true},
    {"--no-dirty", &SettingsRecord::setDirtyMode, false},
};
struct TextFlag {
    const char* name;
    TextSetter set;
    bool address;  // must be a complete dotted address
};
constexpr TextFlag kTextFlags[] = {
    {"--name-template", &SettingsRecord::setFileNameTemplate, false},
    {"--time-template", &SettingsRecord::setDateTimeTemplate, false},
    {"--src-ip", &SettingsRecord::setFileSrcIp, true},
    {"--not-src-ip", &SettingsRecord::setFileSrcIpNot, true},
    {"--dst-ip", &SettingsRecord::setFileDstIp, true},
    {"--not-dst-ip", &SettingsRecord::setFileDstIpNot, true},
};
struct PortFlag {
    const char* name;
    PortSetter set;
};
constexpr PortFlag kPortFlags[] = {
    {"--src-port", &SettingsRecord::setFileSrcPort},
    {"--not-src-port", &SettingsRecord::setFileSrcPortNot},
    {"--dst-port", &SettingsRecord::setFileDstPort},
    {"--not-dst-port", &SettingsRecord::setFileDstPortNot},
    {"--ack-timeout", &SettingsRecord::setAckTimeoutMs},
};

// One settings flag of extract (and its value); nothing when `arg` is not one.
std::optional<UsageError> ParseSettingsFlag(const std::string& arg, ArgumentReader& reader,
                                            std::vector<SettingsChange>& changes) {
    for (const SwitchFlag& flag : kSwitchFlags) {
        if (arg == flag.name) {
            changes.push_back([flag](SettingsRecord& r) { (r.*flag.set)(flag.value); });
            return UsageError{};
        }
    }
    std::string value;
    for (const TextFlag& flag : kTextFlags) {
        if (arg != flag.name)
            continue;
        if (UsageError e = reader.value(arg, value))
            return e;
        if (flag.address && !FileModeFilter::parseAddress(value))
            return UsageError(arg + " needs an address such as 192.168.0.1, not '" + value + "'");
        changes.push_back([flag, value](SettingsRecord& r) { (r.*flag.set)(value); });
        return UsageError{};
    }
    for (const PortFlag& flag : kPortFlags) {
        if (arg != flag.name)
            continue;
        if (UsageError e = reader.value(arg, value))
            return e;
        const std::optional<uint64_t> n = NumberUpTo(value, 65535);
        if (!n)
            return UsageError(arg + " needs a whole number from 0 to 65535, not '" + value + "'");
        const auto number = static_cast<uint16_t>(*n);
        changes.push_back([flag, number](SettingsRecord& r) { (r.*flag.set)(number); });
        return UsageError{};
    }
    for (const auto& [name, setter] :
         {std::pair{"--min-size", &SettingsRecord::setFileMinSize},
          std::pair{"--max-size", &SettingsRecord::setFileMaxSize}}) {
        if (arg != name)
            continue;
        if (UsageError e = reader.value(arg, value))
            return e;
        const std::optional<uint64_t> n = NumberUpTo(value, UINT32_MAX);
        if (!n)
            return UsageError(arg + " needs a number of bytes from 0 to 4294967295, not '" +
                              value + "'");
        const auto bytes = static_cast<uint32_t>(*n);
        changes.push_back([set = setter, bytes](SettingsRecord& r) { (r.*set)(bytes); });
        return UsageError{};
    }
    return std::nullopt;
}

UsageError ParseExtract(const std::vector<std::string>& args, ExtractOptions& options) {
    ArgumentReader reader(args, 1);
    while (!reader.done()) {
        const std::string& arg = reader.take();
        if (std::optional<UsageError> flag = ParseSettingsFlag(arg, reader, options.changes)) {
            if (*flag)
                return *flag;
        } else if (arg == "-o") {
            if (UsageError e = reader.value(arg, options.outputDirectory))
                return e;
        } else if (arg == "--settings") {
            std::string path;
            if (UsageError e = reader.value(arg, path))
                return e;
            options.settingsPath = path;
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option '" + arg + "' for extract";
        } else {
            options.capturePaths.push_back(arg);
        }
    }
    if (options.capturePaths.empty())
        return "extract needs a capture file";
    if (options.outputDirectory.empty())
        return "extract needs -o DIR";
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
    if (command == "extract") {
        ExtractOptions options;
        if (UsageError e = ParseExtract(args, options))
            return ReportUsageError(*e, streams.err);
        return RunExtract(options, streams, stopRequested);
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
