// libFuzzer target for the strict DER signature reader and the length
// octets. DER is canonical, so whatever is accepted must encode back to
// exactly the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crypto/pubkey/DerLength.h"
#include "crypto/pubkey/PublicKeyAlgorithm.h"
#include "../../../support/FuzzRequire.h"

using namespace tornell;

namespace {

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t pos = 0, length = 0;
  if (der::ReadLength(data, size, pos, length)) {
    ByteString again;
    Require(der::AppendLength(again, length) == 0, "length writes");
    Require(size_t(again.Length()) == pos && std::memcmp(again.Data(), data, pos) == 0, "length round trip");
    Require(length <= size - pos, "length within the input");
  }
  SignaturePair pair;
  if (PublicKeyAlgorithm::DecodeDerSignature(reinterpret_cast<const char*>(data), int(size), pair) == 1) {
    ByteString out;
    Require(PublicKeyAlgorithm::EncodeDerSignature(pair.r, pair.s, out) == 0, "encode");
    Require(size_t(out.Length()) == size && std::memcmp(out.Data(), data, size) == 0, "signature round trip");
  }
  return 0;
}
