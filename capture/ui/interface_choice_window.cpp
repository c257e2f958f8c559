#include "capture/ui/interface_choice_window.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/network_interfaces.h"
#include "platform/qt/control_ids.h"

namespace vorlanx {
namespace {

// The leading spaces centre the words in a Windows title bar; the caption keeps them.
constexpr const char* kCaption = "                     Choose Interface";
constexpr const char* kExplanation =
    "Below you may choose the interface in which to listen. Each IP address listed "
    "represents a TCP/IP interface on the system. If you are unsure of which one to use, "
    "try one and see what the program captures from it.";
constexpr int kColumnWidth = 265;

}  // namespace

InterfaceChoiceWindow::InterfaceChoiceWindow(SettingsRecord& settings, UserPrompt& prompt,
                                             QWidget* parent, AddressProvider addresses)
    : QDialog(parent), m_settings(settings), m_prompt(prompt) {
    setWindowTitle(QString::fromUtf8(kCaption));
    setModal(true);

    auto* explanation = new QLabel(QString::fromUtf8(kExplanation), this);
    explanation->setObjectName("explanation");
    explanation->setWordWrap(true);

    m_list = Tag(new QTreeWidget(this), kAddressListId, "Interfaces");
    m_list->setAccessibleDescription(explanation->text());
    m_list->setColumnCount(1);
    m_list->setHeaderLabels({"Should be hidden"});
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    m_list->setColumnWidth(0, kColumnWidth);
    m_list->setMinimumWidth(kColumnWidth + 2 * m_list->frameWidth());
    // A double click anywhere on the list counts as OK, as in the window's own OK button.
    m_list->viewport()->installEventFilter(this);

    m_ok = Tag(new QPushButton("OK", this), kOkId, "OK");
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &InterfaceChoiceWindow::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);

    const std::vector<std::string> found = addresses ? addresses() : UpIpv4Addresses();
    for (const std::string& address : found)
        m_list->insertTopLevelItem(0, new QTreeWidgetItem({QString::fromStdString(address)}));
}

bool InterfaceChoiceWindow::hasAddresses() const {
    return m_list->topLevelItemCount() > 0;
}

int InterfaceChoiceWindow::exec() {
    if (!hasAddresses()) {
        m_prompt.ask(PromptRequest{"", "Error getting interface information", PromptButtons::Ok,
                                   PromptIcon::None, true});
        setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

void InterfaceChoiceWindow::accept() {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty()) {
        m_prompt.ask(PromptRequest{"", "Please choose an interface.", PromptButtons::Ok,
                                   PromptIcon::None, false, true});
        return;
    }
    // The record's field keeps at most 1023 bytes and its terminator.
    m_settings.setInterfaceAddress(selected.first()->text(0).toStdString());
    QDialog::accept();
}

bool InterfaceChoiceWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // The row under the pointer is the one meant, whatever the press before did.
        const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (QTreeWidgetItem* item = m_list->itemAt(pos))
            m_list->setCurrentItem(item);
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vorlanx
