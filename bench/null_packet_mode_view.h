// A Packet Mode view that shows nothing, for benchmarks that drive the mode's workers.
#pragma once

#include "packetmode/packet_mode_view.h"

namespace vorlanx {

class NullPacketModeView final : public PacketModeView {
  public:
    void setStatusText(const std::string&) override {}
    void setListProgressRange(int32_t) override {}
    void emptyEntirePacketPane() override {}
    void showOperationProgress(int32_t) override {}
    void setOperationProgress(int32_t) override {}
    void hideOperationProgress() override {}
    void showSaveCancel(bool) override {}
    void emptyDetailFields() override {}
    void focusList() override {}
};

}  // namespace vorlanx
