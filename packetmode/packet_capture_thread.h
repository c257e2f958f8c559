// PacketCaptureThread: the Packet Mode receive loop.
//
// Takes every datagram of one capture source, copies it into a PacketRecord, tests it
// against the current filter set when filtering is on, and files an accepted packet in
// the next PacketStore slot with its list row. Per packet: one allocation and one copy of
// the datagram, the filter test against an immutable snapshot, one small allocation for
// the time text, and one short hold of listBusy; nothing waits for the window.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "capture/capture_source.h"
#include "packetmode/packet_list.h"
#include "packetmode/packet_mode_state.h"
#include "packetmode/packet_mode_view.h"
#include "packetmode/packet_store.h"
#include "packetmode/shared_snapshot.h"
#include "packetmode/current_packet_filters.h"
#include "platform/local_time.h"

namespace vorlanx {

// What the receive loop works with; all of it outlives the loop.
struct PacketCaptureContext {
    PacketModeState& state;
    PacketStore& store;
    PacketList& list;
    const CurrentPacketFilters& filters;
    PacketModeView& view;
    const LocalTimeSource& localTime;
    const SharedSnapshot<std::string>& dateTimeTemplate;
    // Set when the owner shuts down; the loop ends at its next check as on exitRequested.
    const std::atomic<bool>& shutdown;
};

// Status line texts of the capture.
inline constexpr const char* kListeningOnStatus = "Listening on: ";
inline constexpr const char* kStoppedStatus = "Stopped";
inline constexpr const char* kMemoryErrorStatus = "Stopped/Memory Error";
inline constexpr const char* kMaxListItemsStatus = "Stopped/Max List Items";
inline constexpr const char* kItemLimitStatus = "Stopped/Item Limit Reached";

class PacketCaptureThread {
  public:
    enum class EndReason {
        Stopped,           // the source ended (Stop, receive error) or exit was requested
        MemoryError,       // a record could not be allocated
        MaxListItems,      // the list refused a row
        ItemLimitReached,  // the store is full
    };

    PacketCaptureThread(PacketCaptureContext context, std::shared_ptr<CaptureSource> source,
                        std::string interfaceAddress);

    // Runs the loop on the calling thread until the capture ends; writes the status texts,
    // closes the source on every end but the plain "Stopped" one (the source already
    // ended there), and clears `capturing` last. The caller has set `capturing`.
    EndReason run();

  private:
    EndReason end(EndReason reason, const char* status);
    // The Date / Time text for now; the expansion is reused while the time and the
    // template stay the same.
    const std::string& timeText();

    PacketCaptureContext m_c;
    std::shared_ptr<CaptureSource> m_source;
    std::string m_interfaceAddress;

    SharedSnapshot<std::string>::Reader m_template;
    SharedSnapshot<PacketFilterSet>::Reader m_filters;
    std::string m_scratch;  // payload text of the filter test
    std::string m_timeText;
    LocalTime m_timeOfText{};
    const std::string* m_templateOfText = nullptr;
    bool m_haveTimeText = false;
};

}  // namespace vorlanx
