// The windows start-up opens, on the user-interface thread.
#pragma once

#include "app/capture_app.h"
#include "capture/ui/mode_window.h"

namespace vorlanx {

class QtStartupWindows final : public StartupWindows {
  public:
    explicit QtStartupWindows(UserPrompt& prompt) : m_prompt(prompt) {}

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
    // TODO: each window below arrives with its own change; until then the user is told
    // plainly that this build does not have it.
    void notBuiltYet(const char* what);
    UserPrompt& m_prompt;
};

}  // namespace vorlanx
