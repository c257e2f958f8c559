#include "setup/ui/uninstaller_window.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/control_ids.h"
#include "settings/product.h"

namespace vorlanx {

UninstallerWindow::UninstallerWindow(std::function<void()> uninstall, QWidget* parent)
    : QDialog(parent), m_uninstall(std::move(uninstall)) {
    setWindowTitle(QStringLiteral("Brindlecraft Un-Installer V1.0.1"));

    auto* text =
        new QLabel(QStringLiteral("Click the button below to remove Brindlecraft VORLANX"));
    text->setAlignment(Qt::AlignCenter);
    const QString removeText =
        QStringLiteral("Completely remove %1 %2 from this machine")
            .arg(QString::fromUtf8(kProductName), QString::fromUtf8(kProductVersion));
    auto* remove = Tag(new QPushButton(removeText), kRemoveId, removeText);
    remove->setDefault(true);
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_removed)
            return;
        m_removed = true;
        if (m_uninstall)
            m_uninstall();
        accept();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(remove);
    remove->setFocus();
}

}  // namespace vorlanx
