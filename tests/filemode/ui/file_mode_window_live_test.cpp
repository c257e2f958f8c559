// The File Mode window capturing real HTTP traffic on the loopback interface: two local
// servers (python3 -m http.server, and a small HTTP/1.1 server sending chunked and gzip
// bodies) answer a real client (curl); every body must land in the chosen directory under
// its templated name with the right extension, byte for byte. Needs CAP_NET_RAW, python3
// and curl; skips with a clear line without them.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "capture/live_capture_source.h"
#include "filemode/ui/file_mode_controls.h"
#include "filemode/ui/file_mode_window.h"
#include "platform/qt/control_ids.h"
#include "support/file_contents.h"
#include "support/local_server.h"
#include "support/loopback_sockets.h"
#include "support/quiet_platform.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

using namespace vorlanx;
namespace ids = vorlanx::file_ids;

namespace {

// The servers listen on their own loopback address, so the window's source-address filter
// keeps out whatever else runs on the loopback interface meanwhile.
constexpr const char* kServerAddress = "127.0.0.77";

// HTTP/1.1 with every body sent chunked: "*.gz" as a gzip-encoded HTML page (chunks of
// 1000, 17 with an extension, 256 and the rest), anything else as text/plain in 4 KiB
// chunks. Arguments: address, port, directory.
constexpr const char* kChunkedServer = R"(import http.server, os, sys
root = sys.argv[3]
class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *args):
        pass
    def do_GET(self):
        path = os.path.join(root, os.path.basename(self.path))
        if not os.path.isfile(path):
            self.send_error(404)
            return
        body = open(path, "rb").read()
        self.send_response(200)
        if path.endswith(".gz"):
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Encoding", "gzip")
            sizes = [1000, 17, 256]
        else:
            self.send_header("Content-Type", "text/plain")
            sizes = []
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        at = 0
        while at < len(body):
            size = sizes.pop(0) if sizes else (len(body) - at if path.endswith(".gz") else 4096)
            piece = body[at:at + size]
            extension = b";part=small" if len(piece) == 17 else b""
            self.wfile.write(b"%x" % len(piece) + extension + b"\r\n" + piece + b"\r\n")
            at += len(piece)
        self.wfile.write(b"0\r\n\r\n")
http.server.HTTPServer((sys.argv[1], int(sys.argv[2])), Handler).serve_forever()
)";

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string textOf(size_t bytes, const char* what) {
    std::string t;
    for (size_t i = 0; t.size() < bytes; ++i)
        t += "line " + std::to_string(i) + " of " + what + "\n";
    t.resize(bytes);
    return t;
}

std::string randomBytes(size_t bytes, unsigned seed) {
    std::mt19937 random(seed);
    std::string b(bytes, '\0');
    for (char& c : b)
        c = static_cast<char>(random());
    return b;
}

// One body a server sends and the extension its file must get.
struct Served {
    std::string url;
    std::string extension;
    std::string bytes;
};

}  // namespace

class FileModeLiveTest : public QObject {
    Q_OBJECT
  private slots:
    void bodiesFetchedFromLocalServersAreWrittenByteForByte();
};

void FileModeLiveTest::bodiesFetchedFromLocalServersAreWrittenByteForByte() {
    if (!test::CanCapture())
        QSKIP("live capture needs CAP_NET_RAW (run as root); File Mode on loopback not tested");
    if (!test::HaveProgram("python3") || !test::HaveProgram("curl"))
        QSKIP("python3 or curl missing; File Mode on loopback not tested");

    test::TempDir plain;
    test::TempDir chunked;
    test::TempDir output;
    test::TempDir dir;
    const uint16_t plainPort = test::FreeTcpPort(kServerAddress);
    const uint16_t chunkedPort = test::FreeTcpPort(kServerAddress);
    QVERIFY(plainPort != 0 && chunkedPort != 0 && plainPort != chunkedPort);
    const std::string plainBase =
        "http://" + std::string(kServerAddress) + ":" + std::to_string(plainPort) + "/";
    const std::string chunkedBase =
        "http://" + std::string(kServerAddress) + ":" + std::to_string(chunkedPort) + "/";

    const std::string dataDir = VORLANX_TEST_DATA_DIR "/http/";
    std::vector<Served> served = {
        {plainBase + "page.html", "html", textOf(70000, "a served page")},
        {plainBase + "logo.gif", "gif", test::ReadFileBytes(dataDir + "logo.gif")},
        {plainBase + "picture.png", "png", randomBytes(150000, 1)},
        {plainBase + "style.css", "css", textOf(900, "a style sheet")},
        {plainBase + "data.json", "json", textOf(3000, "some data")},
        {plainBase + "blob.bin", "bin_dms_lha_lzh_exe_dll", randomBytes(300000, 2)},
        {plainBase + "large.txt", "txt", textOf(1500000, "a large text")},
        // Stored still encoded; the chunks are taken apart while writing.
        {chunkedBase + "page.html.gz", "html.gz", test::ReadFileBytes(dataDir + "page.html.gz")},
        {chunkedBase + "notes.txt", "txt", textOf(20000, "chunked notes")},
    };
    for (const Served& s : served) {
        QVERIFY2(!s.bytes.empty(), s.url.c_str());
        const std::string name = s.url.substr(s.url.rfind('/') + 1);
        writeFile((s.url.rfind(chunkedBase, 0) == 0 ? chunked : plain).path() / name, s.bytes);
    }
    writeFile(dir.path() / "chunked_server.py", kChunkedServer);

    test::BackgroundProgram plainServer({"python3", "-m", "http.server", "--bind", kServerAddress,
                                         "--directory", plain.path().string(),
                                         std::to_string(plainPort)});
    test::BackgroundProgram chunkedServer({"python3", dir.file("chunked_server.py"), kServerAddress,
                                           std::to_string(chunkedPort), chunked.path().string()});
    QVERIFY2(plainServer.waitUntilListening(kServerAddress, plainPort),
             "python3 -m http.server did not start");
    QVERIFY2(chunkedServer.waitUntilListening(kServerAddress, chunkedPort),
             "the chunked server did not start");

    SettingsRecord settings = SettingsRecord::defaults("/tmp/");
    settings.setInterfaceAddress("127.0.0.1");
    settings.setFileDirectory(output.path().string() + "/");
    settings.setAckTimeoutMs(300);
    test::ScriptedPrompt prompt;
    LiveCaptureSourceFactory sources;
    SteadyProgramClock clock;
    SystemLocalTimeSource localTime;
    test::RefusingLauncher launcher;
    FileModeWindow window(settings, dir.file("v.BCS"),
                          {prompt, sources, clock, localTime, launcher});
    QVERIFY(window.initialise());
    window.show();
    QCOMPARE(FindControl<QLineEdit>(&window, ids::kInterfaceAddress)->text(),
             QStringLiteral("127.0.0.1"));
    // Only the servers' answers: the client's requests and every other exchange on the
    // loopback interface come from other addresses.
    FindControl<QLineEdit>(&window, ids::kSourceIp)->setText(QString::fromLatin1(kServerAddress));
    QVERIFY(FindControl<QCheckBox>(&window, ids::kHttpOnly)->isChecked());

    FindControl<QToolButton>(&window, ids::kStart)->click();
    auto* status = FindControl<QLabel>(&window, ids::kStatus);
    QTRY_COMPARE(status->text(), QStringLiteral("Status: Running"));
    QVERIFY(prompt.asked().empty());

    for (const Served& s : served) {
        const std::string command = "curl -s --max-time 20 -o /dev/null '" + s.url + "'";
        QVERIFY2(std::system(command.c_str()) == 0, command.c_str());
        QTest::qWait(30);  // the event loop keeps the stream clock going meanwhile
    }
    QTRY_VERIFY_WITH_TIMEOUT(window.core().counters().filesWrittenRun.load() >= served.size(),
                             30000);
    QTest::qWait(800);  // longer than the time-out: anything more would be written by now

    uint64_t servedBytes = 0;
    for (const Served& s : served)
        servedBytes += s.bytes.size();
    const QString writtenText = QStringLiteral("Files written: %1 (%2 KB) of %1 (%2 KB)")
                                    .arg(served.size())
                                    .arg(servedBytes / 1024);
    QTRY_COMPARE(FindControl<QLabel>(&window, ids::kFilesWritten)->text(), writtenText);

    FindControl<QToolButton>(&window, ids::kStop)->click();
    QTRY_COMPARE(status->text(), QStringLiteral("Status: Stopped"));
    QVERIFY(window.core().engine().waitUntilIdle(std::chrono::seconds(10)));
    QVERIFY(prompt.asked().empty());

    // Each body once, named "<server> to <client> - [<date and time>].<extension>".
    const std::vector<std::string> names = test::FileNamesIn(output.path());
    QCOMPARE(names.size(), served.size());
    std::vector<std::string> contents;
    for (const std::string& name : names)
        contents.push_back(test::ReadFileBytes(output.path() / name));
    const std::string prefix = std::string(kServerAddress) + " to 127.0.0.1 - [";
    for (const Served& s : served) {
        const auto found = std::find(contents.begin(), contents.end(), s.bytes);
        QVERIFY2(found != contents.end(), s.url.c_str());
        QVERIFY2(std::count(contents.begin(), contents.end(), s.bytes) == 1, s.url.c_str());
        const std::string& name = names[static_cast<size_t>(found - contents.begin())];
        const std::string tail = "]." + s.extension;
        QVERIFY2(name.rfind(prefix, 0) == 0 && name.size() > prefix.size() + tail.size() &&
                     name.compare(name.size() - tail.size(), tail.size(), tail) == 0,
                 (s.url + " written as " + name).c_str());
    }
    QCOMPARE(window.core().counters().trackedMemory.load(), 0);
}

QTEST_MAIN(FileModeLiveTest)
#include "file_mode_window_live_test.moc"
