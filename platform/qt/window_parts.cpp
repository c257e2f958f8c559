#include "platform/qt/window_parts.h"

#include <QFont>
#include <QPainter>

namespace vorlanx {

QColor FromBgr(unsigned bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
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
