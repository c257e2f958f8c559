// About and the agreement as the user meets them: About's rows, colours, links, cursors
// and the update check against a server on the loopback interface; the agreement's
// accept button that waits for the end of the text.
#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "platform/qt/control_ids.h"
#include "platform/qt/window_parts.h"
#include "setup/about_text.h"
#include "setup/ui/about_window.h"
#include "setup/ui/agreement_window.h"
#include "support/one_shot_server.h"
#include "support/scripted_prompt.h"

namespace vorlanx {

// Catches the addresses the desktop is asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    UrlCatcher() {
        for (const char* scheme : {"https", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~UrlCatcher() override {
        for (const char* scheme : {"https", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QStringList opened;

  public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

namespace {

QTreeWidget* History(const AboutWindow& about) {
    return FindControl<QTreeWidget>(&about, AboutWindow::kHistoryId);
}

QPushButton* Button(const QWidget& window, int id) {
    return FindControl<QPushButton>(&window, id);
}

SettingsRecord Settings(bool windowsColors) {
    SettingsRecord s = SettingsRecord::defaults("/");
    s.setUseWindowsColors(windowsColors);
    return s;
}

}  // namespace

class InformationWindowsTest : public QObject {
    Q_OBJECT

  private slots:
    void aboutShowsItsRowsColoursAndCursors() {
        test::ScriptedPrompt prompt;
        for (const bool windowsColors : {false, true}) {
            const SettingsRecord settings = Settings(windowsColors);
            AboutWindow about(settings, {prompt});
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            QCOMPARE(about.windowTitle(), QStringLiteral("About Brindlecraft VORLANX"));
            const QTreeWidget* history = History(about);
            QCOMPARE(history->topLevelItemCount(), 97);
            for (int i = 0; i < 97; ++i)
                QCOMPARE(history->topLevelItem(i)->text(0),
                         QString::fromStdString(VersionHistoryRows()[static_cast<size_t>(i)]));
            QVERIFY(history->isHeaderHidden());
            QCOMPARE(history->headerItem()->text(0), QStringLiteral("Should be hidden"));
            QCOMPARE(history->columnWidth(0),
                     history->width() -
                         about.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, history) -
                         10);
            const QColor base = history->palette().color(QPalette::Base);
            if (windowsColors) {
                QCOMPARE(base, QApplication::palette(history).color(QPalette::Base));
            } else {
                QCOMPARE(base, QColor(0x46, 0x32, 0x32));
                QCOMPARE(history->palette().color(QPalette::Text), QColor(0xAF, 0xFF, 0xFF));
            }
            const auto* address = FindControl<QLineEdit>(&about, AboutWindow::kAddressId);
            QCOMPARE(address->text(), QStringLiteral("support@brindlecraft.example"));
            QVERIFY(address->isReadOnly());
            QCOMPARE(address->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
            QCOMPARE(Button(about, AboutWindow::kSiteButtonId)->cursor().shape(),
                     Qt::PointingHandCursor);
            QCOMPARE(Button(about, AboutWindow::kCheckButtonId)->cursor().shape(),
                     Qt::PointingHandCursor);
            QCOMPARE(Button(about, AboutWindow::kMailButtonId)->cursor().shape(), Qt::ArrowCursor);
        }
    }

    void aboutLinksGoToTheDesktop() {
        UrlCatcher urls;
        test::ScriptedPrompt prompt;
        const SettingsRecord settings = Settings(false);
        AboutWindow about(settings, {prompt});
        QTest::mouseClick(Button(about, AboutWindow::kSiteButtonId), Qt::LeftButton);
        QTest::mouseClick(Button(about, AboutWindow::kMailButtonId), Qt::LeftButton);
        QCOMPARE(urls.opened, (QStringList{QStringLiteral("https://brindlecraft.example/"),
                                           QStringLiteral("mailto:support@brindlecraft.example")}));
    }

    // Each answer gives one message or none; a Yes to the newer-version question opens the
    // description page. While the check runs the window is live, 1018 greyed and the
    // cursor waits.
    void updateCheckAnswers() {
        struct Case {
            std::vector<std::string> answer;
            bool serverGone;
            std::vector<PromptAnswer> script;
            QString message;  // empty: none
            QStringList opened;
        };
        const QString error = QStringLiteral("There was an error connecting to the server:");
        const QString latest = QStringLiteral(
            "You have the latest version of Brindlecraft VORLANX available at this time.");
        const QString newer = QStringLiteral("There is a newer version of Brindlecraft VORLANX");
        const Case cases[] = {
            {{"HTTP/1.1 200 OK\r\n\r\n"}, false, {}, latest, {}},
            {{"HTTP/1.0 200 OK\r\n\r\n"}, false, {}, latest, {}},
            {{"HTTP/1.1 404 Not Found\r\n\r\n"}, false, {PromptAnswer::No}, newer, {}},
            {{"HTTP/1.1 404 Not Found\r\n\r\n"},
             false,
             {PromptAnswer::Yes},
             newer,
             {QStringLiteral("https://brindlecraft.example/vorlanx/")}},
            {{"HTTP/1.1 301 Moved Permanently\r\n\r\n"}, false, {}, {}, {}},
            {{"HTTP/1.1 500 Internal Server Error\r\n\r\n"}, false, {}, {}, {}},
            {{"HTTP/"}, false, {}, {}, {}},
            {{}, true, {}, error, {}},
        };
        for (const Case& c : cases) {
            UrlCatcher urls;
            test::ScriptedPrompt prompt;
            for (PromptAnswer a : c.script)
                prompt.script({a});
            std::optional<test::OneShotServer> server;
            server.emplace(c.answer);
            const uint16_t port = server->port();
            if (c.serverGone)
                server.reset();
            const SettingsRecord settings = Settings(false);
            AboutWindow about(settings, {prompt, OpenInBrowser, {"127.0.0.1", port, 2000}});
            about.show();
            QTest::mouseClick(Button(about, AboutWindow::kCheckButtonId), Qt::LeftButton);
            QVERIFY(about.checking());
            QVERIFY(!Button(about, AboutWindow::kCheckButtonId)->isEnabled());
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
            QTRY_VERIFY_WITH_TIMEOUT(!about.checking(), 5000);
            QVERIFY(Button(about, AboutWindow::kCheckButtonId)->isEnabled());
            QVERIFY(QGuiApplication::overrideCursor() == nullptr);
            const auto asked = prompt.asked();
            if (c.message.isEmpty()) {
                QVERIFY(asked.empty());
            } else {
                QCOMPARE(asked.size(), size_t{1});
                QVERIFY2(QString::fromStdString(asked[0].text).startsWith(c.message),
                         asked[0].text.c_str());
                QVERIFY(asked[0].owned);
            }
            QCOMPARE(urls.opened, c.opened);
        }
    }

    // A silent server: the window keeps repainting while it waits, the time-out gives the
    // error; closing mid-check drops the result at once.
    void silentServer() {
        test::OneShotServer silent({}, true);
        test::ScriptedPrompt prompt;
        const SettingsRecord settings = Settings(false);
        {
            AboutWindow about(settings, {prompt, OpenInBrowser, {"127.0.0.1", silent.port(), 500}});
            about.show();
            int ticks = 0;
            QTimer ticker;
            QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
            ticker.start(20);
            QTest::mouseClick(Button(about, AboutWindow::kCheckButtonId), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!about.checking(), 5000);
            QVERIFY(ticks >= 10);  // the event loop ran throughout
            QCOMPARE(prompt.asked().size(), size_t{1});
            QCOMPARE(prompt.asked()[0].caption, std::string("Error"));
        }
        test::OneShotServer alsoSilent({}, true);
        test::ScriptedPrompt quiet;
        QElapsedTimer closing;
        {
            AboutWindow about(settings,
                              {quiet, OpenInBrowser, {"127.0.0.1", alsoSilent.port(), 10000}});
            about.show();
            QTest::mouseClick(Button(about, AboutWindow::kCheckButtonId), Qt::LeftButton);
            QTest::qWait(100);
            closing.start();
            about.reject();
            QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        }
        QVERIFY(closing.elapsed() < 2000);
        QTest::qWait(50);
        QVERIFY(quiet.asked().empty());
    }

    void agreementWaitsForTheEnd() {
        AgreementWindow window;
        QCOMPARE(window.windowTitle(),
                 QStringLiteral("Brindlecraft VORLANX END USER Legal Agreement"));
        auto* list = FindControl<QTreeWidget>(&window, AgreementWindow::kTextId);
        QCOMPARE(list->headerItem()->text(0), QStringLiteral("Brindlecraft VORLANX"));
        const int rows = list->topLevelItemCount();
        QCOMPARE(list->topLevelItem(0)->text(0), QString());
        QCOMPARE(list->topLevelItem(1)->text(0), QString::fromLatin1(kAgreementStartMarker));
        QCOMPARE(list->topLevelItem(rows - 2)->text(0), QString::fromLatin1(kAgreementEndMarker));
        QCOMPARE(list->topLevelItem(rows - 1)->text(0), QString());
        for (int i = 0; i < rows; ++i) {
            const QString row = list->topLevelItem(i)->text(0);
            QVERIFY2(list->fontMetrics().horizontalAdvance(row) < list->columnWidth(0),
                     qPrintable(QStringLiteral("%1 %2 %3")
                                    .arg(row)
                                    .arg(list->fontMetrics().horizontalAdvance(row))
                                    .arg(list->columnWidth(0))));
        }
        auto* agree = Button(window, AgreementWindow::kAgreeId);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(100);
        QVERIFY(list->verticalScrollBar()->maximum() > 0);
        QVERIFY(!agree->isEnabled());
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
        QTRY_VERIFY_WITH_TIMEOUT(agree->isEnabled(), 1000);
        QTest::mouseClick(agree, Qt::LeftButton);
        QVERIFY(window.agreed());
        QVERIFY(!window.isVisible());
    }

    void shortAgreementAndEveryWayOut() {
        const std::vector<std::string> shortText = {"Short."};
        {
            AgreementWindow window(nullptr, shortText);
            window.show();
            QTRY_VERIFY_WITH_TIMEOUT(Button(window, AgreementWindow::kAgreeId)->isEnabled(), 200);
        }
        const std::function<void(AgreementWindow&)> ways[] = {
            [](AgreementWindow& w) { QTest::keyClick(&w, Qt::Key_Escape); },
            [](AgreementWindow& w) { w.close(); },
            [](AgreementWindow& w) {
                QTest::mouseClick(Button(w, AgreementWindow::kDisagreeId), Qt::LeftButton);
            },
            [](AgreementWindow& w) { QTest::keyClick(&w, Qt::Key_Return); },  // 1067 is default
        };
        for (const auto& way : ways) {
            AgreementWindow window(nullptr, shortText);
            window.show();
            QTRY_VERIFY(Button(window, AgreementWindow::kAgreeId)->isEnabled());
            way(window);
            QVERIFY(!window.isVisible());
            QVERIFY(!window.agreed());
        }
    }
};

}  // namespace vorlanx

QTEST_MAIN(vorlanx::InformationWindowsTest)
#include "information_windows_test.moc"
