// Fuzz targets for what a TLS peer or a setting hands this code: setting
// lists and suite names, a peer's key-exchange value, and protected records.
// TLS_FUZZ_TARGET picks the target: lists, peer or record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/text/SplitList.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/suites/CipherSuite.h"
#include "tls/suites/DhParameters.h"

using namespace tornell;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void Lists(const std::string& text) {
  StringList items;
  Check(SplitList(text.c_str(), ',', items) == 0);
  for (int i = 0; i < items.Count(); ++i) Check(items.EntryLength(i) > 0 && items.Get(i)[0] != ' ');
  ByteString stored, error;
  (void)tls::ValidateGroupList(text.c_str(), 0, stored);
  (void)tls::ValidateGroupList(text.c_str(), 1, stored);
  (void)tls::ValidateSignatureSchemeList(text.c_str(), stored);
  (void)tls::ValidateTls12SignatureAlgorithms(text.c_str(), stored, error);
  (void)tls::HexValue(text.c_str());
  int id = 0;
  (void)tls::GroupId(text.c_str(), id);
  (void)tls::SignatureSchemeId(text.c_str(), id);
  CodeList offer;
  Check(CipherSuite::BuildEnabledList(text.c_str(), 0x0304, 1, 0xFFFF, offer) == 0);
  Check(offer.Count() <= CipherSuite::kMaxEnabledCodes);
  CodeList offered;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    Check(offered.Add((static_cast<unsigned char>(text[i]) << 8) | static_cast<unsigned char>(text[i + 1])) == 0);
  }
  CipherSuite chosen;
  const int status = CipherSuite::ChooseServerSuiteFor(offered, "RSA", -1, &offered, text.c_str(), 0, 0, 1, chosen);
  Check(status == 0 || status == CipherSuite::kNoAcceptableSuite);
}

DhParameters& Own(int which) {
  static DhParameters groups[4];
  static bool ready = false;
  if (!ready) {
    Check(groups[0].SetupGroup(0, 256, 1) == 0);
    for (int i = 1; i < 4; ++i) {
      Check(groups[i].SetGroup(22 + i, 1) == 0);
      Check(groups[i].UseEllipticCurve(1) == 0);
      Check(groups[i].GenerateEcKey() == 0);
    }
    ready = true;
  }
  return groups[which];
}

void Peer(const uint8_t* data, size_t size) {
  if (size < 1) return;
  DhParameters dh;
  Check(dh.CopyFrom(Own(data[0] % 4)) == 0);
  ByteString value, secret;
  Check(value.Set(data + 1, static_cast<int>(size - 1)) == 0);
  if (dh.SetPeerPublic(value) == 0) Check(dh.GetSharedSecret(secret) == 0 && secret.Length() > 0);
}

void Record(const uint8_t* data, size_t size) {
  static const int kCodes[] = {0x1301, 0x1303, 0x002F, 0x0005};
  if (size < 29) return;
  CipherSuite suite;
  Check(CipherSuite::CopyByCode(kCodes[data[0] % 4], suite) == 0);
  ByteString key, iv, tag, out;
  Check(key.AppendRepeated(suite.GetKeyLength(), 0x4B) == 0);
  Check(iv.AppendRepeated(suite.IsAead() ? 0 : suite.GetIvLength(), 0x49) == 0);
  Check(suite.SetKeyAndIv(key, iv) == 0);
  Check(tag.Set(data + 13, 16) == 0);
  const WireBuffer nonce(data, 1, 12);
  const WireBuffer aad(data, 0, 13);
  Check(suite.PrepareAead(nonce, aad, &tag) == 0);
  const int length = static_cast<int>(size - 29);
  const int status = suite.Decrypt(reinterpret_cast<const char*>(data) + 29, length, out);
  // A forged AEAD record yields nothing.
  if (suite.IsAead() != 0) Check((status == 0 && out.Length() == length) || (status != 0 && out.Length() == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* target = std::getenv("TLS_FUZZ_TARGET");
  const std::string which = target != nullptr ? target : "lists";
  if (which == "peer") {
    Peer(data, size);
  } else if (which == "record") {
    Record(data, size);
  } else {
    Lists(std::string(reinterpret_cast<const char*>(data), size).c_str());
  }
  return 0;
}
