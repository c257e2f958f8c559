// Automatic logging through the real core and real files: only new slots per interval,
// Clear, turning it off and on, a path that cannot be opened yet, a full disk, the interval
// edges and the close during a long wait.
#include "packetmode/auto_log.h"

#include <gtest/gtest.h>

#include <climits>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "packetmode/packet_report.h"
#include "support/file_contents.h"
#include "support/packet_mode_edges.h"
#include "support/temp_dir.h"
#include "support/test_datagram.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;

// Records every message; while held, a message stays "on screen" until released.
class HeldPrompt final : public UserPrompt {
  public:
    PromptAnswer ask(const PromptRequest& request) override {
        std::unique_lock lock(m_mutex);
        m_asked.push_back(request);
        m_changed.wait(lock, [this] { return !m_hold; });
        return PromptAnswer::Ok;
    }
    void hold(bool on) {
        std::lock_guard lock(m_mutex);
        m_hold = on;
        m_changed.notify_all();
    }
    std::vector<PromptRequest> asked() const {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_hold = false;
    std::vector<PromptRequest> m_asked;
};

void Configure(PacketModeCore& core, bool on, const std::string& path, int32_t intervalSec,
               bool dec = false, bool hex = false) {
    SettingsRecord r;
    r.setAutoLog(on);
    r.setAutoLogPath(path);
    r.setAutoLogIntervalSec(intervalSec);
    r.setAutoLogDec(dec);
    r.setAutoLogHex(hex);
    r.setDateTimeTemplate("%Y");
    core.logSettingsChanged(r);
}

// Stores a packet in the next slot as capture does, under listBusy.
void Store(PacketModeCore& core, const std::vector<uint8_t>& d, const std::string& timeText) {
    std::unique_lock list = core.state().lockListForWorker();
    const int32_t slot = core.store().count();
    core.store().put(slot, PacketRecord::create(d), int32_t(d.size()));
    core.store().setTimeText(slot, timeText);
    core.store().advanceCount();
}

struct AutoLog : ::testing::Test {
    test::PacketModeEdges edges;
    HeldPrompt prompt;
    test::TempDir dir;
    PacketModeCore core{{edges.sources, edges.view, edges.statusView, edges.sound,
                         edges.localTime, prompt}};
    std::string log = dir.file("log.txt");
    std::vector<std::vector<uint8_t>> datagrams;  // every packet ever stored, by number

    ~AutoLog() override { core.shutdown(); }

    void configure(bool on, const std::string& path, int32_t intervalSec, bool dec = false,
                   bool hex = false) {
        Configure(core, on, path, intervalSec, dec, hex);
    }
    // Stores `n` packets; packet number k has time text "p<k>" and k payload bytes.
    void add(int n) {
        for (int i = 0; i < n; ++i) {
            const size_t k = datagrams.size();
            datagrams.push_back(test::BuildDatagram({.protocol = 6, .payload = std::string(k, 'x')}));
            Store(core, datagrams.back(), "p" + std::to_string(k));
        }
    }
    std::string entries(size_t from, size_t to, PacketRendering r = PacketRendering::None) {
        std::string out;
        for (size_t k = from; k < to; ++k)
            AppendPacketEntry(out, PacketView(PacketRecord::create(datagrams[k]).block(),
                                              uint32_t(datagrams[k].size())),
                              "p" + std::to_string(k), r);
        return out;
    }
    std::string logged() const { return test::ReadFileBytes(log); }
    bool logReaches(const std::string& expected) {
        return WaitUntil([&] { return logged() == expected; }, 10s);
    }
};

TEST_F(AutoLog, EachIntervalAppendsOnlyTheNewSlots) {
    // Dec wins over Hex.
    configure(true, log, 1, true, true);
    core.startMonitors();
    add(2);
    ASSERT_TRUE(logReaches(entries(0, 2, PacketRendering::Dec)));
    add(3);
    ASSERT_TRUE(logReaches(entries(0, 5, PacketRendering::Dec)));
    std::this_thread::sleep_for(1200ms);  // a further interval with nothing new adds nothing
    EXPECT_EQ(logged(), entries(0, 5, PacketRendering::Dec));
    EXPECT_TRUE(prompt.asked().empty());
}

TEST_F(AutoLog, ClearStartsAgainFromSlotZeroInTheSameFile) {
    configure(true, log, 0);
    core.startMonitors();
    add(3);
    ASSERT_TRUE(logReaches(entries(0, 3)));
    core.engine().clear();
    ASSERT_TRUE(WaitUntil([&] { return core.state().clearDone.load(); }));
    add(2);  // slots 0 and 1 again, packets 3 and 4
    ASSERT_TRUE(logReaches(entries(0, 5)));
}

TEST_F(AutoLog, TurnedOffAndOnAgainAppendsOnlyWhatWasNotLogged) {
    configure(true, log, 0);
    core.startMonitors();
    add(2);
    ASSERT_TRUE(logReaches(entries(0, 2)));
    configure(false, log, 0);
    add(2);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(logged(), entries(0, 2));
    configure(true, log, 0);
    add(1);
    ASSERT_TRUE(logReaches(entries(0, 5)));
}

TEST_F(AutoLog, PathThatCannotBeOpenedIsSkippedSilentlyUntilItCan) {
    const std::filesystem::path missing = dir.path() / "later";
    log = (missing / "log.txt").string();
    configure(true, log, 0);
    core.startMonitors();
    add(2);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(std::filesystem::exists(log));
    std::filesystem::create_directory(missing);
    add(1);
    ASSERT_TRUE(logReaches(entries(0, 3)));
    EXPECT_TRUE(prompt.asked().empty());
}

TEST_F(AutoLog, FullDiskShowsOneMessageAtATime) {
    prompt.hold(true);
    configure(true, "/dev/full", 0);
    core.startMonitors();
    add(1);
    ASSERT_TRUE(WaitUntil([&] { return prompt.asked().size() == 1; }));
    for (int pass = 0; pass < 3; ++pass) {  // further failures while it is on screen
        add(1);
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].caption, kWriteErrorCaption);
    EXPECT_EQ(prompt.asked()[0].text,
              "2024\r\n\r\nError while writing file with path:\r\n  /dev/full\r\n"
              "Windows reports that the disk is full.");
    prompt.hold(false);
    ASSERT_TRUE(WaitUntil([&] { return !core.state().logErrorShowing.load(); }));
    add(1);  // the next failure after it closed shows again
    ASSERT_TRUE(WaitUntil([&] { return prompt.asked().size() == 2; }));
}

TEST_F(AutoLog, IntervalEdgesAndCloseDuringALongWait) {
    const struct {
        int32_t intervalSec;
        bool logsAtOnce;
    } cases[] = {{0, true}, {-1, true}, {INT32_MIN, true}, {INT32_MAX, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.intervalSec);
        test::PacketModeEdges e;
        HeldPrompt p;
        PacketModeCore one({e.sources, e.view, e.statusView, e.sound, e.localTime, p});
        const std::string path = dir.file("log" + std::to_string(c.intervalSec) + ".txt");
        Configure(one, true, path, c.intervalSec);
        one.startMonitors();
        Store(one, test::BuildDatagram({}), "t");
        if (c.logsAtOnce) {
            EXPECT_TRUE(WaitUntil([&] { return !test::ReadFileBytes(path).empty(); }, 5s));
        } else {
            std::this_thread::sleep_for(300ms);
            EXPECT_FALSE(std::filesystem::exists(path));
        }
        const auto before = std::chrono::steady_clock::now();
        one.stopMonitors();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    }
}

}  // namespace
}  // namespace vorlanx
