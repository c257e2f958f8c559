// Where datagrams come from: the live capture socket or a capture file.
//
// Both deliver whole IPv4 datagrams, IP header first, to one receive loop (the Packet Mode
// and File Mode capture threads), so recorded traffic replays through the same code as
// live traffic.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace vorlanx {

// How switching a socket to receive every datagram of an interface came out.
enum class ReceiveAllResult {
    Listening,              // capturing
    InterfaceUnusable,      // no interface owns the address (empty, unparsable, gone)
    RawSocketsUnavailable,  // the capture socket cannot be created (no CAP_NET_RAW)
    OtherError,             // anything else; errorNumber says what
};

struct OpenOutcome {
    ReceiveAllResult result = ReceiveAllResult::OtherError;
    int errorNumber = 0;  // errno of the failing step; 0 when listening
};

class CaptureSource {
  public:
    virtual ~CaptureSource() = default;

    // Blocks until the next datagram and returns it; the bytes stay valid until the next
    // call. Returns nothing once the source is closed, exhausted or failed: the receive
    // loop then ends. Capture thread only.
    virtual std::optional<std::span<const uint8_t>> receive() = 0;

    // Makes a blocked or later receive() return nothing, promptly. Any thread; idempotent.
    virtual void close() = 0;

    // Bytes waiting in the receive queue (the buffer-usage bar); 0 when unknown.
    virtual uint64_t bytesWaiting() const { return 0; }
    // Datagrams the kernel dropped because the queue was full, since opening.
    virtual uint64_t droppedByKernel() const { return 0; }
    // Datagrams skipped because they could not be delivered whole (longer than the receive
    // buffer, or cut by the kernel), since opening.
    virtual uint64_t datagramsCut() const { return 0; }

    // True for recorded traffic (a capture file): receive() returning nothing is then the
    // end of the recording, and recordTime() is the capture time of the datagram last
    // delivered (since the Unix epoch). A live source has no record times.
    virtual bool isRecording() const { return false; }
    virtual std::chrono::microseconds recordTime() const { return {}; }
    // A recording that stopped at a damaged record or could not be read: what went wrong,
    // naming the file; empty otherwise. Any thread once receive() has returned nothing.
    virtual std::string failureText() const { return {}; }
};

// Opens capture sources for an interface address. The live implementation opens the
// capture socket; tests substitute capture files or scripted datagrams.
class CaptureSourceFactory {
  public:
    virtual ~CaptureSourceFactory() = default;
    // Opens and switches to receive-all. On failure the outcome says why and the result
    // may still hold a source whose first receive fails (as a socket that was created but
    // could not be switched).
    virtual std::unique_ptr<CaptureSource> open(const std::string& interfaceAddress,
                                                OpenOutcome& outcome) = 0;
};

}  // namespace vorlanx
