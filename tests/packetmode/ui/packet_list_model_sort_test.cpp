// A sorted packet list reaches its model as one reset, with the rows in their new order.
#include <QSignalSpy>
#include <QTest>

#include "packetmode/packet_sort.h"
#include "packetmode/ui/packet_list_model.h"
#include "support/scripted_prompt.h"
#include "support/test_datagram.h"

using namespace vorlanx;

class PacketListModelSortTest : public QObject {
    Q_OBJECT
  private slots:
    void aSortAndTheRowsAfterItAreOneReset();
};

void PacketListModelSortTest::aSortAndTheRowsAfterItAreOneReset() {
    PacketModeState state;
    PacketStore store;
    PacketList list(store);
    PacketListModel model(list);
    test::ScriptedPrompt prompt;
    bool ascending = true;
    const auto add = [&](uint8_t protocol) {
        const int32_t slot = store.count();
        const auto d = test::BuildDatagram({.protocol = protocol});
        store.put(slot, PacketRecord::create(d), static_cast<int32_t>(d.size()));
        store.advanceCount();
        list.append(slot, nullptr);
    };
    for (uint8_t protocol : {17, 1, 6})
        add(protocol);
    model.sync();

    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QCOMPARE(SortPacketList(0, {state, store, list, prompt, ascending, {}}),
             PacketSortOutcome::Sorted);
    add(2);  // captured before the view catches up
    model.sync();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(model.rowCount(), 4);
    const int expected[] = {1, 2, 0, 3};  // ICMP, TCP, UDP by protocol, then the new row
    for (int row = 0; row < 4; ++row)
        QCOMPARE(model.index(row, 0).data(PacketListModel::SlotRole).toInt(), expected[row]);
}

QTEST_MAIN(PacketListModelSortTest)
#include "packet_list_model_sort_test.moc"
