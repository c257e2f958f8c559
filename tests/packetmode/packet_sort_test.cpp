// Sorting the packet list by a column: the raw keys, the order of the rows, the flag, the
// question and the lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <numeric>
#include <random>
#include <thread>

#include "packetmode/packet_sort.h"
#include "support/scripted_prompt.h"
#include "support/test_datagram.h"

namespace vorlanx {
namespace {

using test::DatagramSpec;

struct Sortable {
    PacketModeState state;
    PacketStore store;
    PacketList list{store};
    test::ScriptedPrompt prompt;
    bool ascending = false;
    std::vector<bool> busyCalls;
    PacketSortContext context{state,  store,     list,
                              prompt, ascending, [this](bool busy) { busyCalls.push_back(busy); }};

    // Lists a row for the next slot; a null `timeText` leaves the slot without one.
    int32_t add(const DatagramSpec& spec, const char* timeText = "t",
                std::shared_ptr<const FilterColumnTexts> strings = nullptr) {
        const int32_t slot = store.count();
        const auto d = test::BuildDatagram(spec);
        store.put(slot, PacketRecord::create(d), static_cast<int32_t>(d.size()));
        if (timeText)
            store.setTimeText(slot, timeText);
        store.advanceCount();
        return list.append(slot, std::move(strings));
    }
    std::vector<int32_t> slots() const {
        std::vector<int32_t> s;
        for (int32_t row = 0; row < list.rowCount(); ++row)
            s.push_back(list.slotOfRow(row));
        return s;
    }
};

std::shared_ptr<const FilterColumnTexts> Strings(std::string contains, std::string lacks) {
    return std::make_shared<const FilterColumnTexts>(FilterColumnTexts{contains, lacks});
}

TEST(PacketSortKey, EachColumnReadsItsRawKey) {
    Sortable s;
    const int32_t tcp = s.add({.source = {192, 168, 1, 2},
                               .destination = {10, 0, 0, 2},
                               .destinationPort = 443,
                               .totalLength = 1500},
                              "2026-12-08", Strings("GET", "POST"));
    const int32_t icmp = s.add({.protocol = 1}, nullptr);
    const int32_t released = s.add({.protocol = 17});
    s.store.release(s.list.slotOfRow(released));
    const std::optional<PacketSortKey> none;
    const std::tuple<int32_t, int, std::optional<PacketSortKey>> cases[] = {
        {tcp, 0, 6u},           {tcp, 1, 1500u},  // the header's total length, not the stored one
        {tcp, 2, 0xC0A80102u},  {tcp, 3, 0x0A000002u}, {tcp, 4, 40000u}, {tcp, 5, 443u},
        {tcp, 6, "2026-12-08"}, {tcp, 7, "GET"},       {tcp, 8, "POST"}, {icmp, 4, 0u},
        {icmp, 5, 0u},          {icmp, 6, none},       {icmp, 7, ""},    {released, 0, none},
        {released, 7, none},    {tcp, 9, none},        {3, 0, none}};
    for (const auto& [row, column, key] : cases)
        EXPECT_EQ(PacketSortKeyOf(s.list, s.store, row, column), key) << row << "/" << column;
}

TEST(SortPacketList, FirstClickDescendsEveryClickFlipsKeylessRowsRankLowest) {
    Sortable s;
    s.add({.source = {10, 0, 0, 2}}, "1");
    s.add({.protocol = 1, .source = {9, 255, 255, 255}}, "10");
    s.add({.protocol = 17, .source = {10, 0, 0, 1}, .sourcePort = 53}, "\xE9");
    s.add({});
    s.store.release(3);
    s.list.setSelectionMark(0);
    s.list.acknowledge(*s.list.nextChange());  // the view shows the rows
    const std::tuple<int, std::vector<int32_t>, int32_t> steps[] = {
        {2, {0, 2, 1, 3}, 0},  // descending; 10.0.0.2 above 9.255.255.255
        {2, {3, 1, 2, 0}, 3},  // ascending
        {6, {2, 1, 0, 3}, 2},  // descending: bytes unsigned, a prefix below the longer text
        {4, {3, 1, 2, 0}, 3},  // ascending: ICMP's port 0
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const auto& [column, slots, mark] = steps[i];
        ASSERT_EQ(SortPacketList(column, s.context), PacketSortOutcome::Sorted);
        EXPECT_EQ(s.ascending, i % 2 == 0);
        EXPECT_EQ(s.slots(), slots) << "step " << i;
        EXPECT_EQ(s.list.selectionMark(), mark) << "step " << i;
        EXPECT_EQ(s.list.nextChange(), (PacketListChange{PacketListChange::Kind::Reset, 0, 4}));
    }
    EXPECT_EQ(s.busyCalls, (std::vector<bool>{true, false, true, false, true, false, true, false}));
}

TEST(SortPacketList, SkipsWhileAWorkerHoldsTheList) {
    Sortable s;
    s.add({.source = {10, 0, 0, 1}});
    s.add({.source = {10, 0, 0, 2}});
    std::promise<void> locked, release;
    std::thread worker([&] {
        auto lock = s.state.lockListForWorker();
        locked.set_value();
        release.get_future().wait();
    });
    locked.get_future().wait();
    EXPECT_EQ(SortPacketList(2, s.context), PacketSortOutcome::ListBusy);
    release.set_value();
    worker.join();
    EXPECT_EQ(s.slots(), (std::vector<int32_t>{0, 1}));
    EXPECT_FALSE(s.ascending);
    EXPECT_TRUE(s.busyCalls.empty());
}

TEST(SortPacketList, AsksBeforeSortingAFilterStringColumnOfMoreThanAThousandRows) {
    const std::tuple<int, int, std::optional<PromptAnswer>, PacketSortOutcome> cases[] = {
        {7, 1001, PromptAnswer::No, PacketSortOutcome::Declined},
        {8, 1001, PromptAnswer::Yes, PacketSortOutcome::Sorted},
        {7, 1000, std::nullopt, PacketSortOutcome::Sorted},
        {6, 1001, std::nullopt, PacketSortOutcome::Sorted},
        {9, 1001, std::nullopt, PacketSortOutcome::NoSuchColumn}};
    for (const auto& [column, rows, answer, outcome] : cases) {
        Sortable s;
        for (int i = 0; i < rows; ++i)
            s.add({}, "t", Strings(std::to_string(i % 10), std::to_string(i % 3)));
        if (answer)
            s.prompt.script({*answer});
        EXPECT_EQ(SortPacketList(column, s.context), outcome) << column << "/" << rows;
        EXPECT_EQ(s.ascending, outcome == PacketSortOutcome::Sorted);
        const auto asked = s.prompt.asked();
        ASSERT_EQ(asked.size(), answer ? 1u : 0u);
        if (answer) {
            EXPECT_EQ(asked[0].caption, "Are you sure?");
            EXPECT_EQ(asked[0].text,
                      "If the packet list contains many items, sorting the filter text columns "
                      "may take a very (extremely) long time.\r\n\r\nContinue with operation?");
            EXPECT_EQ(asked[0].buttons, PromptButtons::YesNo);
            EXPECT_EQ(asked[0].icon, PromptIcon::Question);
        }
    }
}

// Keyless rows mixed into a large shuffled list: the sort stays inside the list (the
// sanitizers watch), keyless rows end in one block at the low end, the keys above them are
// in order, and sorting the result again in the same direction moves nothing.
TEST(SortPacketList, LargeShuffledListWithKeylessRowsSortsInOrderAndTheSameTwice) {
    Sortable s;
    std::mt19937 random(7);
    const auto strings = {Strings("a", "b"), Strings("ab", ""), Strings("\xE9", "a")};
    for (int i = 0; i < 100'000; ++i) {
        const auto byte = [&] { return static_cast<uint8_t>(random()); };
        // Some texts still differ beyond the first eight bytes after the shared date.
        const std::string time = "2026-12-08 " + std::to_string(random() % 100) + ":00:00." +
                                 std::to_string(random() % 1000);
        s.add({.protocol = static_cast<uint8_t>(i % 3 == 0 ? 1 : 6),
               .source = {byte(), byte(), byte(), byte()},
               .sourcePort = static_cast<uint16_t>(random())},
              i % 11 == 0 ? nullptr : time.c_str(), strings.begin()[random() % 3]);
        if (i % 13 == 0)
            s.store.release(i);
    }
    std::vector<int32_t> shuffled(100'000);
    std::iota(shuffled.begin(), shuffled.end(), 0);
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    ASSERT_TRUE(s.list.reorderRows(shuffled));
    s.prompt.script({PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Yes});

    for (int column : {2, 4, 6, 7}) {
        for (bool ascending : {false, true}) {
            s.ascending = ascending;
            ASSERT_EQ(SortPacketList(column, s.context), PacketSortOutcome::Sorted);
            const auto once = s.slots();
            std::vector<std::optional<PacketSortKey>> keys;
            for (int32_t row = 0; row < s.list.rowCount(); ++row)
                keys.push_back(PacketSortKeyOf(s.list, s.store, row, column));
            if (!ascending)
                std::reverse(keys.begin(), keys.end());
            const auto keyed =
                std::partition_point(keys.begin(), keys.end(), [](const auto& k) { return !k; });
            ASSERT_NE(keyed, keys.begin());
            ASSERT_TRUE(std::all_of(keyed, keys.end(), [](const auto& k) { return k; }));
            ASSERT_TRUE(std::is_sorted(keyed, keys.end())) << "column " << column;
            s.ascending = ascending;
            ASSERT_EQ(SortPacketList(column, s.context), PacketSortOutcome::Sorted);
            ASSERT_EQ(s.slots(), once) << "column " << column;
        }
    }
}

TEST(PacketListReorder, RefusesAnOrderThatIsNotOfEveryRowOnce) {
    Sortable s;
    for (int i = 0; i < 3; ++i)
        s.add({});
    s.list.setSelectionMark(1);
    const std::vector<int32_t> refused[] = {{},        {0, 1},    {0, 1, 2, 0},
                                            {0, 1, 1}, {0, 1, 3}, {-1, 1, 2}};
    for (const auto& order : refused)
        EXPECT_FALSE(s.list.reorderRows(order));
    EXPECT_EQ(s.slots(), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_TRUE(s.list.reorderRows({2, 0, 1}));
    EXPECT_EQ(s.slots(), (std::vector<int32_t>{2, 0, 1}));
    EXPECT_EQ(s.list.selectionMark(), 2);
}

}  // namespace
}  // namespace vorlanx
