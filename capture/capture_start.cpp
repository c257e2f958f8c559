#include "capture/capture_start.h"

#include <string_view>

namespace vorlanx {
namespace {

std::string ReplaceFirst(const char* format, std::string_view token, std::string_view value) {
    std::string text(format);
    const size_t at = text.find(token);
    if (at != std::string::npos)
        text.replace(at, token.size(), value);
    return text;
}

}  // namespace

std::string FormatMessage(const char* format, long number) {
    return ReplaceFirst(format, "%ld", std::to_string(number));
}

std::string FormatMessage(const char* format, const std::string& text) {
    return ReplaceFirst(format, "%s", text);
}

InterfaceTrial TryCaptureInterface(CaptureSourceFactory& sources,
                                   const std::string& interfaceAddress, UserPrompt& prompt) {
    OpenOutcome outcome;
    {
        std::unique_ptr<CaptureSource> trial = sources.open(interfaceAddress, outcome);
        if (trial)
            trial->close();
    }  // the trial's source is gone before anything else happens
    switch (outcome.result) {
        case ReceiveAllResult::Listening:
            return InterfaceTrial::Listening;
        case ReceiveAllResult::InterfaceUnusable:
            return InterfaceTrial::InterfaceUnusable;
        case ReceiveAllResult::RawSocketsUnavailable:
            // The socket could not be created (reported with its error number), so the
            // switch to receive-all had nothing to work on.
            prompt.tell("", FormatMessage(kCreateSocketErrorText, outcome.errorNumber),
                        PromptIcon::None);
            prompt.tell("", kRawSocketsUnavailableText, PromptIcon::Error);
            return InterfaceTrial::EndProcess;
        case ReceiveAllResult::OtherError:
            break;
    }
    prompt.tell("", FormatMessage(kStartupErrorText, outcome.errorNumber), PromptIcon::None);
    return InterfaceTrial::EndProcess;
}

StartCapture OpenCaptureForStart(CaptureSourceFactory& sources, const std::string& interfaceAddress,
                                 UserPrompt& prompt) {
    StartCapture opened;
    OpenOutcome outcome;
    opened.source = sources.open(interfaceAddress, outcome);
    switch (outcome.result) {
        case ReceiveAllResult::Listening:
            break;
        case ReceiveAllResult::InterfaceUnusable:
            if (opened.source)
                opened.source->close();
            opened.source.reset();
            opened.unableToListen = true;
            break;
        case ReceiveAllResult::RawSocketsUnavailable:
            prompt.tell(kCreateSocketErrorCaption,
                        FormatMessage(kCreateSocketErrorText, outcome.errorNumber),
                        PromptIcon::Error);
            break;
        case ReceiveAllResult::OtherError:
            prompt.tell(kUnknownErrorCaption, FormatMessage(kUnknownErrorText, outcome.errorNumber),
                        PromptIcon::Error);
            break;
    }
    return opened;
}

void ReportUnableToListen(UserPrompt& prompt, const std::string& interfaceAddress) {
    prompt.tell(kUnableToListenCaption, FormatMessage(kUnableToListenText, interfaceAddress),
                PromptIcon::Error);
}

}  // namespace vorlanx
