#include "core/socket/PacketLog.h"

#include <cstdint>
#include <cstring>
#include <ctime>

#include "core/socket/SocketCore.h"

namespace tornell {

namespace {

constexpr unsigned kLogNoHexDump = 1;
constexpr unsigned kLogNoData = 2;

const char kHexDigits[] = "0123456789ABCDEF";

bool NeedsBackslash(unsigned char c) {
  return c == '\\' || c == '$' || c == '"' || c == '{' || c == '}' || c == '[' || c == ']';
}

}  // namespace

int HexDump(const unsigned char* data, int length, ByteString& out) {
  for (int i = 0; i < length; ++i) {
    const char chunk[4] = {kHexDigits[data[i] >> 4], kHexDigits[data[i] & 15],
                           (i + 1) % 32 == 0 ? '\r' : ' ', '\n'};
    const int status = out.Append(chunk, (i + 1) % 32 == 0 ? 4 : 3);
    if (status != 0) return status;
  }
  return kStatusOk;
}

// A script is read with Tcl's end-of-line translation, which turns a CR into
// LF; CR is therefore written as an octal escape like the other control bytes.
int AppendTranscriptEscaped(const char* data, int length, ByteString& out) {
  for (int i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    int status;
    if (NeedsBackslash(c)) {
      const char chunk[2] = {'\\', static_cast<char>(c)};
      status = out.Append(chunk, 2);
    } else if (c == '\n' || (c >= 0x20 && c <= 0x7E)) {
      status = out.AppendByte(c);
    } else {
      const char chunk[4] = {'\\', static_cast<char>('0' + (c >> 6)),
                             static_cast<char>('0' + ((c >> 3) & 7)), static_cast<char>('0' + (c & 7))};
      status = out.Append(chunk, 4);
    }
    if (status != 0) return status;
  }
  return kStatusOk;
}

int SocketCore::AppendLogPrefix(ByteString& out, int local) {
  const time_t now = time(nullptr);
  struct tm parts {};
  if (local != 0) {
    localtime_r(&now, &parts);
  } else {
    gmtime_r(&now, &parts);
  }
  return out.AppendFormat("[%lld][%04d/%02d/%02d %02d:%02d:%02d] ",
                          static_cast<long long>(reinterpret_cast<intptr_t>(this)),
                          parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                          parts.tm_min, parts.tm_sec);
}

namespace {
// The log file is opened, written and closed for every record so that it can
// be read, moved or removed while the object lives.
int AppendToLog(const char* path, const ByteString& record) {
  FileStream file;
  int status = file.OpenAppend(path);
  if (status == 0) status = file.Write(record.Data(), static_cast<unsigned>(record.Length()));
  file.Close();
  return status;
}
}  // namespace

int SocketCore::LogText(const char* text) {
  if (!IsLogging()) return kStatusOk;
  ByteString record;
  int status = AppendLogPrefix(record, 1);
  if (status == 0) status = record.Append(text);
  if (status == 0) status = record.Append("\r\n");
  if (status != 0) return status;
  return AppendToLog(GetLogFile(), record);
}

int SocketCore::LogDataRecord(const char* word, const char* data, int length) {
  if (!IsLogging()) return kStatusOk;
  ByteString record;
  int status = AppendLogPrefix(record, 1);
  if (status == 0) status = record.AppendFormat("------%s------(%d bytes)\r\n", word, length);
  if (status == 0) {
    if ((GetLogOption() & kLogNoHexDump) != 0) {
      status = HexDump(reinterpret_cast<const unsigned char*>(data), length, record);
    } else {
      status = record.Append(data, length);
    }
  }
  if (status == 0) status = record.Append("\r\n");
  if (status != 0) return status;
  return AppendToLog(GetLogFile(), record);
}

int SocketCore::LogData(int direction, const char* data, int length) {
  if ((GetLogOption() & kLogNoData) == 0) {
    // The debug log is best effort; the transcript's status is the result.
    static_cast<void>(LogDataRecord(direction == 0 ? "SEND" : "RECEIVE", data, length));
  }
  if (!transcriptFile_.IsOpen() && recordToString_ == 0) return kStatusOk;
  const char* opening;
  if (direction == 0) {
    opening = "\r\nexpect -exact \"";
  } else if (direction == 1) {
    opening = "\r\nsend -nonewline \"";
  } else {
    return kStatusOk;
  }
  int status = WriteTranscript(opening, static_cast<int>(std::strlen(opening)));
  if (status == 0) status = WriteTranscriptEscaped(data, length);
  if (status == 0) status = WriteTranscript("\"\r\n", 3);
  return status;
}

int SocketCore::LogDataText(int direction, const char* text) {
  if (!transcriptFile_.IsOpen() && recordToString_ == 0 && !IsLogging()) return kStatusOk;
  return LogData(direction, text, text != nullptr ? static_cast<int>(std::strlen(text)) : 0);
}

int SocketCore::WriteTranscript(const void* bytes, int length) {
  if (transcriptFile_.IsOpen()) {
    const int status = transcriptFile_.Write(bytes, static_cast<unsigned>(length));
    if (status != 0) return status;
  }
  if (recordToString_ != 0) return transcript_.Append(bytes, length);
  return kStatusOk;
}

int SocketCore::WriteTranscriptEscaped(const char* data, int length) {
  // Escaped in chunks so a large block needs no large buffer.
  constexpr int kChunk = 256;
  for (int at = 0; at < length; at += kChunk) {
    ByteString chunk;
    const int n = length - at < kChunk ? length - at : kChunk;
    int status = AppendTranscriptEscaped(data + at, n, chunk);
    if (status == 0) status = WriteTranscript(chunk.Data(), chunk.Length());
    if (status != 0) return status;
  }
  return kStatusOk;
}

int SocketCore::OpenTranscript() {
  transcript_.Clear();
  transcriptFile_.Close();
  if (recordFileName_.Length() == 0) return kStatusFailed;
  return transcriptFile_.Create(recordFileName_.CStr(), 0);
}

int SocketCore::CloseTranscript() { return transcriptFile_.Close(); }

}  // namespace tornell
