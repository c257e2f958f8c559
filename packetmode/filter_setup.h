// What the Filter Setup window edits, as plain values: the texts its controls hold, how
// they are loaded from the SettingsRecord and stored back, and the list and port-text
// handlers behind its buttons.
//
// The window keeps one FilterSetupFields per open window, fills it with LoadFilterSetup
// when it opens, lets its controls and the handlers below change it, and hands it to
// StoreFilterSetup on Apply and OK. Nothing here touches a widget or the settings file.
// All functions are pure over their arguments; whichever thread owns the record may call
// them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/packet_record.h"
#include "platform/host_names.h"
#include "platform/user_prompt.h"
#include "settings/settings_record.h"

namespace vorlanx {

class CurrentPacketFilters;

// One of the five address filters: the entry box above the list and the list's rows.
struct IpFilterFields {
    std::string entry;              // the address typed in the entry box
    std::vector<std::string> rows;  // dotted addresses, row 0 on top
    bool operator==(const IpFilterFields&) const = default;
};

struct FilterSetupFields {
    // Entries and lists 1074/1094, 1075/1097, 1076/1100, 1077/1103, 1106/1109.
    IpFilterFields srcIp, srcIpNot, dstIp, dstIpNot, eitherIp;
    // Port edits 1078, 1079, 1080, 1081, 1110, as typed.
    std::string srcPortText, srcPortNotText, dstPortText, dstPortNotText, eitherPortText;
    // Size edits 1082 and 1083, as typed.
    std::string minPacketSizeText, maxPacketSizeText;
    // String edits 1084, 1111, 1112 and 1086, 1113, 1114.
    std::array<std::string, 3> mustContain, mustNotContain;
    // Protocol check boxes 1090-1093.
    bool allowTcp = true, allowUdp = true, allowIcmp = true, allowOther = true;
    // Host name resolver edit 1085.
    std::string resolverHost;

    bool operator==(const FilterSetupFields&) const = default;
};

using PortList = std::array<uint16_t, SettingsRecord::kListLength>;

// The controls' contents for the criteria in `record`: entry, string and resolver texts as
// stored, sizes as unsigned decimal, one "a.b.c.d" row per list entry up to the first 0
// (at most 100), and each port list as FormatPortText gives it.
FilterSetupFields LoadFilterSetup(const SettingsRecord& record);

// Apply and OK: writes the fields into `record` in the window's order (entries, port
// lists, strings and resolver text, protocol flags, sizes, address lists). Texts are cut
// to their fields' widths without splitting a UTF-8 sequence; an address list takes its
// top 100 rows. Loading a record and storing the result unchanged rewrites every byte as
// it was, for any record this function wrote. The settings file is not written.
void StoreFilterSetup(const FilterSetupFields& fields, SettingsRecord& record);
// The same, then hands the new criteria to the capture thread's filters.
void StoreFilterSetup(const FilterSetupFields& fields, SettingsRecord& record,
                      CurrentPacketFilters& filters);

// The port-text rule: every run of decimal digits is one port, everything else separates
// ("1000-2000" is the two ports 1000 and 2000, not a range). A number of 0 or above 65535
// names no port and takes no slot; the first 100 ports fill the slots in order and later
// ones are ignored. Unused slots hold 0.
PortList ParsePortText(std::string_view text);
// The slots up to the first 0 as "80,443"; empty when slot 0 is 0.
std::string FormatPortText(const PortList& ports);

// Add IP: puts the entry's address on top of the list. Adds nothing when the entry holds
// no dotted address, holds 0.0.0.0, or when one of the rows 0-99 already holds the same
// address. Returns whether a row was added.
bool AddIp(IpFilterFields& filter);
// Remove IP: removes the selected row; nothing when no row (or no existing row) is selected.
void RemoveIp(IpFilterFields& filter, std::optional<size_t> selectedRow);
// Copy to filters, after a successful resolve: the resolved address goes into the entries
// 1106, 1076, 1077, 1074 and 1075, in that order; the lists stay as they are.
void CopyToFilters(FilterSetupFields& fields, std::string_view resolvedAddress);

// The host name resolver's three buttons: 1089, 1124 and 1123.
enum class ResolverCommand { Resolve, ReverseResolve, CopyToFilters };

// How a resolver command ends.
struct ResolverOutcome {
    // The resolver edit's new text; nothing leaves it as it is.
    std::optional<std::string> hostText;
    // Copy to filters: the address for the five IP entries (see CopyToFilters).
    std::optional<std::string> entryAddress;
    // The message to show once the texts are in place.
    std::optional<PromptRequest> message;
};

inline constexpr const char* kUnableToResolveText = "Unable to resolve host name";
inline constexpr const char* kUnableToReverseResolveText = "Unable to reverse resolve address.";

// Runs `command` on the resolver edit's text `hostText`. Every command resolves first: the
// first IPv4 address replaces the text, or "Unable to resolve host name" (application's
// title, OK) ends the command. Reverse resolve then looks that address up and puts its host
// name in the text, or says "Unable to reverse resolve address." (caption "Error", error
// icon); Copy to filters hands the address on for the entries. A lookup that throws counts
// as a failed one. Blocks for as long as the lookups take: run it off the user-interface
// thread. Any thread.
ResolverOutcome RunResolverCommand(ResolverCommand command, const std::string& hostText,
                                   const HostNameLookup& names);

}  // namespace vorlanx
