#include <cinttypes>
#include <cstdio>

#include "http/h2/Http2Connection.h"
#include "http/h2/Http2Engine.h"

namespace tornell {

namespace {

struct Phrase {
  int code;
  const char* text;
};

constexpr Phrase kPhrases[] = {
    {100, "Continue"}, {101, "Switching Protocols"}, {102, "Processing"}, {200, "OK"}, {201, "Created"},
    {202, "Accepted"}, {203, "Non-Authoritative Information"}, {204, "No Content"}, {205, "Reset Content"},
    {206, "Partial Content"}, {207, "Multi-Status"}, {300, "Multiple Choices"}, {301, "Moved Permanently"},
    {302, "Found"}, {303, "See Other"}, {304, "Not Modified"}, {305, "Use Proxy"}, {306, "Switch Proxy"},
    {307, "Temporary Redirect"}, {400, "Bad Request"}, {401, "Unauthorized"}, {402, "Payment Required"},
    {403, "Forbidden"}, {404, "Not Found"}, {405, "Method Not Allowed"}, {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"}, {408, "Request Timeout"}, {409, "Conflict"}, {410, "Gone"},
    {411, "Length Required"}, {412, "Precondition Failed"}, {413, "Request Entity Too Large"},
    {414, "Request-URI Too Long"}, {415, "Unsupported Media Type"}, {416, "Requested Range Not Satisfiable"},
    {417, "Expectation Failed"}, {421, "There are too many connections from your internet address"},
    {422, "Unprocessable Entity"}, {423, "Locked"}, {424, "Failed Dependency"}, {425, "Unordered Collection"},
    {426, "Upgrade Required"}, {449, "Retry With"}, {451, "Unavailable For Legal Reasons"},
    {500, "Internal Server Error"}, {501, "Not Implemented"}, {502, "Bad Gateway"}, {503, "Service Unavailable"},
    {504, "Gateway Timeout"}, {505, "HTTP Version Not Supported"}, {506, "Variant Also Negotiates"},
    {507, "Insufficient Storage"}, {509, "Bandwidth Limit Exceeded"}, {510, "Not Extended"},
};

struct CodeRow {
  const char* name;
  const char* text;
};

constexpr const char* kInternalText = "The endpoint encountered an unexpected internal error.";

// Codes 1 to 13.
constexpr CodeRow kCodes[] = {
    {"0x1 (PROTOCOL_ERROR)", "Unspecified protocol error."},
    {"0x2 (INTERNAL_ERROR)", kInternalText},
    {"0x3 (FLOW_CONTROL_ERROR)", "The endpoint detected flow-control protocol violation."},
    {"0x4 (SETTINGS_TIMEOUT)", "The endpoint did not received a timely response to a SETTINGS frame."},
    {"0x5 (STREAM_CLOSED)", "The endpoint received a frame after it was closed."},
    {"0x6 (FRAME_SIZE_ERROR)", "The endpoint received a frame with an invalid size."},
    {"0x7 (REFUSED_STREAM)", "The endpoint refues the stream."},
    {"0x8 (CANCEL)", "The stream was no longer needed."},
    {"0x9 (COMPRESSION_ERROR)", "The header compression context could not be maintained."},
    {"0xa (CONNECT_ERROR)", "The connection in response to a CONNECT request was reset."},
    {"0xb (ENHANCE_YOUR_CALM)", "The endpoint detected excessive load."},
    {"0xc (INADEQUATE_SECURITY)", "The underlying transport does not meet minimum security requirements."},
    {"0xd (HTTP_1_1_REQUIRED)", "The endpoint requires that HTTP/1.1 be used."},
};

constexpr const char* kStateNames[] = {"IDLE", "OPENED", "RESERVED_LOCAL", "RESERVED_REMOTE",
                                       "HALFCLOSED_REMOTE", "HALFCLOSED_LOCAL", "CLOSED"};

constexpr int kCodeCount = static_cast<int>(sizeof kCodes / sizeof kCodes[0]);

}  // namespace

const char* Http2Engine::ReasonPhrase(int code) {
  for (const Phrase& phrase : kPhrases) {
    if (phrase.code == code) return phrase.text;
  }
  return "Unknown";
}

const char* Http2Engine::StateName(int state) {
  if (state < 0 || state > kStreamClosed) return "UNKNOWN";
  return kStateNames[state];
}

const char* Http2Engine::ErrorCodeName(int code) {
  if (code >= 1 && code <= kCodeCount) return kCodes[code - 1].name;
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(code));
  // Only memory can fail; the text is then short.
  (void)codeNameText_.Set(hex);
  (void)codeNameText_.Append(" (INTERNAL_ERROR)");
  return codeNameText_.CStr();
}

const char* Http2Engine::ErrorCodeText(int code) {
  if (code >= 1 && code <= kCodeCount) return kCodes[code - 1].text;
  return kInternalText;
}

const char* Http2Engine::FormatMessage(const char* pattern, const char* a, const char* b) {
  ByteString out;
  // A failed allocation leaves a shorter text; the status code says what failed.
  for (const char* at = pattern; at != nullptr && *at != 0; ++at) {
    if (at[0] == '{' && (at[1] == '0' || at[1] == '1') && at[2] == '}') {
      const char* argument = at[1] == '0' ? a : b;
      (void)out.Append(argument != nullptr ? argument : "");
      at += 2;
    } else {
      (void)out.AppendByte(*at);
    }
  }
  (void)errorText_.Assign(out);
  return errorText_.CStr();
}

const char* Http2Engine::FormatMessage(const char* pattern, int64_t a) {
  char first[24];
  std::snprintf(first, sizeof first, "%" PRId64, a);
  return FormatMessage(pattern, first, nullptr);
}

const char* Http2Engine::FormatMessage(const char* pattern, int64_t a, int64_t b) {
  char first[24];
  char second[24];
  std::snprintf(first, sizeof first, "%" PRId64, a);
  std::snprintf(second, sizeof second, "%" PRId64, b);
  return FormatMessage(pattern, first, second);
}

}  // namespace tornell
