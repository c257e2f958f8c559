#include "settings/settings_record.h"

namespace vorlanx {

std::string_view truncateUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    auto continuation = [&](size_t i) { return (static_cast<uint8_t>(text[i]) & 0xC0) == 0x80; };
    if (!continuation(maxBytes))
        return text.substr(0, maxBytes);  // the cut falls between two sequences
    // Step back to the lead byte of the sequence the cut splits and drop that sequence. A
    // sequence has at most three continuation bytes: with no lead byte within reach the
    // text is not UTF-8 there, and it is cut at the width like any other bytes.
    size_t lead = maxBytes;
    while (lead > 0 && maxBytes - lead < 3 && continuation(lead))
        --lead;
    return text.substr(0, continuation(lead) ? maxBytes : lead);
}

SettingsRecord SettingsRecord::defaults(std::string_view fileDirectory) {
    SettingsRecord r;  // all zero
    r.setShowModeChoice(true);
    r.setNewPacketSound(true);
    r.setViewDec(true);
    r.setHttpOnly(true);
    r.setAllowTcp(true);
    r.setAllowUdp(true);
    r.setAllowIcmp(true);
    r.setAllowOther(true);
    r.setAcceptPartialContent(true);
    r.setSaveListedOnly(true);
    r.setAckTimeoutMs(10000);
    r.setAutoLogIntervalSec(60);
    r.setFileDirectory(fileDirectory);
    for (auto setter :
         {&SettingsRecord::setFileSrcIp, &SettingsRecord::setFileSrcIpNot,
          &SettingsRecord::setFileDstIp, &SettingsRecord::setFileDstIpNot,
          &SettingsRecord::setFilterSrcIpEntry, &SettingsRecord::setFilterSrcIpNotEntry,
          &SettingsRecord::setFilterDstIpEntry, &SettingsRecord::setFilterDstIpNotEntry})
        (r.*setter)("0.0.0.0");
    r.setFileNameTemplate(kDefaultFileNameTemplate);
    r.setDateTimeTemplate(kDefaultDateTimeTemplate);
    return r;
}

std::string SettingsRecord::text(size_t offset, size_t width) const {
    const char* p = reinterpret_cast<const char*>(m_bytes.data() + offset);
    return std::string(p, strnlen(p, width));
}

void SettingsRecord::setText(size_t offset, size_t width, std::string_view value) {
    // A text stops at its first zero byte, as it would when read back.
    value = value.substr(0, value.find('\0'));
    value = truncateUtf8(value, width - 1);
    std::memcpy(m_bytes.data() + offset, value.data(), value.size());
    m_bytes[offset + value.size()] = 0;
}

uint32_t SettingsRecord::address(size_t offset, size_t i) const {
    if (i >= kListLength)
        return 0;
    uint32_t v;
    std::memcpy(&v, m_bytes.data() + offset + 4 * i, 4);
    return v;
}

void SettingsRecord::setAddress(size_t offset, size_t i, uint32_t networkOrder) {
    if (i >= kListLength)
        return;
    std::memcpy(m_bytes.data() + offset + 4 * i, &networkOrder, 4);
}

uint16_t SettingsRecord::port(size_t offset, size_t i) const {
    return i < kListLength ? get<uint16_t>(offset + 2 * i) : 0;
}

void SettingsRecord::setPort(size_t offset, size_t i, uint16_t value) {
    if (i < kListLength)
        put<uint16_t>(offset + 2 * i, value);
}

}  // namespace vorlanx
