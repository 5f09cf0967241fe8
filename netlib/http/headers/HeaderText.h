#pragma once
// Text helpers of the request and log side: line ends of the caller's extra
// headers, chunk framing, header value checks and the escaping and masking
// applied to logged traffic.
#include "core/text/ByteString.h"

namespace tornell::http {

// Trailing CR LF pairs go, one after the other; a LF without its CR goes
// and ends the removal; then one CR LF is appended.
[[nodiscard]] int EnsureCrLf(ByteString& text);

// The line that opens a chunk of `length` bytes: lower-case hex, CR LF.
[[nodiscard]] int AppendChunkHeader(ByteString& out, long long length);
// What closes every chunk.
inline constexpr char kChunkTrailer[] = "\r\n";
// What ends a chunked body: the last chunk and the empty trailer section.
inline constexpr char kLastChunk[] = "0\r\n\r\n";

// 0, or kHttpStatusInvalidValue when the value holds CR, LF or NUL, which
// would end the field (or the head) early on the wire.
[[nodiscard]] int CheckHeaderValue(const char* value, int length, ByteString* errorText);
inline constexpr char kInvalidHeaderValueText[] = "Invalid character in header value.";

// The caller's extra header lines without those named Authorization or
// Cookie (and their folded continuations), for a request that a redirect
// sends to another origin.
[[nodiscard]] int StripCredentialHeaders(const char* text, int length, ByteString& out);

// Bytes 32-127, CR and LF are copied; every other byte becomes "0x%x".
[[nodiscard]] int EscapeControl(const void* data, int length, ByteString& out);

// Every Basic credential in the text ("Basic " and its token) shows as
// "Basic " and one 'x' a character, so logs never carry a password.
[[nodiscard]] int MaskBasicCredentials(ByteString& text);

}  // namespace tornell::http
