#include "packetmode/report_save.h"

#include <chrono>

#include "capture/date_time_template.h"
#include "capture/pcap_file_writer.h"
#include "packetmode/packet_report.h"
#include "platform/output_file.h"

namespace vorlanx {

namespace {

constexpr int32_t kProgressStep = 20;

// One save's file: the report's text or the capture file's records.
class SaveTarget {
  public:
    SaveTarget(SaveFormat format, PacketRendering rendering)
        : m_format(format), m_rendering(rendering) {}

    int open(const std::string& path) {
        return m_format == SaveFormat::Report ? m_text.open(path, OutputFile::Mode::Replace)
                                              : m_capture.open(path);
    }
    int writeHeader() { return m_format == SaveFormat::Report ? m_text.write(ReportHeader()) : 0; }
    int writeSlot(const PacketStore& store, int32_t slot) {
        if (m_format == SaveFormat::Report)
            return WritePacketEntry(m_text, store, slot, m_rendering);
        // Copied under the store's lock, written after it: a write that waits for the disk
        // must not hold up the capture thread filing the next packet.
        m_datagram.clear();
        int64_t time = 0;
        store.withEntry(slot, [&](const PacketView& packet, const char*, int64_t captured) {
            m_datagram.assign(reinterpret_cast<const char*>(packet.data()), packet.length());
            time = captured;
        });
        if (m_datagram.empty())
            return 0;
        return m_capture.write(
            {reinterpret_cast<const uint8_t*>(m_datagram.data()), m_datagram.size()}, time);
    }
    int writeTrailer(int64_t saved, int64_t milliseconds) {
        return m_format == SaveFormat::Report ? m_text.write(ReportTrailer(saved, milliseconds))
                                              : 0;
    }
    int close() { return m_format == SaveFormat::Report ? m_text.close() : m_capture.close(); }

  private:
    SaveFormat m_format;
    PacketRendering m_rendering;
    OutputFile m_text;
    PcapFileWriter m_capture;
    std::string m_datagram;
};

int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

}  // namespace

SavingOptions SavingOptions::fromRecord(const SettingsRecord& record) {
    return {record.saveWithData(), record.saveDataDec(), record.saveDataHex(),
            record.saveDataText(), record.saveListedOnly()};
}

void SavingOptions::storeInto(SettingsRecord& record) const {
    record.setSaveWithData(withData);
    record.setSaveDataDec(dec);
    record.setSaveDataHex(hex);
    record.setSaveDataText(text);
    record.setSaveListedOnly(listedOnly);
}

PromptRequest WriteErrorMessage(int error, const std::string& path,
                                const std::string& dateTimeTemplate,
                                const LocalTimeSource& localTime) {
    PromptRequest message;
    message.caption = kWriteErrorCaption;
    message.text = WriteErrorText(error, path, ExpandDateTimeTemplate(dateTimeTemplate, localTime));
    message.icon = PromptIcon::Error;
    message.owned = true;
    return message;
}

SaveResult RunSave(const SaveRequest& request, const SaveServices& services) {
    PacketModeState& state = services.state;
    const PacketStore& store = services.store;
    const SavingOptions& options = request.options;
    SaveTarget target(request.format,
                      EntryRendering(options.withData, options.text, options.dec, options.hex));
    SaveResult result;
    if (target.open(request.path) != 0) {
        services.prompt.ask({"Error", kUnableToSaveText, PromptButtons::Ok, PromptIcon::Error, true});
        return result;
    }
    result.created = true;

    state.activeSaves.fetch_add(1);
    int error = target.writeHeader();
    const auto start = std::chrono::steady_clock::now();
    services.view.showOperationProgress(options.listedOnly ? services.list.rowCount()
                                                           : store.count());
    services.view.showSaveCancel(true);
    state.saveCancelRequested.store(false);

    for (int32_t slot = 0; error == 0 && slot < store.count(); ++slot) {
        if (state.saveCancelRequested.load() || state.exitRequested.load()) {
            result.cancelled = true;
            break;
        }
        if (options.listedOnly && !store.listed(slot))
            continue;
        error = target.writeSlot(store, slot);
        if (error != 0)
            break;
        ++result.saved;
        if (slot % kProgressStep == 0)
            services.view.setOperationProgress(static_cast<int32_t>(result.saved));
    }
    if (error == 0)
        error = target.writeTrailer(result.saved, MillisecondsSince(start));
    // A flush or close that fails is a failed write: the file lacks what was said saved.
    const int closeError = target.close();
    if (error == 0)
        error = closeError;
    result.error = error;

    if (state.activeSaves.load() == 1)
        services.view.showSaveCancel(false);
    services.view.hideOperationProgress();
    state.activeSaves.fetch_sub(1);
    if (error != 0)
        services.prompt.ask(
            WriteErrorMessage(error, request.path, request.dateTimeTemplate, services.localTime));
    return result;
}

}  // namespace vorlanx
