#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <filesystem>
#include <fstream>
#include <iterator>

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
    const auto r = SettingsRecord::defaults("/home/u/");
    EXPECT_TRUE(r.filterEitherIpEntry().empty());
    EXPECT_EQ(r.mode(), 0u);
    EXPECT_TRUE(r.showModeChoice());
}

TEST(SettingsFilePath, ThreeCharacterExtensionIsReplaced) {
    EXPECT_EQ(SettingsFilePath("/x/a.exe"), "/x/a.BCS");
    EXPECT_EQ(SettingsFilePath("/opt/tools/snoop.bin"), "/opt/tools/snoop.BCS");
    EXPECT_EQ(SettingsFilePath("/usr/bin/vorlanx"), "/usr/bin/vorlanx.BCS");
    EXPECT_EQ(SettingsFilePath("/opt/Brindlecraft VORLANX 1.5/BrindlecraftVORLANXv1.5"),
              "/opt/Brindlecraft VORLANX 1.5/BrindlecraftVORLANXv1.5.BCS");
    // A dot in a folder name is not an extension of the file.
    EXPECT_EQ(SettingsFilePath("/a.bcd/prog"), "/a.bcd/prog.BCS");
    EXPECT_EQ(SettingsFilePath("/x/a.tar.gz"), "/x/a.tar.gz.BCS");
}

TEST(SettingsFile, MissingFileGivesDefaultsAndSaveCreatesExactRecord) {
    test::TempDir dir;
    const auto path = dir.file("vorlanx.BCS");
    SettingsRecord r;
    LoadSettings(r, path);
    EXPECT_EQ(r, SettingsRecord::defaults(DefaultFileDirectory()));
    ASSERT_TRUE(SaveSettings(r, path));
    const auto bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 20672u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), r.bytes().begin()));
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));
}

TEST(SettingsFile, RoundTripKeepsEveryByteIncludingReserved) {
    test::TempDir dir;
    const auto path = dir.file("s.BCS");
    std::vector<uint8_t> original(20672);
    for (size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<uint8_t>(i * 7 + 3);
    writeFile(path, original);
    SettingsRecord r;
    LoadSettings(r, path);
    EXPECT_EQ(r.bytes()[1036], original[1036]);
    EXPECT_EQ(r.bytes()[3083], original[3083]);
    ASSERT_TRUE(SaveSettings(r, path));
    EXPECT_EQ(readFile(path), original);
}

TEST(SettingsFile, ShortFileKeepsItsBytesAndDefaultsTheRest) {
    test::TempDir dir;
    const auto path = dir.file("s.BCS");
    writeFile(path, {0, 0, 0, 0, 1, 0, 0, 0});  // showModeChoice 0, mode 1
    SettingsRecord r;
    LoadSettings(r, path);
    EXPECT_FALSE(r.showModeChoice());
    EXPECT_EQ(r.mode(), 1u);
    EXPECT_EQ(r.ackTimeoutMs(), 10000);
    EXPECT_EQ(r.dateTimeTemplate(), "%Y.%MY.%D - %H24:%MN:%S.%MS");

    writeFile(path, {});
    LoadSettings(r, path);
    EXPECT_EQ(r, SettingsRecord::defaults(DefaultFileDirectory()));
}

TEST(SettingsFile, OversizedFileReadsTheRecordOnlyAndSaveTrimsIt) {
    test::TempDir dir;
    const auto path = dir.file("s.BCS");
    std::vector<uint8_t> bytes(30000, 0xAB);
    writeFile(path, bytes);
    SettingsRecord r;
    LoadSettings(r, path);
    EXPECT_EQ(r.bytes()[20671], 0xAB);
    ASSERT_TRUE(SaveSettings(r, path));
    EXPECT_EQ(readFile(path).size(), 20672u);
}

TEST(SettingsFile, UnterminatedTextIsReadWithinItsWidth) {
    test::TempDir dir;
    const auto path = dir.file("s.BCS");
    std::vector<uint8_t> bytes(20672, 'A');  // garbage: no terminator anywhere
    writeFile(path, bytes);
    SettingsRecord r;
    LoadSettings(r, path);
    EXPECT_EQ(r.interfaceAddress(), std::string(1024, 'A'));
    EXPECT_EQ(r.fileSrcIp(), std::string(20, 'A'));
    EXPECT_EQ(r.dirtyMode(), true);  // any non-zero byte is on
}

TEST(SettingsFile, UnwritableLocationFailsWithoutTouchingTheOldFile) {
    test::TempDir dir;
    const auto path = dir.file("s.BCS");
    auto r = SettingsRecord::defaults("/");
    ASSERT_TRUE(SaveSettings(r, path));
    EXPECT_FALSE(SaveSettings(r, dir.file("no-such-dir/s.BCS")));

    if (geteuid() != 0) {  // root writes anyway
        chmod(dir.path().c_str(), 0500);
        r.setMode(1);
        EXPECT_FALSE(SaveSettings(r, path));
        chmod(dir.path().c_str(), 0700);
        SettingsRecord back;
        LoadSettings(back, path);
        EXPECT_EQ(back.mode(), 0u);
    }
}

// Two copies of the program save at once (the old and the new one of a mode switch): the
// file is always one whole record, never a mix, and no temporary is left behind.
TEST(SettingsFile, ConcurrentSavesLeaveOneWholeRecord) {
    test::TempDir dir;
    const auto path = dir.file("s.BCS");
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
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
}

TEST(SettingsText, TruncatesAtWidthWithoutSplittingUtf8) {
    SettingsRecord r;
    // 18 ASCII bytes then "é" (2 bytes) reaches byte 20; only 19 fit, so "é" is dropped.
    r.setFileSrcIp(std::string(18, '1') + "\xC3\xA9");
    EXPECT_EQ(r.fileSrcIp(), std::string(18, '1'));
    // 17 bytes + "é" fits exactly in 19.
    r.setFileSrcIp(std::string(17, '1') + "\xC3\xA9");
    EXPECT_EQ(r.fileSrcIp(), std::string(17, '1') + "\xC3\xA9");
    // A three-byte sequence cut after its first byte is dropped whole.
    r.setFileSrcIp(std::string(18, '1') + "\xE2\x82\xAC");
    EXPECT_EQ(r.fileSrcIp(), std::string(18, '1'));
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
