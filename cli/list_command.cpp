// vorlanx-cli list: a capture file's text report on standard output.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "capture/date_time_template.h"
#include "capture/packet_record.h"
#include "capture/pcap_file_source.h"
#include "cli/commands.h"
#include "packetmode/packet_filter_set.h"
#include "packetmode/packet_report.h"
#include "platform/local_time.h"
#include "settings/settings_file.h"

namespace vorlanx {

namespace {

// "NN%" of the file on the error stream, rewritten in place as it grows; only on a
// terminal, so a redirected error stream holds the messages alone.
class FileProgress {
  public:
    FileProgress(const CliStreams& streams, const std::string& path)
        : m_err(streams.err), m_shown(streams.errIsTerminal), m_path(path) {
        std::error_code error;
        m_total = std::filesystem::file_size(path, error);
        if (error)
            m_total = 0;
    }
    void update(uint64_t bytesRead) {
        if (!m_shown || m_total == 0)
            return;
        const uint64_t percent = std::min<uint64_t>(100, bytesRead * 100 / m_total);
        if (percent == m_percent)
            return;
        m_percent = percent;
        m_err << "\r" << m_path << ": " << percent << "%" << std::flush;
    }
    // Ends the progress line, so a message after it starts a line of its own.
    void finish() {
        if (m_percent != kNone)
            m_err << "\n" << std::flush;
    }

  private:
    static constexpr uint64_t kNone = ~uint64_t{0};
    std::ostream& m_err;
    bool m_shown;
    const std::string& m_path;
    uint64_t m_total = 0;
    uint64_t m_percent = kNone;
};

// The stored filters as capture applies them with "Apply filters" on.
struct StoredFilters {
    PacketFilterSet set;
    bool matchCase = false;
};

std::string TimeTextOf(std::chrono::microseconds recordTime, const std::string& pattern) {
    const std::chrono::system_clock::time_point moment(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(recordTime));
    return ExpandDateTimeTemplate(pattern, LocalTimeAt(moment));
}

}  // namespace

int RunList(const ListOptions& options, const CliStreams& streams) {
    std::string pattern = kDefaultDateTimeTemplate;
    std::optional<StoredFilters> filters;
    if (options.settingsPath) {
        // A missing settings file would give the defaults silently; named on the command
        // line, it has to be there.
        FILE* probe = std::fopen(options.settingsPath->c_str(), "rb");
        if (probe == nullptr) {
            const int error = errno;
            streams.err << kCliPrefix << "cannot read the settings file \""
                        << *options.settingsPath << "\": " << std::strerror(error) << "\n";
            return kExitFailure;
        }
        std::fclose(probe);
        SettingsRecord record = SettingsRecord::defaults(DefaultFileDirectory());
        LoadSettings(record, *options.settingsPath);
        filters = StoredFilters{PacketFilterSet::fromRecord(record), record.matchCase()};
        pattern = record.dateTimeTemplate();
    }

    std::unique_ptr<PcapFileSource> source = PcapFileSource::openFile(options.capturePath);
    if (source->failed()) {
        streams.err << kCliPrefix << source->errorText() << "\n";
        return kExitFailure;
    }

    FileProgress progress(streams, options.capturePath);
    const auto start = std::chrono::steady_clock::now();
    streams.out << ReportHeader();
    std::string entry;
    std::string scratch;
    int64_t listed = 0;
    while (const std::optional<std::span<const uint8_t>> datagram = source->receive()) {
        const auto length = static_cast<uint32_t>(datagram->size());
        // The record's spare bytes keep the filters' fixed-offset reads inside it.
        const PacketRecord record = PacketRecord::create(*datagram);
        if (!record) {
            progress.finish();
            streams.err << kCliPrefix << "out of memory after " << listed
                        << " datagrams of \"" << options.capturePath << "\"\n";
            return kExitFailure;
        }
        const PacketView packet = record.view(length);
        if (filters && filters->set.accepts(packet, filters->matchCase, scratch).verdict ==
                           FilterVerdict::Discard)
            continue;
        entry.clear();
        AppendPacketEntry(entry, packet, TimeTextOf(source->lastRecordTime(), pattern),
                          options.rendering);
        streams.out << entry;
        ++listed;
        progress.update(source->bytesRead());
    }
    const int64_t milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count();
    streams.out << ReportTrailer(listed, milliseconds) << std::flush;
    progress.finish();

    if (!streams.out) {
        streams.err << kCliPrefix << "the report of \"" << options.capturePath
                    << "\" could not be written to standard output\n";
        return kExitFailure;
    }
    // A damaged record ends the file: the report holds every datagram before it.
    if (source->failed()) {
        streams.err << kCliPrefix << source->errorText() << " The report lists the " << listed
                    << " datagrams before it.\n";
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace vorlanx
