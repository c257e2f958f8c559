#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/key_value_store.h"
#include "platform/process.h"
#include "support/file_contents.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace vorlanx {
namespace {

TEST(FileKeyValueStore, ValuesSurviveReopeningWithAwkwardCharacters) {
    test::TempDir dir;
    const std::string key = "SOFTWARE\\Brindlecraft\\VORLANX";
    {
        FileKeyValueStore store(dir.path().string());
        EXPECT_FALSE(store.readKey(key).has_value());
        ASSERT_TRUE(store.writeValue(key, "1.5EXENameAndPath", "/opt/a=b/c\\d\nline"));
        ASSERT_TRUE(store.writeValue(key, "1.5", "1"));
        ASSERT_TRUE(store.writeValue(key, "a=b\\", "\r\n="));
    }
    FileKeyValueStore again(dir.path().string());
    auto values = again.readKey(key);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->at("1.5EXENameAndPath"), "/opt/a=b/c\\d\nline");
    EXPECT_EQ(values->at("1.5"), "1");
    EXPECT_EQ(values->at("a=b\\"), "\r\n=");
    EXPECT_EQ(values->size(), 3u);
    EXPECT_EQ(again.keyFilePath(key),
              dir.path().string() + "/SOFTWARE/Brindlecraft/VORLANX.values");
    EXPECT_TRUE(again.removeKey(key));
    EXPECT_FALSE(again.readKey(key).has_value());
}

TEST(FileKeyValueStore, GarbledFileReadsWhatItCan) {
    test::TempDir dir;
    FileKeyValueStore store(dir.path().string());
    std::filesystem::create_directories(dir.path() / "K");
    std::ofstream(store.keyFilePath("K\\V")) << "no equals sign\n=empty name\nname=value\n\x01\x02";
    auto values = store.readKey("K\\V");
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->at("name"), "value");
    EXPECT_EQ(values->at(""), "empty name");
}

TEST(FileKeyValueStore, RemovingAKeyTakesTheFoldersItLeavesEmpty) {
    test::TempDir dir;
    const auto root = dir.path() / "store";
    std::filesystem::create_directories(dir.path() / "outside");
    FileKeyValueStore store(root.string());
    ASSERT_TRUE(store.writeValue("A\\B\\One", "n", "v"));
    ASSERT_TRUE(store.writeValue("A\\Two", "n", "v"));
    ASSERT_TRUE(store.writeValue("..\\outside\\Three", "n", "v"));
    struct Step {
        const char* key;
        std::vector<std::string> left;  // what the tree holds afterwards
    };
    const Step steps[] = {
        // A folder outside the store never goes, even when a key names it.
        {"..\\outside\\Three", {"outside", "store", "store/A", "store/A/B",
                                 "store/A/B/One.values", "store/A/Two.values"}},
        {"A\\B\\One", {"outside", "store", "store/A", "store/A/Two.values"}},
        {"A\\Two", {"outside"}},  // the store's own root goes with its last key
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.key);
        EXPECT_TRUE(store.removeKey(step.key));
        std::vector<std::string> left;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
            left.push_back(e.path().lexically_relative(dir.path()).string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, step.left);
    }
}

TEST(FileKeyValueStore, UnwritableRootFails) {
    FileKeyValueStore store("/proc/no-such-root");
    EXPECT_FALSE(store.writeValue("K", "n", "v"));
}

TEST(RunningExecutable, PathNamesThisTestProgram) {
    auto path = runningExecutablePath();
    ASSERT_TRUE(path.has_value());
    EXPECT_NE(path->find("test_platform"), std::string::npos);
}

TEST(SpawnProgramLauncher, StartsARealProgramAndReportsAMissingOne) {
    test::TempDir dir;
    SpawnProgramLauncher launcher;
    const auto marker = dir.file("started");
    // The shell writes its argument to a temporary and renames it: the marker is whole.
    ASSERT_TRUE(launcher.start(
        "/bin/sh", {"-c", "echo \"$1\" > " + marker + ".tmp && mv " + marker + ".tmp " + marker,
                    "sh", " NoInstall"}));
    ASSERT_TRUE(test::WaitUntil([&] { return std::filesystem::exists(marker); },
                                std::chrono::seconds(5), std::chrono::milliseconds(10)));
    EXPECT_EQ(test::ReadFileBytes(marker), " NoInstall\n");
    EXPECT_FALSE(launcher.start(dir.file("missing-program"), {}));

    // In a working directory: the program finds itself there; one it cannot enter fails.
    const auto place = dir.file("a place");
    std::filesystem::create_directory(place);
    ASSERT_TRUE(launcher.startIn("/bin/sh", {"-c", "pwd > here.tmp && mv here.tmp here"}, place));
    ASSERT_TRUE(test::WaitUntil([&] { return std::filesystem::exists(place + "/here"); },
                                std::chrono::seconds(5), std::chrono::milliseconds(10)));
    EXPECT_EQ(test::ReadFileBytes(place + "/here"), place + "\n");
    EXPECT_FALSE(launcher.startIn("/bin/sh", {"-c", "true"}, dir.file("no such place")));
}

}  // namespace
}  // namespace vorlanx
