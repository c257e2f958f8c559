// PacketCaptureThread: the Packet Mode receive loop.
//
// Takes every datagram of one capture source, copies it into a PacketRecord, tests it
// against the current filter set when filtering is on, and files an accepted packet in
// the next PacketStore slot with its list row. Per packet: one allocation and one copy of
// the datagram, the filter test against an immutable snapshot, one small allocation for
// the time text, and one short hold of listBusy; nothing waits for the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
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

// When a datagram was captured: the local time its Date / Time text shows, and the instant
// kept with the slot for saved capture files.
struct CaptureMoment {
    LocalTime local;
    int64_t microsecondsSinceEpoch = 0;
};

// The way of one datagram into the store and the list. The receive loop and the loading of
// capture files both go through it, so a datagram gives the same slot and row either way.
// Holds the loop's snapshots of the filters and the Date / Time template. One thread.
class PacketIntake {
  public:
    enum class Outcome {
        Listed,            // stored in the next slot with its row
        Discarded,         // rejected by the filters; nothing changed
        MemoryError,       // no record could be allocated; nothing changed
        MaxListItems,      // the list refused the row; the packet is not stored
        ItemLimitReached,  // stored and listed, and the store is now full
    };

    explicit PacketIntake(const PacketCaptureContext& context);

    // Copies `datagram` (cut to kMaxDatagramBytes) into a PacketRecord, tests it against the
    // filters while "Apply filters to incoming packets" is on, and files an accepted one in
    // slot `count` with its row under listBusy; then moves progress bar 1019. The row's
    // Date / Time text is `recorded` when given (a capture file's record time), otherwise
    // the moment of filing. Neither the sound flag nor the status line is touched.
    Outcome take(std::span<const uint8_t> datagram,
                 const std::optional<CaptureMoment>& recorded = std::nullopt);

  private:
    // The Date / Time text for `at`; the expansion is reused while the time and the
    // template stay the same.
    const std::string& timeText(const LocalTime& at);

    PacketModeState& m_state;
    PacketStore& m_store;
    PacketList& m_list;
    const LocalTimeSource& m_localTime;
    SharedSnapshot<std::string>::Reader m_template;
    SharedSnapshot<PacketFilterSet>::Reader m_filters;
    std::string m_scratch;  // payload text of the filter test
    std::string m_timeText;
    LocalTime m_timeOfText{};
    const std::string* m_templateOfText = nullptr;
    bool m_haveTimeText = false;
};

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

    PacketCaptureContext m_c;
    std::shared_ptr<CaptureSource> m_source;
    std::string m_interfaceAddress;
    PacketIntake m_intake;
};

}  // namespace vorlanx
