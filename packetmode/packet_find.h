// Find in packets: searches the payload text of the stored packets for the find box's text
// and shows each packet that holds it, one at a time.
//
// The scan (ScanForMatch) is a plain function over the PacketStore so it can be timed on
// its own; FindThread is the whole search as the user meets it: its messages, the list
// covered by progress bar 1129 while it scans, and the wait at each match.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "packetmode/packet_list.h"
#include "packetmode/packet_mode_state.h"
#include "packetmode/packet_mode_view.h"
#include "packetmode/packet_store.h"
#include "packetmode/shared_snapshot.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// What one run looks for: the find text as typed, or folded to lower case once (as the
// filters fold) when "Match case" is off.
class PayloadSearch {
  public:
    PayloadSearch(std::string text, bool matchCase);

    bool empty() const { return m_text.empty(); }
    // The payload text of `packet` (zero bytes read as spaces), folded when "Match case" is
    // off, built in one pass into `work`: one buffer the caller reuses for every packet.
    // Valid until `work` changes. Any thread.
    std::string_view textOf(const PacketView& packet, std::string& work) const;
    // True when `payloadText`, as textOf built it, contains the text.
    bool foundIn(std::string_view payloadText) const;

  private:
    std::string m_text;
    bool m_matchCase;
};

// Slots between two moves of progress bar 1129.
inline constexpr int32_t kFindProgressStep = 20;

// What a scan reports and asks while it runs; either may be empty.
struct FindScanHooks {
    std::function<void(int32_t)> progress;  // slot i, for every i that is a multiple of 20
    std::function<bool()> stop;             // after every slot: true ends the scan
};

// Scans slots from .. end-1 in order and returns the first whose payload text contains the
// search's text; `end` when none does, -1 when `stop` ended the scan. Slots without a
// record are skipped. Any thread; takes only the store's short per-slot lock.
int32_t ScanForMatch(const PacketStore& store, const PayloadSearch& search, int32_t from,
                     int32_t end, std::string& work, const FindScanHooks& hooks = {});

struct FindContext {
    PacketModeState& state;
    PacketStore& store;
    PacketList& list;
    PacketModeView& view;
    UserPrompt& prompt;
    const SharedSnapshot<std::string>& findText;  // the find box's text, kept current
    const std::atomic<bool>& shutdown;            // the engine is shutting down
};

class FindThread {
  public:
    explicit FindThread(FindContext context);

    // The search on the calling thread, started by "Find / Next" with findRunning already
    // set: scans every slot below the count at its start, waits at each match shown until
    // Next, and asks at the end whether to search again (Yes runs it again from slot 0).
    // An abort (new find text, Clear), exitRequested or the engine's shutdown end it
    // silently. Clears findRunning when it ends, whichever way.
    void run();

    // Poll of the wait at a match.
    static constexpr int kWaitPollMs = 20;

  private:
    enum class RunEnd { SearchAgain, Done };

    RunEnd search();
    // Shows the match in `slot` when its row still exists and waits for Next. False when
    // the search must end instead.
    bool showMatch(int32_t slot, int32_t count, bool& covered);
    bool ending() const;  // abort, exit or shutdown
    bool exiting() const;

    FindContext m_context;
    std::string m_work;  // the payload text of one slot; reused for every slot
};

}  // namespace vorlanx
