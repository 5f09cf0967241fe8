// libFuzzer target: a server engine after StartHandshake takes the input as
// bytes from a client (ClientHello in the record form or the SSL 2.0 form,
// and whatever follows). The first byte picks the own certificate (RSA or
// P-256, made by the seed script beside this program; none when missing)
// and the protocol mask.
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "../record/EngineHarness.h"
#include "pki/store/SelectedCertificate.h"

using namespace enginetest;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Beside(const char* name) {
  char path[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  std::string dir = n > 0 ? std::string(path, size_t(n)) : std::string();
  dir = dir.substr(0, dir.rfind('/') + 1);
  std::ifstream in(dir + name, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// The leaf certificate with its key from the PKCS#12 file, once per kind.
SelectedCertificate* Identity(const char* kind) {
  const std::string leaf = Beside((std::string(kind) + ".crt").c_str());
  const std::string pfx = Beside((std::string(kind) + ".p12").c_str());
  if (leaf.empty() || pfx.empty()) return nullptr;
  auto* own = new SelectedCertificate();
  if (own->Init(nullptr, 0, 0, nullptr, nullptr, leaf.data(), int(leaf.size())) != 0 || own->GetManager() == nullptr ||
      own->GetManager()->Store().Clear() != 0 ||
      own->GetManager()->Store().AddPkcs12(pfx.data(), int(pfx.size()), "fuzz") != 0) {
    delete own;
    return nullptr;
  }
  return own;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static SelectedCertificate* const kOwn[2] = {Identity("rsa"), Identity("p256")};
  static const int kMasks[4] = {0xFFFF, 0x0C00, 0x3000, 0x00F0};
  const int mode = data[0];
  TlsEngine engine;
  MemoryOwner owner;
  (void)engine.SetDefaults(&owner, 0);
  engine.ownCertificate = kOwn[mode & 1];
  engine.authenticateClients = (mode >> 4) & 1;
  Check(engine.SetEnabledProtocols(kMasks[(mode >> 1) & 3]) == 0);
  Check(engine.StartHandshake() == 0);
  const char* input = reinterpret_cast<const char*>(data + 1);
  const int length = int(size - 1);
  // Cut in two where the mode's top bits say, so a split record is met too.
  const int cut = length * ((mode >> 5) & 7) / 8;
  int status = engine.Receive(input, cut);
  if (status == 0) status = engine.Receive(input + cut, length - cut);
  // A failure latches.
  if (status != 0) Check(engine.Receive("x", 1) == status);
  return 0;
}
