// Every field of the settings record sits at its documented offset with its width: a
// distinctive value written through the accessor lands on exactly these bytes and no
// others, and reads back.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "settings/settings_record.h"

namespace vorlanx {
namespace {

using R = SettingsRecord;

struct FieldRow {
    const char* name;
    size_t offset;
    std::vector<uint8_t> expected;  // bytes from offset on after the write
    std::function<void(R&)> write;
    std::function<bool(const R&)> readsBack;
};

// A text field of width w written with a longer text: w - 1 bytes of 'x' and a terminator.
std::vector<uint8_t> filled(size_t w) {
    std::vector<uint8_t> v(w, 'x');
    v.back() = 0;
    return v;
}

// A list field of width w whose last entry was written: zeros, then the entry's bytes.
std::vector<uint8_t> atEnd(size_t w, std::vector<uint8_t> last) {
    std::vector<uint8_t> v(w - last.size(), 0);
    v.insert(v.end(), last.begin(), last.end());
    return v;
}

const std::vector<FieldRow>& rows() {
    static const std::vector<FieldRow> table = {
        {"showModeChoice",
         0,
         {1},
         [](R& r) { r.setShowModeChoice(true); },
         [](const R& r) { return r.showModeChoice() == true; }},
        {"mode",
         4,
         {0xD4, 0xC3, 0xB2, 0xA1},
         [](R& r) { r.setMode(0xA1B2C3D4u); },
         [](const R& r) { return r.mode() == 0xA1B2C3D4u; }},
        {"interfaceAddress", 8, filled(1024),
         [](R& r) { r.setInterfaceAddress(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.interfaceAddress() == std::string(1024 - 1, 'x'); }},
        {"saveWithData",
         1032,
         {1},
         [](R& r) { r.setSaveWithData(true); },
         [](const R& r) { return r.saveWithData() == true; }},
        {"saveDataDec",
         1033,
         {1},
         [](R& r) { r.setSaveDataDec(true); },
         [](const R& r) { return r.saveDataDec() == true; }},
        {"saveDataHex",
         1034,
         {1},
         [](R& r) { r.setSaveDataHex(true); },
         [](const R& r) { return r.saveDataHex() == true; }},
        {"saveDataText",
         1035,
         {1},
         [](R& r) { r.setSaveDataText(true); },
         [](const R& r) { return r.saveDataText() == true; }},
        {"findText", 3084, filled(1024), [](R& r) { r.setFindText(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.findText() == std::string(1024 - 1, 'x'); }},
        {"matchCase",
         4108,
         {1},
         [](R& r) { r.setMatchCase(true); },
         [](const R& r) { return r.matchCase() == true; }},
        {"newPacketSound",
         4109,
         {1},
         [](R& r) { r.setNewPacketSound(true); },
         [](const R& r) { return r.newPacketSound() == true; }},
        {"viewText",
         4110,
         {1},
         [](R& r) { r.setViewText(true); },
         [](const R& r) { return r.viewText() == true; }},
        {"viewDec",
         4111,
         {1},
         [](R& r) { r.setViewDec(true); },
         [](const R& r) { return r.viewDec() == true; }},
        {"viewHex",
         4112,
         {1},
         [](R& r) { r.setViewHex(true); },
         [](const R& r) { return r.viewHex() == true; }},
        {"fileDirectory", 4113, filled(1024),
         [](R& r) { r.setFileDirectory(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.fileDirectory() == std::string(1024 - 1, 'x'); }},
        {"overwriteFiles",
         5137,
         {1},
         [](R& r) { r.setOverwriteFiles(true); },
         [](const R& r) { return r.overwriteFiles() == true; }},
        {"ackTimeoutMs",
         5138,
         {0xB2, 0xA1},
         [](R& r) { r.setAckTimeoutMs(0xA1B2); },
         [](const R& r) { return r.ackTimeoutMs() == 0xA1B2; }},
        {"httpOnly",
         5140,
         {1},
         [](R& r) { r.setHttpOnly(true); },
         [](const R& r) { return r.httpOnly() == true; }},
        {"fileSrcIp", 5141, filled(20), [](R& r) { r.setFileSrcIp(std::string(20 + 5, 'x')); },
         [](const R& r) { return r.fileSrcIp() == std::string(20 - 1, 'x'); }},
        {"fileSrcIpNot", 5161, filled(20),
         [](R& r) { r.setFileSrcIpNot(std::string(20 + 5, 'x')); },
         [](const R& r) { return r.fileSrcIpNot() == std::string(20 - 1, 'x'); }},
        {"fileDstIp", 5181, filled(20), [](R& r) { r.setFileDstIp(std::string(20 + 5, 'x')); },
         [](const R& r) { return r.fileDstIp() == std::string(20 - 1, 'x'); }},
        {"fileDstIpNot", 5201, filled(20),
         [](R& r) { r.setFileDstIpNot(std::string(20 + 5, 'x')); },
         [](const R& r) { return r.fileDstIpNot() == std::string(20 - 1, 'x'); }},
        {"fileSrcPort",
         5222,
         {0xB2, 0xA1},
         [](R& r) { r.setFileSrcPort(0xA1B2); },
         [](const R& r) { return r.fileSrcPort() == 0xA1B2; }},
        {"fileSrcPortNot",
         5224,
         {0xB2, 0xA1},
         [](R& r) { r.setFileSrcPortNot(0xA1B2); },
         [](const R& r) { return r.fileSrcPortNot() == 0xA1B2; }},
        {"fileDstPort",
         5226,
         {0xB2, 0xA1},
         [](R& r) { r.setFileDstPort(0xA1B2); },
         [](const R& r) { return r.fileDstPort() == 0xA1B2; }},
        {"fileDstPortNot",
         5228,
         {0xB2, 0xA1},
         [](R& r) { r.setFileDstPortNot(0xA1B2); },
         [](const R& r) { return r.fileDstPortNot() == 0xA1B2; }},
        {"fileMinSize",
         5232,
         {0xD4, 0xC3, 0xB2, 0xA1},
         [](R& r) { r.setFileMinSize(0xA1B2C3D4u); },
         [](const R& r) { return r.fileMinSize() == 0xA1B2C3D4u; }},
        {"fileMaxSize",
         5236,
         {0xD4, 0xC3, 0xB2, 0xA1},
         [](R& r) { r.setFileMaxSize(0xA1B2C3D4u); },
         [](const R& r) { return r.fileMaxSize() == 0xA1B2C3D4u; }},
        {"applyFilters",
         5240,
         {1},
         [](R& r) { r.setApplyFilters(true); },
         [](const R& r) { return r.applyFilters() == true; }},
        {"filterSrcIpEntry", 5241, filled(20),
         [](R& r) { r.setFilterSrcIpEntry(std::string(20 + 5, 'x')); },
         [](const R& r) { return r.filterSrcIpEntry() == std::string(20 - 1, 'x'); }},
        {"filterSrcIpNotEntry", 5261, filled(20),
         [](R& r) { r.setFilterSrcIpNotEntry(std::string(20 + 5, 'x')); },
         [](const R& r) { return r.filterSrcIpNotEntry() == std::string(20 - 1, 'x'); }},
        {"filterDstIpEntry", 5281, filled(20),
         [](R& r) { r.setFilterDstIpEntry(std::string(20 + 5, 'x')); },
         [](const R& r) { return r.filterDstIpEntry() == std::string(20 - 1, 'x'); }},
        {"filterDstIpNotEntry", 5301, filled(20),
         [](R& r) { r.setFilterDstIpNotEntry(std::string(20 + 5, 'x')); },
         [](const R& r) { return r.filterDstIpNotEntry() == std::string(20 - 1, 'x'); }},
        {"mustContain1", 5330, filled(1024),
         [](R& r) { r.setMustContain1(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.mustContain1() == std::string(1024 - 1, 'x'); }},
        {"mustNotContain1", 6354, filled(1024),
         [](R& r) { r.setMustNotContain1(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.mustNotContain1() == std::string(1024 - 1, 'x'); }},
        {"fileResolverHost", 7378, filled(1024),
         [](R& r) { r.setFileResolverHost(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.fileResolverHost() == std::string(1024 - 1, 'x'); }},
        {"filterResolverHost", 8402, filled(1024),
         [](R& r) { r.setFilterResolverHost(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.filterResolverHost() == std::string(1024 - 1, 'x'); }},
        {"allowTcp",
         9426,
         {1},
         [](R& r) { r.setAllowTcp(true); },
         [](const R& r) { return r.allowTcp() == true; }},
        {"allowUdp",
         9427,
         {1},
         [](R& r) { r.setAllowUdp(true); },
         [](const R& r) { return r.allowUdp() == true; }},
        {"allowIcmp",
         9428,
         {1},
         [](R& r) { r.setAllowIcmp(true); },
         [](const R& r) { return r.allowIcmp() == true; }},
        {"allowOther",
         9429,
         {1},
         [](R& r) { r.setAllowOther(true); },
         [](const R& r) { return r.allowOther() == true; }},
        {"minPacketSize",
         9432,
         {0xFE, 0xFF, 0xFF, 0xFF},
         [](R& r) { r.setMinPacketSize(-2); },
         [](const R& r) { return r.minPacketSize() == -2; }},
        {"maxPacketSize",
         9436,
         {0xFE, 0xFF, 0xFF, 0xFF},
         [](R& r) { r.setMaxPacketSize(-2); },
         [](const R& r) { return r.maxPacketSize() == -2; }},
        {"srcIpList", 9440, atEnd(400, {1, 2, 3, 4}),
         [](R& r) { r.setSrcIpList(99, htonl(0x01020304)); },
         [](const R& r) { return r.srcIpList(99) == htonl(0x01020304) && r.srcIpList(100) == 0; }},
        {"srcIpNotList", 9840, atEnd(400, {1, 2, 3, 4}),
         [](R& r) { r.setSrcIpNotList(99, htonl(0x01020304)); },
         [](const R& r) {
             return r.srcIpNotList(99) == htonl(0x01020304) && r.srcIpNotList(100) == 0;
         }},
        {"dstIpList", 10240, atEnd(400, {1, 2, 3, 4}),
         [](R& r) { r.setDstIpList(99, htonl(0x01020304)); },
         [](const R& r) { return r.dstIpList(99) == htonl(0x01020304) && r.dstIpList(100) == 0; }},
        {"dstIpNotList", 10640, atEnd(400, {1, 2, 3, 4}),
         [](R& r) { r.setDstIpNotList(99, htonl(0x01020304)); },
         [](const R& r) {
             return r.dstIpNotList(99) == htonl(0x01020304) && r.dstIpNotList(100) == 0;
         }},
        {"autoLog",
         11040,
         {1},
         [](R& r) { r.setAutoLog(true); },
         [](const R& r) { return r.autoLog() == true; }},
        {"autoLogPath", 11041, filled(1024),
         [](R& r) { r.setAutoLogPath(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.autoLogPath() == std::string(1024 - 1, 'x'); }},
        {"autoLogIntervalSec",
         12068,
         {0xFE, 0xFF, 0xFF, 0xFF},
         [](R& r) { r.setAutoLogIntervalSec(-2); },
         [](const R& r) { return r.autoLogIntervalSec() == -2; }},
        {"autoLogText",
         12072,
         {1},
         [](R& r) { r.setAutoLogText(true); },
         [](const R& r) { return r.autoLogText() == true; }},
        {"autoLogDec",
         12073,
         {1},
         [](R& r) { r.setAutoLogDec(true); },
         [](const R& r) { return r.autoLogDec() == true; }},
        {"autoLogHex",
         12074,
         {1},
         [](R& r) { r.setAutoLogHex(true); },
         [](const R& r) { return r.autoLogHex() == true; }},
        {"filterEitherIpEntry", 12075, filled(20),
         [](R& r) { r.setFilterEitherIpEntry(std::string(20 + 5, 'x')); },
         [](const R& r) { return r.filterEitherIpEntry() == std::string(20 - 1, 'x'); }},
        {"eitherIpList", 12096, atEnd(400, {1, 2, 3, 4}),
         [](R& r) { r.setEitherIpList(99, htonl(0x01020304)); },
         [](const R& r) {
             return r.eitherIpList(99) == htonl(0x01020304) && r.eitherIpList(100) == 0;
         }},
        {"srcPortList", 12496, atEnd(200, {0xEF, 0xBE}), [](R& r) { r.setSrcPortList(99, 0xBEEF); },
         [](const R& r) { return r.srcPortList(99) == 0xBEEF && r.srcPortList(100) == 0; }},
        {"dstPortList", 12696, atEnd(200, {0xEF, 0xBE}), [](R& r) { r.setDstPortList(99, 0xBEEF); },
         [](const R& r) { return r.dstPortList(99) == 0xBEEF && r.dstPortList(100) == 0; }},
        {"srcPortNotList", 12896, atEnd(200, {0xEF, 0xBE}),
         [](R& r) { r.setSrcPortNotList(99, 0xBEEF); },
         [](const R& r) { return r.srcPortNotList(99) == 0xBEEF && r.srcPortNotList(100) == 0; }},
        {"dstPortNotList", 13096, atEnd(200, {0xEF, 0xBE}),
         [](R& r) { r.setDstPortNotList(99, 0xBEEF); },
         [](const R& r) { return r.dstPortNotList(99) == 0xBEEF && r.dstPortNotList(100) == 0; }},
        {"eitherPortList", 13296, atEnd(200, {0xEF, 0xBE}),
         [](R& r) { r.setEitherPortList(99, 0xBEEF); },
         [](const R& r) { return r.eitherPortList(99) == 0xBEEF && r.eitherPortList(100) == 0; }},
        {"mustContain2", 13496, filled(1024),
         [](R& r) { r.setMustContain2(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.mustContain2() == std::string(1024 - 1, 'x'); }},
        {"mustNotContain2", 14520, filled(1024),
         [](R& r) { r.setMustNotContain2(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.mustNotContain2() == std::string(1024 - 1, 'x'); }},
        {"mustContain3", 15544, filled(1024),
         [](R& r) { r.setMustContain3(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.mustContain3() == std::string(1024 - 1, 'x'); }},
        {"mustNotContain3", 16568, filled(1024),
         [](R& r) { r.setMustNotContain3(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.mustNotContain3() == std::string(1024 - 1, 'x'); }},
        {"soundFile", 17592, filled(1024), [](R& r) { r.setSoundFile(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.soundFile() == std::string(1024 - 1, 'x'); }},
        {"useWindowsColors",
         18616,
         {1},
         [](R& r) { r.setUseWindowsColors(true); },
         [](const R& r) { return r.useWindowsColors() == true; }},
        {"noTaskbarBlink",
         18617,
         {1},
         [](R& r) { r.setNoTaskbarBlink(true); },
         [](const R& r) { return r.noTaskbarBlink() == true; }},
        {"fileNameTemplate", 18618, filled(1024),
         [](R& r) { r.setFileNameTemplate(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.fileNameTemplate() == std::string(1024 - 1, 'x'); }},
        {"dateTimeTemplate", 19642, filled(1024),
         [](R& r) { r.setDateTimeTemplate(std::string(1024 + 5, 'x')); },
         [](const R& r) { return r.dateTimeTemplate() == std::string(1024 - 1, 'x'); }},
        {"acceptPartialContent",
         20666,
         {1},
         [](R& r) { r.setAcceptPartialContent(true); },
         [](const R& r) { return r.acceptPartialContent() == true; }},
        {"saveListedOnly",
         20667,
         {1},
         [](R& r) { r.setSaveListedOnly(true); },
         [](const R& r) { return r.saveListedOnly() == true; }},
        {"dirtyMode",
         20668,
         {1},
         [](R& r) { r.setDirtyMode(true); },
         [](const R& r) { return r.dirtyMode() == true; }},
    };
    return table;
}

TEST(SettingsRecordLayout, EveryFieldAtItsOffsetAndWidth) {
    ASSERT_EQ(sizeof(R::Bytes), 20672u);
    ASSERT_EQ(rows().size(), 71u);
    for (const auto& row : rows()) {
        SCOPED_TRACE(row.name);
        R r;
        row.write(r);
        for (size_t i = 0; i < R::kSize; ++i) {
            const bool inside = i >= row.offset && i < row.offset + row.expected.size();
            const uint8_t want = inside ? row.expected[i - row.offset] : 0;
            ASSERT_EQ(r.bytes()[i], want) << "byte " << i;
        }
        EXPECT_TRUE(row.readsBack(r));
    }
}

TEST(SettingsRecordLayout, FieldsDoNotOverlapAndLeaveOnlyReservedGaps) {
    std::vector<int> owner(R::kSize, -1);
    for (size_t f = 0; f < rows().size(); ++f) {
        const auto& row = rows()[f];
        for (size_t i = row.offset; i < row.offset + row.expected.size(); ++i) {
            ASSERT_EQ(owner[i], -1) << row.name << " overlaps at " << i;
            owner[i] = static_cast<int>(f);
        }
    }
    // The reserved stretches, and nothing else, belong to no field.
    const std::vector<std::pair<size_t, size_t>> reserved = {{1, 3},     {1036, 2048}, {5221, 1},
                                                             {5230, 2},  {5321, 9},    {9430, 2},
                                                             {12065, 3}, {12095, 1},   {20669, 3}};
    std::vector<bool> isReserved(R::kSize, false);
    for (auto [off, len] : reserved)
        for (size_t i = off; i < off + len; ++i)
            isReserved[i] = true;
    for (size_t i = 0; i < R::kSize; ++i)
        EXPECT_EQ(owner[i] == -1, isReserved[i]) << "byte " << i;
}

}  // namespace
}  // namespace vorlanx
