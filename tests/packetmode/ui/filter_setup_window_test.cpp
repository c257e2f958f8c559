// The Filter Setup window on the offscreen platform, driven by control id: its controls,
// the lists, storing and closing, the resolver with a scripted and the real resolver, and
// the windows the Packet Mode window opens during a capture.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <future>

#include "packetmode/current_packet_filters.h"
#include "packetmode/ui/filter_setup_controls.h"
#include "packetmode/ui/filter_setup_window.h"
#include "packetmode/ui/packet_mode_controls.h"
#include "packetmode/ui/packet_mode_window.h"
#include "platform/qt/control_ids.h"
#include "settings/settings_file.h"
#include "support/datagram_between.h"
#include "support/quiet_platform.h"
#include "support/scripted_capture_source.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

using namespace vorlanx;
namespace ids = vorlanx::filter_ids;

namespace {

constexpr int kEntries[] = {ids::kSrcIp.entry, ids::kSrcIpNot.entry, ids::kDstIp.entry,
                            ids::kDstIpNot.entry, ids::kEitherIp.entry};

template <typename W = QWidget>
W* control(QWidget* window, int id) {
    W* w = FindControl<W>(window, id);
    if (!w)
        qFatal("no control %d", id);
    return w;
}
void click(QWidget* window, int id) {
    control<QAbstractButton>(window, id)->click();
}
QStringList rows(QWidget* window, int listId) {
    QStringList all;
    auto* list = control<QTreeWidget>(window, listId);
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        all << list->topLevelItem(i)->text(0);
    return all;
}
// The Filter Setup windows shown now.
QList<FilterSetupWindow*> openFilterWindows() {
    QList<FilterSetupWindow*> open;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<FilterSetupWindow*>(w); f && f->isVisible())
            open << f;
    return open;
}

struct Harness {
    SettingsRecord settings = SettingsRecord::defaults("/tmp/");
    CurrentPacketFilters filters;
    test::ScriptedPrompt prompt;
    std::unique_ptr<FilterSetupWindow> window;

    explicit Harness(HostNameLookup names = {}) {
        settings.setSrcIpList(0, 0x0100000A);  // 10.0.0.1
        settings.setDstPortList(0, 80);
        window = std::make_unique<FilterSetupWindow>(settings, filters, prompt, std::move(names));
        window->show();
    }
    QLineEdit* edit(int id) { return control<QLineEdit>(window.get(), id); }
};

}  // namespace

class FilterSetupWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void controlsByIdWithTheirTexts();
    void addIpAndRemoveIp();
    void applyOkCancelEscapeAndCloseBox();
    void twoWindowsLastStoreWins();
    void resolverCommandsWithTheirMessages();
    void resolverWaitsOffTheWindowAndDropsALateAnswer();
    void resolvesLocalhostWithTheSystemResolver();
    void packetModeOpensWindowsThatDecideTheNextDatagram();
};

void FilterSetupWindowTest::controlsByIdWithTheirTexts() {
    Harness h;
    QWidget* w = h.window.get();
    QCOMPARE(w->windowTitle(), QStringLiteral("Brindlecraft VORLANX - Filter Setup"));
    QVERIFY(w->parentWidget() == nullptr);
    // A button's name is its text; a box's or list's, the label beside it.
    const QMap<int, QString> names = {
        {ids::kResolve, "Resolve"},
        {ids::kReverseResolve, "Reverse resolve"},
        {ids::kCopyToFilters, "Copy to filters"},
        {ids::kSrcIp.add, "Add IP"},
        {ids::kEitherIp.remove, "Remove IP"},
        {ids::kAllowOther, "Other"},
        {ids::kOk, "OK"},
        {ids::kApply, "Apply"},
        {ids::kCancel, "Cancel"},
        {ids::kResolverHost,
         "Host name resolver  (You can use it to obtain the IP addresses necessary for filters)"},
        {ids::kDstIpNot.entry, "Dest. IP must NOT be:"},
        {ids::kEitherIp.list, "Source or Dest. IP must be:"},
        {ids::kEitherPort, "Source or Dest. Port must be:"},
        {ids::kMaxPacketSize, "Maximum packet size:"},
        {ids::kMustNotContain[2], "Packet data must NOT contain any of these strings:"}};
    for (auto [id, name] : names.asKeyValueRange()) {
        QCOMPARE(control(w, id)->accessibleName(), name);
        if (auto* button = qobject_cast<QAbstractButton*>(control(w, id)))
            QCOMPARE(button->text(), name);
    }
    QStringList labels;
    for (QLabel* l : w->findChildren<QLabel*>())
        labels << l->text();
    for (const char* note : {"Max of 100 IP's per list, blank list indicates no filter.",
                             "Note: A port or ports of zero or of a blank indicate no filter.",
                             "Note: In the above fields, an entry of 0 indicates no filter."})
        QVERIFY2(labels.contains(QString::fromUtf8(note)), note);
    QStringList groups;
    for (QGroupBox* g : w->findChildren<QGroupBox*>())
        groups << g->title();
    QCOMPARE(groups, (QStringList{"Packet filter systems", "Port filters"}));

    auto* list = control<QTreeWidget>(w, ids::kSrcIp.list);
    QVERIFY(list->isHeaderHidden());
    QCOMPARE(list->headerItem()->text(0), QStringLiteral("Should be hidden"));
    QCOMPARE(list->columnWidth(0), 120);
    QCOMPARE(rows(w, ids::kSrcIp.list), QStringList{"10.0.0.1"});  // loaded from the record
}

void FilterSetupWindowTest::addIpAndRemoveIp() {
    Harness h;
    QWidget* w = h.window.get();
    QLineEdit* entry = h.edit(ids::kSrcIp.entry);
    // What a user types: the entry takes dotted address text only.
    const struct {
        const char* typed;
        QStringList after;
    } steps[] = {
        {"10.0.0.2", {"10.0.0.2", "10.0.0.1"}},
        {"10.0.0.1", {"10.0.0.2", "10.0.0.1"}},  // listed already
        {"0.0.0.0", {"10.0.0.2", "10.0.0.1"}},
        {"host-x.1", {"10.0.0.2", "10.0.0.1"}},  // typed as ".1"
        {"10.0.300.3", {"10.0.30.3", "10.0.0.2", "10.0.0.1"}},
    };
    for (const auto& step : steps) {
        entry->clear();
        QTest::keyClicks(entry, QString::fromUtf8(step.typed));
        click(w, ids::kSrcIp.add);
        QCOMPARE(rows(w, ids::kSrcIp.list), step.after);
    }
    entry->setText(QStringLiteral("garbage"));  // as a record may hold it
    click(w, ids::kSrcIp.add);
    QCOMPARE(rows(w, ids::kSrcIp.list).size(), 3);

    auto* list = control<QTreeWidget>(w, ids::kSrcIp.list);
    click(w, ids::kSrcIp.remove);
    QCOMPARE(rows(w, ids::kSrcIp.list).size(), 3);  // no selection: nothing
    list->topLevelItem(1)->setSelected(true);
    click(w, ids::kSrcIp.remove);
    QCOMPARE(rows(w, ids::kSrcIp.list), (QStringList{"10.0.30.3", "10.0.0.1"}));
    QCOMPARE(rows(w, ids::kDstIp.list), QStringList{});  // the other lists stay
}

void FilterSetupWindowTest::applyOkCancelEscapeAndCloseBox() {
    // Each way of closing: whether it stores what changed after the last Apply.
    const struct {
        const char* name;
        std::function<void(FilterSetupWindow*)> close;
        bool stores;
    } ways[] = {
        {"OK", [](FilterSetupWindow* w) { click(w, ids::kOk); }, true},
        {"Cancel", [](FilterSetupWindow* w) { click(w, ids::kCancel); }, false},
        {"Esc", [](FilterSetupWindow* w) { QTest::keyClick(w, Qt::Key_Escape); }, false},
        {"close box", [](FilterSetupWindow* w) { w->close(); }, false},
    };
    for (const auto& way : ways) {
        Harness h;
        QWidget* w = h.window.get();
        control<QCheckBox>(w, ids::kAllowTcp)->setChecked(false);
        h.edit(ids::kSrcPortNot)->setText(QStringLiteral(" 80 , 443;8080"));
        click(w, ids::kApply);
        QVERIFY(w->isVisible());
        QVERIFY(!h.settings.allowTcp());
        QCOMPARE(h.filters.current()->criteria()->allowTcp, false);
        QCOMPARE(int{h.settings.srcPortNotList(2)}, 8080);

        h.edit(ids::kMaxPacketSize)->setText(QStringLiteral("1500"));
        way.close(h.window.get());
        QVERIFY2(!w->isVisible(), way.name);
        QCOMPARE(h.settings.maxPacketSize(), way.stores ? 1500 : 0);
        QVERIFY2(!h.settings.allowTcp(), way.name);  // the Apply stays
    }
}

void FilterSetupWindowTest::twoWindowsLastStoreWins() {
    Harness h;
    FilterSetupWindow second(h.settings, h.filters, h.prompt);
    second.show();
    h.edit(ids::kMustContain[0])->setText(QStringLiteral("first"));
    control<QLineEdit>(&second, ids::kMustContain[0])->setText(QStringLiteral("second"));
    click(&second, ids::kApply);
    click(h.window.get(), ids::kOk);  // stores every field, the string included
    QCOMPARE(QString::fromStdString(h.settings.mustContain1()), QStringLiteral("first"));
    QCOMPARE(h.settings.srcIpList(0), 0x0100000Au);
    click(&second, ids::kOk);
    QCOMPARE(QString::fromStdString(h.settings.mustContain1()), QStringLiteral("second"));
}

void FilterSetupWindowTest::resolverCommandsWithTheirMessages() {
    // The outcomes themselves are the core's (RunResolverCommand); here, where they land.
    using Answer = std::optional<std::string>;
    const struct {
        int button;
        Answer address, hostName;
        const char* text;
        const char* entries;
        QStringList messages;
    } cases[] = {
        {ids::kCopyToFilters, "192.0.2.7", {}, "192.0.2.7", "192.0.2.7", {}},
        {ids::kReverseResolve, "192.0.2.7", "host.example", "host.example", "", {}},
        {ids::kReverseResolve, {}, "x", "www.example", "", {"Unable to resolve host name"}},
        {ids::kReverseResolve,
         "192.0.2.7",
         {},
         "192.0.2.7",
         "",
         {"Unable to reverse resolve address."}},
    };
    for (const auto& row : cases) {
        Harness h({[&](const std::string&) { return row.address; },
                   [&](std::array<uint8_t, 4>) { return row.hostName; }});
        h.edit(ids::kResolverHost)->setText(QStringLiteral("www.example"));
        for (int entry : kEntries)
            h.edit(entry)->clear();
        click(h.window.get(), row.button);
        QTRY_VERIFY(!h.window->resolving());
        QCOMPARE(h.edit(ids::kResolverHost)->text(), QString::fromUtf8(row.text));
        for (int entry : kEntries)
            QCOMPARE(h.edit(entry)->text(), QString::fromUtf8(row.entries));
        QStringList shown;
        for (const std::string& t : h.prompt.texts())
            shown << QString::fromStdString(t);
        QCOMPARE(shown, row.messages);
    }
}

void FilterSetupWindowTest::resolverWaitsOffTheWindowAndDropsALateAnswer() {
    for (const bool closeFirst : {false, true}) {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        auto h = std::make_unique<Harness>(
            HostNameLookup{[released](const std::string&) -> std::optional<std::string> {
                released.wait();
                return "192.0.2.7";
            }});
        QPointer<FilterSetupWindow> w = h->window.get();
        click(w, ids::kResolve);
        QVERIFY(w->resolving());
        QCOMPARE(w->cursor().shape(), Qt::WaitCursor);
        for (int id :
             {ids::kResolverHost, ids::kResolve, ids::kReverseResolve, ids::kCopyToFilters})
            QVERIFY(!control(w, id)->isEnabled());
        QVERIFY(control(w, ids::kApply)->isEnabled());
        if (closeFirst) {
            // The window deletes itself once the answer came, which it drops.
            h->window.release()->deleteWhenClosedAndIdle();
            click(w, ids::kCancel);
            QTest::qWait(50);
            QVERIFY(w);
        }
        release.set_value();
        if (closeFirst) {
            QTRY_VERIFY(w.isNull());
        } else {
            QTRY_VERIFY(!w->resolving());
            QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
            QVERIFY(control(w, ids::kResolve)->isEnabled());
            QCOMPARE(control<QLineEdit>(w, ids::kResolverHost)->text(),
                     QStringLiteral("192.0.2.7"));
        }
        QVERIFY(h->prompt.texts().empty());
    }
}

void FilterSetupWindowTest::resolvesLocalhostWithTheSystemResolver() {
    Harness h;
    h.edit(ids::kResolverHost)->setText(QStringLiteral("localhost"));
    click(h.window.get(), ids::kResolve);
    QTRY_VERIFY_WITH_TIMEOUT(!h.window->resolving(), 30000);
    QCOMPARE(h.edit(ids::kResolverHost)->text(), QStringLiteral("127.0.0.1"));
}

void FilterSetupWindowTest::packetModeOpensWindowsThatDecideTheNextDatagram() {
    test::TempDir dir;
    SettingsRecord settings = SettingsRecord::defaults("/tmp/");
    settings.setInterfaceAddress("127.0.0.1");
    settings.setApplyFilters(true);
    test::ScriptedPrompt prompt;
    test::ScriptedCaptureSourceFactory sources;
    test::SilentSoundPlayer sound;
    FixedLocalTimeSource time{LocalTime{2003, 4, 2, 14, 5, 9, 7}};
    test::RefusingLauncher launcher;
    const std::string path = dir.file("vorlanx.BCS");
    PacketModeWindow main(settings, path, {prompt, sources, sound, time, launcher});
    QVERIFY(main.initialise());
    main.show();
    const size_t trials = sources.openCount();  // the trial capture of initialise()
    click(&main, packet_ids::kStart);
    QVERIFY(sources.waitForOpens(trials + 1));
    auto channel = sources.channel(trials);
    auto feed = [&](uint8_t protocol) {
        channel->push(test::BuildDatagramBetween(protocol, {10, 0, 0, 1}, {10, 0, 0, 2}, 5000, 53));
        QVERIFY(channel->waitUntilDrained());
        main.syncList();
    };

    click(&main, packet_ids::kFilterSetup);
    click(&main, packet_ids::kFilterSetup);
    const QList<FilterSetupWindow*> windows = openFilterWindows();
    QCOMPARE(windows.size(), 2);
    QVERIFY(windows[0]->parentWidget() == nullptr && windows[1]->parentWidget() == nullptr);

    feed(6);
    control<QCheckBox>(windows[0], ids::kAllowTcp)->setChecked(false);
    click(windows[0], ids::kApply);
    feed(6);  // decided by the criteria just applied
    feed(17);
    QCOMPARE(main.core().list().rowCount(), 2);

    // The Packet Mode window's close closes the other one without storing it.
    control<QCheckBox>(windows[1], ids::kAllowUdp)->setChecked(false);
    QSignalSpy finished(&main, &PacketModeWindow::closeFinished);
    main.close();
    QVERIFY(finished.wait(10000));
    QVERIFY(openFilterWindows().isEmpty());
    SettingsRecord onDisk;
    LoadSettings(onDisk, path);
    QVERIFY(!onDisk.allowTcp());
    QVERIFY(onDisk.allowUdp());
}

QTEST_MAIN(FilterSetupWindowTest)
#include "filter_setup_window_test.moc"
