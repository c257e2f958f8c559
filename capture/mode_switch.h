// Switching between Packet Mode and File Mode: a new copy of the program is started in the
// other mode and the current mode window closes. There is no switch inside one process.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_record.h"
#include "platform/process.h"
#include "platform/user_prompt.h"

namespace vorlanx {

enum class ModeSwitchOutcome {
    Declined,     // the user answered No; nothing changed
    Switched,     // the new copy was started and the caller's close sequence has run
    StartFailed,  // the new copy could not be started; the user was told, the window stays
};

// The question asked before switching to `target` (caption "Switch modes?").
std::string ModeSwitchQuestion(CaptureMode target);

// The command-line arguments of the new copy: "/NoInstall" and the mode option.
std::vector<std::string> ModeSwitchArguments(CaptureMode target);

// What the mode window hands over: its own steps, run on the user-interface thread.
struct ModeSwitchSteps {
    // Puts the window's control values into the settings record (may be empty).
    std::function<void()> storeControls;
    // The window's save-and-close sequence; ends the window (and with it the process).
    std::function<void()> closeSequence;
};

class ModeSwitch {
  public:
    using ExecutablePath = std::function<std::optional<std::string>()>;

    // prompt asks the question and reports a failed start; launcher starts the new copy;
    // executablePath gives the running executable (/proc/self/exe by default).
    ModeSwitch(UserPrompt& prompt, ProgramLauncher& launcher,
               ExecutablePath executablePath = runningExecutablePath)
        : m_prompt(prompt), m_launcher(launcher), m_executablePath(std::move(executablePath)) {}

    // The Mode > Change command. Asks the question (Yes / No, question icon, owned by the
    // mode window); on Yes stores the window's controls, writes the settings file (so the
    // new copy reads the current settings and the two processes never write it at once),
    // starts the running executable with ModeSwitchArguments(target) and then runs the
    // close sequence. When the new copy cannot be started the user is told and the current
    // window stays open with everything it holds. User-interface thread.
    ModeSwitchOutcome run(CaptureMode target, SettingsRecord& settings,
                          const std::string& settingsPath, const ModeSwitchSteps& steps);

  private:
    UserPrompt& m_prompt;
    ProgramLauncher& m_launcher;
    ExecutablePath m_executablePath;
};

}  // namespace vorlanx
