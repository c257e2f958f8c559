// Opening the capture when a mode window opens and when Start is pressed, with the
// messages both modes show for it.
#pragma once

#include <memory>
#include <string>

#include "capture/capture_source.h"
#include "platform/user_prompt.h"

namespace vorlanx {

// Message texts and captions of the capture's start.
inline constexpr const char* kCreateSocketErrorText =
    "Error code %ld while attempting to create socket.";
inline constexpr const char* kCreateSocketErrorCaption = "Error creating socket";
inline constexpr const char* kRawSocketsUnavailableText =
    "Startup error.\r\n\r\nMake sure raw sockets are enabled on your system (this is so by "
    "default).\r\nNote: Administrative access to this computer may be required, make sure "
    "you are logged on with an administrative account.";
inline constexpr const char* kStartupErrorText = "Startup error: %ld";
inline constexpr const char* kUnableToListenText =
    "Unable to listen on the interface: %s\r\nThe chosen interface must be a NIC or "
    "Modem.\r\nMake sure your NIC is enabled.\r\nNote: Windows 2000 (or higher) is "
    "required.\r\nYou must be logged on with an administrative account.";
inline constexpr const char* kUnableToListenCaption = "Unable to listen";
inline constexpr const char* kUnknownErrorText = "Error: %ld";
inline constexpr const char* kUnknownErrorCaption = "Unknown error";

// printf-style formatting of the message texts ("%ld" with a number, "%s" with a text).
std::string FormatMessage(const char* format, long number);
std::string FormatMessage(const char* format, const std::string& text);

// How opening a capture on the interface once, when a mode window opens, came out.
enum class InterfaceTrial {
    Listening,          // capture works; nothing was shown
    InterfaceUnusable,  // nothing was shown; the caller opens Choose Interface
    EndProcess,         // the start-up messages were shown; the caller ends with status 0
};

// Opens a capture on `interfaceAddress` and closes it again before returning. When raw
// capture is impossible, or fails in any other way, the start-up messages are shown
// through `prompt`. User-interface thread.
InterfaceTrial TryCaptureInterface(CaptureSourceFactory& sources,
                                   const std::string& interfaceAddress, UserPrompt& prompt);

// The capture source a Start opened. `source` may be null after an error that lets the
// start go on (the capture thread's first receive then fails and it ends with
// "Stopped"); `unableToListen` means the start must stop.
struct StartCapture {
    std::unique_ptr<CaptureSource> source;
    bool unableToListen = false;
};

// The start routine of both modes: opens the capture for `interfaceAddress` and reports
// trouble that lets the start go on: "Error code %ld while attempting to create socket."
// (caption "Error creating socket") when no capture socket can be made, "Error: %ld"
// (caption "Unknown error") for any other failure, both with an error icon. When the
// interface cannot listen, closes the source and returns unableToListen without a message:
// the caller clears its running flag first, then calls ReportUnableToListen. Starter thread.
StartCapture OpenCaptureForStart(CaptureSourceFactory& sources, const std::string& interfaceAddress,
                                 UserPrompt& prompt);

// "Unable to listen on the interface: ..." with the address, caption "Unable to listen",
// error icon. Starter thread.
void ReportUnableToListen(UserPrompt& prompt, const std::string& interfaceAddress);

}  // namespace vorlanx
