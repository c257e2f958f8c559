#include "platform/qt/window_parts.h"

#include <QFont>
#include <QHeaderView>
#include <QPainter>
#include <QTreeWidget>

#include "platform/qt/control_ids.h"

namespace vorlanx {

QColor FromBgr(unsigned bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QTreeWidget* OneColumnList(int id, const QString& accessibleName, const QString& columnTitle) {
    auto* list = Tag(new QTreeWidget, id, accessibleName);
    list->setColumnCount(1);
    list->setHeaderLabels({columnTitle});
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    list->header()->setStretchLastSection(false);
    return list;
}

QPixmap ProductLogoPixmap() {
    QPixmap pm(140, 40);
    pm.fill(FromBgr(kPaneBackgroundBgr));
    QPainter p(&pm);
    p.setPen(FromBgr(kPaneTextBgr));
    QFont f = p.font();
    f.setBold(true);
    f.setPointSize(15);
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, QStringLiteral("VORLANX"));
    return pm;
}

}  // namespace vorlanx
