#include "packetmode/filter_setup.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

#include "packetmode/current_packet_filters.h"

namespace vorlanx {
namespace {

using S = SettingsRecord;
constexpr size_t kSlots = S::kListLength;

// An address filter's entry text and list in the record.
struct IpFilterBinding {
    IpFilterFields FilterSetupFields::*fields;
    std::string (S::*entry)() const;
    void (S::*setEntry)(std::string_view);
    uint32_t (S::*slot)(size_t) const;
    void (S::*setSlot)(size_t, uint32_t);
};

// In the order the entries are stored: 1074, 1075, 1076, 1077, 1106.
constexpr IpFilterBinding kIpFilters[] = {
    {&FilterSetupFields::srcIp, &S::filterSrcIpEntry, &S::setFilterSrcIpEntry, &S::srcIpList,
     &S::setSrcIpList},
    {&FilterSetupFields::srcIpNot, &S::filterSrcIpNotEntry, &S::setFilterSrcIpNotEntry,
     &S::srcIpNotList, &S::setSrcIpNotList},
    {&FilterSetupFields::dstIp, &S::filterDstIpEntry, &S::setFilterDstIpEntry, &S::dstIpList,
     &S::setDstIpList},
    {&FilterSetupFields::dstIpNot, &S::filterDstIpNotEntry, &S::setFilterDstIpNotEntry,
     &S::dstIpNotList, &S::setDstIpNotList},
    {&FilterSetupFields::eitherIp, &S::filterEitherIpEntry, &S::setFilterEitherIpEntry,
     &S::eitherIpList, &S::setEitherIpList},
};
// The lists are stored in another order: source NOT, destination NOT, either, source,
// destination.
constexpr size_t kIpListStoreOrder[] = {1, 3, 4, 0, 2};

struct PortBinding {
    std::string FilterSetupFields::*text;
    uint16_t (S::*slot)(size_t) const;
    void (S::*setSlot)(size_t, uint16_t);
};

// In the order they are stored: 1079, 1081, 1078, 1080, 1110.
constexpr PortBinding kPortLists[] = {
    {&FilterSetupFields::srcPortNotText, &S::srcPortNotList, &S::setSrcPortNotList},
    {&FilterSetupFields::dstPortNotText, &S::dstPortNotList, &S::setDstPortNotList},
    {&FilterSetupFields::srcPortText, &S::srcPortList, &S::setSrcPortList},
    {&FilterSetupFields::dstPortText, &S::dstPortList, &S::setDstPortList},
    {&FilterSetupFields::eitherPortText, &S::eitherPortList, &S::setEitherPortList},
};

struct TextBinding {
    std::string (S::*get)() const;
    void (S::*set)(std::string_view);
};

constexpr TextBinding kMustContain[] = {{&S::mustContain1, &S::setMustContain1},
                                        {&S::mustContain2, &S::setMustContain2},
                                        {&S::mustContain3, &S::setMustContain3}};
constexpr TextBinding kMustNotContain[] = {{&S::mustNotContain1, &S::setMustNotContain1},
                                           {&S::mustNotContain2, &S::setMustNotContain2},
                                           {&S::mustNotContain3, &S::setMustNotContain3}};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A size edit: optional blanks, an optional sign and decimal digits, read up to the first
// other character. No digits reads as 0; values beyond the signed 32-bit range stop at its
// ends rather than wrapping into a different limit.
int32_t ParsePacketSize(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        ++at;
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    int64_t value = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at)
        value = std::min<int64_t>(value * 10 + (text[at] - '0'), kMax + 1);
    return static_cast<int32_t>(negative ? std::max(-value, kMin) : std::min(value, kMax));
}

}  // namespace

PortList ParsePortText(std::string_view text) {
    PortList ports{};
    size_t used = 0;
    size_t at = 0;
    while (used < ports.size()) {
        while (at < text.size() && !IsDigit(text[at]))
            ++at;
        if (at == text.size())
            break;
        // Stop counting past 65535 so a long run cannot overflow; such a number names no
        // port, and neither does 0 (it would end the list for the next load).
        uint32_t value = 0;
        for (; at < text.size() && IsDigit(text[at]); ++at)
            value = std::min<uint32_t>(value * 10 + static_cast<uint32_t>(text[at] - '0'), 65536);
        if (value != 0 && value <= 65535)
            ports[used++] = static_cast<uint16_t>(value);
    }
    return ports;
}

std::string FormatPortText(const PortList& ports) {
    std::string text;
    for (size_t i = 0; i < ports.size() && ports[i] != 0; ++i) {
        if (i != 0)
            text += ',';
        text += std::to_string(ports[i]);
    }
    return text;
}

FilterSetupFields LoadFilterSetup(const SettingsRecord& record) {
    FilterSetupFields fields;
    for (const IpFilterBinding& binding : kIpFilters) {
        IpFilterFields& filter = fields.*binding.fields;
        filter.entry = (record.*binding.entry)();
        for (size_t i = 0; i < kSlots && (record.*binding.slot)(i) != 0; ++i)
            filter.rows.push_back(AddressText((record.*binding.slot)(i)));
    }
    for (const PortBinding& binding : kPortLists) {
        PortList ports{};
        for (size_t i = 0; i < kSlots; ++i)
            ports[i] = (record.*binding.slot)(i);
        fields.*binding.text = FormatPortText(ports);
    }
    fields.minPacketSizeText = std::to_string(static_cast<uint32_t>(record.minPacketSize()));
    fields.maxPacketSizeText = std::to_string(static_cast<uint32_t>(record.maxPacketSize()));
    for (size_t i = 0; i < 3; ++i) {
        fields.mustContain[i] = (record.*kMustContain[i].get)();
        fields.mustNotContain[i] = (record.*kMustNotContain[i].get)();
    }
    fields.allowTcp = record.allowTcp();
    fields.allowUdp = record.allowUdp();
    fields.allowIcmp = record.allowIcmp();
    fields.allowOther = record.allowOther();
    fields.resolverHost = record.filterResolverHost();
    return fields;
}

void StoreFilterSetup(const FilterSetupFields& fields, SettingsRecord& record) {
    // The record's text setters cut at the field width without splitting a UTF-8 sequence.
    for (const IpFilterBinding& binding : kIpFilters)
        (record.*binding.setEntry)((fields.*binding.fields).entry);

    for (const PortBinding& binding : kPortLists) {
        const PortList ports = ParsePortText(fields.*binding.text);
        for (size_t i = 0; i < kSlots; ++i)
            (record.*binding.setSlot)(i, ports[i]);
    }

    for (size_t i = 0; i < 3; ++i)
        (record.*kMustContain[i].set)(fields.mustContain[i]);
    for (size_t i = 0; i < 3; ++i)
        (record.*kMustNotContain[i].set)(fields.mustNotContain[i]);
    record.setFilterResolverHost(fields.resolverHost);

    record.setAllowTcp(fields.allowTcp);
    record.setAllowUdp(fields.allowUdp);
    record.setAllowIcmp(fields.allowIcmp);
    record.setAllowOther(fields.allowOther);

    record.setMinPacketSize(ParsePacketSize(fields.minPacketSizeText));
    record.setMaxPacketSize(ParsePacketSize(fields.maxPacketSizeText));

    // Only the top 100 rows are kept. A row that holds no address (or 0.0.0.0, which
    // would end the list and hide the rows below it) takes no slot.
    for (size_t index : kIpListStoreOrder) {
        const IpFilterBinding& binding = kIpFilters[index];
        const std::vector<std::string>& rows = (fields.*binding.fields).rows;
        size_t used = 0;
        for (size_t row = 0; row < std::min(rows.size(), kSlots); ++row) {
            const std::optional<uint32_t> address = ParseAddressText(rows[row]);
            if (address && *address != 0)
                (record.*binding.setSlot)(used++, *address);
        }
        for (; used < kSlots; ++used)
            (record.*binding.setSlot)(used, 0);
    }
}

void StoreFilterSetup(const FilterSetupFields& fields, SettingsRecord& record,
                      CurrentPacketFilters& filters) {
    StoreFilterSetup(fields, record);
    filters.criteriaChanged(record);
}

bool AddIp(IpFilterFields& filter) {
    const std::optional<uint32_t> address = ParseAddressText(filter.entry);
    if (!address || *address == 0)
        return false;
    const size_t searched = std::min(filter.rows.size(), kSlots);
    for (size_t row = 0; row < searched; ++row) {
        if (ParseAddressText(filter.rows[row]) == address)
            return false;
    }
    // The row gets the address as the list shows it (the entry parses to exactly this),
    // at the top: appended, then rotated there.
    filter.rows.push_back(AddressText(*address));
    std::rotate(filter.rows.begin(), filter.rows.end() - 1, filter.rows.end());
    return true;
}

void RemoveIp(IpFilterFields& filter, std::optional<size_t> selectedRow) {
    if (selectedRow && *selectedRow < filter.rows.size())
        filter.rows.erase(filter.rows.begin() + static_cast<std::ptrdiff_t>(*selectedRow));
}

void CopyToFilters(FilterSetupFields& fields, std::string_view resolvedAddress) {
    for (IpFilterFields* filter :
         {&fields.eitherIp, &fields.dstIp, &fields.dstIpNot, &fields.srcIp, &fields.srcIpNot})
        filter->entry = resolvedAddress;
}

ResolverOutcome RunResolverCommand(ResolverCommand command, const std::string& hostText,
                                   const HostNameLookup& names) {
    auto lookUp = [](const auto& lookup, const auto& argument) -> std::optional<std::string> {
        try {
            if (lookup)
                return lookup(argument);
        } catch (const std::exception&) {
            // A lookup that fails in any way is a name without an answer.
        }
        return std::nullopt;
    };

    ResolverOutcome outcome;
    // An answer that is not a dotted address counts as none: the edit and the entries only
    // ever get an address the lists take.
    const std::optional<std::string> address = lookUp(names.resolve, hostText);
    const std::optional<uint32_t> parsed = address ? ParseAddressText(*address) : std::nullopt;
    if (!parsed) {
        outcome.message = PromptRequest{"", kUnableToResolveText};
        return outcome;
    }
    outcome.hostText = address;
    if (command == ResolverCommand::CopyToFilters) {
        outcome.entryAddress = address;
    } else if (command == ResolverCommand::ReverseResolve) {
        std::array<uint8_t, 4> octets{};
        std::memcpy(octets.data(), &*parsed, octets.size());
        const std::optional<std::string> name = lookUp(names.reverse, octets);
        if (name && !name->empty())
            outcome.hostText = name;
        else
            outcome.message = PromptRequest{"Error", kUnableToReverseResolveText, PromptButtons::Ok,
                                            PromptIcon::Error};
    }
    return outcome;
}

}  // namespace vorlanx
