#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "capture/ui/help_window.h"
#include "platform/qt/control_ids.h"

namespace vorlanx {
namespace {

// What the pane holds for `answer`: the widget keeps each CR LF as one line break.
QString Shown(std::string_view answer) {
    return QString::fromLatin1(answer.data(), static_cast<qsizetype>(answer.size()))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString PaneText(const HelpWindow& window) {
    return FindControl<QPlainTextEdit>(&window, HelpWindow::kAnswerId)->toPlainText();
}

}  // namespace

class HelpWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void opensOnTheIntroToPacketModeWithItsLabels() {
        HelpWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Help for Brindlecraft VORLANX"));
        QVERIFY(FindControl<QPushButton>(&window, 1024)->isChecked());
        QCOMPARE(PaneText(window), Shown(HelpTopics()[0].answer));
        auto* pane = FindControl<QPlainTextEdit>(&window, HelpWindow::kAnswerId);
        QVERIFY(pane->isReadOnly());
        QCOMPARE(pane->accessibleName(), QStringLiteral("Answers / Information:"));
        QStringList labels;
        for (const QLabel* label : window.findChildren<QLabel*>())
            labels << label->text();
        for (const char* text :
             {"Packet Mode questions:", "File Mode questions:", "Answers / Information:"})
            QVERIFY2(labels.contains(QString::fromLatin1(text)), text);
    }

    void eachButtonShowsItsTopicAlone() {
        struct Case {
            int id;
            const char* button;
            const char* heading;
        };
        const Case cases[] = {
            {1024, "Intro to Packet Mode", "--->Introduction to Packet Mode"},
            {1031, "Known bugs and issues", "--->Known bugs and issues:"},
            {1032, "What will this program capture?", "--->What will this program capture?"},
            {1033, "Notes on performance", "--->Notes on performance:"},
            {1026, "What is a packet?", "--->What is a packet?"},
            {1027, "How do I print the list of data?", "--->How do I print the list of data?"},
            {1028, "Intro to File Mode", "--->Introduction to File Mode"},
            {1029, "What is HTTP?", "--->What is HTTP?"},
            {1030, "What is the \"ACK time-out\" for?", "--->What is the \"ACK time-out\" for?"},
        };
        QCOMPARE(std::size(cases), kHelpTopicCount);
        HelpWindow window;
        window.show();
        // Backwards, so the window's opening topic is pressed last.
        for (auto c = std::rbegin(cases); c != std::rend(cases); ++c) {
            auto* button = FindControl<QPushButton>(&window, c->id);
            QVERIFY2(button, c->button);
            QCOMPARE(button->text(), QString::fromLatin1(c->button));
            QCOMPARE(button->accessibleName(), button->text());
            QTest::mouseClick(button, Qt::LeftButton);
            int checked = 0;
            for (const int id : HelpWindow::kTopicIds)
                checked += FindControl<QPushButton>(&window, id)->isChecked() ? 1 : 0;
            QVERIFY2(button->isChecked() && checked == 1, c->button);
            const auto topic =
                std::find_if(HelpTopics().begin(), HelpTopics().end(),
                             [&](const HelpTopic& t) { return t.button == c->button; });
            QVERIFY2(topic != HelpTopics().end(), c->button);
            QVERIFY2(topic->answer.starts_with("\r\n" + std::string(c->heading) + "\r\n"),
                     c->heading);
            QCOMPARE(PaneText(window), Shown(topic->answer));
        }
    }

    void theTextsAreJoinedExactly() {
        struct Case {
            std::size_t topic;
            std::string_view start;
            std::string_view end;
        };
        for (const Case& c : {
                 Case{
                     0,
                     "\r\n--->Introduction to Packet Mode\r\n\r\n    Packet Mode is used for the "
                     "reception of all TCP/IP packets from a network interface (NIC/Modem).\r\n\r\n"
                     "    Here are some easy steps to get started:\r\n\r\n1. Choose \"Network "
                     "Interface\" from",
                     "main dialog.\r\n\r\n3. Wait for one or more packets to arrive, during this "
                     "time you may minimize the window as you will be notified in the event of a "
                     "packets arrival by way of PC-Speaker sound (If on and available), and by way "
                     "of the program's text in the taskbar blinking.\r\n\r\n4. When one or more "
                     "packets have arrived, they will appear in the list located on the main "
                     "dialog. You may then click one of these items to view it's contents."},
                 Case{5,
                      "\r\n--->How do I print the list of data?\r\n\r\n1. Save the list to a file "
                      "by choosing File->Save.",
                      "File->Save.\r\n\r\n2. Open the file in a text editor (Notepad, Word, "
                      "etc.).\r\n\r\n3. Choose File->Print."},
                 Case{8,
                      "\r\n--->What is the \"ACK time-out\" for?\r\n\r\n    The \"ACK time-out\" "
                      "determines how long",
                      "to be reached resulting in missing some files that are being transferred. "
                      "Entering a number too large also further delays the writing of files to the "
                      "disk."},
             }) {
            const std::string_view answer = HelpTopics()[c.topic].answer;
            QVERIFY2(answer.starts_with(c.start), HelpTopics()[c.topic].button.data());
            QVERIFY2(answer.ends_with(c.end), HelpTopics()[c.topic].button.data());
        }
    }

    void escCloses() {
        HelpWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }
};

}  // namespace vorlanx

QTEST_MAIN(vorlanx::HelpWindowTest)
#include "help_window_test.moc"
