#include "setup/install.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "settings/product.h"
#include "support/file_contents.h"
#include "support/recording_launcher.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

extern char** environ;

namespace vorlanx {
namespace {

namespace fs = std::filesystem;

// Space, both quotes, "$", "\", "%" and a line break in one directory name.
const std::string kAwkward = "in s'p\"a$c\\e%d\nx";
const std::string kDone = "Installation of Brindlecraft VORLANX 1.5 is now complete.";
const std::string kCopyFailed =
    "There was an error copying a file, make sure the destination disk is not full and is not "
    "write protected.";

class FakePermission final : public CapturePermission {
  public:
    bool answer = true;
    std::vector<std::string> paths;
    bool grant(const std::string& path) override {
        paths.push_back(path);
        return answer;
    }
};

// A home with its menu and desktop folders, an all-users menu, a temporary folder and the
// key store, all inside one temporary tree; `source` plays the running executable.
struct Machine {
    Machine() {
        for (const char* f : {"home/Desktop", "home/.local/share/applications",
                              "usr/share/applications", "tmp", "cwd"})
            fs::create_directories(dir.path() / f);
        places = {dir.file("home"),
                  dir.file("cwd"),
                  dir.file("home/.local/share/applications/"),
                  dir.file("home/Desktop/"),
                  dir.file("usr/share/applications/"),
                  dir.file("tmp/")};
        std::ofstream(source) << "#!/bin/sh\n: the program\n";
    }
    InstallOutcome install(const std::string& directory, bool allUsers = false) {
        InstallRequest r{directory, true, true, true, allUsers, source, {0x89, 'P', 'N', 'G'}};
        return RunInstallation(r, places, store, permission, launcher, prompt);
    }
    // Every path in the tree, relative and sorted.
    std::vector<std::string> tree() const {
        std::vector<std::string> paths;
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            paths.push_back(e.path().lexically_relative(dir.path()).string());
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    test::TempDir dir;
    InstallPlaces places;
    std::string source = dir.file("vorlanx");
    FileKeyValueStore store{dir.file("home/.local/share/Brindlecraft")};
    FakePermission permission;
    test::RecordingLauncher launcher;
    test::ScriptedPrompt prompt;
};

// A child that ends by itself a moment later; the caller reaps it.
pid_t ShortLivedChild() {
    const char* argv[] = {"/bin/sleep", "0.3", nullptr};
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    return pid;
}

TEST(InstallPaths, TypedDirectoriesAndFileIdentity) {
    test::TempDir dir;
    InstallPlaces places;
    places.home = "/home/u";
    places.currentDir = "/work/here";
    // clang-format off
    const std::pair<const char*, const char*> typed[] = {
        {"~/", "/home/u/"}, {"~", "/home/u/"}, {"~/a b", "/home/u/a b/"}, {"/abs", "/abs/"},
        {"/abs//", "/abs/"}, {"rel/dir", "/work/here/rel/dir/"}, {"~u/x", "/work/here/~u/x/"}};
    // clang-format on
    for (const auto& [text, expected] : typed)
        EXPECT_EQ(NormaliseInstallDirectory(text, places), expected) << text;
    EXPECT_EQ(DefaultInstallDirectory(places), "/home/u/.local/opt/Brindlecraft VORLANX 1.5/");

    const std::string file = dir.file("f");
    for (const char* name : {"f", "twin"})
        std::ofstream(dir.file(name)) << "x";
    fs::create_symlink(file, dir.file("sym"));
    fs::create_hard_link(file, dir.file("hard"));
    for (const auto& [other, same] : std::initializer_list<std::pair<const char*, bool>>{
             {"sym", true}, {"hard", true}, {"./f", true}, {"twin", false}, {"F", false}})
        EXPECT_EQ(SameFile(file, dir.file(other)), same) << other;
    EXPECT_FALSE(SameFile(dir.file("missing"), dir.file("missing")));
}

TEST(InstallPaths, PlacesComeFromTheEnvironmentAndUserDirs) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "home/Schreib tisch");
    fs::create_directories(dir.path() / "config");
    std::ofstream(dir.file("config/user-dirs.dirs"))
        << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreib tisch\"\n";
    const std::pair<const char*, std::string> variables[] = {
        {"HOME", dir.file("home/")},
        {"XDG_DATA_HOME", dir.file("data")},
        {"XDG_CONFIG_HOME", dir.file("config")},
        {"TMPDIR", dir.file("t")}};
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    for (const auto& [name, value] : variables) {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value.c_str(), 1);
    }
    const InstallPlaces places = InstallPlaces::fromEnvironment();
    for (const auto& [name, old] : saved)
        old ? setenv(name, old->c_str(), 1) : unsetenv(name);

    EXPECT_EQ(places.home, dir.file("home"));
    EXPECT_EQ(places.userMenu, dir.file("data/applications/"));
    EXPECT_EQ(places.userDesktop, dir.file("home/Schreib tisch/"));
    EXPECT_EQ(places.allUsersMenu, "/usr/local/share/applications/");
    EXPECT_EQ(places.tempDir, dir.file("t/"));
}

TEST(DesktopEntry, EscapesAwkwardPathsAndTheValidatorAcceptsIt) {
    EXPECT_EQ(DesktopEntryText("/opt/v/BrindlecraftVORLANXv1.5", "/opt/v/i.png"),
              "[Desktop Entry]\nType=Application\nName=Brindlecraft VORLANX 1.5\n"
              "Comment=Brindlecraft VORLANX\nExec=/opt/v/BrindlecraftVORLANXv1.5\n"
              "Icon=/opt/v/i.png\nCategories=Network;\nStartupWMClass=BrindlecraftVORLANXv1.5\n"
              "Terminal=false\nActions=Uninstall;\n\n[Desktop Action Uninstall]\n"
              "Name=Uninstall\nExec=/opt/v/BrindlecraftVORLANXv1.5 UnInstall\n");

    test::TempDir dir;
    const std::string root = dir.path().string(), folder = root + "/" + kAwkward;
    const std::string text =
        DesktopEntryText(folder + "/BrindlecraftVORLANXv1.5", folder + "/i.png");
    const std::string exec =
        "Exec=\"" + root + R"(/in s'p\\"a\\$c\\\\e%%d\nx/BrindlecraftVORLANXv1.5")";
    for (const std::string& line :
         {exec, exec + " UnInstall", "Icon=" + root + R"(/in s'p"a$c\\e%d\nx/i.png)"})
        EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << "\nin\n" << text;

    if (std::system("command -v desktop-file-validate >/dev/null") != 0)
        GTEST_SKIP() << "desktop-file-validate is not installed";
    std::ofstream(dir.file("entry.desktop")) << text;
    const std::string check = "desktop-file-validate " + dir.file("entry.desktop");
    EXPECT_EQ(std::system((check + " >" + dir.file("said") + " 2>&1").c_str()), 0)
        << test::ReadFileBytes(dir.file("said"));
}

TEST(InstallRound, InstallsThenRemovesExactlyWhatItMade) {
    // The second round (as root) gives the real capture permission, and the user leaves a
    // file of their own in the installation directory, which therefore stays.
    for (const bool second : {false, true}) {
        SCOPED_TRACE(second ? "system permission, a decoy" : "fake permission");
        Machine m;
        const auto before = m.tree();
        const std::string home = m.places.home, directory = home + "/" + kAwkward + "/V/";
        const std::string target = directory + kInstalledFileName;
        const bool system =
            second && geteuid() == 0 && std::system("command -v getcap >/dev/null") == 0;
        SystemCapturePermission systemPermission;
        CapturePermission& permission =
            system ? static_cast<CapturePermission&>(systemPermission) : m.permission;
        InstallRequest request{"~/" + kAwkward + "/V", true,       true, true, false,
                               "/proc/self/exe",       {0x89, 'P'}};
        ASSERT_TRUE(RunInstallation(request, m.places, m.store, permission, m.launcher, m.prompt)
                        .succeeded);

        EXPECT_TRUE(test::ReadFileBytes(target) == test::ReadFileBytes("/proc/self/exe"));
        struct stat st {};
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0755u);
        EXPECT_EQ(test::ReadFileBytes(directory + kInstalledIconName), "\x89P");
        const std::string entry = DesktopEntryText(target, directory + kInstalledIconName);
        EXPECT_EQ(test::ReadFileBytes(m.places.userMenu + kEntryFileName), entry);
        EXPECT_EQ(test::ReadFileBytes(*m.places.userDesktop + kEntryFileName), entry);
        EXPECT_EQ(m.store.readKey(kInstallKey),
                  (KeyValueStore::Values{{"1.5EXENameAndPath", target}, {"1.5", "1.5"}}));
        const std::string created = home + R"(/in s'p"a$c\\e%d\nx)";
        const KeyValueStore::Values uninstall = {
            {"DisplayName", "Brindlecraft VORLANX 1.5"},
            {"UninstallString", target + " UnInstall"},
            {"DisplayIcon", target},
            {"Inno Setup: App Path", home + "/" + kAwkward + "/V"},
            {"Publisher", "Brindlecraft"},
            {"HelpLink", "https://brindlecraft.example/vorlanx/"},
            {kCreatedDirectoriesValue, created + "\n" + created + "/V\n"}};
        EXPECT_EQ(m.store.readKey(kUninstallKey), uninstall);
        EXPECT_EQ(m.prompt.texts(), std::vector<std::string>{kDone});
        EXPECT_EQ(m.prompt.asked().at(0).caption, "Installation Successful");
        EXPECT_EQ(
            m.launcher.starts,
            (std::vector<test::RecordingLauncher::Start>{{target, {" NoInstall"}, directory}}));
        EXPECT_EQ(m.permission.paths,
                  system ? std::vector<std::string>{} : std::vector<std::string>{target});
        if (system) {  // read through a plain name: capabilities belong to the file itself
            test::TempDir plain;
            fs::create_hard_link(target, plain.file("exe"));
            const std::string getcap = "getcap " + plain.file("exe") + " >" + plain.file("said");
            ASSERT_EQ(std::system(getcap.c_str()), 0);
            EXPECT_NE(test::ReadFileBytes(plain.file("said")).find("cap_net_raw=ep"),
                      std::string::npos);
        }

        // The installed copy over itself, by another spelling: nothing copied, record kept.
        request.runningExecutable = home + "/" + kAwkward + "/./V/" + kInstalledFileName;
        ASSERT_TRUE(RunInstallation(request, m.places, m.store, permission, m.launcher, m.prompt)
                        .succeeded);
        struct stat again {};
        ASSERT_EQ(stat(target.c_str(), &again), 0);
        EXPECT_EQ(again.st_ino, st.st_ino);
        EXPECT_EQ(m.store.readKey(kUninstallKey), uninstall);
        if (second)
            std::ofstream(directory + "decoy") << "mine";

        // Removal from another copy (this test program): the key names the directory, and
        // the script waits for the process it is given.
        const pid_t child = ShortLivedChild();
        SpawnProgramLauncher launcher;
        RunUninstallation(m.places, m.store, "/proc/self/exe", child, launcher, m.prompt);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_TRUE(fs::exists(target));
        ASSERT_EQ(waitpid(child, nullptr, 0), child);
        ASSERT_TRUE(test::WaitUntil([&] { return fs::is_empty(m.dir.path() / "tmp"); },
                                    std::chrono::seconds(15), std::chrono::milliseconds(20)));
        auto expected = before;  // plus the product key, which stays
        for (std::string p = "home/.local/share/Brindlecraft";
             const char* more : {"", "/SOFTWARE", "/Brindlecraft", "/VORLANX.values"})
            expected.push_back(p += more);
        for (std::string p = "home/" + kAwkward; const char* more : {"", "/V", "/decoy"})
            if (second)
                expected.push_back(p += more);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(m.tree(), expected);
        EXPECT_EQ(m.prompt.texts().size(), 2u);
    }
}

TEST(RunInstallation, AFailedCopyRegistersNothingAndKeepsTheEarlierInstall) {
    const std::pair<const char*, std::function<std::string(Machine&)>> rows[] = {
        {"a directory under a file", [](Machine& m) { return m.source + "/sub/"; }},
        {"the target is a directory",
         [](Machine& m) {
             fs::create_directories(m.dir.path() / "t" / kInstalledFileName / "inside");
             return m.dir.file("t");
         }},
        {"an unreadable running executable: the new directories go again", [](Machine& m) {
             m.source = m.dir.file("gone");
             return std::string("~/new/dir");
         }}};
    for (const auto& [name, badDirectory] : rows) {
        SCOPED_TRACE(name);
        Machine m;
        ASSERT_TRUE(m.install("~/good").succeeded);
        const std::string bad = badDirectory(m);
        const auto tree = m.tree();
        const auto keys = std::pair(m.store.readKey(kInstallKey), m.store.readKey(kUninstallKey));
        m.launcher.starts.clear();

        const InstallOutcome outcome = m.install(bad);
        EXPECT_FALSE(outcome.succeeded);
        EXPECT_EQ(outcome.directoryText, DefaultInstallDirectory(m.places));
        EXPECT_EQ(m.prompt.texts(), (std::vector<std::string>{kDone, kCopyFailed}));
        EXPECT_EQ(m.prompt.asked().back().caption, "Brindlecraft VORLANX");
        EXPECT_EQ(m.tree(), tree);  // no temporary left, the earlier files whole
        EXPECT_EQ(std::pair(m.store.readKey(kInstallKey), m.store.readKey(kUninstallKey)), keys);
        EXPECT_TRUE(m.launcher.starts.empty());
    }
}

TEST(RunInstallation, OneMessageNamesWhatIsMissingAndTheSetcapCommand) {
    Machine m;
    m.permission.answer = false;
    EXPECT_TRUE(m.install("~/it's", true).succeeded);
    // All users: the menu entry in the all-users menu, and no desktop entry anywhere.
    EXPECT_TRUE(fs::exists(m.places.allUsersMenu + kEntryFileName));
    EXPECT_FALSE(fs::exists(m.places.userMenu + kEntryFileName));
    EXPECT_FALSE(fs::exists(*m.places.userDesktop + kEntryFileName));
    const auto texts = m.prompt.texts();
    ASSERT_EQ(texts.size(), 2u);
    const std::string command =
        "sudo setcap cap_net_raw+ep '" + m.places.home + "/it'\\''s/" + kInstalledFileName + "'";
    EXPECT_NE(texts[0].find(command), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find("There is no desktop for all users"), std::string::npos);
    EXPECT_EQ(texts[1], kDone);

    // The capture permission given, but the menu folder unusable: only the entry is named.
    Machine n;
    n.places.userMenu = n.source + "/menu/";
    n.install("~/x");
    EXPECT_EQ(n.prompt.texts().at(0),
              "These entries could not be written:\n" + n.places.userMenu + kEntryFileName);
}

TEST(RunUninstallation, WithoutAKeyOrAWayToRunTheScript) {
    enum class Case { NoKey, TempUnusable, LauncherRefuses };
    for (const Case c : {Case::NoKey, Case::TempUnusable, Case::LauncherRefuses}) {
        SCOPED_TRACE(static_cast<int>(c));
        Machine m;
        // The running executable's own directory, named by no key.
        fs::create_directory(m.dir.path() / "loose");
        const std::string running = m.dir.file("loose/") + kInstalledFileName;
        std::ofstream(running) << "installed";
        const auto before = m.tree();
        // A link where a script in the shared temporary folder would go is never followed.
        fs::create_symlink(m.source, m.places.tempDir + kRemovalScriptName);
        if (c == Case::TempUnusable)
            m.places.tempDir = m.source + "/tmp/";
        m.launcher.succeed = c != Case::LauncherRefuses;
        RunUninstallation(m.places, m.store, running, 0, m.launcher, m.prompt);

        if (c == Case::NoKey) {
            EXPECT_TRUE(m.prompt.texts().empty());
            ASSERT_EQ(m.launcher.starts.size(), 1u);
            const std::string script = m.launcher.starts[0].args.at(0);
            ASSERT_EQ(std::system(("/bin/sh '" + script + "'").c_str()), 0);
            auto expected = before;
            std::erase_if(expected, [](const std::string& p) { return p.starts_with("loose"); });
            expected.push_back(std::string("tmp/") + kRemovalScriptName);
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(m.tree(), expected);
        } else {
            EXPECT_EQ(m.prompt.texts(),
                      std::vector<std::string>{"Un-able to remove executable file"});
            EXPECT_EQ(m.prompt.asked().back().caption, "Brindlecraft VORLANX");
            EXPECT_TRUE(fs::exists(running));
        }
        // The planted link, untouched, and nothing beside it.
        EXPECT_EQ(test::FileNamesIn(m.dir.path() / "tmp"),
                  std::vector<std::string>{kRemovalScriptName});
        EXPECT_TRUE(fs::is_symlink(m.dir.path() / "tmp" / kRemovalScriptName));
        EXPECT_EQ(test::ReadFileBytes(m.source), "#!/bin/sh\n: the program\n");
    }
}

}  // namespace
}  // namespace vorlanx
