// A million packets through the store, the packet list and the Qt model while the list
// view is shown: the time to append and publish them, the cost of painting the newest
// rows, and the memory each stored packet takes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>
#include <fstream>
#include <string>

#include "packetmode/packet_list.h"
#include "packetmode/packet_store.h"
#include "packetmode/ui/packet_list_model.h"

using namespace vorlanx;

namespace {

// Resident memory of this process in bytes (VmRSS of /proc/self/status).
long long residentBytes() {
    std::ifstream in("/proc/self/status");
    std::string key;
    long long kb = 0;
    while (in >> key) {
        if (key == "VmRSS:") {
            in >> kb;
            return kb * 1024;
        }
        in.ignore(1 << 20, '\n');
    }
    return 0;
}

std::vector<uint8_t> udpDatagram(uint32_t i) {
    std::vector<uint8_t> b = {0x45,
                              0,
                              0,
                              60,
                              0,
                              0,
                              0,
                              0,
                              64,
                              17,
                              0,
                              0,
                              127,
                              0,
                              0,
                              1,
                              127,
                              0,
                              0,
                              1,
                              static_cast<uint8_t>(i >> 8),
                              static_cast<uint8_t>(i),
                              0,
                              53};
    b.resize(60, 'x');
    return b;
}

void BM_MillionRowsThroughTheModel(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        const long long before = residentBytes();
        auto store = std::make_unique<PacketStore>();
        auto list = std::make_unique<PacketList>(*store);
        PacketListModel model(*list);
        QTableView view;
        view.setModel(&model);
        view.resize(1000, 600);
        view.show();
        QApplication::processEvents();
        state.ResumeTiming();

        constexpr int32_t kRows = PacketStore::kCapacity;
        for (int32_t slot = 0; slot < kRows; ++slot) {
            const auto bytes = udpDatagram(static_cast<uint32_t>(slot));
            store->put(slot, PacketRecord::create(bytes), static_cast<int32_t>(bytes.size()));
            store->setTimeText(slot, "2026.12.08 - 15:46:25.357");
            list->append(slot, nullptr);
            // The window's 30 ms timer: a batch of appends becomes one insert.
            if (slot % 20000 == 19999) {
                model.sync();
                view.scrollToBottom();
                QApplication::processEvents();
            }
        }
        model.sync();
        view.scrollToBottom();
        QApplication::processEvents();

        state.PauseTiming();
        const long long after = residentBytes();
        state.counters["bytes_per_packet"] = static_cast<double>(after - before) / kRows;
        state.counters["rows"] = model.rowCount();
        view.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MillionRowsThroughTheModel)->Unit(benchmark::kMillisecond)->Iterations(1);

// Painting the bottom of a full list: what a user scrolling a million rows pays per frame.
void BM_PaintBottomOfMillionRows(benchmark::State& state) {
    PacketStore store;
    PacketList list(store);
    PacketListModel model(list);
    for (int32_t slot = 0; slot < PacketStore::kCapacity; ++slot) {
        const auto bytes = udpDatagram(static_cast<uint32_t>(slot));
        store.put(slot, PacketRecord::create(bytes), static_cast<int32_t>(bytes.size()));
        list.append(slot, nullptr);
    }
    model.sync();
    QTableView view;
    view.setModel(&model);
    view.resize(1000, 600);
    view.show();
    QApplication::processEvents();
    int step = 0;
    for (auto _ : state) {
        view.scrollTo(model.index(PacketStore::kCapacity - 1 - (step++ % 1000) * 37, 0));
        view.viewport()->repaint();
    }
}
BENCHMARK(BM_PaintBottomOfMillionRows)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
