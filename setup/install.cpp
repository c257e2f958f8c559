#include "setup/install.h"

#include <endian.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>

#include "platform/output_file.h"
#include "settings/product.h"

extern char** environ;

namespace vorlanx {

namespace {

const char* const kCopyFailedText =
    "There was an error copying a file, make sure the destination disk is not full and is not "
    "write protected.";
const char* const kRemovalFailedText = "Un-able to remove executable file";
const char* const kAppPathValue = "Inno Setup: App Path";
const char* const kCapabilityAttribute = "security.capability";

// `folder` and `name` with exactly the one "/" between them that `folder` may lack.
std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

// The path without its trailing "/" (the root stays "/").
std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The folder holding `path`, without a trailing "/".
std::string ParentDirectory(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The Desktop Entry string escapes: a character and the letter that stands for it after "\".
constexpr std::pair<char, char> kStringEscapes[] = {
    {'\\', '\\'}, {'\n', 'n'}, {'\r', 'r'}, {'\t', 't'}, {' ', 's'}};

// A Desktop Entry string value: "\", line breaks, tabs and a leading space escaped.
std::string DesktopString(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto* escape = std::find_if(std::begin(kStringEscapes), std::end(kStringEscapes),
                                          [&](const auto& e) { return e.first == text[i]; });
        if (escape == std::end(kStringEscapes) || (text[i] == ' ' && i > 0))
            out += text[i];
        else
            out += {'\\', escape->second};
    }
    return out;
}

// The text a DesktopString stands for.
std::string DesktopStringValue(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto* escape = std::end(kStringEscapes);
        if (text[i] == '\\' && i + 1 < text.size()) {
            escape = std::find_if(std::begin(kStringEscapes), std::end(kStringEscapes),
                                  [&](const auto& e) { return e.second == text[i + 1]; });
        }
        if (escape == std::end(kStringEscapes)) {
            out += text[i];
        } else {
            out += escape->first;
            ++i;
        }
    }
    return out;
}

// One Exec argument before the string escaping: "%" doubled, and an argument holding a
// reserved character put in double quotes with ", `, $ and \ escaped inside them.
std::string ExecArgument(const std::string& argument) {
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = argument.empty() || argument.find_first_of(kReserved) != std::string::npos;
    std::string out = quote ? "\"" : "";
    for (char c : argument) {
        if (c == '%')
            out += '%';
        else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += '\\';
        out += c;
    }
    return quote ? out + "\"" : out;
}

// Makes every directory of the chain that is missing ("/a/b/c/": /a, /a/b, /a/b/c) and
// returns the ones it made, outermost first. Failures are left to the caller's next step.
std::vector<std::string> CreateDirectoryChain(const std::string& directory) {
    std::vector<std::string> created;
    const std::string full = JoinPath(directory, "");
    for (size_t i = 1; i < full.size(); ++i) {
        if (full[i] != '/' || full[i - 1] == '/')
            continue;
        const std::string prefix = full.substr(0, i);
        if (::mkdir(prefix.c_str(), 0755) == 0)
            created.push_back(prefix);
    }
    return created;
}

// rmdir only: directories that hold anything stay.
void RemoveEmptyDirectories(std::vector<std::string> directories) {
    std::reverse(directories.begin(), directories.end());
    for (const auto& d : directories)
        ::rmdir(d.c_str());
}

bool CopyFrom(const std::string& source, int to) {
    const int from = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0)
        return false;
    std::vector<char> buffer(1 << 20);
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!WriteAll(to, std::string_view(buffer.data(), static_cast<size_t>(n)))) {
            ok = false;
            break;
        }
    }
    ::close(from);
    return ok;
}

bool ReplaceFileWith(const std::string& target, mode_t mode, std::string_view bytes) {
    return ReplaceFile(target, mode, [&](int fd) { return WriteAll(fd, bytes); });
}

bool OnNosuidMount(const std::string& path) {
    struct statvfs fs {};
    return ::statvfs(path.c_str(), &fs) == 0 && (fs.f_flag & ST_NOSUID) != 0;
}

// The created-directories value: one directory a line, escaped as a desktop entry's
// strings are, so that any directory name survives.
std::string EncodeDirectories(const std::vector<std::string>& directories) {
    std::string text;
    for (const auto& d : directories)
        text += DesktopString(d) + "\n";
    return text;
}

std::vector<std::string> DecodeDirectories(const std::string& text) {
    std::vector<std::string> directories;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        if (end > start)
            directories.push_back(DesktopStringValue(text.substr(start, end - start)));
        start = end + 1;
    }
    return directories;
}

std::optional<std::string> FindProgram(const std::string& name, std::string searchPath) {
    if (const char* path = std::getenv("PATH"))
        searchPath = std::string(path) + ":" + searchPath;
    size_t start = 0;
    while (start <= searchPath.size()) {
        size_t end = searchPath.find(':', start);
        if (end == std::string::npos)
            end = searchPath.size();
        const std::string folder = searchPath.substr(start, end - start);
        if (!folder.empty() && folder[0] == '/') {
            const std::string candidate = JoinPath(folder, name);
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

// Runs the program and waits for it: true when it exits with 0.
bool RunAndWait(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const auto& a : command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Value(const std::optional<KeyValueStore::Values>& values, const char* name) {
    if (!values)
        return {};
    const auto it = values->find(name);
    return it == values->end() ? std::string() : it->second;
}

// The one message after a good copy when the program cannot capture yet or an entry the
// user asked for is missing; empty when all is well.
std::string ShortcomingsText(const std::string& installedPath, bool nosuid, bool permitted,
                             const std::vector<std::string>& notWritten,
                             const std::string& noDesktop) {
    std::string text;
    auto paragraph = [&](const std::string& p) { text += (text.empty() ? "" : "\n\n") + p; };
    if (!permitted) {
        const std::string command = "sudo setcap cap_net_raw+ep " + ShellQuoted(installedPath);
        paragraph(nosuid ? "The installation directory is on a file system mounted with "
                           "nosuid, where the permission to capture packets has no effect. "
                           "Install into another directory, or remount it without nosuid "
                           "and run:\n\n" +
                               command
                         : "Brindlecraft VORLANX 1.5 could not be given the permission to "
                           "capture packets (cap_net_raw). To give it, run:\n\n" +
                               command);
    }
    if (!noDesktop.empty())
        paragraph(noDesktop);
    if (!notWritten.empty()) {
        std::string list = "These entries could not be written:";
        for (const auto& path : notWritten)
            list += "\n" + path;
        paragraph(list);
    }
    return text;
}

// The removal script in a folder of its own under tempDir, made so that nothing planted
// there beforehand is followed; the script's path, or nothing (and nothing left behind).
std::optional<std::string> WriteRemovalScript(const std::string& tempDir, const std::string& text) {
    std::string folder = JoinPath(tempDir, "vorlanx-removal-XXXXXX");
    if (!::mkdtemp(folder.data()))
        return std::nullopt;
    const std::string script = JoinPath(folder, kRemovalScriptName);
    const int fd =
        ::open(script.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    bool ok = fd >= 0 && WriteAll(fd, text);
    if (fd >= 0)
        ok = ::close(fd) == 0 && ok;
    if (ok)
        return script;
    ::unlink(script.c_str());
    ::rmdir(folder.c_str());
    return std::nullopt;
}

}  // namespace

InstallPlaces InstallPlaces::fromEnvironment() {
    auto env = [](const char* name) -> std::string {
        const char* v = std::getenv(name);
        return v && v[0] == '/' ? v : "";
    };
    InstallPlaces places;
    places.home = env("HOME");
    if (places.home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            places.home = pw->pw_dir;
    }
    places.home = WithoutTrailingSlash(places.home.empty() ? "/" : places.home);
    if (places.home == "/")
        places.home.clear();  // so that home + "/..." stays one slash

    std::vector<char> cwd(4096);
    while (!::getcwd(cwd.data(), cwd.size()) && errno == ERANGE)
        cwd.resize(cwd.size() * 2);
    places.currentDir = cwd[0] == '/' ? cwd.data() : "/";

    const std::string data = env("XDG_DATA_HOME");
    places.userMenu =
        JoinPath(data.empty() ? places.home + "/.local/share" : data, "applications/");

    // user-dirs.dirs: XDG_DESKTOP_DIR="$HOME/Desktop" or an absolute path.
    const std::string config = env("XDG_CONFIG_HOME");
    std::ifstream dirs(
        JoinPath(config.empty() ? places.home + "/.config" : config, "user-dirs.dirs"));
    std::string desktop = places.home + "/Desktop";
    for (std::string line; std::getline(dirs, line);) {
        const std::string key = "XDG_DESKTOP_DIR=\"";
        if (!line.starts_with(key) || line.size() < key.size() + 1 || line.back() != '"')
            continue;
        std::string value;
        for (size_t i = key.size(); i + 1 < line.size(); ++i)
            value += line[i] == '\\' && i + 2 < line.size() ? line[++i] : line[i];
        if (value.starts_with("$HOME"))
            desktop = places.home + value.substr(5);
        else if (value.starts_with("/"))
            desktop = value;
    }
    struct stat st {};
    if (::stat(desktop.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        places.userDesktop = JoinPath(desktop, "");

    const std::string temp = env("TMPDIR");
    places.tempDir = JoinPath(temp.empty() ? "/tmp" : temp, "");
    return places;
}

std::string DefaultInstallDirectory(const InstallPlaces& places) {
    return places.home + "/.local/opt/" + kProductName + " " + kProductVersion + "/";
}

std::string NormaliseInstallDirectory(std::string_view typed, const InstallPlaces& places) {
    std::string path(typed);
    if (path == "~")
        path = places.home + "/";
    else if (path.starts_with("~/"))
        path = places.home + path.substr(1);
    else if (!path.starts_with("/"))
        path = JoinPath(places.currentDir, path);
    return JoinPath(WithoutTrailingSlash(path), "");
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool SystemCapturePermission::grant(const std::string& path) {
    if (OnNosuidMount(path))
        return false;
    vfs_cap_data caps{};
    caps.magic_etc = htole32(VFS_CAP_REVISION_2 | VFS_CAP_FLAGS_EFFECTIVE);
    caps.data[0].permitted = htole32(CAP_TO_MASK(CAP_NET_RAW));
    if (::setxattr(path.c_str(), kCapabilityAttribute, &caps, XATTR_CAPS_SZ_2, 0) == 0)
        return true;
    // Not ours to set: ask the desktop's authentication agent to run setcap.
    const auto pkexec = FindProgram("pkexec", "");
    const auto setcap = FindProgram("setcap", "/usr/sbin:/sbin");
    return pkexec && setcap && RunAndWait({*pkexec, *setcap, "cap_net_raw+ep", path});
}

std::string DesktopEntryText(const std::string& installedPath, const std::string& iconPath) {
    const std::string name = std::string(kProductName) + " " + kProductVersion;
    const std::string exec = DesktopString(ExecArgument(installedPath));
    // clang-format off
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" + DesktopString(name) + "\n"
           "Comment=" + DesktopString(kProductName) + "\n"
           "Exec=" + exec + "\n"
           "Icon=" + DesktopString(iconPath) + "\n"
           "Categories=Network;\n"
           "StartupWMClass=" + DesktopString(kWindowClass) + "\n"
           "Terminal=false\n"
           "Actions=Uninstall;\n"
           "\n"
           "[Desktop Action Uninstall]\n"
           "Name=Uninstall\n"
           "Exec=" + exec + " UnInstall\n";
    // clang-format on
}

std::string RemovalScriptText(const std::string& directory,
                              const std::vector<std::string>& createdDirectories, pid_t pid) {
    std::string text =
        std::string("# - File created by ") + kProductName + " " + kProductVersion + "\n";
    // Process group 0 and -1 would never end: only a real process is waited for.
    if (pid > 0)
        text += "while kill -0 " + std::to_string(pid) + " 2>/dev/null; do sleep 1; done\n";
    for (const char* name : {kInstalledFileName, kInstalledSettingsName, kInstalledIconName})
        text += "rm -f -- " + ShellQuoted(JoinPath(directory, name)) + "\n";

    std::vector<std::string> deepestFirst = createdDirectories;
    auto depth = [](const std::string& d) { return std::count(d.begin(), d.end(), '/'); };
    std::stable_sort(
        deepestFirst.begin(), deepestFirst.end(),
        [&](const std::string& a, const std::string& b) { return depth(a) > depth(b); });
    for (const auto& d : deepestFirst)
        text += "rmdir -- " + ShellQuoted(d) + " 2>/dev/null\n";
    text += "rm -f -- \"$0\"\n";
    text += "rmdir -- \"$(dirname -- \"$0\")\"\n";
    return text;
}

InstallOutcome RunInstallation(const InstallRequest& request, const InstallPlaces& places,
                               KeyValueStore& store, CapturePermission& permission,
                               ProgramLauncher& launcher, UserPrompt& prompt) {
    const std::string directory = NormaliseInstallDirectory(request.directory, places);
    const std::string target = directory + kInstalledFileName;
    const std::vector<std::string> created = CreateDirectoryChain(directory);

    const bool copied =
        SameFile(request.runningExecutable, target) ||
        ReplaceFile(target, 0755, [&](int fd) { return CopyFrom(request.runningExecutable, fd); });
    if (!copied) {
        RemoveEmptyDirectories(created);  // this attempt leaves nothing behind
        prompt.tell(kProductName, kCopyFailedText);
        return {false, DefaultInstallDirectory(places), {}};
    }

    const std::string iconPath = directory + kInstalledIconName;
    if (!request.iconPng.empty()) {
        ReplaceFileWith(iconPath, 0644,
                        std::string_view(reinterpret_cast<const char*>(request.iconPng.data()),
                                         request.iconPng.size()));
    }

    // Entries: a failure is named in the one message below instead of stopping the install.
    const std::string entry = DesktopEntryText(target, iconPath);
    std::vector<std::string> notWritten;
    std::string noDesktop;
    if (request.desktopEntry) {
        if (request.allUsers) {
            noDesktop = "There is no desktop for all users, so no desktop entry was written.";
        } else if (!places.userDesktop) {
            noDesktop = "There is no desktop folder, so no desktop entry was written.";
        } else {
            // Executable, so that desktops trust the entry and start it.
            const std::string path = JoinPath(*places.userDesktop, kEntryFileName);
            if (!ReplaceFileWith(path, 0755, entry))
                notWritten.push_back(path);
        }
    }
    if (request.menuEntry) {
        const std::string& folder = request.allUsers ? places.allUsersMenu : places.userMenu;
        CreateDirectoryChain(folder);  // a shared folder: not ours to remove later
        const std::string path = JoinPath(folder, kEntryFileName);
        if (!ReplaceFileWith(path, 0644, entry))
            notWritten.push_back(path);
    }

    store.writeValue(kInstallKey, kInstalledPathValue, target);
    store.writeValue(kInstallKey, kInstalledVersionValue, kProductVersion);
    std::vector<std::string> allCreated =
        DecodeDirectories(Value(store.readKey(kUninstallKey), kCreatedDirectoriesValue));
    for (const auto& d : created) {
        if (std::find(allCreated.begin(), allCreated.end(), d) == allCreated.end())
            allCreated.push_back(d);
    }
    const std::string product = std::string(kProductName) + " " + kProductVersion;
    const std::pair<const char*, std::string> values[] = {
        {"DisplayName", product},
        {"UninstallString", target + " UnInstall"},
        {"DisplayIcon", target},
        {kAppPathValue, WithoutTrailingSlash(directory)},
        {"Publisher", "Brindlecraft"},
        {"HelpLink", kMakerWebAddress},
        {kCreatedDirectoriesValue, EncodeDirectories(allCreated)},
    };
    for (const auto& [name, value] : values)
        store.writeValue(kUninstallKey, name, value);

    const bool nosuid = OnNosuidMount(directory);
    const bool permitted = !nosuid && permission.grant(target);
    const std::string shortcomings =
        ShortcomingsText(target, nosuid, permitted, notWritten, noDesktop);
    if (!shortcomings.empty())
        prompt.tell(kProductName, shortcomings, PromptIcon::Warning);

    prompt.tell("Installation Successful", "Installation of " + product + " is now complete.");
    if (request.runWhenDone)
        launcher.startIn(target, {" NoInstall"}, directory);
    return {true, {}, target};
}

void RunUninstallation(const InstallPlaces& places, KeyValueStore& store,
                       const std::string& runningExecutable, pid_t pid, ProgramLauncher& launcher,
                       UserPrompt& prompt) {
    const auto values = store.readKey(kUninstallKey);
    std::string directory = WithoutTrailingSlash(Value(values, kAppPathValue));
    if (directory.empty())
        directory = ParentDirectory(runningExecutable);

    // Only directories on the way to the installation directory are taken away, whatever
    // else the record holds; without a record, the installation directory itself.
    std::vector<std::string> directories;
    if (values && values->contains(kCreatedDirectoriesValue)) {
        for (const auto& d : DecodeDirectories(values->at(kCreatedDirectoriesValue))) {
            if (d == directory || directory.starts_with(JoinPath(d, "")))
                directories.push_back(d);
        }
    } else {
        directories.push_back(directory);
    }

    store.removeKey(kUninstallKey);
    std::vector<std::string> entryFolders = {places.userMenu, places.allUsersMenu};
    if (places.userDesktop)
        entryFolders.push_back(*places.userDesktop);
    for (const auto& folder : entryFolders)
        ::unlink(JoinPath(folder, kEntryFileName).c_str());

    const auto script =
        WriteRemovalScript(places.tempDir, RemovalScriptText(directory, directories, pid));
    if (script && launcher.start("/bin/sh", {*script}))
        return;
    if (script) {
        ::unlink(script->c_str());
        ::rmdir(ParentDirectory(*script).c_str());
    }
    prompt.tell(kProductName, kRemovalFailedText);
}

}  // namespace vorlanx
