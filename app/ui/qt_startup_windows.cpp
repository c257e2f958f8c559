#include "app/ui/qt_startup_windows.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <string>

#include "app/ui/mode_choice_window.h"
#include "capture/live_capture_source.h"
#include "filemode/ui/file_mode_window.h"
#include "packetmode/ui/packet_mode_window.h"
#include "platform/clock.h"
#include "platform/local_time.h"
#include "platform/process.h"
#include "platform/qt/qt_sound_player.h"
#include "platform/qt/window_parts.h"
#include "platform/sound.h"
#include "settings/product.h"
#include "setup/ui/about_window.h"
#include "setup/ui/agreement_window.h"

namespace vorlanx {
void QtStartupWindows::notBuiltYet(const char* what) {
    m_prompt.tell(kProductName, std::string(what) + " is not part of this build yet.",
                  PromptIcon::Information);
}

void QtStartupWindows::runUninstaller() {
    notBuiltYet("The uninstaller");
}

bool QtStartupWindows::runAgreement() {
    return RunAgreement();
}

void QtStartupWindows::runInstaller() {
    notBuiltYet("The installer");
}

AboutOpener QtStartupWindows::aboutOpener() {
    return [this](QWidget* owner, const SettingsRecord& settings) {
        AboutWindow about(settings, {m_prompt}, owner);
        about.exec();
    };
}

bool QtStartupWindows::runModeChoice(SettingsRecord& settings) {
    ModeChoiceWindow window(settings, m_prompt);
    window.exec();
    return window.outcome() != ModeChoiceOutcome::Closed;
}

int QtStartupWindows::runPacketMode(SettingsRecord& settings, const std::string& settingsPath) {
    LiveCaptureSourceFactory sources;
    AlsaSoundPlayer alsa;
    QtSoundPlayer sound(alsa);
    SystemLocalTimeSource localTime;
    SpawnProgramLauncher launcher;
    PacketModeWindow window(settings, settingsPath,
                            {.prompt = m_prompt,
                             .sources = sources,
                             .sound = sound,
                             .localTime = localTime,
                             .launcher = launcher,
                             .openAbout = aboutOpener()});
    if (!window.initialise())
        return 0;  // capture is impossible here; the user was told
    QObject::connect(&window, &PacketModeWindow::closeFinished, qApp,
                     [] { QApplication::exit(0); });
    window.show();
    return QApplication::exec();
}

int QtStartupWindows::runFileMode(SettingsRecord& settings, const std::string& settingsPath) {
    LiveCaptureSourceFactory sources;
    SteadyProgramClock clock;
    SystemLocalTimeSource localTime;
    SpawnProgramLauncher launcher;
    FileModeWindow window(settings, settingsPath,
                          {.prompt = m_prompt,
                           .sources = sources,
                           .clock = clock,
                           .localTime = localTime,
                           .launcher = launcher,
                           .openAbout = aboutOpener()});
    if (!window.initialise())
        return 0;  // capture is impossible here; the user was told
    QObject::connect(&window, &FileModeWindow::closeFinished, qApp, [] { QApplication::exit(0); });
    window.show();
    return QApplication::exec();
}

void QtStartupWindows::setDialogColors(unsigned background, unsigned text) {
    QPalette palette = QApplication::palette();
    for (auto role : {QPalette::Window, QPalette::Button})
        palette.setColor(role, FromBgr(background));
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, FromBgr(text));
    QApplication::setPalette(palette);
}

}  // namespace vorlanx
