// Sorting a full packet list (a million rows) by each column, from a shuffled order: the
// time the user-interface thread holds the list, and with it the capture, per header click.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "packetmode/packet_sort.h"

using namespace vorlanx;

namespace {

class AgreeingPrompt final : public UserPrompt {
  public:
    PromptAnswer ask(const PromptRequest&) override { return PromptAnswer::Yes; }
};

// A full store and list with keys spread as live traffic spreads them: TCP, UDP and ICMP
// between random addresses and ports, time texts a millisecond apart, three sets of filter
// strings. Built once for every column.
struct FullList {
    PacketModeState state;
    PacketStore store;
    PacketList list{store};
    AgreeingPrompt prompt;
    bool ascending = false;
    std::mt19937 random{1};

    FullList() {
        const std::array<std::shared_ptr<const FilterColumnTexts>, 3> strings{
            std::make_shared<const FilterColumnTexts>(FilterColumnTexts{"GET", "POST"}),
            std::make_shared<const FilterColumnTexts>(FilterColumnTexts{"Host: a", ""}),
            std::make_shared<const FilterColumnTexts>(FilterColumnTexts{"", "Cookie"})};
        std::vector<uint8_t> d(60, 'x');
        char time[40];
        for (int32_t slot = 0; slot < PacketStore::kCapacity; ++slot) {
            const uint32_t r = random();
            d[0] = 0x45;
            d[2] = static_cast<uint8_t>(r >> 24 & 0x05);
            d[3] = static_cast<uint8_t>(r);
            d[9] = std::array<uint8_t, 3>{6, 17, 1}[r % 3];
            for (size_t i = 12; i < 24; ++i)
                d[i] = static_cast<uint8_t>(random());
            std::snprintf(time, sizeof time, "2026.12.08 - %02d:%02d:%02d.%03d", slot / 3600000,
                          slot / 60000 % 60, slot / 1000 % 60, slot % 1000);
            store.put(slot, PacketRecord::create(d), static_cast<int32_t>(d.size()));
            store.setTimeText(slot, time);
            store.advanceCount();
            list.append(slot, strings[r / 3 % 3]);
        }
    }

    void shuffle() {
        std::vector<int32_t> order(static_cast<size_t>(list.rowCount()));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), random);
        list.reorderRows(order);
    }
};

FullList& fullList() {
    static FullList full;
    return full;
}

void BM_SortMillionRows(benchmark::State& state) {
    FullList& full = fullList();
    const PacketSortContext context{full.state,  full.store,     full.list,
                                    full.prompt, full.ascending, {}};
    for (auto _ : state) {
        state.PauseTiming();
        full.shuffle();
        state.ResumeTiming();
        if (SortPacketList(static_cast<int>(state.range(0)), context) != PacketSortOutcome::Sorted)
            state.SkipWithError("the sort did not run");
    }
    state.SetLabel(std::string(PacketList::columnTitle(static_cast<int>(state.range(0)))));
}
BENCHMARK(BM_SortMillionRows)
    ->DenseRange(0, kPacketListColumnCount - 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
