// The windows start-up opens, on the user-interface thread.
#pragma once

#include "app/capture_app.h"
#include "capture/ui/mode_window.h"

namespace vorlanx {

class QtStartupWindows final : public StartupWindows {
  public:
    QtStartupWindows(UserPrompt& prompt, KeyValueStore& store, ProgramLauncher& launcher)
        : m_prompt(prompt), m_store(store), m_launcher(launcher) {}

    void runUninstaller() override;
    bool runAgreement() override;
    void runInstaller() override;
    bool runModeChoice(SettingsRecord& settings) override;
    int runPacketMode(SettingsRecord& settings, const std::string& settingsPath) override;
    int runFileMode(SettingsRecord& settings, const std::string& settingsPath) override;
    void setDialogColors(unsigned background, unsigned text) override;

  private:
    // Help > About of both mode windows.
    AboutOpener aboutOpener();
    UserPrompt& m_prompt;
    KeyValueStore& m_store;
    ProgramLauncher& m_launcher;
};

}  // namespace vorlanx
