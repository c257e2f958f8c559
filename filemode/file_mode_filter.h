// The File Mode packet filters: which datagrams the capture loop may file at all.
//
// Read from the window's filter controls (or the settings record that holds them) at each
// capture start; immutable for the rest of the run, so the capture thread reads it without
// a lock. A zero field means "no filter".
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vorlanx {

class SettingsRecord;

// The four address fields as typed, in the order of their controls (1074 to 1077).
struct FilterAddressTexts {
    std::string sourceIpMustBe;
    std::string sourceIpMustNotBe;
    std::string destinationIpMustBe;
    std::string destinationIpMustNotBe;
};

struct FileModeFilter {
    // Addresses as the four bytes stand in the datagram (network order, memcpy'd into a
    // uint32_t like in_addr.s_addr); 0 (0.0.0.0) = no filter.
    uint32_t sourceIpMustBe = 0;
    uint32_t sourceIpMustNotBe = 0;
    uint32_t destinationIpMustBe = 0;
    uint32_t destinationIpMustNotBe = 0;
    // Ports as numbers (host order); 0 = no filter.
    uint16_t sourcePortMustBe = 0;
    uint16_t sourcePortMustNotBe = 0;
    uint16_t destinationPortMustBe = 0;
    uint16_t destinationPortMustNotBe = 0;
    // Size limits of a stored file; 0 = no limit. Kept with the filters in the settings,
    // but the assembler reads the window's live values when it decides.
    uint32_t minFileSize = 0;
    uint32_t maxFileSize = 0;

    // The filters stored in the settings record (the window writes its controls there
    // before a start). When an address field holds no complete address, the four address
    // filters stay off and the message naming the field goes to `refusal` (when given):
    // such a request must not start. Any thread that owns the record.
    static FileModeFilter fromSettings(const SettingsRecord& settings,
                                       std::string* refusal = nullptr);

    // An address text as the filter fields take it: four decimal numbers from 0 to 255
    // separated by points ("192.168.0.1"), without leading zeros or anything around it,
    // in network order. Empty text and "0.0.0.0" give 0, no filter. Anything else, such as
    // a partial address ("192.168.1") or the short and hexadecimal forms inet_addr
    // would take, is no address: nothing. Pure.
    static std::optional<uint32_t> parseAddress(std::string_view text);

    // Reads the four address fields for a start. Returns the message that names the first
    // field holding no complete address, and then leaves the filter unchanged; empty when
    // all four were read. Pure.
    std::string readAddresses(const FilterAddressTexts& texts);

    // Applies the four address and four port tests, in that order. `datagram` must hold at
    // least 24 bytes (the capture loop only asks for 40 or more); the IP header is taken
    // as 20 bytes and the port bytes 20..23 are read whatever the protocol. Pure.
    bool accepts(std::span<const uint8_t> datagram) const;
};

}  // namespace vorlanx
