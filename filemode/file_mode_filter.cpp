#include "filemode/file_mode_filter.h"

#include <arpa/inet.h>

#include <cstring>
#include <string>

#include "capture/ipv4_tcp_header.h"
#include "settings/settings_record.h"

namespace vorlanx {

FileModeFilter FileModeFilter::fromSettings(const SettingsRecord& settings) {
    FileModeFilter f;
    f.sourceIpMustBe = parseAddress(settings.fileSrcIp());
    f.sourceIpMustNotBe = parseAddress(settings.fileSrcIpNot());
    f.destinationIpMustBe = parseAddress(settings.fileDstIp());
    f.destinationIpMustNotBe = parseAddress(settings.fileDstIpNot());
    f.sourcePortMustBe = settings.fileSrcPort();
    f.sourcePortMustNotBe = settings.fileSrcPortNot();
    f.destinationPortMustBe = settings.fileDstPort();
    f.destinationPortMustNotBe = settings.fileDstPortNot();
    f.minFileSize = settings.fileMinSize();
    f.maxFileSize = settings.fileMaxSize();
    return f;
}

uint32_t FileModeFilter::parseAddress(std::string_view text) {
    // The controls hold at most 99 characters; anything longer is not an address.
    if (text.empty() || text.size() > 99) {
        return 0;
    }
    const std::string zeroTerminated(text);
    in_addr address{};
    if (inet_aton(zeroTerminated.c_str(), &address) == 0) {
        return 0;
    }
    return address.s_addr;
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
