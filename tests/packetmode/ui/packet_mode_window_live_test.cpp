// The Packet Mode window capturing real traffic on the loopback interface (needs
// CAP_NET_RAW; skips with a clear line without it).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLabel>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "capture/live_capture_source.h"
#include "packetmode/ui/packet_mode_controls.h"
#include "packetmode/ui/packet_mode_window.h"
#include "platform/qt/control_ids.h"
#include "support/loopback_sockets.h"
#include "support/quiet_platform.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

using namespace vorlanx;
namespace ids = vorlanx::packet_ids;

namespace {

// Sends `count` UDP datagrams with distinct payloads to 127.0.0.1:port; returns the port
// they came from.
uint16_t sendUdp(uint16_t port, int count) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < count; ++i) {
        const std::string payload = "vorlanx live " + std::to_string(i);
        ::sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to);
    }
    sockaddr_in self{};
    socklen_t len = sizeof self;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&self), &len);
    ::close(fd);
    return ntohs(self.sin_port);
}

// A real TCP exchange on loopback: connect, send a request, answer it, close.
uint16_t tcpExchange() {
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len);
    ::listen(server, 1);
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    const int conn = ::accept(server, nullptr, nullptr);
    ::send(client, "GET / HTTP/1.0\r\n\r\n", 18, 0);
    char buf[64];
    ::recv(conn, buf, sizeof buf, 0);
    ::send(conn, "HTTP/1.0 200 OK\r\n\r\nhi", 21, 0);
    ::recv(client, buf, sizeof buf, 0);
    ::close(client);
    ::close(conn);
    ::close(server);
    return ntohs(addr.sin_port);
}

}  // namespace

class PacketModeLiveTest : public QObject {
    Q_OBJECT
  private slots:
    void capturesRealLoopbackTraffic();
};

void PacketModeLiveTest::capturesRealLoopbackTraffic() {
    if (!test::CanCapture())
        QSKIP("live capture needs CAP_NET_RAW (run as root); skipped");
    test::TempDir dir;
    SettingsRecord settings = SettingsRecord::defaults("/tmp/");
    settings.setInterfaceAddress("127.0.0.1");
    test::ScriptedPrompt prompt;
    LiveCaptureSourceFactory sources;
    test::SilentSoundPlayer sound;
    SystemLocalTimeSource time;
    test::RefusingLauncher launcher;
    PacketModeWindow window(settings, dir.file("v.BCS"), {prompt, sources, sound, time, launcher});
    QVERIFY(window.initialise());
    window.show();
    FindControl<QToolButton>(&window, ids::kStart)->click();
    auto* status = FindControl<QLabel>(&window, ids::kStatus);
    QTRY_COMPARE(status->text(), QStringLiteral("Listening on: 127.0.0.1"));

    const uint16_t udpSource = sendUdp(47999, 5);
    const uint16_t tcpPort = tcpExchange();

    auto* model = FindControl<QTableView>(&window, ids::kList)->model();
    auto countRows = [&](const QString& type, int column, uint16_t port) {
        int n = 0;
        for (int r = 0; r < model->rowCount(); ++r)
            if (model->index(r, 0).data().toString() == type &&
                model->index(r, column).data().toString() == QString::number(port))
                ++n;
        return n;
    };
    // Each datagram once: loopback's outgoing copies are not listed twice.
    QTRY_COMPARE(countRows(QStringLiteral("UDP"), 5, 47999), 5);
    QCOMPARE(countRows(QStringLiteral("UDP"), 4, udpSource), 5);
    QTRY_VERIFY(countRows(QStringLiteral("TCP"), 5, tcpPort) >= 3);  // SYN, request, ACKs, FIN
    for (int r = 0; r < model->rowCount(); ++r) {
        if (model->index(r, 5).data().toString() != QStringLiteral("47999"))
            continue;
        QCOMPARE(model->index(r, 2).data().toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(model->index(r, 3).data().toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(model->index(r, 1).data().toString(), QString::number(20 + 8 + 14));
        break;
    }

    FindControl<QToolButton>(&window, ids::kStop)->click();
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Stopped"), 2000);
}

QTEST_MAIN(PacketModeLiveTest)
#include "packet_mode_window_live_test.moc"
