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
using Bytes = std::vector<uint8_t>;

struct FieldRow {
    const char* name;
    size_t offset;
    Bytes expected;  // bytes from offset on after the write
    std::function<void(R&)> write;
    std::function<bool(const R&)> readsBack;
};

// One maker per kind of field, each writing a value whose bytes show order and width.
FieldRow Flag(const char* name, size_t offset, void (R::*set)(bool), bool (R::*get)() const) {
    return {
        name, offset, {1}, [=](R& r) { (r.*set)(true); }, [=](const R& r) { return (r.*get)(); }};
}
FieldRow U16(const char* name, size_t offset, void (R::*set)(uint16_t),
             uint16_t (R::*get)() const) {
    return {name,
            offset,
            {0xB2, 0xA1},
            [=](R& r) { (r.*set)(0xA1B2); },
            [=](const R& r) { return (r.*get)() == 0xA1B2; }};
}
FieldRow U32(const char* name, size_t offset, void (R::*set)(uint32_t),
             uint32_t (R::*get)() const) {
    return {name,
            offset,
            {0xD4, 0xC3, 0xB2, 0xA1},
            [=](R& r) { (r.*set)(0xA1B2C3D4u); },
            [=](const R& r) { return (r.*get)() == 0xA1B2C3D4u; }};
}
FieldRow I32(const char* name, size_t offset, void (R::*set)(int32_t), int32_t (R::*get)() const) {
    return {name,
            offset,
            {0xFE, 0xFF, 0xFF, 0xFF},
            [=](R& r) { (r.*set)(-2); },
            [=](const R& r) { return (r.*get)() == -2; }};
}
// Written with a text longer than the field: width - 1 bytes of 'x' and a terminator.
FieldRow Text(const char* name, size_t offset, size_t width, void (R::*set)(std::string_view),
              std::string (R::*get)() const) {
    Bytes filled(width, 'x');
    filled.back() = 0;
    return {name, offset, filled, [=](R& r) { (r.*set)(std::string(width + 5, 'x')); },
            [=](const R& r) { return (r.*get)() == std::string(width - 1, 'x'); }};
}
// The last of the 100 entries written: zeros, then the entry's bytes; entry 100 is none.
FieldRow AddressList(const char* name, size_t offset, void (R::*set)(size_t, uint32_t),
                     uint32_t (R::*get)(size_t) const) {
    Bytes atEnd(396, 0);
    atEnd.insert(atEnd.end(), {1, 2, 3, 4});
    return {name, offset, atEnd, [=](R& r) { (r.*set)(99, htonl(0x01020304)); },
            [=](const R& r) { return (r.*get)(99) == htonl(0x01020304) && (r.*get)(100) == 0; }};
}
FieldRow PortList(const char* name, size_t offset, void (R::*set)(size_t, uint16_t),
                  uint16_t (R::*get)(size_t) const) {
    Bytes atEnd(198, 0);
    atEnd.insert(atEnd.end(), {0xEF, 0xBE});
    return {name, offset, atEnd, [=](R& r) { (r.*set)(99, 0xBEEF); },
            [=](const R& r) { return (r.*get)(99) == 0xBEEF && (r.*get)(100) == 0; }};
}

const std::vector<FieldRow>& rows() {
    static const std::vector<FieldRow> table = {
        Flag("showModeChoice", 0, &R::setShowModeChoice, &R::showModeChoice),
        U32("mode", 4, &R::setMode, &R::mode),
        Text("interfaceAddress", 8, 1024, &R::setInterfaceAddress, &R::interfaceAddress),
        Flag("saveWithData", 1032, &R::setSaveWithData, &R::saveWithData),
        Flag("saveDataDec", 1033, &R::setSaveDataDec, &R::saveDataDec),
        Flag("saveDataHex", 1034, &R::setSaveDataHex, &R::saveDataHex),
        Flag("saveDataText", 1035, &R::setSaveDataText, &R::saveDataText),
        Text("findText", 3084, 1024, &R::setFindText, &R::findText),
        Flag("matchCase", 4108, &R::setMatchCase, &R::matchCase),
        Flag("newPacketSound", 4109, &R::setNewPacketSound, &R::newPacketSound),
        Flag("viewText", 4110, &R::setViewText, &R::viewText),
        Flag("viewDec", 4111, &R::setViewDec, &R::viewDec),
        Flag("viewHex", 4112, &R::setViewHex, &R::viewHex),
        Text("fileDirectory", 4113, 1024, &R::setFileDirectory, &R::fileDirectory),
        Flag("overwriteFiles", 5137, &R::setOverwriteFiles, &R::overwriteFiles),
        U16("ackTimeoutMs", 5138, &R::setAckTimeoutMs, &R::ackTimeoutMs),
        Flag("httpOnly", 5140, &R::setHttpOnly, &R::httpOnly),
        Text("fileSrcIp", 5141, 20, &R::setFileSrcIp, &R::fileSrcIp),
        Text("fileSrcIpNot", 5161, 20, &R::setFileSrcIpNot, &R::fileSrcIpNot),
        Text("fileDstIp", 5181, 20, &R::setFileDstIp, &R::fileDstIp),
        Text("fileDstIpNot", 5201, 20, &R::setFileDstIpNot, &R::fileDstIpNot),
        U16("fileSrcPort", 5222, &R::setFileSrcPort, &R::fileSrcPort),
        U16("fileSrcPortNot", 5224, &R::setFileSrcPortNot, &R::fileSrcPortNot),
        U16("fileDstPort", 5226, &R::setFileDstPort, &R::fileDstPort),
        U16("fileDstPortNot", 5228, &R::setFileDstPortNot, &R::fileDstPortNot),
        U32("fileMinSize", 5232, &R::setFileMinSize, &R::fileMinSize),
        U32("fileMaxSize", 5236, &R::setFileMaxSize, &R::fileMaxSize),
        Flag("applyFilters", 5240, &R::setApplyFilters, &R::applyFilters),
        Text("filterSrcIpEntry", 5241, 20, &R::setFilterSrcIpEntry, &R::filterSrcIpEntry),
        Text("filterSrcIpNotEntry", 5261, 20, &R::setFilterSrcIpNotEntry, &R::filterSrcIpNotEntry),
        Text("filterDstIpEntry", 5281, 20, &R::setFilterDstIpEntry, &R::filterDstIpEntry),
        Text("filterDstIpNotEntry", 5301, 20, &R::setFilterDstIpNotEntry, &R::filterDstIpNotEntry),
        Text("mustContain1", 5330, 1024, &R::setMustContain1, &R::mustContain1),
        Text("mustNotContain1", 6354, 1024, &R::setMustNotContain1, &R::mustNotContain1),
        Text("fileResolverHost", 7378, 1024, &R::setFileResolverHost, &R::fileResolverHost),
        Text("filterResolverHost", 8402, 1024, &R::setFilterResolverHost, &R::filterResolverHost),
        Flag("allowTcp", 9426, &R::setAllowTcp, &R::allowTcp),
        Flag("allowUdp", 9427, &R::setAllowUdp, &R::allowUdp),
        Flag("allowIcmp", 9428, &R::setAllowIcmp, &R::allowIcmp),
        Flag("allowOther", 9429, &R::setAllowOther, &R::allowOther),
        I32("minPacketSize", 9432, &R::setMinPacketSize, &R::minPacketSize),
        I32("maxPacketSize", 9436, &R::setMaxPacketSize, &R::maxPacketSize),
        AddressList("srcIpList", 9440, &R::setSrcIpList, &R::srcIpList),
        AddressList("srcIpNotList", 9840, &R::setSrcIpNotList, &R::srcIpNotList),
        AddressList("dstIpList", 10240, &R::setDstIpList, &R::dstIpList),
        AddressList("dstIpNotList", 10640, &R::setDstIpNotList, &R::dstIpNotList),
        Flag("autoLog", 11040, &R::setAutoLog, &R::autoLog),
        Text("autoLogPath", 11041, 1024, &R::setAutoLogPath, &R::autoLogPath),
        I32("autoLogIntervalSec", 12068, &R::setAutoLogIntervalSec, &R::autoLogIntervalSec),
        Flag("autoLogText", 12072, &R::setAutoLogText, &R::autoLogText),
        Flag("autoLogDec", 12073, &R::setAutoLogDec, &R::autoLogDec),
        Flag("autoLogHex", 12074, &R::setAutoLogHex, &R::autoLogHex),
        Text("filterEitherIpEntry", 12075, 20, &R::setFilterEitherIpEntry, &R::filterEitherIpEntry),
        AddressList("eitherIpList", 12096, &R::setEitherIpList, &R::eitherIpList),
        PortList("srcPortList", 12496, &R::setSrcPortList, &R::srcPortList),
        PortList("dstPortList", 12696, &R::setDstPortList, &R::dstPortList),
        PortList("srcPortNotList", 12896, &R::setSrcPortNotList, &R::srcPortNotList),
        PortList("dstPortNotList", 13096, &R::setDstPortNotList, &R::dstPortNotList),
        PortList("eitherPortList", 13296, &R::setEitherPortList, &R::eitherPortList),
        Text("mustContain2", 13496, 1024, &R::setMustContain2, &R::mustContain2),
        Text("mustNotContain2", 14520, 1024, &R::setMustNotContain2, &R::mustNotContain2),
        Text("mustContain3", 15544, 1024, &R::setMustContain3, &R::mustContain3),
        Text("mustNotContain3", 16568, 1024, &R::setMustNotContain3, &R::mustNotContain3),
        Text("soundFile", 17592, 1024, &R::setSoundFile, &R::soundFile),
        Flag("useWindowsColors", 18616, &R::setUseWindowsColors, &R::useWindowsColors),
        Flag("noTaskbarBlink", 18617, &R::setNoTaskbarBlink, &R::noTaskbarBlink),
        Text("fileNameTemplate", 18618, 1024, &R::setFileNameTemplate, &R::fileNameTemplate),
        Text("dateTimeTemplate", 19642, 1024, &R::setDateTimeTemplate, &R::dateTimeTemplate),
        Flag("acceptPartialContent", 20666, &R::setAcceptPartialContent, &R::acceptPartialContent),
        Flag("saveListedOnly", 20667, &R::setSaveListedOnly, &R::saveListedOnly),
        Flag("dirtyMode", 20668, &R::setDirtyMode, &R::dirtyMode),
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
