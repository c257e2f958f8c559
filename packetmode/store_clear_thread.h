// StoreClearThread: empties the packet list and releases every stored packet.
//
// Runs for the Clear button and for the final release when the window closes. It holds
// listBusy for the whole release, so a running capture waits and then goes on at slot 0.
#pragma once

#include <cstdint>

#include "packetmode/packet_list.h"
#include "packetmode/packet_mode_state.h"
#include "packetmode/packet_mode_view.h"
#include "packetmode/packet_store.h"

namespace vorlanx {

class StoreClearThread {
  public:
    StoreClearThread(PacketModeState& state, PacketStore& store, PacketList& list,
                     PacketModeView& view);

    // The whole clear on the calling thread: aborts a running Find, deletes every row,
    // releases every slot (progress bar 1129 over the hidden list every 100th occupied
    // slot), sets `count` and `allocationBytes` to 0, empties the detail fields, and
    // finally stamps `lastClearTime` and sets `clearDone`.
    void run();

    // Slots between two moves of the progress bar.
    static constexpr int32_t kProgressStep = 100;

  private:
    PacketModeState& m_state;
    PacketStore& m_store;
    PacketList& m_list;
    PacketModeView& m_view;
};

// A clock reading for lastClearTime: milliseconds of a steady clock, always later than
// `previous` so that two clears never leave the same mark.
int32_t NextClearTime(int32_t previous);

}  // namespace vorlanx
