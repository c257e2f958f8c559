// Find over a full store (a million packets of mixed sizes, text and binary payloads) for a
// text that is not there, "Match case" off: the find scan against a plain substring search
// (std::string_view::find) over the same payload bytes, which builds no payload text and
// folds nothing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "packetmode/packet_find.h"

using namespace vorlanx;

namespace {

const std::string kAbsent = "vorlanx find marker";

struct FullStore {
    PacketStore store;
    std::vector<std::string_view> payloads;  // each slot's payload bytes, for the plain search
    uint64_t payloadBytes = 0;

    FullStore() {
        std::mt19937 random(7);
        // Pools the payloads are cut from: web text, and binary bytes as TLS carries them.
        std::string text;
        const char* lines[] = {"GET /index.html HTTP/1.1\r\n", "Host: www.example.org\r\n",
                               "Accept-Encoding: gzip, deflate\r\n",
                               "<p>Lorem ipsum dolor sit amet, consectetur adipiscing.</p>\n",
                               "Content-Type: text/html; charset=UTF-8\r\n"};
        while (text.size() < 65536)
            text += lines[random() % 5];
        std::string binary(65536, '\0');
        for (char& c : binary)
            c = static_cast<char>(random());

        payloads.reserve(PacketStore::kCapacity);
        std::vector<uint8_t> d;
        for (int32_t slot = 0; slot < PacketStore::kCapacity; ++slot) {
            const uint32_t r = random();
            // Many small datagrams (requests, acknowledgements with a little data), some
            // middle-sized ones, and full-size segments.
            const uint32_t size = r % 10 < 4   ? 60 + r % 40
                                  : r % 10 < 7 ? 100 + r % 500
                                               : 1400 + r % 101;
            const bool tcp = r % 3 != 0;
            const uint32_t offset = tcp ? 40 : 28;
            d.assign(size, 0);
            d[0] = 0x45;
            d[9] = tcp ? 6 : 17;
            d[32] = 0x50;
            const std::string& pool = (r >> 8) % 2 ? text : binary;
            const size_t from = (r >> 9) % (pool.size() - 1600);
            std::copy_n(pool.begin() + static_cast<std::ptrdiff_t>(from), size - offset,
                        d.begin() + offset);
            store.put(slot, PacketRecord::create(d), static_cast<int32_t>(size));
            store.advanceCount();
            store.withRecord(slot, [&](const PacketView& p) {
                payloads.emplace_back(reinterpret_cast<const char*>(p.data()) + offset,
                                      size - offset);
            });
            payloadBytes += size - offset;
        }
    }
};

FullStore& fullStore() {
    static FullStore full;
    return full;
}

void BM_FindScanMillionPackets(benchmark::State& state) {
    FullStore& full = fullStore();
    std::string work;
    for (auto _ : state) {
        const PayloadSearch search(kAbsent, false);
        const int32_t slot = ScanForMatch(full.store, search, 0, full.store.count(), work);
        if (slot != full.store.count())
            state.SkipWithError("the absent text was found");
        benchmark::DoNotOptimize(slot);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * full.payloadBytes));
}
BENCHMARK(BM_FindScanMillionPackets)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PlainSearchSamePayloads(benchmark::State& state) {
    FullStore& full = fullStore();
    for (auto _ : state) {
        size_t hits = 0;
        for (const std::string_view payload : full.payloads)
            hits += payload.find(kAbsent) != std::string_view::npos;
        if (hits != 0)
            state.SkipWithError("the absent text was found");
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * full.payloadBytes));
}
BENCHMARK(BM_PlainSearchSamePayloads)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
