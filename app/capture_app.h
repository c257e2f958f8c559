// CaptureApp: the whole life of the process, from the command line to the mode window.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_record.h"
#include "platform/key_value_store.h"
#include "platform/process.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// The windows start-up opens. The Qt implementation runs each modally on the
// user-interface thread; tests record the calls.
class StartupWindows {
  public:
    virtual ~StartupWindows() = default;
    virtual void runUninstaller() = 0;
    // The agreement window; true when the user agrees.
    virtual bool runAgreement() = 0;
    // The installer (with its full-screen backdrop).
    virtual void runInstaller() = 0;
    // Mode Choice: sets mode and showModeChoice in the record. False when the user closed
    // it with its close box, which ends the process.
    virtual bool runModeChoice(SettingsRecord& settings) = 0;
    // The mode windows. Each saves the settings when it closes; the result is the exit code.
    virtual int runPacketMode(SettingsRecord& settings, const std::string& settingsPath) = 0;
    virtual int runFileMode(SettingsRecord& settings, const std::string& settingsPath) = 0;
    // The default dialog colours (0x00BBGGRR), used when useWindowsColors is off.
    virtual void setDialogColors(unsigned background, unsigned text) = 0;
};

struct StartupServices {
    UserPrompt& prompt;
    KeyValueStore& store;
    ProgramLauncher& launcher;
    StartupWindows& windows;
    std::function<std::optional<std::string>()> executablePath = runningExecutablePath;
};

class CaptureApp {
  public:
    static constexpr int kFatalExitCode = -1;

    explicit CaptureApp(StartupServices services) : m_services(std::move(services)) {}

    // Runs start-up with the text after the program name and returns the process's exit
    // code. User-interface thread.
    int run(std::string_view commandLine);

    // The process's one settings record (valid once the settings were loaded).
    SettingsRecord& settings() { return m_settings; }
    const std::string& settingsPath() const { return m_settingsPath; }

  private:
    enum class InstallCheck { InstalledCopy, FirstRun, Exit, Fatal };
    InstallCheck checkInstalledCopy();
    int firstRun();
    int normalRun(bool packetMode, bool fileMode);
    int fatal(const char* text);

    StartupServices m_services;
    SettingsRecord m_settings;
    std::string m_settingsPath;
};

// Joins command-line arguments with single spaces, as the text after the program name.
std::string JoinArguments(int argc, const char* const* argv);

}  // namespace vorlanx
