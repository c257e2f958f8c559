#include "packetmode/capture_file_load.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "capture/pcap_file_source.h"

namespace vorlanx {

namespace {

using End = CaptureFileLoadResult::End;

// Percentage of the file read, for progress bar 1129.
constexpr int32_t kProgressMaximum = 100;

int32_t PercentRead(uint64_t bytesRead, uint64_t fileBytes) {
    if (fileBytes == 0)
        return 0;
    return static_cast<int32_t>(std::min<uint64_t>(bytesRead, fileBytes) * kProgressMaximum /
                                fileBytes);
}

CaptureMoment MomentOfRecord(std::chrono::microseconds sinceEpoch) {
    const std::chrono::system_clock::time_point at(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceEpoch));
    return CaptureMoment{LocalTimeAt(at), sinceEpoch.count()};
}

}  // namespace

std::string CaptureFileErrorText(const std::string& reason, bool partWay, int32_t listed) {
    if (!partWay)
        return reason;
    return reason + "\r\n\r\nPackets listed from the file before it: " + std::to_string(listed) +
           ".";
}

CaptureFileLoad::CaptureFileLoad(const PacketCaptureContext& context, UserPrompt& prompt)
    : m_c(context), m_prompt(prompt) {}

bool CaptureFileLoad::stopRequested() const {
    return m_c.state.loadCancelRequested.load() || m_c.state.exitRequested.load() ||
           m_c.shutdown.load();
}

CaptureFileLoadResult CaptureFileLoad::run(const std::string& path) {
    CaptureFileLoadResult result;
    m_c.state.loadCancelRequested.store(false);

    // A full store takes nothing, as a Start does then.
    if (m_c.store.count() >= PacketStore::kCapacity) {
        m_c.view.setStatusText(kItemLimitStatus);
        result.end = End::ItemLimitReached;
        return result;
    }

    const std::unique_ptr<PcapFileSource> source = PcapFileSource::openFile(path);
    if (source->failed()) {
        m_prompt.ask({kCaptureFileErrorCaption, CaptureFileErrorText(source->errorText(), false, 0),
                      PromptButtons::Ok, PromptIcon::Error, true});
        result.end = End::Unreadable;
        return result;
    }
    std::error_code sizeError;
    const uint64_t fileBytes = std::filesystem::file_size(path, sizeError);

    m_c.view.showOperationProgress(kProgressMaximum);
    m_c.view.showLoadCancel(true);
    PacketIntake intake(m_c);
    int32_t shownPercent = 0;
    while (result.end == End::Finished) {
        if (stopRequested()) {
            result.end = End::Cancelled;
            break;
        }
        const std::optional<std::span<const uint8_t>> datagram = source->receive();
        if (!datagram) {
            if (source->failed())
                result.end = End::Damaged;
            break;
        }
        switch (intake.take(*datagram, MomentOfRecord(source->lastRecordTime()))) {
            case PacketIntake::Outcome::Listed:
                ++result.listed;
                break;
            case PacketIntake::Outcome::Discarded:
                ++result.discarded;
                break;
            case PacketIntake::Outcome::ItemLimitReached:
                ++result.listed;
                result.end = End::ItemLimitReached;
                m_c.view.setStatusText(kItemLimitStatus);
                break;
            case PacketIntake::Outcome::MaxListItems:
                result.end = End::MaxListItems;
                m_c.view.setStatusText(kMaxListItemsStatus);
                break;
            case PacketIntake::Outcome::MemoryError:
                result.end = End::MemoryError;
                m_c.view.setStatusText(kMemoryErrorStatus);
                break;
        }
        const int32_t percent = PercentRead(source->bytesRead(), fileBytes);
        if (percent != shownPercent) {
            shownPercent = percent;
            m_c.view.setOperationProgress(percent);
        }
    }
    result.skipped = source->recordsSkipped();
    m_c.view.showLoadCancel(false);
    m_c.view.hideOperationProgress();

    // Nobody is told once the window closes.
    if (result.end == End::Damaged && !m_c.state.exitRequested.load() && !m_c.shutdown.load())
        m_prompt.ask({kCaptureFileErrorCaption,
                      CaptureFileErrorText(source->errorText(), true, result.listed),
                      PromptButtons::Ok, PromptIcon::Error, true});
    return result;
}

}  // namespace vorlanx
