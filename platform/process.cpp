#include "platform/process.h"

#include <spawn.h>
#include <unistd.h>

#include <climits>
#include <vector>

extern char** environ;

namespace vorlanx {

std::optional<std::string> runningExecutablePath() {
    std::vector<char> buf(PATH_MAX + 1);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return std::nullopt;
        if (static_cast<size_t>(n) < buf.size())
            return std::string(buf.data(), n);
        buf.resize(buf.size() * 2);  // a path longer than PATH_MAX: try again with room
    }
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool SpawnProgramLauncher::start(const std::string& program, const std::vector<std::string>& args) {
    return startIn(program, args, {});
}

bool SpawnProgramLauncher::startIn(const std::string& program, const std::vector<std::string>& args,
                                   const std::string& workingDirectory) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // A new session, so the started copy outlives this process and its terminal group.
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0)
        return false;
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        posix_spawnattr_destroy(&attr);
        return false;
    }
    int rc = workingDirectory.empty()
                 ? 0
                 : posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    pid_t pid = 0;
    if (rc == 0)
        rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return rc == 0;
}

}  // namespace vorlanx
