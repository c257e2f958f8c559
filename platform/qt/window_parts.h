// Pieces both mode windows (and start-up) draw the same way.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

class QTreeWidget;

namespace vorlanx {

// A colour written as 0x00BBGGRR.
QColor FromBgr(unsigned bgr);

// The panes' colours when the system's colours are not used.
inline constexpr unsigned kPaneBackgroundBgr = 0x323246;
inline constexpr unsigned kPaneTextBgr = 0xFFFFAF;

// A one-column list without a header (the column keeps the title `columnTitle`, never
// shown): whole rows, one selected at a time, no sorting, no branch decoration. Tagged with
// `id` and `accessibleName`.
QTreeWidget* OneColumnList(int id, const QString& accessibleName, const QString& columnTitle);

// The product logo: its name drawn on the pane colours. Also the window icon.
QPixmap ProductLogoPixmap();

// The logo as a square icon of `side` pixels, for the desktop's menu and launchers.
QPixmap ProductIconPixmap(int side);

}  // namespace vorlanx
