#include "filemode/file_mode_filter.h"

#include <arpa/inet.h>

#include <cstring>
#include <string>

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

uint32_t raw32(std::span<const uint8_t> d, size_t offset) {
    uint32_t v = 0;
    std::memcpy(&v, d.data() + offset, sizeof v);
    return v;
}

uint16_t be16(std::span<const uint8_t> d, size_t offset) {
    return static_cast<uint16_t>((d[offset] << 8) | d[offset + 1]);
}

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
    if (datagram.size() < 24) {
        return false;
    }
    return passes(raw32(datagram, 12), sourceIpMustBe, sourceIpMustNotBe) &&
           passes(raw32(datagram, 16), destinationIpMustBe, destinationIpMustNotBe) &&
           passes(be16(datagram, 20), sourcePortMustBe, sourcePortMustNotBe) &&
           passes(be16(datagram, 22), destinationPortMustBe, destinationPortMustNotBe);
}

}  // namespace vorlanx
