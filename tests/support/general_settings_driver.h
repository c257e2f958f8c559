// Drives General settings opened modally by a mode window: once it is up, `edit` changes
// its controls and OK stores them.
#pragma once

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "capture/ui/general_settings_window.h"
#include "platform/qt/control_ids.h"
#include "platform/qt/main_menu.h"

namespace vorlanx::test {

// Triggers Settings > General of `window`; true when the window came up, was edited and
// closed with OK (and the menu item was enabled).
inline bool RunGeneralSettings(QMainWindow& window,
                               const std::function<void(GeneralSettingsWindow&)>& edit) {
    QAction* general = nullptr;
    for (QAction* a : window.menuBar()->findChildren<QAction*>())
        if (a->property(kControlIdProperty).toInt() == main_menu_ids::kGeneral)
            general = a;
    if (!general || !general->isEnabled() || general->text() != QStringLiteral("&General"))
        return false;
    bool done = false;
    QTimer answer;  // gone with this call if the window never comes up
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* settings = qobject_cast<GeneralSettingsWindow*>(QApplication::activeModalWidget());
        if (!settings || done)
            return;
        done = true;
        edit(*settings);
        FindControl<QPushButton>(settings, GeneralSettingsWindow::kOk)->click();
    });
    answer.start(20);
    general->trigger();
    return done;
}

}  // namespace vorlanx::test
