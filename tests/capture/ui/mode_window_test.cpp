#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "capture/ui/help_window.h"
#include "capture/ui/mode_window.h"
#include "platform/qt/control_ids.h"
#include "settings/product.h"
#include "support/recording_launcher.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

// The smallest mode window: the frame, a logo and counters of what the frame asked for.
class FrameWindow final : public ModeWindow {
  public:
    FrameWindow(SettingsRecord& settings, const std::string& path, ModeWindowServices services)
        : ModeWindow(settings, path, std::move(services), CaptureMode::Packet) {
        buildMainMenu({});
        m_logo = makeLogo(1065);
        setCentralWidget(m_logo);
        resize(300, 200);
    }
    void storeSettings() override { ++m_stores; }
    void interfaceChosen() override { ++m_interfaceChoices; }

    MakerLogo* m_logo = nullptr;
    int m_stores = 0;
    int m_interfaceChoices = 0;
};

QAction* MenuCommand(QMainWindow& window, int id) {
    for (QAction* a : window.menuBar()->findChildren<QAction*>())
        if (a->property(kControlIdProperty).toInt() == id)
            return a;
    return nullptr;
}

// What `open` brought up: inside the Help window it presses another topic and F1, then
// closes it with Esc.
struct HelpSeen {
    bool opened = false;
    bool onIntro = false;
    qsizetype windows = 0;
};
HelpSeen RunHelp(QWidget& owner, const std::function<void()>& open) {
    HelpSeen seen;
    QTimer answer;  // gone with this call if no Help window comes up
    answer.setSingleShot(true);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* help = qobject_cast<HelpWindow*>(QApplication::activeModalWidget());
        if (!help)
            return;
        seen.opened = true;
        seen.onIntro = FindControl<QPushButton>(help, HelpWindow::kTopicIds[0])->isChecked();
        QTest::mouseClick(FindControl<QPushButton>(help, 1030), Qt::LeftButton);
        QTest::keyClick(help, Qt::Key_F1);
        seen.windows = owner.findChildren<HelpWindow*>().size();
        QTest::keyClick(help, Qt::Key_Escape);
    });
    answer.start(0);
    open();
    return seen;
}

}  // namespace

class ModeWindowTest : public QObject {
    Q_OBJECT

    struct Harness {
        test::TempDir dir;
        test::ScriptedPrompt prompt;
        test::RecordingLauncher launcher;
        std::vector<std::string> opened;
        std::vector<std::pair<QWidget*, const SettingsRecord*>> abouts;
        SettingsRecord settings = SettingsRecord::defaults("/tmp/");
        FrameWindow window{settings, dir.file("vorlanx.BCS"),
                           ModeWindowServices{prompt, launcher,
                                              [] { return std::vector<std::string>{"127.0.0.1"}; },
                                              [this](const std::string& a) { opened.push_back(a); },
                                              [this](QWidget* owner, const SettingsRecord& s) {
                                                  abouts.emplace_back(owner, &s);
                                              }}};
        Harness() {
            window.show();
            window.activateWindow();
            if (!QTest::qWaitForWindowActive(&window))
                qWarning("the window did not become active");
        }
    };

  private slots:
    void theLogoOpensTheMakersPageOnALeftClickOnly() {
        struct Case {
            Qt::MouseButton button;
            bool releaseOutside;
            size_t opened;
        };
        for (const Case& c : {Case{Qt::LeftButton, false, 1}, Case{Qt::RightButton, false, 0},
                              Case{Qt::MiddleButton, false, 0}, Case{Qt::LeftButton, true, 0}}) {
            Harness h;
            MakerLogo* logo = h.window.m_logo;
            QTest::mousePress(logo, c.button, {}, QPoint(5, 5));
            QTest::mouseRelease(logo, c.button, {},
                                c.releaseOutside ? QPoint(-20, -20) : QPoint(6, 6));
            QCOMPARE(h.opened.size(), c.opened);
            if (c.opened)
                QCOMPARE(h.opened.front(), std::string(kMakerWebAddress));
        }
    }

    void escKeepsTheWindowWhileF1AndTheMenuOpenHelpOnItsIntro() {
        Harness h;
        QTest::keyClick(&h.window, Qt::Key_Escape);
        QVERIFY(h.window.isVisible());
        QVERIFY(h.window.findChildren<HelpWindow*>().isEmpty());
        auto* edit = new QLineEdit(&h.window);  // F1 works whatever has the focus
        edit->setFocus();
        // The second opening follows a visit to another topic, yet starts on the intro.
        struct Case {
            const char* how;
            std::function<void()> open;
        };
        for (const Case& c :
             {Case{"F1", [&] { QTest::keyClick(edit, Qt::Key_F1); }},
              Case{"menu", [&] { MenuCommand(h.window, main_menu_ids::kHelp)->trigger(); }}}) {
            const HelpSeen seen = RunHelp(h.window, c.open);
            QVERIFY2(seen.opened && seen.onIntro, c.how);
            QCOMPARE(seen.windows, qsizetype{1});
            QVERIFY(h.window.findChildren<HelpWindow*>().isEmpty());
        }
        QVERIFY(h.window.isVisible());
        QVERIFY(h.prompt.asked().empty());
    }

    void theMenuCarriesTheFramesCommands() {
        Harness h;
        struct Case {
            int id;
            const char* text;
        };
        for (const Case& c :
             {Case{main_menu_ids::kExit, "&Exit"},
              Case{main_menu_ids::kNetworkInterface, "&Network interface"},
              Case{main_menu_ids::kChangeMode, "&Change"}, Case{main_menu_ids::kHelp, "&Help"},
              Case{main_menu_ids::kAbout, "&About"}}) {
            QAction* a = MenuCommand(h.window, c.id);
            QVERIFY2(a, c.text);
            QCOMPARE(a->text(), QString::fromLatin1(c.text));
            QVERIFY(a->isEnabled());
        }
        QVERIFY(!MenuCommand(h.window, main_menu_ids::kSave)->isEnabled());
        // About opens over the window with its settings.
        MenuCommand(h.window, main_menu_ids::kAbout)->trigger();
        QCOMPARE(h.abouts.size(), size_t{1});
        QCOMPARE(h.abouts[0].first, &h.window);
        QCOMPARE(h.abouts[0].second, &h.settings);
        MenuCommand(h.window, main_menu_ids::kExit)->trigger();
        QVERIFY(!h.window.isVisible());
    }

    void changeModeStoresStartsTheOtherModeAndCloses() {
        Harness h;
        h.prompt.script({PromptAnswer::No});
        MenuCommand(h.window, main_menu_ids::kChangeMode)->trigger();
        QVERIFY(h.window.isVisible());
        QVERIFY(h.launcher.starts.empty());

        h.prompt.script({PromptAnswer::Yes});
        MenuCommand(h.window, main_menu_ids::kChangeMode)->trigger();
        QCOMPARE(h.window.m_stores, 1);
        QCOMPARE(h.launcher.starts.size(), size_t{1});
        QCOMPARE(h.launcher.starts[0].args,
                 (std::vector<std::string>{"/NoInstall", "/Packet_Mode"}));
        QVERIFY(!h.window.isVisible());
        QVERIFY(h.prompt.asked().at(1).owned);
    }

    void chooseInterfaceStoresTheChoiceAndTellsTheWindow() {
        Harness h;
        QTimer::singleShot(0, [] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal);
            auto* list = FindControl<QTreeWidget>(modal, InterfaceChoiceWindow::kAddressListId);
            QVERIFY(list);
            list->setCurrentItem(list->topLevelItem(0));
            QTest::keyClick(modal, Qt::Key_Return);
        });
        MenuCommand(h.window, main_menu_ids::kNetworkInterface)->trigger();
        QCOMPARE(h.settings.interfaceAddress(), std::string("127.0.0.1"));
        QCOMPARE(h.window.m_interfaceChoices, 1);
    }
};

}  // namespace vorlanx

QTEST_MAIN(vorlanx::ModeWindowTest)
#include "mode_window_test.moc"
