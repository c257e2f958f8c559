// CaptureFileLoad: File > "Open capture file..." puts the IPv4 datagrams of a pcap or
// pcapng file into the packet list.
//
// Each datagram takes the capture thread's own way into the store and the list
// (PacketIntake): the filters while "Apply filters to incoming packets" is on, the same
// slot, row and cells, the same limits and status texts. Only the Date / Time text differs:
// it is the record's capture time in local time, not the time of loading. The rows are
// appended to what the list holds (Clear first for a list of the file alone). A load plays
// no sound and does not blink the title, since it is no capture.
#pragma once

#include <cstdint>
#include <string>

#include "packetmode/packet_capture_thread.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// Caption of the message about a capture file that could not be read.
inline constexpr const char* kCaptureFileErrorCaption = "Open capture file";

struct CaptureFileLoadResult {
    enum class End {
        Finished,          // the whole file was read
        Cancelled,         // Cancel, the window's close or the engine's shutdown
        Unreadable,        // missing, unreadable, not a capture file, or a foreign link type
        Damaged,           // reading stopped at a damaged record; what came before is kept
        ItemLimitReached,  // the store is full
        MaxListItems,      // the list refused a row
        MemoryError,       // a record could not be allocated
    };
    End end = End::Finished;
    int32_t listed = 0;       // rows added
    uint64_t discarded = 0;   // datagrams the filters rejected
    uint64_t skipped = 0;     // records that held no IPv4 datagram
};

// The message for a file that could not be read: the reader's reason (which names the
// file) and, when reading stopped part-way, how many packets of it were listed before.
std::string CaptureFileErrorText(const std::string& reason, bool partWay, int32_t listed);

class CaptureFileLoad {
  public:
    CaptureFileLoad(const PacketCaptureContext& context, UserPrompt& prompt);

    // Loads the file at `path` on the calling thread. While it reads, the list is hidden
    // under progress bar 1129 (the percentage of the file read) and Cancel (1132) shows;
    // Cancel (loadCancelRequested), exitRequested or the owner's shutdown stop it and keep
    // what was loaded. A file that cannot be read is reported once through the prompt,
    // after the list shows again; the limits write the capture's status texts.
    CaptureFileLoadResult run(const std::string& path);

  private:
    bool stopRequested() const;

    PacketCaptureContext m_c;
    UserPrompt& m_prompt;
};

}  // namespace vorlanx
