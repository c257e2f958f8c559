#include "packetmode/ui/packet_context_menu.h"

#include <QAction>
#include <QMenu>

#include "packetmode/ui/packet_mode_controls.h"
#include "platform/qt/control_ids.h"

namespace vorlanx {

QMenu* BuildPacketContextMenu(QWidget* parent, bool tcpOptions) {
    namespace ids = packet_ids;
    auto* menu = new QMenu(QStringLiteral("Hidden"), parent);
    menu->setProperty(kControlIdProperty, ids::kContextMenu);
    const auto add = [&](QMenu* to, int id, const char* text) {
        QAction* action = to->addAction(QString::fromLatin1(text));
        action->setProperty(kControlIdProperty, id);
        action->setData(id);
    };
    add(menu, ids::kMenuReverseSource, "Reverse resolve &Source IP address");
    add(menu, ids::kMenuReverseDestination, "Reverse resolve D&estination IP address");
    menu->addSeparator();
    QMenu* tcp = menu->addMenu(QStringLiteral("TCP specific options"));
    add(tcp, ids::kMenuPreviousSameAck, "Goto &previous sequenced packet with same ACK");
    add(tcp, ids::kMenuNextSameAck, "Goto &next sequenced packet with same ACK");
    tcp->addSeparator();
    add(tcp, ids::kMenuFirstSameAck, "Goto &first sequenced packet with same ACK");
    add(tcp, ids::kMenuLastSameAck, "Goto &last sequenced packet with same ACK");
    tcp->addSeparator();
    add(tcp, ids::kMenuDeleteSameAck, "Delete all packets with &same ACK from list");
    add(tcp, ids::kMenuDeleteDifferentAck, "Delete all packets with &different ACK from list");
    tcp->menuAction()->setEnabled(tcpOptions);
    menu->addSeparator();
    add(menu, ids::kMenuDeletePacket, "&Delete packet from list");
    return menu;
}

}  // namespace vorlanx
