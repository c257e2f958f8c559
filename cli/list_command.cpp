// vorlanx-cli list: a capture file's text report on standard output.
#include <chrono>
#include <filesystem>
#include <memory>

#include "capture/date_time_template.h"
#include "capture/packet_record.h"
#include "capture/pcap_file_source.h"
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "packetmode/packet_filter_set.h"
#include "packetmode/packet_report.h"
#include "platform/local_time.h"

namespace vorlanx {

namespace {

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
        const std::optional<SettingsRecord> record =
            ReadSettingsOption(*options.settingsPath, streams);
        if (!record)
            return kExitFailure;
        filters = StoredFilters{PacketFilterSet::fromRecord(*record), record->matchCase()};
        pattern = record->dateTimeTemplate();
    }

    std::unique_ptr<PcapFileSource> source = PcapFileSource::openFile(options.capturePath);
    if (source->failed()) {
        streams.err << kCliPrefix << source->errorText() << "\n";
        return kExitFailure;
    }

    std::error_code sizeError;
    const uintmax_t size = std::filesystem::file_size(options.capturePath, sizeError);
    ProgressLine progress(streams, options.capturePath, sizeError ? 0 : size);
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
