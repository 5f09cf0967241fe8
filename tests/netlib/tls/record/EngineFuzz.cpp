// libFuzzer target: a client engine after StartHandshake takes the input as
// bytes from the server, cut into Receive calls where the input says. The
// first byte picks the engine's keys (none, TLS 1.3 AES-GCM, TLS 1.2 CBC,
// TLS 1.2 GCM) and the number of cuts; the cut offsets follow, one byte each.
// The same bytes also go through the TLS 1.3 message parsers and, as
// decrypted handshake records, through an established TLS 1.3 session.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "EngineHarness.h"

using namespace enginetest;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int mode = data[0] & 3;
  size_t cuts = (data[0] >> 2) & 15;
  size_t at = 1;
  if (cuts > size - at) cuts = size - at;
  const uint8_t* cutBytes = data + at;
  at += cuts;
  const char* input = reinterpret_cast<const char*>(data + at);
  const int length = int(size - at);

  TlsEngine engine;
  MemoryOwner owner;
  static const int kCodes[4] = {0, 0x1301, 0x002F, 0xC02F};
  static const int kVersions[4] = {0x0303, 0x0304, 0x0303, 0x0303};
  static const int kIvs[4] = {0, 12, 16, 4};
  if (mode == 0) {
    (void)engine.SetDefaults(&owner, 1);
    Check(engine.StartHandshake() == 0);
  } else {
    Check(Install(engine, owner, 1, kCodes[mode], kVersions[mode], ClientKeys(16, kIvs[mode]),
                  ServerKeys(16, kIvs[mode])) == 0);
  }
  int offset = 0;
  int status = 0;
  for (size_t i = 0; i <= cuts && status == 0; ++i) {
    int end = i < cuts ? offset + cutBytes[i] : length;
    if (end > length) end = length;
    status = engine.Receive(input + offset, end - offset);
    offset = end;
  }
  // A failure latches.
  if (status != 0) Check(engine.Receive("x", 1) == status);

  // The same bytes as the decrypted handshake records of an established TLS
  // 1.3 session: post-handshake messages, KeyUpdate among them.
  TlsEngine established;
  MemoryOwner establishedOwner;
  Check(Install(established, establishedOwner, 1, 0x1301, 0x0304, ClientKeys(16, 12), ServerKeys(16, 12)) == 0);
  for (SecretBytes& secret : established.applicationTrafficSecrets) Check(secret.Set(std::string(32, 's').c_str()) == 0);
  (void)established.ProcessHandshakeRecord(input, length);

  TlsEngine parser;
  MemoryOwner parserOwner;
  (void)parser.SetDefaults(&parserOwner, 1);
  Check(parser.SetAlpnProtocols("h2,http/1.1") == 0);
  WireBuffer extensions(input, 0, length);
  int consumed = 0;
  if (parser.ParseEncryptedExtensions(extensions, consumed) == 0) Check(consumed <= length);
  TlsEngine ticketParser;
  WireBuffer ticket(input, 0, length);
  if (ticketParser.ParseNewSessionTicket(ticket, consumed) == 0) Check(consumed <= length);
  return 0;
}
