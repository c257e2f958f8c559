// The Qt sound player: the bell rings on the user-interface thread, whichever thread asks.
#include <QTest>
#include <atomic>
#include <thread>

#include "platform/qt/qt_sound_player.h"

using namespace vorlanx;

namespace {

// Counts the sounds and stops it was asked for.
class CountingPlayer final : public SoundPlayer {
  public:
    bool playWaveFile(const std::string&) override { return false; }
    bool playTones(const std::vector<Tone>&, unsigned) override { return false; }
    void bell() override { ++bells; }
    void stop() override { ++stops; }
    std::atomic<int> bells{0};
    std::atomic<int> stops{0};
};

}  // namespace

class QtSoundPlayerTest : public QObject {
    Q_OBJECT
  private slots:
    void bellRingsOnTheUserInterfaceThread();
};

void QtSoundPlayerTest::bellRingsOnTheUserInterfaceThread() {
    CountingPlayer inner;
    std::thread::id rangOn;
    int rings = 0;
    QtSoundPlayer player(inner, [&] {
        rangOn = std::this_thread::get_id();
        ++rings;
    });
    std::thread monitor([&] { player.bell(); });  // as the sound monitor does
    monitor.join();
    QCOMPARE(rings, 0);  // queued, not rung on the monitor's thread
    QTRY_COMPARE(rings, 1);
    QVERIFY(rangOn == std::this_thread::get_id());
    QCOMPARE(inner.bells.load(), 0);  // the terminal bell stays silent

    player.stop();  // ends the inner player's sound
    QCOMPARE(inner.stops.load(), 1);
}

QTEST_MAIN(QtSoundPlayerTest)
#include "qt_sound_player_test.moc"
