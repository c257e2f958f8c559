// The text a report or a log holds for the stored packets, byte for byte: the per-packet
// entry (a heading, and the datagram as Text, Dec or Hex when chosen), the report's
// header and trailer, and the messages of a failed write.
//
// Lines end in CR LF. Pure over their arguments; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "packetmode/packet_details.h"
#include "packetmode/packet_store.h"
#include "platform/output_file.h"

namespace vorlanx {

// The rendering of an entry's data: None unless `withData`; then Text over Dec over Hex
// (None when no flag is set).
PacketRendering EntryRendering(bool withData, bool text, bool dec, bool hex);

// Appends one packet's entry to `out`: "\r\n" (two with data), the heading of right-aligned
// fields (widths 4, 4, 15, 15, 5, 5, widened by longer values; widths count characters, not
// bytes) and the time text in brackets; with data "\r\n\r\n" and the datagram's bytes as
// captured (Text) or their Dec or Hex rendering.
void AppendPacketEntry(std::string& out, const PacketView& packet, std::string_view timeText,
                       PacketRendering rendering);

// Appends the entry of store slot `slot` to `out`; nothing for a slot without a record,
// without a time text or of length 0.
void AppendSlotEntry(std::string& out, const PacketStore& store, int32_t slot,
                     PacketRendering rendering);

// Writes the entry of store slot `slot` to `file`, rendered straight into its buffer. A
// slot without a record, without a time text or of length 0 writes nothing and succeeds.
// 0, or the errno of the failed write.
int WritePacketEntry(OutputFile& file, const PacketStore& store, int32_t slot,
                     PacketRendering rendering);

// Report items 1 to 3: the title, the column line and the rule above the entries.
std::string ReportHeader();
// Report items 5 to 7: the rule, the column line and "N Packets listed in M milliseconds."
// ("Packet" for exactly one). No line end after it.
std::string ReportTrailer(int64_t packets, int64_t milliseconds);

// The text of "Error while writing to file" for a write that failed with `error` (errno) on
// `path`; `now` is the local time as the Date / Time template expands it.
std::string WriteErrorText(int error, std::string_view path, std::string_view now);
inline constexpr const char* kWriteErrorCaption = "Error while writing to file";

}  // namespace vorlanx
