// Installing and removing the program on a Linux desktop: the program copies itself into
// an installation directory, writes its menu and desktop entries and its two keys, and
// asks for the capture permission; removal takes the entries and the uninstall key away
// and leaves the files to a script that runs once this process has ended.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/key_value_store.h"
#include "platform/process.h"
#include "platform/user_prompt.h"

namespace vorlanx {

inline constexpr const char* kInstalledFileName = "BrindlecraftVORLANXv1.5";
inline constexpr const char* kInstalledSettingsName = "BrindlecraftVORLANXv1.5.BCS";
inline constexpr const char* kInstalledIconName = "BrindlecraftVORLANXv1.5.png";
inline constexpr const char* kEntryFileName = "Brindlecraft VORLANX 1.5.desktop";
inline constexpr const char* kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brindlecraft VORLANX 1.5";
// Our own value in the uninstall key: every directory an install created, one per line
// (with the string escapes of a desktop entry, so that any name survives), kept across
// re-installs, so removal takes away exactly those.
inline constexpr const char* kCreatedDirectoriesValue = "VORLANX: Created Directories";
inline constexpr const char* kRemovalScriptName = "Brindlecraft VORLANX1.5.sh";
// The window class the desktop matches the entry's StartupWMClass against.
inline constexpr const char* kWindowClass = "BrindlecraftVORLANXv1.5";

// Where things go on this machine. Tests point every folder into a temporary tree.
struct InstallPlaces {
    std::string home;        // $HOME, no trailing "/"
    std::string currentDir;  // what a relative directory is taken against
    std::string userMenu;    // $XDG_DATA_HOME/applications/ (default ~/.local/share/...)
    // The desktop folder user-dirs.dirs names, when that folder exists.
    std::optional<std::string> userDesktop;
    std::string allUsersMenu = "/usr/local/share/applications/";
    std::string tempDir;  // $TMPDIR, else /tmp/

    // From the environment and $XDG_CONFIG_HOME/user-dirs.dirs.
    static InstallPlaces fromEnvironment();
};

// "$HOME/.local/opt/Brindlecraft VORLANX 1.5/", expanded.
std::string DefaultInstallDirectory(const InstallPlaces& places);

// The directory as typed in the installer made usable: "~" and "~/" are the home
// directory, a relative path is taken against currentDir, and it ends with one "/".
std::string NormaliseInstallDirectory(std::string_view typed, const InstallPlaces& places);

// True when both paths name the same existing file (device and inode), whatever their
// spelling.
bool SameFile(const std::string& a, const std::string& b);

// The capture permission (cap_net_raw+ep) on the installed file; tests give a fake.
class CapturePermission {
  public:
    virtual ~CapturePermission() = default;
    // True when the file may now capture.
    virtual bool grant(const std::string& path) = 0;
};

// Sets the file capability directly when this process may, else through
// "pkexec setcap cap_net_raw+ep <path>" when pkexec is there. Refuses on a nosuid mount.
class SystemCapturePermission final : public CapturePermission {
  public:
    bool grant(const std::string& path) override;
};

// The state of the installer window's controls when 1073 is pressed.
struct InstallRequest {
    std::string directory;  // text of 1069
    bool desktopEntry = true;  // 1070
    bool menuEntry = true;     // 1071
    bool runWhenDone = true;   // 1072
    bool allUsers = false;     // 1074
    std::string runningExecutable;  // full path of the running executable
    std::vector<unsigned char> iconPng;  // the product logo, written beside the executable
};

struct InstallOutcome {
    bool succeeded = false;
    // On a failure: what 1069 is reset to (the default directory).
    std::string directoryText;
    std::string installedPath;
};

// The installation: directory, copy (to a temporary name beside the target, then renamed;
// nothing when the running file already is the target), icon, entries, keys, capture
// permission; then the completion message and, when asked, the installed copy started with
// " NoInstall" in the installation directory. Every message goes through `prompt`: the copy
// failure, one message for a missing permission or entries not written, the completion.
// User-interface thread (it blocks while it copies).
InstallOutcome RunInstallation(const InstallRequest& request, const InstallPlaces& places,
                               KeyValueStore& store, CapturePermission& permission,
                               ProgramLauncher& launcher, UserPrompt& prompt);

// The desktop entry for an installed executable (Desktop Entry escaping throughout).
std::string DesktopEntryText(const std::string& installedPath, const std::string& iconPath);

// The removal script: waits for process `pid` to end, removes the executable, settings
// file and icon in `directory`, then each of `createdDirectories` deepest first (rmdir
// only), then itself and its private folder. Every path single-quoted.
std::string RemovalScriptText(const std::string& directory,
                              const std::vector<std::string>& createdDirectories, pid_t pid);

// The removal: the uninstall key and the entries go at once (failures ignored); the
// script is written into a private folder under tempDir and started with `sh`, or
// "Un-able to remove executable file" is shown. The installed directory is the one the
// uninstall key names, else the running executable's. The caller then ends the process
// with 0.
void RunUninstallation(const InstallPlaces& places, KeyValueStore& store,
                       const std::string& runningExecutable, pid_t pid,
                       ProgramLauncher& launcher, UserPrompt& prompt);

}  // namespace vorlanx
