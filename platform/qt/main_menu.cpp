#include "platform/qt/main_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "platform/qt/control_ids.h"

namespace vorlanx {

void BuildMainMenu(QMenuBar* bar, QObject* context, const MainMenuCommands& commands) {
    namespace ids = main_menu_ids;
    auto add = [context](QMenu* menu, const QString& text, int id,
                         const std::function<void()>& command) {
        QAction* a = menu->addAction(text);
        a->setProperty(kControlIdProperty, id);
        a->setEnabled(static_cast<bool>(command));
        if (command)
            QObject::connect(a, &QAction::triggered, context, [command] { command(); });
    };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    if (commands.openCaptureFile) {
        add(file, QString::fromUtf8(commands.openCaptureFileText), ids::kOpenCaptureFile,
            commands.openCaptureFile);
        file->actions().constLast()->setShortcut(QKeySequence::Open);
    }
    add(file, QStringLiteral("&Save"), ids::kSave, commands.save);
    file->actions().constLast()->setStatusTip(QStringLiteral("Save the list of received packets"));
    add(file, QStringLiteral("&Exit"), ids::kExit, commands.exit);
    QMenu* settings = bar->addMenu(QStringLiteral("&Settings"));
    add(settings, QStringLiteral("&Network interface"), ids::kNetworkInterface,
        commands.networkInterface);
    add(settings, QStringLiteral("&General"), ids::kGeneral, commands.general);
    QMenu* mode = bar->addMenu(QStringLiteral("&Mode"));
    add(mode, QStringLiteral("&Change"), ids::kChangeMode, commands.changeMode);
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    add(help, QStringLiteral("&Help"), ids::kHelp, commands.help);
    add(help, QStringLiteral("&About"), ids::kAbout, commands.about);
}

void EnableMainMenuCommand(QMenuBar* bar, int id, bool enabled) {
    for (QAction* action : bar->findChildren<QAction*>()) {
        if (action->property(kControlIdProperty).toInt() == id)
            action->setEnabled(enabled);
    }
}

}  // namespace vorlanx
