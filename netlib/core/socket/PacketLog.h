#pragma once
// Formats of the debug log and of the transcript (an expect script that plays
// the peer's part). The writers are SocketCore members.

#include "core/text/ByteString.h"

namespace tornell {

// Two upper-case hex digits a byte, a space after each except every 32nd,
// which ends its line with CR LF.
[[nodiscard]] int HexDump(const unsigned char* data, int length, ByteString& out);

// Appends the bytes as they must appear between double quotes in a Tcl script
// so that the script reproduces them exactly.
[[nodiscard]] int AppendTranscriptEscaped(const char* data, int length, ByteString& out);

}  // namespace tornell
