// The packet list model announces exactly the rows the list changed, in batches.
#include <QSignalSpy>
#include <QTest>

#include "packetmode/packet_list.h"
#include "packetmode/packet_store.h"
#include "packetmode/ui/packet_list_model.h"

using namespace vorlanx;

namespace {

std::vector<uint8_t> udpDatagram(uint8_t lastSourceByte) {
    std::vector<uint8_t> b = {
        0x45,           0,   0, 28, 0, 0,    0,    0,    64,   17, 0, 0, 127, 0, 0,
        lastSourceByte, 127, 0, 0,  1, 0x13, 0x88, 0x00, 0x35, 0,  8, 0, 0};
    return b;
}

}  // namespace

class PacketListModelTest : public QObject {
    Q_OBJECT
  private slots:
    void appendsArriveAsOneInsertPerSync();
    void removalsAndResetsAreAnnouncedExactly();
    void cellsAndSlotRoleFollowTheRows();
};

void PacketListModelTest::appendsArriveAsOneInsertPerSync() {
    PacketStore store;
    PacketList list(store);
    PacketListModel model(list);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    for (int32_t slot = 0; slot < 500; ++slot)
        list.append(slot, nullptr);
    QCOMPARE(model.rowCount(), 0);  // nothing published before the sync
    QCOMPARE(model.sync(), 500);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted[0][1].toInt(), 0);
    QCOMPARE(inserted[0][2].toInt(), 499);
    QCOMPARE(model.rowCount(), 500);

    list.append(500, nullptr);
    list.append(501, nullptr);
    QCOMPARE(model.sync(), 2);
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted[1][1].toInt(), 500);
    QCOMPARE(inserted[1][2].toInt(), 501);
    QCOMPARE(model.sync(), 0);
    QCOMPARE(inserted.count(), 2);
}

void PacketListModelTest::removalsAndResetsAreAnnouncedExactly() {
    PacketStore store;
    PacketList list(store);
    PacketListModel model(list);
    for (int32_t slot = 0; slot < 10; ++slot)
        list.append(slot, nullptr);
    model.sync();

    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QVERIFY(list.deleteRow(3));
    QVERIFY(list.deleteRow(3));  // the row that moved up
    list.append(10, nullptr);
    model.sync();
    QCOMPARE(removed.count(), 2);
    QCOMPARE(removed[0][1].toInt(), 3);
    QCOMPARE(removed[1][1].toInt(), 3);
    QCOMPARE(model.rowCount(), 9);
    QCOMPARE(model.index(3, 0).data(PacketListModel::SlotRole).toInt(), 5);
    QCOMPARE(model.index(8, 0).data(PacketListModel::SlotRole).toInt(), 10);

    list.deleteAllRows();
    model.sync();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 0);
}

void PacketListModelTest::cellsAndSlotRoleFollowTheRows() {
    PacketStore store;
    PacketList list(store);
    PacketListModel model(list);
    const auto bytes = udpDatagram(9);
    store.put(0, PacketRecord::create(bytes), static_cast<int32_t>(bytes.size()));
    store.setTimeText(0, "2003.04.02 - 14:05:09.007");
    list.append(0, nullptr);
    model.sync();
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Type"));
    QCOMPARE(model.headerData(8, Qt::Horizontal).toString(), QStringLiteral("Lacks string"));
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("UDP"));
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("28"));
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("127.0.0.9"));
    QCOMPARE(model.index(0, 4).data().toString(), QStringLiteral("5000"));
    QCOMPARE(model.index(0, 5).data().toString(), QStringLiteral("53"));
    QCOMPARE(model.index(0, 6).data().toString(), QStringLiteral("2003.04.02 - 14:05:09.007"));
    QCOMPARE(model.index(0, 7).data().toString(), QString());
    QCOMPARE(model.index(0, 0).data(PacketListModel::SlotRole).toInt(), 0);
}

QTEST_MAIN(PacketListModelTest)
#include "packet_list_model_test.moc"
