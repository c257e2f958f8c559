// Find in packets: the scan over the store, and the search as "Find / Next" runs it through
// the engine, with its messages, the wait at each match and the ways it ends.
#include "packetmode/packet_find.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support/datagram_between.h"
#include "support/packet_mode_edges.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;

const std::string kSearchAgain = "Search is complete.\r\n\r\nWould you like to search again?";
const std::string kNoInstance = "No instance of string found.";

std::vector<uint8_t> Udp(const std::string& payload) {
    return test::BuildDatagramBetween(17, {10, 0, 0, 1}, {10, 0, 0, 2}, 4000, 53, payload);
}

// A Packet Mode core whose packets are stored and listed directly, as a capture would.
struct FindSetup : test::PacketModeEdges {
    PacketModeCore core{services()};

    void add(const std::vector<uint8_t>& datagram) {
        auto lock = core.state().lockListForWorker();
        const int32_t slot = core.store().count();
        core.store().put(slot, PacketRecord::create(datagram),
                         static_cast<int32_t>(datagram.size()));
        core.list().append(slot, nullptr);
        core.store().setListed(slot, true);
        core.store().advanceCount();
    }
    void find(const std::string& text) {
        core.engine().findTextChanged(text);
        core.engine().findOrNext();
    }
    int matchesShown() const {
        const auto events = view.events();
        return static_cast<int>(std::count(events.begin(), events.end(), "focusList"));
    }
    // Waits until the search shows its `n`-th match; the row it marked.
    int32_t waitForMatch(int n) {
        EXPECT_TRUE(WaitUntil([&] { return matchesShown() >= n; }, 10s)) << "match " << n;
        return core.list().selectionMark();
    }
    // Waits until the search has ended; the texts it showed.
    std::vector<std::string> waitForEnd() {
        EXPECT_TRUE(WaitUntil([&] { return !core.state().findRunning.load(); }, 10s));
        EXPECT_TRUE(core.engine().waitForThreads(10s));
        EXPECT_FALSE(view.listHidden());
        return prompt.texts();
    }
};

TEST(PacketFind, ScanMatchesPayloadTextOnly) {
    // A TCP datagram whose header option bytes read "HDR!" and whose payload is "body".
    auto withOption = test::BuildDatagram({.protocol = 6, .payload = "body", .tcpHeaderBytes = 24});
    std::copy_n("HDR!", 4, withOption.begin() + 40);
    struct Case {
        std::string text;
        bool matchCase;
        int32_t slot;  // first match; 4 (the end) when none
    };
    // clang-format off
    const Case cases[] = {
        {"HOST", false, 1},  // folded, it finds "Host:"
        {"HOST", true, 4},
        {"Host", true, 1},
        {"HDR!", false, 4},  // only in the header
        {"body", true, 2},
        {"a b", true, 3},  // a zero byte reads as a space
    };
    // clang-format on
    FindSetup s;
    s.add(Udp("plain"));
    s.add(Udp("GET / HTTP/1.1\r\nHost: example"));
    s.add(withOption);
    s.add(Udp(std::string("a\0b", 3)));
    std::string work;
    for (const Case& c : cases)
        EXPECT_EQ(ScanForMatch(s.core.store(), PayloadSearch(c.text, c.matchCase), 0, 4, work),
                  c.slot)
            << c.text << " case " << c.matchCase;

    // From a slot on, past a slot whose record is gone, with progress every 20 slots.
    s.core.store().release(1);
    std::vector<int32_t> progress;
    const FindScanHooks hooks{[&](int32_t slot) { progress.push_back(slot); }, {}};
    EXPECT_EQ(ScanForMatch(s.core.store(), PayloadSearch("a", true), 0, 4, work, hooks), 0);
    EXPECT_EQ(ScanForMatch(s.core.store(), PayloadSearch("a", true), 1, 4, work, hooks), 3);
    EXPECT_EQ(progress, (std::vector<int32_t>{0}));
}

TEST(PacketFind, NothingToSearchOrBlankText) {
    struct Case {
        bool rows;
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {false, "", "Unable to perform search on nothing."},
        {false, "x", "Unable to perform search on nothing."},
        {true, "", "Unable to perform search for blank substring."},
    };
    for (const Case& c : cases) {
        FindSetup s;
        if (c.rows)
            s.add(Udp("x"));
        s.find(c.text);
        EXPECT_EQ(s.waitForEnd(), std::vector<std::string>{c.message});
        const PromptRequest asked = s.prompt.asked().at(0);
        EXPECT_EQ(asked.buttons, PromptButtons::Ok);
        EXPECT_EQ(asked.caption, "");
        EXPECT_TRUE(s.view.events().empty());  // the list was never covered
    }
}

TEST(PacketFind, RunsShowEachMatchThenAskOrTell) {
    using Answers = std::vector<PromptAnswer>;
    struct Case {
        const char* name;
        std::vector<std::string> payloads;
        int32_t deletedRow;              // -1: none
        Answers answers;                 // to "Search again?"
        std::vector<int32_t> rowsShown;  // in order; Next is pressed at each
        std::vector<std::string> texts;
    };
    // clang-format off
    const Case cases[] = {
        {"Next goes on to each match, case off",
         {"a needle", "hay", "needle again", "NEEDLE", "hay"}, -1, {}, {0, 2, 3}, {kSearchAgain}},
        {"Yes starts again from slot 0", {"needle", "hay"}, -1, Answers{PromptAnswer::Yes},
         {0, 0}, {kSearchAgain, kSearchAgain}},
        {"a match only in a deleted row", {"hay", "needle"}, 1, {}, {}, {kSearchAgain}},
        {"no match", {"hay", "hay"}, -1, {}, {}, {kNoInstance}},
    };
    // clang-format on
    for (const Case& c : cases) {
        FindSetup s;
        for (const std::string& payload : c.payloads)
            s.add(Udp(payload));
        if (c.deletedRow >= 0) {
            ASSERT_TRUE(s.core.list().deleteRow(c.deletedRow));
        }
        s.core.list().setSelectionMark(0);
        for (PromptAnswer answer : c.answers)
            s.prompt.script({answer});
        s.find("needle");
        for (size_t i = 0; i < c.rowsShown.size(); ++i) {
            EXPECT_EQ(s.waitForMatch(static_cast<int>(i) + 1), c.rowsShown[i]) << c.name;
            s.core.engine().findOrNext();
        }
        EXPECT_EQ(s.waitForEnd(), c.texts) << c.name;
        EXPECT_EQ(s.matchesShown(), static_cast<int>(c.rowsShown.size())) << c.name;
        for (const PromptRequest& asked : s.prompt.asked()) {
            const bool question = asked.text == kSearchAgain;
            EXPECT_EQ(asked.caption, question ? "Search again?" : "") << c.name;
            EXPECT_EQ(asked.buttons, question ? PromptButtons::YesNo : PromptButtons::Ok);
            EXPECT_EQ(asked.icon, question ? PromptIcon::Question : PromptIcon::None);
        }
        // Every run covers the list with its progress over all its slots, and lifts it at
        // each match and at its end.
        const std::vector<std::string> events = s.view.events();
        const std::string cover = "showOperationProgress " + std::to_string(c.payloads.size());
        EXPECT_EQ(std::count(events.begin(), events.end(), cover),
                  std::count(events.begin(), events.end(), "hideOperationProgress"))
            << c.name;
        if (c.texts == std::vector<std::string>{kNoInstance}) {
            EXPECT_EQ(s.core.list().selectionMark(), -1);
            EXPECT_EQ(std::vector<std::string>(events.end() - 3, events.end()),
                      (std::vector<std::string>{"hideOperationProgress", "emptyDetailFields",
                                                "emptyEntirePacketPane"}));
        }
    }
}

TEST(PacketFind, AbortClearOrExitWhileWaitingEndsSilently) {
    struct Case {
        const char* name;
        void (*interrupt)(PacketModeCore&);
    };
    const Case cases[] = {
        {"new find text", [](PacketModeCore& c) { c.engine().findTextChanged("other"); }},
        {"Clear", [](PacketModeCore& c) { c.engine().clear(); }},
        {"exit", [](PacketModeCore& c) { c.state().exitRequested = true; }},
    };
    for (const Case& c : cases) {
        FindSetup s;
        s.add(Udp("needle"));
        s.add(Udp("needle"));
        s.find("needle");
        EXPECT_EQ(s.waitForMatch(1), 0) << c.name;
        c.interrupt(s.core);
        EXPECT_TRUE(s.waitForEnd().empty()) << c.name;
        EXPECT_FALSE(s.core.state().findAbortRequested.load()) << c.name;
        EXPECT_EQ(s.matchesShown(), 1) << c.name;
    }
}

TEST(PacketFind, DoublePressStartsOneSearch) {
    FindSetup s;
    s.add(Udp("needle"));
    s.core.engine().findTextChanged("needle");
    {
        // Both presses land before the search reaches its match, where it waits for the
        // list as a worker does.
        auto busy = s.core.state().lockListForWorker();
        s.core.engine().findOrNext();
        s.core.engine().findOrNext();
    }
    EXPECT_EQ(s.waitForMatch(1), 0);
    std::this_thread::sleep_for(100ms);  // a second search would show its match by now
    EXPECT_EQ(s.matchesShown(), 1);
    s.core.engine().findOrNext();
    EXPECT_EQ(s.waitForEnd(), std::vector<std::string>{kSearchAgain});
}

}  // namespace
}  // namespace vorlanx
