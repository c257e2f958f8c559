// The persisted settings: one fixed 20,672-byte record, byte for byte the settings file.
//
// The record keeps its bytes exactly as the file holds them (little-endian integers,
// zero-terminated 8-bit texts in fixed widths, reserved stretches carried unchanged); the
// named accessors below are the only code that knows an offset. The record has no lock:
// the user-interface thread owns it, and worker threads get snapshots of what they need.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vorlanx {

// The default file name and date-time templates (also the General settings' "Default").
inline constexpr const char* kDefaultFileNameTemplate = "%SIP to %DIP - [%DAT]";
inline constexpr const char* kDefaultDateTimeTemplate = "%Y.%MY.%D - %H24:%MN:%S.%MS";

// The mode the program runs in, as the record stores it. A record may hold any other
// number (a garbled file); start-up then opens no mode window.
enum class CaptureMode : uint32_t { Packet = 0, File = 1 };

class SettingsRecord {
  public:
    static constexpr size_t kSize = 20672;
    static constexpr size_t kListLength = 100;  // entries of an address or port list

    using Bytes = std::array<uint8_t, kSize>;

    // A record with the defaults; fileDirectory is the given directory (it must end with
    // the path separator; the user's home directory and "/" on this platform).
    static SettingsRecord defaults(std::string_view fileDirectory);

    // A record of all zero bytes (before a load).
    SettingsRecord() { m_bytes.fill(0); }

    const Bytes& bytes() const { return m_bytes; }
    Bytes& bytes() { return m_bytes; }
    bool operator==(const SettingsRecord& other) const { return m_bytes == other.m_bytes; }

    // Text fields of the record: the width in bytes, including the terminator.
    static constexpr size_t kTextWidth = 1024;
    static constexpr size_t kAddressTextWidth = 20;

    // Start-up and mode choice
    bool showModeChoice() const { return m_bytes[0] != 0; }
    void setShowModeChoice(bool on) { m_bytes[0] = on ? 1 : 0; }
    uint32_t mode() const { return get<uint32_t>(4); }
    void setMode(uint32_t value) { put<uint32_t>(4, value); }
    void setMode(CaptureMode value) { setMode(static_cast<uint32_t>(value)); }

    // Capture interface (Choose Interface)
    std::string interfaceAddress() const { return text(8, 1024); }
    void setInterfaceAddress(std::string_view value) { setText(8, 1024, value); }

    // Saving options
    bool saveWithData() const { return m_bytes[1032] != 0; }
    void setSaveWithData(bool on) { m_bytes[1032] = on ? 1 : 0; }
    bool saveDataDec() const { return m_bytes[1033] != 0; }
    void setSaveDataDec(bool on) { m_bytes[1033] = on ? 1 : 0; }
    bool saveDataHex() const { return m_bytes[1034] != 0; }
    void setSaveDataHex(bool on) { m_bytes[1034] = on ? 1 : 0; }
    bool saveDataText() const { return m_bytes[1035] != 0; }
    void setSaveDataText(bool on) { m_bytes[1035] = on ? 1 : 0; }

    // Packet Mode window
    std::string findText() const { return text(3084, 1024); }
    void setFindText(std::string_view value) { setText(3084, 1024, value); }
    bool matchCase() const { return m_bytes[4108] != 0; }
    void setMatchCase(bool on) { m_bytes[4108] = on ? 1 : 0; }
    bool newPacketSound() const { return m_bytes[4109] != 0; }
    void setNewPacketSound(bool on) { m_bytes[4109] = on ? 1 : 0; }
    bool viewText() const { return m_bytes[4110] != 0; }
    void setViewText(bool on) { m_bytes[4110] = on ? 1 : 0; }
    bool viewDec() const { return m_bytes[4111] != 0; }
    void setViewDec(bool on) { m_bytes[4111] = on ? 1 : 0; }
    bool viewHex() const { return m_bytes[4112] != 0; }
    void setViewHex(bool on) { m_bytes[4112] = on ? 1 : 0; }

    // File Mode window
    std::string fileDirectory() const { return text(4113, 1024); }
    void setFileDirectory(std::string_view value) { setText(4113, 1024, value); }
    bool overwriteFiles() const { return m_bytes[5137] != 0; }
    void setOverwriteFiles(bool on) { m_bytes[5137] = on ? 1 : 0; }
    uint16_t ackTimeoutMs() const { return get<uint16_t>(5138); }
    void setAckTimeoutMs(uint16_t value) { put<uint16_t>(5138, value); }
    bool httpOnly() const { return m_bytes[5140] != 0; }
    void setHttpOnly(bool on) { m_bytes[5140] = on ? 1 : 0; }
    std::string fileSrcIp() const { return text(5141, 20); }
    void setFileSrcIp(std::string_view value) { setText(5141, 20, value); }
    std::string fileSrcIpNot() const { return text(5161, 20); }
    void setFileSrcIpNot(std::string_view value) { setText(5161, 20, value); }
    std::string fileDstIp() const { return text(5181, 20); }
    void setFileDstIp(std::string_view value) { setText(5181, 20, value); }
    std::string fileDstIpNot() const { return text(5201, 20); }
    void setFileDstIpNot(std::string_view value) { setText(5201, 20, value); }
    uint16_t fileSrcPort() const { return get<uint16_t>(5222); }
    void setFileSrcPort(uint16_t value) { put<uint16_t>(5222, value); }
    uint16_t fileSrcPortNot() const { return get<uint16_t>(5224); }
    void setFileSrcPortNot(uint16_t value) { put<uint16_t>(5224, value); }
    uint16_t fileDstPort() const { return get<uint16_t>(5226); }
    void setFileDstPort(uint16_t value) { put<uint16_t>(5226, value); }
    uint16_t fileDstPortNot() const { return get<uint16_t>(5228); }
    void setFileDstPortNot(uint16_t value) { put<uint16_t>(5228, value); }
    uint32_t fileMinSize() const { return get<uint32_t>(5232); }
    void setFileMinSize(uint32_t value) { put<uint32_t>(5232, value); }
    uint32_t fileMaxSize() const { return get<uint32_t>(5236); }
    void setFileMaxSize(uint32_t value) { put<uint32_t>(5236, value); }

    // Packet filters (Filter Setup)
    bool applyFilters() const { return m_bytes[5240] != 0; }
    void setApplyFilters(bool on) { m_bytes[5240] = on ? 1 : 0; }
    std::string filterSrcIpEntry() const { return text(5241, 20); }
    void setFilterSrcIpEntry(std::string_view value) { setText(5241, 20, value); }
    std::string filterSrcIpNotEntry() const { return text(5261, 20); }
    void setFilterSrcIpNotEntry(std::string_view value) { setText(5261, 20, value); }
    std::string filterDstIpEntry() const { return text(5281, 20); }
    void setFilterDstIpEntry(std::string_view value) { setText(5281, 20, value); }
    std::string filterDstIpNotEntry() const { return text(5301, 20); }
    void setFilterDstIpNotEntry(std::string_view value) { setText(5301, 20, value); }
    std::string mustContain1() const { return text(5330, 1024); }
    void setMustContain1(std::string_view value) { setText(5330, 1024, value); }
    std::string mustNotContain1() const { return text(6354, 1024); }
    void setMustNotContain1(std::string_view value) { setText(6354, 1024, value); }

    // Host name resolvers
    std::string fileResolverHost() const { return text(7378, 1024); }
    void setFileResolverHost(std::string_view value) { setText(7378, 1024, value); }
    std::string filterResolverHost() const { return text(8402, 1024); }
    void setFilterResolverHost(std::string_view value) { setText(8402, 1024, value); }

    // Packet filters (Filter Setup)
    bool allowTcp() const { return m_bytes[9426] != 0; }
    void setAllowTcp(bool on) { m_bytes[9426] = on ? 1 : 0; }
    bool allowUdp() const { return m_bytes[9427] != 0; }
    void setAllowUdp(bool on) { m_bytes[9427] = on ? 1 : 0; }
    bool allowIcmp() const { return m_bytes[9428] != 0; }
    void setAllowIcmp(bool on) { m_bytes[9428] = on ? 1 : 0; }
    bool allowOther() const { return m_bytes[9429] != 0; }
    void setAllowOther(bool on) { m_bytes[9429] = on ? 1 : 0; }
    int32_t minPacketSize() const { return get<int32_t>(9432); }
    void setMinPacketSize(int32_t value) { put<int32_t>(9432, value); }
    int32_t maxPacketSize() const { return get<int32_t>(9436); }
    void setMaxPacketSize(int32_t value) { put<int32_t>(9436, value); }
    uint32_t srcIpList(size_t i) const { return address(9440, i); }
    void setSrcIpList(size_t i, uint32_t networkOrder) { setAddress(9440, i, networkOrder); }
    uint32_t srcIpNotList(size_t i) const { return address(9840, i); }
    void setSrcIpNotList(size_t i, uint32_t networkOrder) { setAddress(9840, i, networkOrder); }
    uint32_t dstIpList(size_t i) const { return address(10240, i); }
    void setDstIpList(size_t i, uint32_t networkOrder) { setAddress(10240, i, networkOrder); }
    uint32_t dstIpNotList(size_t i) const { return address(10640, i); }
    void setDstIpNotList(size_t i, uint32_t networkOrder) { setAddress(10640, i, networkOrder); }

    // Automatic logging (General settings)
    bool autoLog() const { return m_bytes[11040] != 0; }
    void setAutoLog(bool on) { m_bytes[11040] = on ? 1 : 0; }
    std::string autoLogPath() const { return text(11041, 1024); }
    void setAutoLogPath(std::string_view value) { setText(11041, 1024, value); }
    int32_t autoLogIntervalSec() const { return get<int32_t>(12068); }
    void setAutoLogIntervalSec(int32_t value) { put<int32_t>(12068, value); }
    bool autoLogText() const { return m_bytes[12072] != 0; }
    void setAutoLogText(bool on) { m_bytes[12072] = on ? 1 : 0; }
    bool autoLogDec() const { return m_bytes[12073] != 0; }
    void setAutoLogDec(bool on) { m_bytes[12073] = on ? 1 : 0; }
    bool autoLogHex() const { return m_bytes[12074] != 0; }
    void setAutoLogHex(bool on) { m_bytes[12074] = on ? 1 : 0; }

    // Packet filters (Filter Setup)
    std::string filterEitherIpEntry() const { return text(12075, 20); }
    void setFilterEitherIpEntry(std::string_view value) { setText(12075, 20, value); }
    uint32_t eitherIpList(size_t i) const { return address(12096, i); }
    void setEitherIpList(size_t i, uint32_t networkOrder) { setAddress(12096, i, networkOrder); }
    uint16_t srcPortList(size_t i) const { return port(12496, i); }
    void setSrcPortList(size_t i, uint16_t value) { setPort(12496, i, value); }
    uint16_t dstPortList(size_t i) const { return port(12696, i); }
    void setDstPortList(size_t i, uint16_t value) { setPort(12696, i, value); }
    uint16_t srcPortNotList(size_t i) const { return port(12896, i); }
    void setSrcPortNotList(size_t i, uint16_t value) { setPort(12896, i, value); }
    uint16_t dstPortNotList(size_t i) const { return port(13096, i); }
    void setDstPortNotList(size_t i, uint16_t value) { setPort(13096, i, value); }
    uint16_t eitherPortList(size_t i) const { return port(13296, i); }
    void setEitherPortList(size_t i, uint16_t value) { setPort(13296, i, value); }
    std::string mustContain2() const { return text(13496, 1024); }
    void setMustContain2(std::string_view value) { setText(13496, 1024, value); }
    std::string mustNotContain2() const { return text(14520, 1024); }
    void setMustNotContain2(std::string_view value) { setText(14520, 1024, value); }
    std::string mustContain3() const { return text(15544, 1024); }
    void setMustContain3(std::string_view value) { setText(15544, 1024, value); }
    std::string mustNotContain3() const { return text(16568, 1024); }
    void setMustNotContain3(std::string_view value) { setText(16568, 1024, value); }

    // General settings
    std::string soundFile() const { return text(17592, 1024); }
    void setSoundFile(std::string_view value) { setText(17592, 1024, value); }
    bool useWindowsColors() const { return m_bytes[18616] != 0; }
    void setUseWindowsColors(bool on) { m_bytes[18616] = on ? 1 : 0; }
    bool noTaskbarBlink() const { return m_bytes[18617] != 0; }
    void setNoTaskbarBlink(bool on) { m_bytes[18617] = on ? 1 : 0; }
    std::string fileNameTemplate() const { return text(18618, 1024); }
    void setFileNameTemplate(std::string_view value) { setText(18618, 1024, value); }
    std::string dateTimeTemplate() const { return text(19642, 1024); }
    void setDateTimeTemplate(std::string_view value) { setText(19642, 1024, value); }

    // File Mode window and saving options
    bool acceptPartialContent() const { return m_bytes[20666] != 0; }
    void setAcceptPartialContent(bool on) { m_bytes[20666] = on ? 1 : 0; }
    bool saveListedOnly() const { return m_bytes[20667] != 0; }
    void setSaveListedOnly(bool on) { m_bytes[20667] = on ? 1 : 0; }
    bool dirtyMode() const { return m_bytes[20668] != 0; }
    void setDirtyMode(bool on) { m_bytes[20668] = on ? 1 : 0; }

  private:
    template <typename T>
    T get(size_t offset) const {
        T value = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            value = static_cast<T>(value |
                                   static_cast<T>(static_cast<T>(m_bytes[offset + i]) << (8 * i)));
        return value;
    }
    template <typename T>
    void put(size_t offset, T value) {
        for (size_t i = 0; i < sizeof(T); ++i)
            m_bytes[offset + i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
    }

    // Reads up to the first zero byte, never past the field's width.
    std::string text(size_t offset, size_t width) const;
    // Writes at most width - 1 bytes (cut before a partial UTF-8 sequence) and a terminator;
    // the bytes behind the terminator keep what was there, as the file format has it.
    void setText(size_t offset, size_t width, std::string_view value);

    // Address lists hold the four address bytes in network order (as in in_addr.s_addr).
    uint32_t address(size_t offset, size_t i) const;
    void setAddress(size_t offset, size_t i, uint32_t networkOrder);
    uint16_t port(size_t offset, size_t i) const;
    void setPort(size_t offset, size_t i, uint16_t value);

    Bytes m_bytes;
};

// Cuts a text to at most maxBytes bytes without splitting a UTF-8 sequence.
std::string_view truncateUtf8(std::string_view text, size_t maxBytes);

}  // namespace vorlanx
