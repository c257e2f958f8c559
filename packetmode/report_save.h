// Saving the stored packets (File > Save): as the text report, or as a capture file that
// other analysers open.
//
// The window asks for the path and the saving options on the user-interface thread; the
// rest runs on a worker, beside capture, without listBusy: it reads `count` afresh for
// every slot, so packets captured meanwhile are saved too. Several saves may run at once;
// they share the list area's progress bar and Cancel button.
#pragma once

#include <cstdint>
#include <string>

#include "packetmode/packet_list.h"
#include "packetmode/packet_mode_state.h"
#include "packetmode/packet_mode_view.h"
#include "packetmode/packet_store.h"
#include "platform/local_time.h"
#include "platform/user_prompt.h"
#include "settings/settings_record.h"

namespace vorlanx {

// The five fields of the Saving options window.
struct SavingOptions {
    bool withData = false;
    bool dec = false;
    bool hex = false;
    bool text = false;
    bool listedOnly = true;

    static SavingOptions fromRecord(const SettingsRecord& record);
    void storeInto(SettingsRecord& record) const;
    bool operator==(const SavingOptions&) const = default;
};

enum class SaveFormat {
    Report,  // the text report
    Capture, // a pcap file: one record per saved slot, the datagram whole with its time
};

struct SaveRequest {
    std::string path;
    SaveFormat format = SaveFormat::Report;
    SavingOptions options;
    std::string dateTimeTemplate;  // stamps a write-error message
};

struct SaveServices {
    PacketModeState& state;
    const PacketStore& store;
    const PacketList& list;
    PacketModeView& view;
    UserPrompt& prompt;
    const LocalTimeSource& localTime;
};

struct SaveResult {
    bool created = false;    // the file could be created
    int error = 0;           // errno of the write that ended the save; 0 when none failed
    int64_t saved = 0;       // slots handled without a write error
    bool cancelled = false;  // Cancel ended the loop
};

// "Brindlecraft VORLANX was unable to save the file."
inline constexpr const char* kUnableToSaveText = "Brindlecraft VORLANX was unable to save the file.";

// Creates the file, writes every slot to be saved (all below `count`, or only the listed
// ones), shows the progress over the list with Cancel, and reports failures: the file
// that cannot be created, or the first failed write (the report then has no trailer).
// Worker thread.
SaveResult RunSave(const SaveRequest& request, const SaveServices& services);

// The "Error while writing to file" message of a failed write, owned by the window.
PromptRequest WriteErrorMessage(int error, const std::string& path,
                                const std::string& dateTimeTemplate,
                                const LocalTimeSource& localTime);

}  // namespace vorlanx
