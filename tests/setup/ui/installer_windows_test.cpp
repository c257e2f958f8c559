// The installer, its backdrop and the uninstaller as the user meets them: controls by id,
// the close box and Esc, the install button around a recording installation, the
// backdrop's gradient and pulse, and the backdrop's life around the installer.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "platform/qt/control_ids.h"
#include "setup/ui/installer_backdrop.h"
#include "setup/ui/installer_window.h"
#include "setup/ui/uninstaller_window.h"
#include "support/scripted_prompt.h"

namespace vorlanx {

namespace {

const std::string kDefault = "/home/user/.local/opt/Brindlecraft VORLANX 1.5/";

QCheckBox* Check(const QWidget& w, int id) {
    return FindControl<QCheckBox>(&w, id);
}
QPushButton* Button(const QWidget& w, int id) {
    return FindControl<QPushButton>(&w, id);
}
QLineEdit* Directory(const QWidget& w) {
    return FindControl<QLineEdit>(&w, InstallerWindow::kDirectoryId);
}

// True when some pixel of `area` in `image` is `wanted`'s.
bool AnyPixel(const QImage& image, QRect area, const std::function<bool(QRgb)>& wanted) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (wanted(image.pixel(x, y)))
                return true;
    return false;
}

// The backdrop under a running installer: the whole primary screen without a frame,
// disabled, the gradient and both texts shown, the pulse going, Esc ignored.
void CheckBackdropUnder(const InstallerWindow& installer) {
    auto* backdrop = qobject_cast<InstallerBackdrop*>(installer.parentWidget());
    QVERIFY(backdrop);
    QCOMPARE(backdrop->geometry(), QGuiApplication::primaryScreen()->geometry());
    QVERIFY(backdrop->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!backdrop->isEnabled());
    QVERIFY(installer.isEnabled());
    QCOMPARE(installer.windowModality(), Qt::WindowModal);
    QVERIFY(backdrop->pulse().value > 0);
    QCOMPARE(backdrop->font().pointSize(), 24);
    const QImage shown = backdrop->grab().toImage();
    QCOMPARE(shown.pixel(shown.width() - 1, shown.height() - 1), qRgb(254, 254, 254));
    // "Installation" below the title; the title green with the pulse as blue.
    QVERIFY(AnyPixel(shown, QRect(68, 98, 400, 50), [](QRgb p) { return p == qRgb(0, 255, 100); }));
    QVERIFY(AnyPixel(shown, QRect(48, 48, 600, 45),
                     [](QRgb p) { return qRed(p) == 0 && qGreen(p) == 255 && qBlue(p) >= 4; }));
    backdrop->reject();
    QVERIFY(backdrop->isVisible());
}

InstallFunction Never() {
    return [](const InstallRequest&) -> InstallOutcome { qFatal("the installation must not run"); };
}

}  // namespace

class InstallerWindowsTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsStartAsLaidOut() {
        test::ScriptedPrompt prompt;
        InstallerWindow installer(kDefault, prompt, Never());
        QCOMPARE(installer.windowTitle(), QStringLiteral("Brindlecraft Installer V1.3"));
        QVERIFY(!installer.windowIcon().isNull());
        QCOMPARE(Directory(installer)->text(), QString::fromStdString(kDefault));
        QCOMPARE(Directory(installer)->accessibleName(),
                 QStringLiteral("Directory to install to:"));
        const struct {
            int id;
            const char* text;
            bool checked;
        } checks[] = {
            {1070, "Create Desktop Shortcut", true},
            {1071, "Create Start Menu Shortcut", true},
            {1072, "Run program when installation is complete", true},
            {1074, "Create shortcuts (if any) for all users of computer.", false},
        };
        for (const auto& c : checks) {
            const QCheckBox* box = Check(installer, c.id);
            QVERIFY2(box, c.text);
            QCOMPARE(box->text(), QString::fromLatin1(c.text));
            QCOMPARE(box->accessibleName(), QString::fromLatin1(c.text));
            QCOMPARE(box->isChecked(), c.checked);
        }
        const QPushButton* install = Button(installer, 1073);
        QCOMPARE(install->text(), QStringLiteral("Install Brindlecraft VORLANX 1.5"));
        QCOMPARE(install->accessibleName(), install->text());
        QVERIFY(install->isDefault());

        UninstallerWindow uninstaller([] {});
        QCOMPARE(uninstaller.windowTitle(), QStringLiteral("Brindlecraft Un-Installer V1.0.1"));
        QCOMPARE(uninstaller.findChild<QLabel*>()->text(),
                 QStringLiteral("Click the button below to remove Brindlecraft VORLANX"));
        const QPushButton* remove = Button(uninstaller, 1091);
        QCOMPARE(remove->text(),
                 QStringLiteral("Completely remove Brindlecraft VORLANX 1.5 from this machine"));
        QCOMPARE(remove->accessibleName(), remove->text());
        QVERIFY(remove->isDefault());
    }

    // The close box asks and closes only on Yes; Esc closes without a question.
    void closeBoxAsksEscDoesNot() {
        const struct {
            bool escape;
            std::vector<PromptAnswer> answers;
            bool staysOpen;
        } cases[] = {
            {false, {PromptAnswer::No}, true},
            {false, {PromptAnswer::Yes}, false},
            {true, {}, false},
        };
        for (const auto& c : cases) {
            test::ScriptedPrompt prompt;
            for (PromptAnswer a : c.answers)
                prompt.script({a});
            InstallerWindow installer(kDefault, prompt, Never());
            installer.show();
            QVERIFY(QTest::qWaitForWindowExposed(&installer));
            if (c.escape)
                QTest::keyClick(&installer, Qt::Key_Escape);
            else
                installer.close();
            QCOMPARE(installer.isVisible(), c.staysOpen);
            const auto asked = prompt.asked();
            QCOMPARE(asked.size(), c.answers.size());
            if (!asked.empty()) {
                QCOMPARE(asked[0].caption, std::string("Brindlecraft VORLANX"));
                QCOMPARE(asked[0].text,
                         std::string("Are you sure you want to quit the installation?"));
                QCOMPARE(asked[0].buttons, PromptButtons::YesNo);
            }
        }
    }

    // 1073 hands the controls over while the window waits; success closes it, a failure
    // puts the outcome's directory into 1069 and leaves the window open.
    void installButtonRunsTheInstallation() {
        const struct {
            std::vector<int> toggled;
            bool succeeded;
        } cases[] = {
            {{}, true},
            {{1070, 1072, 1074}, false},
            {{1071}, true},
        };
        for (const auto& c : cases) {
            test::ScriptedPrompt prompt;
            std::vector<InstallRequest> requests;
            bool disabledDuringCall = false;
            bool waitCursorDuringCall = false;
            InstallerWindow installer(kDefault, prompt, [&](const InstallRequest& r) {
                requests.push_back(r);
                disabledDuringCall = !installer.isEnabled();
                const QCursor* cursor = QGuiApplication::overrideCursor();
                waitCursorDuringCall = cursor && cursor->shape() == Qt::WaitCursor;
                return InstallOutcome{c.succeeded, "/opt/reset/", ""};
            });
            installer.show();
            QVERIFY(QTest::qWaitForWindowExposed(&installer));
            Directory(installer)->setText(QStringLiteral("~/tools/vorlanx"));
            for (int id : c.toggled)
                QTest::mouseClick(Check(installer, id), Qt::LeftButton);
            QTest::mouseClick(Button(installer, 1073), Qt::LeftButton);

            QCOMPARE(requests.size(), size_t{1});
            const InstallRequest& r = requests[0];
            const auto toggled = [&](int id) {
                return std::find(c.toggled.begin(), c.toggled.end(), id) != c.toggled.end();
            };
            QCOMPARE(r.directory, std::string("~/tools/vorlanx"));
            QCOMPARE(r.desktopEntry, !toggled(1070));
            QCOMPARE(r.menuEntry, !toggled(1071));
            QCOMPARE(r.runWhenDone, !toggled(1072));
            QCOMPARE(r.allUsers, toggled(1074));
            QVERIFY(r.runningExecutable.empty() && r.iconPng.empty());
            QVERIFY(disabledDuringCall);
            QVERIFY(waitCursorDuringCall);
            QVERIFY(installer.isEnabled());
            QVERIFY(QGuiApplication::overrideCursor() == nullptr);
            QCOMPARE(installer.isVisible(), !c.succeeded);
            QCOMPARE(installer.result(),
                     c.succeeded ? int{QDialog::Accepted} : int{QDialog::Rejected});
            QCOMPARE(Directory(installer)->text(), c.succeeded ? QStringLiteral("~/tools/vorlanx")
                                                               : QStringLiteral("/opt/reset/"));
            QVERIFY(prompt.asked().empty());
        }
    }

    void gradientValues() {
        const QImage image = GradientImage(QSize(1920, 1080));
        QCOMPARE(image.size(), QSize(1920, 1080));
        const struct {
            int x, y;
            QRgb rgb;
        } pixels[] = {
            {0, 0, qRgb(0, 0, 0)},           {1919, 0, qRgb(254, 0, 0)},
            {0, 1079, qRgb(0, 254, 254)},    {1919, 1079, qRgb(254, 254, 254)},
            {960, 540, qRgb(127, 127, 127)}, {1, 5, qRgb(0, 1, 1)},
        };
        for (const auto& p : pixels)
            QCOMPARE(image.pixel(p.x, p.y), p.rgb);
        QVERIFY(GradientImage(QSize(0, 1080)).isNull());
        QVERIFY(GradientImage(QSize(-1, -1)).isNull());
    }

    // From 0 the pulse climbs to 252, falls to 4 and climbs again, cycle after cycle.
    void pulseRunsBetween4And252() {
        std::vector<int> expected;
        for (int cycle = 0; cycle < 2; ++cycle) {
            for (int v = cycle == 0 ? 4 : 8; v <= 252; v += 4)
                expected.push_back(v);
            for (int v = 248; v >= 4; v -= 4)
                expected.push_back(v);
        }
        Pulse pulse;
        for (size_t i = 0; i < expected.size(); ++i) {
            pulse = NextPulse(pulse);
            QVERIFY2(pulse.value == expected[i], qPrintable(QString::number(i)));
        }
        QCOMPARE(NextPulse(pulse).value, 8);
    }

    // A gradient that cannot be made gives the non-fatal message; the backdrop goes on.
    void backdropWithoutGradient() {
        test::ScriptedPrompt prompt;
        InstallerBackdrop backdrop(prompt, QRect());
        QCOMPARE(prompt.texts(), std::vector<std::string>{
                                     "Non-fatal internal error code: 2\r\nSetup will continue"});
        backdrop.installerEnded();
        backdrop.show();
        QTRY_VERIFY_WITH_TIMEOUT(!backdrop.isVisible(), 1000);
    }

    // The backdrop covers the primary screen without a frame, shows the gradient, pulses,
    // and ignores Esc while the installer above it runs; once the installer ends it closes
    // within a few ticks.
    void backdropLivesAsLongAsTheInstaller() {
        for (const bool installs : {true, false}) {
            test::ScriptedPrompt prompt;
            int installations = 0;
            bool checked = false;
            QElapsedTimer sinceInstallerEnded;
            QTimer::singleShot(200, [&] {
                auto* installer = qobject_cast<InstallerWindow*>(QApplication::activeModalWidget());
                QVERIFY(installer);
                CheckBackdropUnder(*installer);
                checked = !QTest::currentTestFailed();
                QObject::connect(installer, &QDialog::finished,
                                 [&] { sinceInstallerEnded.start(); });
                if (installs)
                    QTest::mouseClick(Button(*installer, 1073), Qt::LeftButton);
                else
                    QTest::keyClick(installer, Qt::Key_Escape);
            });
            const bool installed =
                RunInstallerOverBackdrop(kDefault, prompt, [&](const InstallRequest&) {
                    ++installations;
                    return InstallOutcome{true, "", ""};
                });
            QVERIFY(checked);
            QVERIFY(sinceInstallerEnded.isValid());
            QVERIFY(sinceInstallerEnded.elapsed() < 1000);
            QCOMPARE(installed, installs);
            QCOMPARE(installations, installs ? 1 : 0);
            const QWidgetList windows = QApplication::topLevelWidgets();
            QVERIFY(std::none_of(windows.begin(), windows.end(),
                                 [](const QWidget* w) { return w->isVisible(); }));
        }
    }

    void uninstallerRemovesOnlyThroughItsButton() {
        const std::function<void(UninstallerWindow&)> ways[] = {
            [](UninstallerWindow& w) { QTest::mouseClick(Button(w, 1091), Qt::LeftButton); },
            [](UninstallerWindow& w) { w.close(); },
            [](UninstallerWindow& w) { QTest::keyClick(&w, Qt::Key_Escape); },
        };
        bool first = true;
        for (const auto& way : ways) {
            int removals = 0;
            UninstallerWindow window([&] { ++removals; });
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            way(window);
            QVERIFY(!window.isVisible());
            QCOMPARE(removals, first ? 1 : 0);
            QCOMPARE(window.removed(), first);
            first = false;
        }
    }
};

}  // namespace vorlanx

QTEST_MAIN(vorlanx::InstallerWindowsTest)
#include "installer_windows_test.moc"
