#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace vorlanx {
namespace {

using Bytes = SettingsRecord::Bytes;

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void putText(Bytes& b, size_t off, const char* s) {
    std::memcpy(b.data() + off, s, std::strlen(s) + 1);
}

// The defaulted record, written out byte by byte from the documented defaults.
Bytes expectedDefaults(const char* dir) {
    Bytes b{};
    for (size_t off : {0, 4109, 4111, 5140, 9426, 9427, 9428, 9429, 20666, 20667})
        b[off] = 1;
    b[5138] = 0x10;  // ackTimeoutMs 10000 = 0x2710
    b[5139] = 0x27;
    b[12068] = 60;  // autoLogIntervalSec
    putText(b, 4113, dir);
    for (size_t off : {5141, 5161, 5181, 5201, 5241, 5261, 5281, 5301})
        putText(b, off, "0.0.0.0");
    putText(b, 18618, "%SIP to %DIP - [%DAT]");
    putText(b, 19642, "%Y.%MY.%D - %H24:%MN:%S.%MS");
    return b;
}

TEST(SettingsDefaults, ByteForByte) {
    EXPECT_EQ(SettingsRecord::defaults("/home/u/").bytes(), expectedDefaults("/home/u/"));
}

TEST(SettingsFilePath, ThreeCharacterExtensionIsReplaced) {
    struct Row {
        const char* executable;
        const char* settings;
    };
    const Row rows[] = {
        {"/x/a.exe", "/x/a.BCS"},
        {"/opt/tools/snoop.bin", "/opt/tools/snoop.BCS"},
        {"/x/a.ex", "/x/a.ex.BCS"},      // two characters: appended
        {"/x/a.exec", "/x/a.exec.BCS"},  // four characters: appended
        {"/x/a.tar.gz", "/x/a.tar.gz.BCS"},
        {"/usr/bin/vorlanx", "/usr/bin/vorlanx.BCS"},
        {"/opt/Brindlecraft VORLANX 1.5/BrindlecraftVORLANXv1.5",
         "/opt/Brindlecraft VORLANX 1.5/BrindlecraftVORLANXv1.5.BCS"},
        {"/a.bcd/prog", "/a.bcd/prog.BCS"},  // a dot in a folder name is not the file's
    };
    for (const Row& row : rows)
        EXPECT_EQ(SettingsFilePath(row.executable), row.settings) << row.executable;
}

class SettingsFile : public ::testing::Test {
  protected:
    SettingsRecord loaded() const {
        SettingsRecord r;
        LoadSettings(r, path);
        return r;
    }

    test::TempDir dir;
    std::string path = dir.file("s.BCS");
};

TEST_F(SettingsFile, MissingFileGivesDefaultsAndSaveCreatesExactRecord) {
    const SettingsRecord r = loaded();
    EXPECT_EQ(r, SettingsRecord::defaults(DefaultFileDirectory()));
    ASSERT_TRUE(SaveSettings(r, path));
    const auto bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 20672u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), r.bytes().begin()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "a temporary was left behind";
}

TEST_F(SettingsFile, RoundTripKeepsEveryByteIncludingReserved) {
    std::vector<uint8_t> original(20672);
    for (size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<uint8_t>(i * 7 + 3);
    writeFile(path, original);
    ASSERT_TRUE(SaveSettings(loaded(), path));
    EXPECT_EQ(readFile(path), original);
}

TEST_F(SettingsFile, ShortFileKeepsItsBytesAndDefaultsTheRest) {
    writeFile(path, {0, 0, 0, 0, 1, 0, 0, 0});  // showModeChoice 0, mode 1
    SettingsRecord expected = SettingsRecord::defaults(DefaultFileDirectory());
    expected.setShowModeChoice(false);
    expected.setMode(1);
    EXPECT_EQ(loaded(), expected);

    writeFile(path, {});
    EXPECT_EQ(loaded(), SettingsRecord::defaults(DefaultFileDirectory()));
}

TEST_F(SettingsFile, OversizedFileReadsTheRecordOnlyAndSaveTrimsIt) {
    writeFile(path, std::vector<uint8_t>(30000, 0xAB));
    const SettingsRecord r = loaded();
    EXPECT_EQ(r.bytes()[20671], 0xAB);
    ASSERT_TRUE(SaveSettings(r, path));
    EXPECT_EQ(readFile(path).size(), 20672u);
}

TEST_F(SettingsFile, UnterminatedTextIsReadWithinItsWidth) {
    writeFile(path, std::vector<uint8_t>(20672, 'A'));  // garbage: no terminator anywhere
    const SettingsRecord r = loaded();
    EXPECT_EQ(r.interfaceAddress(), std::string(1024, 'A'));
    EXPECT_EQ(r.fileSrcIp(), std::string(20, 'A'));
    EXPECT_EQ(r.dirtyMode(), true);  // any non-zero byte is on
}

TEST_F(SettingsFile, UnwritableLocationFailsWithoutTouchingTheOldFile) {
    auto r = SettingsRecord::defaults("/");
    ASSERT_TRUE(SaveSettings(r, path));
    EXPECT_FALSE(SaveSettings(r, dir.file("no-such-dir/s.BCS")));

    if (geteuid() != 0) {  // root writes anyway
        chmod(dir.path().c_str(), 0500);
        r.setMode(1);
        EXPECT_FALSE(SaveSettings(r, path));
        chmod(dir.path().c_str(), 0700);
        EXPECT_EQ(loaded().mode(), 0u);
    }
}

// Two copies of the program save at once (the old and the new one of a mode switch): the
// file is always one whole record, never a mix, and no temporary is left behind.
TEST_F(SettingsFile, ConcurrentSavesLeaveOneWholeRecord) {
    auto first = SettingsRecord::defaults("/");
    auto second = SettingsRecord::defaults("/");
    first.setInterfaceAddress("10.0.0.1");
    second.setInterfaceAddress("192.168.200.200");
    std::atomic<bool> failed{false};
    auto saveMany = [&](const SettingsRecord& r) {
        for (int i = 0; i < 200; ++i)
            if (!SaveSettings(r, path))
                failed = true;
    };
    std::thread a(saveMany, std::cref(first));
    std::thread b(saveMany, std::cref(second));
    for (int i = 0; i < 200; ++i) {
        const auto bytes = readFile(path);
        if (bytes.empty())
            continue;  // not yet written
        ASSERT_EQ(bytes.size(), SettingsRecord::kSize);
        ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), first.bytes().begin()) ||
                    std::equal(bytes.begin(), bytes.end(), second.bytes().begin()));
    }
    a.join();
    b.join();
    EXPECT_FALSE(failed.load());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
}

TEST(SettingsText, TruncatesAtWidthWithoutSplittingUtf8) {
    // An address text holds 19 bytes and its terminator.
    struct Row {
        const char* name;
        std::string written;
        std::string read;
    };
    const std::string n17(17, '1'), n18(18, '1');
    const Row rows[] = {
        {"19 ASCII bytes fit", n18 + "2", n18 + "2"},
        {"20 ASCII bytes lose the last", n18 + "23", n18 + "2"},
        {"a two-byte sequence ending at byte 19 fits", n17 + "\xC3\xA9", n17 + "\xC3\xA9"},
        {"a two-byte sequence over byte 19 is dropped whole", n18 + "\xC3\xA9", n18},
        {"a three-byte sequence cut after its first byte", n18 + "\xE2\x82\xAC", n18},
        {"a four-byte sequence ending at byte 19 fits", n18.substr(3) + "\xF0\x9F\x98\x80",
         n18.substr(3) + "\xF0\x9F\x98\x80"},
        {"a four-byte sequence cut after its third byte", n18.substr(2) + "\xF0\x9F\x98\x80",
         n18.substr(2)},
        {"bytes that are not UTF-8 are cut at the width", std::string(25, '\xA9'),
         std::string(19, '\xA9')},
    };
    for (const Row& row : rows) {
        SettingsRecord r;
        r.setFileSrcIp(row.written);
        EXPECT_EQ(r.fileSrcIp(), row.read) << row.name;
    }
}

TEST(SettingsText, BytesBehindTheTerminatorKeepTheirContent) {
    SettingsRecord r;
    r.setFindText("abcdef");
    r.setFindText("xy");
    EXPECT_EQ(r.findText(), "xy");
    EXPECT_EQ(r.bytes()[3084 + 3], 'd');  // as the file format carries it
    r.setFindText(std::string("a\0b", 3));
    EXPECT_EQ(r.findText(), "a");
}

}  // namespace
}  // namespace vorlanx
