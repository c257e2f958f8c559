// Renders the program's windows to PNG files, offscreen, for the README and for review.
//
// The Packet Mode window replays a recorded real exchange (tests/data) through the same
// capture loop as live traffic and shows one packet selected; the File Mode window replays
// it too and writes the served file into a temporary directory.
//
//   vorlanx_screenshot <output folder> <capture file>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QPainter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

#include "app/ui/mode_choice_window.h"
#include "capture/pcap_file_source.h"
#include "capture/ui/general_settings_window.h"
#include "capture/ui/help_window.h"
#include "capture/ui/interface_choice_window.h"
#include "filemode/ui/file_mode_controls.h"
#include "filemode/ui/file_mode_window.h"
#include "packetmode/current_packet_filters.h"
#include "packetmode/ui/filter_setup_window.h"
#include "packetmode/ui/packet_mode_controls.h"
#include "packetmode/ui/packet_mode_window.h"
#include "platform/qt/control_ids.h"
#include "settings/settings_record.h"
#include "setup/ui/about_window.h"
#include "setup/ui/agreement_window.h"
#include "setup/ui/installer_backdrop.h"
#include "setup/ui/installer_window.h"
#include "setup/ui/uninstaller_window.h"

using namespace vorlanx;

namespace {

class SilentPrompt final : public UserPrompt {
  public:
    PromptAnswer ask(const PromptRequest&) override { return PromptAnswer::Ok; }
};

class Silence final : public SoundPlayer {
  public:
    bool playWaveFile(const std::string&) override { return true; }
    bool playTones(const std::vector<Tone>&, unsigned) override { return true; }
    void bell() override {}
};

class NoLauncher final : public ProgramLauncher {
  public:
    bool start(const std::string&, const std::vector<std::string>&) override { return false; }
};

// Lets the event loop run for `ms` so timers and queued updates land before the grab.
void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget& w, const QString& folder, const QString& name) {
    w.show();
    settle(300);
    const QString path = QDir(folder).filePath(name);
    if (!w.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <output folder> <capture file>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    bool ok = true;

    SilentPrompt prompt;
    SettingsRecord settings = SettingsRecord::defaults("/home/user/");
    settings.setInterfaceAddress("127.0.0.1");

    {
        PcapFileSourceFactory sources(argv[2]);
        Silence sound;
        SystemLocalTimeSource time;
        NoLauncher launcher;
        PacketModeWindow window(settings, "/dev/null", {prompt, sources, sound, time, launcher});
        window.initialise();
        // The offscreen screen is 800 x 600; show the window at the size it asks for, as on
        // a desktop screen.
        window.resize(window.sizeHint().expandedTo(window.minimumSize()));
        window.show();
        window.core().engine().start(settings);
        settle(1500);
        if (auto* list = FindControl<QTableView>(&window, packet_ids::kList)) {
            list->selectRow(std::min(5, list->model()->rowCount() - 1));
            list->scrollToTop();
        }
        settle(300);
        ok = save(window, folder, QStringLiteral("packet_mode.png")) && ok;
        // The packet list's context menu on the selected row, drawn over the window where it
        // opens (the popup is a window of its own).
        if (auto* list = FindControl<QTableView>(&window, packet_ids::kList)) {
            const QRect row = list->visualRect(list->currentIndex());
            const QPoint at = list->viewport()->mapToGlobal(row.center());
            bool shot = false;
            QTimer::singleShot(300, [&] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                    QPixmap picture = window.grab();
                    QPainter painter(&picture);
                    painter.drawPixmap(window.mapFromGlobal(menu->pos()), menu->grab());
                    painter.end();
                    shot = picture.save(folder + QStringLiteral("/packet_menu.png"));
                    menu->close();
                }
            });
            QContextMenuEvent request(QContextMenuEvent::Mouse, list->viewport()->mapFromGlobal(at),
                                      at);
            QApplication::sendEvent(list->viewport(), &request);
            if (!shot)
                std::fprintf(stderr, "could not take the packet list's menu\n");
            ok = shot && ok;
        }
    }
    {
        // Some criteria filled in, as a user sets them up.
        SettingsRecord filterSettings = settings;
        filterSettings.setSrcIpList(0, 0x0A00A8C0);     // 192.168.0.10
        filterSettings.setSrcIpList(1, 0x0100007F);     // 127.0.0.1
        filterSettings.setEitherIpList(0, 0x070200C0);  // 192.0.2.7
        filterSettings.setDstPortList(0, 80);
        filterSettings.setDstPortList(1, 443);
        filterSettings.setMustContain1("GET ");
        filterSettings.setAllowIcmp(false);
        filterSettings.setFilterResolverHost("localhost");
        CurrentPacketFilters filters;
        FilterSetupWindow window(filterSettings, filters, prompt);
        ok = save(window, folder, QStringLiteral("filter_setup.png")) && ok;
    }
    {
        InterfaceChoiceWindow window(settings, prompt, nullptr, [] {
            return std::vector<std::string>{"127.0.0.1", "192.0.2.10"};
        });
        ok = save(window, folder, QStringLiteral("interface_choice.png")) && ok;
    }
    {
        ModeChoiceWindow window(settings, prompt);
        ok = save(window, folder, QStringLiteral("mode_choice.png")) && ok;
    }
    {
        HelpWindow window;
        ok = save(window, folder, QStringLiteral("help.png")) && ok;
    }
    {
        AboutWindow window(settings, {prompt});
        ok = save(window, folder, QStringLiteral("about.png")) && ok;
    }
    {
        AgreementWindow window;
        ok = save(window, folder, QStringLiteral("agreement.png")) && ok;
    }
    {
        const auto noInstallation = [](const InstallRequest&) { return InstallOutcome{}; };
        const std::string directory = "/home/user/.local/opt/Brindlecraft VORLANX 1.5/";
        {
            InstallerWindow window(directory, prompt, noInstallation);
            ok = save(window, folder, QStringLiteral("installer.png")) && ok;
        }
        {
            // The backdrop at a modest size with the installer over it, as the user meets
            // them together (the installer is a window of its own, drawn in where it sits).
            InstallerBackdrop backdrop(prompt, QRect(0, 0, 760, 520));
            backdrop.show();
            InstallerWindow installer(directory, prompt, noInstallation, &backdrop);
            installer.show();
            settle(300);
            QPixmap picture = backdrop.grab();
            QPainter painter(&picture);
            painter.drawPixmap(backdrop.mapFromGlobal(installer.mapToGlobal(QPoint(0, 0))),
                               installer.grab());
            painter.end();
            const QString path = QDir(folder).filePath(QStringLiteral("installer_backdrop.png"));
            const bool shot = picture.save(path);
            std::printf("%s\n", qPrintable(path));
            ok = shot && ok;
        }
        UninstallerWindow window([] {});
        ok = save(window, folder, QStringLiteral("uninstaller.png")) && ok;
    }
    {
        // Automatic logging switched on, as a user sets it up.
        SettingsRecord general = settings;
        general.setAutoLog(true);
        general.setAutoLogPath("/home/user/packets.txt");
        general.setAutoLogDec(true);
        Silence sound;
        GeneralSettingsWindow window(general, sound);
        ok = save(window, folder, QStringLiteral("general_settings.png")) && ok;
    }
    {
        PcapFileSourceFactory sources(argv[2]);
        SteadyProgramClock clock;
        SystemLocalTimeSource time;
        NoLauncher launcher;
        QTemporaryDir output;
        SettingsRecord fileSettings = settings;
        fileSettings.setFileDirectory(output.path().toStdString() + "/");
        fileSettings.setAckTimeoutMs(200);
        FileModeWindow window(fileSettings, "/dev/null", {prompt, sources, clock, time, launcher});
        window.initialise();
        window.show();
        FindControl<QToolButton>(&window, file_ids::kStart)->click();
        settle(1500);
        window.updateRates();  // the 5 s timer has not come round yet
        ok = save(window, folder, QStringLiteral("file_mode.png")) && ok;
    }
    return ok ? 0 : 1;
}
