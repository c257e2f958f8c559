// vorlanx-cli: wires the standard streams and the stop signals to RunCli.
#include <csignal>
#include <iostream>
#include <unistd.h>

#include "cli/cli.h"

namespace {

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void RequestStop(int) {
    g_stopRequested.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const vorlanx::CliStreams streams{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    return vorlanx::RunCli(args, streams, g_stopRequested);
}
