#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "capture/ui/interface_choice_window.h"
#include "platform/network_interfaces.h"
#include "platform/qt/control_ids.h"
#include "support/scripted_prompt.h"

namespace vorlanx {

// A shown, active Choose Interface window over its own record and scripted prompt.
struct OpenWindow {
    explicit OpenWindow(std::vector<std::string> addresses, const char* storedAddress = "")
        : window(settings, prompt, nullptr, [addresses] { return addresses; }) {
        settings.setInterfaceAddress(storedAddress);
        window.show();
        QApplication::setActiveWindow(&window);
        active = QTest::qWaitForWindowActive(&window);
        list = FindControl<QTreeWidget>(&window, 1037);
    }
    QPoint rowCentre(int row) const {
        return list->visualItemRect(list->topLevelItem(row)).center();
    }
    void click(int row) { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(row)); }
    void pressOk() { QTest::mouseClick(FindControl<QPushButton>(&window, 1), Qt::LeftButton); }
    // A double click as the window system delivers it: press, release, press, double click.
    void doubleClick(QPoint inViewport) {
        QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {},
                           list->viewport()->mapTo(&window, inViewport));
    }

    SettingsRecord settings;
    test::ScriptedPrompt prompt;
    InterfaceChoiceWindow window;
    QTreeWidget* list = nullptr;
    bool active = false;
};

class InterfaceChoiceWindowTest : public QObject {
    Q_OBJECT

    static InterfaceChoiceWindow::AddressProvider give(std::vector<std::string> addresses) {
        return [addresses] { return addresses; };
    }
    static QStringList rows(QTreeWidget* list) {
        QStringList r;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            r << list->topLevelItem(i)->text(0);
        return r;
    }

  private slots:
    void controlsCarryTheirIdsAndTexts() {
        SettingsRecord settings;
        test::ScriptedPrompt prompt;
        InterfaceChoiceWindow w(settings, prompt, nullptr, give({"127.0.0.1"}));

        QCOMPARE(w.windowTitle(), QString("                     Choose Interface"));
        QVERIFY(w.isModal());
        auto* explanation = w.findChild<QLabel*>("explanation");
        QVERIFY(explanation);
        QCOMPARE(explanation->text(),
                 QString("Below you may choose the interface in which to listen. Each IP "
                         "address listed represents a TCP/IP interface on the system. If you "
                         "are unsure of which one to use, try one and see what the program "
                         "captures from it."));

        auto* list = FindControl<QTreeWidget>(&w, 1037);
        QVERIFY(list);
        QCOMPARE(list->columnCount(), 1);
        QCOMPARE(list->headerItem()->text(0), QString("Should be hidden"));
        QVERIFY(list->isHeaderHidden());
        QCOMPARE(list->columnWidth(0), 265);
        QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(!list->accessibleName().isEmpty());

        auto* ok = FindControl<QPushButton>(&w, 1);
        QVERIFY(ok);
        QCOMPARE(ok->text(), QString("OK"));
        QCOMPARE(ok->accessibleName(), QString("OK"));
        QVERIFY(ok->isDefault());
    }

    void eachAddressIsInsertedAtTheTop() {
        SettingsRecord settings;
        test::ScriptedPrompt prompt;
        InterfaceChoiceWindow three(settings, prompt, nullptr,
                                    give({"10.0.0.1", "192.168.1.5", "127.0.0.1"}));
        QCOMPARE(rows(FindControl<QTreeWidget>(&three, 1037)),
                 (QStringList{"127.0.0.1", "192.168.1.5", "10.0.0.1"}));

        InterfaceChoiceWindow loopback(settings, prompt, nullptr, give({"127.0.0.1"}));
        QCOMPARE(rows(FindControl<QTreeWidget>(&loopback, 1037)), QStringList{"127.0.0.1"});
    }

    void theDefaultListIsTheMachinesUpAddresses() {
        SettingsRecord settings;
        test::ScriptedPrompt prompt;
        InterfaceChoiceWindow w(settings, prompt);
        QStringList expected;
        for (const auto& a : UpIpv4Addresses())
            expected.prepend(QString::fromStdString(a));
        QCOMPARE(rows(FindControl<QTreeWidget>(&w, 1037)), expected);
    }

    void okWithoutARowAsksForOneAndStaysOpen() {
        OpenWindow w({"10.0.0.1", "127.0.0.1"}, "10.1.1.1");
        QVERIFY(w.active);
        QVERIFY(w.list->selectedItems().isEmpty());  // nothing selected on opening, even focused

        w.pressOk();
        QTest::keyClick(&w.window, Qt::Key_Return);

        const auto asked = w.prompt.asked();
        QCOMPARE(asked.size(), size_t{2});
        for (const auto& r : asked) {
            QCOMPARE(r.text, std::string("Please choose an interface."));
            QVERIFY(r.blankCaption);
            QCOMPARE(r.buttons, PromptButtons::Ok);
            QCOMPARE(r.icon, PromptIcon::None);
        }
        QVERIFY(w.window.isVisible());
        QCOMPARE(w.settings.interfaceAddress(), std::string("10.1.1.1"));
    }

    void okStoresTheSelectedAddressAndCloses() {
        OpenWindow w({"10.0.0.1", "127.0.0.1"});
        QVERIFY(w.active);
        w.click(1);
        QCOMPARE(w.list->selectedItems().size(), 1);

        w.pressOk();
        QCOMPARE(w.settings.interfaceAddress(), std::string("10.0.0.1"));
        QCOMPARE(w.window.result(), int(QDialog::Accepted));
        QVERIFY(!w.window.isVisible());
        QVERIFY(w.prompt.asked().empty());
    }

    void doubleClickIsOk() {
        OpenWindow w({"10.0.0.1", "192.168.1.5", "127.0.0.1"});
        QVERIFY(w.active);
        w.doubleClick(w.rowCentre(1));
        QCOMPARE(w.settings.interfaceAddress(), std::string("192.168.1.5"));
        QCOMPARE(w.window.result(), int(QDialog::Accepted));
        QVERIFY(!w.window.isVisible());
        QVERIFY(w.prompt.asked().empty());
    }

    void doubleClickBelowTheRowsWithNothingSelectedAsksForOne() {
        OpenWindow w({"127.0.0.1"});
        QVERIFY(w.active);
        const QPoint below(5, w.list->viewport()->height() - 3);
        QVERIFY(!w.list->itemAt(below));
        w.doubleClick(below);
        QCOMPARE(w.prompt.texts(), std::vector<std::string>{"Please choose an interface."});
        QVERIFY(w.window.isVisible());
        QCOMPARE(w.settings.interfaceAddress(), std::string(""));
    }

    void escAndTheCloseBoxStoreNothing() {
        for (bool useEsc : {true, false}) {
            OpenWindow w({"10.0.0.1", "127.0.0.1"}, "10.1.1.1");
            QVERIFY(w.active);
            w.click(0);
            QCOMPARE(w.list->selectedItems().size(), 1);

            if (useEsc)
                QTest::keyClick(&w.window, Qt::Key_Escape);
            else
                w.window.close();
            QVERIFY(!w.window.isVisible());
            QCOMPARE(w.window.result(), int(QDialog::Rejected));
            QCOMPARE(w.settings.interfaceAddress(), std::string("10.1.1.1"));
            QVERIFY(w.prompt.asked().empty());
        }
    }

    void noAddressesIsReportedWithoutShowingTheWindow() {
        SettingsRecord settings;
        settings.setInterfaceAddress("10.1.1.1");
        test::ScriptedPrompt prompt;
        InterfaceChoiceWindow w(settings, prompt, nullptr, give({}));
        QVERIFY(!w.hasAddresses());
        QCOMPARE(w.exec(), int(QDialog::Rejected));
        const auto asked = prompt.asked();
        QCOMPARE(asked.size(), size_t{1});
        QCOMPARE(asked[0].text, std::string("Error getting interface information"));
        QCOMPARE(asked[0].caption, std::string(""));  // the application's title
        QCOMPARE(asked[0].icon, PromptIcon::None);
        QVERIFY(asked[0].owned);
        QCOMPARE(settings.interfaceAddress(), std::string("10.1.1.1"));
    }

    void execReturnsAcceptedOnceAnAddressIsChosen() {
        SettingsRecord settings;
        test::ScriptedPrompt prompt;
        InterfaceChoiceWindow w(settings, prompt, nullptr, give({"10.0.0.1", "127.0.0.1"}));
        QTimer::singleShot(0, &w, [&w] {
            auto* list = FindControl<QTreeWidget>(&w, 1037);
            list->topLevelItem(0)->setSelected(true);
            FindControl<QPushButton>(&w, 1)->click();
        });
        QCOMPARE(w.exec(), int(QDialog::Accepted));
        QCOMPARE(settings.interfaceAddress(), std::string("127.0.0.1"));
    }
};

}  // namespace vorlanx

QTEST_MAIN(vorlanx::InterfaceChoiceWindowTest)
#include "interface_choice_window_test.moc"
