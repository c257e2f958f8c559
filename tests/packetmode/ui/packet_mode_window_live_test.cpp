// The Packet Mode window capturing real traffic on the loopback interface (needs
// CAP_NET_RAW; skips with a clear line without it), and saving what it captured.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>

#include "capture/live_capture_source.h"
#include "capture/pcap_file_source.h"
#include "packetmode/ui/packet_mode_controls.h"
#include "packetmode/ui/packet_mode_window.h"
#include "platform/qt/control_ids.h"
#include "support/file_contents.h"
#include "support/loopback_traffic.h"
#include "support/quiet_platform.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

using namespace vorlanx;
namespace ids = vorlanx::packet_ids;

namespace {

// A window on the live loopback capture.
struct LiveHarness {
    test::TempDir dir;
    SettingsRecord settings = SettingsRecord::defaults("/tmp/");
    test::ScriptedPrompt prompt;
    LiveCaptureSourceFactory sources;
    test::SilentSoundPlayer sound;
    SystemLocalTimeSource time;
    test::RefusingLauncher launcher;
    std::unique_ptr<PacketModeWindow> window;

    LiveHarness() {
        settings.setInterfaceAddress("127.0.0.1");
        window = std::make_unique<PacketModeWindow>(
            settings, dir.file("v.BCS"),
            PacketModeWindowServices{prompt, sources, sound, time, launcher});
    }
    template <typename W = QWidget>
    W* control(int id) {
        return FindControl<W>(window.get(), id);
    }
    QAbstractItemModel* model() { return control<QTableView>(ids::kList)->model(); }
    // Presses Start and waits until the capture listens.
    bool start() {
        control<QToolButton>(ids::kStart)->click();
        return QTest::qWaitFor(
            [&] {
                return control<QLabel>(ids::kStatus)->text() ==
                       QStringLiteral("Listening on: 127.0.0.1");
            },
            10000);
    }
    bool stop() {
        control<QToolButton>(ids::kStop)->click();
        return QTest::qWaitFor(
            [&] { return control<QLabel>(ids::kStatus)->text() == QStringLiteral("Stopped"); },
            2000);
    }
    QString cell(int row, int column) { return model()->index(row, column).data().toString(); }
    // The rows of `type` whose cell in `column` is `port`, in list order.
    std::vector<int> rows(const QString& type, int column, uint16_t port) {
        std::vector<int> found;
        for (int r = 0; r < model()->rowCount(); ++r)
            if (cell(r, 0) == type && cell(r, column) == QString::number(port))
                found.push_back(r);
        return found;
    }
    // Initialises and shows the window, then starts a capture.
    bool openAndStart() {
        if (!window->initialise())
            return false;
        window->show();
        return QTest::qWaitForWindowExposed(window.get()) && start();
    }
};

// Counts the times a widget was shown and hidden.
class VisibilityRecorder : public QObject {
  public:
    int shown = 0;
    int hidden = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        shown += event->type() == QEvent::Show;
        hidden += event->type() == QEvent::Hide;
        return false;
    }
};

std::vector<std::string> Payloads(int count) {
    std::vector<std::string> payloads;
    for (int i = 0; i < count; ++i)
        payloads.push_back("vorlanx live " + std::to_string(i));
    return payloads;
}

// The datagrams of every stored slot, in slot order.
std::vector<std::vector<uint8_t>> StoredDatagrams(const PacketStore& store) {
    std::vector<std::vector<uint8_t>> stored;
    for (int32_t slot = 0; slot < store.count(); ++slot)
        store.withRecord(slot, [&](const PacketView& p) {
            stored.emplace_back(p.data(), p.data() + p.length());
        });
    return stored;
}

// Lines `tcpdump -r path -nn` prints (one a packet), or nothing without tcpdump.
std::optional<int> TcpdumpLines(const std::string& path) {
    if (std::system("command -v tcpdump >/dev/null 2>&1") != 0)
        return std::nullopt;
    FILE* out = ::popen(("tcpdump -r '" + path + "' -nn 2>/dev/null").c_str(), "r");
    if (out == nullptr)
        return std::nullopt;
    int lines = 0;
    for (int c; (c = std::fgetc(out)) != EOF;)
        lines += c == '\n';
    return ::pclose(out) == 0 ? std::optional<int>(lines) : std::optional<int>(-1);
}

}  // namespace

class PacketModeLiveTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void capturesRealLoopbackTrafficAndSavesIt();
    void clearEmptiesListAndPaneAndANewCaptureFillsThemAgain();
    void findSelectsTheDatagramWithTheText();
};

void PacketModeLiveTest::init() {
    if (!test::CanCapture())
        QSKIP("live capture needs CAP_NET_RAW (run as root); skipped");
}

void PacketModeLiveTest::capturesRealLoopbackTrafficAndSavesIt() {
    LiveHarness h;
    QVERIFY(h.openAndStart());
    const test::LoopbackUdp udp = test::SendLoopbackUdp(Payloads(5));
    QVERIFY(udp.ok);
    const test::LoopbackTcp tcp = test::ExchangeOverLoopbackTcp("GET / HTTP/1.0\r\n\r\n", "hi");
    QVERIFY(tcp.ok);

    // Each datagram once: loopback's outgoing copies are not listed twice.
    const QString udpType = QStringLiteral("UDP");
    QTRY_COMPARE(h.rows(udpType, 5, udp.toPort).size(), size_t{5});
    QCOMPARE(h.rows(udpType, 4, udp.fromPort).size(), size_t{5});
    // SYN, request, reply, ACKs, FINs
    QTRY_VERIFY(h.rows(QStringLiteral("TCP"), 5, tcp.serverPort).size() >= 3);
    const int first = h.rows(udpType, 5, udp.toPort).front();
    QCOMPARE(h.cell(first, 2), QStringLiteral("127.0.0.1"));
    QCOMPARE(h.cell(first, 3), QStringLiteral("127.0.0.1"));
    QCOMPARE(h.cell(first, 1), QString::number(20 + 8 + 14));
    QVERIFY(h.stop());

    // File > Save of what was captured, as a capture file and as a report.
    PacketModeCore& core = h.window->core();
    const auto stored = StoredDatagrams(core.store());
    QCOMPARE(int(stored.size()), core.store().count());
    for (const SaveFormat format : {SaveFormat::Capture, SaveFormat::Report}) {
        const std::string path = h.dir.file(format == SaveFormat::Capture ? "l.pcap" : "l.txt");
        core.save({path, format, {}, "%Y"});
        QTRY_VERIFY(core.waitForThreads(std::chrono::milliseconds(0)));
    }
    QVERIFY(h.prompt.texts().empty());

    // The capture file replays the stored datagrams, byte for byte and in order.
    auto replay = PcapFileSource::openFile(h.dir.file("l.pcap"));
    for (const auto& datagram : stored) {
        const auto d = replay->receive();
        QVERIFY2(d, replay->errorText().c_str());
        QVERIFY(std::equal(d->begin(), d->end(), datagram.begin(), datagram.end()));
    }
    QVERIFY(!replay->receive());
    QVERIFY2(!replay->failed(), replay->errorText().c_str());

    // The report: a heading for each UDP datagram sent, and the number of every packet.
    const std::string report = test::ReadFileBytes(h.dir.file("l.txt"));
    const std::string udpHeading =
        "\r\n UDP   42       127.0.0.1       127.0.0.1  " +
        QStringLiteral("%1 %2").arg(udp.fromPort, 5).arg(udp.toPort, 5).toStdString() + "  [";
    size_t headings = 0;
    for (size_t at = report.find(udpHeading); at != std::string::npos;
         at = report.find(udpHeading, at + 1))
        ++headings;
    QCOMPARE(headings, size_t{5});
    std::smatch trailer;
    QVERIFY(std::regex_search(
        report, trailer, std::regex("\r\n([0-9]+) Packets listed in [0-9]+ milliseconds\\.$")));
    QCOMPARE(std::stoi(trailer[1]), core.store().count());

    // Another reader of capture files counts the same packets.
    const std::optional<int> lines = TcpdumpLines(h.dir.file("l.pcap"));
    if (!lines)
        qInfo("SKIP tcpdump is not installed: the capture file was not read back by it");
    else
        QCOMPARE(*lines, int(stored.size()));
}

void PacketModeLiveTest::clearEmptiesListAndPaneAndANewCaptureFillsThemAgain() {
    LiveHarness h;
    QVERIFY(h.openAndStart());
    auto* view = h.control<QTableView>(ids::kList);
    auto* packetType = h.control<QLineEdit>(ids::kPacketType);
    auto* packetData = h.control<QPlainTextEdit>(ids::kPacketData);
    const test::LoopbackUdp before = test::SendLoopbackUdp(Payloads(3));
    QVERIFY(before.ok);
    QTRY_VERIFY(!h.rows(QStringLiteral("UDP"), 5, before.toPort).empty());
    const int row = h.rows(QStringLiteral("UDP"), 5, before.toPort).front();
    view->selectRow(row);
    QTRY_COMPARE(packetType->text(), QStringLiteral("UDP"));
    QCOMPARE(packetData->toPlainText(), QStringLiteral("vorlanx live 0"));

    VisibilityRecorder list, progress;
    view->installEventFilter(&list);
    h.control<QProgressBar>(ids::kListProgress)->installEventFilter(&progress);
    h.control<QToolButton>(ids::kClear)->click();
    // The list makes way for the progress of the release, then comes back empty.
    QTRY_VERIFY(h.window->core().state().clearDone.load());
    QTRY_VERIFY(view->isVisible());
    QVERIFY(list.hidden >= 1);
    QVERIFY(progress.shown >= 1);
    QVERIFY(!h.control<QProgressBar>(ids::kListProgress)->isVisible());
    QTRY_COMPARE(packetType->text(), QString());
    QCOMPARE(packetData->toPlainText(), QString());
    for (int id = ids::kFlagUrg; id < ids::kFlagUrg + 6; ++id)
        QVERIFY(h.control<QLabel>(id)->isHidden());
    QCOMPARE(h.window->core().list().selectionMark(), -1);

    // A new capture: selecting the same row number again shows the packet now there.
    QVERIFY(h.stop());
    QVERIFY(h.start());
    // Enough datagrams that the row shown before exists again.
    while (h.model()->rowCount() <= row) {
        QVERIFY(test::SendLoopbackUdp(Payloads(1)).ok);
        QTest::qWait(20);
    }
    view->selectRow(row);
    const QString type = h.cell(row, 0);
    QVERIFY(!type.isEmpty());
    QTRY_COMPARE(packetType->text(), type);
    QVERIFY(h.stop());
}

void PacketModeLiveTest::findSelectsTheDatagramWithTheText() {
    LiveHarness h;
    QVERIFY(h.openAndStart());
    std::vector<std::string> payloads = Payloads(5);
    payloads[3] = "vorlanx live Find-Me-7Q";
    const test::LoopbackUdp udp = test::SendLoopbackUdp(payloads);
    QVERIFY(udp.ok);
    QTRY_COMPARE(h.rows(QStringLiteral("UDP"), 5, udp.toPort).size(), size_t{5});
    QVERIFY(h.stop());

    h.control<QCheckBox>(ids::kMatchCase)->setChecked(false);
    h.control<QLineEdit>(ids::kFindText)->setText(QStringLiteral("FIND-ME-7q"));
    h.control<QPushButton>(ids::kFind)->click();
    auto* view = h.control<QTableView>(ids::kList);
    QTRY_VERIFY(h.window->core().list().selectionMark() >= 0 && view->isVisible() &&
                view->currentIndex().row() == h.window->core().list().selectionMark());
    const int row = view->currentIndex().row();
    QCOMPARE(h.cell(row, 5), QString::number(udp.toPort));
    QTRY_COMPARE(h.control<QPlainTextEdit>(ids::kPacketData)->toPlainText(),
                 QStringLiteral("vorlanx live Find-Me-7Q"));
    // No other packet holds it: Next ends the search.
    h.control<QPushButton>(ids::kFind)->click();
    QTRY_COMPARE(h.prompt.texts(),
                 std::vector<std::string>{
                     "Search is complete.\r\n\r\nWould you like to search again?"});
}

QTEST_MAIN(PacketModeLiveTest)
#include "packet_mode_window_live_test.moc"
