// A ProgramLauncher that starts nothing and remembers every start it was asked for.
#pragma once

#include <string>
#include <vector>

#include "platform/process.h"

namespace vorlanx::test {

class RecordingLauncher final : public ProgramLauncher {
  public:
    struct Start {
        std::string program;
        std::vector<std::string> args;
        std::string workingDirectory;  // empty: the caller's
        bool operator==(const Start&) const = default;
    };

    bool succeed = true;  // what every start reports
    std::vector<Start> starts;

    bool start(const std::string& program, const std::vector<std::string>& args) override {
        return startIn(program, args, {});
    }
    bool startIn(const std::string& program, const std::vector<std::string>& args,
                 const std::string& workingDirectory) override {
        starts.push_back({program, args, workingDirectory});
        return succeed;
    }
};

}  // namespace vorlanx::test
