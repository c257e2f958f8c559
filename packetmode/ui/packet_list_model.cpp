#include "packetmode/ui/packet_list_model.h"

namespace vorlanx {

PacketListModel::PacketListModel(PacketList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {}

int PacketListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_list.publishedRowCount();
}

int PacketListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kPacketListColumnCount;
}

QVariant PacketListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromStdString(m_list.publishedCellText(index.row(), index.column()));
    if (role == SlotRole)
        return m_list.slotOfRow(m_list.actualRow(index.row()));
    return {};
}

QVariant PacketListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        const auto title = PacketList::columnTitle(section);
        return QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
    }
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

int PacketListModel::sync() {
    int appended = 0;
    while (auto change = m_list.nextChange()) {
        switch (change->kind) {
            case PacketListChange::Kind::Reset:
                // A sort or a clear: whatever the list did since (the rows of a sort come
                // back as an append) joins this reset, so the view rebuilds once.
                beginResetModel();
                m_list.acknowledge(*change);
                while (auto since = m_list.nextChange()) {
                    m_list.acknowledge(*since);
                    if (since->kind == PacketListChange::Kind::Appended)
                        appended += since->count;
                }
                endResetModel();
                break;
            case PacketListChange::Kind::Removed:
                beginRemoveRows({}, change->first, change->first);
                m_list.acknowledge(*change);
                endRemoveRows();
                break;
            case PacketListChange::Kind::Appended:
                beginInsertRows({}, change->first, change->first + change->count - 1);
                m_list.acknowledge(*change);
                endInsertRows();
                appended += change->count;
                break;
        }
    }
    return appended;
}

}  // namespace vorlanx
