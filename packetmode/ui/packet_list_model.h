// The packet list as a Qt model: one row per listed packet, cells made when painted.
//
// The capture thread appends to the PacketList without waiting for the view; sync(),
// called from a short timer of the user-interface thread, turns the changes made since
// the last call into one begin/end pair each (a burst of appends becomes one insert; a
// reset takes every change after it, so a sorted list reaches the view as one reset).
#pragma once

#include <QAbstractTableModel>

#include "packetmode/packet_list.h"

namespace vorlanx {

class PacketListModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    // Item data role carrying a row's slot index (int), as every list feature reads it.
    static constexpr int SlotRole = Qt::UserRole + 1;

    explicit PacketListModel(PacketList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Applies every change the list has made since the last call. Returns the number of
    // rows appended. User-interface thread.
    int sync();

  private:
    PacketList& m_list;
};

}  // namespace vorlanx
