// Decodes and renders arbitrary bytes as a captured datagram, and expands them as a
// date-time template, checking what every caller relies on.
#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "capture/packet_record.h"
#include "capture/date_time_template.h"
#include "fuzz_check.h"

namespace {

using namespace vorlanx;

using fuzz::check;

// The printf formats the renderings are defined by, as the oracle.
bool matchesFormat(const char* at, const char* format, unsigned value) {
    char expected[8];
    const int n = std::snprintf(expected, sizeof expected, format, value);
    return std::memcmp(at, expected, static_cast<size_t>(n)) == 0;
}

void checkDecoding(const uint8_t* bytes, uint32_t length) {
    PacketRecord record = PacketRecord::create(std::span<const uint8_t>(bytes, length));
    check(static_cast<bool>(record), "a record of at most 65,540 bytes is created");
    const uint8_t* block = record.block();
    check(length == 0 || std::memcmp(block, bytes, length) == 0, "record holds the datagram");
    for (uint32_t i = 0; i < kRecordSpareBytes; ++i) {
        check(block[length + i] == 0, "spare bytes are zero");
    }
    const PacketView v = record.view(length);
    // Every read the list, the detail pane and the filters make.
    const uint8_t protocol = v.protocol();
    const TcpFlags f = v.flags();
    const uint8_t flagByte = block[33];
    check(f.urg == ((flagByte & 0x20) != 0) && f.ack == ((flagByte & 0x10) != 0) &&
              f.psh == ((flagByte & 0x08) != 0) && f.rst == ((flagByte & 0x04) != 0) &&
              f.syn == ((flagByte & 0x02) != 0) && f.fin == ((flagByte & 0x01) != 0),
          "flags");
    check(v.tcpHeaderLength() <= 60 && v.tcpHeaderLength() % 4 == 0, "TCP header length");
    const uint32_t offset = v.payloadOffset();
    if (protocol == kProtocolTcp) {
        check(offset == 20 + v.tcpHeaderLength(), "TCP payload offset");
    } else if (protocol == kProtocolUdp || protocol == kProtocolIcmp) {
        check(offset == 28, "UDP and ICMP payload offset");
    } else {
        check(offset == 20, "other payload offset");
    }
    check(v.hasPorts() == (protocol == 6 || protocol == 17), "has ports");
    check(v.isDisplayable() == (length >= 20) && v.isTcpSized() == (length >= 40), "sizes");
    uint32_t rawSequence;
    std::memcpy(&rawSequence, block + 24, 4);
    check(v.sequence() == ntohl(rawSequence), "sequence is big-endian");
    volatile uint32_t sink = v.ipTotalLength() + v.ttl() + v.ipChecksum() + v.sourcePort() +
                             v.destinationPort() + v.acknowledgement() + v.window();
    (void)sink;

    const std::string source = AddressText(v.sourceAddress());
    in_addr parsed{};
    check(inet_pton(AF_INET, source.c_str(), &parsed) == 1, "address text parses");
    check(parsed.s_addr == v.sourceAddressRaw(), "address text round-trips");
    const std::string destination = AddressText(v.destinationAddress());
    check(inet_pton(AF_INET, destination.c_str(), &parsed) == 1 &&
              parsed.s_addr == v.destinationAddressRaw(),
          "destination address text round-trips");
    const std::string port = PortText(v.destinationPort());
    check(!port.empty() && port.size() <= 5 && (port == "0" || port[0] != '0'), "port text");
    check(std::strtoul(port.c_str(), nullptr, 10) == v.destinationPort(), "port text value");

    std::string work;
    const std::string_view payload = v.payloadText(work);
    check(payload.size() == (offset < length ? length - offset : 0), "payload text length");
    for (size_t i = 0; i < payload.size(); ++i) {
        const uint8_t b = bytes[offset + i];
        check(static_cast<uint8_t>(payload[i]) == (b == 0 ? 0x20 : b), "payload text bytes");
    }

    std::string out;
    RenderDec(v, out);
    size_t lineBreaks = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const size_t at = DecStart(i);
        check(at + 4 <= out.size(), "Dec start inside the text");
        check(matchesFormat(out.data() + at, "%3u", bytes[i]), "Dec value at its start");
        if (i % 10 == 9) {
            check(out[at + 3] == '\r' && out[at + 4] == '\n', "Dec line break");
            ++lineBreaks;
        } else {
            check(out[at + 3] == ' ', "Dec separator");
        }
    }
    check(out.size() == 4 * size_t{length} + lineBreaks, "Dec length");
    check(out.size() == DecTextLength(length), "Dec text length");

    RenderHex(v, out);
    lineBreaks = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const size_t at = HexStart(i);
        check(at + 3 <= out.size(), "Hex start inside the text");
        check(matchesFormat(out.data() + at, "%02X", bytes[i]), "Hex value at its start");
        if (i % 16 == 15) {
            check(out[at + 2] == '\r' && out[at + 3] == '\n', "Hex line break");
            ++lineBreaks;
        } else {
            check(out[at + 2] == ' ', "Hex separator");
        }
    }
    check(out.size() == 3 * size_t{length} + lineBreaks, "Hex length");
    check(out.size() == HexTextLength(length), "Hex text length");

    RenderText(v, out);
    std::string expected;
    for (uint32_t i = 0; i < length; ++i) {
        if (bytes[i] != 0) {
            expected += static_cast<char>(bytes[i]);
        }
    }
    check(out == expected, "Text drops zero bytes only");
}

// Straightforward replace-every-occurrence in the documented order, for comparison.
std::string referenceExpansion(std::string text, const LocalTime& t) {
    auto two = [](unsigned v) {
        std::string s = std::to_string(v);
        return s.size() < 2 ? "0" + s : s;
    };
    std::string ms = std::to_string(t.millisecond);
    ms.insert(0, 3 - std::min<size_t>(3, ms.size()), '0');
    unsigned h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    const std::pair<std::string, std::string> steps[] = {
        {"%Y", std::to_string(t.year)},
        {"%MY", two(t.month)},
        {"%D", two(t.day)},
        {"%AP", t.hour < 13 ? "AM" : "PM"},
        {"%H12", two(h12)},
        {"%H24", two(t.hour)},
        {"%MN", two(t.minute)},
        {"%S", two(t.second)},
        {"%MS", ms},
    };
    for (const auto& [token, value] : steps) {
        for (size_t at = text.find(token); at != std::string::npos;
             at = text.find(token, at + value.size())) {
            text.replace(at, token.size(), value);
        }
    }
    return text;
}

void checkTemplate(const uint8_t* bytes, size_t size) {
    // The time comes from the first bytes so that every hour and width is reached.
    LocalTime t;
    if (size >= 4) {
        t.year = 1970 + bytes[0] % 130;
        t.month = 1 + bytes[1] % 12;
        t.day = 1 + bytes[2] % 31;
        t.hour = bytes[3] % 24;
        t.minute = bytes[0] % 60;
        t.second = bytes[1] % 60;
        t.millisecond = (bytes[2] * 256u + bytes[3]) % 1000;
    }
    const size_t templateSize = std::min<size_t>(size, 4096);
    const std::string_view dateTimeTemplate(reinterpret_cast<const char*>(bytes), templateSize);
    const std::string text = ExpandDateTimeTemplate(dateTimeTemplate, t);
    check(text.size() <= 2 * dateTimeTemplate.size(), "expansion at most doubles the text");
    if (dateTimeTemplate.find('%') == std::string_view::npos) {
        check(text == dateTimeTemplate, "a template without tokens comes back unchanged");
    }
    check(text == referenceExpansion(std::string(dateTimeTemplate), t), "template expansion");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t length = static_cast<uint32_t>(std::min<size_t>(size, kMaxDatagramBytes));
    checkDecoding(data, length);
    checkTemplate(data, size);
    if (size > kMaxDatagramBytes) {
        check(!PacketRecord::create(std::span<const uint8_t>(data, size)),
              "more than 65,540 bytes is refused");
    }
    return 0;
}
