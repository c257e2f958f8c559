// The update check against real servers on the loopback interface: the request's bytes,
// each kind of answer, answers in pieces, silence, a refused connection and a name that
// cannot resolve; and a real HTTP server serving (or not) the version file.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "setup/update_check.h"
#include "support/local_server.h"
#include "support/one_shot_server.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;

const std::string kExpectedRequest =
    "GET /BrindlecraftVORLANXv1.5.2.chk HTTP/1.1\r\nUser-Agent: Brindlecraft VORLANX "
    "1.5\r\nHost: 127.0.0.1\r\n\r\n";

TEST(UpdateCheck, AnswersFromAServer) {
    const std::string big = "HTTP/1.1 200 OK\r\n\r\n" + std::string(20000, 'x');
    const struct {
        std::vector<std::string> pieces;
        std::string answer;  // what the check keeps
        UpdateVerdict verdict;
    } cases[] = {
        {{"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"},
         "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
         UpdateVerdict::Latest},
        {{"HTTP/1.0 200 OK\r\n\r\n"}, "HTTP/1.0 200 OK\r\n\r\n", UpdateVerdict::Latest},
        {{"HTTP/1.1 404 Not Found\r\n\r\n"},
         "HTTP/1.1 404 Not Found\r\n\r\n",
         UpdateVerdict::NewerAvailable},
        {{"HTTP/1.1 301 Moved Permanently\r\n\r\n"},
         "HTTP/1.1 301 Moved Permanently\r\n\r\n",
         UpdateVerdict::NothingToSay},
        {{"HTTP/1.1 500 Oops\r\n\r\n"}, "HTTP/1.1 500 Oops\r\n\r\n", UpdateVerdict::NothingToSay},
        // The status line in two sends: the check reads on until the code is in.
        {{"HTTP/1.1 4", "04 Not Found\r\n\r\n"},
         "HTTP/1.1 404 Not Found\r\n\r\n",
         UpdateVerdict::NewerAvailable},
        // An answer that starts with "E" is an answer, not an error.
        {{"Error:   404 x"}, "Error:   404 x", UpdateVerdict::NewerAvailable},
        {{"HTTP/"}, "HTTP/", UpdateVerdict::NothingToSay},  // too short to hold a status
        {{}, "", UpdateVerdict::NothingToSay},              // closed without an answer
        {{big}, big.substr(0, kVersionReplyBytes), UpdateVerdict::Latest},
    };
    for (const auto& c : cases) {
        test::OneShotServer server(c.pieces);
        const VersionReply reply = FetchVersionFile("127.0.0.1", server.port(), kVersionFileName);
        EXPECT_FALSE(reply.failed()) << c.answer;
        EXPECT_EQ(reply.answer, c.answer);
        EXPECT_EQ(JudgeVersionReply(reply), c.verdict) << reply.answer;
        EXPECT_EQ(server.request(), kExpectedRequest);
    }
}

TEST(UpdateCheck, FailuresAreConnectionErrors) {
    // Nobody listens on the port of a server that has gone.
    uint16_t closedPort = 0;
    { closedPort = test::OneShotServer({}).port(); }
    const VersionReply refused = FetchVersionFile("127.0.0.1", closedPort, kVersionFileName);
    EXPECT_EQ(refused.error, ECONNREFUSED);
    EXPECT_EQ(refused.answer, "Error " + std::to_string(ECONNREFUSED));

    EXPECT_EQ(CheckForNewerVersion("no-such-host.invalid", 80), UpdateVerdict::ConnectionFailed);

    // A server that accepts and never answers: the receive gives up after the time-out.
    test::OneShotServer silent({}, true);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CheckForNewerVersion("127.0.0.1", silent.port(), kVersionFileName, 300),
              UpdateVerdict::ConnectionFailed);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 250ms);
    EXPECT_LT(waited, 5s);

    // A stop request (the About window closing) ends the wait long before the time-out.
    test::OneShotServer alsoSilent({}, true);
    std::stop_source stop;
    std::jthread closer([&] {
        std::this_thread::sleep_for(100ms);
        stop.request_stop();
    });
    const auto stopStart = std::chrono::steady_clock::now();
    const VersionReply stopped =
        FetchVersionFile("127.0.0.1", alsoSilent.port(), kVersionFileName, 10000, stop.get_token());
    EXPECT_EQ(stopped.error, ECANCELED);
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 2s);
}

// A real HTTP server (HTTP/1.0 answers) with and without the version file.
TEST(UpdateCheck, RealHttpServer) {
    if (!test::HaveProgram("python3"))
        GTEST_SKIP() << "python3 is not installed";
    test::TempDir root;
    const uint16_t port = test::FreeTcpPort("127.0.0.1");
    test::BackgroundProgram server({"python3", "-m", "http.server", "--bind", "127.0.0.1",
                                    "--directory", root.path().string(), std::to_string(port)});
    ASSERT_TRUE(server.waitUntilListening("127.0.0.1", port));
    EXPECT_EQ(CheckForNewerVersion("127.0.0.1", port), UpdateVerdict::NewerAvailable);
    std::ofstream(root.file(kVersionFileName)) << "latest\n";
    EXPECT_EQ(CheckForNewerVersion("127.0.0.1", port), UpdateVerdict::Latest);
}

TEST(UpdateCheck, Messages) {
    EXPECT_EQ(UpdateMessage(UpdateVerdict::NothingToSay), std::nullopt);
    const auto error = UpdateMessage(UpdateVerdict::ConnectionFailed);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->caption, "Error");
    EXPECT_EQ(error->icon, PromptIcon::Error);
    EXPECT_EQ(error->text,
              "There was an error connecting to the server:\r\n\r\n1. Make sure you are "
              "connected to the internet.\r\n2. If you have a software based firewall make "
              "sure this program is permitted to access the internet.");
    const auto latest = UpdateMessage(UpdateVerdict::Latest);
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->text,
              "You have the latest version of Brindlecraft VORLANX available at this time.");
    EXPECT_EQ(latest->caption, "Brindlecraft VORLANX");
    const auto newer = UpdateMessage(UpdateVerdict::NewerAvailable);
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->text,
              "There is a newer version of Brindlecraft VORLANX available.\n     "
              "Would you like to go to the description page?");
    EXPECT_EQ(newer->caption, "Version Notification");
    EXPECT_EQ(newer->buttons, PromptButtons::YesNo);
    EXPECT_TRUE(newer->owned);
}

}  // namespace
}  // namespace vorlanx
