// The same-ACK tools: the scan's order and ties, the Goto commands with their messages and
// the "Packet gone" release, and the three deletes, also while rows move and arrive.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <numeric>
#include <thread>

#include "packetmode/same_ack_tools.h"
#include "support/scripted_prompt.h"
#include "support/test_datagram.h"

namespace vorlanx {
namespace {

constexpr uint32_t kAck = 0x11223344;
constexpr uint32_t kOtherAck = 7;

// A datagram of `bytes` bytes (at least 20) whose bytes 24-31 carry the two numbers.
std::vector<uint8_t> Numbered(uint32_t sequence, uint32_t ack, uint8_t protocol = 6,
                              size_t bytes = 40) {
    auto d = test::BuildDatagram({.protocol = protocol});
    d.resize(std::max<size_t>(bytes, 32), 0);
    for (int i = 0; i < 4; ++i) {
        d[24 + static_cast<size_t>(i)] = static_cast<uint8_t>(sequence >> (24 - 8 * i));
        d[28 + static_cast<size_t>(i)] = static_cast<uint8_t>(ack >> (24 - 8 * i));
    }
    d.resize(bytes);
    return d;
}

struct Tools {
    PacketModeState state;
    PacketStore store;
    PacketList list{store};
    test::ScriptedPrompt prompt;
    SameAckContext context{state, store, list, prompt};

    // Stores the datagram in the next slot and lists its row, as the capture does.
    int32_t add(const std::vector<uint8_t>& d) {
        auto lock = state.lockListForWorker();
        const int32_t slot = store.count();
        store.put(slot, PacketRecord::create(d), static_cast<int32_t>(d.size()));
        store.setTimeText(slot, "t");
        list.append(slot, nullptr);
        store.setListed(slot, true);
        store.advanceCount();
        return slot;
    }
    void addAll(std::initializer_list<uint32_t> sequences, uint32_t ack = kAck) {
        for (const uint32_t s : sequences)
            add(Numbered(s, ack));
    }
    void reverseRows() {
        std::vector<int32_t> order(static_cast<size_t>(list.rowCount()));
        std::iota(order.rbegin(), order.rend(), 0);
        ASSERT_TRUE(list.reorderRows(order));
    }
    std::vector<int32_t> listedSlots() const {
        std::vector<int32_t> slots;
        for (int32_t row = 0; row < list.rowCount(); ++row)
            slots.push_back(list.slotOfRow(row));
        std::sort(slots.begin(), slots.end());
        return slots;
    }
    std::vector<std::pair<std::string, std::string>> told() const {
        std::vector<std::pair<std::string, std::string>> messages;
        for (const PromptRequest& r : prompt.asked())
            messages.emplace_back(r.caption, r.text);
        return messages;
    }
};

using Told = std::vector<std::pair<std::string, std::string>>;

TEST(FindSameAck, OrderTiesSentinelsAndWhoTakesPart) {
    struct Packet {
        uint32_t sequence;
        uint32_t ack = kAck;
        uint8_t protocol = 6;
        size_t bytes = 40;
    };
    constexpr uint32_t kTop = 4294967295u;
    const struct {
        std::vector<Packet> packets;
        SameAckMove move;
        uint32_t from;
        std::optional<int32_t> slot;
    } cases[] = {
        // Equal sequences: the lowest slot wins, for First the highest.
        {{{7}, {5}, {7}, {5}}, SameAckMove::Next, 5, 0},
        {{{7}, {5}, {7}, {5}}, SameAckMove::Previous, 7, 1},
        {{{7}, {5}, {7}, {5}}, SameAckMove::First, 7, 3},
        {{{7}, {5}, {7}, {5}}, SameAckMove::Last, 5, 0},
        // The highest and lowest sequence numbers are found like any other.
        {{{kTop}, {1}}, SameAckMove::Next, 1, 0},
        {{{kTop}}, SameAckMove::First, kTop, 0},
        {{{0}, {5}}, SameAckMove::Previous, 5, 0},
        {{{0}}, SameAckMove::Last, 0, 0},
        {{{kTop}}, SameAckMove::Next, kTop, std::nullopt},
        {{{0}}, SameAckMove::Previous, 0, std::nullopt},
        // A UDP datagram of 40 bytes takes part; 39 bytes or another ACK do not.
        {{{9, kAck, 17, 40}, {2}}, SameAckMove::Next, 2, 0},
        {{{9, kAck, 17, 39}, {9, kOtherAck}, {2}}, SameAckMove::Next, 2, std::nullopt},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Tools t;
        for (const Packet& p : cases[i].packets)
            t.add(Numbered(p.sequence, p.ack, p.protocol, p.bytes));
        const auto found = FindSameAck(t.store, cases[i].move, cases[i].from, kAck);
        EXPECT_EQ(found ? std::optional(found->slot) : std::nullopt, cases[i].slot) << "case " << i;
    }
}

TEST(GotoSameAck, WalksBySequenceAndSaysWhenThereIsNothingFurther) {
    const struct {
        SameAckMove move;
        int32_t fromSlot;
        int32_t toSlot;  // -1: nothing selected
        Told told;
    } cases[] = {
        {SameAckMove::Next, 0, 2, {}},
        {SameAckMove::Next, 2, 1, {}},
        {SameAckMove::Next, 1, -1, {{"Found nothing", "No higher sequenced packet found."}}},
        {SameAckMove::Previous, 1, 2, {}},
        {SameAckMove::Previous, 0, -1, {{"Found nothing", "No previous sequenced packet found."}}},
        {SameAckMove::First, 1, 0, {}},
        {SameAckMove::First,
         0,
         0,
         {{"First sequence", "The currently selected packet has the first sequence."}}},
        {SameAckMove::Last,
         1,
         1,
         {{"First sequence", "The currently selected packet has the last sequence."}}},
        {SameAckMove::Last, 0, 1, {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Tools t;
        t.addAll({100, 300, 200});
        t.add(Numbered(250, kOtherAck));
        t.reverseRows();  // rows no longer equal slots
        std::vector<int32_t> shown;
        const int32_t row = GotoSameAck(cases[i].move, cases[i].fromSlot, t.context,
                                        [&](int32_t r) { shown.push_back(r); });
        EXPECT_EQ(t.list.slotOfRow(row), cases[i].toSlot) << "case " << i;
        EXPECT_EQ(t.list.selectionMark(), row) << "case " << i;
        EXPECT_EQ(shown, row < 0 ? std::vector<int32_t>{} : std::vector<int32_t>{row});
        EXPECT_EQ(t.told(), cases[i].told) << "case " << i;
        for (const PromptRequest& r : t.prompt.asked()) {
            EXPECT_EQ(r.icon, PromptIcon::Information);
            EXPECT_TRUE(r.owned);
        }
    }
}

TEST(GotoSameAck, PacketGoneYesReleasesTheRecordAndScansAgainNoStops) {
    const std::string nextGone =
        "The next sequenced packet was found, but it must have been deleted from the list."
        "\r\n\r\nWould you like to attempt to find the next sequenced packet?";
    const struct {
        SameAckMove move;
        std::vector<int32_t> gone;  // slots whose rows were deleted
        std::vector<PromptAnswer> answers;
        int32_t toSlot;
        std::vector<int32_t> released;
        Told told;
    } cases[] = {
        {SameAckMove::Next, {1}, {PromptAnswer::No}, -1, {}, {{"Packet gone", nextGone}}},
        {SameAckMove::Next,
         {1, 2},
         {PromptAnswer::Yes, PromptAnswer::Yes},
         3,
         {1, 2},
         {{"Packet gone", nextGone}, {"Packet gone", nextGone}}},
        {SameAckMove::Last,
         {3},
         {PromptAnswer::Yes},
         2,
         {3},
         {{"Packet gone",
           "The last sequenced packet was found, but is no longer in the list.\r\n\r\nWould you "
           "like to find the next highest sequenced packet?"}}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Tools t;
        t.addAll({100, 200, 300, 400});
        for (const int32_t slot : cases[i].gone) {
            ASSERT_TRUE(t.list.deleteRow(t.list.rowOfSlot(slot)));
            t.store.setListed(slot, false);
        }
        for (const PromptAnswer a : cases[i].answers)
            t.prompt.script({a});
        const int32_t row = GotoSameAck(cases[i].move, 0, t.context);
        EXPECT_EQ(t.list.slotOfRow(row), cases[i].toSlot) << "case " << i;
        EXPECT_EQ(t.told(), cases[i].told) << "case " << i;
        for (const PromptRequest& r : t.prompt.asked()) {
            EXPECT_EQ(r.icon, PromptIcon::Question);
            EXPECT_EQ(r.buttons, PromptButtons::YesNo);
        }
        for (int32_t slot = 0; slot < 4; ++slot) {
            const bool released =
                std::count(cases[i].released.begin(), cases[i].released.end(), slot) != 0;
            EXPECT_EQ(t.store.hasRecord(slot), !released) << "case " << i << " slot " << slot;
            EXPECT_EQ(t.store.hasTimeText(slot), !released);
            EXPECT_EQ(t.store.length(slot) == 0, released);
        }
    }
}

TEST(SameAckTools, InvalidTcpPacketIsAnErrorAfterTheDeleteQuestion) {
    const std::string invalid =
        "The selected packet does not seem to be a valid TCP packet, the operation will not "
        "continue.";
    Tools t;
    t.add(Numbered(1, kAck, 17, 39));  // too short
    t.addAll({5});
    t.store.releaseRecords();  // as a Start on an emptied list does: slot 1 keeps its length
    for (const int32_t slot : {0, 1}) {
        t.prompt.script({PromptAnswer::Yes});
        const auto result = DeleteFromList(ListDeletion::SameAck, {slot, 0}, t.context);
        EXPECT_TRUE(result.confirmed);
        EXPECT_EQ(GotoSameAck(SameAckMove::Next, slot, t.context), -1);
    }
    const auto asked = t.prompt.asked();
    ASSERT_EQ(asked.size(), 6u);
    for (size_t i = 0; i < asked.size(); ++i) {
        if (i % 3 == 0) {
            EXPECT_EQ(asked[i].caption, "Are you sure?");
            continue;
        }
        EXPECT_EQ(asked[i].caption, "Invalid TCP packet");
        EXPECT_EQ(asked[i].text, invalid);
        EXPECT_EQ(asked[i].icon, PromptIcon::Error);
    }
    EXPECT_EQ(t.list.rowCount(), 2);
}

TEST(DeleteFromList, SameAckCountsFiveThenZeroDifferentAckKeepsShortDatagrams) {
    Tools t;
    t.addAll({1, 2, 3, 4, 5});                    // slots 0-4
    t.addAll({6, 7}, kOtherAck);                  // slots 5-6
    t.add(Numbered(8, kOtherAck, 17, 40));        // 7: a UDP datagram that takes part
    t.add(Numbered(9, kOtherAck, 17, 39));        // 8: too short to take part
    t.add(test::BuildDatagram({.protocol = 1}));  // 9: ICMP, 28 bytes
    t.list.setSelectionMark(t.list.rowOfSlot(6));
    const auto same = ListCommandTargetOf(t.list, t.list.rowOfSlot(2));
    const auto deleted = [](uint32_t n) {
        return Told::value_type{"Deleted items",
                                std::to_string(n) + " item(s) deleted from packet list."};
    };
    const struct {
        ListDeletion kind;
        ListCommandTarget target;
        PromptAnswer answer;
        std::vector<int32_t> listed;
        Told told;
    } steps[] = {
        {ListDeletion::SameAck, same, PromptAnswer::No, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {}},
        {ListDeletion::SameAck, same, PromptAnswer::Yes, {5, 6, 7, 8, 9}, {deleted(5)}},
        {ListDeletion::SameAck, same, PromptAnswer::Yes, {5, 6, 7, 8, 9}, {deleted(0)}},
        {ListDeletion::DifferentAck, same, PromptAnswer::Yes, {8, 9}, {deleted(3)}},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        t.prompt.script({steps[i].answer});
        int shown = 0;
        const size_t before = t.prompt.asked().size();
        DeleteFromList(steps[i].kind, steps[i].target, t.context, [&] { ++shown; });
        EXPECT_EQ(t.listedSlots(), steps[i].listed) << "step " << i;
        const auto asked = t.prompt.asked();
        Told told;
        for (size_t a = before + 1; a < asked.size(); ++a)
            told.emplace_back(asked[a].caption, asked[a].text);
        EXPECT_EQ(told, steps[i].told) << "step " << i;
        EXPECT_EQ(shown, steps[i].answer == PromptAnswer::Yes ? 1 : 0);
        for (int32_t slot = 0; slot < 10; ++slot)
            EXPECT_EQ(t.store.listed(slot), t.list.rowOfSlot(slot) >= 0) << slot;
    }
    EXPECT_EQ(t.list.selectionMark(), -1);  // the marked packet (slot 6) went
    EXPECT_EQ(t.prompt.asked()[5].text,
              "Are you sure you want to delete all packets with a different ACK from the packet "
              "list?\r\n\r\nNote, this operation may take a very long time depending on the length "
              "of the packet list. If the packet list has multiply thousands of items, it is "
              "recommended that you minimize the program while it is deleting items as this will "
              "speed up the process.\r\n\r\nContinue with operation?");
}

TEST(DeleteFromList, ActsOnTheChosenPacketWhereverItsRowMoved) {
    const struct {
        const char* between;
        std::function<void(Tools&)> change;
        std::vector<int32_t> listed;
    } cases[] = {
        {"sorted", [](Tools& t) { t.reverseRows(); }, {0, 2, 3}},
        {"deleted", [](Tools& t) { t.list.deleteRow(1); }, {0, 2, 3}},
        {"cleared and refilled",
         [](Tools& t) {
             t.list.deleteAllRows();
             t.store.resetCount();
             t.addAll({1, 2, 3, 4});
         },
         {0, 1, 2, 3}},
    };
    for (const auto& c : cases) {
        Tools t;
        t.addAll({1, 2, 3, 4});
        const ListCommandTarget target = ListCommandTargetOf(t.list, 1);  // slot 1
        c.change(t);
        t.prompt.script({PromptAnswer::Yes});
        int shown = 0;
        DeleteFromList(ListDeletion::Packet, target, t.context, [&] { ++shown; });
        EXPECT_EQ(t.listedSlots(), c.listed) << c.between;
        EXPECT_EQ(shown, 1);
        EXPECT_EQ(t.told(), (Told{{"Delete from list?",
                                   "Are you sure you wish to delete the "
                                   "selected packet from the list?"}}));
    }
}

// A capture appends rows (and at first often reverses them, as a sort would) all through a
// delete that holds the list as briefly as it can: every row that should stay stays, every
// deleted row is counted and unlisted, and the rows left with another ACK all came after
// the last one deleted.
TEST(DeleteFromList, DifferentAckBesideACaptureThatKeepsAppendingAndSorting) {
    Tools t;
    for (uint32_t i = 0; i < 20000; ++i)
        t.add(Numbered(i, i % 2 ? kOtherAck : kAck));
    std::atomic<bool> stop{false};
    std::thread capture([&] {
        for (uint32_t i = 0; !stop.load(); ++i) {
            t.add(i % 3 == 0   ? Numbered(i, kAck)
                  : i % 3 == 1 ? Numbered(i, kOtherAck)
                               : Numbered(i, kOtherAck, 17, 39));
            if (i % 20 == 19 && i < 1000) {  // a few dozen sorts, then none
                auto lock = t.state.lockListForWorker();
                t.reverseRows();
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    t.prompt.script({PromptAnswer::Yes});
    const ListDeletionResult result = DeleteFromList(ListDeletion::DifferentAck, {0, 0}, t.context,
                                                     {}, std::chrono::nanoseconds(0));
    stop = true;
    capture.join();
    EXPECT_GT(result.holds, 1);

    std::vector<uint8_t> hasRow(static_cast<size_t>(t.store.count()), 0);
    for (int32_t row = 0; row < t.list.rowCount(); ++row)
        hasRow[static_cast<size_t>(t.list.slotOfRow(row))] = 1;
    uint32_t deleted = 0;
    int32_t lastDeleted = -1;
    int32_t firstLeft = t.store.count();
    for (int32_t slot = 0; slot < t.store.count(); ++slot) {
        bool stays = true;
        t.store.withRecord(slot, [&](const PacketView& p) {
            stays = !p.isTcpSized() || p.acknowledgement() == kAck;
        });
        const bool listed = hasRow[static_cast<size_t>(slot)] != 0;
        ASSERT_EQ(t.store.listed(slot), listed) << slot;
        if (stays) {
            ASSERT_TRUE(listed) << slot;
        } else if (listed) {
            firstLeft = std::min(firstLeft, slot);
        } else {
            ++deleted;
            lastDeleted = slot;
        }
    }
    EXPECT_EQ(result.deleted, deleted);
    EXPECT_GE(deleted, 10000u);
    EXPECT_GE(lastDeleted, 20000);  // slots the capture filed meanwhile take part
    EXPECT_LT(lastDeleted, firstLeft);
    EXPECT_EQ(t.told().back(),
              (Told::value_type{"Deleted items", std::to_string(deleted) + " item(s) deleted from "
                                                                           "packet list."}));
}

}  // namespace
}  // namespace vorlanx
