// Saving the stored packets to real files: the report's bytes, listed-only, Cancel, write
// and create failures, saves side by side, and capture files read back by libpcap and by
// the program's own capture-file source.
#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <regex>
#include <thread>

#include "capture/pcap_file_source.h"
#include "packetmode/packet_report.h"
#include "packetmode/report_save.h"
#include "support/file_contents.h"
#include "support/recording_packet_mode_view.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"
#include "support/test_datagram.h"

namespace vorlanx {
namespace {

struct Saving {
    test::TempDir dir;
    PacketModeState state;
    PacketStore store;
    PacketList list{store};
    test::RecordingPacketModeView view;
    test::ScriptedPrompt prompt;
    FixedLocalTimeSource time{LocalTime{2026, 12, 8, 21, 0, 0, 5}};
    std::vector<std::vector<uint8_t>> datagrams;

    // Stores and lists `n` datagrams of growing size; slot i has time text "t<i>" and was
    // captured at i seconds and i microseconds.
    explicit Saving(int n) {
        for (int i = 0; i < n; ++i)
            add(test::BuildDatagram({.protocol = 17, .payload = std::string(size_t(i), 'p')}));
    }
    void add(std::vector<uint8_t> d, std::optional<int64_t> captureTime = std::nullopt) {
        const int32_t slot = store.count();
        store.put(slot, PacketRecord::create(d), static_cast<int32_t>(d.size()));
        store.setTimeText(slot, "t" + std::to_string(slot));
        store.setCaptureTime(slot, captureTime.value_or(int64_t{slot} * 1000001));
        store.setListed(slot, true);
        store.advanceCount();
        list.append(slot, nullptr);
        datagrams.push_back(std::move(d));
    }
    SaveResult save(const std::string& name, SaveFormat format, SavingOptions options = {}) {
        return RunSave({dir.file(name), format, options, "%Y"},
                       {state, store, list, view, prompt, time});
    }
    std::string report(const std::string& name) { return test::ReadFileBytes(dir.file(name)); }
    std::string entries(const std::vector<int32_t>& slots,
                        PacketRendering r = PacketRendering::None) {
        std::string out;
        for (int32_t slot : slots)
            AppendPacketEntry(out, PacketView(PacketRecord::create(datagrams[size_t(slot)]).block(),
                                              uint32_t(datagrams[size_t(slot)].size())),
                              "t" + std::to_string(slot), r);
        return out;
    }
};

// Slots 0 to n-1.
std::vector<int32_t> Slots(int32_t n) {
    std::vector<int32_t> slots(size_t(n), 0);
    std::iota(slots.begin(), slots.end(), 0);
    return slots;
}

// The report with its milliseconds put to 0.
std::string Timeless(const std::string& report) {
    return std::regex_replace(report, std::regex(" listed in [0-9]+ milliseconds\\.$"),
                              " listed in 0 milliseconds.");
}

TEST(ReportSave, ReportBytes) {
    const struct {
        int packets;
        bool deleteRow1;
        SavingOptions options;
        std::vector<int32_t> saved;
        PacketRendering rendering;
    } cases[] = {
        {0, false, {}, {}, PacketRendering::None},
        {1, false, {}, {0}, PacketRendering::None},
        {3, true, {}, {0, 2}, PacketRendering::None},
        {3,
         true,
         {.withData = true, .hex = true, .listedOnly = false},
         {0, 1, 2},
         PacketRendering::Hex},
        // Entries rendered into the file's buffer across several writes to the file.
        {600, false, {.withData = true, .dec = true}, Slots(600), PacketRendering::Dec},
    };
    for (const auto& c : cases) {
        Saving s(c.packets);
        if (c.deleteRow1) {
            s.list.deleteRow(1);
            s.store.setListed(1, false);
        }
        const SaveResult result = s.save("r.txt", SaveFormat::Report, c.options);
        EXPECT_TRUE(result.created);
        EXPECT_EQ(result.error, 0);
        EXPECT_EQ(result.saved, int64_t(c.saved.size()));
        EXPECT_EQ(Timeless(s.report("r.txt")), ReportHeader() + s.entries(c.saved, c.rendering) +
                                                   ReportTrailer(int64_t(c.saved.size()), 0));
        EXPECT_TRUE(s.prompt.asked().empty());
        EXPECT_EQ(s.state.activeSaves.load(), 0);
    }
}

TEST(ReportSave, CancelAndFailures) {
    {  // Cancel: the entries so far, then the trailer with their number.
        Saving s(50);
        s.view.onOperationProgress = [&](int32_t) { s.state.saveCancelRequested = true; };
        const SaveResult result = s.save("c.txt", SaveFormat::Report);
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(result.saved, 1);
        EXPECT_EQ(Timeless(s.report("c.txt")), ReportHeader() + s.entries({0}) + ReportTrailer(1, 0));
        // A capture file cancelled the same way is a valid capture of what was written.
        EXPECT_EQ(s.save("c.pcap", SaveFormat::Capture).saved, 1);
        auto source = PcapFileSource::openFile(s.dir.file("c.pcap"));
        const auto first = source->receive();
        ASSERT_TRUE(first);
        EXPECT_EQ(std::vector<uint8_t>(first->begin(), first->end()), s.datagrams[0]);
        EXPECT_FALSE(source->receive());
        EXPECT_FALSE(source->failed()) << source->errorText();
    }
    // A full disk: the disk-full message. A few packets fail at the close; many fail at
    // the write that finds the disk full, and the save stops there.
    const struct {
        SaveFormat format;
        int packets;
    } full[] = {{SaveFormat::Report, 3},
                {SaveFormat::Capture, 3},
                {SaveFormat::Report, 6000},
                {SaveFormat::Capture, 6000}};
    for (const auto& c : full) {
        Saving s(c.packets);
        const SaveResult result = RunSave({"/dev/full", c.format, {}, "%Y"},
                                          {s.state, s.store, s.list, s.view, s.prompt, s.time});
        EXPECT_EQ(result.error, ENOSPC);
        if (c.packets > 1000) {
            EXPECT_LT(result.saved, c.packets);
        }
        ASSERT_EQ(s.prompt.asked().size(), 1u);
        EXPECT_EQ(s.prompt.asked()[0].caption, kWriteErrorCaption);
        EXPECT_EQ(s.prompt.asked()[0].text,
                  "2026\r\n\r\nError while writing file with path:\r\n  /dev/full\r\n"
                  "Windows reports that the disk is full.");
        EXPECT_EQ(s.state.activeSaves.load(), 0);
    }
    for (SaveFormat format : {SaveFormat::Report, SaveFormat::Capture}) {
        Saving s(1);  // a file that cannot be created
        EXPECT_FALSE(s.save("no/such/dir/x", format).created);
        ASSERT_EQ(s.prompt.texts(), std::vector<std::string>{kUnableToSaveText});
        EXPECT_EQ(s.prompt.asked()[0].icon, PromptIcon::Error);
    }
}

TEST(ReportSave, TwoSavesAtOnce) {
    Saving s(2000);
    std::thread other([&] { s.save("a.txt", SaveFormat::Report); });
    s.save("b.txt", SaveFormat::Report);
    other.join();
    EXPECT_EQ(Timeless(s.report("a.txt")), Timeless(s.report("b.txt")));
    EXPECT_EQ(s.state.activeSaves.load(), 0);
}

TEST(ReportSave, CaptureFileReplaysTheSameDatagrams) {
    Saving s(0);
    for (size_t size : {20u, 70u, 65535u}) {
        auto d = test::BuildDatagram({.protocol = 17, .payload = std::string(size > 28 ? size - 28 : 0, 'x')});
        d.resize(size);  // 20 bytes: the IP header alone
        s.add(d);
    }
    s.list.deleteRow(1);
    s.store.setListed(1, false);
    for (bool listedOnly : {false, true}) {
        const SaveResult result = s.save("c.pcap", SaveFormat::Capture, {.listedOnly = listedOnly});
        EXPECT_EQ(result.error, 0);
        auto source = PcapFileSource::openFile(s.dir.file("c.pcap"));
        std::vector<size_t> expected = listedOnly ? std::vector<size_t>{0, 2} : std::vector<size_t>{0, 1, 2};
        for (size_t slot : expected) {
            const auto datagram = source->receive();
            ASSERT_TRUE(datagram) << source->errorText();
            EXPECT_EQ(std::vector<uint8_t>(datagram->begin(), datagram->end()), s.datagrams[slot]);
            EXPECT_EQ(source->lastRecordTime().count(), int64_t(slot) * 1000001);
        }
        EXPECT_FALSE(source->receive());
        EXPECT_FALSE(source->failed()) << source->errorText();
    }
}

// A recorded exchange (Ethernet link type) stored with its capture times, saved as a
// capture file (raw IPv4) and read back: the same datagrams, times and order.
TEST(ReportSave, RecordingSavedAsCaptureFileReadsBackTheSame) {
    Saving s(0);
    std::vector<int64_t> times;
    auto recording = PcapFileSource::openFile(VORLANX_TEST_DATA_DIR "/http_exchange_lo.pcap");
    while (const auto d = recording->receive()) {
        times.push_back(recording->lastRecordTime().count());
        s.add({d->begin(), d->end()}, times.back());
    }
    ASSERT_EQ(s.datagrams.size(), 12u) << recording->errorText();
    EXPECT_EQ(s.save("again.pcap", SaveFormat::Capture).saved, 12);
    auto saved = PcapFileSource::openFile(s.dir.file("again.pcap"));
    for (size_t i = 0; i < s.datagrams.size(); ++i) {
        const auto d = saved->receive();
        ASSERT_TRUE(d) << saved->errorText();
        EXPECT_EQ(std::vector<uint8_t>(d->begin(), d->end()), s.datagrams[i]) << i;
        EXPECT_EQ(saved->lastRecordTime().count(), times[i]) << i;
    }
    EXPECT_FALSE(saved->receive());
    EXPECT_FALSE(saved->failed()) << saved->errorText();
}

}  // namespace
}  // namespace vorlanx
