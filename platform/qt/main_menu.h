// The main menu both mode windows share: File, Settings, Mode and Help, each command
// tagged with its id.
#pragma once

#include <functional>

class QMenuBar;
class QObject;

namespace vorlanx {

namespace main_menu_ids {
inline constexpr int kOpenCaptureFile = 57601;
inline constexpr int kSave = 57603;
inline constexpr int kExit = 32774;
inline constexpr int kNetworkInterface = 32780;
inline constexpr int kGeneral = 32789;
inline constexpr int kChangeMode = 32793;
inline constexpr int kHelp = 32778;
inline constexpr int kAbout = 32779;
}  // namespace main_menu_ids

// What each command does in the window; an empty one is shown disabled (a window that
// has nothing to do for it, or whose window is not built yet).
struct MainMenuCommands {
    // File's first item, reading a capture file (Ctrl+O): only a window that can read one
    // has it, under the window's own text.
    const char* openCaptureFileText = "Open capture file...";
    std::function<void()> openCaptureFile;
    std::function<void()> save;
    std::function<void()> exit;
    std::function<void()> networkInterface;
    std::function<void()> general;
    std::function<void()> changeMode;
    std::function<void()> help;
    std::function<void()> about;
};

// Fills `bar` with the shared menu; the commands run in `context` (the window), on the
// user-interface thread.
void BuildMainMenu(QMenuBar* bar, QObject* context, const MainMenuCommands& commands);

// Enables or greys the menu command with control id `id`, when the bar has it.
void EnableMainMenuCommand(QMenuBar* bar, int id, bool enabled);

}  // namespace vorlanx
