// Loading capture files into the packet list: the rows the capture thread gives for the same
// recordings, the recorded times, damaged files, the limits, Cancel and the refusals.
#include "packetmode/capture_file_load.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "capture/pcap_file_source.h"
#include "support/file_contents.h"
#include "support/packet_mode_edges.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

std::string Recording(const std::string& name = "http_exchange_lo.pcap") {
    return VORLANX_TEST_DATA_DIR "/" + name;
}

// A core whose capture source replays `path`, for comparison with a capture.
struct Rig : test::PacketModeEdges {
    explicit Rig(const std::string& path = Recording(), int32_t listCapacity = PacketStore::kCapacity)
        : replay(path), core({replay, view, statusView, sound, localTime, prompt}, listCapacity) {}
    void load(const std::string& path) {
        ASSERT_TRUE(core.engine().openCaptureFile(path, settings));
        ASSERT_TRUE(core.engine().waitForThreads(60s));
        EXPECT_FALSE(core.state().loadingFile.load());
        EXPECT_FALSE(view.listHidden());
    }
    Texts row(int32_t r) {
        Texts cells;
        for (int c = 0; c < kPacketListColumnCount; ++c)
            cells.push_back(core.list().cellText(r, c));
        return cells;
    }

    SettingsRecord settings = SettingsRecord::defaults("/home/user/");
    PcapFileSourceFactory replay;
    PacketModeCore core;
};

struct SameRowsCase {
    const char* file;
    const char* mustContain;  // "" for no filtering
    const char* firstTime;    // the first row's record time, "%S.%MS"
};

class CaptureFileLoadSameRows : public ::testing::TestWithParam<SameRowsCase> {};

TEST_P(CaptureFileLoadSameRows, RowsOfTheCaptureWithTheRecordedTimes) {
    Rig captured(Recording(GetParam().file)), loaded(Recording(GetParam().file));
    for (Rig* rig : {&captured, &loaded}) {
        rig->settings.setMustContain1(GetParam().mustContain);
        rig->settings.setDateTimeTemplate("%S.%MS");
        rig->core.engine().refreshLiveCopies(rig->settings, *GetParam().mustContain != '\0');
    }
    captured.core.engine().start(captured.settings);
    ASSERT_TRUE(captured.core.engine().waitForThreads(60s));
    loaded.load(Recording(GetParam().file));

    const int32_t rows = captured.core.list().rowCount();
    ASSERT_GT(rows, 0);
    ASSERT_EQ(loaded.core.list().rowCount(), rows);
    // Seconds and milliseconds of the record: the same in every zone of whole minutes.
    EXPECT_EQ(loaded.core.list().cellText(0, 6), GetParam().firstTime);
    for (int32_t r = 0; r < rows; ++r) {
        Texts expected = captured.row(r), actual = loaded.row(r);
        EXPECT_EQ(expected[6], "09.042");  // the capture's fixed clock
        expected[6] = actual[6] = "";
        EXPECT_EQ(actual, expected) << "row " << r;
    }
    EXPECT_EQ(loaded.core.store().allocationBytes(), captured.core.store().allocationBytes());
    EXPECT_TRUE(loaded.prompt.asked().empty());
    // No capture: no sound due, no status.
    EXPECT_FALSE(loaded.core.state().newPacketPending.load());
    EXPECT_TRUE(loaded.view.statuses().empty());
    EXPECT_EQ(loaded.view.operationProgress().back(), 100);
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
    } cases[] = {
        {"UTC0", "2026.12.08 - 15:16:09.334"},
        {"IST-5:30", "2026.12.08 - 20:46:09.334"},
        {"XYZ-9", "2026.12.09 - 00:16:09.334"},
    };
    const char* before = std::getenv("TZ");
    const std::string saved = before ? before : "";
    for (const auto& c : cases) {
        setenv("TZ", c.zone, 1);
        tzset();
        Rig rig;
        rig.load(Recording());
        EXPECT_EQ(rig.core.store().timeText(0), c.first);
        EXPECT_EQ(rig.core.store().captureTime(0), 1796742969'334083);  // for saved files
    }
    before ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
    tzset();
}

TEST(CaptureFileLoad, UnreadableFilesAreReportedAndDamageKeepsWhatCameBefore) {
    test::TempDir dir;
    const std::string good = test::ReadFileBytes(Recording());
    const struct {
        const char* name;
        std::string bytes;  // no file when empty
        int32_t rowsAdded;
        const char* reasonStart;
        const char* end;
    } cases[] = {
        // Seven records and 100 bytes of the eighth.
        {"cut.pcap", good.substr(0, 1008), 7, "Reading the capture file \"",
         "\r\n\r\nPackets listed from the file before it: 7."},
        {"short.pcap", good.substr(0, 10), 0, "\"", ")."},
        {"text.pcap", "GET / HTTP/1.1\r\n\r\n", 0, "\"", ")."},
        {"missing.pcap", "", 0, "Cannot open the capture file \"", ": No such file or directory."},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file(c.name);
        if (!c.bytes.empty())
            std::ofstream(path, std::ios::binary) << c.bytes;
        Rig rig;
        rig.load(Recording());  // the rows held before stay
        rig.load(path);
        EXPECT_EQ(rig.core.list().rowCount(), 12 + c.rowsAdded) << c.name;
        const auto asked = rig.prompt.asked();
        ASSERT_EQ(asked.size(), 1u) << c.name;
        EXPECT_EQ(asked[0].caption, "Open capture file");
        EXPECT_TRUE(asked[0].text.starts_with(c.reasonStart + path + "\"")) << asked[0].text;
        EXPECT_TRUE(asked[0].text.ends_with(c.end)) << asked[0].text;
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
        Rig rig(Recording(), c.listCapacity);
        for (int32_t i = 0; i < c.slotsUsed; ++i)
            rig.core.store().advanceCount();
        rig.load(Recording());
        EXPECT_EQ(rig.core.list().rowCount(), c.rowsAdded) << c.status;
        EXPECT_EQ(rig.core.store().count(), c.slotsUsed + c.rowsAdded);
        EXPECT_EQ(rig.view.lastStatus(), c.status);
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
    rig.load(Recording());
    ASSERT_GT(rowsAtCancel, 0);
    EXPECT_LT(rowsAtCancel, 12);
    EXPECT_EQ(rig.core.list().rowCount(), rowsAtCancel);
    EXPECT_TRUE(rig.prompt.asked().empty());
    EXPECT_EQ(rig.view.events().back(), "hideOperationProgress");
}

TEST(CaptureFileLoad, NoStartWhileLoadingAndNoLoadWhileCapturing) {
    Rig rig;
    {
        // The load waits for the list at its first datagram, so it still runs below.
        auto busy = rig.core.state().lockListForWorker();
        ASSERT_TRUE(rig.core.engine().openCaptureFile(Recording(), rig.settings));
        EXPECT_FALSE(rig.core.engine().openCaptureFile(Recording(), rig.settings));
        rig.core.engine().start(rig.settings);
    }
    ASSERT_TRUE(rig.core.engine().waitForThreads(60s));
    EXPECT_EQ(rig.core.list().rowCount(), 12);
    EXPECT_EQ(rig.core.engine().captureThreadsStarted(), 0);

    rig.core.state().capturing = true;  // as while a capture runs
    EXPECT_FALSE(rig.core.engine().captureFileOpenable());
    EXPECT_FALSE(rig.core.engine().openCaptureFile(Recording(), rig.settings));
}

}  // namespace
}  // namespace vorlanx
