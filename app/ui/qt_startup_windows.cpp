#include "app/ui/qt_startup_windows.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <string>

#include "app/product.h"
#include "app/ui/mode_choice_window.h"

namespace vorlanx {
namespace {

QColor fromBgr(unsigned bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

}  // namespace

void QtStartupWindows::notBuiltYet(const char* what) {
    m_prompt.tell(kProductName, std::string(what) + " is not part of this build yet.",
                  PromptIcon::Information);
}

void QtStartupWindows::runUninstaller() { notBuiltYet("The uninstaller"); }

bool QtStartupWindows::runAgreement() {
    notBuiltYet("The installer");
    return false;
}

void QtStartupWindows::runInstaller() { notBuiltYet("The installer"); }

bool QtStartupWindows::runModeChoice(SettingsRecord& settings) {
    ModeChoiceWindow window(settings, m_prompt);
    window.exec();
    return window.outcome() != ModeChoiceOutcome::Closed;
}

int QtStartupWindows::runPacketMode(SettingsRecord&, const std::string&) {
    notBuiltYet("The Packet Mode window");
    return 0;
}

int QtStartupWindows::runFileMode(SettingsRecord&, const std::string&) {
    notBuiltYet("The File Mode window");
    return 0;
}

void QtStartupWindows::setDialogColors(unsigned background, unsigned text) {
    QPalette palette = QApplication::palette();
    for (auto role : {QPalette::Window, QPalette::Button})
        palette.setColor(role, fromBgr(background));
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, fromBgr(text));
    QApplication::setPalette(palette);
}

}  // namespace vorlanx
