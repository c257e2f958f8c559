// The Filter Setup window's contents: port texts, and loading and storing the criteria.
#include "packetmode/filter_setup.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <stdexcept>

#include "packetmode/current_packet_filters.h"

namespace vorlanx {

// Failure messages show the texts rather than the struct's bytes.
void PrintTo(const FilterSetupFields& f, std::ostream* out) {
    for (const IpFilterFields* ip : {&f.srcIp, &f.srcIpNot, &f.dstIp, &f.dstIpNot, &f.eitherIp})
        *out << ip->entry << " [" << ip->rows.size() << " rows] ";
    for (const std::string* text :
         {&f.srcPortText, &f.srcPortNotText, &f.dstPortText, &f.dstPortNotText, &f.eitherPortText,
          &f.minPacketSizeText, &f.maxPacketSizeText, &f.mustContain[0], &f.mustContain[1],
          &f.mustContain[2], &f.mustNotContain[0], &f.mustNotContain[1], &f.mustNotContain[2],
          &f.resolverHost})
        *out << '"' << text->substr(0, 40) << "\" ";
    *out << f.allowTcp << f.allowUdp << f.allowIcmp << f.allowOther;
}

namespace {

uint32_t Address(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

// "1,2,...,last"
std::string Numbers(int last) {
    std::string text = "1";
    for (int n = 2; n <= last; ++n)
        text += "," + std::to_string(n);
    return text;
}

TEST(PortText, EachRunOfDigitsIsOnePortFrom1To65535) {
    PortList firstHundred{};
    for (uint16_t i = 0; i < 100; ++i)
        firstHundred[i] = static_cast<uint16_t>(i + 1);
    const struct {
        std::string text;
        PortList ports;
        std::string shown;
    } rows[] = {
        {" 80 , 443;8080", {80, 443, 8080}, "80,443,8080"},
        {"1000-2000", {1000, 2000}, "1000,2000"},
        {"", {}, ""},
        {"70000", {}, ""},  // not its low 16 bits, 4464
        {"65536", {}, ""},
        {"65535,99999999999999999999,1", {65535, 1}, "65535,1"},
        {"80,0,443", {80, 443}, "80,443"},  // an inner 0 would hide 443 from the next load
        {Numbers(101), firstHundred, Numbers(100)},
    };
    for (const auto& row : rows) {
        const PortList parsed = ParsePortText(row.text);
        EXPECT_EQ(parsed, row.ports) << row.text;
        EXPECT_EQ(FormatPortText(parsed), row.shown) << row.text;
    }
}

// A record holding a value in every field the window edits, each different so that two
// swapped fields show, surrounded by bytes no store may touch.
SettingsRecord EveryFilterField() {
    SettingsRecord record;
    for (size_t i = 0; i < SettingsRecord::kSize; ++i)
        record.bytes()[i] = static_cast<uint8_t>(i % 251 + 1);
    record.setFilterSrcIpEntry("1.1.1.1");
    record.setFilterSrcIpNotEntry("2.2.2.2");
    record.setFilterDstIpEntry("3.3.3.3");
    record.setFilterDstIpNotEntry("4.4.4.4");
    record.setFilterEitherIpEntry("");
    for (size_t i = 0; i < SettingsRecord::kListLength; ++i) {
        const bool first = i == 0;
        record.setSrcIpList(i, Address(10, 0, 0, static_cast<uint8_t>(i + 1)));  // full
        record.setSrcIpNotList(i, first ? Address(10, 1, 0, 1) : 0);
        record.setDstIpList(i, first ? Address(10, 2, 0, 1) : 0);
        record.setDstIpNotList(i, first ? Address(10, 3, 0, 1) : 0);
        record.setEitherIpList(i, i < 2 ? Address(192, 168, 1, static_cast<uint8_t>(i + 1)) : 0);
        record.setSrcPortList(i, static_cast<uint16_t>(i + 1));  // full
        record.setSrcPortNotList(i, first ? 21 : 0);
        record.setDstPortList(i, i < 2 ? static_cast<uint16_t>(80 + i * 363) : 0);
        record.setDstPortNotList(i, first ? 65535 : 0);
        record.setEitherPortList(i, 0);
    }
    record.setMustContain1("GET");
    record.setMustContain2(std::string(1023, 'x'));
    record.setMustContain3("");
    record.setMustNotContain1("Grüße");
    record.setMustNotContain2("");
    record.setMustNotContain3("POST");
    record.setFilterResolverHost("example.test");
    record.setAllowTcp(false);
    record.setAllowUdp(true);
    record.setAllowIcmp(false);
    record.setAllowOther(true);
    record.setMinPacketSize(60);
    record.setMaxPacketSize(0);
    return record;
}

TEST(FilterSetup, LoadShowsEveryFieldAndOkWithoutChangesKeepsEveryByte) {
    const SettingsRecord record = EveryFilterField();
    FilterSetupFields expected;
    for (int i = 1; i <= 100; ++i)
        expected.srcIp.rows.push_back("10.0.0." + std::to_string(i));
    expected.srcIp.entry = "1.1.1.1";
    expected.srcIpNot = {"2.2.2.2", {"10.1.0.1"}};
    expected.dstIp = {"3.3.3.3", {"10.2.0.1"}};
    expected.dstIpNot = {"4.4.4.4", {"10.3.0.1"}};
    expected.eitherIp = {"", {"192.168.1.1", "192.168.1.2"}};
    expected.srcPortText = Numbers(100);
    expected.srcPortNotText = "21";
    expected.dstPortText = "80,443";
    expected.dstPortNotText = "65535";
    expected.eitherPortText = "";
    expected.minPacketSizeText = "60";
    expected.maxPacketSizeText = "0";
    expected.mustContain = {"GET", std::string(1023, 'x'), ""};
    expected.mustNotContain = {"Grüße", "", "POST"};
    expected.allowTcp = false;
    expected.allowIcmp = false;
    expected.resolverHost = "example.test";
    const FilterSetupFields loaded = LoadFilterSetup(record);
    EXPECT_EQ(loaded, expected);

    SettingsRecord stored = record;
    CurrentPacketFilters filters;
    StoreFilterSetup(loaded, stored, filters);
    EXPECT_TRUE(stored == record);
    EXPECT_EQ(filters.current()->criteria()->dstPort[1], 443);  // the capture sees the store
}

TEST(FilterSetup, StoreCutsAndReadsEachFieldAsItsKindAllows) {
    const struct {
        std::string text;
        int32_t size;
    } sizes[] = {{"", 0},
                 {"1500", 1500},
                 {"size", 0},
                 {"2147483647", INT_MAX},
                 {"2147483648", INT_MAX},
                 {"4294967295", INT_MAX},  // how a negative size loads
                 {"99999999999999999999", INT_MAX}};
    for (const auto& row : sizes) {
        FilterSetupFields fields;
        fields.minPacketSizeText = fields.maxPacketSizeText = row.text;
        SettingsRecord record;
        StoreFilterSetup(fields, record);
        EXPECT_EQ(record.minPacketSize(), row.size) << row.text;
        EXPECT_EQ(record.maxPacketSize(), row.size) << row.text;
    }

    FilterSetupFields fields;
    fields.srcIp.entry = "255.255.255.255.255";  // 19 characters, all kept
    fields.dstIp.entry = "255.255.255.255.2555";
    fields.mustContain[0] = std::string(1022, 'a') + "é";  // the é would end at byte 1024
    for (int i = 1; i <= 101; ++i)
        fields.srcIpNot.rows.push_back("10.0." + std::to_string(i / 100) + "." +
                                       std::to_string(i % 100));
    fields.dstIpNot.rows = {"10.0.0.1", "0.0.0.0", "host", "", "10.0.0.2"};
    SettingsRecord record;
    StoreFilterSetup(fields, record);
    EXPECT_EQ(record.filterSrcIpEntry(), "255.255.255.255.255");
    EXPECT_EQ(record.filterDstIpEntry(), "255.255.255.255.255");
    EXPECT_EQ(record.mustContain1(), std::string(1022, 'a'));
    EXPECT_EQ(record.srcIpNotList(99), Address(10, 0, 1, 0));  // row 99; row 100 is dropped
    EXPECT_EQ(LoadFilterSetup(record).srcIpNot.rows.size(), 100u);
    // Rows holding no address take no slot instead of ending the list early.
    EXPECT_EQ(LoadFilterSetup(record).dstIpNot.rows,
              (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
}

}  // namespace
}  // namespace vorlanx

namespace vorlanx {
namespace {

TEST(FilterSetup, AddRemoveAndCopyWorkOnTheEntryAndTheList) {
    struct Row {
        const char* name;
        std::string entry;
        std::vector<std::string> rows;
        bool added;
        std::vector<std::string> after;
    };
    const std::vector<std::string> two = {"10.0.0.2", "10.0.0.1"};
    std::vector<std::string> hundredAndOne;
    for (int i = 0; i <= 100; ++i)
        hundredAndOne.push_back("10.0.1." + std::to_string(i));
    std::vector<std::string> withNewTop = hundredAndOne;
    withNewTop.insert(withNewTop.begin(), "10.0.1.100");
    const Row rows[] = {
        {"a new address goes on top", "10.0.0.3", two, true, {"10.0.0.3", "10.0.0.2", "10.0.0.1"}},
        {"an address already listed adds nothing", "10.0.0.1", two, false, two},
        {"0.0.0.0 adds nothing", "0.0.0.0", two, false, two},
        {"text that is no address adds nothing", "example.org", two, false, two},
        {"a short form adds nothing", "10.1", two, false, two},
        {"only rows 0-99 count as listed", "10.0.1.100", hundredAndOne, true, withNewTop},
    };
    for (const Row& row : rows) {
        IpFilterFields filter{row.entry, row.rows};
        EXPECT_EQ(AddIp(filter), row.added) << row.name;
        EXPECT_EQ(filter.rows, row.after) << row.name;
        EXPECT_EQ(filter.entry, row.entry) << row.name;
    }

    IpFilterFields filter{"", {"10.0.0.3", "10.0.0.2", "10.0.0.1"}};
    RemoveIp(filter, std::nullopt);
    RemoveIp(filter, 3);
    EXPECT_EQ(filter.rows.size(), 3u) << "no row, or no such row: nothing removed";
    RemoveIp(filter, 1);
    EXPECT_EQ(filter.rows, (std::vector<std::string>{"10.0.0.3", "10.0.0.1"}));

    FilterSetupFields fields;
    fields.srcIp.rows = {"10.9.9.9"};
    CopyToFilters(fields, "192.0.2.7");
    for (const IpFilterFields* f :
         {&fields.eitherIp, &fields.dstIp, &fields.dstIpNot, &fields.srcIp, &fields.srcIpNot})
        EXPECT_EQ(f->entry, "192.0.2.7");
    EXPECT_EQ(fields.srcIp.rows, std::vector<std::string>{"10.9.9.9"}) << "lists stay";
}

TEST(FilterSetup, ResolverCommandsEndWithTheirTextAndMessage) {
    using C = ResolverCommand;
    using Answer = std::optional<std::string>;
    constexpr const char* kNoName = "Unable to resolve host name";
    constexpr const char* kNoReverse = "Unable to reverse resolve address.";
    struct Row {
        const char* name;
        C command;
        Answer address, hostName;
        bool throws;
        Answer text, entries;
        const char* message;
    };
    const Row rows[] = {
        {"resolve", C::Resolve, "192.0.2.7", {}, false, "192.0.2.7", {}, nullptr},
        {"copy", C::CopyToFilters, "192.0.2.7", {}, false, "192.0.2.7", "192.0.2.7", nullptr},
        {"reverse", C::ReverseResolve, "192.0.2.7", "host.example", false, "host.example", {},
         nullptr},
        {"no address", C::Resolve, {}, {}, false, {}, {}, kNoName},
        {"no address, no reverse lookup", C::ReverseResolve, {}, "x", false, {}, {}, kNoName},
        {"no address, nothing copied", C::CopyToFilters, {}, {}, false, {}, {}, kNoName},
        {"an answer that is no address", C::CopyToFilters, "::1", {}, false, {}, {}, kNoName},
        {"a lookup that throws", C::Resolve, {}, {}, true, {}, {}, kNoName},
        {"no host name: the address stays", C::ReverseResolve, "192.0.2.7", {}, false,
         "192.0.2.7", {}, kNoReverse},
    };
    for (const Row& row : rows) {
        std::vector<std::array<uint8_t, 4>> reversed;  // the addresses looked up
        HostNameLookup names{
            [&](const std::string& name) -> Answer {
                EXPECT_EQ(name, "www.example") << row.name;
                if (row.throws)
                    throw std::runtime_error("resolver down");
                return row.address;
            },
            [&](std::array<uint8_t, 4> octets) {
                reversed.push_back(octets);
                return row.hostName;
            }};
        const ResolverOutcome out = RunResolverCommand(row.command, "www.example", names);
        EXPECT_EQ(out.hostText, row.text) << row.name;
        EXPECT_EQ(out.entryAddress, row.entries) << row.name;
        EXPECT_EQ(out.message.has_value(), row.message != nullptr) << row.name;
        if (out.message && row.message) {
            EXPECT_EQ(out.message->text, row.message) << row.name;
            const bool reverse = std::string(row.message) == kNoReverse;
            EXPECT_EQ(out.message->caption, reverse ? "Error" : "") << row.name;
            EXPECT_EQ(out.message->icon, reverse ? PromptIcon::Error : PromptIcon::None);
            EXPECT_EQ(out.message->buttons, PromptButtons::Ok);
        }
        const bool looksUpName = row.command == C::ReverseResolve && row.text.has_value();
        EXPECT_EQ(reversed.size(), looksUpName ? 1u : 0u) << row.name;
        if (!reversed.empty()) {
            EXPECT_EQ(reversed.front(), (std::array<uint8_t, 4>{192, 0, 2, 7})) << row.name;
        }
    }
}

}  // namespace
}  // namespace vorlanx
