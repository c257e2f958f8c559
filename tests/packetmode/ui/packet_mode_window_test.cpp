// The Packet Mode window on the offscreen platform: controls by id, live capture from a
// scripted source, the detail pane, highlighting, following the list, and the close.
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <map>
#include <optional>

#include "packetmode/ui/packet_list_model.h"
#include "packetmode/ui/packet_mode_controls.h"
#include "packetmode/ui/packet_mode_window.h"
#include "packetmode/ui/saving_options_window.h"
#include "platform/qt/control_ids.h"
#include "platform/qt/window_parts.h"
#include "settings/settings_file.h"
#include "support/datagram_between.h"
#include "support/file_contents.h"
#include "support/general_settings_driver.h"
#include "support/quiet_platform.h"
#include "support/scripted_capture_source.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

using namespace vorlanx;
namespace ids = vorlanx::packet_ids;

namespace {

std::vector<uint8_t> tcp(std::string payload = "GET / HTTP/1.1") {
    return test::BuildDatagramBetween(6, {127, 0, 0, 1}, {127, 0, 0, 2}, 51000, 80, payload);
}

std::vector<uint8_t> udp() {
    return test::BuildDatagram(
        {.protocol = 17, .sourcePort = 5353, .destinationPort = 53, .payload = "q"});
}

std::vector<uint8_t> icmp() {
    return test::BuildDatagram({.protocol = 1, .payload = std::string("ab\0c", 4)});
}

// One window with its platform edge, set up the way a user starts Packet Mode.
struct Harness {
    test::TempDir dir;
    SettingsRecord settings = SettingsRecord::defaults("/tmp/");
    std::string settingsPath = dir.file("vorlanx.BCS");
    test::ScriptedPrompt prompt;
    test::ScriptedCaptureSourceFactory sources;
    test::SilentSoundPlayer sound;
    FixedLocalTimeSource time{LocalTime{2003, 4, 2, 14, 5, 9, 7}};
    test::RefusingLauncher launcher;
    // What the reverse lookups answer; the window tests never ask the network.
    std::optional<std::string> reverseName;
    std::vector<std::array<uint8_t, 4>> reverseAsked;
    std::unique_ptr<PacketModeWindow> window;

    // `adjust` changes the settings the window starts with.
    explicit Harness(const std::function<void(SettingsRecord&)>& adjust = {}) {
        settings.setInterfaceAddress("127.0.0.1");
        if (adjust)
            adjust(settings);
        window = std::make_unique<PacketModeWindow>(
            settings, settingsPath,
            PacketModeWindowServices{
                prompt, sources, sound, time, launcher,
                HostNameLookup{[](const std::string&) { return std::optional<std::string>(); },
                               [this](std::array<uint8_t, 4> octets) {
                                   reverseAsked.push_back(octets);
                                   return reverseName;
                               }}});
    }
    // Initialises and shows the window, as runPacketMode does.
    bool open() {
        if (!window->initialise())
            return false;
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
    template <typename W = QWidget>
    W* control(int id) {
        return FindControl<W>(window.get(), id);
    }
    // The main menu's command `id`; null when there is none.
    QAction* menuCommand(int id) {
        for (QAction* a : window->menuBar()->findChildren<QAction*>())
            if (a->property(kControlIdProperty).toInt() == id)
                return a;
        return nullptr;
    }
    QString text(int id) { return control<QLineEdit>(id)->text(); }
    QStringList texts(std::initializer_list<int> ids) {
        QStringList all;
        for (int id : ids)
            all << text(id);
        return all;
    }
    QString cell(int row, int column) {
        return control<QTableView>(ids::kList)->model()->index(row, column).data().toString();
    }
    // Starts a capture and returns its channel.
    std::shared_ptr<test::ScriptedCaptureChannel> start() {
        const size_t before = sources.openCount();
        control<QToolButton>(ids::kStart)->click();
        if (!sources.waitForOpens(before + 1))
            return nullptr;
        return sources.channel(before);
    }
    std::shared_ptr<test::ScriptedCaptureChannel> openAndStart() {
        return open() ? start() : nullptr;
    }
    void feed(const std::shared_ptr<test::ScriptedCaptureChannel>& channel,
              const std::vector<uint8_t>& datagram, uint64_t times = 1) {
        channel->push(datagram, times);
        channel->waitUntilDrained();
        window->syncList();
    }
    void select(int row) {
        auto* view = control<QTableView>(ids::kList);
        view->selectRow(row);
    }
    // Opens the window, captures one TCP datagram and shows it in the detail pane; the
    // capture goes on. Null when any step fails.
    std::shared_ptr<test::ScriptedCaptureChannel> openShowingTcp(
        const std::string& payload = "GET / HTTP/1.1") {
        auto channel = openAndStart();
        if (!channel)
            return nullptr;
        feed(channel, tcp(payload));
        select(0);
        if (!QTest::qWaitFor([&] { return text(ids::kPacketType) == QStringLiteral("TCP"); }))
            return nullptr;
        return channel;
    }
    // Types `text` into the find box and presses "Find / Next" `presses` times.
    void find(const QString& text, int presses = 1) {
        control<QLineEdit>(ids::kFindText)->setText(text);
        for (int i = 0; i < presses; ++i)
            control<QPushButton>(ids::kFind)->click();
    }
    // True once Find waits at actual row `row`, shown selected in the list.
    bool waitsAt(int row) {
        auto* view = control<QTableView>(ids::kList);
        return QTest::qWaitFor([&] {
            return window->core().state().findRunning.load() && view->isVisible() &&
                   window->core().list().selectionMark() == row &&
                   view->currentIndex().row() == row &&
                   view->selectionModel()->isRowSelected(row, QModelIndex());
        });
    }
};

const std::string kSearchAgain = "Search is complete.\r\n\r\nWould you like to search again?";

}  // namespace

class PacketModeWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void initialStateByControlId();
    void initialiseTriesTheInterfaceFirst();
    void capturedPacketsAreListedWithTheirColumns();
    void detailPaneForTcpUdpAndIcmp();
    void shortRowOffersDeletion();
    void clearForgetsTheShownRow();
    void selectRowShowsAndRepaintsTheRow();
    void fieldBoxesHighlightTheirBytes();
    void listFollowsTheBottomOrKeepsStill();
    void escapeDoesNothing();
    void resizingGivesHeightToTheListAndWidthToThePanes();
    void decAndHexLinesNeverWrap();
    void closeWritesTheSevenFields();
    void contextMenuNeedsASelectedRowAndGreysTcpOptions();
    void reverseResolveFromTheMenu();
    void headerClicksSortAndFlipAcrossColumns();
    void saveAsksForTheFileAndWritesIt();
    void savingOptionsStoreOnlyOnContinue();
    void openCaptureFileListsRecordedPackets();
    void findShowsOneMatchAtATimeAfterADoublePress();
    void clearWhileFindScansUncoversTheListOnce();
    void closeWhileFindWaitsAtAMatch();
    void sameAckToolsFromTheMenu();
    void generalSettingsApplyAtOnceAndReachTheFileOnClose();
};

void PacketModeWindowTest::initialStateByControlId() {
    Harness h([](SettingsRecord& s) {
        s.setViewHex(true);
        s.setViewDec(false);
        s.setApplyFilters(true);
        s.setFindText("needle");
    });
    // Shown: a hidden window reports every child invisible.
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    QCOMPARE(h.window->windowTitle(), QStringLiteral("VORLANX - Waiting"));
    QCOMPARE(h.control<QLabel>(ids::kStatus)->text(), QStringLiteral("Stopped"));
    auto* progress = h.control<QProgressBar>(ids::kProgress);
    QCOMPARE(progress->maximum(), 1000000);
    QVERIFY(h.control<QTableView>(ids::kList)->isVisible());
    QVERIFY(!h.control<QProgressBar>(ids::kListProgress)->isVisible());
    QVERIFY(!h.control<QPushButton>(ids::kCancel)->isVisible());
    QVERIFY(h.control<QRadioButton>(ids::kHex)->isChecked());
    QVERIFY(!h.control<QRadioButton>(ids::kDec)->isChecked());
    QVERIFY(h.control<QCheckBox>(ids::kApplyFilters)->isChecked());
    QVERIFY(h.control<QCheckBox>(ids::kSound)->isChecked());
    QCOMPARE(h.control<QLineEdit>(ids::kFindText)->text(), QStringLiteral("needle"));
    QCOMPARE(h.control<QCheckBox>(ids::kMatchCase)->text(),
             QStringLiteral("Match case for Find and Filters"));
    QCOMPARE(h.control<QPushButton>(ids::kFind)->text(), QStringLiteral("Find / Next"));
    QCOMPARE(h.control<QPushButton>(ids::kFilterSetup)->text(),
             QStringLiteral("Setup packet filters"));
    for (int id = ids::kFlagUrg; id < ids::kFlagUrg + 6; ++id)
        QVERIFY(h.control<QLabel>(id)->isHidden());
    // Accessible names: a picture button its action, a box the label beside it.
    QCOMPARE(h.control(ids::kStart)->accessibleName(), QStringLiteral("Start"));
    QCOMPARE(h.control(ids::kPacketSize)->accessibleName(), QStringLiteral("Packet size:"));
    QCOMPARE(h.control(ids::kEntirePacket)->accessibleName(), QStringLiteral("Entire packet"));
    QCOMPARE(h.control(ids::kStatus)->accessibleName(), QStringLiteral("Status:"));

    auto* model = h.control<QTableView>(ids::kList)->model();
    const QStringList titles = {"Type",        "Size",    "From IP",     "To IP",
                                "From Port",   "To Port", "Date / Time", "Contains string",
                                "Lacks string"};
    QCOMPARE(model->columnCount(), 9);
    for (int c = 0; c < 9; ++c)
        QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), titles[c]);
    QCOMPARE(h.control<QTableView>(ids::kList)->columnWidth(6), 170);

    // The menu commands by id; the ones whose windows are not built yet are disabled.
    QMap<int, QAction*> actions;
    for (QAction* a : h.window->menuBar()->findChildren<QAction*>())
        if (a->property(kControlIdProperty).isValid())
            actions[a->property(kControlIdProperty).toInt()] = a;
    for (int id : {ids::kMenuSave, ids::kMenuExit, ids::kMenuNetworkInterface, ids::kMenuGeneral,
                   ids::kMenuChangeMode, ids::kMenuHelp, ids::kMenuAbout})
        QVERIFY2(actions.contains(id), qPrintable(QString::number(id)));
    QVERIFY(actions[ids::kMenuExit]->isEnabled());
    QVERIFY(actions[ids::kMenuChangeMode]->isEnabled());
}

void PacketModeWindowTest::initialiseTriesTheInterfaceFirst() {
    struct Case {
        ReceiveAllResult result;
        int errorNumber;
        bool opens;
        bool choosesInterface;
        std::vector<std::string> texts;
    };
    const std::string rawSockets =
        "Startup error.\r\n\r\nMake sure raw sockets are enabled on your system (this is so "
        "by default).\r\nNote: Administrative access to this computer may be required, make "
        "sure you are logged on with an administrative account.";
    const Case cases[] = {
        {ReceiveAllResult::Listening, 0, true, false, {}},
        {ReceiveAllResult::InterfaceUnusable, 19, true, true, {}},
        {ReceiveAllResult::RawSocketsUnavailable,
         1,
         false,
         false,
         {"Error code 1 while attempting to create socket.", rawSockets}},
        {ReceiveAllResult::OtherError, 24, false, false, {"Startup error: 24"}},
    };
    for (const Case& c : cases) {
        Harness h;
        h.sources.setOutcome(c.result, c.errorNumber);
        // Choose Interface runs modally: note it and close it.
        bool chose = false;
        QTimer closer;
        connect(&closer, &QTimer::timeout, &closer, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                chose = true;
                dialog->reject();
            }
        });
        closer.start(20);
        QCOMPARE(h.window->initialise(), c.opens);
        QCOMPARE(chose, c.choosesInterface);
        std::vector<std::string> texts;
        for (const auto& asked : h.prompt.asked())
            texts.push_back(asked.text);
        QCOMPARE(texts, c.texts);
        // The trial's source is closed again and no capture starts.
        QCOMPARE(h.sources.openCount(), size_t{1});
        QCOMPARE(h.sources.address(0), std::string("127.0.0.1"));
        QVERIFY(h.sources.channel(0)->closed());
        QVERIFY(!h.window->core().state().capturing.load());
    }
}

void PacketModeWindowTest::capturedPacketsAreListedWithTheirColumns() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    QTRY_COMPARE(h.control<QLabel>(ids::kStatus)->text(),
                 QStringLiteral("Listening on: 127.0.0.1"));
    h.feed(channel, tcp());
    h.feed(channel, udp());
    h.feed(channel, icmp());
    auto* model = h.control<QTableView>(ids::kList)->model();
    QCOMPARE(model->rowCount(), 3);
    QStringList row;
    for (int c = 0; c < 9; ++c)
        row << h.cell(0, c);
    QCOMPARE(row, (QStringList{"TCP", "54", "127.0.0.1", "127.0.0.2", "51000", "80",
                               "2003.04.02 - 14:05:09.007", "", ""}));
    QCOMPARE(h.cell(1, 0), QStringLiteral("UDP"));
    QCOMPARE(h.cell(2, 0), QStringLiteral("ICMP"));
    QCOMPARE(h.cell(2, 4), QString());  // ports only for TCP and UDP
    QCOMPARE(model->index(2, 0).data(PacketListModel::SlotRole).toInt(), 2);
    // The title follows the count while capturing.
    QTRY_VERIFY_WITH_TIMEOUT(
        h.window->windowTitle() == QStringLiteral("3 items - Brindlecraft VORLANX"), 5000);
    QTRY_VERIFY(
        h.control<QLabel>(ids::kMemory)->text().startsWith(QStringLiteral("Free physical RAM:")));

    // Drops the kernel reports for the capture show in the status bar.
    QVERIFY(h.window->statusBar()->currentMessage().isEmpty());
    channel->setDroppedByKernel(17);
    QTRY_COMPARE(h.window->statusBar()->currentMessage(),
                 QStringLiteral("Datagrams dropped by the kernel: 17"));

    h.control<QToolButton>(ids::kStop)->click();
    QTRY_COMPARE(h.control<QLabel>(ids::kStatus)->text(), QStringLiteral("Stopped"));
    QTRY_COMPARE(h.window->windowTitle(), QStringLiteral("VORLANX - Stopped"));
    // The count stays after the capture until the next Start.
    QTest::qWait(100);
    QCOMPARE(h.window->statusBar()->currentMessage(),
             QStringLiteral("Datagrams dropped by the kernel: 17"));
    QVERIFY(h.start());
    QTRY_VERIFY(h.window->statusBar()->currentMessage().isEmpty());
}

void PacketModeWindowTest::detailPaneForTcpUdpAndIcmp() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    h.feed(channel, tcp(std::string("hi\0there", 8)));
    h.feed(channel, udp());
    h.feed(channel, icmp());

    h.select(0);
    QTRY_COMPARE(h.text(ids::kPacketType), QStringLiteral("TCP"));
    QCOMPARE(
        h.texts({ids::kProtocolNumber, ids::kFromPort, ids::kToPort, ids::kSequence, ids::kWindow}),
        (QStringList{"6", "51000", "80", "0", "0"}));
    QVERIFY(!h.text(ids::kToPortUse).isEmpty());
    QCOMPARE(h.control<QPlainTextEdit>(ids::kPacketData)->toPlainText(), QStringLiteral("hithere"));
    // PSH and ACK are set by the test datagram; the others hidden.
    QVERIFY(!h.control<QLabel>(ids::kFlagUrg + 1)->isHidden());
    QVERIFY(!h.control<QLabel>(ids::kFlagUrg + 2)->isHidden());
    QVERIFY(h.control<QLabel>(ids::kFlagUrg + 4)->isHidden());
    QVERIFY(h.control<QPlainTextEdit>(ids::kEntirePacket)
                ->toPlainText()
                .startsWith(QStringLiteral(" 69   0")));

    h.select(1);
    QTRY_COMPARE(h.text(ids::kPacketType), QStringLiteral("UDP"));
    QCOMPARE(h.text(ids::kFromPort), QStringLiteral("5353"));
    QCOMPARE(h.text(ids::kSequence), QString());
    QVERIFY(h.control<QLabel>(ids::kFlagUrg + 1)->isHidden());

    h.select(2);
    QTRY_COMPARE(h.text(ids::kPacketType), QStringLiteral("ICMP"));
    QCOMPARE(h.texts({ids::kFromPort, ids::kToPort, ids::kFromPortUse, ids::kAcknowledgement}),
             (QStringList{"0", "0", "", ""}));
    QCOMPARE(h.control<QPlainTextEdit>(ids::kPacketData)->toPlainText(), QStringLiteral("abc"));

    // Switching the rendering redraws the pane for the same row.
    h.control<QRadioButton>(ids::kHex)->setChecked(true);
    QVERIFY(h.control<QPlainTextEdit>(ids::kEntirePacket)
                ->toPlainText()
                .startsWith(QStringLiteral("45 00 00 20")));
}

void PacketModeWindowTest::shortRowOffersDeletion() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    h.feed(channel, udp());
    h.feed(channel, std::vector<uint8_t>(12, 0x45));  // too short to show
    h.prompt.script({PromptAnswer::No, PromptAnswer::Yes});
    h.select(1);
    QTRY_COMPARE(h.prompt.asked().size(), size_t{1});
    const auto asked = h.prompt.asked()[0];
    QCOMPARE(QString::fromStdString(asked.caption), QStringLiteral("Delete invalid packet?"));
    QCOMPARE(QString::fromStdString(asked.text),
             QStringLiteral("A list item with invalid packet data has been encountered, would "
                            "you like to delete this item from the list?"));
    QCOMPARE(asked.buttons, PromptButtons::YesNo);
    QCOMPARE(h.control<QPlainTextEdit>(ids::kEntirePacket)->toPlainText(),
             QStringLiteral("Invalid packet data!"));
    auto* model = h.control<QTableView>(ids::kList)->model();
    QCOMPARE(model->rowCount(), 2);  // No keeps the row

    h.select(0);
    QTRY_COMPARE(h.text(ids::kPacketType), QStringLiteral("UDP"));
    h.select(1);
    QTRY_COMPARE(h.prompt.asked().size(), size_t{2});
    QTRY_COMPARE(model->rowCount(), 1);  // Yes deletes only the row
    QVERIFY(h.window->core().store().hasRecord(1));
    QVERIFY(!h.window->core().store().listed(1));
}

void PacketModeWindowTest::clearForgetsTheShownRow() {
    Harness h;
    auto channel = h.openShowingTcp();
    QVERIFY(channel);
    h.control<QToolButton>(ids::kClear)->click();
    // The clear ends and a new packet takes row 0 before the selection watcher's next
    // round, as on a busy machine: the event loop does not turn meanwhile.
    PacketModeCore& core = h.window->core();
    QVERIFY(test::WaitUntil(
        [&] { return core.state().clearDone.load() && core.list().rowCount() == 0; },
        std::chrono::seconds(10)));
    QCOMPARE(core.list().selectionMark(), -1);
    h.feed(channel, udp());
    h.select(0);
    // Row 0 again, now another packet: the pane shows it.
    QTRY_COMPARE(h.text(ids::kPacketType), QStringLiteral("UDP"));
}

// Collects the regions a widget was asked to paint.
class PaintRecorder : public QObject {
  public:
    QRegion painted;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

void PacketModeWindowTest::selectRowShowsAndRepaintsTheRow() {
    struct Case {
        int rows;
        int target;
    };
    // Far below the view, which must scroll; and a row already in view, which must repaint.
    for (const Case c : {Case{300, 250}, Case{5, 2}}) {
        Harness h;
        auto channel = h.openAndStart();
        QVERIFY(channel);
        h.feed(channel, udp(), static_cast<uint64_t>(c.rows));
        auto* view = h.control<QTableView>(ids::kList);
        view->scrollToTop();
        QTest::qWait(100);  // every paint asked for so far is done
        PaintRecorder recorder;
        view->viewport()->installEventFilter(&recorder);

        h.window->selectRow(c.target);
        const QModelIndex index = view->model()->index(c.target, 0);
        // The whole row, not only the cell with the focus frame.
        const QRect row =
            view->visualRect(index).united(view->visualRect(view->model()->index(c.target, 3)));
        QCOMPARE(view->currentIndex().row(), c.target);
        QVERIFY(view->selectionModel()->isRowSelected(c.target, QModelIndex()));
        QVERIFY(view->viewport()->rect().contains(row));
        QTRY_VERIFY((QRegion(row) - recorder.painted).isEmpty());
        QCOMPARE(h.window->core().list().selectionMark(), c.target);
        QTRY_COMPARE(h.text(ids::kPacketType), QStringLiteral("UDP"));
    }
}

void PacketModeWindowTest::fieldBoxesHighlightTheirBytes() {
    Harness h;
    auto channel = h.openShowingTcp();
    QVERIFY(channel);
    auto* pane = h.control<QPlainTextEdit>(ids::kEntirePacket);
    auto focus = [&](int id) {
        h.control<QLineEdit>(id)->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
    };
    auto selected = [&](int id) {
        focus(id);
        const QTextCursor c = pane->textCursor();
        return std::pair<int, int>{c.selectionStart(), c.selectionEnd()};
    };
    // Dec: From IP is characters 49 to 63 inclusive.
    QCOMPARE(selected(ids::kFromIp), (std::pair<int, int>{49, 64}));
    QCOMPARE(pane->textCursor().selectedText(), QStringLiteral("127   0   0   1"));
    QCOMPARE(selected(ids::kSequence), (std::pair<int, int>{98, 113}));
    // Hex: To IP is the first pair on the second line, 49 to 59 inclusive.
    h.control<QRadioButton>(ids::kHex)->setChecked(true);
    focus(ids::kFindText);
    QCOMPARE(selected(ids::kToIp), (std::pair<int, int>{49, 60}));
    QCOMPARE(pane->textCursor().selectedText(), QStringLiteral("7F 00 00 02"));
    // Text: nothing is selected.
    h.control<QRadioButton>(ids::kText)->setChecked(true);
    focus(ids::kFindText);
    const auto none = selected(ids::kFromIp);
    QCOMPARE(none.first, none.second);
}

void PacketModeWindowTest::listFollowsTheBottomOrKeepsStill() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    auto* view = h.control<QTableView>(ids::kList);
    QScrollBar* bar = view->verticalScrollBar();
    h.feed(channel, udp(), 300);
    QCoreApplication::processEvents();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());  // at the bottom: the newest row stays in view

    bar->setValue(bar->maximum() - 2);  // two lines up still counts as the bottom
    h.feed(channel, udp(), 10);
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(10);  // reading older rows: the view keeps still
    h.feed(channel, udp(), 50);
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), 10);
    QCOMPARE(view->model()->rowCount(), 360);
}

void PacketModeWindowTest::escapeDoesNothing() {
    Harness h;
    QVERIFY(h.open());
    h.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    // Where a user's Esc goes: the widget with the focus, or the window.
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : h.window.get();
    QTest::keyClick(target, Qt::Key_Escape);
    QTest::qWait(200);
    QVERIFY(h.window->isVisible());
    QVERIFY(!h.window->closing());
    QVERIFY(!h.window->closed());
}

void PacketModeWindowTest::resizingGivesHeightToTheListAndWidthToThePanes() {
    Harness h;
    QVERIFY(h.open());
    // The smallest size is the template's, and every control fits into it: it suits a
    // 1366 x 768 screen with room for the frame and a panel.
    const QSize smallest = h.window->minimumSize();
    QVERIFY(smallest.width() > 600 && smallest.height() > 400);
    QVERIFY(smallest.width() <= 1366 - 40 && smallest.height() <= 768 - 80);
    QVERIFY(h.window->minimumSizeHint().width() <= smallest.width());
    QVERIFY(h.window->minimumSizeHint().height() <= smallest.height());
    QVERIFY(h.window->width() >= smallest.width() && h.window->height() >= smallest.height());

    const QSize first = h.window->size();
    auto* list = h.control<QTableView>(ids::kList);
    auto* entire = h.control<QPlainTextEdit>(ids::kEntirePacket);
    auto* data = h.control<QPlainTextEdit>(ids::kPacketData);
    auto* ttl = h.control<QLineEdit>(ids::kTtl);
    const QSize listBefore = list->size(), entireBefore = entire->size(), dataBefore = data->size();
    const QSize ttlBefore = ttl->size();

    h.window->resize(first + QSize(300, 200));
    QTRY_COMPARE(h.window->size(), first + QSize(300, 200));
    QCoreApplication::processEvents();
    QVERIFY(list->height() >= listBefore.height() + 150);  // the list takes the height
    QVERIFY(entire->width() + data->width() >= entireBefore.width() + dataBefore.width() + 250);
    QCOMPARE(entire->height(), entireBefore.height());  // the panes keep theirs
    QCOMPARE(ttl->size(), ttlBefore);                   // the field boxes stay as they are

    h.window->resize(smallest - QSize(200, 200));  // smaller than the template is refused
    QCoreApplication::processEvents();
    QCOMPARE(h.window->size(), smallest);
}

void PacketModeWindowTest::decAndHexLinesNeverWrap() {
    Harness h;
    QVERIFY(h.openShowingTcp(std::string(120, 'x')));
    h.window->resize(h.window->minimumSize());  // where the pane is narrowest
    auto* pane = h.control<QPlainTextEdit>(ids::kEntirePacket);
    struct Case {
        int radio;
        bool wraps;
    };
    for (const Case c : {Case{ids::kDec, false}, Case{ids::kHex, false}, Case{ids::kText, true}}) {
        h.control<QRadioButton>(c.radio)->setChecked(true);
        QCoreApplication::processEvents();
        int lines = 0;
        const QTextDocument* document = pane->document();
        for (QTextBlock b = document->begin(); b.isValid(); b = b.next())
            lines += b.layout()->lineCount();
        // Dec and Hex: one line a block, however narrow the pane; Text (one long block
        // here) wraps at the pane's edge.
        if (c.wraps)
            QVERIFY2(lines > document->blockCount(), qPrintable(QString::number(c.radio)));
        else
            QCOMPARE(lines, document->blockCount());
    }
}

void PacketModeWindowTest::closeWritesTheSevenFields() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    h.feed(channel, tcp(), 1000);
    h.control<QLineEdit>(ids::kFindText)->setText(QStringLiteral("find me"));
    h.control<QCheckBox>(ids::kMatchCase)->setChecked(true);
    h.control<QCheckBox>(ids::kSound)->setChecked(false);
    h.control<QRadioButton>(ids::kText)->setChecked(true);
    h.control<QCheckBox>(ids::kApplyFilters)->setChecked(true);

    QSignalSpy finished(h.window.get(), &PacketModeWindow::closeFinished);
    h.window->close();
    QVERIFY(finished.wait(10000));
    QVERIFY(h.window->closed());
    QCOMPARE(h.window->core().store().count(), 0);
    QVERIFY(!h.window->core().store().hasRecord(999));

    SettingsRecord onDisk;
    LoadSettings(onDisk, h.settingsPath);
    QCOMPARE(QString::fromStdString(onDisk.findText()), QStringLiteral("find me"));
    QVERIFY(onDisk.matchCase());
    QVERIFY(!onDisk.newPacketSound());
    QVERIFY(onDisk.viewText());
    QVERIFY(!onDisk.viewDec());
    QVERIFY(!onDisk.viewHex());
    QVERIFY(onDisk.applyFilters());
    QCOMPARE(QString::fromStdString(onDisk.interfaceAddress()), QStringLiteral("127.0.0.1"));
}

namespace {

// Opens the packet list's context menu with `event` and returns, by id, which commands it
// offered enabled ("tcp" for the submenu) and where it opened; the menu is closed, or
// `choose` is triggered. Empty when no menu opened.
struct MenuSeen {
    std::map<int, bool> enabled;
    QStringList texts;
    QPoint at;
};
std::optional<MenuSeen> OpenListMenu(QWidget* target, QContextMenuEvent::Reason reason,
                                     QPoint at = {}, int choose = 0) {
    std::optional<MenuSeen> seen;
    // Looks for the popup until it shows: the menu runs its own loop until it closes.
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || seen)
            return;
        seen.emplace();
        seen->at = menu->pos();
        for (QAction* a : menu->actions()) {
            seen->texts << a->text();
            if (a->menu()) {
                seen->enabled[0] = a->isEnabled();
                for (QAction* sub : a->menu()->actions()) {
                    if (!sub->isSeparator())
                        seen->enabled[sub->data().toInt()] = sub->isEnabled();
                    if (choose != 0 && sub->data().toInt() == choose)
                        sub->trigger();
                }
            } else if (!a->isSeparator()) {
                seen->enabled[a->data().toInt()] = a->isEnabled();
            }
            if (choose != 0 && a->data().toInt() == choose)
                a->trigger();
        }
        menu->close();
    });
    look.start(20);
    QContextMenuEvent event(reason, target->mapFromGlobal(at), at);
    QApplication::sendEvent(target, &event);
    look.stop();
    return seen;
}

}  // namespace

void PacketModeWindowTest::contextMenuNeedsASelectedRowAndGreysTcpOptions() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    h.feed(channel, udp());
    h.feed(channel, tcp());
    auto* list = h.control<QTableView>(ids::kList);
    PacketModeState& state = h.window->core().state();
    const QPoint click = list->viewport()->mapToGlobal(QPoint(30, 10));

    state.contextRow = 7;
    QVERIFY(!OpenListMenu(list->viewport(), QContextMenuEvent::Mouse, click));
    QCOMPARE(state.contextRow.load(), -1);

    const QStringList texts = {QStringLiteral("Reverse resolve &Source IP address"),
                               QStringLiteral("Reverse resolve D&estination IP address"),
                               QString(), QStringLiteral("TCP specific options"), QString(),
                               QStringLiteral("&Delete packet from list")};
    const struct {
        int row;
        bool byKey;
        bool tcpOptions;
    } cases[] = {{0, true, false}, {1, false, true}};
    for (const auto& c : cases) {
        h.select(c.row);
        const auto seen =
            c.byKey ? OpenListMenu(list, QContextMenuEvent::Keyboard)
                    : OpenListMenu(list->viewport(), QContextMenuEvent::Mouse, click);
        QVERIFY(seen);
        QCOMPARE(seen->texts, texts);
        QCOMPARE(seen->enabled.at(0), c.tcpOptions);
        QVERIFY(seen->enabled.at(ids::kMenuReverseSource));
        QVERIFY(seen->enabled.at(ids::kMenuReverseDestination));
        QVERIFY(seen->enabled.at(ids::kMenuDeletePacket));
        QVERIFY(seen->enabled.at(ids::kMenuDeleteDifferentAck));
        QCOMPARE(seen->enabled.size(), size_t{10});
        QCOMPARE(seen->at, c.byKey ? h.window->frameGeometry().topLeft() + QPoint(5, 20)
                                   : click);
        QCOMPARE(state.contextRow.load(), c.row);
    }
}

void PacketModeWindowTest::reverseResolveFromTheMenu() {
    Harness h;
    h.reverseName = "loopback.example";
    auto channel = h.openShowingTcp();
    QVERIFY(channel);
    auto* list = h.control<QTableView>(ids::kList);
    QVERIFY(OpenListMenu(list, QContextMenuEvent::Keyboard, {}, ids::kMenuReverseDestination));
    QVERIFY(QTest::qWaitFor([&] { return !h.prompt.asked().empty(); }));
    const PromptRequest told = h.prompt.asked().back();
    QCOMPARE(told.text, std::string("IP:                   127.0.0.2\nDomain name: loopback.example"));
    QCOMPARE(told.icon, PromptIcon::Information);
    QCOMPARE(h.reverseAsked.size(), size_t{1});
}

void PacketModeWindowTest::headerClicksSortAndFlipAcrossColumns() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    // Sizes 40 + payload; the sources sort differently from the sizes.
    h.feed(channel, test::BuildDatagramBetween(6, {9, 255, 255, 255}, {1, 1, 1, 1}, 1, 2, "aa"));
    h.feed(channel, test::BuildDatagramBetween(6, {10, 0, 0, 2}, {1, 1, 1, 1}, 1, 2, "a"));
    h.feed(channel, test::BuildDatagramBetween(6, {2, 0, 0, 1}, {1, 1, 1, 1}, 1, 2, "aaa"));
    auto* list = h.control<QTableView>(ids::kList);
    h.select(1);  // the packet from 10.0.0.2
    QHeaderView* header = list->horizontalHeader();
    const auto clickHeading = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
        h.window->syncList();
    };
    const auto column = [&](int c) {
        QStringList cells;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            cells << h.cell(row, c);
        return cells;
    };
    const QStringList descendingSizes = {QStringLiteral("43"), QStringLiteral("42"),
                                         QStringLiteral("41")};
    clickHeading(1);  // the first sort is descending
    QCOMPARE(column(1), descendingSizes);
    clickHeading(2);  // the next one ascending, whatever the column
    QCOMPARE(column(2), (QStringList{QStringLiteral("2.0.0.1"), QStringLiteral("9.255.255.255"),
                                     QStringLiteral("10.0.0.2")}));
    QCOMPARE(list->currentIndex().row(), 2);  // the marked packet stays selected
    QCOMPARE(h.window->core().list().selectionMark(), 2);

    {  // a worker holds the list: the click is lost and the direction stays
        auto busy = h.window->core().state().lockListForWorker();
        clickHeading(1);
    }
    QVERIFY(!h.window->core().sortAscending());
    QCOMPARE(column(2).last(), QStringLiteral("10.0.0.2"));

    // Over 1000 rows a filter-string column asks first; No changes nothing.
    h.feed(channel, udp(), 1000);
    h.prompt.script({PromptAnswer::No});
    clickHeading(7);
    QCOMPARE(h.prompt.asked().back().caption, std::string("Are you sure?"));
    QVERIFY(!h.window->core().sortAscending());
    QCOMPARE(column(2).mid(0, 3), (QStringList{QStringLiteral("2.0.0.1"),
                                              QStringLiteral("9.255.255.255"),
                                              QStringLiteral("10.0.0.2")}));
}

void PacketModeWindowTest::saveAsksForTheFileAndWritesIt() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    h.feed(channel, udp(), 3);
    h.settings.setSaveWithData(false);
    h.settings.setSaveDataHex(true);
    QAction* save = h.menuCommand(ids::kMenuSave);
    QVERIFY(save && save->isEnabled());
    QCOMPARE(save->statusTip(), QStringLiteral("Save the list of received packets"));

    const struct {
        const char* name;
        bool optionsShown;
        const char* starts;
    } cases[] = {{"list", true, "Brindlecraft VORLANX saved information:\r\n"},
                 {"list.pcap", false, "\xD4\xC3\xB2\xA1"}};
    for (const auto& c : cases) {
        bool optionsShown = false;
        bool radiosEnabled = true;
        // Answers the file dialog, then (for a report) the saving options, as they come.
        QTimer answer;
        bool pathGiven = false;
        connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !pathGiven) {
                pathGiven = true;
                dialog->selectFile(QString::fromStdString(h.dir.file(c.name)));
                QMetaObject::invokeMethod(dialog, "accept");
            } else if (modal && modal->windowTitle() == QStringLiteral("Saving options")) {
                optionsShown = true;
                radiosEnabled = FindControl<QRadioButton>(modal, 1026)->isEnabled();
                FindControl<QCheckBox>(modal, 1029)->setChecked(true);
                FindControl<QPushButton>(modal, 1028)->click();
            }
        });
        answer.start(20);
        save->trigger();
        answer.stop();
        QCOMPARE(optionsShown, c.optionsShown);
        const std::string path = h.dir.file(c.optionsShown ? std::string(c.name) + ".txt" : c.name);
        // Written once the trailer is there, or the three records (24-byte file header,
        // 16 bytes before each datagram).
        const auto written = [&] {
            const std::string b = test::ReadFileBytes(path);
            return c.optionsShown ? b.ends_with("milliseconds.") : b.size() == 24 + 3 * (16 + udp().size());
        };
        QVERIFY(QTest::qWaitFor(written));
        const std::string bytes = test::ReadFileBytes(path);
        QVERIFY(bytes.rfind(c.starts, 0) == 0);
        if (c.optionsShown) {
            QVERIFY(!radiosEnabled);  // with data off, the renderings wait
            QVERIFY(h.settings.saveWithData());
            QVERIFY(bytes.find("\r\n3 Packets listed in ") != std::string::npos);
            QVERIFY(bytes.find("\r\n\r\n45 00 ") != std::string::npos);  // Hex data
        }
    }
    QVERIFY(h.prompt.asked().empty());
}

void PacketModeWindowTest::openCaptureFileListsRecordedPackets() {
    Harness h([](SettingsRecord& s) { s.setDateTimeTemplate("%S.%MS"); });
    QVERIFY(h.open());
    QAction* open = h.menuCommand(ids::kMenuOpenCaptureFile);
    QVERIFY(open && open->isEnabled());
    QCOMPARE(open->text(), QStringLiteral("Open capture file..."));
    const std::string recording = VORLANX_TEST_DATA_DIR "/http_exchange_lo.pcap";

    auto* list = h.control<QTableView>(ids::kList);
    auto* cancel = h.control<QPushButton>(ids::kCancel);
    // Chooses `path` in the file dialog as it comes.
    QStringList filters;
    const auto choose = [&](const std::string& path) {
        auto* answer = new QTimer(h.window.get());
        connect(answer, &QTimer::timeout, [&filters, answer, path] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                filters = dialog->nameFilters();
                dialog->selectFile(QString::fromStdString(path));
                QMetaObject::invokeMethod(dialog, "accept");
                answer->deleteLater();
            }
        });
        answer->start(20);
        open->trigger();
    };

    {  // The load waits for the list: its progress and Cancel cover the list meanwhile.
        auto busy = h.window->core().state().lockListForWorker();
        choose(recording);
        QTRY_VERIFY(cancel->isVisible() && !list->isVisible());
        QVERIFY(h.control<QProgressBar>(ids::kListProgress)->isVisible());
        QTRY_VERIFY(!open->isEnabled());
        cancel->click();
    }
    QTRY_VERIFY(list->isVisible() && !cancel->isVisible() && open->isEnabled());
    QCOMPARE(filters, (QStringList{QStringLiteral("Capture files (*.pcap *.pcapng *.cap)"),
                                   QStringLiteral("All files (*)")}));
    const int kept = h.window->core().list().rowCount();
    QVERIFY(kept < 12);  // Cancel ended the load early

    choose(recording);  // appended
    QTRY_COMPARE(list->model()->rowCount(), kept + 12);
    QCOMPARE(h.cell(kept, 6), QStringLiteral("09.334"));  // the record's time, not the clock's
    QCOMPARE(h.cell(kept + 7, 1), QStringLiteral("12402"));
    QTRY_VERIFY(open->isEnabled());

    // Not while capturing.
    auto channel = h.start();
    QVERIFY(channel);
    QTRY_VERIFY(!open->isEnabled());
    h.control<QToolButton>(ids::kStop)->click();
    QTRY_VERIFY(open->isEnabled());
}

void PacketModeWindowTest::savingOptionsStoreOnlyOnContinue() {
    for (bool proceed : {false, true}) {
        SettingsRecord settings = SettingsRecord::defaults("/tmp/");
        SavingOptionsWindow window(settings);
        QCOMPARE(window.windowTitle(), QStringLiteral("Saving options"));
        auto* withData = FindControl<QCheckBox>(&window, 1029);
        const QList<QRadioButton*> radios = {FindControl<QRadioButton>(&window, 1025),
                                             FindControl<QRadioButton>(&window, 1026),
                                             FindControl<QRadioButton>(&window, 1020)};
        QCOMPARE(FindControl<QCheckBox>(&window, 1134)->text(),
                 QStringLiteral("Only save listed packets\n(Do not save packets that have been "
                                "deleted from the packet list)"));
        auto* continueButton = FindControl<QPushButton>(&window, 1028);
        QVERIFY(continueButton->isDefault());
        for (QRadioButton* r : radios)
            QVERIFY(!r->isEnabled());
        withData->click();
        for (QRadioButton* r : radios)
            QVERIFY(r->isEnabled());
        radios[2]->click();  // Text
        FindControl<QCheckBox>(&window, 1134)->click();
        if (proceed)
            continueButton->click();
        else
            window.reject();  // Esc or the close box
        const SavingOptions stored = SavingOptions::fromRecord(settings);
        const SavingOptions expected =
            proceed ? SavingOptions{true, false, false, true, false} : SavingOptions{};
        QVERIFY(stored == expected);
    }
}

void PacketModeWindowTest::findShowsOneMatchAtATimeAfterADoublePress() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    h.feed(channel, udp());
    h.feed(channel, tcp("a needle"));
    h.feed(channel, udp());
    {
        // Both presses land before the search reaches its match, where it waits for the
        // list as a worker does.
        auto busy = h.window->core().state().lockListForWorker();
        h.find(QStringLiteral("NEEDLE"), 2);
    }
    QVERIFY(h.waitsAt(1));
    QTRY_COMPARE(h.text(ids::kPacketType), QStringLiteral("TCP"));
    QTest::qWait(100);  // a second search would have asked or moved by now
    QVERIFY(h.prompt.asked().empty());
    h.control<QPushButton>(ids::kFind)->click();
    QTRY_VERIFY(!h.window->core().state().findRunning.load());
    QTest::qWait(100);
    QCOMPARE(h.prompt.texts(), std::vector<std::string>{kSearchAgain});
    QVERIFY(h.control<QTableView>(ids::kList)->isVisible());
}

void PacketModeWindowTest::clearWhileFindScansUncoversTheListOnce() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    h.feed(channel, tcp("needle"), 3);
    PacketModeCore& core = h.window->core();
    auto* list = h.control<QTableView>(ids::kList);
    {
        // Held as a worker holds it: the search covers the list and stops at its first
        // match until it can mark the row; Clear asks it to end and waits too.
        auto busy = core.state().lockListForWorker();
        h.find(QStringLiteral("needle"));
        QTRY_VERIFY(!list->isVisible());
        h.control<QToolButton>(ids::kClear)->click();
        QTRY_VERIFY(core.state().findAbortRequested.load());
    }
    QTRY_VERIFY(!core.state().findRunning.load() && core.state().clearDone.load());
    QTRY_VERIFY(list->isVisible());
    QVERIFY(!h.control<QProgressBar>(ids::kListProgress)->isVisible());
    QCOMPARE(list->model()->rowCount(), 0);
    QVERIFY(h.prompt.asked().empty());  // the search ended without a message
}

void PacketModeWindowTest::closeWhileFindWaitsAtAMatch() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    h.feed(channel, tcp("needle"), 2);
    h.find(QStringLiteral("needle"));
    QVERIFY(h.waitsAt(0));
    QSignalSpy finished(h.window.get(), &PacketModeWindow::closeFinished);
    h.window->close();
    QVERIFY(finished.wait(10000));
    QTRY_VERIFY(!h.window->core().state().findRunning.load());
    h.window.reset();  // joins every thread
    QVERIFY(h.prompt.asked().empty());
}

void PacketModeWindowTest::sameAckToolsFromTheMenu() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    // Sequence numbers 100, 300, 200 with one acknowledgement number, then another one.
    for (const auto& [sequence, ack] :
         {std::pair{100u, 9u}, std::pair{300u, 9u}, std::pair{200u, 9u}, std::pair{5u, 8u}}) {
        auto d = tcp();
        for (size_t i = 0; i < 4; ++i) {
            d[24 + i] = static_cast<uint8_t>(sequence >> (24 - 8 * i));
            d[28 + i] = static_cast<uint8_t>(ack >> (24 - 8 * i));
        }
        h.feed(channel, d);
    }
    auto* list = h.control<QTableView>(ids::kList);
    h.select(0);
    QVERIFY(OpenListMenu(list, QContextMenuEvent::Keyboard, {}, ids::kMenuNextSameAck));
    QCOMPARE(list->currentIndex().row(), 2);
    QVERIFY(QTest::qWaitFor([&] { return h.text(ids::kSequence) == QStringLiteral("200"); }));

    h.prompt.script({PromptAnswer::Yes});
    QVERIFY(OpenListMenu(list, QContextMenuEvent::Keyboard, {}, ids::kMenuDeleteSameAck));
    QVERIFY(QTest::qWaitFor([&] { return h.prompt.asked().size() == 2; }));
    QCOMPARE(h.prompt.asked().back().text, std::string("3 item(s) deleted from packet list."));
    h.window->syncList();
    QCOMPARE(list->model()->rowCount(), 1);
    QCOMPARE(h.window->core().list().slotOfRow(0), 3);  // the other acknowledgement number
    QVERIFY(!h.window->core().store().listed(1));
}

void PacketModeWindowTest::generalSettingsApplyAtOnceAndReachTheFileOnClose() {
    Harness h;
    auto channel = h.openAndStart();
    QVERIFY(channel);
    h.feed(channel, tcp());
    const QString firstTitle = QStringLiteral("1 items - Brindlecraft VORLANX");
    QTRY_COMPARE_WITH_TIMEOUT(h.window->windowTitle(), firstTitle, 5000);
    QTest::qWait(1500);  // past the blink for the first row, which shows the count between
    QCOMPARE(h.window->windowTitle(), firstTitle);
    const std::string onDiskBefore = test::ReadFileBytes(h.settingsPath);
    auto* pane = h.control<QPlainTextEdit>(ids::kEntirePacket);
    QCOMPARE(pane->palette().color(QPalette::Base), FromBgr(kPaneBackgroundBgr));

    const std::string sound = h.dir.file("ding.wav");
    QVERIFY(test::RunGeneralSettings(*h.window, [&](GeneralSettingsWindow& w) {
        FindControl<QCheckBox>(&w, GeneralSettingsWindow::kWindowsColors)->click();
        FindControl<QCheckBox>(&w, GeneralSettingsWindow::kNoTaskbarBlink)->click();
        FindControl<QLineEdit>(&w, GeneralSettingsWindow::kSoundFile)
            ->setText(QString::fromStdString(sound));
        FindControl<QLineEdit>(&w, GeneralSettingsWindow::kDateTimeTemplate)
            ->setText(QStringLiteral("%H24h%MN"));
    }));
    // In the record and the window at once; on disk not yet.
    QVERIFY(h.settings.useWindowsColors() && h.settings.noTaskbarBlink());
    QCOMPARE(test::ReadFileBytes(h.settingsPath), onDiskBefore);
    for (int id : {ids::kEntirePacket, ids::kPacketData, ids::kList})
        QCOMPARE(h.control(id)->palette().color(QPalette::Base),
                 QApplication::palette(h.control(id)).color(QPalette::Base));

    // The next row: the new time text, a title without blinking, the new sound file.
    QSignalSpy titles(h.window.get(), &QWidget::windowTitleChanged);
    h.feed(channel, tcp());
    QCOMPARE(h.cell(1, 6), QStringLiteral("14h05"));
    QCOMPARE(h.cell(0, 6), QStringLiteral("2003.04.02 - 14:05:09.007"));
    QTRY_COMPARE_WITH_TIMEOUT(h.window->windowTitle(),
                              QStringLiteral("2 items - Brindlecraft VORLANX"), 5000);
    for (const QList<QVariant>& title : titles)
        QVERIFY(!title.at(0).toString().startsWith(QLatin1Char('#')));
    QTRY_VERIFY(!h.sound.waveFiles().empty() && h.sound.waveFiles().back() == sound);

    QSignalSpy finished(h.window.get(), &PacketModeWindow::closeFinished);
    h.window->close();
    QVERIFY(finished.wait(10000));
    SettingsRecord onDisk;
    LoadSettings(onDisk, h.settingsPath);
    QCOMPARE(onDisk.dateTimeTemplate(), std::string("%H24h%MN"));
    QCOMPARE(onDisk.soundFile(), sound);
    QVERIFY(onDisk.useWindowsColors() && onDisk.noTaskbarBlink());
}

QTEST_MAIN(PacketModeWindowTest)
#include "packet_mode_window_test.moc"
