// What the Packet Mode engine needs of its window.
//
// The PacketModeWindow implements it. Workers call it; the implementation carries each
// call to the user-interface thread (queued; only openChooseInterface is called on the
// user-interface thread itself and may run a modal window). No call may wait for
// PacketModeState::listBusy: workers call it while holding that lock.
//
// The list's rows reach the view through PacketList::nextChange(), and the position of
// progress bar 1019 through PacketModeState::listProgressPosition; both are polled by the
// view, so the capture thread never waits for painting.
#pragma once

#include <cstdint>
#include <string>

namespace vorlanx {

class PacketModeView {
  public:
    virtual ~PacketModeView() = default;

    // Sets the status line (1004). Any thread.
    virtual void setStatusText(const std::string& text) = 0;
    // Sets the range of progress bar 1019 to 0..maximum. Any thread.
    virtual void setListProgressRange(int32_t maximum) = 0;
    // Empties the "Entire packet" pane (1020). Any thread.
    virtual void emptyEntirePacketPane() = 0;
    // Hides the list (1000) and shows progress bar 1129 in its place with range
    // 0..maximum and position 0. Several operations may cover the list at once: each call
    // is paired with one hideOperationProgress, and the list shows again after the last.
    // Any thread.
    virtual void showOperationProgress(int32_t maximum) = 0;
    // Moves progress bar 1129. Any thread.
    virtual void setOperationProgress(int32_t position) = 0;
    // Ends one showOperationProgress: once none is left, shows the list again and hides
    // progress bar 1129. Any thread.
    virtual void hideOperationProgress() = 0;
    // Shows and enables, or hides and disables, the Cancel button (1132) of a save. Any
    // thread.
    virtual void showSaveCancel(bool visible) = 0;
    // The same for the loading of a capture file; the button shows while a save or a load
    // wants it. Any thread.
    virtual void showLoadCancel(bool visible) { showSaveCancel(visible); }
    // Empties the detail fields 1005 to 1010, 1013, 1015, 1023, 1011, 1012, 1021, 1016,
    // 1017 and 1022 and hides the six flag labels 1041 to 1046. Any thread.
    virtual void emptyDetailFields() = 0;
    // Gives the list the keyboard focus, its selection on the marked row (Find, at a
    // match). Any thread.
    virtual void focusList() = 0;
};

}  // namespace vorlanx
