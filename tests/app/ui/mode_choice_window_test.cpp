#include <QCheckBox>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>

#include "settings/product.h"
#include "app/ui/mode_choice_window.h"
#include "app/ui/qt_startup_windows.h"
#include "setup/install.h"
#include "setup/ui/agreement_window.h"
#include "setup/ui/installer_window.h"
#include "setup/ui/uninstaller_window.h"
#include "filemode/ui/file_mode_controls.h"
#include "filemode/ui/file_mode_window.h"
#include "settings/settings_file.h"
#include "support/loopback_sockets.h"
#include "support/temp_dir.h"
#include "platform/qt/control_ids.h"
#include "support/recording_launcher.h"
#include "support/scripted_prompt.h"

Q_DECLARE_METATYPE(vorlanx::ModeChoiceOutcome)

namespace vorlanx {

class ModeChoiceWindowTest : public QObject {
    Q_OBJECT

    static void showActive(QWidget& w) {
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
    }
    // A record as a first start leaves it: Mode Choice shown, the mode not yet the one
    // the tests pick.
    static SettingsRecord fresh(uint32_t mode) {
        SettingsRecord s = SettingsRecord::defaults("/home/user/");
        s.setShowModeChoice(true);
        s.setMode(mode);
        return s;
    }

  private slots:
    void controlsCarryTheirIdsAndTexts() {
        SettingsRecord settings = fresh(0);
        test::ScriptedPrompt prompt;
        ModeChoiceWindow w(settings, prompt);

        QCOMPARE(w.windowTitle(), QString("Brindlecraft VORLANX Mode Choice"));
        QVERIFY(w.isModal());
        auto* text = w.findChild<QLabel*>("prompt");
        QVERIFY(text);
        QCOMPARE(text->text(), QString::fromUtf8("Choose a mode of analyzation below. For more "
                                                 "information, choose \"¿Help?\"."));

        struct Expected {
            int id;
            const char* text;
        };
        for (const Expected& e : {Expected{1050, "Packet Mode"}, Expected{1051, "File Mode"},
                                  Expected{1052, "¿Help?"}}) {
            auto* button = FindControl<QPushButton>(&w, e.id);
            QVERIFY2(button, e.text);
            QCOMPARE(button->text(), QString::fromUtf8(e.text));
            QCOMPARE(button->accessibleName(), QString::fromUtf8(e.text));
        }
        QVERIFY(FindControl<QPushButton>(&w, 1050)->isDefault());
        QVERIFY(!FindControl<QPushButton>(&w, 1051)->isDefault());

        auto* remember = FindControl<QCheckBox>(&w, 1053);
        QVERIFY(remember);
        QCOMPARE(remember->text(), QString("Remember my choice"));
        QVERIFY(!remember->isChecked());

        auto* logo = FindControl<QLabel>(&w, 1061);
        QVERIFY(logo);
        QVERIFY(!logo->accessibleName().isEmpty());
        QCOMPARE(logo->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    }

    void modeButtonsSetModeAndShowModeChoice_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("remember");
        QTest::addColumn<uint32_t>("startMode");
        QTest::addColumn<uint32_t>("mode");
        QTest::addColumn<bool>("showModeChoice");
        QTest::addColumn<ModeChoiceOutcome>("outcome");
        QTest::newRow("packet") << 1050 << false << 1u << 0u << true
                                << ModeChoiceOutcome::PacketMode;
        QTest::newRow("packet, remembered")
            << 1050 << true << 1u << 0u << false << ModeChoiceOutcome::PacketMode;
        QTest::newRow("file") << 1051 << false << 0u << 1u << true << ModeChoiceOutcome::FileMode;
        QTest::newRow("file, remembered")
            << 1051 << true << 0u << 1u << false << ModeChoiceOutcome::FileMode;
    }
    void modeButtonsSetModeAndShowModeChoice() {
        QFETCH(int, button);
        QFETCH(bool, remember);
        QFETCH(uint32_t, startMode);
        QFETCH(uint32_t, mode);
        QFETCH(bool, showModeChoice);
        QFETCH(ModeChoiceOutcome, outcome);

        SettingsRecord settings = fresh(startMode);
        SettingsRecord expected = settings;
        expected.setMode(mode);
        expected.setShowModeChoice(showModeChoice);
        test::ScriptedPrompt prompt;
        ModeChoiceWindow w(settings, prompt);
        showActive(w);
        if (remember)
            QTest::mouseClick(FindControl<QCheckBox>(&w, 1053), Qt::LeftButton);
        QTest::mouseClick(FindControl<QPushButton>(&w, button), Qt::LeftButton);

        QCOMPARE(w.outcome(), outcome);
        QVERIFY(!w.isVisible());
        QVERIFY(settings == expected);  // nothing else in the record changes
        QVERIFY(prompt.asked().empty());
    }

    void enterChoosesPacketMode() {
        SettingsRecord settings = fresh(1);
        test::ScriptedPrompt prompt;
        ModeChoiceWindow w(settings, prompt);
        showActive(w);
        QTest::keyClick(&w, Qt::Key_Return);
        QCOMPARE(w.outcome(), ModeChoiceOutcome::PacketMode);
        QCOMPARE(settings.mode(), 0u);
        QVERIFY(settings.showModeChoice());
    }

    void helpShowsTheExplanationAndKeepsTheWindow() {
        SettingsRecord settings = fresh(1);
        const SettingsRecord before = settings;
        test::ScriptedPrompt prompt;
        ModeChoiceWindow w(settings, prompt);
        showActive(w);
        QTest::mouseClick(FindControl<QPushButton>(&w, 1052), Qt::LeftButton);

        const auto asked = prompt.asked();
        QCOMPARE(asked.size(), size_t{1});
        QCOMPARE(asked[0].caption, std::string("Brindlecraft VORLANX"));
        QCOMPARE(asked[0].icon, PromptIcon::Information);
        QCOMPARE(asked[0].buttons, PromptButtons::Ok);
        QVERIFY(asked[0].owned);
        QCOMPARE(asked[0].text,
                 std::string(
                     "Packet Mode:\r\n  Packet Mode is for the reception of TCP/IP packets, this "
                     "mode allows you to view the contents of received packets.\r\n\r\nFile "
                     "Mode:\r\n  File Mode collects packets of the HTTP protocol, and then "
                     "attempts to construct these packets into the form of files while auto "
                     "saving these files for later viewing.\r\n\r\n\"Remember my choice\"\r\n  "
                     "Check this option if you do not wish for this dialog to be displayed in "
                     "the future, and you wish for your choice of mode to be automatically "
                     "chosen in the future."));
        QVERIFY(w.isVisible());
        QVERIFY(settings == before);
    }

    void escAndTheCloseBoxChangeNothing() {
        struct Case {
            bool useEsc;
            ModeChoiceOutcome outcome;
        };
        for (const Case& c :
             {Case{true, ModeChoiceOutcome::Cancelled}, Case{false, ModeChoiceOutcome::Closed}}) {
            SettingsRecord settings = fresh(1);
            const SettingsRecord before = settings;
            test::ScriptedPrompt prompt;
            ModeChoiceWindow w(settings, prompt);
            showActive(w);
            QTest::mouseClick(FindControl<QCheckBox>(&w, 1053), Qt::LeftButton);
            if (c.useEsc)
                QTest::keyClick(&w, Qt::Key_Escape);
            else
                w.close();
            QVERIFY(!w.isVisible());
            QCOMPARE(w.outcome(), c.outcome);
            QVERIFY(settings == before);
        }
    }

    void theLogoOpensTheMakersWebPage() {
        SettingsRecord settings = fresh(0);
        test::ScriptedPrompt prompt;
        std::vector<std::string> opened;
        ModeChoiceWindow w(settings, prompt, nullptr,
                           [&](const std::string& address) { opened.push_back(address); });
        showActive(w);
        auto* logo = FindControl<QLabel>(&w, 1061);
        QTest::mouseClick(logo, Qt::RightButton);
        QVERIFY(opened.empty());
        QTest::mouseClick(logo, Qt::LeftButton);
        QCOMPARE(opened, std::vector<std::string>{kMakerWebAddress});
        QVERIFY(w.isVisible());
        QCOMPARE(w.outcome(), ModeChoiceOutcome::Cancelled);
    }

    // Start-up's entry point runs the window modally and reads its outcome.
    void startupRunsTheWindowModally() {
        test::ScriptedPrompt prompt;
        MemoryKeyValueStore store;
        test::RecordingLauncher launcher;
        QtStartupWindows windows(prompt, store, launcher);
        auto whenOpen = [](std::function<void(QWidget*)> act) {
            QTimer::singleShot(0, [act] {
                QWidget* modal = QApplication::activeModalWidget();
                QVERIFY(modal);
                act(modal);
            });
        };

        SettingsRecord closed = fresh(1);
        const SettingsRecord before = closed;
        whenOpen([](QWidget* w) { w->close(); });
        QVERIFY(!windows.runModeChoice(closed));
        QVERIFY(closed == before);

        SettingsRecord escaped = fresh(1);
        whenOpen([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        QVERIFY(windows.runModeChoice(escaped));
        QCOMPARE(escaped.mode(), 1u);

        SettingsRecord chosen = fresh(0);
        whenOpen([](QWidget* w) {
            QTest::mouseClick(FindControl<QCheckBox>(w, 1053), Qt::LeftButton);
            QTest::mouseClick(FindControl<QPushButton>(w, 1051), Qt::LeftButton);
        });
        QVERIFY(windows.runModeChoice(chosen));
        QCOMPARE(chosen.mode(), 1u);
        QVERIFY(!chosen.showModeChoice());
        QVERIFY(prompt.asked().empty());
    }

    // The first-run path in a temporary home: the agreement, accepted once scrolled to its
    // end; the installer over its backdrop, which copies this very executable, writes the
    // menu entry and the keys; then the uninstaller takes the entry and the uninstall key.
    void firstRunAgreementInstallerAndUninstaller() {
        test::TempDir home;
        const char* names[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "TMPDIR"};
        std::vector<QByteArray> saved;
        for (const char* name : names)
            saved.push_back(qgetenv(name));
        qputenv("HOME", home.path().string().c_str());
        qputenv("XDG_DATA_HOME", home.file(".local/share").c_str());
        qputenv("XDG_CONFIG_HOME", home.file(".config").c_str());
        qputenv("TMPDIR", home.path().string().c_str());
        test::ScriptedPrompt prompt;
        MemoryKeyValueStore store;
        test::RecordingLauncher launcher;
        QtStartupWindows windows(prompt, store, launcher);
        // Acts on the first top-level window of type W once it shows.
        auto whenShown = []<typename W>(W*, std::function<void(W*)> act) {
            auto* poll = new QTimer;
            QObject::connect(poll, &QTimer::timeout, [poll, act] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* window = qobject_cast<W*>(w); window && window->isVisible()) {
                        poll->deleteLater();
                        poll->stop();
                        act(window);
                        return;
                    }
            });
            poll->start(20);
        };

        whenShown(static_cast<AgreementWindow*>(nullptr), std::function([](AgreementWindow* w) {
                      auto* list = FindControl<QTreeWidget>(w, AgreementWindow::kTextId);
                      list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
                      auto* agree = FindControl<QPushButton>(w, AgreementWindow::kAgreeId);
                      QTRY_VERIFY(agree->isEnabled());
                      agree->click();
                  }));
        QVERIFY(windows.runAgreement());

        whenShown(static_cast<InstallerWindow*>(nullptr), std::function([](InstallerWindow* w) {
                      FindControl<QCheckBox>(w, InstallerWindow::kRunWhenDoneId)->setChecked(false);
                      FindControl<QPushButton>(w, InstallerWindow::kInstallId)->click();
                  }));
        windows.runInstaller();
        const std::string installed =
            home.file(".local/opt/Brindlecraft VORLANX 1.5/BrindlecraftVORLANXv1.5");
        QCOMPARE(std::filesystem::file_size(installed),
                 std::filesystem::file_size("/proc/self/exe"));
        QVERIFY(std::filesystem::exists(home.file(".local/opt/Brindlecraft VORLANX 1.5/"
                                                  "BrindlecraftVORLANXv1.5.png")));
        const std::string entry = home.file(".local/share/applications/" +
                                            std::string(kEntryFileName));
        QVERIFY(std::filesystem::exists(entry));
        QCOMPARE(store.readKey(kInstallKey).value().at(kInstalledPathValue), installed);
        QVERIFY(store.readKey(kUninstallKey).has_value());
        QCOMPARE(prompt.texts().back(),
                 std::string("Installation of Brindlecraft VORLANX 1.5 is now complete."));
        QVERIFY(launcher.starts.empty());  // 1072 was unchecked

        whenShown(static_cast<UninstallerWindow*>(nullptr), std::function([](UninstallerWindow* w) {
                      FindControl<QPushButton>(w, UninstallerWindow::kRemoveId)->click();
                  }));
        windows.runUninstaller();
        QVERIFY(!std::filesystem::exists(entry));
        QVERIFY(!store.readKey(kUninstallKey).has_value());
        QVERIFY(store.readKey(kInstallKey).has_value());  // the product key stays
        QCOMPARE(launcher.starts.size(), size_t{1});       // the removal script
        QCOMPARE(launcher.starts[0].program, std::string("/bin/sh"));

        for (size_t i = 0; i < saved.size(); ++i) {
            if (saved[i].isNull())
                qunsetenv(names[i]);
            else
                qputenv(names[i], saved[i]);
        }
    }

    // Start-up runs File Mode until its window closes; the window stores what was edited.
    void startUpRunsFileModeUntilTheWindowCloses() {
        test::TempDir dir;
        test::ScriptedPrompt prompt;
        MemoryKeyValueStore store;
        test::RecordingLauncher launcher;
        QtStartupWindows windows(prompt, store, launcher);
        SettingsRecord settings = SettingsRecord::defaults("/tmp/");
        settings.setInterfaceAddress("127.0.0.1");
        settings.setMode(1);

        // The user edits the directory and closes the window; a guard ends a loop that would
        // otherwise wait for ever.
        bool sawWindow = false;
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* window = qobject_cast<FileModeWindow*>(w);
                if (!window || !window->isVisible())
                    continue;
                sawWindow = true;
                FindControl<QLineEdit>(window, file_ids::kDirectory)->setText(QStringLiteral("/srv/got/"));
                window->close();
            }
        });
        user.start(100);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QApplication::exit(1); });
        guard.start(20000);

        const int code = windows.runFileMode(settings, dir.file("vorlanx.BCS"));
        user.stop();
        guard.stop();
        QCOMPARE(code, 0);
        if (!test::CanCapture()) {
            // The trial found no raw sockets: told, and the program ends without the window.
            QVERIFY(!sawWindow);
            QCOMPARE(prompt.asked().size(), size_t{2});
            return;
        }
        QVERIFY(sawWindow);
        SettingsRecord onDisk;
        LoadSettings(onDisk, dir.file("vorlanx.BCS"));
        QCOMPARE(onDisk.fileDirectory(), std::string("/srv/got/"));
        QCOMPARE(onDisk.mode(), 1u);
    }
};

}  // namespace vorlanx

QTEST_MAIN(vorlanx::ModeChoiceWindowTest)
#include "mode_choice_window_test.moc"
