// libFuzzer target for the parsers of peer bytes in authentication: Digest
// challenges, NTLM CHALLENGE messages and the token descriptions (NTLM and
// DER). The target is picked by AUTH_FUZZ_TARGET: digest, ntlm or dump.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/text/ByteString.h"
#include "net/auth/DigestAuthenticator.h"
#include "net/auth/NtlmProvider.h"
#include "../../../support/FuzzRequire.h"

using tornell::ByteString;

namespace {

void FuzzDigest(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tornell::DigestAuthenticator d;
  Require(d.ParseChallenge(text.c_str()) == 0, "parse");
  Require(d.SetCredentials("user", 4, "pw", 2) == 0 && d.SetRequest("GET", "/", "b", 1) == 0, "set");
  for (int round = 0; round < 2; ++round) {
    ByteString out;
    const int status = d.BuildAuthorization(out, round == 0);
    Require(status == 0 || status == tornell::DigestAuthenticator::kStatusUnusable, "build status");
    // Whatever the challenge held, the value stays one header line.
    Require(std::strlen(out.CStr()) == static_cast<size_t>(out.Length()), "zero byte in the value");
    Require(out.Find('\r') < 0 && out.Find('\n') < 0, "line break in the value");
  }
}

void FuzzNtlm(const uint8_t* data, size_t size) {
  ByteString message;
  Require(message.Set("NTLMSSP") == 0 && message.AppendByte(0) == 0, "prefix");
  Require(message.Append(data, static_cast<long>(size)) == 0, "append");
  tornell::NtlmProvider p;
  Require(p.SetCredentials("NTLM", "DOM\\user", "password") == 0, "credentials");
  ByteString out;
  if (size > 0 && (data[0] & 1) != 0) Require(p.BuildNegotiate(out) == 0, "negotiate");
  out.Clear();
  const int status = p.ProcessChallenge(out, message);
  if (status == 0) {
    Require(out.Length() >= 72 && std::memcmp(out.Data(), "NTLMSSP", 8) == 0 && out.ByteAt(8) == 3, "authenticate");
  } else {
    Require(status == tornell::NtlmProvider::kStatusBadChallenge, "challenge status");
    Require(out.Length() == 0, "output on failure");
  }
}

void FuzzDump(const uint8_t* data, size_t size) {
  ByteString token;
  const int mode = size > 0 ? data[0] % 3 : 0;
  if (size > 0) {
    ++data;
    --size;
  }
  if (mode == 1) {  // an NTLM message of any type
    Require(token.Set("NTLMSSP") == 0 && token.AppendByte(0) == 0, "prefix");
    Require(token.AppendByte(size > 0 ? data[0] % 4 : 0) == 0 && token.AppendRepeated(3, 0) == 0, "type");
  } else if (mode == 2 && size < 0x10000) {  // a SPNEGO token around the input
    const size_t inner = size + 8;
    const uint8_t head[] = {0x60, 0x82, static_cast<uint8_t>(inner >> 8), static_cast<uint8_t>(inner),
                            0x06, 0x06, 0x2b, 0x06, 0x01, 0x05, 0x05, 0x02};
    Require(token.Append(head, sizeof head) == 0, "gss head");
  }
  Require(token.Append(data, static_cast<long>(size)) == 0, "append");
  ByteString log;
  (void)tornell::NtlmProvider::DumpToken(token, log);
  Require(std::strlen(log.CStr()) == static_cast<size_t>(log.Length()), "zero byte in the log");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* target = std::getenv("AUTH_FUZZ_TARGET");
  const std::string name = target != nullptr ? target : "dump";
  if (name == "digest") {
    FuzzDigest(data, size);
  } else if (name == "ntlm") {
    FuzzNtlm(data, size);
  } else {
    FuzzDump(data, size);
  }
  return 0;
}
