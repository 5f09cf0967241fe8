#include "crypto/digest/hash/HashAlgorithm.h"

#include <cstring>

namespace tornell {

namespace {

struct AlgorithmEntry {
  int bytes;
  const char* names[3];
};

const AlgorithmEntry kAlgorithms[HashAlgorithm::kCount] = {
    {20, {"SHA1", "SHA-1", nullptr}},
    {16, {"MD5", nullptr, nullptr}},
    {32, {"SHA256", "SHA-256", nullptr}},
    {28, {"SHA224", "SHA-224", nullptr}},
    {64, {"SHA512", "SHA-512", nullptr}},
    {28, {"SHA512/224", "SHA-512/224", nullptr}},
    {32, {"SHA512/256", "SHA-512/256", nullptr}},
    {48, {"SHA384", "SHA-384", nullptr}},
    {20, {"RIPEMD160", "RIPEMD-160", "MD160"}},
    {16, {"MD4", nullptr, nullptr}},
    {16, {"MD2", nullptr, nullptr}},
    {36, {"MD5SHA1", nullptr, nullptr}},
    {28, {"SHA3_224", "SHA-3-224", nullptr}},
    {32, {"SHA3_256", "SHA-3-256", nullptr}},
    {48, {"SHA3_384", "SHA-3-384", nullptr}},
    {64, {"SHA3_512", "SHA-3-512", nullptr}},
    {32, {"SHAKE128", nullptr, nullptr}},
    {64, {"SHAKE256", nullptr, nullptr}},
};

bool InTable(int id) { return static_cast<unsigned>(id) < HashAlgorithm::kCount; }

}  // namespace

int HashDigestLength(int id) { return InTable(id) ? kAlgorithms[id].bytes : 0; }

int HashAlgorithmIdOf(const char* upperName) {
  if (upperName == nullptr) return -1;
  for (int id = 0; id < HashAlgorithm::kCount; ++id) {
    for (const char* name : kAlgorithms[id].names) {
      if (name != nullptr && std::strcmp(name, upperName) == 0) return id;
    }
  }
  return -1;
}

const char* HashAlgorithmName(int id) { return InTable(id) ? kAlgorithms[id].names[0] : ""; }

}  // namespace tornell
