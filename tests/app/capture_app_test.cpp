#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/capture_app.h"
#include "app/command_line.h"
#include "settings/product.h"
#include "settings/settings_file.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

struct Call {
    std::string program;
    std::vector<std::string> args;
};

class RecordingLauncher final : public ProgramLauncher {
  public:
    bool succeed = true;
    std::vector<Call> calls;
    bool start(const std::string& program, const std::vector<std::string>& args) override {
        calls.push_back({program, args});
        return succeed;
    }
};

class RecordingWindows final : public StartupWindows {
  public:
    std::vector<std::string> opened;
    bool agree = true;
    bool modeChoiceClosed = false;
    uint32_t modeChoiceMode = 1;
    unsigned background = 0xFFFFFFFF;

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
    void setDialogColors(unsigned bg, unsigned) override { background = bg; }
};

class CaptureAppTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::string exe = dir.file("vorlanx");
    test::ScriptedPrompt prompt;
    MemoryKeyValueStore store;
    RecordingLauncher launcher;
    RecordingWindows windows;

    int run(std::string_view commandLine) {
        CaptureApp app({prompt, store, launcher, windows, [this] { return std::optional(exe); }});
        return app.run(commandLine);
    }
    void install(const std::string& path, const std::string& version) {
        store.writeValue(kInstallKey, kInstalledPathValue, path);
        store.writeValue(kInstallKey, kInstalledVersionValue, version);
    }
    std::string settingsPath() const { return SettingsFilePath(exe); }
};

TEST(CommandLineParse, SubstringsAnywhereAnyCase) {
    for (const char* text : {"/PACKET_MODE", "-packet_mode", "xpacket_modex"}) {
        auto cl = ParseCommandLine(text);
        EXPECT_TRUE(cl.packetMode) << text;
        EXPECT_FALSE(cl.fileMode) << text;
    }
    auto both = ParseCommandLine("packet_mode file_mode");
    EXPECT_TRUE(both.packetMode && both.fileMode);
    EXPECT_TRUE(ParseCommandLine("what?").help);
    EXPECT_TRUE(ParseCommandLine("-HeLp").help);
    EXPECT_TRUE(ParseCommandLine(" NoInstall").noInstall);
    EXPECT_FALSE(ParseCommandLine("-noinstall").uninstall);
    EXPECT_TRUE(ParseCommandLine("").empty);
    EXPECT_FALSE(ParseCommandLine("-verbose").anyOption());
}

TEST_F(CaptureAppTest, HelpWinsOverUninstall) {
    EXPECT_EQ(run("-help -uninstall"), 0);
    ASSERT_EQ(prompt.asked().size(), 1u);
    const auto box = prompt.asked()[0];
    EXPECT_EQ(box.text, kOptionListText);
    EXPECT_EQ(box.caption, "Brindlecraft VORLANX");
    EXPECT_EQ(box.icon, PromptIcon::Information);
    EXPECT_TRUE(windows.opened.empty());
    EXPECT_FALSE(std::filesystem::exists(settingsPath()));
}

TEST_F(CaptureAppTest, OptionListTextIsExact) {
    EXPECT_EQ(std::string(kOptionListText),
              "Current available command line options:\r\n\r\n-uninstall  Runs the "
              "un-installation system.\r\n-noinstall  Runs the program without asking to install "
              "(does not require the program to be installed).\r\n-help / -?  Displays this "
              "message.\r\n-packet_mode  Automatically chooses Packet Mode when started.\r\n"
              "-file_mode  Automatically chooses File Mode when started.");
}

TEST_F(CaptureAppTest, QuestionMarkShowsOptionList) {
    EXPECT_EQ(run("what?"), 0);
    ASSERT_EQ(prompt.texts().size(), 1u);
    EXPECT_EQ(prompt.texts()[0], kOptionListText);
}

TEST_F(CaptureAppTest, UnknownOptionIsNotImplementedAndOpensNothing) {
    EXPECT_EQ(run("-verbose"), 0);
    ASSERT_EQ(prompt.texts().size(), 1u);
    EXPECT_EQ(prompt.texts()[0],
              "Command line sniffing is not currently implemented ;(\r\nTo see available "
              "command options, use -help");
    EXPECT_TRUE(windows.opened.empty());
    EXPECT_FALSE(std::filesystem::exists(settingsPath()));
}

TEST_F(CaptureAppTest, UninstallRunsUninstallerOnly) {
    EXPECT_EQ(run("/uninstall"), 0);
    EXPECT_EQ(windows.opened, std::vector<std::string>{"uninstaller"});
}

TEST_F(CaptureAppTest, EmptyCommandLineWithoutInstallLeadsToAgreementThenInstaller) {
    EXPECT_EQ(run(""), 0);
    EXPECT_EQ(windows.opened, (std::vector<std::string>{"agreement", "installer"}));
    EXPECT_FALSE(std::filesystem::exists(settingsPath()));  // not loaded on this path
    windows.opened.clear();
    windows.agree = false;
    EXPECT_EQ(run(""), 0);
    EXPECT_EQ(windows.opened, std::vector<std::string>{"agreement"});
}

TEST_F(CaptureAppTest, InstalledPathValueEmptyIsFirstRun) {
    install("", "1.5");
    run("");
    EXPECT_EQ(windows.opened.front(), "agreement");
}

TEST_F(CaptureAppTest, InstalledCopyInOtherLetterCaseGoesStraightToModeChoice) {
    std::string upper = exe;
    for (auto& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    install(upper, "1.5");
    EXPECT_EQ(run(""), 0);
    EXPECT_TRUE(prompt.asked().empty());
    EXPECT_EQ(windows.opened, (std::vector<std::string>{"modechoice", "file"}));
}

TEST_F(CaptureAppTest, InstallQuestionTexts) {
    install("/opt/other/BrindlecraftVORLANXv1.5", "");
    prompt.script({PromptAnswer::Cancel});
    EXPECT_EQ(run(""), 0);
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text,
              "Would you like to install version 1.5 of Brindlecraft VORLANX?");
    EXPECT_EQ(prompt.asked()[0].buttons, PromptButtons::YesNoCancel);
    EXPECT_EQ(prompt.asked()[0].icon, PromptIcon::Question);
    EXPECT_TRUE(windows.opened.empty());  // Cancel ends

    install("/opt/other/BrindlecraftVORLANXv1.5", "1");
    prompt.script({PromptAnswer::Yes});
    run("");
    EXPECT_EQ(prompt.asked()[1].text, "Would you like to re-install Brindlecraft VORLANX 1.5?");
    EXPECT_EQ(windows.opened, (std::vector<std::string>{"agreement", "installer"}));
}

TEST_F(CaptureAppTest, NoHandsOverToInstalledCopy) {
    install("/opt/other/BrindlecraftVORLANXv1.5", "1.5");
    prompt.script({PromptAnswer::No});
    EXPECT_EQ(run(""), 0);
    ASSERT_EQ(launcher.calls.size(), 1u);
    EXPECT_EQ(launcher.calls[0].program, "/opt/other/BrindlecraftVORLANXv1.5");
    EXPECT_EQ(launcher.calls[0].args, std::vector<std::string>{" NoInstall"});
    EXPECT_TRUE(windows.opened.empty());
}

TEST_F(CaptureAppTest, NoWithFailingHandOverRunsThisCopy) {
    install("/opt/other/BrindlecraftVORLANXv1.5", "1.5");
    launcher.succeed = false;
    prompt.script({PromptAnswer::No});
    EXPECT_EQ(run("-packet_mode"), 0);
    ASSERT_EQ(prompt.texts().size(), 2u);
    EXPECT_EQ(prompt.texts()[1],
              "Unable to execute installed program, will now execute self contained program.");
    EXPECT_EQ(windows.opened, std::vector<std::string>{"packet"});
    EXPECT_TRUE(std::filesystem::exists(settingsPath()));
}

TEST_F(CaptureAppTest, NoInstallWithoutSettingsFileCreatesDefaultsAndShowsModeChoice) {
    windows.modeChoiceMode = 0;
    EXPECT_EQ(run("-noinstall"), 0);
    EXPECT_EQ(windows.opened, (std::vector<std::string>{"modechoice", "packet"}));
    SettingsRecord onDisk;
    LoadSettings(onDisk, settingsPath());
    EXPECT_EQ(onDisk,
              SettingsRecord::defaults(DefaultFileDirectory()));  // written before the window
    EXPECT_EQ(std::filesystem::file_size(settingsPath()), 20672u);
    EXPECT_EQ(windows.background, 0x00C8C8C8u);
}

TEST_F(CaptureAppTest, ModeOptionsSuppressModeChoice) {
    EXPECT_EQ(run("-noinstall -file_mode"), 0);
    EXPECT_EQ(windows.opened, std::vector<std::string>{"file"});
    windows.opened.clear();
    EXPECT_EQ(run("-noinstall packet_mode file_mode"), 0);  // Packet Mode wins
    EXPECT_EQ(windows.opened, std::vector<std::string>{"packet"});
}

TEST_F(CaptureAppTest, StoredModeIsUsedWhenModeChoiceIsOff) {
    auto s = SettingsRecord::defaults("/");
    s.setShowModeChoice(false);
    s.setMode(1);
    s.setUseWindowsColors(true);
    ASSERT_TRUE(SaveSettings(s, settingsPath()));
    EXPECT_EQ(run("-noinstall"), 0);
    EXPECT_EQ(windows.opened, std::vector<std::string>{"file"});
    EXPECT_EQ(windows.background, 0xFFFFFFFFu);  // system colours stay

    s.setMode(7);
    ASSERT_TRUE(SaveSettings(s, settingsPath()));
    windows.opened.clear();
    EXPECT_EQ(run("-noinstall"), 0);
    EXPECT_TRUE(windows.opened.empty());  // no window for an unknown mode
}

TEST_F(CaptureAppTest, ModeChoiceCloseBoxEndsWithStartupWriteOnDisk) {
    windows.modeChoiceClosed = true;
    EXPECT_EQ(run("-noinstall"), 0);
    EXPECT_EQ(windows.opened, std::vector<std::string>{"modechoice"});
    EXPECT_EQ(std::filesystem::file_size(settingsPath()), 20672u);
}

TEST_F(CaptureAppTest, ExistingFileIsRewrittenWithIdenticalBytes) {
    std::vector<char> bytes(20672);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i % 251);
    bytes[4] = 9;  // an unknown mode: start-up opens nothing
    bytes[5] = bytes[6] = bytes[7] = 0;
    bytes[0] = 0;
    {
        std::ofstream out(settingsPath(), std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    EXPECT_EQ(run("-noinstall"), 0);
    std::ifstream in(settingsPath(), std::ios::binary);
    std::vector<char> back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(back, bytes);
}

TEST_F(CaptureAppTest, UnknownExecutablePathIsFatal) {
    install("/opt/other/x", "1.5");
    CaptureApp app({prompt, store, launcher, windows, [] { return std::optional<std::string>(); }});
    EXPECT_EQ(app.run(""), -1);
    ASSERT_EQ(prompt.texts().size(), 1u);
    EXPECT_EQ(prompt.texts()[0], "Fatal-initialization error #6");
}

}  // namespace
}  // namespace vorlanx
