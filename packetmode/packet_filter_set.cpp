#include "packetmode/packet_filter_set.h"

#include <algorithm>

namespace vorlanx {

namespace {

// "%s,%s,%s" of three strings.
std::string JoinThree(const std::array<std::string, 3>& strings) {
    std::string out;
    out.reserve(strings[0].size() + strings[1].size() + strings[2].size() + 2);
    out += strings[0];
    out += ',';
    out += strings[1];
    out += ',';
    out += strings[2];
    return out;
}

bool AnyNonEmpty(const std::array<std::string, 3>& strings) {
    return std::any_of(strings.begin(), strings.end(),
                       [](const std::string& s) { return !s.empty(); });
}

bool ContainsAny(std::string_view text, const std::array<std::string, 3>& strings) {
    for (const std::string& s : strings) {
        if (!s.empty() && text.find(s) != std::string_view::npos)
            return true;
    }
    return false;
}

template <typename Get>
FilterCriteria::AddressList ReadAddressList(Get get) {
    FilterCriteria::AddressList list;
    for (size_t i = 0; i < FilterCriteria::kListLength; ++i) {
        const uint32_t address = get(i);
        if (address == 0)
            break;  // the first 0 ends the list
        list.entries[i] = address;
        list.size = static_cast<uint32_t>(i + 1);
    }
    return list;
}

const std::shared_ptr<const FilterCriteria>& DefaultCriteria() {
    static const std::shared_ptr<const FilterCriteria> criteria =
        std::make_shared<const FilterCriteria>();
    return criteria;
}

const std::shared_ptr<const FilterStrings>& NoStrings() {
    static const std::shared_ptr<const FilterStrings> strings =
        std::make_shared<const FilterStrings>(FilterStrings::fromStrings({}, {}));
    return strings;
}

}  // namespace

void FoldAsciiCase(std::string& text) {
    // Branch-free so the compiler can fold many bytes per instruction: this runs over
    // every payload byte when "Match case" is off.
    auto* p = reinterpret_cast<unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i)
        p[i] = FoldAsciiByte(p[i]);
}

bool FilterCriteria::AddressList::contains(uint32_t address) const {
    for (uint32_t i = 0; i < size; ++i) {
        if (entries[i] == address)
            return true;
    }
    return false;
}

FilterCriteria FilterCriteria::fromRecord(const SettingsRecord& record) {
    FilterCriteria c;
    c.allowTcp = record.allowTcp();
    c.allowUdp = record.allowUdp();
    c.allowIcmp = record.allowIcmp();
    c.allowOther = record.allowOther();
    c.minPacketSize = record.minPacketSize();
    c.maxPacketSize = record.maxPacketSize();
    c.dstIp = ReadAddressList([&](size_t i) { return record.dstIpList(i); });
    c.srcIp = ReadAddressList([&](size_t i) { return record.srcIpList(i); });
    c.dstIpNot = ReadAddressList([&](size_t i) { return record.dstIpNotList(i); });
    c.srcIpNot = ReadAddressList([&](size_t i) { return record.srcIpNotList(i); });
    c.eitherIp = ReadAddressList([&](size_t i) { return record.eitherIpList(i); });
    c.portScanLength = static_cast<uint32_t>(kListLength);
    bool scanEnded = false;
    for (size_t i = 0; i < kListLength; ++i) {
        c.srcPort[i] = record.srcPortList(i);
        c.dstPort[i] = record.dstPortList(i);
        c.srcPortNot[i] = record.srcPortNotList(i);
        c.dstPortNot[i] = record.dstPortNotList(i);
        c.eitherPort[i] = record.eitherPortList(i);
        if (!scanEnded && c.srcPort[i] == 0 && c.dstPort[i] == 0 && c.srcPortNot[i] == 0 &&
            c.dstPortNot[i] == 0 && c.eitherPort[i] == 0) {
            c.portScanLength = static_cast<uint32_t>(i);
            scanEnded = true;
        }
    }
    return c;
}

FilterStrings FilterStrings::fromStrings(const std::array<std::string, 3>& mustContain,
                                         const std::array<std::string, 3>& mustNotContain) {
    FilterStrings s;
    s.mustContain = mustContain;
    s.mustNotContain = mustNotContain;
    s.mustContainFolded = mustContain;
    s.mustNotContainFolded = mustNotContain;
    for (auto& t : s.mustContainFolded)
        FoldAsciiCase(t);
    for (auto& t : s.mustNotContainFolded)
        FoldAsciiCase(t);
    s.anyMustContain = AnyNonEmpty(mustContain);
    s.anyMustNotContain = AnyNonEmpty(mustNotContain);
    s.columns = std::make_shared<const FilterColumnTexts>(
        FilterColumnTexts{JoinThree(s.mustContain), JoinThree(s.mustNotContain)});
    s.foldedColumns = std::make_shared<const FilterColumnTexts>(
        FilterColumnTexts{JoinThree(s.mustContainFolded), JoinThree(s.mustNotContainFolded)});
    return s;
}

FilterStrings FilterStrings::fromRecord(const SettingsRecord& record) {
    return fromStrings(
        {record.mustContain1(), record.mustContain2(), record.mustContain3()},
        {record.mustNotContain1(), record.mustNotContain2(), record.mustNotContain3()});
}

PacketFilterSet::PacketFilterSet() : m_criteria(DefaultCriteria()), m_strings(NoStrings()) {}

PacketFilterSet::PacketFilterSet(std::shared_ptr<const FilterCriteria> criteria,
                                 std::shared_ptr<const FilterStrings> strings)
    : m_criteria(criteria ? std::move(criteria) : DefaultCriteria()),
      m_strings(strings ? std::move(strings) : NoStrings()) {}

PacketFilterSet PacketFilterSet::fromRecord(const SettingsRecord& record) {
    return PacketFilterSet(
        std::make_shared<const FilterCriteria>(FilterCriteria::fromRecord(record)),
        std::make_shared<const FilterStrings>(FilterStrings::fromRecord(record)));
}

bool PacketFilterSet::passesPorts(uint16_t sourcePort, uint16_t destinationPort) const {
    const FilterCriteria& c = *m_criteria;
    bool srcSatisfied = false, dstSatisfied = false, eitherSatisfied = false;
    for (uint32_t i = 0; i < c.portScanLength; ++i) {
        if (c.srcPort[i] != 0 && c.srcPort[i] == sourcePort)
            srcSatisfied = true;
        if (c.dstPort[i] != 0 && c.dstPort[i] == destinationPort)
            dstSatisfied = true;
        if (c.eitherPort[i] != 0 &&
            (c.eitherPort[i] == sourcePort || c.eitherPort[i] == destinationPort))
            eitherSatisfied = true;
        if (c.srcPortNot[i] != 0 && c.srcPortNot[i] == sourcePort)
            return false;
        if (c.dstPortNot[i] != 0 && c.dstPortNot[i] == destinationPort)
            return false;
    }
    // A list counts only when its first slot is used, even if the scan met later entries.
    if (c.srcPort[0] != 0 && !srcSatisfied)
        return false;
    if (c.dstPort[0] != 0 && !dstSatisfied)
        return false;
    if (c.eitherPort[0] != 0 && !eitherSatisfied)
        return false;
    return true;
}

FilterDecision PacketFilterSet::accepts(const PacketView& packet, bool matchCase,
                                        std::string& scratch) const {
    const FilterCriteria& c = *m_criteria;
    constexpr FilterDecision kDiscard{FilterVerdict::Discard, false};

    // 1-4: protocol
    const uint8_t protocol = packet.protocol();
    switch (protocol) {
        case kProtocolTcp:
            if (!c.allowTcp)
                return kDiscard;
            break;
        case kProtocolUdp:
            if (!c.allowUdp)
                return kDiscard;
            break;
        case kProtocolIcmp:
            if (!c.allowIcmp)
                return kDiscard;
            break;
        default:
            if (!c.allowOther)
                return kDiscard;
            break;
    }

    // 5-6: the header's total length, not the number of bytes received
    const int32_t totalLength = packet.ipTotalLength();
    if (c.minPacketSize != 0 && totalLength < c.minPacketSize)
        return kDiscard;
    if (c.maxPacketSize != 0 && totalLength > c.maxPacketSize)
        return kDiscard;

    // 7-11: addresses
    const uint32_t source = packet.sourceAddressRaw();
    const uint32_t destination = packet.destinationAddressRaw();
    if (c.dstIp.size != 0 && !c.dstIp.contains(destination))
        return kDiscard;
    if (c.srcIp.size != 0 && !c.srcIp.contains(source))
        return kDiscard;
    if (c.dstIpNot.contains(destination))
        return kDiscard;
    if (c.srcIpNot.contains(source))
        return kDiscard;
    for (uint32_t i = 0; i < c.eitherIp.size; ++i) {
        // Every listed host must be one of the two endpoints.
        if (c.eitherIp.entries[i] != source && c.eitherIp.entries[i] != destination)
            return kDiscard;
    }

    // 12: ports, TCP and UDP only
    if ((protocol == kProtocolTcp || protocol == kProtocolUdp) &&
        !passesPorts(packet.sourcePort(), packet.destinationPort()))
        return kDiscard;

    // 13-14: strings in the payload text
    const FilterStrings& s = *m_strings;
    if (!s.anyMustContain && !s.anyMustNotContain)
        return {FilterVerdict::Accept, false};

    const std::string_view text = packet.payloadText(scratch, !matchCase);
    const auto& mustContain = matchCase ? s.mustContain : s.mustContainFolded;
    const auto& mustNotContain = matchCase ? s.mustNotContain : s.mustNotContainFolded;
    if (s.anyMustContain && !ContainsAny(text, mustContain))
        return {FilterVerdict::Discard, true};
    if (s.anyMustNotContain && ContainsAny(text, mustNotContain))
        return {FilterVerdict::Discard, true};
    return {FilterVerdict::Accept, true};
}

}  // namespace vorlanx
