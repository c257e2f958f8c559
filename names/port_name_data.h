// The stored data behind PortNameTable: a text index per port and the deduplicated texts.
//
// The data itself is generated into port_name_data.cpp by tools/gen_port_names.py. A text
// index of 0 (kNoEntry) means the port has no entry; any other index refers to one stored
// text, which may itself be empty. Ports are indexed in two steps, a page of 16 ports and a
// slot in the page, so the long empty stretches of the port range share one empty page:
// still a constant-time array lookup, in under a fifth of the memory of a flat index.
// Everything here is constant data, readable from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vorlanx::port_name_data {

inline constexpr uint32_t kTcpEntries = 65302;  // ports 0..65301
inline constexpr uint32_t kUdpEntries = 54322;  // ports 0..54321
inline constexpr uint16_t kNoEntry = 0;

// One stored entry as the generator lists it.
struct PortText {
    uint16_t port;
    uint16_t text;
};

inline constexpr uint32_t kPageBits = 4;
inline constexpr uint32_t kPagePorts = 1u << kPageBits;

// The text indexes of ports 0..Entries-1, in UsedPages pages plus the shared empty page 0.
template <uint32_t Entries, uint32_t UsedPages>
struct PortIndex {
    static constexpr uint32_t kPages = (Entries + kPagePorts - 1) / kPagePorts;

    std::array<uint16_t, kPages> page{};                        // port / 16 -> page number
    std::array<uint16_t, (UsedPages + 1) * kPagePorts> slot{};  // page * 16 + port % 16 -> text

    // The text index of a port; kNoEntry for a port beyond the table.
    constexpr uint16_t operator[](uint32_t port) const {
        if (port >= Entries) {
            return kNoEntry;
        }
        return slot[page[port >> kPageBits] * kPagePorts + (port & (kPagePorts - 1))];
    }
};

// Builds the index at compile time from the stored entries. A port beyond the table, a
// repeated port, a zero text index or a wrong page count does not compile.
template <uint32_t Entries, uint32_t UsedPages, size_t N>
consteval PortIndex<Entries, UsedPages> makePortIndex(const PortText (&stored)[N]) {
    PortIndex<Entries, UsedPages> index{};
    uint32_t used = 0;
    for (const PortText& entry : stored) {
        if (entry.port >= Entries || entry.text == kNoEntry) {
            throw "stored entry out of range";
        }
        uint16_t& page = index.page[entry.port >> kPageBits];
        if (page == 0) {
            if (used == UsedPages) {
                throw "more pages than declared";
            }
            page = static_cast<uint16_t>(++used);
        }
        uint16_t& slot = index.slot[page * kPagePorts + (entry.port & (kPagePorts - 1))];
        if (slot != kNoEntry) {
            throw "port stored twice";
        }
        slot = entry.text;
    }
    if (used != UsedPages) {
        throw "fewer pages than declared";
    }
    return index;
}

// Where a text sits: its chunk (one string literal of the pool), its offset in the chunk
// and its length in bytes; a zero byte follows every text.
struct TextRef {
    uint16_t offset;
    uint8_t chunk;
    uint8_t length;
};

extern const size_t kTextCount;
extern const TextRef kTextRefs[];  // kTextCount + 1 entries; entry 0 stands for no entry
extern const char* const kTextChunks[];

// The text index of a TCP / UDP port: kNoEntry for a port without an entry or beyond the
// table, else 1..kTextCount.
uint16_t tcpTextIndex(uint32_t port);
uint16_t udpTextIndex(uint32_t port);

// The stored text with the given index, 1..kTextCount (an empty view for any other index).
std::string_view storedText(uint16_t index);

}  // namespace vorlanx::port_name_data
