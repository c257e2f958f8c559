// The running program: its executable path and starting programs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorlanx {

// Full path of the running executable (/proc/self/exe), or nothing when it cannot be read.
std::optional<std::string> runningExecutablePath();

// One argument for sh: in single quotes, with each ' written as '\''.
std::string ShellQuoted(const std::string& text);

class ProgramLauncher {
  public:
    virtual ~ProgramLauncher() = default;
    // Starts the program detached with the given arguments. True when it was started.
    virtual bool start(const std::string& program, const std::vector<std::string>& args) = 0;
    // The same, with `workingDirectory` as the started program's current directory (empty:
    // this process's). Launchers that do not place programs anywhere start them as start()
    // does.
    virtual bool startIn(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDirectory) {
        (void)workingDirectory;
        return start(program, args);
    }
};

// posix_spawn, with the child's standard streams inherited and no wait for it. A working
// directory that cannot be entered fails the start.
class SpawnProgramLauncher final : public ProgramLauncher {
  public:
    bool start(const std::string& program, const std::vector<std::string>& args) override;
    bool startIn(const std::string& program, const std::vector<std::string>& args,
                 const std::string& workingDirectory) override;
};

}  // namespace vorlanx
