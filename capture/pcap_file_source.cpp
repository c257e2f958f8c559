#include "capture/pcap_file_source.h"

#include <pcap/pcap.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "capture/ipv4_datagram.h"
#include "capture/packet_record.h"

namespace vorlanx {

namespace {

constexpr uint16_t kEtherTypeIpv4 = 0x0800;
constexpr uint16_t kEtherTypeVlan = 0x8100;      // 802.1Q
constexpr uint16_t kEtherTypeProvider = 0x88A8;  // 802.1ad, the outer tag of QinQ
constexpr uint16_t kEtherTypeQinQ = 0x9100;      // the pre-standard outer tag
constexpr int kMaxVlanTags = 8;
constexpr uint32_t kFamilyInet = 2;  // AF_INET in a BSD loopback header, on every system
constexpr size_t kEthernetHeaderBytes = 14;
constexpr size_t kCookedV1HeaderBytes = 16;
constexpr size_t kCookedV2HeaderBytes = 20;

uint16_t Be16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

bool IsSupportedLinkType(int linkType) {
    switch (linkType) {
        case DLT_EN10MB:
        case DLT_RAW:
        case DLT_IPV4:
        case DLT_NULL:
        case DLT_LOOP:
        case DLT_LINUX_SLL:
        case DLT_LINUX_SLL2:
            return true;
        default:
            return false;
    }
}

std::string LinkTypeText(int linkType) {
    const char* name = pcap_datalink_val_to_name(linkType);
    return name != nullptr ? std::string(name) : std::to_string(linkType);
}

// The datagram behind a link header of `headerBytes` when the protocol field says IPv4.
std::optional<std::span<const uint8_t>> AfterHeader(std::span<const uint8_t> record,
                                                    size_t headerBytes, bool isIpv4) {
    if (!isIpv4 || record.size() <= headerBytes) {
        return std::nullopt;
    }
    return record.subspan(headerBytes);
}

std::optional<std::span<const uint8_t>> EthernetPayload(std::span<const uint8_t> record) {
    if (record.size() < kEthernetHeaderBytes) {
        return std::nullopt;
    }
    size_t typeAt = 12;
    uint16_t type = Be16(record, typeAt);
    for (int tags = 0; tags < kMaxVlanTags; ++tags) {
        if (type != kEtherTypeVlan && type != kEtherTypeProvider && type != kEtherTypeQinQ) {
            break;
        }
        typeAt += 4;
        if (record.size() < typeAt + 2) {
            return std::nullopt;
        }
        type = Be16(record, typeAt);
    }
    return AfterHeader(record, typeAt + 2, type == kEtherTypeIpv4);
}

std::optional<std::span<const uint8_t>> LoopbackPayload(std::span<const uint8_t> record) {
    if (record.size() < 4) {
        return std::nullopt;
    }
    // The family is in the byte order of the machine that wrote the file (DLT_NULL) or in
    // network order (DLT_LOOP); AF_INET is 2 everywhere, so either order tells.
    const uint32_t little = uint32_t{record[0]} | (uint32_t{record[1]} << 8) |
                            (uint32_t{record[2]} << 16) | (uint32_t{record[3]} << 24);
    const uint32_t big = uint32_t{record[3]} | (uint32_t{record[2]} << 8) |
                         (uint32_t{record[1]} << 16) | (uint32_t{record[0]} << 24);
    return AfterHeader(record, 4, little == kFamilyInet || big == kFamilyInet);
}

std::optional<std::span<const uint8_t>> RawPayload(std::span<const uint8_t> record) {
    return AfterHeader(record, 0, !record.empty() && (record[0] >> 4) == 4);
}

}  // namespace

std::unique_ptr<PcapFileSource> PcapFileSource::openFile(const std::string& path) {
    std::unique_ptr<PcapFileSource> source(new PcapFileSource(path));
    // fopen rather than pcap_open_offline: that one reads standard input for "-".
    FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        const int error = errno;
        source->fail(
            error, "Cannot open the capture file \"" + path + "\": " + std::strerror(error) + ".");
        return source;
    }
    source->start(stream);
    return source;
}

std::unique_ptr<PcapFileSource> PcapFileSource::openStream(FILE* stream) {
    std::unique_ptr<PcapFileSource> source(new PcapFileSource("(capture data in memory)"));
    if (stream == nullptr) {
        source->fail(EINVAL, "No capture data to read.");
        return source;
    }
    source->start(stream);
    return source;
}

void PcapFileSource::start(FILE* stream) {
    char error[PCAP_ERRBUF_SIZE] = {};
    m_pcap = pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_MICRO, error);
    if (m_pcap == nullptr) {
        std::fclose(stream);  // libpcap leaves a stream it refused to its owner
        fail(EINVAL, "\"" + m_name + "\" is not a capture file that can be read (" +
                         std::string(error) + ").");
        return;
    }
    m_linkType = pcap_datalink(m_pcap);
    if (!IsSupportedLinkType(m_linkType)) {
        fail(EINVAL, "The capture file \"" + m_name + "\" has link type " +
                         LinkTypeText(m_linkType) + ", which carries no IPv4 datagrams " +
                         "that can be read.");
    }
}

PcapFileSource::~PcapFileSource() {
    if (m_pcap != nullptr) {
        pcap_close(m_pcap);  // closes the stream too
    }
}

void PcapFileSource::fail(int errorNumber, const std::string& what) {
    m_errorNumber = errorNumber;
    m_errorText = what;
}

std::optional<std::span<const uint8_t>> PcapFileSource::receive() {
    while (m_pcap != nullptr && !failed() && !m_closed.load(std::memory_order_acquire)) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int result = pcap_next_ex(m_pcap, &header, &data);
        if (result == PCAP_ERROR_BREAK) {
            return std::nullopt;  // the end of the file
        }
        if (result != 1 || header == nullptr || data == nullptr) {
            fail(EINVAL, "Reading the capture file \"" + m_name +
                             "\" stopped at a damaged record (" + pcap_geterr(m_pcap) + ").");
            return std::nullopt;
        }
        const auto datagram = datagramIn(std::span<const uint8_t>(data, header->caplen));
        if (!datagram || datagram->size() > kMaxDatagramBytes) {
            ++m_recordsSkipped;
            continue;
        }
        m_lastRecordTime =
            std::chrono::seconds(header->ts.tv_sec) + std::chrono::microseconds(header->ts.tv_usec);
        return WithoutLinkPadding(*datagram);
    }
    return std::nullopt;
}

std::optional<std::span<const uint8_t>> PcapFileSource::datagramIn(
    std::span<const uint8_t> record) const {
    switch (m_linkType) {
        case DLT_EN10MB:
            return EthernetPayload(record);
        case DLT_RAW:
        case DLT_IPV4:
            return RawPayload(record);
        case DLT_NULL:
        case DLT_LOOP:
            return LoopbackPayload(record);
        case DLT_LINUX_SLL:
            return AfterHeader(
                record, kCookedV1HeaderBytes,
                record.size() >= kCookedV1HeaderBytes && Be16(record, 14) == kEtherTypeIpv4);
        case DLT_LINUX_SLL2:
            return AfterHeader(
                record, kCookedV2HeaderBytes,
                record.size() >= kCookedV2HeaderBytes && Be16(record, 0) == kEtherTypeIpv4);
        default:
            return std::nullopt;
    }
}

uint64_t PcapFileSource::bytesRead() const {
    FILE* stream = m_pcap != nullptr ? pcap_file(m_pcap) : nullptr;
    const long position = stream != nullptr ? std::ftell(stream) : -1;
    return position > 0 ? static_cast<uint64_t>(position) : 0;
}

void PcapFileSource::close() {
    m_closed.store(true, std::memory_order_release);
}

std::unique_ptr<PcapFileSequence> PcapFileSequence::open(const std::vector<std::string>& paths,
                                                        std::string& error) {
    std::unique_ptr<PcapFileSequence> sequence(new PcapFileSequence());
    for (const std::string& path : paths) {
        auto file = PcapFileSource::openFile(path);
        if (file->failed()) {
            error = file->errorText();
            return nullptr;
        }
        std::error_code ignored;
        const auto size = std::filesystem::file_size(path, ignored);
        sequence->m_sizes.push_back(ignored ? 0 : static_cast<uint64_t>(size));
        sequence->m_totalBytes += sequence->m_sizes.back();
        sequence->m_files.push_back(std::move(file));
    }
    return sequence;
}

std::optional<std::span<const uint8_t>> PcapFileSequence::receive() {
    while (m_current < m_files.size() && !m_closed.load(std::memory_order_acquire)) {
        PcapFileSource& file = *m_files[m_current];
        if (auto datagram = file.receive()) {
            m_recordTime = file.lastRecordTime();
            // The file position costs a system call: taken every 256 datagrams.
            if ((m_delivered.fetch_add(1, std::memory_order_relaxed) & 255) == 0) {
                m_bytesDone.store(m_doneBefore + file.bytesRead(), std::memory_order_relaxed);
            }
            return datagram;
        }
        m_doneBefore += m_sizes[m_current];
        m_bytesDone.store(m_doneBefore, std::memory_order_relaxed);
        ++m_current;
    }
    return std::nullopt;
}

void PcapFileSequence::close() {
    m_closed.store(true, std::memory_order_release);
    for (auto& file : m_files) {
        file->close();
    }
}

std::string PcapFileSequence::failureText() const {
    std::string text;
    for (const auto& file : m_files) {
        if (file->failed()) {
            text += (text.empty() ? "" : "\n") + file->errorText();
        }
    }
    return text;
}

uint64_t PcapFileSequence::recordsSkipped() const {
    uint64_t skipped = 0;
    for (const auto& file : m_files) {
        skipped += file->recordsSkipped();
    }
    return skipped;
}

std::unique_ptr<CaptureSource> PcapFileSourceFactory::open(const std::string& /*interfaceAddress*/,
                                                           OpenOutcome& outcome) {
    auto source = PcapFileSource::openFile(m_path);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_lastErrorText = source->errorText();
    }
    outcome = source->failed() ? OpenOutcome{ReceiveAllResult::OtherError, source->errorNumber()}
                               : OpenOutcome{ReceiveAllResult::Listening, 0};
    return source;
}

std::string PcapFileSourceFactory::lastErrorText() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastErrorText;
}

}  // namespace vorlanx
