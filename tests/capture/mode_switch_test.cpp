#include "capture/mode_switch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "settings/settings_file.h"
#include "support/file_contents.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

// Records each start together with the settings file as it was at that moment.
class SnapshotLauncher final : public ProgramLauncher {
  public:
    explicit SnapshotLauncher(std::string settingsPath) : m_settingsPath(std::move(settingsPath)) {}

    struct Start {
        std::string program;
        std::vector<std::string> args;
        bool settingsFileExisted = false;
        SettingsRecord settingsOnDisk;
    };

    bool succeed = true;
    std::vector<Start> starts;
    std::vector<std::string>* events = nullptr;

    bool start(const std::string& program, const std::vector<std::string>& args) override {
        Start s{program, args, std::filesystem::exists(m_settingsPath), {}};
        if (s.settingsFileExisted)
            LoadSettings(s.settingsOnDisk, m_settingsPath);
        starts.push_back(s);
        events->push_back("start");
        return succeed;
    }

  private:
    std::string m_settingsPath;
};

struct Direction {
    CaptureMode target;
    const char* option;
    const char* question;
};

const Direction kToFile{
    CaptureMode::File, "/File_Mode",
    "Switching to File Mode will cancel the current operation (Packet Mode).\r\n"
    "All unsaved packets will be lost.\r\n\r\nAre you sure you wish to switch modes?"};
const Direction kToPacket{CaptureMode::Packet, "/Packet_Mode",
                          "Switching to Packet Mode will cancel the current operation (File "
                          "Mode).\r\n\r\nAre you sure you wish to switch modes?"};

// A mode window's switch, with the window's two steps recorded as events.
struct Switch {
    ModeSwitchOutcome run(CaptureMode target, bool pathReadable = true) {
        launcher.events = &events;
        ModeSwitch sw(prompt, launcher, [this, pathReadable] {
            return pathReadable ? std::optional(exe) : std::nullopt;
        });
        const ModeSwitchSteps steps{[this] {
                                        events.push_back("store");
                                        settings.setFindText("typed into the find box");
                                    },
                                    [this] { events.push_back("close"); }};
        return sw.run(target, settings, settingsPath, steps);
    }

    test::TempDir dir;
    std::string exe = dir.file("vorlanx");
    std::string settingsPath = SettingsFilePath(exe);
    test::ScriptedPrompt prompt;
    SnapshotLauncher launcher{settingsPath};
    SettingsRecord settings = SettingsRecord::defaults("/home/user/");
    std::vector<std::string> events;
};

TEST(ModeSwitch, NoOrAClosedQuestionChangesNothing) {
    for (const Direction& direction : {kToFile, kToPacket}) {
        for (PromptAnswer answer : {PromptAnswer::No, PromptAnswer::Cancel}) {
            SCOPED_TRACE(direction.option);
            Switch s;
            s.prompt.script({answer});
            const SettingsRecord before = s.settings;
            EXPECT_EQ(s.run(direction.target), ModeSwitchOutcome::Declined);
            EXPECT_TRUE(s.events.empty());
            EXPECT_FALSE(std::filesystem::exists(s.settingsPath));
            EXPECT_EQ(s.settings, before);
            ASSERT_EQ(s.prompt.asked().size(), 1u);
            const PromptRequest question = s.prompt.asked()[0];
            EXPECT_EQ(question.text, direction.question);
            EXPECT_EQ(question.caption, "Switch modes?");
            EXPECT_EQ(question.buttons, PromptButtons::YesNo);
            EXPECT_EQ(question.icon, PromptIcon::Question);
            EXPECT_TRUE(question.owned);
        }
    }
}

struct YesRow {
    const char* name;
    const Direction& direction;
    bool startSucceeds = true;
    bool pathReadable = true;
    bool settingsWritable = true;
    ModeSwitchOutcome outcome = ModeSwitchOutcome::Switched;
    std::vector<std::string> events = {"store", "start", "close"};
    std::string failure;  // the warning after a failed start; "<exe>" is the executable
};

TEST(ModeSwitch, YesWritesTheSettingsStartsTheOtherModeThenCloses) {
    const std::string staysOpen = ".\r\n\r\nThe current mode stays open.";
    // clang-format off
    const YesRow rows[] = {
        {.name = "to File Mode", .direction = kToFile},
        {.name = "to Packet Mode", .direction = kToPacket},
        {.name = "the settings file cannot be written: the switch goes on", .direction = kToFile,
         .settingsWritable = false},
        {.name = "the start fails: the window stays open", .direction = kToFile,
         .startSucceeds = false, .outcome = ModeSwitchOutcome::StartFailed,
         .events = {"store", "start"},
         .failure = "Could not start the program in File Mode: \"<exe>\" could not be run" +
                    staysOpen},
        {.name = "the executable's path cannot be read: a failed start", .direction = kToPacket,
         .pathReadable = false, .outcome = ModeSwitchOutcome::StartFailed, .events = {"store"},
         .failure = "Could not start the program in Packet Mode: the path of the running "
                    "program could not be read" + staysOpen},
    };
    // clang-format on
    for (const YesRow& row : rows) {
        SCOPED_TRACE(row.name);
        Switch s;
        s.launcher.succeed = row.startSucceeds;
        if (!row.settingsWritable)
            s.settingsPath = s.dir.file("missing-folder/vorlanx.BCS");
        s.settings.setInterfaceAddress("192.168.1.7");
        s.prompt.script({PromptAnswer::Yes});

        EXPECT_EQ(s.run(row.direction.target, row.pathReadable), row.outcome);
        EXPECT_EQ(s.events, row.events);
        EXPECT_EQ(s.settings.mode(), 0u);  // the new copy saves its mode itself
        ASSERT_EQ(s.launcher.starts.size(), row.pathReadable ? 1u : 0u);
        for (const auto& start : s.launcher.starts) {
            EXPECT_EQ(start.program, s.exe);
            EXPECT_EQ(start.args, (std::vector<std::string>{"/NoInstall", row.direction.option}));
            // The new copy finds the window's latest values in the file.
            ASSERT_EQ(start.settingsFileExisted, row.settingsWritable);
            if (row.settingsWritable) {
                EXPECT_EQ(start.settingsOnDisk, s.settings);
                EXPECT_EQ(start.settingsOnDisk.findText(), "typed into the find box");
                EXPECT_EQ(start.settingsOnDisk.interfaceAddress(), "192.168.1.7");
                EXPECT_EQ(start.settingsOnDisk.mode(), 0u);
            }
        }
        const auto asked = s.prompt.asked();
        ASSERT_EQ(asked.size(), row.failure.empty() ? 1u : 2u);
        EXPECT_EQ(asked[0].text, row.direction.question);
        if (!row.failure.empty()) {
            std::string failure = row.failure;
            if (const size_t at = failure.find("<exe>"); at != std::string::npos)
                failure.replace(at, 5, s.exe);
            EXPECT_EQ(asked[1].text, failure);
            EXPECT_EQ(asked[1].buttons, PromptButtons::Ok);
            EXPECT_EQ(asked[1].icon, PromptIcon::Warning);
        }
    }
}

TEST(ModeSwitch, TheRealLauncherStartsTheProgramWithTheArguments) {
    Switch s;
    // A stand-in executable that writes its arguments where the test can read them.
    const std::string script = s.dir.file("fake-vorlanx");
    const std::string out = s.dir.file("args.txt");
    std::ofstream(script) << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << out << ".tmp' && mv '" << out
                          << ".tmp' '" << out << "'\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    SpawnProgramLauncher real;
    s.prompt.script({PromptAnswer::Yes});
    ModeSwitch sw(s.prompt, real, [&] { return std::optional(script); });
    EXPECT_EQ(sw.run(CaptureMode::File, s.settings, s.settingsPath, {}),
              ModeSwitchOutcome::Switched);
    ASSERT_TRUE(test::WaitUntil([&] { return std::filesystem::exists(out); },
                                std::chrono::seconds(5), std::chrono::milliseconds(10)));
    EXPECT_EQ(test::ReadFileBytes(out), "/NoInstall|/File_Mode|");

    // A program that does not exist is a failed start, not a silent success.
    s.prompt.script({PromptAnswer::Yes});
    ModeSwitch missing(s.prompt, real, [&] { return std::optional(s.dir.file("gone")); });
    EXPECT_EQ(missing.run(CaptureMode::File, s.settings, s.settingsPath, {}),
              ModeSwitchOutcome::StartFailed);
}

}  // namespace
}  // namespace vorlanx
