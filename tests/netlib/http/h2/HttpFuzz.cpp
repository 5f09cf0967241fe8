// libFuzzer target for what the HTTP/2 layer reads from a peer. The target is
// picked by HTTP_FUZZ_TARGET: hpack (header blocks, fresh or warm table),
// frames (the input as a frame of every type) or engine (the input as the
// byte stream a server sends to the connection engine, in pieces).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/buffer/PtrList.h"
#include "core/text/StringList.h"
#include "http/h2/HpackStaticTable.h"
#include "http/h2/Http2Connection.h"
#include "http/h2/Http2Frames.h"
#include "http/h2/Http2HeadersFrame.h"
#include "../../../support/FuzzRequire.h"

using namespace tornell;

namespace {

// RFC 7541 C.3, so later blocks can refer to dynamic entries.
const char* const kWarmBlocks[] = {
    "\x82\x86\x84\x41\x0f" "www.example.com",
    "\x82\x86\x84\xbe\x58\x08" "no-cache",
    "\x82\x87\x85\xbf\x40\x0a" "custom-key" "\x0c" "custom-value",
};
const int kWarmLengths[] = {20, 14, 29};

std::vector<std::string> Entries(const StringList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.emplace_back(list.Get(i), list.EntryLength(i));
  return out;
}

void FuzzHpack(const uint8_t* data, size_t size) {
  if (size < 1) return;
  const int mode = data[0];
  ++data;
  --size;
  HpackStaticTable table;
  if (mode & 1) {
    for (int i = 0; i < 3; ++i) {
      StringList warm;
      Require(Http2HeadersFrame::DecodeHeaderBlock(kWarmBlocks[i], 0, kWarmLengths[i], table, warm) == 0, "warm");
    }
  }
  if (mode & 2) table.SetSizeLimit((mode >> 2) * 64);
  StringList fields;
  ByteString error;
  const int status = Http2HeadersFrame::DecodeHeaderBlock(data, 0, static_cast<int>(size), table, fields, &error);
  Require(status == 0 || status == 9, "decode status");
  Require(status == 0 || error.Length() > 0, "decode error text");
  Require(table.Size() <= table.MaxSize() && table.MaxSize() <= 4096, "table bounds");
  Require(fields.Count() % 2 == 0, "pairs");
  if (status != 0) return;
  // What decoded codes again, and a fresh pair of tables reads it back.
  PtrList<HpackHeaderField> list;
  for (int i = 0; i < fields.Count(); i += 2) {
    HpackHeaderField field;
    Require(field.Set(fields.Get(i), fields.EntryLength(i), fields.Get(i + 1), fields.EntryLength(i + 1)) == 0, "set");
    Require(list.Add(field) == 0, "add");
  }
  HpackStaticTable encoder;
  HpackStaticTable decoder;
  ByteString block;
  Require(Http2HeadersFrame::EncodeHeaderBlock((mode & 0x80) != 0, list, encoder, "cookie", block) == 0, "encode");
  StringList again;
  Require(Http2HeadersFrame::DecodeHeaderBlock(block.Data(), 0, block.Length(), decoder, again) == 0, "decode again");
  Require(Entries(again) == Entries(fields), "round trip");
}

template <typename Frame>
void ParseAs(const std::string& bytes) {
  Frame frame;
  const int status = frame.Parse(bytes.data(), static_cast<int>(bytes.size()));
  Require(status == 0 || status == 1 || status == 6 || status == 1080, "parse status");
  if (status != 0) {
    Require(std::strlen(frame.GetLastErrorText()) > 0, "parse error text");
    return;
  }
  Require(frame.Length() <= 16384 && frame.StreamId() >= 0, "header bounds");
  // A parsed frame serializes and parses to the same bytes.
  ByteString out;
  Require(frame.Serialize(out) == 0, "serialize");
  Frame again;
  Require(again.Parse(out.Data(), out.Length()) == 0, "parse again");
  ByteString twice;
  Require(again.Serialize(twice) == 0, "serialize again");
  Require(out.Length() == twice.Length() && std::memcmp(out.Data(), twice.Data(), out.Length()) == 0, "stable");
}

void FuzzFrames(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.size() >= 9) {
    // Mostly a length that matches what follows, so payloads get read.
    const size_t payload = bytes.size() - 9;
    if ((bytes[0] & 0x80) == 0 && payload <= 0xFFFFFF) {
      bytes[0] = static_cast<char>(payload >> 16);
      bytes[1] = static_cast<char>(payload >> 8);
      bytes[2] = static_cast<char>(payload);
    }
  }
  for (int type = 0; type < 10; ++type) {
    if (bytes.size() >= 4) bytes[3] = static_cast<char>(type);
    switch (type) {
      case 0: ParseAs<Http2DataFrame>(bytes); break;
      case 1: ParseAs<Http2HeadersFrame>(bytes); break;
      case 2: ParseAs<Http2PriorityFrame>(bytes); break;
      case 3: ParseAs<Http2RstStreamFrame>(bytes); break;
      case 4: ParseAs<Http2SettingsFrame>(bytes); break;
      case 5: ParseAs<Http2PushPromiseFrame>(bytes); break;
      case 6: ParseAs<Http2PingFrame>(bytes); break;
      case 7: ParseAs<Http2GoAwayFrame>(bytes); break;
      case 8: ParseAs<Http2WindowUpdateFrame>(bytes); break;
      default: ParseAs<Http2ContinuationFrame>(bytes); break;
    }
  }
}

// Writes vanish, waits end at once, events are counted.
class NullOwner : public Http2Owner {
 public:
  int GetLogLevel() override { return 3; }
  int Log(const char*, const char*) override { return 0; }
  bool IsInterruptPending() override { return false; }
  int DoEvents() override { return 1; }
  int SendText(const char*) override { return 0; }
  int SendBytes(const char*, int length) override { return length >= 0 ? 0 : 1; }
  int SendInChunks(const char*, int length, int, int) override { return length >= 0 ? 0 : 1; }
  int DeliverEvent(int kind, const void* data, int length) override {
    Require(kind >= 0 && kind <= 3, "event kind");
    if (kind == kHttp2EventHeader) Require(static_cast<const StringList*>(data)->Count() == 2 && length == 2, "pair");
    if (kind == kHttp2EventData) Require(data != nullptr && length > 0 && length <= 16384, "data");
    return 0;
  }
};

void FuzzEngine(const uint8_t* data, size_t size) {
  if (size < 1) return;
  const int mode = data[0];
  ++data;
  --size;
  Http2Connection connection;
  NullOwner owner;
  connection.BindProtocol(&owner);
  Require(connection.SendPreface() == 0, "preface");
  StringList headers;
  for (const char* entry : {":method", "POST", ":scheme", "https", ":path", "/", ":authority", "a:443"}) {
    Require(headers.Add(entry) == 0, "header");
  }
  Require(connection.OpenStream(headers, (mode & 1) != 0) == 0, "open");
  // Pieces of 1 to 64 bytes, or the whole input at once.
  const size_t piece = (mode >> 1) == 0 ? size : static_cast<size_t>((mode >> 1) & 63) + 1;
  int status = 0;
  for (size_t at = 0; at < size && status == 0; at += piece) {
    const size_t n = size - at < piece ? size - at : piece;
    status = connection.OnDataIn(reinterpret_cast<const char*>(data) + at, static_cast<int>(n), 0);
  }
  Require(status == 0 || status == 1 || status == 3 || status == 6 || status == 9, "engine status");
  Require(status == 0 || std::strlen(connection.GetLastErrorText()) > 0, "engine error text");
  Http2Engine& engine = connection.Engine();
  Require(engine.StreamSendWindow() <= kHttp2MaxWindow && connection.ConnectionSendWindow() <= kHttp2MaxWindow,
          "send windows");
  Require(engine.StreamReceiveWindow() >= 0 && connection.ConnectionReceiveWindow() >= 0, "receive windows");
  if (status == 0 && (mode & 1) == 0) {
    const char body[100] = {};
    const int sent = connection.SendData(body, sizeof body, true);
    Require(sent == 0 || sent == 1 || sent == 301, "send status");
  }
  Require(connection.CloseStream() == 0 || engine.State() == kStreamIdle, "close");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* target = std::getenv("HTTP_FUZZ_TARGET");
  const std::string which = target != nullptr ? target : "hpack";
  if (which == "frames") {
    FuzzFrames(data, size);
  } else if (which == "engine") {
    FuzzEngine(data, size);
  } else {
    FuzzHpack(data, size);
  }
  return 0;
}
