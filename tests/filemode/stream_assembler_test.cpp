#include "filemode/stream_assembler_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "filemode/stream_test_support.h"
#include "support/scripted_prompt.h"

namespace vorlanx {
namespace {

using test::Bytes;
using test::Cut;
using test::Segment;

constexpr uint16_t kServerPort = 31113;  // the server of http_exchange_lo.pcap

struct Rebuilt {
    std::string bytes;
    StreamOrigin origin;
    bool terminated = false;  // the byte after the stream was 0
};

class AssemblerTest : public ::testing::Test {
  protected:
    AssemblerTest()
        : assembler(state, table, counters, prompt, nullptr,
                    [this](std::span<const uint8_t> stream, const StreamOrigin& origin) {
                        Rebuilt r;
                        r.bytes.assign(stream.begin(), stream.end());
                        r.origin = origin;
                        r.terminated = stream.data()[stream.size()] == 0;
                        memoryDuringHandler = counters.trackedMemory.load();
                        rebuilt.push_back(r);
                    }) {
        state.currentAckTimeout = 500;
        table.beginCapture(false);
    }

    void fileAll(const std::vector<Segment>& segments, int32_t now = 1000) {
        for (const Segment& s : segments) {
            uint32_t key = test::KeyOf(s.datagram);
            ASSERT_NE(table.fileSegment(s.datagram, key, now, counters).result,
                      FileResult::AllocationFailed);
        }
    }
    // One pass long after every segment went quiet.
    uint32_t passLater() {
        state.streamClock = 100000;
        return assembler.runPass();
    }

    FileModeState state;
    StreamTable table;
    FileModeCounters counters;
    test::ScriptedPrompt prompt;
    std::vector<Rebuilt> rebuilt;
    int32_t memoryDuringHandler = 0;
    StreamAssemblerThread assembler;
};

// The response of the recorded exchange and one of its segments as the model for headers.
struct Recording {
    std::string response;
    Segment model;
};

const Recording& LoopbackRecording() {
    static const Recording r = [] {
        const auto datagrams = test::ReadCapture(test::DataPath("http_exchange_lo.pcap"));
        const auto segments = test::DataSegmentsFrom(datagrams, kServerPort);
        Recording rec;
        rec.response = test::Concatenate(segments);
        rec.model = segments.at(0);
        return rec;
    }();
    return r;
}

// Filing orders of the recorded response, cut into pieces, and what the rebuilt stream
// must hold. Indexes refer to the pieces in sequence order.
struct OrderCase {
    const char* name;
    size_t piece;
    uint32_t firstSequence;  // 0: the recording's own
    std::function<std::vector<size_t>(size_t count)> filing;
    std::function<std::string(const std::string& response, size_t piece)> expected;
};

std::vector<size_t> InOrder(size_t n) {
    std::vector<size_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = i;
    return v;
}
std::vector<size_t> Reversed(size_t n) {
    auto v = InOrder(n);
    std::reverse(v.begin(), v.end());
    return v;
}
// Exactly these pieces, in this order.
std::function<std::vector<size_t>(size_t)> Filed(std::vector<size_t> order) {
    return [order](size_t) { return order; };
}
// Every piece but `missing`, in order.
std::function<std::vector<size_t>(size_t)> Without(size_t missing) {
    return [missing](size_t n) {
        auto v = InOrder(n);
        v.erase(v.begin() + static_cast<std::ptrdiff_t>(missing));
        return v;
    };
}

std::string Whole(const std::string& r, size_t) {
    return r;
}
// The first `pieces` pieces: a gap ends the stream.
std::function<std::string(const std::string&, size_t)> UpTo(size_t pieces) {
    return [pieces](const std::string& r, size_t p) { return r.substr(0, pieces * p); };
}

const OrderCase kOrderCases[] = {
    {"in order", 1000, 0, InOrder, Whole},
    {"three pieces filed 3, 1, 2", 4300, 0, Filed({2, 0, 1}), Whole},
    {"all reversed", 700, 0, Reversed, Whole},
    {"retransmission of the fifth piece", 1000, 0,
     [](size_t n) {
         auto v = InOrder(n);
         v.insert(v.begin() + 7, 4);
         v.push_back(4);
         return v;
     },
     Whole},
    {"every piece twice", 1500, 0,
     [](size_t n) {
         std::vector<size_t> v;
         for (size_t i = 0; i < n; ++i)
             v.insert(v.end(), {i, i});
         return v;
     },
     Whole},
    {"pieces 1, 2 and 4 of 4: the gap ends the stream", 3200, 0, Filed({0, 1, 3}), UpTo(2)},
    {"gap after the fourth piece of many", 1000, 0, Without(4), UpTo(4)},
    {"first piece missing: the stream starts at the lowest present", 1000, 0, Without(0),
     [](const std::string& r, size_t p) { return r.substr(p); }},
    // Sequence numbers that wrap past 4,294,967,295 inside the stream.
    {"wrap inside the third piece", 1000, 0xFFFFFFFFu - 2499u, InOrder, Whole},
    {"wrap exactly between pieces", 1000, 0u - 3000u, InOrder, Whole},
    {"wrap, filed from the end", 1000, 0u - 6000u, Reversed, Whole},
    {"wrap, the part after the wrap filed first", 1000, 0u - 2000u,
     [](size_t n) {
         auto v = InOrder(n);
         std::rotate(v.begin(), v.begin() + 5, v.end());
         return v;
     },
     Whole},
    {"wrap with a gap before the wrap", 1000, 0u - 5000u, Without(2), UpTo(2)},
    {"last byte before the wrap", 1000, 0xFFFFFFFFu, InOrder, Whole},
};

TEST_F(AssemblerTest, RebuildsTheRecordedResponseFromReshapedSegments) {
    const Recording& rec = LoopbackRecording();
    for (const OrderCase& c : kOrderCases) {
        SCOPED_TRACE(c.name);
        rebuilt.clear();
        table.beginCapture(false);
        const uint32_t first = c.firstSequence != 0 ? c.firstSequence : rec.model.sequence();
        const auto pieces = Cut(rec.model, rec.response, first, c.piece);
        std::vector<Segment> filed;
        uint64_t filedBytes = 0;
        size_t lowest = pieces.size();
        uint64_t highestEnd = 0;  // from the first piece
        for (size_t i : c.filing(pieces.size())) {
            filed.push_back(pieces.at(i));
            filedBytes += filed.back().payload().size();
            lowest = std::min(lowest, i);
            highestEnd = std::max<uint64_t>(highestEnd, i * c.piece + filed.back().payload().size());
        }
        const uint64_t offChainBefore = state.segmentsOffChain.load();
        const uint64_t offChainBytesBefore = state.bytesOffChain.load();
        fileAll(filed);
        ASSERT_EQ(passLater(), 1u);
        ASSERT_EQ(rebuilt.size(), 1u);
        const std::string expected = c.expected(rec.response, c.piece);
        EXPECT_EQ(rebuilt[0].bytes.size(), expected.size());
        EXPECT_TRUE(rebuilt[0].bytes == expected);
        EXPECT_TRUE(rebuilt[0].terminated);
        // A gap: filed bytes lie past the rebuilt stream's end.
        EXPECT_EQ(rebuilt[0].origin.sequenceGap, highestEnd - lowest * c.piece > expected.size());
        EXPECT_EQ(counters.trackedMemory.load(), 0);
        // Every filed segment the body does not cover is counted as left off the chain:
        // the body holds whole pieces, one copy of each.
        const size_t joined = (expected.size() + c.piece - 1) / c.piece;
        EXPECT_EQ(state.segmentsOffChain.load() - offChainBefore, filed.size() - joined);
        EXPECT_EQ(state.bytesOffChain.load() - offChainBytesBefore, filedBytes - expected.size());
    }
}

// Segment records over `datagrams`, linked in the given (filing) order.
std::vector<StreamSegment> Linked(std::vector<Bytes>& datagrams) {
    std::vector<StreamSegment> s(datagrams.size());
    for (size_t i = 0; i < datagrams.size(); ++i) {
        s[i].length = static_cast<uint16_t>(datagrams[i].size());
        s[i].data = datagrams[i].data();
        s[i].next = i + 1 < datagrams.size() ? &s[i + 1] : nullptr;
    }
    return s;
}

TEST(ChainSegmentsTest, RetransmissionWithOtherBytesIsNotUsedTwice) {
    // The first segment filed with a sequence number wins; a later copy of the same
    // numbers with other bytes is skipped.
    std::vector<Bytes> d = {test::TcpSegment(100, 7, "AAAA"), test::TcpSegment(104, 7, "BBBB"),
                            test::TcpSegment(104, 7, "bbbb"), test::TcpSegment(108, 7, "CC")};
    std::vector<StreamSegment> s = Linked(d);
    const StreamChain chain = ChainSegments(&s[0]);
    EXPECT_EQ(chain.length, 10u);
    EXPECT_EQ(chain.segments, (std::vector<const StreamSegment*>{&s[0], &s[1], &s[3]}));
}

TEST(ChainSegmentsTest, LowestSequenceAmongEqualsIsTheFirstFiled) {
    std::vector<Bytes> d = {test::TcpSegment(50, 7, "later"), test::TcpSegment(10, 7, "first"),
                            test::TcpSegment(10, 7, "again"), test::TcpSegment(15, 7, "-tail")};
    std::vector<StreamSegment> s = Linked(d);
    EXPECT_EQ(ChainSegments(&s[0]).segments, (std::vector<const StreamSegment*>{&s[1], &s[3]}));
}

TEST_F(AssemblerTest, MergedResponsesOnOneKeyRebuildOneOfThem) {
    // Two responses that acknowledge the same number share a slot; the chain starts at
    // the lower sequence number and stops where that response ends.
    const uint32_t ack = 0x01020304;
    fileAll({Segment{test::TcpSegment(5000, ack, "second response")},
             Segment{test::TcpSegment(2000, ack, "first ")},
             Segment{test::TcpSegment(2006, ack, "response")}});
    passLater();
    ASSERT_EQ(rebuilt.size(), 1u);
    EXPECT_EQ(rebuilt[0].bytes, "first response");
}

TEST_F(AssemblerTest, TheFileIsNamedAfterTheFirstFiledSegment) {
    const uint32_t ack = 77;
    fileAll({Segment{test::TcpSegment(20, ack, "world", {192, 168, 1, 9}, {10, 1, 2, 3})},
             Segment{test::TcpSegment(15, ack, "hello", {10, 0, 0, 1}, {10, 0, 0, 2})}});
    passLater();
    ASSERT_EQ(rebuilt.size(), 1u);
    EXPECT_EQ(rebuilt[0].bytes, "helloworld");
    EXPECT_EQ(rebuilt[0].origin.source, (std::array<uint8_t, 4>{192, 168, 1, 9}));
    EXPECT_EQ(rebuilt[0].origin.destination, (std::array<uint8_t, 4>{10, 1, 2, 3}));
}

TEST_F(AssemblerTest, SlotIsTakenOnlyAfterMoreThanTheTimeOut) {
    state.currentAckTimeout = 500;
    fileAll({Segment{test::TcpSegment(1, 9, "abc")}}, 1000);
    struct Step {
        int32_t now;
        bool taken;
    };
    for (const Step& s :
         {Step{1000, false}, Step{1480, false}, Step{1500, false}, Step{1520, true}}) {
        state.streamClock = s.now;
        EXPECT_EQ(assembler.runPass(), s.taken ? 1u : 0u) << s.now;
        EXPECT_EQ(counters.filesPending.load(), 1u) << "a taken slot counts in its pass";
    }
    assembler.runPass();
    EXPECT_EQ(counters.filesPending.load(), 0u);
    EXPECT_EQ(table.head(0), nullptr);
    EXPECT_EQ(table.nextFreeSlot(), 0u);
}

TEST_F(AssemblerTest, TimeOutHoldsAcrossTheClockWrap) {
    state.currentAckTimeout = 200;
    fileAll({Segment{test::TcpSegment(1, 9, "abc")}}, 2147483600);
    state.streamClock = 2147483640;
    EXPECT_EQ(assembler.runPass(), 0u);
    state.streamClock = static_cast<int32_t>(0x80000000u + 300u);  // 348 ms later
    EXPECT_EQ(assembler.runPass(), 1u);
}

TEST_F(AssemblerTest, CountersFollowTakenSlotsAndRebuiltBytes) {
    fileAll({Segment{test::TcpSegment(1, 11, "12345")}, Segment{test::TcpSegment(1, 12, "1234567")},
             Segment{test::TcpSegment(6, 11, "678")}},
            1000);
    fileAll({Segment{test::TcpSegment(1, 13, "later")}}, 1600);
    counters.filesProcessedAll = 40;
    counters.bytesProcessedAll = 4000;
    state.streamClock = 1600;
    EXPECT_EQ(assembler.runPass(), 2u);
    EXPECT_EQ(counters.filesProcessedRun.load(), 2u);
    EXPECT_EQ(counters.filesProcessedAll.load(), 42u);
    EXPECT_EQ(counters.bytesProcessedRun.load(), 9u + 8u);  // length + 1 each
    EXPECT_EQ(counters.bytesProcessedAll.load(), 4017u);
    EXPECT_EQ(counters.filesPending.load(), 3u);
    // While the handler ran, the rebuilt buffer was held on top of the last stream's
    // segments and of the slot still pending.
    EXPECT_EQ(memoryDuringHandler, (12 + 47) + (12 + 45) + 8);
    EXPECT_EQ(counters.trackedMemory.load(), 12 + 45);
}

TEST_F(AssemblerTest, RebuildBufferFailureIsReportedAndTheSlotFreed) {
    assembler.setBufferAllocationFault([](uint64_t bytes) { return bytes == 11; });
    fileAll(
        {Segment{test::TcpSegment(1, 21, "0123456789")}, Segment{test::TcpSegment(1, 22, "ok")}});
    EXPECT_EQ(passLater(), 2u);
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text,
              "Memory allocation error #0\r\nError allocating 10 bytes\r\nPossible cause: "
              "Not enuf memory available");
    EXPECT_EQ(prompt.asked()[0].caption, "");
    ASSERT_EQ(rebuilt.size(), 1u);
    EXPECT_EQ(rebuilt[0].bytes, "ok");
    EXPECT_EQ(counters.filesProcessedRun.load(), 2u);
    EXPECT_EQ(counters.bytesProcessedRun.load(), 3u);
    EXPECT_EQ(counters.trackedMemory.load(), 0);
    EXPECT_EQ(table.occupiedSlots(), 0u);
    // The stream that was not rebuilt is counted as left behind; the other is whole.
    EXPECT_EQ(state.segmentsOffChain.load(), 1u);
    EXPECT_EQ(state.bytesOffChain.load(), 10u);
}

// Memory running out while the chain is put together (its list or its search index) is
// reported like a failed rebuild buffer; the slot is freed and the pass goes on.
TEST_F(AssemblerTest, AllocationFailureInTheChainIsReportedAndTheSlotFreed) {
    struct Row {
        const char* name;
        std::vector<uint32_t> filing;  // sequence numbers of "aaaa", "bbbb", ... in filing order
        int failAt;                    // the allocation that fails, counted from 1
        bool lengthError;
    };
    const Row rows[] = {
        {"the first segment of the list", {1, 5, 9, 13}, 1, false},
        {"the third segment of the list", {1, 5, 9, 13}, 3, false},
        {"a list grown past its limit", {1, 5, 9, 13}, 2, true},
        {"the search index of segments filed out of order", {13, 9, 5, 1}, 2, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const size_t asked = prompt.asked().size();
        rebuilt.clear();
        table.beginCapture(false);  // the lost stream in slot 0, rebuilt first
        const uint64_t offChainBefore = state.segmentsOffChain.load();
        int calls = 0;
        assembler.setChainAllocationFault([&] {
            if (++calls != row.failAt)
                return;
            if (row.lengthError)
                throw std::length_error("vector");
            throw std::bad_alloc();
        });
        std::vector<Segment> lost;
        for (uint32_t sequence : row.filing) {
            const char letter = static_cast<char>('a' + (sequence - 1) / 4);
            lost.push_back(Segment{test::TcpSegment(sequence, 31, std::string(4, letter))});
        }
        fileAll(lost);
        fileAll({Segment{test::TcpSegment(1, 32, "ok")}});
        EXPECT_EQ(passLater(), 2u);
        ASSERT_EQ(prompt.asked().size(), asked + 1);
        EXPECT_EQ(prompt.texts().back(),
                  "Memory allocation error #0\r\nError allocating 16 bytes\r\nPossible cause: "
                  "Not enuf memory available");
        ASSERT_EQ(rebuilt.size(), 1u);
        EXPECT_EQ(rebuilt[0].bytes, "ok");
        EXPECT_EQ(table.occupiedSlots(), 0u);
        EXPECT_EQ(table.processingSlot(), NoSlot);
        EXPECT_EQ(counters.trackedMemory.load(), 0);
        EXPECT_EQ(state.segmentsOffChain.load() - offChainBefore, 4u);
    }
    // The freed slots take new streams and rebuild them.
    assembler.setChainAllocationFault({});
    rebuilt.clear();
    fileAll({Segment{test::TcpSegment(1, 31, "again")}});
    EXPECT_EQ(passLater(), 1u);
    ASSERT_EQ(rebuilt.size(), 1u);
    EXPECT_EQ(rebuilt[0].bytes, "again");
}

TEST(ActivityIndicatorTest, StepsThroughTheFourTexts) {
    struct Row {
        const char* from;
        const char* to;
    };
    for (const Row& r : {Row{"----", "/"}, Row{"-", "/"}, Row{"/", "|"}, Row{"|", "\\"},
                         Row{"\\", "----"}, Row{"X", "X"}}) {
        EXPECT_EQ(NextActivityText(r.from), r.to) << r.from;
    }
}

TEST_F(AssemblerTest, EachPassAdvancesTheIndicator) {
    std::vector<std::string> shown;
    for (int i = 0; i < 5; ++i) {
        assembler.runPass();
        shown.push_back(assembler.activityText());
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"/", "|", "\\", "----", "/"}));
}

TEST_F(AssemblerTest, RunWithoutACaptureReleasesEverythingAndEnds) {
    fileAll({Segment{test::TcpSegment(1, 31, "pending")}});
    counters.filesProcessedRun = 5;
    counters.filesWrittenRun = 3;
    counters.bytesWrittenRun = 300;
    counters.filesWrittenAll = 9;
    counters.filesPending = 4;
    state.captureRunning = false;
    assembler.run();
    EXPECT_TRUE(rebuilt.empty()) << "streams not yet quiet are discarded";
    EXPECT_EQ(counters.trackedMemory.load(), 0);
    EXPECT_EQ(counters.filesPending.load(), 0u);
    EXPECT_EQ(counters.filesProcessedRun.load(), 0u);
    EXPECT_EQ(counters.filesWrittenRun.load(), 0u);
    EXPECT_EQ(counters.bytesWrittenRun.load(), 0u);
    EXPECT_EQ(counters.filesWrittenAll.load(), 9u);
    EXPECT_FALSE(state.assemblerActive.load());
    EXPECT_EQ(assembler.activityText(), "----");
}

TEST_F(AssemblerTest, SecondAssemblerEndsAtOnce) {
    fileAll({Segment{test::TcpSegment(1, 41, "held")}});
    state.assemblerActive = true;
    counters.filesProcessedRun = 5;
    assembler.run();
    EXPECT_TRUE(state.assemblerActive.load());
    EXPECT_EQ(counters.filesProcessedRun.load(), 5u);
    EXPECT_EQ(table.occupiedSlots(), 1u);
}

}  // namespace
}  // namespace vorlanx
