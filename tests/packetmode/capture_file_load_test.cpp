// Loading capture files into the packet list: the recorded exchanges give the rows their
// replay through the capture thread gives, with the recorded times; damaged files keep
// what preceded the damage; the limits, Cancel and the refusals.
#include "packetmode/capture_file_load.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>

#include "capture/pcap_file_source.h"
#include "packetmode/packet_mode_core.h"
#include "support/file_contents.h"
#include "support/packet_mode_edges.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

std::string Recording(const char* name) {
    return std::string(VORLANX_TEST_DATA_DIR "/") + name;
}

// A core whose capture source replays `capturePath` (for comparison with a live capture).
struct Rig : test::PacketModeEdges {
    explicit Rig(const std::string& capturePath = Recording("http_exchange_lo.pcap"),
                 int32_t listCapacity = PacketStore::kCapacity)
        : replaySource(capturePath),
          core({replaySource, view, statusView, sound, localTime, prompt}, listCapacity) {
        settings.setInterfaceAddress("127.0.0.1");
    }
    // Loads `path` and waits for the load's end.
    void load(const std::string& path) {
        ASSERT_TRUE(core.engine().openCaptureFile(path, settings));
        ASSERT_TRUE(core.engine().waitForThreads(60s));
        EXPECT_FALSE(core.state().loadingFile.load());
    }
    // Replays the file through the capture thread until its end stops the capture.
    void capture() {
        core.engine().start(settings);
        ASSERT_TRUE(core.engine().waitForThreads(60s));
    }
    Texts row(int32_t r) {
        Texts cells;
        for (int c = 0; c < kPacketListColumnCount; ++c)
            cells.push_back(core.list().cellText(r, c));
        return cells;
    }
    Texts column(int c) {
        Texts cells;
        for (int32_t r = 0; r < core.list().rowCount(); ++r)
            cells.push_back(core.list().cellText(r, c));
        return cells;
    }

    SettingsRecord settings = SettingsRecord::defaults("/home/user/");
    PcapFileSourceFactory replaySource;
    PacketModeCore core;
};

// Sets the process's time zone for one test.
class TimeZone {
  public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (m_old)
            setenv("TZ", m_old->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::optional<std::string> m_old;
};

struct SameRowsCase {
    const char* file;
    const char* mustContain;  // "" for no filtering
    const char* firstTime;    // the first row's record time, "%S.%MS"
};

class CaptureFileLoadSameRows : public ::testing::TestWithParam<SameRowsCase> {};

TEST_P(CaptureFileLoadSameRows, LoadGivesTheRowsOfTheCaptureWithTheRecordedTimes) {
    const std::string path = Recording(GetParam().file);
    Rig captured(path), loaded(path);
    for (Rig* rig : {&captured, &loaded}) {
        rig->settings.setMustContain1(GetParam().mustContain);
        rig->settings.setDateTimeTemplate("%S.%MS");
        rig->core.engine().refreshLiveCopies(rig->settings, *GetParam().mustContain != '\0');
    }
    captured.capture();
    loaded.load(path);

    const int32_t rows = captured.core.list().rowCount();
    ASSERT_GT(rows, 0);
    ASSERT_EQ(loaded.core.list().rowCount(), rows);
    // Seconds and milliseconds of the record: the same in every time zone of whole minutes.
    EXPECT_EQ(loaded.core.list().cellText(0, 6), GetParam().firstTime);
    for (int32_t r = 0; r < rows; ++r) {
        Texts expected = captured.row(r), actual = loaded.row(r);
        EXPECT_EQ(expected[6], "09.042");  // the fixed clock of the capture
        expected[6] = actual[6] = "";
        EXPECT_EQ(actual, expected) << "row " << r;
        EXPECT_EQ(loaded.core.store().length(r), captured.core.store().length(r));
    }
    EXPECT_EQ(loaded.core.store().allocationBytes(), captured.core.store().allocationBytes());
    EXPECT_TRUE(loaded.prompt.asked().empty());
    // No capture ran: no sound is due and the title does not count.
    EXPECT_FALSE(loaded.core.state().newPacketPending.load());
    EXPECT_FALSE(loaded.core.state().capturing.load());
    EXPECT_TRUE(loaded.view.statuses().empty());
    EXPECT_FALSE(loaded.view.listHidden());
    EXPECT_EQ(loaded.view.operationProgress().back(), 100);
    EXPECT_EQ(loaded.view.operationProgressMaximum(), 100);
}

INSTANTIATE_TEST_SUITE_P(Recordings, CaptureFileLoadSameRows,
                         ::testing::Values(SameRowsCase{"http_exchange_lo.pcap", "", "09.334"},
                                           SameRowsCase{"http_exchange_any_sll.pcap", "", "16.543"},
                                           SameRowsCase{"http_exchange_any_sll2.pcap", "", "12.944"},
                                           SameRowsCase{"http_exchange_lo.pcap", "http/1.", "09.334"}),
                         [](const auto& instance) {
                             const std::string file = instance.param.file;
                             return file.substr(0, file.find('.')) +
                                    (*instance.param.mustContain ? "_filtered" : "");
                         });

TEST(CaptureFileLoad, DateTimeIsTheRecordTimeInLocalTime) {
    const struct {
        const char* zone;
        const char* first;
        const char* last;
    } cases[] = {
        {"UTC0", "2026.12.08 - 15:16:09.334", "2026.12.08 - 15:16:09.349"},
        {"IST-5:30", "2026.12.08 - 20:46:09.334", "2026.12.08 - 20:46:09.349"},
        {"XYZ-9", "2026.12.09 - 00:16:09.334", "2026.12.09 - 00:16:09.349"},
    };
    for (const auto& c : cases) {
        TimeZone zone(c.zone);
        Rig rig;
        rig.load(Recording("http_exchange_lo.pcap"));
        const Texts times = rig.column(6);
        ASSERT_EQ(times.size(), 12u);
        EXPECT_EQ(times.front(), c.first) << c.zone;
        EXPECT_EQ(times.back(), c.last) << c.zone;
        EXPECT_EQ(rig.core.store().timeText(0), c.first);
        // Saved capture files keep the record's own time.
        EXPECT_EQ(rig.core.store().captureTime(0), 1796742969'334083);
    }
}

TEST(CaptureFileLoad, UnreadableFilesAreReportedAndDamageKeepsWhatCameBefore) {
    test::TempDir dir;
    const std::string good = test::ReadFileBytes(Recording("http_exchange_lo.pcap"));
    // The file header, seven records, and 100 bytes of the eighth (the 12,416-byte body).
    const size_t eighthRecord = 24 + 2 * (16 + 74) + 3 * (16 + 66) + (16 + 155) + (16 + 255);
    const struct {
        const char* name;
        std::string bytes;  // nothing written when empty
        int32_t rowsAdded;
        const char* reasonStart;
        const char* suffix;
    } cases[] = {
        {"cut.pcap", good.substr(0, eighthRecord + 16 + 100), 7,
         "Reading the capture file \"", "\r\n\r\nPackets listed from the file before it: 7."},
        {"short.pcap", good.substr(0, 10), 0, "\"", ")."},
        {"text.pcap", "GET / HTTP/1.1\r\n\r\n", 0, "\"", ")."},
        {"missing.pcap", "", 0, "Cannot open the capture file \"", ": No such file or directory."},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file(c.name);
        if (!c.bytes.empty())
            std::ofstream(path, std::ios::binary) << c.bytes;
        Rig rig;
        rig.load(Recording("http_exchange_lo.pcap"));  // rows held before stay
        rig.load(path);
        EXPECT_EQ(rig.core.list().rowCount(), 12 + c.rowsAdded) << c.name;
        EXPECT_EQ(rig.core.store().count(), 12 + c.rowsAdded);
        const auto asked = rig.prompt.asked();
        ASSERT_EQ(asked.size(), 1u) << c.name;
        EXPECT_EQ(asked[0].caption, "Open capture file");
        EXPECT_EQ(asked[0].icon, PromptIcon::Error);
        EXPECT_TRUE(asked[0].text.starts_with(std::string(c.reasonStart) + path + "\""))
            << asked[0].text;
        EXPECT_TRUE(asked[0].text.ends_with(c.suffix)) << asked[0].text;
        EXPECT_FALSE(rig.view.listHidden());
    }
}

TEST(CaptureFileLoad, LimitsStopTheLoadWithTheCaptureStatus) {
    const struct {
        int32_t slotsUsed;
        int32_t listCapacity;
        int32_t rowsAdded;
        const char* status;
    } cases[] = {
        {PacketStore::kCapacity - 10, PacketStore::kCapacity, 10, "Stopped/Item Limit Reached"},
        {PacketStore::kCapacity, PacketStore::kCapacity, 0, "Stopped/Item Limit Reached"},
        {0, 5, 5, "Stopped/Max List Items"},
    };
    for (const auto& c : cases) {
        Rig rig(Recording("http_exchange_lo.pcap"), c.listCapacity);
        {
            auto lock = rig.core.state().lockListForWorker();
            for (int32_t i = 0; i < c.slotsUsed; ++i)
                rig.core.store().advanceCount();
        }
        rig.load(Recording("http_exchange_lo.pcap"));
        EXPECT_EQ(rig.core.list().rowCount(), c.rowsAdded) << c.status;
        EXPECT_EQ(rig.core.store().count(), c.slotsUsed + c.rowsAdded);
        EXPECT_EQ(rig.view.lastStatus(), c.status);
        EXPECT_FALSE(rig.view.listHidden());
        EXPECT_TRUE(rig.prompt.asked().empty());
    }
}

TEST(CaptureFileLoad, CancelKeepsWhatWasLoaded) {
    Rig rig;
    int32_t rowsAtCancel = -1;
    rig.view.onOperationProgress = [&](int32_t) {
        if (rowsAtCancel < 0) {
            rowsAtCancel = rig.core.list().rowCount();
            rig.core.state().loadCancelRequested = true;  // the Cancel button
        }
    };
    rig.load(Recording("http_exchange_lo.pcap"));
    ASSERT_GT(rowsAtCancel, 0);
    EXPECT_LT(rowsAtCancel, 12);
    EXPECT_EQ(rig.core.list().rowCount(), rowsAtCancel);
    EXPECT_EQ(rig.core.store().count(), rowsAtCancel);
    EXPECT_TRUE(rig.prompt.asked().empty());
    const Texts events = rig.view.events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(Texts(events.begin(), events.begin() + 2),
              (Texts{"showOperationProgress 100", "showLoadCancel"}));
    EXPECT_EQ(Texts(events.end() - 2, events.end()),
              (Texts{"hideLoadCancel", "hideOperationProgress"}));
}

TEST(CaptureFileLoad, LoadAndCaptureExcludeEachOther) {
    Rig rig;
    {
        // The load waits for the list at its first datagram, so it is still running below.
        auto busy = rig.core.state().lockListForWorker();
        ASSERT_TRUE(rig.core.engine().openCaptureFile(Recording("http_exchange_lo.pcap"),
                                                      rig.settings));
        EXPECT_FALSE(rig.core.engine().captureFileOpenable());
        EXPECT_FALSE(rig.core.engine().openCaptureFile(Recording("http_exchange_lo.pcap"),
                                                       rig.settings));
        rig.core.engine().start(rig.settings);  // refused while loading
    }
    ASSERT_TRUE(rig.core.engine().waitForThreads(60s));
    EXPECT_EQ(rig.core.list().rowCount(), 12);
    EXPECT_EQ(rig.core.engine().captureThreadsStarted(), 0);
    EXPECT_TRUE(rig.core.engine().captureFileOpenable());

    rig.capture();  // the replay source listens, then ends by itself
    rig.core.state().capturing = true;  // as while a capture runs
    EXPECT_FALSE(rig.core.engine().openCaptureFile(Recording("http_exchange_lo.pcap"),
                                                   rig.settings));
    rig.core.state().capturing = false;
    EXPECT_EQ(rig.core.list().rowCount(), 24);
}

}  // namespace
}  // namespace vorlanx
