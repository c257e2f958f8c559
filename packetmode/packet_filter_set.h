// The Packet Mode filters: which received datagrams are stored and listed.
//
// A PacketFilterSet is an immutable copy of the criteria taken from the SettingsRecord: the
// protocol flags, size limits, address and port lists, and the six working strings. The
// capture thread tests every datagram against one such copy while the user-interface
// thread builds the next one (CurrentPacketFilters), so a test never sees half an update.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "settings/settings_record.h"
#include "capture/packet_record.h"

namespace vorlanx {

enum class FilterVerdict { Accept, Discard };

struct FilterDecision {
    FilterVerdict verdict = FilterVerdict::Accept;
    bool stringStageRan = false;  // a must-contain or must-not-contain test was evaluated
    bool operator==(const FilterDecision&) const = default;
};

// The texts of the "Contains string" and "Lacks string" columns: "%s,%s,%s" of the three
// must-contain and the three must-not-contain strings, as they were compared.
struct FilterColumnTexts {
    std::string contains;
    std::string lacks;
};

// Address, port, protocol and size criteria, read from the record. Immutable once built.
struct FilterCriteria {
    static constexpr size_t kListLength = SettingsRecord::kListLength;

    // A list of addresses in network order, cut at its first 0 entry.
    struct AddressList {
        std::array<uint32_t, kListLength> entries{};
        uint32_t size = 0;
        bool contains(uint32_t address) const;
        bool operator==(const AddressList&) const = default;
    };

    bool allowTcp = true;
    bool allowUdp = true;
    bool allowIcmp = true;
    bool allowOther = true;
    int32_t minPacketSize = 0;
    int32_t maxPacketSize = 0;
    AddressList dstIp, srcIp, dstIpNot, srcIpNot, eitherIp;

    // The five port lists, scanned together index by index.
    std::array<uint16_t, kListLength> srcPort{}, dstPort{}, srcPortNot{}, dstPortNot{},
        eitherPort{};
    uint32_t portScanLength = 0;  // first index at which all five lists hold 0 (or 100)

    // Reads the criteria fields of the record. Whoever owns the record calls it.
    static FilterCriteria fromRecord(const SettingsRecord& record);
    bool operator==(const FilterCriteria&) const = default;
};

// The six working strings of the string stages, with their lower-cased forms and the
// column texts for both ways of comparing. Immutable once built.
struct FilterStrings {
    std::array<std::string, 3> mustContain;
    std::array<std::string, 3> mustNotContain;
    std::array<std::string, 3> mustContainFolded;
    std::array<std::string, 3> mustNotContainFolded;
    bool anyMustContain = false;
    bool anyMustNotContain = false;
    std::shared_ptr<const FilterColumnTexts> columns;        // match case on
    std::shared_ptr<const FilterColumnTexts> foldedColumns;  // match case off

    // Takes mustContain1..3 and mustNotContain1..3 from the record.
    static FilterStrings fromRecord(const SettingsRecord& record);
    // From six given strings (must-contain first).
    static FilterStrings fromStrings(const std::array<std::string, 3>& mustContain,
                                     const std::array<std::string, 3>& mustNotContain);
    // Same six strings.
    bool sameStrings(const FilterStrings& other) const {
        return mustContain == other.mustContain && mustNotContain == other.mustNotContain;
    }
};

class PacketFilterSet {
  public:
    // Every criterion at its default: accepts everything.
    PacketFilterSet();
    PacketFilterSet(std::shared_ptr<const FilterCriteria> criteria,
                    std::shared_ptr<const FilterStrings> strings);
    // All criteria and the working strings from the record.
    static PacketFilterSet fromRecord(const SettingsRecord& record);

    // The fourteen tests in order; the first that fails discards. `packet` is the record
    // (its 44 spare bytes make every fixed-offset read safe, short datagrams read 0 there).
    // `matchCase` off folds A-Z to a-z in the data and the strings before comparing.
    // `scratch` holds the payload text; reuse it across calls to avoid allocating.
    // Capture thread; the set itself is never changed.
    FilterDecision accepts(const PacketView& packet, bool matchCase, std::string& scratch) const;

    // The column texts of an accepted datagram whose string stage ran, as compared with
    // `matchCase`. Shared: the list keeps the reference, not a copy per row.
    const std::shared_ptr<const FilterColumnTexts>& columnTexts(bool matchCase) const {
        return matchCase ? m_strings->columns : m_strings->foldedColumns;
    }

    const std::shared_ptr<const FilterCriteria>& criteria() const { return m_criteria; }
    const std::shared_ptr<const FilterStrings>& strings() const { return m_strings; }

  private:
    bool passesPorts(uint16_t sourcePort, uint16_t destinationPort) const;

    std::shared_ptr<const FilterCriteria> m_criteria;
    std::shared_ptr<const FilterStrings> m_strings;
};

// Folds ASCII A-Z to a-z in place (FoldAsciiByte on every byte).
void FoldAsciiCase(std::string& text);

}  // namespace vorlanx
