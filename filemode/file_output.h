// Naming and writing the file of one stored stream.
//
// The name comes from the user's FileNameTemplate with the stream's addresses and the
// expanded DateTimeTemplate (the time of writing); the extension text comes from the
// classification. The file goes into the directory shown in the File Mode window, read at
// the moment of writing, as does "Over-Write files of same name".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "capture/packet_record.h"  // AddressText, shared with Packet Mode
#include "filemode/file_mode_counters.h"
#include "filemode/file_mode_options.h"
#include "platform/local_time.h"
#include "platform/user_prompt.h"
#include "settings/settings_record.h"  // kDefaultFileNameTemplate

namespace vorlanx {

// The addresses that name a file: bytes 12..15 and 16..19 of the slot's first-filed
// datagram (not the first in sequence order), in network order; and whether the stream's
// segments left a sequence gap (its bytes stop short of what was sent).
struct StreamOrigin {
    std::array<uint8_t, 4> source;
    std::array<uint8_t, 4> destination;
    bool sequenceGap = false;
};

// A path is assembled in a buffer of this size: at most 9,999 characters. A longer path is
// refused, never cut short.
inline constexpr size_t kPathBufferBytes = 10000;

// With overwriting off, a taken name is retried as "name (2).ext" up to this number.
inline constexpr unsigned kMaxSameNameCopies = 9999;

// The expanded date-time text as it goes into a file name: every ":" becomes "." and
// every "\\" becomes "/". Pure.
std::string FileNameDateText(std::string_view expandedDateTime);

// The FileNameTemplate with every "%SIP", then "%DIP", then "%DAT", then "%sip", "%dip" and
// "%dat" replaced (each in turn throughout the text) by the source address, destination
// address and `dateText`. Nothing else is changed. Pure.
std::string BuildFileName(std::string_view fileNameTemplate, const StreamOrigin& origin,
                          std::string_view dateText);

// directory + "/" + name [+ " (copy)"] + "." + extension, as the platform joins them: a
// directory ending in "/" gives "//", an empty one a path that starts with "/". `copy` 1
// adds nothing. Pure.
std::string JoinOutputPath(std::string_view directory, std::string_view name,
                           std::string_view extension, unsigned copy = 1);

enum class FileWriteOutcome {
    Written,      // the file exists with every byte (or, after WriteFailed, some of them)
    WriteFailed,  // opened, but a write or the close failed: what was written is counted
    OpenFailed,   // could not be created; the error message was shown
    InvalidName,  // the name is refused by the file system; dropped without a message
    PathTooLong,  // longer than kPathBufferBytes - 1; refused with a message
    NoFreeName,   // overwriting off and every numbered name taken; message shown
};

struct FileWriteResult {
    FileWriteOutcome outcome = FileWriteOutcome::OpenFailed;
    std::string path;           // the path written, or the one that failed
    uint64_t bytesWritten = 0;  // sum of what each write reported
    uint64_t writeCalls = 0;    // writes issued to the file
};

// What a stored stream's file holds: the bytes of `stream` from `start` on, as they stand,
// or, when `chunked`, the data of each chunk of the chunked body that starts there
// (ForEachChunk's rule), decoded while writing.
struct FileBody {
    std::span<const uint8_t> stream;
    size_t start = 0;
    bool chunked = false;
    // The body is known to be short of what was sent: the name gets kIncompleteMarker
    // before its extension (and any copy number), and filesIncompleteAll counts it.
    bool incomplete = false;
};

// What an incomplete file's name carries before its extension.
inline constexpr const char* kIncompleteMarker = " (incomplete)";

// A chunked body's data is gathered into one buffer of at most this many bytes (counted in
// trackedMemory while it exists) and written in large pieces, however small its chunks.
inline constexpr size_t kChunkedWriteBufferBytes = 64 * 1024;

// Names the file (time read once from `localTime`), creates it and writes `body`. Overwriting off:
// an existing file is never touched; a taken name is written as "name (2).ext", "name (3).ext", ...
// instead. Overwriting on: the file is created or truncated; a symbolic link, FIFO or device
// standing at the path is refused (OpenFailed, with the write-error message), never followed,
// opened for long or written. A written file adds 1 and its bytes to
// filesWritten* / bytesWritten*. Failures are reported through `prompt` (the invalid-name case
// silently). Assembler thread.
FileWriteResult WriteStreamFile(const FileBody& body, const StreamOrigin& origin,
                                std::string_view extension, const FileModeLiveOptions& options,
                                FileModeCounters& counters, UserPrompt& prompt,
                                const LocalTimeSource& localTime);

}  // namespace vorlanx
