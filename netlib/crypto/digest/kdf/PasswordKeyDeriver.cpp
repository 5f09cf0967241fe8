#include "crypto/digest/kdf/PasswordKeyDeriver.h"

#include "core/base/Status.h"

#include <climits>
#include <cstring>

#include "crypto/digest/kdf/Pbkdf2.h"

namespace tornell {

namespace {

struct DigestWord {
  const char* word;
  int id;
};

// Tested in this order; the first found after the name's first byte wins.
const DigestWord kPbkdf2Words[] = {
    {"sha1", HashAlgorithm::kSha1},     {"sha224", HashAlgorithm::kSha224},
    {"sha256", HashAlgorithm::kSha256}, {"sha384", HashAlgorithm::kSha384},
    {"sha512", HashAlgorithm::kSha512}, {"md5", HashAlgorithm::kMd5},
    {"ripemd", HashAlgorithm::kRipemd160},
};

}  // namespace

PasswordKeyDeriver::PasswordKeyDeriver() : hashName_("MD5"), lastError_(0) {}

PasswordKeyDeriver::~PasswordKeyDeriver() = default;

int PasswordKeyDeriver::DeriveKeyAndIv(int iterations, char*& key, int keyLength, char*& iv,
                                       int ivLength, int passwordFirst) {
  if (keyLength < 0) keyLength = 0;
  if (ivLength < 0) ivLength = 0;
  ByteString derived;
  int status = keyLength > INT_MAX - ivLength
                   ? kStatusKdfBadRequest
                   : DeriveBytes(iterations, hashName_.CStr(), password_.CStr(), salt_.Data(),
                                 salt_.Length(), keyLength + ivLength, passwordFirst, derived);
  if (status == 0 && keyLength > 0) {
    status = key_.Set(derived.Data(), keyLength);
    if (status == 0) key = key_.Data();
  }
  if (status == 0 && ivLength > 0) {
    status = iv_.Set(derived.Data() + keyLength, ivLength);
    if (status == 0) iv = iv_.Data();
  }
  lastError_ = status;
  return status;
}

int PasswordKeyDeriver::DeriveBytes(int iterations, const char* hashName, const char* password,
                                    const char* salt, int saltLength, int length,
                                    int passwordFirst, ByteString& out) {
  if (password == nullptr) password = "";
  if (hashName == nullptr) hashName = "";
  ByteString name;
  int status = name.Set(hashName);
  if (status != 0) return status;
  name.ToLower();
  if (name.Find("hmac") >= 0) {
    return DerivePbkdf2(name, iterations, password, salt, saltLength, length, out);
  }
  const int passwordLength = static_cast<int>(std::strlen(password));
  ByteString block;  // D of the previous round
  ByteString input;
  while (status == 0 && out.Length() < length) {
    status = input.Resize(0);
    if (status == 0 && passwordFirst == 0) status = input.Append(block);
    if (status == 0) status = input.Append(password, passwordLength);
    if (status == 0 && passwordFirst != 0) status = input.Append(block);
    if (status == 0) status = input.Append(salt, saltLength);
    if (status == 0) status = HashOnce(hashName, input.Data(), input.Length(), block);
    for (int n = 1; status == 0 && n < iterations; ++n) {
      status = HashOnce(hashName, block.Data(), block.Length(), block);
    }
    if (status == 0) status = out.Append(block);
  }
  if (status == 0 && out.Length() > length) status = out.Resize(length);
  return status;
}

int PasswordKeyDeriver::DerivePbkdf2(const ByteString& lowerName, int iterations,
                                     const char* password, const char* salt, int saltLength,
                                     int length, ByteString& out) {
  int id = -1;
  for (const DigestWord& entry : kPbkdf2Words) {
    if (lowerName.Find(entry.word) >= 1) {
      id = entry.id;
      break;
    }
  }
  if (id < 0) return kStatusUnknownKdfHash;
  if (length < 0) length = 0;
  if (length > Pbkdf2::kMaxBlocks * HashContext::DigestLengthOf(id)) return kStatusNoMemory;
  int status = out.Resize(length);
  if (status != 0) return status;
  Pbkdf2 kdf;
  return kdf.Derive(id, password, static_cast<int>(std::strlen(password)), salt, saltLength,
                    iterations, length * 8, out.Data());
}

int PasswordKeyDeriver::HashOnce(const char* hashName, const char* data, int length,
                                 ByteString& digest) {
  const unsigned char* result = nullptr;
  int digestLength = 0;
  if (CompareNoCase(hashName, "MD5") == 0) {
    md5_.Reset();
    md5_.Update(data, length);
    result = md5_.Final();
    digestLength = Md5Digest::kDigestBytes;
  } else if (CompareNoCase(hashName, "SHA1") == 0) {
    TORNELL_TRY(sha1_.Reset());
    // A failed absorption shows as a null result below.
    (void)sha1_.Update(data, length);
    result = sha1_.Final();
    digestLength = Sha1Digest::kDigestBytes;
  } else if (CompareNoCase(hashName, "MD2") == 0) {
    md2_.Reset();
    md2_.Update(data, length);
    result = md2_.Final();
    digestLength = Md2Digest::kDigestBytes;
  } else {
    return kStatusUnknownKdfHash;
  }
  if (result == nullptr) return kStatusDigestFailed;
  return digest.Set(result, digestLength);
}

}  // namespace tornell
