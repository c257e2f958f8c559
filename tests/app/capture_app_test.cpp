#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "app/capture_app.h"
#include "app/command_line.h"
#include "settings/settings_file.h"
#include "support/file_contents.h"
#include "support/recording_launcher.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

const std::string kOptionList =
    "Current available command line options:\r\n\r\n-uninstall  Runs the un-installation "
    "system.\r\n-noinstall  Runs the program without asking to install (does not require the "
    "program to be installed).\r\n-help / -?  Displays this message.\r\n-packet_mode  "
    "Automatically chooses Packet Mode when started.\r\n-file_mode  Automatically chooses File "
    "Mode when started.";

// The flags a command line sets, as "help noinstall uninstall packet file any empty".
std::string FlagsOf(const CommandLine& cl) {
    std::string flags;
    for (auto [on, name] : {std::pair{cl.help, "help "},
                            {cl.noInstall, "noinstall "},
                            {cl.uninstall, "uninstall "},
                            {cl.packetMode, "packet "},
                            {cl.fileMode, "file "},
                            {cl.anyOption(), "any "},
                            {cl.empty, "empty "}})
        flags += on ? name : "";
    return flags;
}

TEST(CommandLineParse, SubstringsAnywhereAnyCase) {
    struct Row {
        const char* text;
        const char* flags;
    };
    const Row rows[] = {
        {"/PACKET_MODE", "packet any "},
        {"-packet_mode", "packet any "},
        {"xpacket_modex", "packet any "},
        {"packet_mode file_mode", "packet file any "},
        {"what?", "help "},
        {"-HeLp", "help "},
        {" NoInstall", "noinstall any "},
        {"-noinstall", "noinstall any "},  // holds "install", not "uninstall"
        {"-uninstall", "uninstall any "},
        {"-verbose", ""},
        {"", "empty "},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FlagsOf(ParseCommandLine(row.text)), row.flags) << '"' << row.text << '"';
}

class RecordingWindows final : public StartupWindows {
  public:
    std::vector<std::string> opened;
    bool agree = true;
    bool modeChoiceClosed = false;
    uint32_t modeChoiceMode = 1;
    unsigned background = 0xFFFFFFFF, text = 0xFFFFFFFF;  // untouched: the system's colours

    void runUninstaller() override { opened.push_back("uninstaller"); }
    bool runAgreement() override {
        opened.push_back("agreement");
        return agree;
    }
    void runInstaller() override { opened.push_back("installer"); }
    bool runModeChoice(SettingsRecord& s) override {
        opened.push_back("modechoice");
        if (modeChoiceClosed)
            return false;
        s.setMode(modeChoiceMode);
        s.setShowModeChoice(false);
        return true;
    }
    int runPacketMode(SettingsRecord&, const std::string&) override {
        opened.push_back("packet");
        return 0;
    }
    int runFileMode(SettingsRecord&, const std::string&) override {
        opened.push_back("file");
        return 0;
    }
    void setDialogColors(unsigned bg, unsigned fg) override {
        background = bg;
        text = fg;
    }
};

// One start of the program with recording fakes around it.
struct Startup {
    int run(std::string_view commandLine, std::optional<std::string> executable = std::nullopt) {
        CaptureApp app({prompt, store, launcher, windows, [&] { return executable; }});
        return app.run(commandLine);
    }
    // The installed copy's record, as the installer leaves it.
    void install(const std::string& path, const std::string& version) {
        store.writeValue("SOFTWARE\\Brindlecraft\\VORLANX", "1.5EXENameAndPath", path);
        store.writeValue("SOFTWARE\\Brindlecraft\\VORLANX", "1.5", version);
    }
    std::string settingsPath() const { return SettingsFilePath(exe); }
    std::string settingsBytes() const { return test::ReadFileBytes(settingsPath()); }

    test::TempDir dir;
    std::string exe = dir.file("vorlanx");
    test::ScriptedPrompt prompt;
    MemoryKeyValueStore store;
    test::RecordingLauncher launcher;
    RecordingWindows windows;
};

const char* const kOtherCopy = "/opt/other/BrindlecraftVORLANXv1.5";
const char* const kThisCopyInCapitals = "<this copy in capitals>";
const char* const kThisCopyThroughLink = "<this copy through a link>";

struct StartRow {
    const char* name;
    const char* commandLine = "";
    std::optional<std::pair<std::string, std::string>> installed;  // path, version
    std::optional<PromptAnswer> answer;
    bool agree = true;
    bool handOverStarts = true;
    std::vector<std::string> texts;  // every box and question, in order
    std::vector<std::string> windows;
    std::vector<std::string> handOvers;
    bool settingsWritten = false;
};

TEST(CaptureApp, WhatEachStartShowsAndOpens) {
    const std::string install = "Would you like to install version 1.5 of Brindlecraft VORLANX?";
    const std::string reinstall = "Would you like to re-install Brindlecraft VORLANX 1.5?";
    const std::string unable =
        "Unable to execute installed program, will now execute self contained program.";
    // clang-format off
    const StartRow rows[] = {
        {.name = "help wins over uninstall", .commandLine = "-help -uninstall",
         .texts = {kOptionList}},
        {.name = "? asks for help", .commandLine = "what?", .texts = {kOptionList}},
        {.name = "no known option", .commandLine = "-verbose",
         .texts = {"Command line sniffing is not currently implemented ;(\r\nTo see available "
                   "command options, use -help"}},
        {.name = "uninstall", .commandLine = "/uninstall", .windows = {"uninstaller"}},
        {.name = "no installed copy", .windows = {"agreement", "installer"}},
        {.name = "no installed copy, agreement refused", .agree = false, .windows = {"agreement"}},
        {.name = "empty installed path", .installed = {{"", "1.5"}},
         .windows = {"agreement", "installer"}},
        {.name = "this copy is the installed one, by another path to the same file",
         .installed = {{kThisCopyThroughLink, "1.5"}}, .windows = {"modechoice", "file"},
         .settingsWritten = true},
        {.name = "a name differing only in letter case is another copy",
         .installed = {{kThisCopyInCapitals, "1.5"}}, .answer = PromptAnswer::Cancel,
         .texts = {reinstall}},
        {.name = "another copy, this version never installed: Cancel ends",
         .installed = {{kOtherCopy, ""}}, .answer = PromptAnswer::Cancel, .texts = {install}},
        {.name = "another copy, version installed before: Yes installs",
         .installed = {{kOtherCopy, "1"}}, .answer = PromptAnswer::Yes, .texts = {reinstall},
         .windows = {"agreement", "installer"}},
        {.name = "No hands over to the installed copy", .installed = {{kOtherCopy, "1.5"}},
         .answer = PromptAnswer::No, .texts = {reinstall}, .handOvers = {kOtherCopy}},
        {.name = "No, but the hand-over fails: this copy runs", .commandLine = "-packet_mode",
         .installed = {{kOtherCopy, "1.5"}}, .answer = PromptAnswer::No, .handOverStarts = false,
         .texts = {reinstall, unable}, .windows = {"packet"}, .handOvers = {kOtherCopy},
         .settingsWritten = true},
        {.name = "a mode option skips Mode Choice", .commandLine = "-noinstall -file_mode",
         .windows = {"file"}, .settingsWritten = true},
        {.name = "Packet Mode wins over File Mode",
         .commandLine = "-noinstall packet_mode file_mode", .windows = {"packet"},
         .settingsWritten = true},
    };
    // clang-format on
    for (const StartRow& row : rows) {
        SCOPED_TRACE(row.name);
        Startup s;
        std::ofstream(s.exe) << "program";  // the running file, as the install check finds it
        if (row.installed) {
            std::string path = row.installed->first;
            if (path == kThisCopyInCapitals) {
                path = s.exe;
                for (char& c : path)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            } else if (path == kThisCopyThroughLink) {
                path = s.dir.file("link");
                std::filesystem::create_symlink(s.exe, path);
            }
            s.install(path, row.installed->second);
        }
        if (row.answer)
            s.prompt.script({*row.answer});
        s.windows.agree = row.agree;
        s.launcher.succeed = row.handOverStarts;

        EXPECT_EQ(s.run(row.commandLine, s.exe), 0);
        EXPECT_EQ(s.prompt.texts(), row.texts);
        EXPECT_EQ(s.windows.opened, row.windows);
        std::vector<std::string> handOvers;
        for (const auto& start : s.launcher.starts) {
            handOvers.push_back(start.program);
            EXPECT_EQ(start.args, std::vector<std::string>{" NoInstall"});
        }
        EXPECT_EQ(handOvers, row.handOvers);
        EXPECT_EQ(std::filesystem::exists(s.settingsPath()), row.settingsWritten);
        for (const PromptRequest& box : s.prompt.asked()) {
            EXPECT_EQ(box.caption, "Brindlecraft VORLANX");
            EXPECT_FALSE(box.owned);
            const bool question = box.buttons == PromptButtons::YesNoCancel;
            EXPECT_TRUE(question || box.buttons == PromptButtons::Ok);
            EXPECT_EQ(box.icon, question ? PromptIcon::Question : PromptIcon::Information);
        }
    }
}

TEST(CaptureApp, NoInstallWithoutSettingsFileCreatesDefaultsAndShowsModeChoice) {
    Startup s;
    s.windows.modeChoiceMode = 0;
    EXPECT_EQ(s.run("-noinstall", s.exe), 0);
    EXPECT_EQ(s.windows.opened, (std::vector<std::string>{"modechoice", "packet"}));
    SettingsRecord onDisk;
    LoadSettings(onDisk, s.settingsPath());
    // Written before the window opened, so Mode Choice's answer is not in it.
    EXPECT_EQ(onDisk, SettingsRecord::defaults(DefaultFileDirectory()));
    EXPECT_EQ(s.settingsBytes().size(), 20672u);
    EXPECT_EQ(s.windows.background, 0x00C8C8C8u);  // grey 200
    EXPECT_EQ(s.windows.text, 0x00000000u);        // black
}

TEST(CaptureApp, StoredModeIsUsedWhenModeChoiceIsOff) {
    Startup s;
    auto settings = SettingsRecord::defaults("/");
    settings.setShowModeChoice(false);
    settings.setUseWindowsColors(true);
    for (auto [mode, window] : {std::pair<uint32_t, const char*>{1, "file"},
                                {0, "packet"},
                                {7, nullptr}}) {  // no window for an unknown mode
        SCOPED_TRACE(mode);
        settings.setMode(mode);
        ASSERT_TRUE(SaveSettings(settings, s.settingsPath()));
        s.windows.opened.clear();
        EXPECT_EQ(s.run("-noinstall", s.exe), 0);
        EXPECT_EQ(s.windows.opened,
                  window ? std::vector<std::string>{window} : std::vector<std::string>{});
    }
    EXPECT_EQ(s.windows.background, 0xFFFFFFFFu);  // system colours stay
    EXPECT_EQ(s.windows.text, 0xFFFFFFFFu);
}

TEST(CaptureApp, ModeChoiceCloseBoxEndsWithStartupWriteOnDisk) {
    Startup s;
    s.windows.modeChoiceClosed = true;
    EXPECT_EQ(s.run("-noinstall", s.exe), 0);
    EXPECT_EQ(s.windows.opened, std::vector<std::string>{"modechoice"});
    EXPECT_EQ(s.settingsBytes().size(), 20672u);
}

TEST(CaptureApp, ExistingFileIsRewrittenWithIdenticalBytes) {
    Startup s;
    std::string bytes(20672, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i % 251);
    bytes[4] = 9;  // an unknown mode: start-up opens nothing
    bytes[5] = bytes[6] = bytes[7] = 0;
    bytes[0] = 0;
    std::ofstream(s.settingsPath(), std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(s.run("-noinstall", s.exe), 0);
    EXPECT_EQ(s.settingsBytes(), bytes);
}

TEST(CaptureApp, UnknownExecutablePathIsFatal) {
    for (const char* commandLine : {"", "-noinstall"}) {
        Startup s;
        s.install(kOtherCopy, "1.5");
        EXPECT_EQ(s.run(commandLine), -1) << commandLine;
        EXPECT_EQ(s.prompt.texts(), std::vector<std::string>{"Fatal-initialization error #6"});
        EXPECT_TRUE(s.windows.opened.empty());
    }
}

}  // namespace
}  // namespace vorlanx
