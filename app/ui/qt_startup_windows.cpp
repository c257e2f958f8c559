#include "app/ui/qt_startup_windows.h"

#include <unistd.h>
#include <QApplication>
#include <QBuffer>
#include <QByteArray>
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
#include "setup/install.h"
#include "setup/ui/about_window.h"
#include "setup/ui/agreement_window.h"
#include "setup/ui/installer_backdrop.h"
#include "setup/ui/uninstaller_window.h"

namespace vorlanx {

namespace {

// The icon the desktop entries name: the logo, 256 pixels square, as PNG.
std::vector<unsigned char> ProductIconPng() {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ProductIconPixmap(256).save(&buffer, "PNG");
    return {png.begin(), png.end()};
}

}  // namespace

void QtStartupWindows::runUninstaller() {
    UninstallerWindow window([this] {
        RunUninstallation(InstallPlaces::fromEnvironment(), m_store,
                          runningExecutablePath().value_or(std::string()), ::getpid(), m_launcher,
                          m_prompt);
    });
    window.exec();
}

bool QtStartupWindows::runAgreement() {
    return RunAgreement();
}

void QtStartupWindows::runInstaller() {
    const InstallPlaces places = InstallPlaces::fromEnvironment();
    const std::string running = runningExecutablePath().value_or(std::string());
    SystemCapturePermission permission;
    RunInstallerOverBackdrop(
        DefaultInstallDirectory(places), m_prompt, [&](const InstallRequest& typed) {
            InstallRequest request = typed;
            request.runningExecutable = running;
            request.iconPng = ProductIconPng();
            return RunInstallation(request, places, m_store, permission, m_launcher, m_prompt);
        });
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
    const std::unique_ptr<SoundPlayer> sound = MakeDesktopSoundPlayer();
    SystemLocalTimeSource localTime;
    PacketModeWindow window(settings, settingsPath,
                            {.prompt = m_prompt,
                             .sources = sources,
                             .sound = *sound,
                             .localTime = localTime,
                             .launcher = m_launcher,
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
    FileModeWindow window(settings, settingsPath,
                          {.prompt = m_prompt,
                           .sources = sources,
                           .clock = clock,
                           .localTime = localTime,
                           .launcher = m_launcher,
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
