#include "capture/mode_switch.h"

#include "settings/settings_file.h"

namespace vorlanx {
namespace {

constexpr const char* kSwitchCaption = "Switch modes?";

const char* modeName(CaptureMode target) {
    return target == CaptureMode::File ? "File Mode" : "Packet Mode";
}

}  // namespace

std::string ModeSwitchQuestion(CaptureMode target) {
    if (target == CaptureMode::File)
        return "Switching to File Mode will cancel the current operation (Packet Mode).\r\n"
               "All unsaved packets will be lost.\r\n\r\n"
               "Are you sure you wish to switch modes?";
    return "Switching to Packet Mode will cancel the current operation (File Mode).\r\n\r\n"
           "Are you sure you wish to switch modes?";
}

std::vector<std::string> ModeSwitchArguments(CaptureMode target) {
    return {"/NoInstall", target == CaptureMode::File ? "/File_Mode" : "/Packet_Mode"};
}

ModeSwitchOutcome ModeSwitch::run(CaptureMode target, SettingsRecord& settings,
                                  const std::string& settingsPath, const ModeSwitchSteps& steps) {
    const PromptAnswer answer =
        m_prompt.ask(PromptRequest{kSwitchCaption, ModeSwitchQuestion(target), PromptButtons::YesNo,
                                   PromptIcon::Question, true});
    if (answer != PromptAnswer::Yes)
        return ModeSwitchOutcome::Declined;

    if (steps.storeControls)
        steps.storeControls();
    // A failed write is not reported here: the close sequence writes the file once more.
    SaveSettings(settings, settingsPath);

    const std::optional<std::string> executable = m_executablePath();
    if (!executable || !m_launcher.start(*executable, ModeSwitchArguments(target))) {
        // The window stays open, so nothing it holds (unsaved packets, a running capture)
        // is lost to a switch that cannot happen.
        const std::string cause = executable ? "\"" + *executable + "\" could not be run"
                                             : "the path of the running program could not be read";
        m_prompt.ask(PromptRequest{"",
                                   std::string("Could not start the program in ") +
                                       modeName(target) + ": " + cause +
                                       ".\r\n\r\nThe current mode stays open.",
                                   PromptButtons::Ok, PromptIcon::Warning, true});
        return ModeSwitchOutcome::StartFailed;
    }

    if (steps.closeSequence)
        steps.closeSequence();
    return ModeSwitchOutcome::Switched;
}

}  // namespace vorlanx
