// The soak's own parts: its memory rule, the bodies it serves and checks files against,
// and its HTTP server and clients over real loopback sockets.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "soak/memory_rule.h"
#include "soak/soak_http.h"

using namespace vorlanx::soak;

TEST(SoakMemoryRule, JudgesGrowthAfterWarmUpOnly) {
    struct Case {
        const char* what;
        std::vector<long> rss;
        bool judged;
        bool growing;
    };
    const Case cases[] = {
        {"too few cycles", {700, 700, 700, 700, 700, 700, 700}, false, false},
        {"flat with noise", {500, 650, 700, 720, 690, 710, 705, 698, 715}, true, false},
        {"growth during warm-up only", {300, 600, 700, 700, 700, 700, 700, 700}, true, false},
        {"one late spike", {700, 700, 700, 700, 700, 700, 700, 700, 990}, true, false},
        {"late step of 9%", {700, 700, 700, 700, 700, 763, 763, 763}, true, false},
        {"late step of 12%", {700, 700, 700, 700, 700, 784, 784, 784}, true, true},
        {"steady growth", {700, 700, 700, 730, 760, 790, 820, 850, 880}, true, true},
    };
    for (const Case& c : cases) {
        const GrowthJudgement j = JudgeGrowth(c.rss);
        EXPECT_EQ(j.judged, c.judged) << c.what;
        EXPECT_EQ(j.growing, c.growing) << c.what;
    }
}

TEST(SoakBodies, NameThemselvesAndDifferByIdAndSize) {
    for (const auto& [id, size] : std::vector<std::pair<uint64_t, size_t>>{
             {1, 64}, {2, 65}, {123456789, 3 * 1024 * 1024}, {7, 1}}) {
        const std::string body = SoakBody(id, size);
        EXPECT_EQ(body.size(), std::max(size, kMinBodyBytes));
        const auto name = ReadBodyName(body);
        ASSERT_TRUE(name);
        EXPECT_EQ(name->id, id);
        EXPECT_EQ(name->size, size);
    }
    EXPECT_NE(SoakBody(1, 5000).substr(100), SoakBody(2, 5000).substr(100));
    EXPECT_FALSE(ReadBodyName("GIF89a"));
    EXPECT_FALSE(ReadBodyName(""));
    // A body cut before its first line ends still shows it was one.
    const std::string first = SoakBody(42, 5000).substr(0, SoakBody(42, 5000).find('\n'));
    for (size_t length : {size_t{0}, size_t{5}, size_t{13}, first.size()})
        EXPECT_TRUE(IsCutFirstLine(first.substr(0, length))) << length;
    for (const char* other : {"GIF89a", "VORLANX-SOAK 42 5000\nxy", "VORLANX-SOAK x"})
        EXPECT_FALSE(IsCutFirstLine(other)) << other;
}

TEST(SoakHttp, ClientsFetchWholeBodiesWithLengthAndChunked) {
    SoakHttpServer server("127.0.0.1");
    ASSERT_TRUE(server.listening());
    SoakHttpClients clients("127.0.0.1", server.port(), 2);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (clients.served() + clients.failed() < 30 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    clients.stop();
    // Each fetch compares what arrived, chunks decoded, with the body of its id.
    EXPECT_GE(clients.served(), 30u);
    EXPECT_EQ(clients.failed(), 0u);
    EXPECT_GT(clients.chunked(), 0u);
    EXPECT_LT(clients.chunked(), clients.served());
    EXPECT_TRUE(clients.wasServed(1) || clients.wasServed(2));
    EXPECT_FALSE(clients.wasServed(1'000'000));
}
