// libFuzzer target: key table parsing, the three decryptions and the KDC
// reply readers (AS-REP, TGS-REP, KRB-ERROR, METHOD-DATA) on arbitrary bytes.
// The first byte picks the parser, the key usage or the client's state.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/kerberos/KerberosClient.h"
#include "net/kerberos/Keytab.h"
#include "../../../support/FuzzRequire.h"

namespace {

const int kEtypes[] = {3, 23, 17, 18};

// Keys come from a key table, so no reply can ask for a costly
// string-to-key: one entry of each type.
std::string g_keytab;

std::string U16(unsigned v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v)}; }
std::string U32(uint32_t v) { return U16(v >> 16) + U16(v & 0xFFFF); }

void WriteKeytab() {
  char path[] = "/tmp/kerberos-fuzz-XXXXXX";
  const int fd = mkstemp(path);
  Require(fd >= 0, "keytab file");
  std::string file = "\x05\x02";
  for (const int etype : kEtypes) {
    const unsigned length = etype == 3 ? 8 : etype == 18 ? 32 : 16;
    std::string body = U16(1) + U16(10) + "TEST.LOCAL" + U16(4) + "user" + U32(1) + U32(0) + std::string(1, '\x01') +
                       U16(static_cast<unsigned>(etype)) + U16(length) + std::string(length, '\x42');
    file += U32(static_cast<uint32_t>(body.size())) + body;
  }
  Require(write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size()), "keytab write");
  close(fd);
  g_keytab = path;
  std::atexit([] { unlink(g_keytab.c_str()); });
}

class ReplyClient : public tornell::KerberosClient {
 public:
  void SetState(int state) { state_ = state; }
};

void FuzzReply(uint8_t choice, const char* rest, int length) {
  ReplyClient client;
  Require(client.Init() == 1, "init");
  Require(client.SetUser("user@TEST.LOCAL") == 0, "user");
  const char* answer = nullptr;
  Require(client.ConfigText(("KerberosKeytabFile=" + g_keytab).c_str(), answer) == 0, "keytab");
  client.SetState((choice & 8) != 0 ? tornell::kKerberosTgsSent : tornell::kKerberosAsSent);
  tornell::ByteString message, s2kparams;
  Require(message.Set(rest, length) == 0, "message");
  int status = 0;
  switch (choice % 8) {
    case 5: status = client.ProcessReply(message); break;
    case 6: status = client.ProcessKrbError(message); break;
    default: status = client.ProcessPaData(message, s2kparams); break;
  }
  Require(status != 0 || client.GetState() == tornell::kKerberosAsSent || client.GetState() == tornell::kKerberosTgsSent ||
              client.GetState() == tornell::kKerberosPreauthRequired,
          "state after a reply");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  if (g_keytab.empty()) WriteKeytab();
  const uint8_t choice = data[0];
  const char* rest = reinterpret_cast<const char*>(data + 1);
  const int length = static_cast<int>(size - 1);
  if (choice % 8 >= 5) {
    FuzzReply(choice, rest, length);
    return 0;
  }
  if (choice % 5 == 4) {
    tornell::net::Keytab keytab;
    Require(keytab.SetFileName("fuzz") == 0, "file name");
    const int status = keytab.Parse(rest, length);
    Require(status == 0 || status == tornell::net::kStatusKeytabTruncated || status == 200, "keytab status");
    for (int i = 0; i < keytab.Count(); ++i) Require(keytab.Entry(i) != nullptr, "entry");
    for (const int etype : kEtypes) {
      if (keytab.SelectKey(etype) == 1) Require(keytab.GetSelectedRealm() != nullptr, "selected realm");
    }
    return 0;
  }
  const int etype = kEtypes[choice % 5];
  const int keyLength = etype == 3 ? 8 : etype == 18 ? 32 : 16;
  tornell::ByteString key, ciphertext, plain;
  Require(key.Resize(keyLength) == 0, "key");
  for (int i = 0; i < keyLength; ++i) key.Data()[i] = static_cast<char>(0x11 * (i + 1));
  Require(ciphertext.Set(rest, length) == 0, "ciphertext");
  tornell::KerberosClient client;
  const int status = client.DecryptData(etype, ciphertext, key, choice >> 3, plain);
  Require(status != 0 || plain.Length() <= length, "plaintext longer than the ciphertext");
  return 0;
}
