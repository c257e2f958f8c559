// The platform edge a headless Packet Mode core meets in tests: a scripted capture source
// and prompt, a recording view, silence and a fixed clock.
#pragma once

#include "packetmode/packet_mode_core.h"
#include "support/quiet_platform.h"
#include "support/recording_packet_mode_view.h"
#include "support/scripted_capture_source.h"
#include "support/scripted_prompt.h"

namespace vorlanx::test {

struct PacketModeEdges {
    ScriptedCaptureSourceFactory sources;
    RecordingPacketModeView view;
    RecordingStatusMonitorView statusView;
    SilentSoundPlayer sound;
    ScriptedPrompt prompt;
    FixedLocalTimeSource localTime{LocalTime{2024, 3, 5, 14, 7, 9, 42}};

    PacketModeCoreServices services() {
        return {sources, view, statusView, sound, localTime, prompt};
    }
};

}  // namespace vorlanx::test
