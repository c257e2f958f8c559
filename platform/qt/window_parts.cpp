#include "platform/qt/window_parts.h"

#include <QFont>
#include <QHeaderView>
#include <QPainter>
#include <QTreeWidget>
#include <algorithm>

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

QPixmap ProductIconPixmap(int side) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(FromBgr(kPaneBackgroundBgr));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, side, side), side / 8.0, side / 8.0);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(side / 2);
    p.setFont(f);
    p.setPen(FromBgr(kPaneTextBgr));
    p.drawText(QRect(0, 0, side, side * 3 / 4), Qt::AlignCenter, QStringLiteral("V"));
    f.setPixelSize(std::max(1, side / 7));
    p.setFont(f);
    p.drawText(QRect(0, side * 5 / 8, side, side * 3 / 8), Qt::AlignCenter,
               QStringLiteral("VORLANX"));
    return pm;
}

}  // namespace vorlanx
