#include "filemode/file_mode_filter.h"

#include <array>
#include <string>
#include <tuple>

#include "capture/ipv4_tcp_header.h"
#include "capture/packet_record.h"
#include "settings/settings_record.h"

namespace vorlanx {

FileModeFilter FileModeFilter::fromSettings(const SettingsRecord& settings, std::string* refusal) {
    FileModeFilter f;
    const std::string problem = f.readAddresses({settings.fileSrcIp(), settings.fileSrcIpNot(),
                                                 settings.fileDstIp(), settings.fileDstIpNot()});
    if (refusal != nullptr) {
        *refusal = problem;
    }
    f.sourcePortMustBe = settings.fileSrcPort();
    f.sourcePortMustNotBe = settings.fileSrcPortNot();
    f.destinationPortMustBe = settings.fileDstPort();
    f.destinationPortMustNotBe = settings.fileDstPortNot();
    f.minFileSize = settings.fileMinSize();
    f.maxFileSize = settings.fileMaxSize();
    return f;
}

std::optional<uint32_t> FileModeFilter::parseAddress(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    return ParseAddressText(text);
}

std::string FileModeFilter::readAddresses(const FilterAddressTexts& texts) {
    const std::tuple<const char*, const std::string&, uint32_t FileModeFilter::*> fields[] = {
        {"Source IP must be:", texts.sourceIpMustBe, &FileModeFilter::sourceIpMustBe},
        {"Source IP must NOT be:", texts.sourceIpMustNotBe, &FileModeFilter::sourceIpMustNotBe},
        {"Destination IP must be:", texts.destinationIpMustBe,
         &FileModeFilter::destinationIpMustBe},
        {"Destination IP must NOT be:", texts.destinationIpMustNotBe,
         &FileModeFilter::destinationIpMustNotBe},
    };
    std::array<uint32_t, 4> values{};
    for (size_t i = 0; i < values.size(); ++i) {
        const auto& [label, text, field] = fields[i];
        const std::optional<uint32_t> address = parseAddress(text);
        if (!address) {
            return std::string("The filter field \"") + label + "\" holds \"" + text +
                   "\", which is not a complete IP address.\r\nEnter four numbers from 0 to "
                   "255 separated by points, such as 192.168.0.1, or 0.0.0.0 for no "
                   "filter.\r\nThe capture was not started.";
        }
        values[i] = *address;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        this->*std::get<2>(fields[i]) = values[i];
    }
    return {};
}

namespace {

// "must be" set and different, or "must NOT be" set and equal: drop.
template <typename T>
bool passes(T value, T mustBe, T mustNotBe) {
    if (mustBe != 0 && value != mustBe) {
        return false;
    }
    return !(mustNotBe != 0 && value == mustNotBe);
}

}  // namespace

bool FileModeFilter::accepts(std::span<const uint8_t> datagram) const {
    const Ipv4TcpHeader header(datagram);
    if (!header.holds(header_offsets::kDestinationPort, 2)) {
        return false;
    }
    return passes(header.sourceAddressRaw(), sourceIpMustBe, sourceIpMustNotBe) &&
           passes(header.destinationAddressRaw(), destinationIpMustBe, destinationIpMustNotBe) &&
           passes(header.sourcePort(), sourcePortMustBe, sourcePortMustNotBe) &&
           passes(header.destinationPort(), destinationPortMustBe, destinationPortMustNotBe);
}

}  // namespace vorlanx
