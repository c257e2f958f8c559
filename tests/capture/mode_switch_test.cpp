#include "capture/mode_switch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "settings/settings_file.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

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
        if (events)
            events->push_back("start");
        return succeed;
    }

  private:
    std::string m_settingsPath;
};

class ModeSwitchTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::string exe = dir.file("vorlanx");
    std::string settingsPath = SettingsFilePath(exe);
    test::ScriptedPrompt prompt;
    SnapshotLauncher launcher{settingsPath};
    SettingsRecord settings = SettingsRecord::defaults("/home/user/");
    std::vector<std::string> events;

    ModeSwitchSteps steps() {
        return ModeSwitchSteps{[this] {
                                   events.push_back("store");
                                   settings.setFindText("typed into the find box");
                               },
                               [this] { events.push_back("close"); }};
    }

    ModeSwitchOutcome run(CaptureMode target, ModeSwitch::ExecutablePath path = {}) {
        launcher.events = &events;
        if (!path)
            path = [this] { return std::optional(exe); };
        ModeSwitch sw(prompt, launcher, std::move(path));
        return sw.run(target, settings, settingsPath, steps());
    }
};

TEST_F(ModeSwitchTest, AsksTheSpecifiedQuestionForEachDirection) {
    prompt.script({PromptAnswer::No, PromptAnswer::No});
    run(CaptureMode::File);
    run(CaptureMode::Packet);

    const auto asked = prompt.asked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text,
              "Switching to File Mode will cancel the current operation (Packet Mode).\r\n"
              "All unsaved packets will be lost.\r\n\r\nAre you sure you wish to switch modes?");
    EXPECT_EQ(asked[1].text,
              "Switching to Packet Mode will cancel the current operation (File Mode).\r\n\r\n"
              "Are you sure you wish to switch modes?");
    for (const auto& r : asked) {
        EXPECT_EQ(r.caption, "Switch modes?");
        EXPECT_EQ(r.buttons, PromptButtons::YesNo);
        EXPECT_EQ(r.icon, PromptIcon::Question);
        EXPECT_TRUE(r.owned);
    }
}

TEST_F(ModeSwitchTest, NoOrAClosedQuestionChangesNothing) {
    for (PromptAnswer answer : {PromptAnswer::No, PromptAnswer::Cancel}) {
        prompt.script({answer});
        const SettingsRecord before = settings;
        EXPECT_EQ(run(CaptureMode::File), ModeSwitchOutcome::Declined);
        EXPECT_TRUE(launcher.starts.empty());
        EXPECT_TRUE(events.empty());
        EXPECT_FALSE(std::filesystem::exists(settingsPath));
        EXPECT_EQ(settings, before);
    }
}

TEST_F(ModeSwitchTest, YesWritesTheSettingsBeforeStartingTheOtherModeThenCloses) {
    struct Case {
        CaptureMode target;
        const char* option;
    };
    for (const Case& c : {Case{CaptureMode::File, "/File_Mode"},
                          Case{CaptureMode::Packet, "/Packet_Mode"}}) {
        SCOPED_TRACE(c.option);
        std::filesystem::remove(settingsPath);
        launcher.starts.clear();
        events.clear();
        settings.setInterfaceAddress("192.168.1.7");

        prompt.script({PromptAnswer::Yes});
        EXPECT_EQ(run(c.target), ModeSwitchOutcome::Switched);

        EXPECT_EQ(events, (std::vector<std::string>{"store", "start", "close"}));
        ASSERT_EQ(launcher.starts.size(), 1u);
        const auto& s = launcher.starts[0];
        EXPECT_EQ(s.program, exe);
        EXPECT_EQ(s.args, (std::vector<std::string>{"/NoInstall", c.option}));
        // The new copy finds the window's latest values in the file.
        ASSERT_TRUE(s.settingsFileExisted);
        EXPECT_EQ(s.settingsOnDisk, settings);
        EXPECT_EQ(s.settingsOnDisk.findText(), "typed into the find box");
        EXPECT_EQ(s.settingsOnDisk.interfaceAddress(), "192.168.1.7");
    }
}

TEST_F(ModeSwitchTest, TheModeInTheFileIsLeftForTheNewCopyToSave) {
    settings.setMode(0);
    prompt.script({PromptAnswer::Yes});
    run(CaptureMode::File);
    ASSERT_EQ(launcher.starts.size(), 1u);
    EXPECT_EQ(launcher.starts[0].settingsOnDisk.mode(), 0u);
    EXPECT_EQ(settings.mode(), 0u);
}

TEST_F(ModeSwitchTest, AFailedStartIsReportedAndTheWindowStaysOpen) {
    launcher.succeed = false;
    prompt.script({PromptAnswer::Yes});
    EXPECT_EQ(run(CaptureMode::File), ModeSwitchOutcome::StartFailed);

    EXPECT_EQ(events, (std::vector<std::string>{"store", "start"}));
    const auto asked = prompt.asked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].text, "Could not start the program in File Mode: \"" + exe +
                                 "\" could not be run.\r\n\r\nThe current mode stays open.");
    EXPECT_EQ(asked[1].buttons, PromptButtons::Ok);
    EXPECT_EQ(asked[1].icon, PromptIcon::Warning);
}

TEST_F(ModeSwitchTest, AnUnreadableExecutablePathIsAFailedStart) {
    prompt.script({PromptAnswer::Yes});
    EXPECT_EQ(run(CaptureMode::Packet, [] { return std::optional<std::string>(); }),
              ModeSwitchOutcome::StartFailed);
    EXPECT_TRUE(launcher.starts.empty());
    EXPECT_EQ(events, (std::vector<std::string>{"store"}));
    ASSERT_EQ(prompt.asked().size(), 2u);
    EXPECT_EQ(prompt.asked()[1].text,
              "Could not start the program in Packet Mode: the path of the running program "
              "could not be read.\r\n\r\nThe current mode stays open.");
}

TEST_F(ModeSwitchTest, AnUnwritableSettingsFileDoesNotStopTheSwitch) {
    settingsPath = dir.file("missing-folder/vorlanx.BCS");
    prompt.script({PromptAnswer::Yes});
    EXPECT_EQ(run(CaptureMode::File), ModeSwitchOutcome::Switched);
    EXPECT_EQ(events, (std::vector<std::string>{"store", "start", "close"}));
}

TEST_F(ModeSwitchTest, TheRealLauncherStartsTheProgramWithTheArguments) {
    // A stand-in executable that writes its arguments where the test can read them.
    const std::string script = dir.file("fake-vorlanx");
    const std::string out = dir.file("args.txt");
    {
        std::FILE* f = std::fopen(script.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "#!/bin/sh\nprintf '%%s|' \"$@\" > '%s.tmp' && mv '%s.tmp' '%s'\n",
                     out.c_str(), out.c_str(), out.c_str());
        std::fclose(f);
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    }
    SpawnProgramLauncher real;
    prompt.script({PromptAnswer::Yes});
    ModeSwitch sw(prompt, real, [&] { return std::optional(script); });
    EXPECT_EQ(sw.run(CaptureMode::File, settings, settingsPath, {}),
              ModeSwitchOutcome::Switched);

    for (int i = 0; i < 500 && !std::filesystem::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::FILE* f = std::fopen(out.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[128] = {};
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(buf, n), "/NoInstall|/File_Mode|");

    // A program that does not exist is a failed start, not a silent success.
    prompt.script({PromptAnswer::Yes});
    ModeSwitch missing(prompt, real, [&] { return std::optional(dir.file("gone")); });
    EXPECT_EQ(missing.run(CaptureMode::File, settings, settingsPath, {}),
              ModeSwitchOutcome::StartFailed);
}

}  // namespace
}  // namespace vorlanx
