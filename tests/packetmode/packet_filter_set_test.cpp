// The Packet Mode filters: the fourteen tests, their order, and the live snapshot.
#include "packetmode/packet_filter_set.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "packetmode/current_packet_filters.h"
#include "support/datagram_between.h"

namespace vorlanx {
namespace {

using test::BuildDatagram;
using Addr = std::array<uint8_t, 4>;
using Bytes = std::vector<uint8_t>;
using S = SettingsRecord;

constexpr Addr kH1{192, 168, 1, 10};
constexpr Addr kH2{192, 168, 1, 20};
constexpr Addr kH3{10, 1, 2, 3};
constexpr Addr kNone{0, 0, 0, 0};

uint32_t Raw(const Addr& a) {
    uint32_t v;
    std::memcpy(&v, a.data(), 4);
    return v;
}

SettingsRecord Defaults() {
    return SettingsRecord::defaults("/home/user/");
}

FilterDecision Evaluate(const SettingsRecord& record, const Bytes& bytes, bool matchCase = false) {
    const PacketRecord packet = PacketRecord::create(bytes);
    EXPECT_TRUE(packet);
    std::string scratch = "left over from an earlier datagram";
    return PacketFilterSet::fromRecord(record).accepts(
        packet.view(static_cast<uint32_t>(bytes.size())), matchCase, scratch);
}

bool Accepts(const SettingsRecord& record, const Bytes& bytes, bool matchCase = false) {
    return Evaluate(record, bytes, matchCase).verdict == FilterVerdict::Accept;
}

Bytes Tcp(Addr from, Addr to, uint16_t sport, uint16_t dport, std::string payload = "") {
    return test::BuildDatagramBetween(6, from, to, sport, dport, std::move(payload));
}

// TCP from kH1:1 to kH2:80 carrying `payload`.
Bytes Http(std::string payload) {
    return Tcp(kH1, kH2, 1, 80, std::move(payload));
}

Bytes Udp(uint16_t sport, uint16_t dport, std::string payload = "") {
    return test::BuildDatagramBetween(17, kH1, kH2, sport, dport, std::move(payload));
}

Bytes Proto(uint8_t protocol, std::string payload = "") {
    return BuildDatagram({.protocol = protocol, .payload = std::move(payload)});
}

// ---- Defaults ----

TEST(PacketFilterSetDefaults, AcceptEveryDatagramWithoutRunningTheStringStage) {
    const Bytes datagrams[] = {
        Http("GET / HTTP/1.1"),
        Udp(53, 5353, "x"),
        Proto(1, "ping"),
        Proto(47),
        Proto(0),
        Proto(255),
        BuildDatagram({.protocol = 6, .truncateTo = 20}),  // only the IP header was received
    };
    for (const Bytes& d : datagrams) {
        EXPECT_EQ(Evaluate(Defaults(), d), (FilterDecision{FilterVerdict::Accept, false}))
            << "protocol " << int(d[9]) << ", " << d.size() << " bytes";
    }
    // The default-constructed set says the same.
    const auto bytes = Proto(47);
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
        void (S::*turnOff)(bool);
        std::vector<uint8_t> dropped, kept;
    };
    const Case cases[] = {
        {"tcp", &S::setAllowTcp, {6}, {17, 1, 47}},
        {"udp", &S::setAllowUdp, {17}, {6, 1}},
        {"icmp", &S::setAllowIcmp, {1}, {6, 0}},
        {"other", &S::setAllowOther, {47, 0, 255, 2}, {6, 17, 1}},
    };
    for (const Case& c : cases) {
        SettingsRecord r = Defaults();
        (r.*c.turnOff)(false);
        for (uint8_t protocol : c.dropped)
            EXPECT_FALSE(Accepts(r, Proto(protocol))) << c.flag << " off, " << int(protocol);
        for (uint8_t protocol : c.kept)
            EXPECT_TRUE(Accepts(r, Proto(protocol))) << c.flag << " off, " << int(protocol);
    }
}

TEST(PacketFilterSetProtocols, ProtocolTestComesBeforeTheStringStage) {
    SettingsRecord r = Defaults();
    r.setAllowIcmp(false);
    r.setMustContain1("ping");
    EXPECT_EQ(Evaluate(r, Proto(1, "ping")), (FilterDecision{FilterVerdict::Discard, false}));
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
        const Bytes d = BuildDatagram({.protocol = 47,
                                       .payload = std::string(c.received - 20, 'x'),
                                       .totalLength = c.totalLength});
        EXPECT_EQ(Accepts(r, d), c.accepted)
            << "min " << c.min << " max " << c.max << " total " << c.totalLength;
    }
}

// ---- Steps 7-11: addresses ----

// A list given whole, slot by slot; kNone leaves a slot empty.
SettingsRecord WithAddresses(void (S::*set)(size_t, uint32_t), const std::vector<Addr>& list) {
    SettingsRecord r = Defaults();
    for (size_t i = 0; i < list.size(); ++i)
        (r.*set)(i, Raw(list[i]));
    return r;
}

TEST(PacketFilterSetAddresses, ListRules) {
    struct Case {
        const char* name;
        void (S::*set)(size_t, uint32_t);
        std::vector<Addr> list;
        Addr from, to;
        bool accepted;
    };
    std::vector<Addr> hundred;
    for (uint8_t i = 1; i < 100; ++i)
        hundred.push_back({10, 9, 9, i});
    hundred.push_back(kH1);
    const Case cases[] = {
        {"dst must, match", &S::setDstIpList, {kH2}, kH1, kH2, true},
        {"dst must, other dst", &S::setDstIpList, {kH2}, kH2, kH1, false},
        {"dst must, second entry", &S::setDstIpList, {kH3, kH2}, kH1, kH2, true},
        {"src must, match", &S::setSrcIpList, {kH1}, kH1, kH2, true},
        {"src must, other src", &S::setSrcIpList, {kH1}, kH3, kH2, false},
        {"dst must not", &S::setDstIpNotList, {kH2}, kH1, kH2, false},
        {"dst must not, as source", &S::setDstIpNotList, {kH2}, kH2, kH1, true},
        {"src must not", &S::setSrcIpNotList, {kH1}, kH1, kH2, false},
        {"src must not, as destination", &S::setSrcIpNotList, {kH1}, kH2, kH1, true},
        // Slot 0 empty: the whole list is ignored, whatever later slots hold.
        {"dst list with empty slot 0", &S::setDstIpList, {kNone, kH3}, kH1, kH2, true},
        {"src not list with empty slot 0", &S::setSrcIpNotList, {kNone, kH1}, kH1, kH2, true},
        // The first 0 ends a list: an entry behind it takes no part.
        {"entry behind a gap", &S::setSrcIpList, {kH3, kNone, kH1}, kH1, kH2, false},
        {"the hundredth entry counts", &S::setSrcIpList, hundred, kH1, kH2, true},
        // Either: every entry must be an endpoint. One host: all traffic to or from it.
        {"either one, from it", &S::setEitherIpList, {kH1}, kH1, kH3, true},
        {"either one, to it", &S::setEitherIpList, {kH1}, kH3, kH1, true},
        {"either one, neither", &S::setEitherIpList, {kH1}, kH2, kH3, false},
        // Two hosts: only the traffic between them, both ways.
        {"either two, there", &S::setEitherIpList, {kH1, kH2}, kH1, kH2, true},
        {"either two, back", &S::setEitherIpList, {kH1, kH2}, kH2, kH1, true},
        {"either two, only from one", &S::setEitherIpList, {kH1, kH2}, kH1, kH3, false},
        {"either two, only to one", &S::setEitherIpList, {kH1, kH2}, kH3, kH2, false},
        // Three distinct hosts: nothing.
        {"either three, 1 -> 2", &S::setEitherIpList, {kH1, kH2, kH3}, kH1, kH2, false},
        {"either three, 3 -> 1", &S::setEitherIpList, {kH1, kH2, kH3}, kH3, kH1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Accepts(WithAddresses(c.set, c.list), Tcp(c.from, c.to, 1000, 80)), c.accepted)
            << c.name;
}

// ---- Step 12: ports ----

struct PortLists {
    std::vector<uint16_t> src, dst, srcNot, dstNot, either;
};

SettingsRecord WithPorts(const PortLists& p) {
    SettingsRecord r = Defaults();
    const std::pair<void (S::*)(size_t, uint16_t), const std::vector<uint16_t>*> lists[] = {
        {&S::setSrcPortList, &p.src},       {&S::setDstPortList, &p.dst},
        {&S::setSrcPortNotList, &p.srcNot}, {&S::setDstPortNotList, &p.dstNot},
        {&S::setEitherPortList, &p.either},
    };
    for (const auto& [set, list] : lists)
        for (size_t i = 0; i < list->size(); ++i)
            (r.*set)(i, (*list)[i]);
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
        // bytes 20.. would read as ports 257
        EXPECT_TRUE(Accepts(r, Proto(protocol, std::string(20, '\x01'))))
            << "protocol " << int(protocol);
    }
}

TEST(PacketFilterSetPorts, ShortDatagramReadsItsMissingPortsAsZero) {
    Bytes d = Tcp(kH1, kH2, 80, 443);
    d.resize(21);  // half of the source port
    EXPECT_FALSE(Accepts(WithPorts({{80}, {}, {}, {}, {}}), d));
    EXPECT_TRUE(Accepts(WithPorts({{}, {}, {80}, {}, {}}), d));
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
        Bytes packet;
        bool matchCase;
        bool accepted;
    };
    const Bytes zeros = Http(std::string("ab\0cd", 5));
    Bytes inOptions = BuildDatagram({.protocol = 6, .payload = "payload", .tcpHeaderBytes = 28});
    std::memcpy(inOptions.data() + 40, "opts", 4);            // option bytes 40..47
    const Bytes udpHeaderOnly = Udp(0x4142, 0x4344, "rest");  // "ABCD" in the UDP ports
    const Bytes otherProtocol = Proto(47, "ABCDEFGH-tail");   // payload from byte 20
    // The data offset says 80, only 40 bytes were received.
    const Bytes offsetBeyondEnd =
        BuildDatagram({.protocol = 6, .tcpHeaderBytes = 60, .truncateTo = 40});
    const Case cases[] = {
        {"contain, case folded", {{"GET", "", ""}, {}}, Http("get /"), false, true},
        {"contain, match case", {{"GET", "", ""}, {}}, Http("get /"), true, false},
        {"contain, text folded too", {{"get", "", ""}, {}}, Http("GET /"), false, true},
        {"contain, exact case", {{"GET", "", ""}, {}}, Http("GET /"), true, true},
        {"any of three", {{"", "xyz", "foo"}, {}}, Http("has foo"), true, true},
        {"none of three", {{"abc", "", "xyz"}, {}}, Http("has foo"), true, false},
        {"space stands for a zero byte", {{"b c", "", ""}, {}}, zeros, true, true},
        {"zero byte is not skipped", {{"bcd", "", ""}, {}}, zeros, true, false},
        {"not in the TCP options", {{"opts", "", ""}, {}}, inOptions, true, false},
        {"in the data after options", {{"payload", "", ""}, {}}, inOptions, true, true},
        {"not in the UDP header", {{"ABCD", "", ""}, {}}, udpHeaderOnly, true, false},
        {"UDP data from byte 28", {{"rest", "", ""}, {}}, udpHeaderOnly, true, true},
        {"other protocols from byte 20", {{"ABCDEFGH", "", ""}, {}}, otherProtocol, true, true},
        {"empty text contains nothing", {{"x", "", ""}, {}}, offsetBeyondEnd, false, false},
        {"empty text lacks everything", {{}, {"x", "", ""}}, offsetBeyondEnd, false, true},
        {"lack, present", {{}, {"bad", "", ""}}, Http("all bad"), true, false},
        {"lack, absent", {{}, {"bad", "", ""}}, Http("all good"), true, true},
        {"lack, folded", {{}, {"", "", "BAD"}}, Http("all bad"), false, false},
        {"lack, case kept", {{}, {"", "", "BAD"}}, Http("all bad"), true, true},
        {"contain and lack", {{"GET"}, {"secret"}}, Http("GET /secret"), true, false},
        // Only A-Z fold; the bytes of other letters are compared as they are.
        {"non-ASCII unchanged", {{"GRÜSS", "", ""}, {}}, Http("grÜss"), false, true},
        {"non-ASCII not folded", {{"grüss", "", ""}, {}}, Http("GRÜSS"), false, false},
    };
    for (const Case& c : cases) {
        const FilterDecision d = Evaluate(WithStrings(c.strings), c.packet, c.matchCase);
        EXPECT_EQ(d.verdict == FilterVerdict::Accept, c.accepted) << c.name;
        EXPECT_TRUE(d.stringStageRan) << c.name;
    }
}

TEST(PacketFilterSetStrings, StageRunsOnlyWhenAStringIsSetAndEarlierTestsPassed) {
    const Bytes d = Http("abc");
    EXPECT_FALSE(Evaluate(WithStrings({}), d).stringStageRan);
    EXPECT_TRUE(Evaluate(WithStrings({{"", "", "abc"}, {}}), d).stringStageRan);
    EXPECT_TRUE(Evaluate(WithStrings({{}, {"", "zzz", ""}}), d).stringStageRan);
    SettingsRecord r = WithStrings({{"abc"}, {}});
    r.setSrcPortList(0, 9);
    EXPECT_FALSE(Evaluate(r, d).stringStageRan);
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
    EXPECT_TRUE(Accepts(r, Http("x" + longText + "y")));
    EXPECT_FALSE(Accepts(r, Http(longText.substr(1))));
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
    const auto d1 = Tcp(kH1, kH3, 1, 2, "alpha");
    const auto d2 = Tcp(kH2, kH3, 1, 2, "beta");
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
