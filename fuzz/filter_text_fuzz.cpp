// Arbitrary texts in the Filter Setup's edits: port texts, address entries and rows, size
// and string edits. Checks what the window and the capture filters rely on: a port text
// reads as its runs of digits, prints and re-reads as the same list; an address text is
// taken only in the form the lists print; storing the fields and loading them back is
// stable; Add IP adds one new row on top or nothing. The stored criteria then filter a
// datagram made of the same bytes.
//
// Input: lines ("\n"). Lines 0-4 are the port texts, 5-6 the size texts (their digits, as the edits take), 7-12 the strings,
// 13 the resolver host, 14-18 the address entries; later lines are rows, dealt to the five
// address lists in turn. The whole input is also the datagram.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/packet_record.h"
#include "fuzz_check.h"
#include "packetmode/filter_setup.h"
#include "packetmode/packet_filter_set.h"

namespace {

using namespace vorlanx;
using fuzz::check;

// The ports of a text, read the plain way: each run of digits without its leading zeros,
// kept when it is 1 to 65535, the first 100 of them.
std::vector<uint16_t> ReferencePorts(std::string_view text) {
    std::vector<uint16_t> ports;
    size_t at = 0;
    while (at < text.size() && ports.size() < SettingsRecord::kListLength) {
        if (text[at] < '0' || text[at] > '9') {
            ++at;
            continue;
        }
        const size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
        std::string_view run = text.substr(start, at - start);
        run.remove_prefix(std::min(run.find_first_not_of('0'), run.size()));
        if (!run.empty() && run.size() <= 5 && std::stoul(std::string(run)) <= 65535)
            ports.push_back(static_cast<uint16_t>(std::stoul(std::string(run))));
    }
    return ports;
}

void CheckPortText(std::string_view text) {
    const PortList ports = ParsePortText(text);
    const std::vector<uint16_t> expected = ReferencePorts(text);
    check(std::equal(expected.begin(), expected.end(), ports.begin()), "the ports in order");
    check(std::all_of(ports.begin() + static_cast<std::ptrdiff_t>(expected.size()), ports.end(),
                      [](uint16_t p) { return p == 0; }),
          "unused slots hold 0");
    const std::string printed = FormatPortText(ports);
    check(printed.find_first_not_of("0123456789,") == std::string::npos, "digits and commas");
    check(ParsePortText(printed) == ports, "the printed list reads as the same list");
}

void CheckAddressText(std::string_view text) {
    if (const std::optional<uint32_t> address = ParseAddressText(text))
        check(AddressText(*address) == text, "only the printed form of an address is taken");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> lines;
    for (size_t at = 0; at <= input.size();) {
        const size_t end = std::min(input.find('\n', at), input.size());
        lines.push_back(input.substr(at, end - at));
        at = end + 1;
    }
    auto line = [&](size_t i) { return std::string(i < lines.size() ? lines[i] : ""); };

    FilterSetupFields fields;
    std::string* const portTexts[] = {&fields.srcPortText, &fields.srcPortNotText,
                                      &fields.dstPortText, &fields.dstPortNotText,
                                      &fields.eitherPortText};
    IpFilterFields* const ipFilters[] = {&fields.srcIp, &fields.srcIpNot, &fields.dstIp,
                                         &fields.dstIpNot, &fields.eitherIp};
    for (size_t i = 0; i < 5; ++i)
        *portTexts[i] = line(i);
    // The size edits take digits only.
    auto digits = [](std::string text) {
        std::erase_if(text, [](char c) { return c < '0' || c > '9'; });
        return text;
    };
    fields.minPacketSizeText = digits(line(5));
    fields.maxPacketSizeText = digits(line(6));
    for (size_t i = 0; i < 3; ++i) {
        fields.mustContain[i] = line(7 + i);
        fields.mustNotContain[i] = line(10 + i);
    }
    fields.resolverHost = line(13);
    for (size_t i = 0; i < 5; ++i)
        ipFilters[i]->entry = line(14 + i);
    for (size_t i = 19; i < lines.size(); ++i)
        ipFilters[(i - 19) % 5]->rows.emplace_back(lines[i]);
    fields.allowTcp = size % 2 == 0;
    fields.allowOther = size % 3 == 0;

    for (const std::string* text : portTexts)
        CheckPortText(*text);
    for (std::string_view l : lines)
        CheckAddressText(l);

    // Store, load, store: the second store changes nothing.
    SettingsRecord record = SettingsRecord::defaults("/");
    StoreFilterSetup(fields, record);
    const FilterSetupFields loaded = LoadFilterSetup(record);
    for (auto text : {&FilterSetupFields::srcPortText, &FilterSetupFields::srcPortNotText,
                      &FilterSetupFields::dstPortText, &FilterSetupFields::dstPortNotText,
                      &FilterSetupFields::eitherPortText})
        check(ParsePortText(loaded.*text) == ParsePortText(fields.*text),
              "a port list loads as it was stored");
    SettingsRecord again = record;
    StoreFilterSetup(loaded, again);
    check(again == record, "storing what was loaded changes no byte");
    check(LoadFilterSetup(again) == loaded, "and loads the same fields");

    // Add IP: one new row on top, or nothing.
    for (IpFilterFields* filter : ipFilters) {
        const IpFilterFields before = *filter;
        const std::optional<uint32_t> address = ParseAddressText(filter->entry);
        const bool added = AddIp(*filter);
        check(added == (filter->rows.size() == before.rows.size() + 1), "one row or none");
        if (added) {
            check(address && *address != 0 && filter->rows.front() == filter->entry,
                  "the entry's address is the top row");
            check(std::equal(before.rows.begin(), before.rows.end(), filter->rows.begin() + 1),
                  "the other rows move down");
        } else {
            check(*filter == before, "nothing added leaves the list as it was");
        }
    }

    // The stored criteria filter a datagram.
    const size_t length = std::min<size_t>(size, kMaxDatagramBytes);
    const PacketRecord datagram = PacketRecord::create(std::span<const uint8_t>(data, length));
    const PacketFilterSet filters = PacketFilterSet::fromRecord(record);
    std::string scratch;
    for (bool matchCase : {false, true}) {
        const FilterDecision decision =
            filters.accepts(datagram.view(static_cast<uint32_t>(length)), matchCase, scratch);
        check(!decision.stringStageRan || filters.strings()->anyMustContain ||
                  filters.strings()->anyMustNotContain,
              "the string stage runs only with strings");
    }
    return 0;
}
