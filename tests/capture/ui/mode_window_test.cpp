#include <QAction>
#include <QMenuBar>
#include <QTreeWidget>
#include <QtTest>

#include "capture/ui/mode_window.h"
#include "platform/qt/control_ids.h"
#include "settings/product.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

class RecordingLauncher final : public ProgramLauncher {
  public:
    bool start(const std::string& program, const std::vector<std::string>& args) override {
        m_program = program;
        m_args = args;
        return true;
    }
    std::string m_program;
    std::vector<std::string> m_args;
};

// The smallest mode window: the frame, a logo and counters of what the frame asked for.
class FrameWindow final : public ModeWindow {
  public:
    FrameWindow(SettingsRecord& settings, const std::string& path, ModeWindowServices services)
        : ModeWindow(settings, path, std::move(services), CaptureMode::Packet) {
        MainMenuCommands commands;
        commands.help = [this] { ++m_helps; };
        buildMainMenu(commands);
        m_logo = makeLogo(1065);
        setCentralWidget(m_logo);
        resize(300, 200);
    }
    void storeSettings() override { ++m_stores; }
    void interfaceChosen() override { ++m_interfaceChoices; }

    MakerLogo* m_logo = nullptr;
    int m_helps = 0;
    int m_stores = 0;
    int m_interfaceChoices = 0;
};

QAction* MenuCommand(QMainWindow& window, int id) {
    for (QAction* a : window.menuBar()->findChildren<QAction*>())
        if (a->property(kControlIdProperty).toInt() == id)
            return a;
    return nullptr;
}

}  // namespace

class ModeWindowTest : public QObject {
    Q_OBJECT

    struct Harness {
        test::TempDir dir;
        test::ScriptedPrompt prompt;
        RecordingLauncher launcher;
        std::vector<std::string> opened;
        SettingsRecord settings = SettingsRecord::defaults("/tmp/");
        FrameWindow window{settings, dir.file("vorlanx.BCS"),
                           ModeWindowServices{prompt, launcher,
                                              [] { return std::vector<std::string>{"127.0.0.1"}; },
                                              [this](const std::string& a) { opened.push_back(a); }}};
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

    void escKeepsTheWindowAndF1RunsHelp() {
        Harness h;
        QTest::keyClick(&h.window, Qt::Key_Escape);
        QVERIFY(h.window.isVisible());
        QCOMPARE(h.window.m_helps, 0);
        QTest::keyClick(&h.window, Qt::Key_F1);
        QCOMPARE(h.window.m_helps, 1);
        QVERIFY(h.window.isVisible());
        QVERIFY(h.prompt.asked().empty());
    }

    void theMenuCarriesTheFramesCommands() {
        Harness h;
        struct Case {
            int id;
            const char* text;
        };
        for (const Case& c : {Case{main_menu_ids::kExit, "&Exit"},
                              Case{main_menu_ids::kNetworkInterface, "&Network interface"},
                              Case{main_menu_ids::kChangeMode, "&Change"},
                              Case{main_menu_ids::kHelp, "&Help"}}) {
            QAction* a = MenuCommand(h.window, c.id);
            QVERIFY2(a, c.text);
            QCOMPARE(a->text(), QString::fromLatin1(c.text));
            QVERIFY(a->isEnabled());
        }
        QVERIFY(!MenuCommand(h.window, main_menu_ids::kSave)->isEnabled());
        MenuCommand(h.window, main_menu_ids::kExit)->trigger();
        QVERIFY(!h.window.isVisible());
    }

    void changeModeStoresStartsTheOtherModeAndCloses() {
        Harness h;
        h.prompt.script({PromptAnswer::No});
        MenuCommand(h.window, main_menu_ids::kChangeMode)->trigger();
        QVERIFY(h.window.isVisible());
        QVERIFY(h.launcher.m_args.empty());

        h.prompt.script({PromptAnswer::Yes});
        MenuCommand(h.window, main_menu_ids::kChangeMode)->trigger();
        QCOMPARE(h.window.m_stores, 1);
        QCOMPARE(h.launcher.m_args, (std::vector<std::string>{"/NoInstall", "/Packet_Mode"}));
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
