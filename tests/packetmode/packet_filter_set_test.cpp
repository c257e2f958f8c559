// The Packet Mode filters: the fourteen tests, their order, and the live snapshot.
#include "packetmode/packet_filter_set.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "packetmode/current_packet_filters.h"
#include "support/test_datagram.h"

namespace vorlanx {
namespace {

using test::BuildDatagram;
using test::DatagramSpec;
using Addr = std::array<uint8_t, 4>;

constexpr Addr kH1{192, 168, 1, 10};
constexpr Addr kH2{192, 168, 1, 20};
constexpr Addr kH3{10, 1, 2, 3};

uint32_t Raw(const Addr& a) {
    uint32_t v;
    std::memcpy(&v, a.data(), 4);
    return v;
}

SettingsRecord Defaults() {
    return SettingsRecord::defaults("/home/user/");
}

struct Outcome {
    bool accepted;
    bool stringStageRan;
};

Outcome Evaluate(const SettingsRecord& record, const DatagramSpec& spec, bool matchCase = false) {
    const std::vector<uint8_t> bytes = BuildDatagram(spec);
    const PacketRecord packet = PacketRecord::create(bytes);
    EXPECT_TRUE(packet);
    std::string scratch;
    const FilterDecision d = PacketFilterSet::fromRecord(record).accepts(
        packet.view(static_cast<uint32_t>(bytes.size())), matchCase, scratch);
    return {d.verdict == FilterVerdict::Accept, d.stringStageRan};
}

bool Accepts(const SettingsRecord& record, const DatagramSpec& spec, bool matchCase = false) {
    return Evaluate(record, spec, matchCase).accepted;
}

DatagramSpec Tcp(Addr from, Addr to, uint16_t sport, uint16_t dport, std::string payload = "") {
    DatagramSpec s;
    s.protocol = 6;
    s.source = from;
    s.destination = to;
    s.sourcePort = sport;
    s.destinationPort = dport;
    s.payload = std::move(payload);
    return s;
}

DatagramSpec Udp(uint16_t sport, uint16_t dport, std::string payload = "") {
    DatagramSpec s = Tcp(kH1, kH2, sport, dport, std::move(payload));
    s.protocol = 17;
    return s;
}

DatagramSpec Proto(uint8_t protocol, std::string payload = "") {
    DatagramSpec s = Tcp(kH1, kH2, 0, 0, std::move(payload));
    s.protocol = protocol;
    return s;
}

// ---- Defaults ----

TEST(PacketFilterSetDefaults, AcceptEveryDatagramWithoutRunningTheStringStage) {
    const SettingsRecord r = Defaults();
    std::vector<DatagramSpec> specs = {Tcp(kH1, kH2, 1234, 80, "GET / HTTP/1.1"),
                                       Udp(53, 5353, "x"),
                                       Proto(1, "ping"),
                                       Proto(47),
                                       Proto(0),
                                       Proto(255)};
    DatagramSpec shortTcp = Tcp(kH1, kH2, 1, 2);
    shortTcp.truncateTo = 20;  // only the IP header was received
    specs.push_back(shortTcp);
    for (const auto& s : specs) {
        const Outcome o = Evaluate(r, s);
        EXPECT_TRUE(o.accepted) << "protocol " << int(s.protocol);
        EXPECT_FALSE(o.stringStageRan);
    }
    // The default-constructed set says the same.
    const auto bytes = BuildDatagram(Proto(47));
    const PacketRecord packet = PacketRecord::create(bytes);
    std::string scratch;
    EXPECT_EQ(
        PacketFilterSet().accepts(packet.view(static_cast<uint32_t>(bytes.size())), true, scratch),
        (FilterDecision{FilterVerdict::Accept, false}));
}

// ---- Steps 1-4: protocols ----

TEST(PacketFilterSetProtocols, EachFlagDropsOnlyItsProtocols) {
    struct Case {
        const char* flag;
        uint8_t protocol;
        bool accepted;
    };
    const Case cases[] = {
        {"tcp", 6, false},     {"tcp", 17, true},   {"tcp", 1, true},     {"tcp", 47, true},
        {"udp", 17, false},    {"udp", 6, true},    {"udp", 1, true},     {"icmp", 1, false},
        {"icmp", 6, true},     {"icmp", 0, true},   {"other", 47, false}, {"other", 0, false},
        {"other", 255, false}, {"other", 2, false}, {"other", 6, true},   {"other", 17, true},
        {"other", 1, true},
    };
    for (const Case& c : cases) {
        SettingsRecord r = Defaults();
        const std::string flag = c.flag;
        if (flag == "tcp")
            r.setAllowTcp(false);
        if (flag == "udp")
            r.setAllowUdp(false);
        if (flag == "icmp")
            r.setAllowIcmp(false);
        if (flag == "other")
            r.setAllowOther(false);
        EXPECT_EQ(Accepts(r, Proto(c.protocol)), c.accepted)
            << "allow" << flag << " off, protocol " << int(c.protocol);
    }
}

TEST(PacketFilterSetProtocols, ProtocolTestComesBeforeTheStringStage) {
    SettingsRecord r = Defaults();
    r.setAllowIcmp(false);
    r.setMustContain1("ping");
    const Outcome o = Evaluate(r, Proto(1, "ping"));
    EXPECT_FALSE(o.accepted);
    EXPECT_FALSE(o.stringStageRan);
}

// ---- Steps 5-6: sizes from the header's total length ----

TEST(PacketFilterSetSizes, LimitsCompareTheTotalLengthFieldSigned) {
    struct Case {
        int32_t min, max;
        uint16_t totalLength;
        size_t received;  // bytes actually delivered
        bool accepted;
    };
    const Case cases[] = {
        {100, 0, 100, 100, true},
        {100, 0, 99, 99, false},
        {100, 0, 101, 101, true},
        {0, 100, 100, 100, true},
        {0, 100, 101, 101, false},
        {0, 100, 99, 99, true},
        // The field counts, not the received bytes.
        {100, 0, 99, 400, false},
        {0, 100, 400, 60, false},
        {100, 0, 150, 40, true},
        // Signed comparisons: a negative minimum admits everything, a negative maximum
        // nothing; 65535 is compared as a positive number.
        {-5, 0, 20, 20, true},
        {0, -1, 20, 20, false},
        {0, 65534, 65535, 60, false},
        {65535, 0, 65535, 60, true},
        {0, 0, 0, 40, true},
    };
    for (const Case& c : cases) {
        SettingsRecord r = Defaults();
        r.setMinPacketSize(c.min);
        r.setMaxPacketSize(c.max);
        DatagramSpec s = Proto(47, std::string(c.received > 20 ? c.received - 20 : 0, 'x'));
        s.totalLength = c.totalLength;
        EXPECT_EQ(Accepts(r, s), c.accepted)
            << "min " << c.min << " max " << c.max << " total " << c.totalLength;
    }
}

// ---- Steps 7-11: addresses ----

TEST(PacketFilterSetAddresses, MustAndMustNotListsPerDirection) {
    struct Case {
        const char* name;
        void (*setUp)(SettingsRecord&);
        Addr from, to;
        bool accepted;
    };
    const Case cases[] = {
        {"dst must, match", [](SettingsRecord& r) { r.setDstIpList(0, Raw(kH2)); }, kH1, kH2, true},
        {"dst must, other dst", [](SettingsRecord& r) { r.setDstIpList(0, Raw(kH2)); }, kH2, kH1,
         false},
        {"dst must, second entry",
         [](SettingsRecord& r) {
             r.setDstIpList(0, Raw(kH3));
             r.setDstIpList(1, Raw(kH2));
         },
         kH1, kH2, true},
        {"src must, match", [](SettingsRecord& r) { r.setSrcIpList(0, Raw(kH1)); }, kH1, kH2, true},
        {"src must, other src", [](SettingsRecord& r) { r.setSrcIpList(0, Raw(kH1)); }, kH3, kH2,
         false},
        {"dst must not", [](SettingsRecord& r) { r.setDstIpNotList(0, Raw(kH2)); }, kH1, kH2,
         false},
        {"dst must not, as source", [](SettingsRecord& r) { r.setDstIpNotList(0, Raw(kH2)); }, kH2,
         kH1, true},
        {"src must not", [](SettingsRecord& r) { r.setSrcIpNotList(0, Raw(kH1)); }, kH1, kH2,
         false},
        {"src must not, as destination", [](SettingsRecord& r) { r.setSrcIpNotList(0, Raw(kH1)); },
         kH2, kH1, true},
        // Slot 0 empty: the whole list is ignored, whatever later slots hold.
        {"dst list with empty slot 0", [](SettingsRecord& r) { r.setDstIpList(1, Raw(kH3)); }, kH1,
         kH2, true},
        {"src not list with empty slot 0",
         [](SettingsRecord& r) { r.setSrcIpNotList(1, Raw(kH1)); }, kH1, kH2, true},
        // The first 0 ends a list: an entry behind it takes no part.
        {"entry behind a gap",
         [](SettingsRecord& r) {
             r.setSrcIpList(0, Raw(kH3));
             r.setSrcIpList(2, Raw(kH1));
         },
         kH1, kH2, false},
        {"the hundredth entry counts",
         [](SettingsRecord& r) {
             for (size_t i = 0; i < 99; ++i)
                 r.setSrcIpList(i, Raw({10, 9, 9, uint8_t(i + 1)}));
             r.setSrcIpList(99, Raw(kH1));
         },
         kH1, kH2, true},
    };
    for (const Case& c : cases) {
        SettingsRecord r = Defaults();
        c.setUp(r);
        EXPECT_EQ(Accepts(r, Tcp(c.from, c.to, 1000, 80)), c.accepted) << c.name;
    }
}

TEST(PacketFilterSetAddresses, EitherListRequiresEveryEntryToBeAnEndpoint) {
    struct Case {
        std::vector<Addr> list;
        Addr from, to;
        bool accepted;
    };
    const Case cases[] = {
        // One host: all traffic to or from it.
        {{kH1}, kH1, kH3, true},
        {{kH1}, kH3, kH1, true},
        {{kH1}, kH2, kH3, false},
        // Two hosts: only the traffic between them, both ways.
        {{kH1, kH2}, kH1, kH2, true},
        {{kH1, kH2}, kH2, kH1, true},
        {{kH1, kH2}, kH1, kH3, false},
        {{kH1, kH2}, kH3, kH2, false},
        // Three distinct hosts: nothing.
        {{kH1, kH2, kH3}, kH1, kH2, false},
        {{kH1, kH2, kH3}, kH3, kH1, false},
    };
    for (const Case& c : cases) {
        SettingsRecord r = Defaults();
        for (size_t i = 0; i < c.list.size(); ++i)
            r.setEitherIpList(i, Raw(c.list[i]));
        EXPECT_EQ(Accepts(r, Tcp(c.from, c.to, 1, 2)), c.accepted)
            << c.list.size() << " entries, " << int(c.from[3]) << " -> " << int(c.to[3]);
    }
}

// ---- Step 12: ports ----

struct PortLists {
    std::vector<uint16_t> src, dst, srcNot, dstNot, either;
};

SettingsRecord WithPorts(const PortLists& p) {
    SettingsRecord r = Defaults();
    for (size_t i = 0; i < p.src.size(); ++i)
        r.setSrcPortList(i, p.src[i]);
    for (size_t i = 0; i < p.dst.size(); ++i)
        r.setDstPortList(i, p.dst[i]);
    for (size_t i = 0; i < p.srcNot.size(); ++i)
        r.setSrcPortNotList(i, p.srcNot[i]);
    for (size_t i = 0; i < p.dstNot.size(); ++i)
        r.setDstPortNotList(i, p.dstNot[i]);
    for (size_t i = 0; i < p.either.size(); ++i)
        r.setEitherPortList(i, p.either[i]);
    return r;
}

TEST(PacketFilterSetPorts, ScanRules) {
    struct Case {
        const char* name;
        PortLists lists;
        uint16_t sport, dport;
        bool accepted;
    };
    const Case cases[] = {
        {"src must, match", {{80}, {}, {}, {}, {}}, 80, 5000, true},
        {"src must, miss", {{80}, {}, {}, {}, {}}, 81, 80, false},
        {"dst must, match", {{}, {443}, {}, {}, {}}, 5000, 443, true},
        {"dst must, miss", {{}, {443}, {}, {}, {}}, 443, 5000, false},
        {"src and dst must, both", {{80}, {443}, {}, {}, {}}, 80, 443, true},
        {"src and dst must, one", {{80}, {443}, {}, {}, {}}, 80, 444, false},
        {"src must not", {{}, {}, {25}, {}, {}}, 25, 80, false},
        {"src must not, as dst", {{}, {}, {25}, {}, {}}, 80, 25, true},
        {"dst must not", {{}, {}, {}, {25}, {}}, 80, 25, false},
        {"either, as src", {{}, {}, {}, {}, {53}}, 53, 1000, true},
        {"either, as dst", {{}, {}, {}, {}, {53}}, 1000, 53, true},
        {"either, neither", {{}, {}, {}, {}, {53}}, 1000, 1001, false},
        // The scan stops at the first index where all five lists hold 0: 443 behind the
        // gap at index 1 takes no part.
        {"scan stops at index 1, first entry", {{80, 0, 443}, {}, {}, {}, {}}, 80, 1, true},
        {"scan stops at index 1, entry behind", {{80, 0, 443}, {}, {}, {}, {}}, 443, 1, false},
        // Another list with an entry at index 1 keeps the scan going.
        {"scan goes on through another list", {{80, 0, 443}, {22, 23}, {}, {}, {}}, 443, 22, true},
        // A list whose slot 0 is empty imposes nothing, even when the scan meets its entries.
        {"inactive src list", {{0, 80}, {22, 23}, {}, {}, {}}, 1234, 23, true},
        // A must-not entry met by the scan discards even behind an empty slot 0.
        {"must-not entry behind empty slot 0", {{}, {22, 23}, {0, 25}, {}, {}}, 25, 22, false},
        // With every list empty at index 0 the scan ends before it begins.
        {"must-not entry behind an all-empty index 0", {{}, {}, {0, 25}, {}, {}}, 25, 22, true},
        {"must-not entry before the gap", {{}, {22}, {0, 25, 0, 26}, {}, {}}, 25, 22, false},
        {"must-not entry behind the gap", {{}, {22}, {0, 25, 0, 26}, {}, {}}, 26, 22, true},
        {"the hundredth entry", {std::vector<uint16_t>(100, 1), {}, {}, {}, {}}, 1, 9, true},
    };
    for (const Case& c : cases) {
        const SettingsRecord r = WithPorts(c.lists);
        EXPECT_EQ(Accepts(r, Tcp(kH1, kH2, c.sport, c.dport)), c.accepted) << c.name << " (TCP)";
        EXPECT_EQ(Accepts(r, Udp(c.sport, c.dport)), c.accepted) << c.name << " (UDP)";
    }
}

TEST(PacketFilterSetPorts, ApplyOnlyToTcpAndUdp) {
    const SettingsRecord r = WithPorts({{80}, {443}, {0}, {0}, {53}});
    for (uint8_t protocol : {uint8_t{1}, uint8_t{47}, uint8_t{0}}) {
        DatagramSpec s = Proto(protocol);
        s.payload = std::string(20, '\x01');  // bytes 20.. would read as ports 257
        EXPECT_TRUE(Accepts(r, s)) << "protocol " << int(protocol);
    }
}

TEST(PacketFilterSetPorts, ShortDatagramReadsItsMissingPortsAsZero) {
    DatagramSpec s = Tcp(kH1, kH2, 80, 443);
    s.truncateTo = 21;  // half of the source port
    EXPECT_FALSE(Accepts(WithPorts({{80}, {}, {}, {}, {}}), s));
    EXPECT_TRUE(Accepts(WithPorts({{}, {}, {80}, {}, {}}), s));
}

// ---- Steps 13-14: strings ----

struct Strings {
    std::array<std::string, 3> contain, lack;
};

SettingsRecord WithStrings(const Strings& s) {
    SettingsRecord r = Defaults();
    r.setMustContain1(s.contain[0]);
    r.setMustContain2(s.contain[1]);
    r.setMustContain3(s.contain[2]);
    r.setMustNotContain1(s.lack[0]);
    r.setMustNotContain2(s.lack[1]);
    r.setMustNotContain3(s.lack[2]);
    return r;
}

TEST(PacketFilterSetStrings, MatchingRules) {
    struct Case {
        const char* name;
        Strings strings;
        DatagramSpec packet;
        bool matchCase;
        bool accepted;
    };
    DatagramSpec zeros = Tcp(kH1, kH2, 1, 80, std::string("ab\0cd", 5));
    DatagramSpec inOptions = Tcp(kH1, kH2, 1, 80, "payload");
    inOptions.tcpHeaderBytes = 28;  // options bytes 40..47 hold the text below
    DatagramSpec udpHeaderOnly = Udp(0x4142, 0x4344, "rest");  // "ABCD" in the UDP ports
    DatagramSpec otherProtocol = Proto(47, "ABCDEFGH-tail");   // payload from byte 20
    DatagramSpec offsetBeyondEnd = Tcp(kH1, kH2, 1, 2, "");
    offsetBeyondEnd.tcpHeaderBytes = 60;
    offsetBeyondEnd.truncateTo = 40;  // data offset says 80, only 40 received
    const Case cases[] = {
        {"contain, case folded", {{"GET", "", ""}, {}}, Tcp(kH1, kH2, 1, 80, "get /"), false, true},
        {"contain, match case", {{"GET", "", ""}, {}}, Tcp(kH1, kH2, 1, 80, "get /"), true, false},
        {"contain, text folded too",
         {{"get", "", ""}, {}},
         Tcp(kH1, kH2, 1, 80, "GET /"),
         false,
         true},
        {"contain, exact case", {{"GET", "", ""}, {}}, Tcp(kH1, kH2, 1, 80, "GET /"), true, true},
        {"any of three", {{"", "xyz", "foo"}, {}}, Tcp(kH1, kH2, 1, 80, "has foo"), true, true},
        {"none of three", {{"abc", "", "xyz"}, {}}, Tcp(kH1, kH2, 1, 80, "has foo"), true, false},
        {"space stands for a zero byte", {{"b c", "", ""}, {}}, zeros, true, true},
        {"zero byte is not skipped", {{"bcd", "", ""}, {}}, zeros, true, false},
        {"not in the TCP options", {{"opts", "", ""}, {}}, inOptions, true, false},
        {"in the data after options", {{"payload", "", ""}, {}}, inOptions, true, true},
        {"not in the UDP header", {{"ABCD", "", ""}, {}}, udpHeaderOnly, true, false},
        {"UDP data from byte 28", {{"rest", "", ""}, {}}, udpHeaderOnly, true, true},
        {"other protocols from byte 20", {{"ABCDEFGH", "", ""}, {}}, otherProtocol, true, true},
        {"empty text contains nothing", {{"x", "", ""}, {}}, offsetBeyondEnd, false, false},
        {"empty text lacks everything", {{}, {"x", "", ""}}, offsetBeyondEnd, false, true},
        {"lack, present", {{}, {"bad", "", ""}}, Tcp(kH1, kH2, 1, 80, "all bad"), true, false},
        {"lack, absent", {{}, {"bad", "", ""}}, Tcp(kH1, kH2, 1, 80, "all good"), true, true},
        {"lack, folded", {{}, {"", "", "BAD"}}, Tcp(kH1, kH2, 1, 80, "all bad"), false, false},
        {"lack, case kept", {{}, {"", "", "BAD"}}, Tcp(kH1, kH2, 1, 80, "all bad"), true, true},
        {"contain and lack",
         {{"GET"}, {"secret"}},
         Tcp(kH1, kH2, 1, 80, "GET /secret"),
         true,
         false},
        // Only A-Z fold; the bytes of other letters are compared as they are.
        {"non-ASCII unchanged",
         {{"GRÜSS", "", ""}, {}},
         Tcp(kH1, kH2, 1, 80, "grÜss"),
         false,
         true},
        {"non-ASCII not folded",
         {{"grüss", "", ""}, {}},
         Tcp(kH1, kH2, 1, 80, "GRÜSS"),
         false,
         false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = BuildDatagram(c.packet);
        if (std::string(c.name) == "not in the TCP options") {
            std::memcpy(bytes.data() + 40, "opts", 4);
        }
        const PacketRecord packet = PacketRecord::create(bytes);
        std::string scratch = "left over from an earlier datagram";
        const FilterDecision d =
            PacketFilterSet::fromRecord(WithStrings(c.strings))
                .accepts(packet.view(static_cast<uint32_t>(bytes.size())), c.matchCase, scratch);
        EXPECT_EQ(d.verdict == FilterVerdict::Accept, c.accepted) << c.name;
        EXPECT_TRUE(d.stringStageRan) << c.name;
    }
}

TEST(PacketFilterSetStrings, StageRunsOnlyWhenAStringIsSetAndEarlierTestsPassed) {
    EXPECT_FALSE(Evaluate(WithStrings({}), Tcp(kH1, kH2, 1, 2, "abc")).stringStageRan);
    EXPECT_TRUE(
        Evaluate(WithStrings({{"", "", "abc"}, {}}), Tcp(kH1, kH2, 1, 2, "abc")).stringStageRan);
    EXPECT_TRUE(
        Evaluate(WithStrings({{}, {"", "zzz", ""}}), Tcp(kH1, kH2, 1, 2, "abc")).stringStageRan);
    SettingsRecord r = WithStrings({{"abc"}, {}});
    r.setSrcPortList(0, 9);
    EXPECT_FALSE(Evaluate(r, Tcp(kH1, kH2, 1, 2, "abc")).stringStageRan);
}

TEST(PacketFilterSetStrings, ColumnTextsShowTheStringsAsCompared) {
    const PacketFilterSet onlyLack =
        PacketFilterSet::fromRecord(WithStrings({{}, {"Bad", "", "WORSE"}}));
    EXPECT_EQ(onlyLack.columnTexts(true)->contains, ",,");
    EXPECT_EQ(onlyLack.columnTexts(true)->lacks, "Bad,,WORSE");
    EXPECT_EQ(onlyLack.columnTexts(false)->contains, ",,");
    EXPECT_EQ(onlyLack.columnTexts(false)->lacks, "bad,,worse");

    const PacketFilterSet both =
        PacketFilterSet::fromRecord(WithStrings({{"Get", "Post", "PUT"}, {"a", "B", "c"}}));
    EXPECT_EQ(both.columnTexts(true)->contains, "Get,Post,PUT");
    EXPECT_EQ(both.columnTexts(false)->contains, "get,post,put");
    EXPECT_EQ(both.columnTexts(false)->lacks, "a,b,c");
}

TEST(PacketFilterSetStrings, LongestStringOfTheRecordMatches) {
    const std::string longText(1023, 'q');
    SettingsRecord r = WithStrings({{longText, "", ""}, {}});
    EXPECT_TRUE(Accepts(r, Tcp(kH1, kH2, 1, 2, "x" + longText + "y")));
    EXPECT_FALSE(Accepts(r, Tcp(kH1, kH2, 1, 2, longText.substr(1))));
}

// ---- The live snapshot ----

TEST(CurrentPacketFilters, CriteriaChangesTakeEffectAtOnceStringsOnTheRefresh) {
    CurrentPacketFilters filters;
    SettingsRecord r = Defaults();
    r.setAllowUdp(false);
    r.setMustContain1("needle");
    filters.criteriaChanged(r);
    auto set = filters.current();
    EXPECT_FALSE(set->criteria()->allowUdp);
    EXPECT_FALSE(set->strings()->anyMustContain) << "strings wait for the refresh";

    filters.refresh(r);
    set = filters.current();
    EXPECT_TRUE(set->strings()->anyMustContain);
    EXPECT_EQ(set->strings()->mustContain[0], "needle");
}

TEST(CurrentPacketFilters, RefreshKeepsUnchangedStringsSoRowsShareTheirColumnTexts) {
    CurrentPacketFilters filters;
    SettingsRecord r = WithStrings({{"a", "b", "c"}, {}});
    filters.refresh(r);
    const auto first = filters.current();
    filters.refresh(r);
    EXPECT_EQ(filters.current(), first) << "nothing changed: the same set stays in use";
    r.setMinPacketSize(10);
    filters.refresh(r);
    const auto second = filters.current();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->columnTexts(false), first->columnTexts(false));
    EXPECT_EQ(second->criteria()->minPacketSize, 10);
    r.setMustContain2("B2");
    filters.refresh(r);
    EXPECT_NE(filters.current()->columnTexts(true), first->columnTexts(true));
    EXPECT_EQ(filters.current()->columnTexts(true)->contains, "a,B2,c");
}

TEST(CurrentPacketFilters, ReaderNeverSeesCriteriaOfOneRefreshWithStringsOfAnother) {
    // Under A exactly the first datagram passes, under B exactly the second; a set mixing
    // A's addresses with B's strings (or the reverse) passes neither.
    SettingsRecord a = WithStrings({{"alpha"}, {}});
    a.setSrcIpList(0, Raw(kH1));
    SettingsRecord b = WithStrings({{"beta"}, {}});
    b.setSrcIpList(0, Raw(kH2));
    const auto d1 = BuildDatagram(Tcp(kH1, kH3, 1, 2, "alpha"));
    const auto d2 = BuildDatagram(Tcp(kH2, kH3, 1, 2, "beta"));
    const PacketRecord p1 = PacketRecord::create(d1);
    const PacketRecord p2 = PacketRecord::create(d2);

    CurrentPacketFilters filters;
    filters.refresh(a);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 3000; ++i)
            filters.refresh(i % 2 ? a : b);
        done = true;
    });
    SharedSnapshot<PacketFilterSet>::Reader reader(filters.snapshot());
    std::string scratch;
    int mixed = 0, reads = 0, sawA = 0, sawB = 0;
    while (!done.load() || reads < 100) {
        const PacketFilterSet& set = reader.get();
        const bool first = set.accepts(p1.view(uint32_t(d1.size())), true, scratch).verdict ==
                           FilterVerdict::Accept;
        const bool second = set.accepts(p2.view(uint32_t(d2.size())), true, scratch).verdict ==
                            FilterVerdict::Accept;
        if (first == second)
            ++mixed;
        sawA += first;
        sawB += second;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
    EXPECT_GT(sawA + sawB, 0);
}

}  // namespace
}  // namespace vorlanx
