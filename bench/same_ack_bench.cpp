// "Delete all packets with different ACK from list" on a full list (a million rows): how
// long the whole delete takes, and how long it holds listBusy at a time, which is how long
// a capture that wants to file a packet may have to wait.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "packetmode/same_ack_tools.h"

using namespace vorlanx;

namespace {

class AgreeingPrompt final : public UserPrompt {
  public:
    PromptAnswer ask(const PromptRequest&) override { return PromptAnswer::Yes; }
};

// A full store of TCP packets whose acknowledgement numbers take one of a thousand values,
// so the delete removes all but about a thousand rows. Built once.
struct FullStore {
    PacketModeState state;
    PacketStore store;
    PacketList list{store};
    AgreeingPrompt prompt;
    std::mt19937 random{1};

    FullStore() {
        std::vector<uint8_t> d(60, 0);
        d[0] = 0x45;
        d[9] = 6;
        for (int32_t slot = 0; slot < PacketStore::kCapacity; ++slot) {
            const uint32_t ack = random() % 1000;
            for (size_t i = 0; i < 4; ++i) {
                d[24 + i] = static_cast<uint8_t>(slot >> (24 - 8 * i));
                d[28 + i] = static_cast<uint8_t>(ack >> (24 - 8 * i));
            }
            store.put(slot, PacketRecord::create(d), static_cast<int32_t>(d.size()));
            store.advanceCount();
        }
    }

    // Lists every slot again, in capture order or shuffled (as after a sort).
    void relist(bool shuffled) {
        list.deleteAllRows();
        for (int32_t slot = 0; slot < PacketStore::kCapacity; ++slot) {
            list.append(slot, nullptr);
            store.setListed(slot, true);
        }
        if (!shuffled)
            return;
        std::vector<int32_t> order(static_cast<size_t>(PacketStore::kCapacity));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), random);
        list.reorderRows(order);
    }
};

FullStore& fullStore() {
    static FullStore full;
    return full;
}

void BM_DeleteDifferentAckMillionRows(benchmark::State& state) {
    FullStore& full = fullStore();
    const SameAckContext context{full.state, full.store, full.list, full.prompt};
    ListDeletionResult result;
    std::chrono::nanoseconds longestWait{0};
    for (auto _ : state) {
        state.PauseTiming();
        full.relist(state.range(0) != 0);
        const ListCommandTarget target = ListCommandTargetOf(full.list, 0);
        // Stands in for the capture: takes listBusy every millisecond and notes how long it
        // had to wait for it.
        std::atomic<bool> done{false};
        std::thread capture([&] {
            while (!done.load()) {
                const auto asked = std::chrono::steady_clock::now();
                auto lock = full.state.lockListForWorker();
                longestWait = std::max<std::chrono::nanoseconds>(
                    longestWait, std::chrono::steady_clock::now() - asked);
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        state.ResumeTiming();
        result = DeleteFromList(ListDeletion::DifferentAck, target, context);
        state.PauseTiming();
        done = true;
        capture.join();
        if (full.list.rowCount() + static_cast<int32_t>(result.deleted) != PacketStore::kCapacity)
            state.SkipWithError("rows lost or left behind");
        state.ResumeTiming();
    }
    using ms = std::chrono::duration<double, std::milli>;
    state.counters["deleted"] = result.deleted;
    state.counters["holds"] = result.holds;
    state.counters["longestHoldMs"] = ms(result.longestHold).count();
    state.counters["longestCaptureWaitMs"] = ms(longestWait).count();
    state.SetLabel(state.range(0) != 0 ? "rows shuffled" : "rows in capture order");
}
BENCHMARK(BM_DeleteDifferentAckMillionRows)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace
