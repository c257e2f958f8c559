#include <sys/stat.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "capture/ui/general_settings_window.h"
#include "platform/qt/control_ids.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

using W = GeneralSettingsWindow;

// Reads wave files as the ALSA player does and records what it was asked to play; a
// wave file that is read and parsed "plays" until stopped when `holdWave` is set. A
// stopped player refuses every later sound, as ALSA's does. Called on the Test's thread.
class RecordingPlayer final : public SoundPlayer {
  public:
    std::atomic<bool> holdWave{false};
    std::atomic<bool> stopped{false};

    bool playWaveFile(const std::string& path) override {
        record("wave");
        WaveData wave;
        const auto bytes = ReadSoundFile(path);
        if (!bytes || !ParseWave(*bytes, wave))
            return false;
        while (holdWave && !stopped)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return !stopped;
    }
    bool playTones(const std::vector<Tone>& tones, unsigned) override {
        record("tones:" + std::to_string(tones.size()));
        return !stopped;
    }
    void bell() override { record("bell"); }
    void stop() override { stopped = true; }
    QStringList played() const {
        std::lock_guard lock(m_mutex);
        return m_played;
    }

  private:
    void record(const std::string& what) {
        std::lock_guard lock(m_mutex);
        m_played << QString::fromStdString(what);
    }
    mutable std::mutex m_mutex;
    QStringList m_played;
};

// The controls the logging check box enables.
const int kLoggingControls[] = {W::kLogPath, W::kInterval, W::kLogChoose, W::kHeadingOnly,
                                W::kLogText, W::kLogDec,   W::kLogHex};

template <typename C = QWidget>
C* Control(const W& window, int id) {
    auto* c = FindControl<C>(&window, id);
    if (!c)
        qFatal("control %d missing", id);
    return c;
}

void WriteWave(const std::string& path) {
    // A mono 8-bit PCM file of 100 samples.
    QByteArray b(
        "RIFF\x88\0\0\0WAVEfmt "
        "\x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0data\x64\0\0\0",
        44);
    b.append(100, '\x80');
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::WriteOnly) || f.write(b) != b.size())
        qFatal("cannot write the wave file");
}

}  // namespace

class GeneralSettingsWindowTest : public QObject {
    Q_OBJECT

    struct Harness {
        SettingsRecord settings = SettingsRecord::defaults("/home/user/");
        RecordingPlayer player;
        std::vector<W::FileRequest> requests;
        QString answer;
        W window{settings, player, nullptr, [this](QWidget*, const W::FileRequest& r) {
                     requests.push_back(r);
                     return answer;
                 }};
        QSignalSpy changed{&window, &W::settingsChanged};
        Harness() { window.show(); }
        void click(int id) {
            QTest::mouseClick(Control<QAbstractButton>(window, id), Qt::LeftButton);
        }
        QLineEdit* edit(int id) { return Control<QLineEdit>(window, id); }
    };

  private slots:
    void opensOnTheRecordWithItsTexts() {
        Harness h;
        QCOMPARE(h.window.windowTitle(), QStringLiteral("General settings"));
        QVERIFY(h.window.isModal());
        QVERIFY(Control<QRadioButton>(h.window, W::kHeadingOnly)->isChecked());
        QCOMPARE(h.edit(W::kInterval)->text(), QStringLiteral("60"));
        QCOMPARE(h.edit(W::kFileNameTemplate)->text(), QStringLiteral("%SIP to %DIP - [%DAT]"));
        QCOMPARE(h.edit(W::kDateTimeTemplate)->text(),
                 QStringLiteral("%Y.%MY.%D - %H24:%MN:%S.%MS"));
        QVERIFY(Control<QCheckBox>(h.window, W::kShowModeChoice)->isChecked());
        QVERIFY(!Control<QCheckBox>(h.window, W::kAutoLog)->isChecked());
        for (int id : kLoggingControls)
            QVERIFY2(!Control(h.window, id)->isEnabled(), qPrintable(QString::number(id)));
        for (int id : {W::kSoundFile, W::kSoundChoose, W::kTest})
            QVERIFY(Control(h.window, id)->isEnabled());
        QVERIFY(Control<QPushButton>(h.window, W::kOk)->isDefault());

        const std::pair<int, const char*> texts[] = {
            {W::kAutoLog, "Automatically log packets to text file"},
            {W::kLogChoose, "Choose"},
            {W::kHeadingOnly, "Only save packet heading"},
            {W::kLogText, "Heading + packet data in Text"},
            {W::kLogDec, "Heading + packet data in Dec"},
            {W::kLogHex, "Heading + packet data in Hex"},
            {W::kSoundChoose, "Choose"},
            {W::kTest, "Test"},
            {W::kNoTaskbarBlink, "Do not blink in taskbar upon capture of new packets."},
            {W::kWindowsColors,
             "Use Windows colors (requires restart of program for all changes to take effect.)"},
            {W::kShowModeChoice, "Show mode choice at startup (Packet Mode vs. File Mode)."},
            {W::kFileNameDefault, "Default"},
            {W::kDateTimeDefault, "Default"},
            {W::kOk, "OK"},
            {W::kCancel, "Cancel"},
            {W::kApply, "Apply"}};
        for (const auto& [id, text] : texts)
            QCOMPARE(Control<QAbstractButton>(h.window, id)->text(), QString::fromLatin1(text));
        QStringList fixed;
        for (const QLabel* label : h.window.findChildren<QLabel*>())
            fixed << label->text();
        for (const QGroupBox* box : h.window.findChildren<QGroupBox*>())
            fixed << box->title();
        for (const char* text :
             {"Packet Mode", "Automatic packet logging",
              "Location:", "Add new items (if any) to log every", "seconds.",
              "Sound for \"Make sound for new packets\", blank for PC-Speaker", "File Mode",
              "File name settings", "Date and Time settings", "Parameters:",
              "%SIP = Source IP address\r\n%DIP = Destination IP address\r\n%DAT = Date and Time",
              "%Y = Year\r\n%MY = Month (number 1-12)\r\n%D = Day of month\r\n%AP = AM or PM\r\n"
              "%H12 = Hour (12 hour time)\r\n%H24 = Hour (24 hour time)\r\n%MN = Minute\r\n"
              "%S = Second\r\n%MS = Millisecond\r\nNote: Parameters are Case Sensitive"})
            QVERIFY2(fixed.contains(QString::fromLatin1(text)), text);
        QCOMPARE(fixed.count(QStringLiteral("Location:")), 2);
        QCOMPARE(fixed.count(QStringLiteral("Parameters:")), 2);
    }

    void loggingControlsFollowTheCheckBox() {
        Harness h;
        for (bool on : {true, false, true}) {
            h.click(W::kAutoLog);
            for (int id : kLoggingControls)
                QCOMPARE(Control(h.window, id)->isEnabled(), on);
        }
    }

    void applyOkCancelAndEsc() {
        Harness h;
        h.click(W::kNoTaskbarBlink);
        h.click(W::kWindowsColors);
        h.edit(W::kInterval)->setText(QStringLiteral("abc"));  // pasted past the digit filter
        h.click(W::kApply);
        QCOMPARE(h.changed.size(), 1);
        QVERIFY(h.window.isVisible());
        QVERIFY(h.settings.noTaskbarBlink() && h.settings.useWindowsColors());
        QCOMPARE(h.settings.autoLogIntervalSec(), 0);

        // Default and other changes, then Cancel: what Apply stored stays, nothing else.
        const SettingsRecord applied = h.settings;
        h.click(W::kFileNameDefault);
        h.edit(W::kDateTimeTemplate)->setText(QStringLiteral("%S"));
        h.click(W::kDateTimeDefault);
        h.edit(W::kFileNameTemplate)->setText(QStringLiteral("x"));
        h.click(W::kShowModeChoice);
        h.click(W::kCancel);
        QVERIFY(!h.window.isVisible());
        QVERIFY(h.settings == applied);
        QCOMPARE(h.changed.size(), 1);

        // Esc closes without storing; OK and Enter store once and close.
        struct Case {
            const char* how;
            bool stores;
        };
        for (const Case& c : {Case{"esc", false}, Case{"ok", true}, Case{"enter", true}}) {
            Harness k;
            k.edit(W::kFileNameTemplate)->setText(QStringLiteral("%DAT"));
            if (c.how == std::string("ok"))
                k.click(W::kOk);
            else
                QTest::keyClick(k.edit(W::kFileNameTemplate),
                                c.how == std::string("esc") ? Qt::Key_Escape : Qt::Key_Return);
            QVERIFY2(!k.window.isVisible(), c.how);
            QCOMPARE(k.changed.size(), c.stores ? 1 : 0);
            QCOMPARE(k.settings.fileNameTemplate() == "%DAT", c.stores);
        }
    }

    void choosersFillTheirBoxUnlessCancelled() {
        Harness h;
        h.click(W::kAutoLog);
        h.answer = QStringLiteral("/tmp/packets.txt");
        h.click(W::kLogChoose);
        h.answer = QStringLiteral("/tmp/ding.wav");
        h.click(W::kSoundChoose);
        h.answer.clear();
        h.click(W::kLogChoose);
        h.click(W::kSoundChoose);
        QCOMPARE(h.edit(W::kLogPath)->text(), QStringLiteral("/tmp/packets.txt"));
        QCOMPARE(h.edit(W::kSoundFile)->text(), QStringLiteral("/tmp/ding.wav"));
        QCOMPARE(h.requests.size(), 4u);
        const W::FileRequest& log = h.requests[0];
        const W::FileRequest& sound = h.requests[1];
        QVERIFY(log.kind == W::FileRequest::Kind::Save);
        QCOMPARE(log.defaultSuffix, QStringLiteral("txt"));
        QCOMPARE(log.filters, QStringList({"Text Files (*.txt)", "All Files (*)"}));
        QVERIFY(sound.kind == W::FileRequest::Kind::Open);
        QCOMPARE(sound.defaultSuffix, QStringLiteral("wav"));
        QCOMPARE(sound.filters, QStringList({"Wave files (*.wav)", "All Files (*)"}));
    }

    void testPlaysTheBoxTextElseTheTune() {
        test::TempDir dir;
        const std::string fifo = dir.file("pipe.wav");
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        const std::string good = dir.file("good.wav");
        WriteWave(good);
        struct Case {
            std::string path;
            QStringList played;
        };
        const Case cases[] = {
            {"", {"tones:7"}},
            {fifo, {"wave", "tones:7"}},
            {"/dev/zero", {"wave", "tones:7"}},
            {dir.file("missing.wav"), {"wave", "tones:7"}},
            {good, {"wave"}},
        };
        for (const Case& c : cases) {
            Harness h;
            // The box's text, not the stored field.
            h.settings.setSoundFile("/nowhere.wav");
            h.edit(W::kSoundFile)->setText(QString::fromStdString(c.path));
            h.click(W::kTest);
            QTRY_COMPARE_WITH_TIMEOUT(h.player.played(), c.played, 100);
            QTRY_VERIFY(!h.window.testPlaying());
        }
    }

    void testPlaysWithoutHoldingTheWindowAndTheCloseEndsIt() {
        test::TempDir dir;
        const std::string good = dir.file("long.wav");
        WriteWave(good);
        Harness h;
        h.player.holdWave = true;
        h.edit(W::kSoundFile)->setText(QString::fromStdString(good));
        h.click(W::kTest);
        QVERIFY(h.window.testPlaying());  // the click returned while the sound plays
        h.click(W::kTest);                // a second click while it plays is dropped
        QTest::qWait(20);
        QCOMPARE(h.player.played(), QStringList{"wave"});
        QVERIFY(!h.player.stopped);
        h.click(W::kCancel);  // stops the player and joins the Test's thread
        QVERIFY(h.player.stopped);
        QVERIFY(!h.window.testPlaying());
        // Cut short by the close: the stopped player refuses the tune, and no bell follows.
        QTest::qWait(20);
        QCOMPARE(h.player.played(), QStringList({"wave", "tones:7"}));
    }
};

}  // namespace vorlanx

QTEST_MAIN(vorlanx::GeneralSettingsWindowTest)
#include "general_settings_window_test.moc"
