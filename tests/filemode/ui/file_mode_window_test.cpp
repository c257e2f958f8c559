// The File Mode window on the offscreen platform: controls by id and their first texts,
// the trial of the interface, Start and Stop with the locked controls, the counters and
// rates from a capture fed by the test, the resolver, the menu commands and the close.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <atomic>
#include <functional>
#include <thread>

#include "capture/ui/help_window.h"
#include "capture/ui/interface_choice_window.h"
#include "filemode/stream_test_support.h"
#include "filemode/ui/file_mode_controls.h"
#include "filemode/ui/file_mode_window.h"
#include "platform/qt/control_ids.h"
#include "platform/qt/main_menu.h"
#include "settings/settings_file.h"
#include "support/file_contents.h"
#include "support/general_settings_driver.h"
#include "support/recording_launcher.h"
#include "support/loopback_sockets.h"
#include "support/scripted_capture_source.h"
#include "support/scripted_prompt.h"
#include "support/interleaved_http_recording.h"
#include "support/temp_dir.h"

using namespace vorlanx;
namespace ids = vorlanx::file_ids;
using file_ids::FileModeTimer;

namespace {

// The scripted source with a receive queue whose fill level the test sets.
class QueueSource final : public CaptureSource {
  public:
    QueueSource(std::unique_ptr<CaptureSource> inner, const std::atomic<uint64_t>& waiting)
        : m_inner(std::move(inner)), m_waiting(waiting) {}
    std::optional<std::span<const uint8_t>> receive() override { return m_inner->receive(); }
    void close() override { m_inner->close(); }
    uint64_t bytesWaiting() const override { return m_waiting.load(); }

  private:
    std::unique_ptr<CaptureSource> m_inner;
    const std::atomic<uint64_t>& m_waiting;
};

class QueueSourceFactory final : public CaptureSourceFactory {
  public:
    test::ScriptedCaptureSourceFactory scripted;
    std::atomic<uint64_t> waiting{0};
    std::unique_ptr<CaptureSource> open(const std::string& address, OpenOutcome& outcome) override {
        auto inner = scripted.open(address, outcome);
        if (!inner)
            return nullptr;
        return std::make_unique<QueueSource>(std::move(inner), waiting);
    }
};

// One window with its platform edge, set up the way a user starts File Mode.
struct Harness {
    test::TempDir dir;
    test::TempDir output;
    SettingsRecord settings = SettingsRecord::defaults("/tmp/");
    std::string settingsPath = dir.file("vorlanx.BCS");
    test::ScriptedPrompt prompt;
    QueueSourceFactory sources;
    ManualProgramClock clock;
    FixedLocalTimeSource time{LocalTime{2003, 4, 2, 14, 5, 9, 7}};
    test::RecordingLauncher launcher;
    HostResolver resolver;  // the system's when empty
    std::vector<std::string> interfaces{"127.0.0.1", "192.0.2.7"};
    std::unique_ptr<FileModeWindow> window;

    Harness() {
        clock.set(1000);
        settings.setInterfaceAddress("127.0.0.1");
        settings.setFileDirectory(output.path().string());
        settings.setAckTimeoutMs(100);
    }
    FileModeWindow& open() {
        window = std::make_unique<FileModeWindow>(
            settings, settingsPath,
            FileModeWindowServices{prompt, sources, clock, time, launcher, resolver,
                                   [this] { return interfaces; }});
        return *window;
    }
    // Opens the window as start-up does: the trial of the interface, then (when `shown`)
    // the window on the screen.
    bool ready(bool shown = false) {
        open();
        if (!window->initialise())
            return false;
        if (shown)
            window->show();
        return true;
    }
    template <typename W = QWidget>
    W* control(int id) {
        return FindControl<W>(window.get(), id);
    }
    QString label(int id) { return control<QLabel>(id)->text(); }
    // Start open and Stop locked, as between captures.
    bool betweenCaptures() {
        return control(ids::kStart)->isEnabled() && !control(ids::kStop)->isEnabled();
    }
    QAction* menuCommand(int id) {
        for (QAction* a : window->menuBar()->findChildren<QAction*>())
            if (a->property(kControlIdProperty).toInt() == id)
                return a;
        return nullptr;
    }
    // Presses Start and waits until the capture runs; returns its channel.
    std::shared_ptr<test::ScriptedCaptureChannel> start() {
        const size_t before = sources.scripted.openCount();
        const uint32_t generation = window->core().state().captureGeneration.load();
        control<QToolButton>(ids::kStart)->click();
        if (!sources.scripted.waitForOpens(before + 1))
            return nullptr;
        // The capture loop has begun (its start clock is set) and the window knows it.
        if (!QTest::qWaitFor([&] {
                return window->core().state().captureGeneration.load() != generation &&
                       control<QToolButton>(ids::kStop)->isEnabled();
            }))
            return nullptr;
        return sources.scripted.channel(before);
    }
    // Presses Stop and waits until the capture and the assembler have ended.
    bool stop() {
        control<QToolButton>(ids::kStop)->click();
        return window->core().engine().waitUntilIdle(std::chrono::seconds(10));
    }
    // Lets the stream clock pass the ACK time-out and waits for the assembler to write.
    bool timeOutStreams(uint32_t writtenAll) {
        clock.advance(1000);
        return QTest::qWaitFor(
            [&] { return window->core().counters().filesWrittenAll.load() >= writtenAll; }, 10000);
    }
};

// The file a response from 10.0.0.1 gets at the harness's fixed time.
const std::string kFirstFile = "10.0.0.1 to 10.0.0.2 - [2003.04.02 - 14.05.09.007].txt";

// A server's response from `source`:`sourcePort` to 10.0.0.2:40000, in one segment.
std::vector<uint8_t> response(const std::string& body, std::array<uint8_t, 4> source,
                              uint16_t sourcePort, uint32_t ack) {
    const std::string http = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
    return test::TcpSegment(1000, ack, http, source, {10, 0, 0, 2}, sourcePort, 40000);
}

std::vector<uint8_t> udpOfSize(size_t bytes) {
    test::DatagramSpec s;
    s.protocol = 17;
    s.payload = std::string(bytes - 28, 'u');
    return test::BuildDatagram(s);
}

// Picks `address` in the next Choose Interface window, or closes it when empty.
void answerChooseInterface(const QString& address) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, address] {
        auto* window = qobject_cast<InterfaceChoiceWindow*>(QApplication::activeModalWidget());
        if (!window)
            return;
        poll->stop();
        poll->deleteLater();
        if (address.isEmpty()) {
            window->reject();
            return;
        }
        auto* list = FindControl<QTreeWidget>(window, InterfaceChoiceWindow::kAddressListId);
        const auto items = list->findItems(address, Qt::MatchExactly);
        if (!items.isEmpty())
            list->setCurrentItem(items.first());
        window->accept();
    });
    poll->start(10);
}

// The number of `width` bytes at `at`, least significant first, or (width 0) the
// zero-ended text there, as a text either way.
std::string fieldAt(const std::string& b, size_t at, size_t width) {
    if (width == 0)
        return std::string(b.c_str() + at);
    uint32_t v = 0;
    for (size_t i = 0; i < width; ++i)
        v |= uint32_t{static_cast<uint8_t>(b[at + i])} << (8 * i);
    return std::to_string(v);
}

}  // namespace

class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened << url; }
};

class FileModeWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void newWindowShowsItsControlsAndFirstTexts();
    void controlsAreFilledFromTheRecord();
    void ackTimeOutFollowsTheEdit();
    void trialOfTheInterface();
    void startAndStopLockAndUnlockTheControls();
    void ratesAndCountersAreRewrittenOnlyOnChange();
    void bufferUsageFollowsTheQueue();
    void countersOverTwoRuns();
    void liveDirectoryAndFiltersFromTheControls();
    void partialFilterAddressRefusesTheStart();
    void resolverAnswersInTheEdit();
    void closingWaitsForALookupUnderWay();
    void interfaceChangeWhileCapturingGivesTheNotice();
    void modeChangeAsksAndSwitches();
    void escapeDoesNothingF1OpensHelpAndTheLogoOpensTheMakersPage();
    void closeWritesEveryFieldAtItsOffset();
    void generalSettingsNameTheNextFile();
    void rebuildFromACaptureFileEndsByItself();
};

void FileModeWindowTest::newWindowShowsItsControlsAndFirstTexts() {
    Harness h;
    h.open();
    QCOMPARE(h.window->windowTitle(), QStringLiteral("Brindlecraft VORLANX (File Mode)"));
    const std::pair<int, const char*> firstTexts[] = {
        {ids::kFilesPending, "Files processing: 0"},
        {ids::kFilesProcessed, "Files processed: 0 (0 KB) of 0 (0 KB)"},
        {ids::kFilesWritten, "Files written: 0 (0 KB) of 0 (0 KB)"},
        {ids::kTrackedMemory, "0 KB"},
        {ids::kCurrentRate, "Current: 0"},
        {ids::kPeakRate, "Peak: 0"},
        {ids::kAverageRate, "Average: 0"},
        {ids::kStatus, "Status: Waiting to run..."},
        {ids::kActivity, "X"},
    };
    for (const auto& [id, text] : firstTexts)
        QCOMPARE(h.label(id), QString::fromLatin1(text));

    const std::pair<int, const char*> checkBoxes[] = {
        {ids::kOverwrite, "Over-Write files of same name"},
        {ids::kHttpOnly, "Only store HTTP based file streams as files"},
        {ids::kPartialContent, "Accept partial content"},
        {ids::kDirtyMode, "Dirty mode (may be faster)"},
    };
    for (const auto& [id, text] : checkBoxes) {
        QCOMPARE(h.control<QCheckBox>(id)->text(), QString::fromLatin1(text));
        QCOMPARE(h.control(id)->accessibleName(), QString::fromLatin1(text));
    }
    QCOMPARE(h.control<QToolButton>(ids::kStart)->text(), QStringLiteral("Start"));
    QCOMPARE(h.control<QToolButton>(ids::kStop)->text(), QStringLiteral("Stop"));
    QVERIFY(h.betweenCaptures());
    QCOMPARE(h.control<QPushButton>(ids::kResolve)->text(), QStringLiteral("Resolve"));
    QVERIFY(h.control<QLineEdit>(ids::kInterfaceAddress)->isReadOnly());
    QVERIFY(h.control<QLabel>(ids::kLogo));
    QCOMPARE(h.control(ids::kLogo)->cursor().shape(), Qt::PointingHandCursor);

    // Every control can be found by assistive tools: edits by the label beside them.
    const std::pair<int, const char*> edits[] = {
        {ids::kInterfaceAddress, "IP level interface to listen on"},
        {ids::kDirectory, "Directory to store constructed files:"},
        {ids::kAckTimeout, "ACK time-out (ms):"},
        {ids::kResolverHost, "Host name resolver"},
        {ids::kSourceIp, "Source IP must be:"},
        {ids::kSourceIpNot, "Source IP must NOT be:"},
        {ids::kDestinationIp, "Destination IP must be:"},
        {ids::kDestinationIpNot, "Destination IP must NOT be:"},
        {ids::kSourcePort, "Source Port must be:"},
        {ids::kSourcePortNot, "Source Port must NOT be:"},
        {ids::kDestinationPort, "Destination Port must be:"},
        {ids::kDestinationPortNot, "Destination Port must NOT be:"},
        {ids::kMinFileSize, "Minimum file size (bytes):"},
        {ids::kMaxFileSize, "Maximum file size (bytes):"},
    };
    for (const auto& [id, name] : edits)
        QCOMPARE(h.control<QLineEdit>(id)->accessibleName(), QString::fromLatin1(name));
    for (int id : {ids::kStatus, ids::kFilesPending, ids::kFilesProcessed, ids::kFilesWritten,
                   ids::kTrackedMemory, ids::kBufferUsage, ids::kCurrentRate, ids::kPeakRate,
                   ids::kAverageRate, ids::kActivity, ids::kLogo})
        QVERIFY2(!h.control(id)->accessibleName().isEmpty(), qPrintable(QString::number(id)));

    // The fixed texts and group titles ("&&" shows one ampersand).
    QStringList labels;
    for (QLabel* l : h.window->findChildren<QLabel*>())
        labels << l->text();
    for (const char* fixed :
         {"File Mode allows for the capturing and storage of HTTP files. This is done by the "
          "reconstructing of the packets of an HTTP transfer.",
          "Note: The file name will be the date/time of file completion.",
          "Note: In the above fields, an entry of 0 indicates no filter.",
          "This resolver is here as a tool. Use it to resolve host and domain names to IP "
          "addreses for use in the filters below.",
          "Directory to store constructed files:", "ACK time-out (ms):",
          "Dynamic memory allocations:", "Buffer usage:", "Dual direction data rate (Kbps):",
          "Source IP must be:", "Destination Port must NOT be:", "Maximum file size (bytes):"})
        QVERIFY2(labels.contains(QString::fromLatin1(fixed)), fixed);
    QStringList groups;
    for (QGroupBox* g : h.window->findChildren<QGroupBox*>())
        groups << g->title();
    for (const char* title :
         {"IP level interface to listen on", "Directory and file settings", "Advanced settings",
          "Host name resolver", "Packet && file filter systems"})
        QVERIFY2(groups.contains(QString::fromLatin1(title)), title);

    // The bar's full scale is the capture's receive buffer.
    auto* bar = h.control<QProgressBar>(ids::kBufferUsage);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 10000000);

    // The timers with their periods.
    const std::pair<FileModeTimer, int> periods[] = {{FileModeTimer::Counters, 100},
                                                     {FileModeTimer::Rates, 5000},
                                                     {FileModeTimer::StreamClock, 20},
                                                     {FileModeTimer::BufferUsage, 50}};
    for (const auto& [which, ms] : periods) {
        QVERIFY(h.window->timer(which)->isActive());
        QCOMPARE(h.window->timer(which)->interval(), ms);
    }

    // The shared menu: Save has nothing to do here; About is not built yet.
    const std::pair<int, bool> commands[] = {{main_menu_ids::kSave, false},
                                             {main_menu_ids::kExit, true},
                                             {main_menu_ids::kNetworkInterface, true},
                                             {main_menu_ids::kGeneral, true},
                                             {main_menu_ids::kChangeMode, true},
                                             {main_menu_ids::kHelp, true},
                                             {main_menu_ids::kAbout, false}};
    for (const auto& [id, enabled] : commands) {
        QAction* a = h.menuCommand(id);
        QVERIFY2(a, qPrintable(QString::number(id)));
        QCOMPARE(a->isEnabled(), enabled);
    }
}

void FileModeWindowTest::controlsAreFilledFromTheRecord() {
    Harness h;
    struct Field {
        std::function<void(SettingsRecord&)> store;
        int id;
        const char* shown;
    };
    const Field fields[] = {
        {[](auto& s) { s.setFileDirectory("/srv/captured/"); }, ids::kDirectory, "/srv/captured/"},
        {[](auto& s) { s.setAckTimeoutMs(65000); }, ids::kAckTimeout, "65000"},  // unsigned
        {[](auto& s) { s.setFileSrcIp("10.1.1.1"); }, ids::kSourceIp, "10.1.1.1"},
        {[](auto& s) { s.setFileSrcIpNot("10.2.2.2"); }, ids::kSourceIpNot, "10.2.2.2"},
        {[](auto& s) { s.setFileDstIp("10.3.3.3"); }, ids::kDestinationIp, "10.3.3.3"},
        {[](auto& s) { s.setFileDstIpNot("10.4.4.4"); }, ids::kDestinationIpNot, "10.4.4.4"},
        {[](auto& s) { s.setFileSrcPort(80); }, ids::kSourcePort, "80"},
        {[](auto& s) { s.setFileSrcPortNot(81); }, ids::kSourcePortNot, "81"},
        {[](auto& s) { s.setFileDstPort(8080); }, ids::kDestinationPort, "8080"},
        {[](auto& s) { s.setFileDstPortNot(65535); }, ids::kDestinationPortNot, "65535"},
        // Above the signed range, shown unsigned.
        {[](auto& s) { s.setFileMinSize(3000000000u); }, ids::kMinFileSize, "3000000000"},
        {[](auto& s) { s.setFileMaxSize(4294967295u); }, ids::kMaxFileSize, "4294967295"},
        {[](auto& s) { s.setFileResolverHost("www.example.com"); }, ids::kResolverHost,
         "www.example.com"},
    };
    for (const Field& f : fields)
        f.store(h.settings);
    h.settings.setOverwriteFiles(true);
    h.settings.setHttpOnly(false);
    h.settings.setAcceptPartialContent(true);
    h.settings.setDirtyMode(true);
    h.open();
    for (const Field& f : fields)
        QCOMPARE(h.control<QLineEdit>(f.id)->text(), QString::fromLatin1(f.shown));
    QVERIFY(h.control<QCheckBox>(ids::kOverwrite)->isChecked());
    QVERIFY(!h.control<QCheckBox>(ids::kHttpOnly)->isChecked());
    QVERIFY(h.control<QCheckBox>(ids::kPartialContent)->isChecked());
    QVERIFY(h.control<QCheckBox>(ids::kDirtyMode)->isChecked());

    // What the engine reads live starts from the same values.
    const FileModeLiveOptions& live = h.window->core().options();
    QCOMPARE(live.directory(), std::string("/srv/captured/"));
    QVERIFY(live.overwriteFiles());
    QVERIFY(!live.httpOnly());
    QVERIFY(live.acceptPartialContent());
    QCOMPARE(live.minFileSize(), 3000000000u);
    QCOMPARE(live.maxFileSize(), 4294967295u);
    QCOMPARE(live.fileNameTemplate(), std::string("%SIP to %DIP - [%DAT]"));
    QCOMPARE(live.dateTimeTemplate(), std::string("%Y.%MY.%D - %H24:%MN:%S.%MS"));

    // The clock and the time-out are set before the window is shown.
    QCOMPARE(h.window->core().state().streamClock.load(), 1000);
    QCOMPARE(h.window->core().state().currentAckTimeout.load(), 65000);
    // The interface is shown once the trial has run.
    QVERIFY(h.window->initialise());
    QCOMPARE(h.control<QLineEdit>(ids::kInterfaceAddress)->text(), QStringLiteral("127.0.0.1"));
}

void FileModeWindowTest::ackTimeOutFollowsTheEdit() {
    Harness h;
    h.open();
    auto* edit = h.control<QLineEdit>(ids::kAckTimeout);
    edit->setText(QStringLiteral("2500"));
    QCOMPARE(h.window->core().state().currentAckTimeout.load(), 2500);
    edit->clear();  // no number reads as 0
    QCOMPARE(h.window->core().state().currentAckTimeout.load(), 0);
    QTest::keyClicks(edit, QStringLiteral("7x5"));  // only digits are taken
    QCOMPARE(edit->text(), QStringLiteral("75"));
    QCOMPARE(h.window->core().state().currentAckTimeout.load(), 75);

    // The stream clock follows the program clock every 20 ms.
    h.clock.set(123456);
    QTRY_COMPARE(h.window->core().state().streamClock.load(), 123456);
}

void FileModeWindowTest::trialOfTheInterface() {
    {  // An interface that listens: nothing asked, the address shown.
        Harness h;
        h.open();
        QVERIFY(h.window->initialise());
        QVERIFY(h.prompt.asked().empty());
        QCOMPARE(h.sources.scripted.address(0), std::string("127.0.0.1"));
        QVERIFY(h.sources.scripted.channel(0)->closed());  // the trial socket is closed
    }
    {  // An unusable address: Choose Interface, then the chosen address is shown.
        Harness h;
        h.settings.setInterfaceAddress("10.9.9.9");
        h.sources.scripted.setOutcome(ReceiveAllResult::InterfaceUnusable, 19);
        h.open();
        answerChooseInterface(QStringLiteral("192.0.2.7"));
        QVERIFY(h.window->initialise());
        QCOMPARE(h.settings.interfaceAddress(), std::string("192.0.2.7"));
        QCOMPARE(h.control<QLineEdit>(ids::kInterfaceAddress)->text(), QStringLiteral("192.0.2.7"));
        QVERIFY(h.prompt.asked().empty());
    }
    {  // No raw sockets: both messages, then the program ends.
        Harness h;
        h.sources.scripted.setOutcome(ReceiveAllResult::RawSocketsUnavailable, 1, false);
        h.open();
        QVERIFY(!h.window->initialise());
        const auto asked = h.prompt.asked();
        QCOMPARE(asked.size(), size_t{2});
        QCOMPARE(asked[0].caption, std::string());  // the application's title
        QCOMPARE(asked[0].text, std::string("Error code 1 while attempting to create socket."));
        QCOMPARE(asked[1].caption, std::string());
        QCOMPARE(asked[1].text,
                 std::string("Startup error.\r\n\r\nMake sure raw sockets are enabled on your "
                             "system (this is so by default).\r\nNote: Administrative access to "
                             "this computer may be required, make sure you are logged on with "
                             "an administrative account."));
        QCOMPARE(asked[1].icon, PromptIcon::Error);
    }
    {  // Any other failure: its number, no icon, then the program ends.
        Harness h;
        h.sources.scripted.setOutcome(ReceiveAllResult::OtherError, 24);
        h.open();
        QVERIFY(!h.window->initialise());
        const auto asked = h.prompt.asked();
        QCOMPARE(asked.size(), size_t{1});
        QCOMPARE(asked[0].text, std::string("Startup error: 24"));
        QCOMPARE(asked[0].icon, PromptIcon::None);
    }
}

void FileModeWindowTest::startAndStopLockAndUnlockTheControls() {
    Harness h;
    QVERIFY(h.ready(true));
    const int locked[] = {ids::kAckTimeout,    ids::kSourceIp,         ids::kSourceIpNot,
                          ids::kDestinationIp, ids::kDestinationIpNot, ids::kSourcePort,
                          ids::kSourcePortNot, ids::kDestinationPort,  ids::kDestinationPortNot,
                          ids::kMinFileSize,   ids::kMaxFileSize,      ids::kDirtyMode};
    const int live[] = {ids::kDirectory, ids::kOverwrite, ids::kHttpOnly, ids::kPartialContent};

    // Stop before any capture does nothing.
    h.control<QToolButton>(ids::kStop)->setEnabled(true);
    h.control<QToolButton>(ids::kStop)->click();
    QVERIFY(h.control(ids::kStart)->isEnabled());
    QVERIFY(h.control(ids::kStop)->isEnabled());
    h.control<QToolButton>(ids::kStop)->setEnabled(false);

    auto channel = h.start();
    QVERIFY(channel);
    QCOMPARE(h.sources.scripted.address(1), std::string("127.0.0.1"));
    QVERIFY(!h.control(ids::kStart)->isEnabled());
    QVERIFY(h.control(ids::kStop)->isEnabled());
    for (int id : locked)
        QVERIFY2(!h.control(id)->isEnabled(), qPrintable(QString::number(id)));
    for (int id : live)
        QVERIFY2(h.control(id)->isEnabled(), qPrintable(QString::number(id)));
    QTRY_COMPARE(h.label(ids::kStatus), QStringLiteral("Status: Running"));
    // The assembler's passes turn the activity indicator.
    QTRY_VERIFY(h.label(ids::kActivity) != QStringLiteral("X"));

    QVERIFY(h.stop());
    QVERIFY(channel->closed());
    QVERIFY(h.betweenCaptures());
    for (int id : locked)
        QVERIFY2(h.control(id)->isEnabled(), qPrintable(QString::number(id)));
    QTRY_COMPARE(h.label(ids::kStatus), QStringLiteral("Status: Stopped"));

    // A capture whose source ends by itself (an empty datagram) gives Start back.
    channel = h.start();
    QVERIFY(channel);
    channel->push({});
    QTRY_COMPARE(h.label(ids::kStatus), QStringLiteral("Status: Stopped"));
    QTRY_VERIFY(h.control(ids::kStart)->isEnabled());
    QVERIFY(!h.control(ids::kStop)->isEnabled());
    QVERIFY(h.control(ids::kMinFileSize)->isEnabled());

    // An interface that cannot listen: the message, and the controls stay as they were.
    QVERIFY(h.window->core().engine().waitUntilIdle(std::chrono::seconds(10)));
    h.sources.scripted.setOutcome(ReceiveAllResult::InterfaceUnusable, 19);
    h.control<QToolButton>(ids::kStart)->click();
    QTRY_COMPARE(h.prompt.asked().size(), size_t{1});
    QCOMPARE(h.prompt.asked()[0].caption, std::string("Unable to listen"));
    QTest::qWait(100);
    QVERIFY(h.betweenCaptures());
    QVERIFY(!h.window->core().state().captureRunning.load());
}

void FileModeWindowTest::ratesAndCountersAreRewrittenOnlyOnChange() {
    Harness h;
    QVERIFY(h.ready());
    h.window->timer(FileModeTimer::Rates)->stop();
    h.window->timer(FileModeTimer::Counters)->stop();
    // Streams stay pending for the whole test.
    h.control<QLineEdit>(ids::kAckTimeout)->setText(QStringLiteral("60000"));
    auto channel = h.start();
    QVERIFY(channel);
    QCOMPARE(h.window->core().state().captureStartClock.load(), 1000);
    channel->push(udpOfSize(1000), 640);  // 640,000 bytes: 1000 Kbps over 5 s
    QVERIFY(channel->waitUntilDrained());
    QCOMPARE(h.window->core().counters().receivedBytes.load(), uint64_t{640000});
    h.clock.set(6000);
    h.window->updateRates();
    QCOMPARE(h.label(ids::kCurrentRate), QStringLiteral("Current: 1000"));
    QCOMPARE(h.label(ids::kPeakRate), QStringLiteral("Peak: 1000"));
    QCOMPARE(h.label(ids::kAverageRate), QStringLiteral("Average: 1000"));

    // Marks in the labels show whether a tick wrote them again.
    const int marked[] = {ids::kCurrentRate,  ids::kPeakRate,       ids::kAverageRate,
                          ids::kFilesPending, ids::kFilesProcessed, ids::kFilesWritten,
                          ids::kTrackedMemory};
    for (int id : marked)
        h.control<QLabel>(id)->setText(QStringLiteral("mark"));
    channel->push(udpOfSize(1000), 640);  // the same rate again; the peak stays
    QVERIFY(channel->waitUntilDrained());
    h.clock.set(11000);  // the average stays 1000 too
    h.window->updateRates();
    h.window->updateCounters();
    for (int id : marked)
        QCOMPARE(h.label(id), QStringLiteral("mark"));

    // A change writes only the text whose value changed.
    h.clock.set(16000);  // nothing new: current falls to 0, the average to 666
    h.window->updateRates();
    QCOMPARE(h.label(ids::kCurrentRate), QStringLiteral("Current: 0"));
    QCOMPARE(h.label(ids::kPeakRate), QStringLiteral("mark"));
    QCOMPARE(h.label(ids::kAverageRate), QStringLiteral("Average: 666"));
    // A stream waiting for its time-out changes the pending count and the memory only.
    channel->push(response("pending", {10, 0, 0, 1}, 80, 0x41414141));
    QVERIFY(channel->waitUntilDrained());
    QVERIFY(QTest::qWaitFor([&] { return h.window->core().counters().filesPending.load() == 1; }));
    h.window->updateCounters();
    QCOMPARE(h.label(ids::kFilesPending), QStringLiteral("Files processing: 1"));
    QCOMPARE(h.label(ids::kTrackedMemory), QStringLiteral("0 KB"));  // 12 + 92 bytes
    QCOMPARE(h.label(ids::kFilesProcessed), QStringLiteral("mark"));
    QCOMPARE(h.label(ids::kFilesWritten), QStringLiteral("mark"));

    // A new capture starts the sample and the peak from 0; less than a second after its
    // start the average divides by one second.
    QVERIFY(h.stop());
    h.clock.set(20000);
    channel = h.start();
    QVERIFY(channel);
    channel->push(udpOfSize(1000), 1);
    QVERIFY(channel->waitUntilDrained());
    h.clock.set(20500);
    h.window->updateRates();
    QCOMPARE(h.label(ids::kCurrentRate), QStringLiteral("Current: 1"));  // 1000 / 5 * 8 / 1024
    QCOMPARE(h.label(ids::kPeakRate), QStringLiteral("Peak: 1"));
    QCOMPARE(h.label(ids::kAverageRate), QStringLiteral("Average: 7"));  // 1000 * 8 / 1024
    QVERIFY(h.stop());
}

void FileModeWindowTest::bufferUsageFollowsTheQueue() {
    Harness h;
    QVERIFY(h.ready());
    auto* bar = h.control<QProgressBar>(ids::kBufferUsage);
    h.sources.waiting = 4000;
    QTest::qWait(150);
    QCOMPARE(bar->value(), 0);  // only while capturing

    auto channel = h.start();
    QVERIFY(channel);
    QTRY_COMPARE(bar->value(), 4000);
    h.sources.waiting = 123456;
    QTRY_COMPARE(bar->value(), 123456);
    // A queue beyond the scale (the ring is a little larger) shows a full bar.
    h.sources.waiting = 10223616;
    QTRY_COMPARE(bar->value(), 10000000);
    QVERIFY(h.stop());
}

void FileModeWindowTest::countersOverTwoRuns() {
    Harness h;
    QVERIFY(h.ready(true));
    auto channel = h.start();
    QVERIFY(channel);

    // A 5,120-byte body behind a 45-byte header, held until the stream goes quiet: the
    // segment costs 12 + 5,205 bytes of memory.
    channel->push(response(std::string(5120, 'a'), {10, 0, 0, 1}, 80, 0x11111111));
    QVERIFY(channel->waitUntilDrained());
    QTRY_COMPARE(h.label(ids::kTrackedMemory), QStringLiteral("5 KB"));
    QTRY_COMPARE(h.label(ids::kFilesPending), QStringLiteral("Files processing: 1"));
    QVERIFY(h.timeOutStreams(1));
    QTRY_COMPARE(h.label(ids::kFilesWritten),
                 QStringLiteral("Files written: 1 (5 KB) of 1 (5 KB)"));
    QTRY_COMPARE(h.label(ids::kFilesProcessed),
                 QStringLiteral("Files processed: 1 (5 KB) of 1 (5 KB)"));
    QTRY_COMPARE(h.label(ids::kFilesPending), QStringLiteral("Files processing: 0"));
    QTRY_COMPARE(h.label(ids::kTrackedMemory), QStringLiteral("0 KB"));
    QCOMPARE(test::ReadFileBytes(h.output.path() / kFirstFile), std::string(5120, 'a'));
    QVERIFY(h.stop());

    // The second run starts its own pair from 0; the totals keep growing.
    channel = h.start();
    QVERIFY(channel);
    QTRY_COMPARE(h.label(ids::kFilesWritten),
                 QStringLiteral("Files written: 0 (0 KB) of 1 (5 KB)"));
    QTRY_COMPARE(h.label(ids::kFilesProcessed),
                 QStringLiteral("Files processed: 0 (0 KB) of 1 (5 KB)"));
    channel->push(response(std::string(2048, 'b'), {10, 0, 0, 3}, 80, 0x22222222));
    QVERIFY(channel->waitUntilDrained());
    QVERIFY(h.timeOutStreams(2));
    QTRY_COMPARE(h.label(ids::kFilesWritten),
                 QStringLiteral("Files written: 1 (2 KB) of 2 (7 KB)"));
    QTRY_COMPARE(h.label(ids::kFilesProcessed),
                 QStringLiteral("Files processed: 1 (2 KB) of 2 (7 KB)"));
    QVERIFY(h.stop());
}

void FileModeWindowTest::liveDirectoryAndFiltersFromTheControls() {
    Harness h;
    QVERIFY(h.ready());
    // Filters typed before Start go to the capture: only responses sent from port 80.
    h.control<QLineEdit>(ids::kSourcePort)->setText(QStringLiteral("80"));
    h.control<QLineEdit>(ids::kSourceIpNot)->setText(QStringLiteral("10.0.0.66"));
    auto channel = h.start();
    QVERIFY(channel);
    channel->push(response("from 8080", {10, 0, 0, 1}, 8080, 0x31313131));
    channel->push(response("from a refused address", {10, 0, 0, 66}, 80, 0x32323232));
    channel->push(response("from 80", {10, 0, 0, 1}, 80, 0x33333333));
    QVERIFY(channel->waitUntilDrained());
    QVERIFY(h.timeOutStreams(1));
    QTest::qWait(300);  // passes enough to write anything else that was filed
    QCOMPARE(h.window->core().counters().filesWrittenRun.load(), 1u);
    QCOMPARE(h.window->core().counters().filesProcessedRun.load(), 1u);
    QCOMPARE(test::FileNamesIn(h.output.path()), std::vector<std::string>{kFirstFile});

    // The directory and "Only store HTTP" stay open during the run and count for the next
    // stream: a stream that is not HTTP is now stored, whole, in the new directory.
    test::TempDir second;
    h.control<QLineEdit>(ids::kDirectory)->setText(QString::fromStdString(second.path().string()));
    h.control<QCheckBox>(ids::kHttpOnly)->setChecked(false);
    channel->push(
        test::TcpSegment(1, 0x34343434, "not a response", {10, 0, 0, 1}, {10, 0, 0, 2}, 80, 40000));
    QVERIFY(channel->waitUntilDrained());
    QVERIFY(h.timeOutStreams(2));
    QCOMPARE(test::FileNamesIn(second.path()), std::vector<std::string>{kFirstFile});
    QCOMPARE(test::ReadFileBytes(second.path() / kFirstFile), std::string("not a response"));
    QVERIFY(h.stop());
}

void FileModeWindowTest::partialFilterAddressRefusesTheStart() {
    Harness h;
    QVERIFY(h.ready());
    const size_t opened = h.sources.scripted.openCount();  // the trial of the interface
    const std::pair<int, const char*> fields[] = {
        {ids::kSourceIp, "Source IP must be:"},
        {ids::kSourceIpNot, "Source IP must NOT be:"},
        {ids::kDestinationIp, "Destination IP must be:"},
        {ids::kDestinationIpNot, "Destination IP must NOT be:"},
    };
    for (const auto& [id, label] : fields) {
        auto* edit = h.control<QLineEdit>(id);
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("192.168.1"));  // the field lets it stand
        QCOMPARE(edit->text(), QStringLiteral("192.168.1"));
        const size_t asked = h.prompt.asked().size();
        h.control<QToolButton>(ids::kStart)->click();
        QCOMPARE(h.prompt.asked().size(), asked + 1);
        const std::string text = h.prompt.asked().back().text;
        QVERIFY2(
            text.find(std::string("\"") + label + "\" holds \"192.168.1\"") != std::string::npos,
            text.c_str());
        QVERIFY(h.window->core().engine().waitUntilIdle(std::chrono::seconds(10)));
        QCOMPARE(h.sources.scripted.openCount(), opened);
        QVERIFY(h.betweenCaptures());
        edit->setText(QStringLiteral("0.0.0.0"));
    }
    // Completed, the address is taken and the capture starts.
    h.control<QLineEdit>(ids::kSourceIp)->clear();
    QTest::keyClicks(h.control<QLineEdit>(ids::kSourceIp), QStringLiteral("192.168.1.5"));
    QVERIFY(h.start());
    QVERIFY(h.stop());
}

void FileModeWindowTest::resolverAnswersInTheEdit() {
    Harness h;
    std::atomic<int> lookups{0};
    std::atomic<bool> release{false};
    h.resolver = [&](const std::string& name) -> std::optional<std::string> {
        ++lookups;
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (name == "files.example")
            return std::string("192.0.2.80");
        return std::nullopt;
    };
    h.open();
    auto* host = h.control<QLineEdit>(ids::kResolverHost);
    auto* resolve = h.control<QPushButton>(ids::kResolve);

    host->setText(QStringLiteral("files.example"));
    resolve->click();
    // The window keeps running while the lookup waits; the resolver is busy meanwhile.
    QTRY_COMPARE(lookups.load(), 1);
    QCoreApplication::processEvents();
    QVERIFY(!resolve->isEnabled());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    release = true;
    QTRY_COMPARE(host->text(), QStringLiteral("192.0.2.80"));
    QVERIFY(resolve->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(h.prompt.asked().empty());

    host->setText(QStringLiteral("nowhere.invalid"));
    resolve->click();
    QTRY_COMPARE(h.prompt.asked().size(), size_t{1});
    QCOMPARE(h.prompt.asked()[0].text, std::string("Unable to resolve host name"));
    QCOMPARE(host->text(), QStringLiteral("nowhere.invalid"));  // the text stays

    // The system's resolver: a name from the hosts file and an address text.
    Harness system;
    system.open();
    auto* systemHost = system.control<QLineEdit>(ids::kResolverHost);
    systemHost->setText(QStringLiteral("localhost"));
    system.control<QPushButton>(ids::kResolve)->click();
    QTRY_COMPARE(systemHost->text(), QStringLiteral("127.0.0.1"));
    systemHost->setText(QStringLiteral("192.0.2.44"));
    system.control<QPushButton>(ids::kResolve)->click();
    QTRY_VERIFY(system.control<QPushButton>(ids::kResolve)->isEnabled());
    QCOMPARE(systemHost->text(), QStringLiteral("192.0.2.44"));
    systemHost->clear();
    system.control<QPushButton>(ids::kResolve)->click();
    QTRY_COMPARE(system.prompt.asked().size(), size_t{1});
}

void FileModeWindowTest::closingWaitsForALookupUnderWay() {
    Harness h;
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<bool> returned{false};
    h.resolver = [&](const std::string&) -> std::optional<std::string> {
        entered = true;
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        returned = true;
        return std::string("192.0.2.80");
    };
    h.open();
    h.control<QLineEdit>(ids::kResolverHost)->setText(QStringLiteral("slow.example"));
    h.control<QPushButton>(ids::kResolve)->click();
    QTRY_VERIFY(entered.load());
    // The window goes while the lookup still runs: its thread is joined, not left to
    // answer a window (or application) that no longer exists.
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        release = true;
    });
    h.window.reset();
    QVERIFY(returned.load());
    releaser.join();
    QCoreApplication::processEvents();  // a late answer has nowhere to go
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(h.prompt.asked().empty());
}

void FileModeWindowTest::interfaceChangeWhileCapturingGivesTheNotice() {
    Harness h;
    QVERIFY(h.ready());
    // Not capturing: the new address is shown, no notice.
    answerChooseInterface(QStringLiteral("192.0.2.7"));
    h.menuCommand(main_menu_ids::kNetworkInterface)->trigger();
    QCOMPARE(h.control<QLineEdit>(ids::kInterfaceAddress)->text(), QStringLiteral("192.0.2.7"));
    QVERIFY(h.prompt.asked().empty());

    h.settings.setInterfaceAddress("127.0.0.1");
    auto channel = h.start();
    QVERIFY(channel);
    answerChooseInterface(QStringLiteral("192.0.2.7"));
    h.menuCommand(main_menu_ids::kNetworkInterface)->trigger();
    QCOMPARE(h.control<QLineEdit>(ids::kInterfaceAddress)->text(), QStringLiteral("192.0.2.7"));
    const auto asked = h.prompt.asked();
    QCOMPARE(asked.size(), size_t{1});
    QCOMPARE(asked[0].caption, std::string("Notice"));
    QCOMPARE(asked[0].text, std::string("Notice, interface changes (if any) will take effect "
                                        "next time you press the \"Start\" button"));
    QCOMPARE(asked[0].icon, PromptIcon::Information);
    // The running capture keeps its source until the next Start.
    QVERIFY(!channel->closed());
    QVERIFY(h.stop());
    channel = h.start();
    QVERIFY(channel);
    QCOMPARE(h.sources.scripted.address(h.sources.scripted.openCount() - 1),
             std::string("192.0.2.7"));
    QVERIFY(h.stop());
}

void FileModeWindowTest::modeChangeAsksAndSwitches() {
    Harness h;
    QVERIFY(h.ready(true));
    QSignalSpy closing(h.window.get(), &FileModeWindow::closeFinished);

    h.prompt.script({PromptAnswer::No});
    h.menuCommand(main_menu_ids::kChangeMode)->trigger();
    QCOMPARE(h.prompt.asked().size(), size_t{1});
    QCOMPARE(h.prompt.asked()[0].caption, std::string("Switch modes?"));
    QCOMPARE(h.prompt.asked()[0].text,
             std::string("Switching to Packet Mode will cancel the current operation (File "
                         "Mode).\r\n\r\nAre you sure you wish to switch modes?"));
    QVERIFY(h.launcher.starts.empty());
    QCOMPARE(closing.count(), 0);

    h.control<QLineEdit>(ids::kDirectory)->setText(QStringLiteral("/var/tmp/files/"));
    h.prompt.script({PromptAnswer::Yes});
    h.menuCommand(main_menu_ids::kChangeMode)->trigger();
    QCOMPARE(h.launcher.starts.size(), size_t{1});
    QCOMPARE(h.launcher.starts[0].args, (std::vector<std::string>{"/NoInstall", "/Packet_Mode"}));
    QCOMPARE(closing.count(), 1);
    SettingsRecord onDisk;
    LoadSettings(onDisk, h.settingsPath);
    QCOMPARE(onDisk.fileDirectory(), std::string("/var/tmp/files/"));
}

void FileModeWindowTest::escapeDoesNothingF1OpensHelpAndTheLogoOpensTheMakersPage() {
    Harness h;
    QVERIFY(h.ready(true));
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    QSignalSpy closing(h.window.get(), &FileModeWindow::closeFinished);
    QTest::keyClick(h.window.get(), Qt::Key_Escape);
    bool helped = false;
    QTimer closeHelp;  // gone with this test if no Help window comes up
    closeHelp.setSingleShot(true);
    connect(&closeHelp, &QTimer::timeout, [&helped] {
        if (auto* help = qobject_cast<HelpWindow*>(QApplication::activeModalWidget())) {
            helped = true;
            help->reject();
        }
    });
    closeHelp.start(0);
    QTest::keyClick(h.window.get(), Qt::Key_F1);
    QVERIFY(helped);
    QTest::qWait(100);
    QVERIFY(h.window->isVisible());
    QCOMPARE(closing.count(), 0);
    QVERIFY(h.prompt.asked().empty());

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    auto* logo = h.control<QLabel>(ids::kLogo);
    QTest::mouseClick(logo, Qt::RightButton);
    QVERIFY(catcher.opened.isEmpty());
    QTest::mouseClick(logo, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(catcher.opened.size(), 1);
    QCOMPARE(catcher.opened[0].toString(), QStringLiteral("https://brindlecraft.example/vorlanx/"));
}

void FileModeWindowTest::closeWritesEveryFieldAtItsOffset() {
    Harness h;
    QVERIFY(h.ready(true));
    struct Field {
        int id;
        const char* entered;  // nullptr: a check box, ticked when `stored` is 1
        size_t offset;
        size_t width;        // 0: a zero-ended text
        const char* stored;  // nullptr: the text as entered
    };
    const Field fields[] = {
        {ids::kDirectory, "/home/user/Captured files/", 4113, 0, nullptr},
        {ids::kOverwrite, nullptr, 5137, 1, "1"},
        {ids::kAckTimeout, "1234", 5138, 2, "1234"},
        {ids::kHttpOnly, nullptr, 5140, 1, "0"},
        {ids::kSourceIp, "192.168.1.10", 5141, 0, nullptr},
        {ids::kSourceIpNot, "192.168.1.11", 5161, 0, nullptr},
        {ids::kDestinationIp, "10.20.30.40", 5181, 0, nullptr},
        {ids::kDestinationIpNot, "255.255.255.255", 5201, 0, nullptr},
        {ids::kSourcePort, "80", 5222, 2, "80"},
        {ids::kSourcePortNot, "70000", 5224, 2, "4464"},  // only the low 16 bits are kept
        {ids::kDestinationPort, "443", 5226, 2, "443"},
        {ids::kDestinationPortNot, "65535", 5228, 2, "65535"},
        {ids::kMinFileSize, "3000000000", 5232, 4, "3000000000"},
        {ids::kMaxFileSize, "9999999999", 5236, 4, "0"},  // beyond 32 bits: read as 0
        {ids::kResolverHost, "www.example.org", 7378, 0, nullptr},
        {ids::kPartialContent, nullptr, 20666, 1, "1"},
        {ids::kDirtyMode, nullptr, 20668, 1, "1"},
    };
    for (const Field& f : fields) {
        if (f.entered)
            h.control<QLineEdit>(f.id)->setText(QString::fromUtf8(f.entered));
        else
            h.control<QCheckBox>(f.id)->setChecked(std::string(f.stored) == "1");
    }

    QSignalSpy closing(h.window.get(), &FileModeWindow::closeFinished);
    h.menuCommand(main_menu_ids::kExit)->trigger();  // File > Exit closes like the close box
    QCOMPARE(closing.count(), 1);
    QVERIFY(h.window->closed());
    QVERIFY(!h.window->isVisible());

    const std::string b = test::ReadFileBytes(h.settingsPath);
    QCOMPARE(b.size(), SettingsRecord::kSize);
    for (const Field& f : fields) {
        const std::string got = fieldAt(b, f.offset, f.width);
        const std::string want = f.stored ? f.stored : f.entered;
        QVERIFY2(got == want,
                 qPrintable(QStringLiteral("offset %1: \"%2\", not \"%3\"")
                                .arg(f.offset)
                                .arg(QString::fromStdString(got), QString::fromStdString(want))));
    }

    // Read back through the record, the other fields are as they were.
    SettingsRecord onDisk;
    LoadSettings(onDisk, h.settingsPath);
    QCOMPARE(onDisk.interfaceAddress(), std::string("127.0.0.1"));
    QCOMPARE(onDisk.fileNameTemplate(), std::string("%SIP to %DIP - [%DAT]"));
    QCOMPARE(onDisk.fileMinSize(), 3000000000u);

    // A second close writes nothing twice and signals nothing more.
    h.window->close();
    QCOMPARE(closing.count(), 1);
}

void FileModeWindowTest::generalSettingsNameTheNextFile() {
    Harness h;
    QVERIFY(h.ready(true));
    const std::string onDiskBefore = test::ReadFileBytes(h.settingsPath);
    QVERIFY(test::RunGeneralSettings(*h.window, [](GeneralSettingsWindow& w) {
        FindControl<QLineEdit>(&w, GeneralSettingsWindow::kFileNameTemplate)
            ->setText(QStringLiteral("%DIP from %SIP at %DAT"));
        FindControl<QLineEdit>(&w, GeneralSettingsWindow::kDateTimeTemplate)
            ->setText(QStringLiteral("%H24h%MN"));
    }));
    QCOMPARE(h.settings.fileNameTemplate(), std::string("%DIP from %SIP at %DAT"));
    QCOMPARE(test::ReadFileBytes(h.settingsPath), onDiskBefore);  // written on close only

    // The recorded exchange, replayed: its served file gets the new name.
    auto channel = h.start();
    QVERIFY(channel);
    for (const test::Bytes& datagram : test::ReadCapture(test::DataPath("http_exchange_lo.pcap")))
        channel->push(datagram);
    QVERIFY(channel->waitUntilDrained());
    QVERIFY(h.timeOutStreams(1));
    QCOMPARE(test::FileNamesIn(h.output.path()),
             std::vector<std::string>{"127.0.0.1 from 127.0.0.1 at 14h05.txt"});
    QVERIFY(h.stop());
}

QTEST_MAIN(FileModeWindowTest)
void FileModeWindowTest::rebuildFromACaptureFileEndsByItself() {
    Harness h;
    h.settings.setFileNameTemplate("%SIP");
    h.settings.setAckTimeoutMs(10000);
    const test::InterleavedRecording recording =
        test::WriteInterleavedRecording(h.dir.path() / "interleaved.pcap");
    QVERIFY(h.ready());
    QAction* rebuild = h.menuCommand(main_menu_ids::kOpenCaptureFile);
    QVERIFY(rebuild && rebuild->isEnabled());
    QCOMPARE(rebuild->text(), QStringLiteral("Rebuild files from a capture file..."));
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialog->selectFile(QString::fromStdString(recording.path));
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    answer.start(20);
    rebuild->trigger();
    answer.stop();
    // The same files as the command line writes, and the run ends by itself.
    QVERIFY(QTest::qWaitFor([&] { return h.label(ids::kStatus) == "Status: Stopped"; }, 20000));
    QVERIFY(QTest::qWaitFor([&] { return h.betweenCaptures() && rebuild->isEnabled(); }));
    QVERIFY(test::FilesWritten(h.output.path()) == recording.files);
    QVERIFY(QTest::qWaitFor([&] { return h.label(ids::kFilesWritten).endsWith(", 3 incomplete"); }));
}

#include "file_mode_window_test.moc"
