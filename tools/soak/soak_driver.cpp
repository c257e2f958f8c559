// The soak driver: the real Packet Mode and File Mode windows, offscreen, kept busy for a
// while on the loopback interface and driven by control id as a user would.
//
//   vorlanx_soak SECONDS    each phase runs SECONDS (fractions allowed)
//
// Phase 1, Packet Mode under a UDP flood: two threads send datagrams as fast as they can
// to a closed port on 127.0.0.1 (the kernel answers each with an ICMP port-unreachable, as
// far as its ICMP rate limit lets it). A cycle is Start, the store filling to its 1,000,000
// items ("Stopped/Item Limit Reached"), Clear and the wait for the Clear to finish; cycles
// follow each other until the time is up (the last one completes).
//
// Phase 2, File Mode under HTTP: a server on 127.0.0.77 and two clients fetching bodies of
// varied sizes, with a Content-Length or chunked, while the File Mode window writes what
// it captures into a temporary directory. Every file is read back, checked byte for byte
// against the body it names and removed.
//
// Exit status 0 when all held, 1 otherwise, 3 when the watchdog saw no progress for 30 s
// (VORLANX_SOAK_HANG_SECONDS; it ends the process then). Sanitizer reports end the process
// with the sanitizers' own exit status.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QCheckBox>
#include <QProgressBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VORLANX_SOAK_ASAN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLANX_SOAK_ASAN_HEAP 1
#endif
#endif
#ifdef VORLANX_SOAK_ASAN_HEAP
// The sanitizer runtime's count of the bytes handed out and not freed (its header,
// sanitizer/allocator_interface.h, comes with clang only).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "capture/live_capture_source.h"
#include "filemode/ui/file_mode_controls.h"
#include "filemode/ui/file_mode_window.h"
#include "packetmode/packet_capture_thread.h"
#include "packetmode/ui/packet_mode_controls.h"
#include "packetmode/ui/packet_mode_window.h"
#include "platform/clock.h"
#include "platform/local_time.h"
#include "platform/qt/control_ids.h"
#include "soak/memory_rule.h"
#include "soak/soak_http.h"
#include "support/file_contents.h"
#include "support/loopback_sockets.h"
#include "support/quiet_platform.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

using namespace vorlanx;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kServerAddress = "127.0.0.77";

// Memory of this process, in KiB, from /proc/self/status.
struct Memory {
    long rss = 0;  // VmRSS
    long hwm = 0;  // VmHWM, the peak
};

Memory ReadMemory() {
    Memory m;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            m.rss = std::atol(line.c_str() + 6);
        else if (line.rfind("VmHWM:", 0) == 0)
            m.hwm = std::atol(line.c_str() + 6);
    }
    return m;
}

// Bytes the program holds on the heap right now, in KiB: what the allocator has handed out
// and not yet been given back, without its caches, its fragmentation or (under
// AddressSanitizer) the quarantine of freed blocks that resident memory includes.
long LiveHeapKiB() {
#ifdef VORLANX_SOAK_ASAN_HEAP
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    return static_cast<long>(mallinfo2().uordblks / 1024);
#endif
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Ends the process when the driver reports no progress for `limit`: a window, a worker or
// the event loop is stuck. Progress is reported from the user-interface thread only, so a
// stuck event loop counts as a hang too.
class Watchdog {
  public:
    explicit Watchdog(std::chrono::milliseconds limit)
        : m_limit(limit), m_thread([this](std::stop_token stop) {
              while (!stop.stop_requested()) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(200));
                  const auto last = Clock::time_point(Clock::duration(m_last.load()));
                  if (Clock::now() - last > m_limit) {
                      std::fprintf(stderr, "SOAK HANG: no progress for %.1f s while %s\n",
                                   static_cast<double>(m_limit.count()) / 1000, m_what.load());
                      std::fflush(nullptr);
                      ::_exit(3);
                  }
              }
          }) {}
    // Something moved; `what` says what the driver waits for next (a literal).
    void progress(const char* what) {
        m_what.store(what);
        m_last.store(Clock::now().time_since_epoch().count());
    }
    std::chrono::milliseconds limit() const { return m_limit; }

  private:
    const std::chrono::milliseconds m_limit;
    std::atomic<Clock::rep> m_last{Clock::now().time_since_epoch().count()};
    std::atomic<const char*> m_what{"starting"};
    std::jthread m_thread;  // last: it reads the members above
};

// Keeps the event loop turning until pred() holds. Each call of moved() that answers true
// is progress; false when nothing moved for `limit` (the watchdog's limit when 0; the
// watchdog may then have ended the process first).
template <typename Pred, typename Moved>
bool WaitWithProgress(Watchdog& dog, const char* what, Pred pred, Moved moved,
                      Clock::duration limit = Clock::duration::zero()) {
    if (limit == Clock::duration::zero())
        limit = dog.limit();
    dog.progress(what);
    auto last = Clock::now();
    while (!pred()) {
        QTest::qWait(20);
        if (moved()) {
            dog.progress(what);
            last = Clock::now();
        } else if (Clock::now() - last > limit) {
            return false;
        }
    }
    dog.progress(what);
    return true;
}

// A sound player that only counts: the sound monitor runs, nothing is played or kept.
class CountingSoundPlayer final : public SoundPlayer {
  public:
    bool playWaveFile(const std::string&) override {
        ++m_calls;
        return false;
    }
    bool playTones(const std::vector<Tone>&, unsigned) override {
        ++m_calls;
        return true;
    }
    void bell() override { ++m_calls; }
    uint64_t calls() const { return m_calls.load(); }

  private:
    std::atomic<uint64_t> m_calls{0};
};

// The live capture, with an eye on what it lost: the datagrams the kernel dropped because
// the capture ring was full and those cut, over every source opened so far. A loss
// explains a file that ends early; nothing else does.
class ObservedCaptureSources final : public CaptureSourceFactory {
  public:
    std::unique_ptr<CaptureSource> open(const std::string& interfaceAddress,
                                        OpenOutcome& outcome) override {
        std::shared_ptr<CaptureSource> source = m_live.open(interfaceAddress, outcome);
        std::lock_guard lock(m_mutex);
        if (m_current)
            m_earlier += lossesOf(*m_current);  // ended: a new start follows the last end
        m_current = source;
        return std::make_unique<Shared>(std::move(source));
    }
    uint64_t losses() const {
        std::lock_guard lock(m_mutex);
        return m_earlier + (m_current ? lossesOf(*m_current) : 0);
    }

  private:
    // The engine's handle on a source this factory also reads.
    class Shared final : public CaptureSource {
      public:
        explicit Shared(std::shared_ptr<CaptureSource> source) : m_source(std::move(source)) {}
        std::optional<std::span<const uint8_t>> receive() override { return m_source->receive(); }
        void close() override { m_source->close(); }
        uint64_t bytesWaiting() const override { return m_source->bytesWaiting(); }
        uint64_t droppedByKernel() const override { return m_source->droppedByKernel(); }
        uint64_t datagramsCut() const override { return m_source->datagramsCut(); }

      private:
        std::shared_ptr<CaptureSource> m_source;
    };
    static uint64_t lossesOf(const CaptureSource& s) { return s.droppedByKernel() + s.datagramsCut(); }

    LiveCaptureSourceFactory m_live;
    mutable std::mutex m_mutex;
    std::shared_ptr<CaptureSource> m_current;  // guarded by m_mutex
    uint64_t m_earlier = 0;                    // guarded by m_mutex
};

// Two threads sending UDP datagrams to a closed port on 127.0.0.1 as fast as they can.
class UdpFlood {
  public:
    UdpFlood() {
        // A port nothing listens on: bound for a moment and let go.
        const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
        const sockaddr_in any = test::LoopbackAddress(0);
        ::bind(probe, reinterpret_cast<const sockaddr*>(&any), sizeof any);
        m_port = test::BoundPort(probe);
        ::close(probe);
        for (int i = 0; i < 2; ++i)
            m_threads.emplace_back([this, i](std::stop_token stop) { send(stop, i); });
    }
    ~UdpFlood() {
        for (std::jthread& t : m_threads)
            t.request_stop();
    }
    uint64_t sent() const { return m_sent.load(); }
    uint16_t port() const { return m_port; }

  private:
    void send(const std::stop_token& stop, int sender) {
        test::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
        const sockaddr_in to = test::LoopbackAddress(m_port);
        const std::string payload = "vorlanx soak flood " + std::to_string(sender);
        uint64_t sent = 0;
        while (!stop.stop_requested()) {
            for (int i = 0; i < 256; ++i)
                sent += ::sendto(fd.get(), payload.data(), payload.size(), 0,
                                 reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0;
            m_sent.fetch_add(sent);
            sent = 0;
        }
    }

    uint16_t m_port = 0;
    std::atomic<uint64_t> m_sent{0};
    std::vector<std::jthread> m_threads;  // last: they read the members above
};

struct Cycle {
    double fillSeconds = 0;
    double clearSeconds = 0;
    int32_t stored = 0;
    int32_t listed = 0;
    int32_t udp = 0;
    int32_t icmp = 0;
    long rssFull = 0;
    long rssAfterClear = 0;
    long heapAfterClear = 0;
};

struct Verdict {
    std::vector<std::string> failures;
    void fail(std::string why) {
        std::printf("SOAK FAIL: %s\n", why.c_str());
        std::fflush(stdout);
        failures.push_back(std::move(why));
    }
};

// The report's line on the memory rule over one figure of the cycles; a broken rule fails
// the soak.
std::string MemoryRuleText(const std::vector<Cycle>& cycles, long Cycle::*figure,
                           const char* what, Verdict& verdict) {
    std::vector<long> kib;
    for (const Cycle& c : cycles)
        kib.push_back(c.*figure);
    const soak::GrowthJudgement j = soak::JudgeGrowth(kib);
    if (!j.judged)
        return "not judged (fewer than " +
               std::to_string(soak::kWarmUpCycles + soak::kJudgedCycles) + " cycles)";
    char text[160];
    std::snprintf(text, sizeof text, "last third min %ld KiB vs first third max %ld KiB (%+.1f%%)",
                  j.late, j.early,
                  100.0 * static_cast<double>(j.late - j.early) / static_cast<double>(j.early));
    if (j.growing)
        verdict.fail(std::string(what) + " keeps growing across cycles: " + text);
    return text;
}

struct PacketPhase {
    std::vector<Cycle> cycles;
    uint64_t sent = 0;
    uint64_t sounds = 0;
    uint64_t losses = 0;  // datagrams the capture lost
    std::string rssRule;
    std::string heapRule;
};

// Phase 1: Packet Mode, Start / full / Clear cycles under the flood.
PacketPhase RunPacketMode(double seconds, Watchdog& dog, Verdict& verdict) {
    namespace ids = packet_ids;
    PacketPhase result;
    test::TempDir dir;
    SettingsRecord settings = SettingsRecord::defaults("/tmp/");
    settings.setInterfaceAddress("127.0.0.1");
    test::ScriptedPrompt prompt;
    ObservedCaptureSources sources;
    CountingSoundPlayer sound;
    SystemLocalTimeSource time;
    test::RefusingLauncher launcher;
    auto window = std::make_unique<PacketModeWindow>(
        settings, dir.file("v.BCS"), PacketModeWindowServices{prompt, sources, sound, time, launcher});
    if (!window->initialise()) {
        verdict.fail("the Packet Mode window could not initialise");
        return result;
    }
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        verdict.fail("the Packet Mode window was not shown");
        return result;
    }
    auto* status = FindControl<QLabel>(window.get(), ids::kStatus);
    auto* list = FindControl<QTableView>(window.get(), ids::kList);
    auto* listProgress = FindControl<QProgressBar>(window.get(), ids::kListProgress);
    // The new-packet sound on, so its monitor works through the flood too.
    if (auto* soundBox = FindControl<QCheckBox>(window.get(), ids::kSound); !soundBox->isChecked())
        soundBox->click();
    PacketModeCore& core = window->core();
    const auto rows = [&] {
        window->syncList();
        return list->model()->rowCount();
    };

    UdpFlood flood;
    std::printf("phase 1: Packet Mode, flood to closed UDP port %u on 127.0.0.1 for %.1f s\n",
                flood.port(), seconds);
    std::printf("%5s %8s %8s %8s %8s %7s %7s %12s %12s %12s\n", "cycle", "stored", "listed",
                "UDP", "ICMP", "fill s", "clear s", "RSS full KiB", "RSS clr KiB", "heap clr KiB");
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(seconds));
    do {
        Cycle c;
        const auto started = Clock::now();
        FindControl<QToolButton>(window.get(), ids::kStart)->click();
        int32_t seen = -1;
        bool listening = false;  // the status line still shows the last cycle's end until then
        const auto isFull = [&] {
            return core.store().count() == PacketStore::kCapacity &&
                   status->text() == QLatin1String(kItemLimitStatus);
        };
        const bool full = WaitWithProgress(
            dog, "the Packet Mode store fills",
            [&] {
                const QString s = status->text();
                listening = listening || s.startsWith(QLatin1String(kListeningOnStatus));
                return isFull() || (listening && s.startsWith(QLatin1String(kStoppedStatus)));
            },
            [&] {
                const int32_t now = core.store().count();
                return std::exchange(seen, now) != now;
            });
        if (!full || !isFull()) {
            verdict.fail("the capture ended with \"" + status->text().toStdString() + "\" at " +
                         std::to_string(core.store().count()) + " items");
            break;
        }
        c.fillSeconds = Seconds(Clock::now() - started);
        c.stored = core.store().count();
        // Every stored packet is listed, once the list has caught up.
        (void)QTest::qWaitFor([&] { return rows() >= c.stored; }, 5000);
        c.listed = rows();
        for (int32_t slot = 0; slot < c.stored; ++slot)
            core.store().withRecord(slot, [&](const PacketView& p) {
                const uint8_t protocol = p.length() > 9 ? p.data()[9] : 0;
                c.udp += protocol == 17;
                c.icmp += protocol == 1;
            });
        c.rssFull = ReadMemory().rss;
        if (c.stored != PacketStore::kCapacity || c.listed != c.stored)
            verdict.fail("cycle " + std::to_string(result.cycles.size() + 1) + ": " +
                         std::to_string(c.stored) + " stored, " + std::to_string(c.listed) +
                         " listed");

        const auto clearing = Clock::now();
        FindControl<QToolButton>(window.get(), ids::kClear)->click();
        int progress = -1;
        const bool cleared = WaitWithProgress(
            dog, "Clear finishes",
            [&] {
                return core.waitForThreads(std::chrono::milliseconds(0)) &&
                       core.store().count() == 0 && rows() == 0 && list->isVisible() &&
                       !listProgress->isVisible();
            },
            [&] { return std::exchange(progress, listProgress->value()) != listProgress->value(); });
        if (!cleared) {
            verdict.fail("Clear did not finish");
            break;
        }
        c.clearSeconds = Seconds(Clock::now() - clearing);
        if (core.store().allocationBytes() != 0)
            verdict.fail("the memory figure is not 0 after Clear");
        c.rssAfterClear = ReadMemory().rss;
        c.heapAfterClear = LiveHeapKiB();
        result.cycles.push_back(c);
        std::printf("%5zu %8d %8d %8d %8d %7.1f %7.1f %12ld %12ld %12ld\n", result.cycles.size(),
                    c.stored, c.listed, c.udp, c.icmp, c.fillSeconds, c.clearSeconds, c.rssFull,
                    c.rssAfterClear, c.heapAfterClear);
        std::fflush(stdout);
    } while (Clock::now() < end);
    result.sent = flood.sent();
    result.sounds = sound.calls();
    result.losses = sources.losses();

    // The close sequence: release everything, write the settings, then the window goes.
    window->close();
    if (!WaitWithProgress(dog, "the Packet Mode window closes", [&] { return window->closed(); },
                          [] { return false; }))
        verdict.fail("the Packet Mode window did not finish closing");
    window.reset();
    for (const std::string& text : prompt.texts())
        verdict.fail("Packet Mode asked: " + text);
    result.rssRule = MemoryRuleText(result.cycles, &Cycle::rssAfterClear, "resident memory", verdict);
    result.heapRule = MemoryRuleText(result.cycles, &Cycle::heapAfterClear, "the live heap", verdict);
    return result;
}

struct FilePhase {
    uint64_t served = 0;
    uint64_t servedChunked = 0;
    uint64_t servedBytes = 0;
    uint64_t fetchFailures = 0;
    uint64_t filesWritten = 0;  // the window's counter
    uint64_t filesChecked = 0;  // read back and judged
    uint64_t filesCorrect = 0;
    uint64_t filesCut = 0;      // a body cut short, with capture losses to explain it
    uint64_t notServed = 0;     // correct, but its body was never fetched whole
    uint64_t losses = 0;        // datagrams the capture lost
};

// Reads back the files in `dir` and removes each one that holds the body it names. While
// File Mode runs (`final` false) only files untouched for two seconds are read, and one
// that differs stays for a later look, as its writing may not be over; with `final`, after
// File Mode stopped, every file is judged and removed. A file cut short counts as such
// when the capture lost datagrams (`losses`); any other difference fails the soak.
void CheckFiles(const std::filesystem::path& dir, bool final, uint64_t losses,
                const soak::SoakHttpClients& clients, std::map<uint64_t, int>& seen,
                FilePhase& result, Verdict& verdict) {
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::error_code ec;
        if (!final && now - entry.last_write_time(ec) < std::chrono::seconds(2))
            continue;
        const std::string bytes = test::ReadFileBytes(entry.path());
        const std::optional<soak::BodyName> body = soak::ReadBodyName(bytes);
        const std::string expected = body ? soak::SoakBody(body->id, body->size) : std::string();
        const bool correct = body && bytes == expected;
        if (!correct && !final)
            continue;
        ++result.filesChecked;
        const std::string name = entry.path().filename().string();
        const std::string what = "file " + name + " (" + std::to_string(bytes.size()) + " bytes)";
        if (correct && ++seen[body->id] > 1) {
            verdict.fail("body " + std::to_string(body->id) + " written again as " + name);
        } else if (correct) {
            ++result.filesCorrect;
            result.notServed += !clients.wasServed(body->id);
        } else if (losses > 0 && (body ? bytes.size() < expected.size() &&
                                             expected.compare(0, bytes.size(), bytes) == 0
                                       : soak::IsCutFirstLine(bytes))) {
            ++result.filesCut;
        } else if (!body) {
            verdict.fail(what + " names no served body");
        } else {
            verdict.fail(what + " differs from body " + std::to_string(body->id) + " of " +
                         std::to_string(body->size) + " bytes");
        }
        std::filesystem::remove(entry.path(), ec);
    }
}

// Phase 2: File Mode writing what the HTTP clients fetch.
FilePhase RunFileMode(double seconds, Watchdog& dog, Verdict& verdict) {
    namespace ids = file_ids;
    FilePhase result;
    test::TempDir dir;
    test::TempDir output;
    soak::SoakHttpServer server(kServerAddress);
    if (!server.listening()) {
        verdict.fail(std::string("no HTTP server could listen on ") + kServerAddress);
        return result;
    }
    SettingsRecord settings = SettingsRecord::defaults("/tmp/");
    settings.setInterfaceAddress("127.0.0.1");
    settings.setFileDirectory(output.path().string() + "/");
    // Long enough that a response is never cut while the machine is busy.
    settings.setAckTimeoutMs(2000);
    test::ScriptedPrompt prompt;
    ObservedCaptureSources sources;
    SteadyProgramClock clock;
    SystemLocalTimeSource localTime;
    test::RefusingLauncher launcher;
    auto window = std::make_unique<FileModeWindow>(
        settings, dir.file("v.BCS"),
        FileModeWindowServices{prompt, sources, clock, localTime, launcher});
    if (!window->initialise()) {
        verdict.fail("the File Mode window could not initialise");
        return result;
    }
    window->show();
    // Only the server's answers: the requests and whatever else runs on loopback come from
    // other addresses. A taken name gets a number, nothing is overwritten.
    FindControl<QLineEdit>(window.get(), ids::kSourceIp)->setText(QString::fromLatin1(kServerAddress));
    FindControl<QCheckBox>(window.get(), ids::kOverwrite)->setChecked(false);
    FindControl<QToolButton>(window.get(), ids::kStart)->click();
    auto* status = FindControl<QLabel>(window.get(), ids::kStatus);
    if (!QTest::qWaitFor([&] { return status->text() == QLatin1String("Status: Running"); }, 10000)) {
        verdict.fail("File Mode did not start: \"" + status->text().toStdString() + "\"");
        return result;
    }
    std::printf("\nphase 2: File Mode, HTTP from %s:%u to two clients for %.1f s\n",
                kServerAddress, server.port(), seconds);
    std::fflush(stdout);

    FileModeCounters& counters = window->core().counters();
    std::map<uint64_t, int> seen;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(seconds));
    {
        soak::SoakHttpClients clients(kServerAddress, server.port(), 2);
        uint32_t written = 0;
        auto lastCheck = Clock::now();
        WaitWithProgress(
            dog, "File Mode writes files", [&] { return Clock::now() >= end; },
            [&] {
                if (Clock::now() - lastCheck > std::chrono::seconds(1)) {
                    lastCheck = Clock::now();
                    CheckFiles(output.path(), false, 0, clients, seen, result, verdict);
                }
                const uint32_t now = counters.filesWrittenAll.load();
                return std::exchange(written, now) != now;
            });
        clients.stop();
        result.served = clients.served();
        result.servedChunked = clients.chunked();
        result.servedBytes = clients.servedBytes();
        result.fetchFailures = clients.failed();
        // The last responses are written once the ACK time-out has passed (a response
        // whose start the capture lost never is).
        WaitWithProgress(
            dog, "File Mode writes the last files",
            [&] { return counters.filesWrittenAll.load() >= result.served; },
            [&] {
                const uint32_t now = counters.filesWrittenAll.load();
                return std::exchange(written, now) != now;
            },
            std::chrono::seconds(10));

        FindControl<QToolButton>(window.get(), ids::kStop)->click();
        if (!QTest::qWaitFor([&] { return status->text() == QLatin1String("Status: Stopped"); },
                             10000) ||
            !window->core().waitUntilIdle(std::chrono::seconds(20)))
            verdict.fail("File Mode did not stop");
        result.losses = sources.losses();
        CheckFiles(output.path(), true, result.losses, clients, seen, result, verdict);
    }
    result.filesWritten = counters.filesWrittenAll.load();
    if (result.filesWritten < result.served && result.losses == 0)
        verdict.fail("File Mode wrote " + std::to_string(result.filesWritten) + " files of " +
                     std::to_string(result.served) + " responses, and the capture lost nothing");
    if (result.filesChecked != result.filesWritten)
        verdict.fail(std::to_string(result.filesWritten) + " files counted as written, " +
                     std::to_string(result.filesChecked) + " found");
    if (result.notServed > 0)
        verdict.fail(std::to_string(result.notServed) + " files hold bodies no client fetched whole");
    if (result.fetchFailures > 0)
        verdict.fail(std::to_string(result.fetchFailures) + " fetches failed");
    if (counters.trackedMemory.load() != 0)
        verdict.fail("File Mode still holds " + std::to_string(counters.trackedMemory.load()) +
                     " bytes after stopping");
    window->close();
    if (!window->closed())
        verdict.fail("the File Mode window did not close");
    window.reset();
    for (const std::string& text : prompt.texts())
        verdict.fail("File Mode asked: " + text);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s SECONDS (each phase)\n", argv[0]);
        return 2;
    }
    if (!test::CanCapture()) {
        std::fprintf(stderr, "the soak captures on 127.0.0.1: it needs root (CAP_NET_RAW)\n");
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Verdict verdict;
    // The hang limit: 30 s unless VORLANX_SOAK_HANG_SECONDS says otherwise.
    const char* hang = std::getenv("VORLANX_SOAK_HANG_SECONDS");
    Watchdog dog(std::chrono::milliseconds(
        static_cast<long>(1000 * (hang && std::atof(hang) > 0 ? std::atof(hang) : 30.0))));
    const Memory atStart = ReadMemory();
    const PacketPhase packets = RunPacketMode(seconds, dog, verdict);
    const Memory afterPackets = ReadMemory();
    const FilePhase files = RunFileMode(seconds, dog, verdict);
    const Memory atEnd = ReadMemory();

    uint64_t stored = 0, listed = 0;
    for (const Cycle& c : packets.cycles) {
        stored += static_cast<uint64_t>(c.stored);
        listed += static_cast<uint64_t>(c.listed);
    }
    std::printf("\n%-48s %s\n", "soak", "result");
    const auto row = [](const char* what, const std::string& value) {
        std::printf("%-48s %s\n", what, value.c_str());
    };
    const auto n = [](auto v) { return std::to_string(v); };
    row("Packet Mode cycles (fill, Clear)", n(packets.cycles.size()));
    row("datagrams stored / listed in total", n(stored) + " / " + n(listed));
    row("datagrams sent by the flood", n(packets.sent));
    row("datagrams lost by the capture, phase 1 / 2", n(packets.losses) + " / " + n(files.losses));
    row("new-packet sounds asked for", n(packets.sounds));
    std::string perCycle;
    for (const Cycle& c : packets.cycles)
        perCycle += (perCycle.empty() ? "" : " ") + n(c.rssAfterClear / 1024);
    row("RSS after each Clear, MiB", perCycle.empty() ? "-" : perCycle);
    row("memory rule, RSS after Clear", packets.rssRule);
    row("memory rule, live heap after Clear", packets.heapRule);
    row("HTTP responses fetched (chunked)", n(files.served) + " (" + n(files.servedChunked) + ")");
    row("HTTP body bytes fetched", n(files.servedBytes));
    row("files written / checked / correct / cut by loss",
        n(files.filesWritten) + " / " + n(files.filesChecked) + " / " + n(files.filesCorrect) +
            " / " + n(files.filesCut));
    row("RSS at start / after phase 1 / end, MiB",
        n(atStart.rss / 1024) + " / " + n(afterPackets.rss / 1024) + " / " + n(atEnd.rss / 1024));
    row("RSS peak (VmHWM), MiB", n(atEnd.hwm / 1024));
    row("verdict", verdict.failures.empty() ? "PASS" : "FAIL (" + n(verdict.failures.size()) + ")");
    return verdict.failures.empty() ? 0 : 1;
}
