// The packet list's context menu (popup 158): reverse lookups, the TCP options submenu and
// the deletion of one packet.
#pragma once

class QMenu;
class QWidget;

namespace vorlanx {

// Builds the popup, each command's action tagged with its id. `tcpOptions` false greys the
// whole "TCP specific options" submenu (position 3). The caller owns the menu.
QMenu* BuildPacketContextMenu(QWidget* parent, bool tcpOptions);

}  // namespace vorlanx
