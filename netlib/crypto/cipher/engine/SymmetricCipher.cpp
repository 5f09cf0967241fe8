#include "crypto/cipher/engine/SymmetricCipher.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "crypto/cipher/aead/AeadFastPath.h"
#include "crypto/cipher/aes/AesNiCbc.h"

namespace tornell {

namespace {

constexpr int kAlgorithmCount = 16;
constexpr int kAesGcm = 12;
constexpr int kRijndael = 13;
constexpr int kChaCha20 = 14;
constexpr int kChaCha20Poly1305 = 15;
constexpr int kNotChecked = -1;

struct SizeRange {
  int min, max, step;  // min kNotChecked: any size passes
};

struct AlgorithmInfo {
  const char* names[2];
  int keyBits;
  int blockBits;
  bool setsMode;     // CBC
  bool setsPadding;  // None
  int stream;
  SizeRange key;
  SizeRange iv;
};

const AlgorithmInfo kAlgorithms[kAlgorithmCount] = {
    {{"aes", nullptr}, 256, 128, true, true, 0, {128, 256, 64}, {128, 128, 1}},
    {{"des", nullptr}, 64, 64, true, true, 0, {64, 64, 1}, {64, 64, 1}},
    {{"3des", "tripledes"}, 128, 64, true, true, 0, {128, 192, 64}, {64, 64, 1}},
    {{"cast5", "cast128"}, 128, 64, true, true, 0, {40, 128, 8}, {64, 64, 1}},
    {{"blowfish", nullptr}, 128, 64, true, true, 0, {1, 448, 1}, {64, 64, 1}},
    {{"twofish", nullptr}, 256, 128, true, true, 0, {128, 256, 8}, {128, 128, 1}},
    {{"idea", nullptr}, 128, 64, true, true, 0, {128, 128, 1}, {64, 64, 1}},
    {{"rc4", "arcfour"}, 128, 64, false, false, 1, {8, 2048, 8}, {kNotChecked, 0, 1}},
    {{"rc2", nullptr}, 64, 64, true, true, 0, {8, 128, 8}, {64, 64, 1}},
    {{"tea", nullptr}, 128, 64, true, true, 0, {128, 128, 1}, {64, 64, 1}},
    {{"xtea", "blocktea"}, 128, 64, true, true, 0, {128, 128, 1}, {64, 64, 1}},
    {{"xxtea", "correctedblocktea"}, 128, 64, true, true, 0, {128, 128, 1}, {64, INT_MAX, 32}},
    {{"aes-gcm", nullptr}, 256, 128, false, true, 1, {128, 256, 64}, {kNotChecked, 0, 1}},
    {{"rijndael", nullptr}, 256, 128, true, true, 0, {128, 256, 64}, {128, 256, 64}},
    {{"chacha20", nullptr}, 256, 512, false, false, 1, {256, 256, 1}, {kNotChecked, 0, 1}},
    {{"chacha20-poly1305", nullptr}, 256, 128, false, true, 1, {256, 256, 1}, {kNotChecked, 0, 1}},
};

const AlgorithmInfo* Info(int id) { return id >= 0 && id < kAlgorithmCount ? &kAlgorithms[id] : nullptr; }

bool Fits(const SizeRange& range, long long bits) {
  if (range.min == kNotChecked) return true;
  return bits >= range.min && bits <= range.max && (bits - range.min) % range.step == 0;
}

bool IsFeedbackMode(int mode) { return mode == CipherMode::OFB || mode == CipherMode::CFB; }

// Grows out by n bytes and returns where they start, or null when it cannot grow.
uint8_t* Grow(ByteString& out, int n) {
  int old = out.Length();
  if (n > INT_MAX - old) return nullptr;
  if (out.SetLength(old + n) != 0) return nullptr;
  return out.Bytes() + old;
}

// All-ones when a < b, else zero, without a branch.
inline unsigned LessMask(unsigned a, unsigned b) { return 0u - ((a - b) >> (sizeof(unsigned) * 8 - 1)); }

}  // namespace

SymmetricCipher::SymmetricCipher() {
  SetAlgorithm(0);
  direction_ = 1;
  stream_ = 0;
  chacha_.SetCounter(0);
}

int SymmetricCipher::SetAlgorithm(int id) {
  algorithm_ = id;
  stream_ = 0;
  const AlgorithmInfo* info = Info(id);
  if (info == nullptr) return kUnknownAlgorithm;
  keyBits_ = info->keyBits;
  blockBits_ = info->blockBits;
  if (info->setsMode) mode_ = CipherMode::CBC;
  if (id == kAesGcm) mode_ = CipherMode::GCM;
  if (info->setsPadding) padding_ = CipherPadding::None;
  stream_ = info->stream;
  if (id == kAesGcm) tagBits_ = 96;
  return 0;
}

int SymmetricCipher::SetAlgorithmByName(const char* name) {
  if (name == nullptr) return kUnknownAlgorithm;
  size_t begin = 0, end = std::strlen(name);
  while (begin < end && name[begin] == ' ') ++begin;
  while (end > begin && name[end - 1] == ' ') --end;
  for (int id = 0; id < kAlgorithmCount; ++id) {
    for (const char* candidate : kAlgorithms[id].names) {
      if (candidate == nullptr || std::strlen(candidate) != end - begin) continue;
      bool same = true;
      for (size_t i = begin; i < end && same; ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        same = c == candidate[i - begin];
      }
      if (same) return SetAlgorithm(id);
    }
  }
  return kUnknownAlgorithm;
}

int SymmetricCipher::SetMode(int mode) {
  mode_ = mode;
  return 0;
}

int SymmetricCipher::SetPadding(int padding) {
  padding_ = padding;
  return 0;
}

int SymmetricCipher::SetKeyBits(int bits) {
  const AlgorithmInfo* info = Info(algorithm_);
  if (info == nullptr) return kUnknownAlgorithm;
  if (!Fits(info->key, bits)) return kBadKeySize;
  keyBits_ = bits;
  return 0;
}

int SymmetricCipher::SetKey(const char* key, int length) {
  const AlgorithmInfo* info = Info(algorithm_);
  if (info == nullptr) return kUnknownAlgorithm;
  if (length < 0 || !Fits(info->key, 8LL * length)) return kBadKeySize;
  return key_.Set(key, length);
}

int SymmetricCipher::GetKey(const char** key, int* length) const {
  *key = key_.Data();
  *length = key_.Length();
  return 0;
}

int SymmetricCipher::SetIV(const char* iv, int length) {
  if (mode_ == CipherMode::ECB) return 0;
  const AlgorithmInfo* info = Info(algorithm_);
  if (info == nullptr) return kUnknownAlgorithm;
  if (length < 0) return kBadIvSize;
  if (mode_ == CipherMode::GCM || algorithm_ == kChaCha20Poly1305) return iv_.Set(iv, length);
  bool fits = algorithm_ == kAesGcm ? length == 0 : Fits(info->iv, 8LL * length);
  if (!fits) return kBadIvSize;
  return iv_.Set(iv, length);
}

int SymmetricCipher::SetTagBits(int bits) {
  if (algorithm_ == kAesGcm) {
    bool fits = mode_ == CipherMode::GCM ? bits >= 96 && bits <= 128 && bits % 8 == 0 : bits == 0;
    if (!fits) return kBadTagSize;
  }
  tagBits_ = bits;
  return 0;
}

int SymmetricCipher::SetTag(const char* tag, int length) { return tag_.Set(tag, length); }

int SymmetricCipher::GetTag(char** tag, int* length) {
  *tag = tag_.Data();
  *length = tag_.Length();
  return 0;
}

int SymmetricCipher::SetAad(const char* aad, int length) { return aad_.Set(aad, length); }

int SymmetricCipher::InitEncrypt() { return Init(1); }
int SymmetricCipher::InitDecrypt() { return Init(0); }

int SymmetricCipher::InitEncrypt(const char* key, int keyLength, const char* iv, int ivLength) {
  int st = SetKey(key, keyLength);
  if (st == 0) st = SetIV(iv, ivLength);
  if (st == 0) st = InitEncrypt();
  return st;
}

int SymmetricCipher::InitDecrypt(const char* key, int keyLength, const char* iv, int ivLength) {
  int st = SetKey(key, keyLength);
  if (st == 0) st = SetIV(iv, ivLength);
  if (st == 0) st = InitDecrypt();
  return st;
}

int SymmetricCipher::Init(int direction) {
  direction_ = direction;
  int st = chain_.Assign(iv_);
  if (st != 0) return st;
  st = EnsureRegister();
  if (st != 0) return st;
  st = pending_.Clear();
  if (st != 0) return st;
  feedbackPos_ = 0;
  return KeyObject();
}

// The chained modes read one block of register: an IV shorter than that
// (none set at all, say) runs as if padded with zero bytes.
int SymmetricCipher::EnsureRegister() {
  if (stream_ != 0 || chain_.Length() >= BlockLength()) return 0;
  return chain_.SetLength(BlockLength());
}

int SymmetricCipher::KeyObject() {
  const uint8_t* k = key_.Bytes();
  const int kl = key_.Length();
  const uint8_t* iv = iv_.Bytes();
  const int ivl = iv_.Length();
  const int enc = direction_;
  int st = 0;
  switch (algorithm_) {
    case 0: return aes_.SetKey(k, kl, enc, mode_);
    case 1: return des_.SetKey(k, kl, enc, mode_);
    case 2: return tripleDes_.SetKey(k, kl, enc, mode_);
    case 3: return cast128_.SetKey(k, kl);
    case 4: return blowfish_.SetKey(k, kl);
    case 5: return twofish_.SetKey(k, kl);
    case 6: return idea_.SetKey(k, kl, enc, mode_);
    case 7: return rc4_.SetKey(k, kl);
    case 8: return rc2_.SetKey(k, kl);
    case 9: return tea_.SetKey(k, kl, enc, mode_);
    case 10: return xtea_.SetKey(k, kl, enc, mode_);
    case 11: return xxtea_.SetKey(k, kl, enc, mode_);
    case kAesGcm:
      st = gcm_.SetKey(k, kl);
      if (st == 0) st = gcm_.SetIV(iv, uint64_t(ivl));
      if (st == 0) st = gcm_.AddAad(aad_.Bytes(), uint64_t(aad_.Length()));
      return st;
    case kRijndael: return rijndael_.SetKey(k, kl, BlockLength(), enc, mode_);
    case kChaCha20: return chacha_.SetKey(k, kl, iv, ivl, chacha_.GetCounter());
    case kChaCha20Poly1305:
      st = chachaPoly_.Init(k, kl, iv, ivl, 0, 1);
      if (st == 0) st = chachaPoly_.SetAad(aad_.Bytes(), aad_.Length());
      return st;
    default: return kUnknownAlgorithm;
  }
}

// OFB and CFB run the block cipher forward in both directions.
int SymmetricCipher::EncryptBlock(const uint8_t* in, uint8_t* out) {
  switch (algorithm_) {
    case 0: return aes_.EncryptBlock(in, out);
    case 1: return des_.EncryptBlock(in, out);
    case 2: return tripleDes_.EncryptBlock(in, out);
    case 3: return cast128_.EncryptBlock(in, out);
    case 4: return blowfish_.EncryptBlock(in, out);
    case 5: return twofish_.EncryptBlock(in, out);
    case 6: return idea_.EncryptBlock(in, out);
    case 8: return rc2_.EncryptBlock(in, out);
    case 9: return tea_.EncryptBlock(in, out);
    case 10: return xtea_.EncryptBlock(in, out);
    case 11: return xxtea_.EncryptBlock(in, BlockLength(), out);
    case kRijndael: return rijndael_.EncryptBlock(in, out);
    default: return kUnknownAlgorithm;
  }
}

int SymmetricCipher::DecryptBlock(const uint8_t* in, uint8_t* out) {
  switch (algorithm_) {
    case 0: return aes_.DecryptBlock(in, out);
    case 1: return des_.DecryptBlock(in, out);
    case 2: return tripleDes_.DecryptBlock(in, out);
    case 3: return cast128_.DecryptBlock(in, out);
    case 4: return blowfish_.DecryptBlock(in, out);
    case 5: return twofish_.DecryptBlock(in, out);
    case 6: return idea_.DecryptBlock(in, out);
    case 8: return rc2_.DecryptBlock(in, out);
    case 9: return tea_.DecryptBlock(in, out);
    case 10: return xtea_.DecryptBlock(in, out);
    case 11: return xxtea_.DecryptBlock(in, BlockLength(), out);
    case kRijndael: return rijndael_.DecryptBlock(in, out);
    default: return kUnknownAlgorithm;
  }
}

int SymmetricCipher::Ecb(const uint8_t* data, int length, ByteString& out) {
  const int b = BlockLength();
  const int blocks = length / b;
  uint8_t* dst = nullptr;
  if (blocks == 0 || (dst = Grow(out, blocks * b)) == nullptr) return blocks == 0 ? 0 : 200;
  for (int i = 0; i < blocks * b; i += b) {
    std::memcpy(inBlock_, data + i, size_t(b));
    int st = direction_ ? EncryptBlock(inBlock_, dst + i) : DecryptBlock(inBlock_, dst + i);
    if (st != 0) return st;
  }
  return 0;
}

int SymmetricCipher::CbcEncrypt(const uint8_t* data, int length, ByteString& out) {
  const int b = BlockLength();
  const int blocks = length / b;
  uint8_t* dst = nullptr;
  if (blocks == 0 || (dst = Grow(out, blocks * b)) == nullptr) return blocks == 0 ? 0 : 200;
  uint8_t* r = chain_.Bytes();
  if (algorithm_ == 0 && aeadfast::UseAesNi()) {
    aesnicbc::Encrypt(aes_.GetRoundKeys(), aes_.GetRounds(), r, data, dst, size_t(blocks));
    return 0;
  }
  for (int i = 0; i < blocks * b; i += b) {
    for (int k = 0; k < b; ++k) inBlock_[k] = uint8_t(data[i + k] ^ r[k]);
    int st = EncryptBlock(inBlock_, dst + i);
    if (st != 0) return st;
    std::memcpy(r, dst + i, size_t(b));
  }
  return 0;
}

int SymmetricCipher::CbcDecrypt(const uint8_t* data, int length, ByteString& out) {
  const int b = BlockLength();
  const int blocks = length / b;
  uint8_t* dst = nullptr;
  if (blocks == 0 || (dst = Grow(out, blocks * b)) == nullptr) return blocks == 0 ? 0 : 200;
  uint8_t* r = chain_.Bytes();
  if (algorithm_ == 0) {
    // Blocks decrypt independently; AES runs them several at a time.
    int st = aes_.DecryptBlocks(data, dst, blocks);
    if (st != 0) return st;
    for (int k = 0; k < b; ++k) dst[k] ^= r[k];
    for (int i = b; i < blocks * b; ++i) dst[i] ^= data[i - b];
  } else {
    for (int i = 0; i < blocks * b; i += b) {
      std::memcpy(inBlock_, data + i, size_t(b));
      int st = DecryptBlock(inBlock_, outBlock_);
      if (st != 0) return st;
      for (int k = 0; k < b; ++k) dst[i + k] = uint8_t(outBlock_[k] ^ (i == 0 ? r[k] : data[i - b + k]));
    }
  }
  std::memcpy(r, data + (blocks - 1) * b, size_t(b));
  return 0;
}

int SymmetricCipher::Cbc(const uint8_t* data, int length, ByteString& out) {
  return direction_ ? CbcEncrypt(data, length, out) : CbcDecrypt(data, length, out);
}

// OFB and CFB with full-block feedback. The register holds the keystream
// block, in CFB with the ciphertext bytes already produced written over its
// front; the position of the next unused byte carries over between calls, so
// a message split at any byte gives the same result as one call.
int SymmetricCipher::Feedback(const uint8_t* data, int length, ByteString& out) {
  if (length <= 0) return 0;
  uint8_t* dst = Grow(out, length);
  if (dst == nullptr) return 200;
  const int b = BlockLength();
  uint8_t* r = chain_.Bytes();
  for (int i = 0; i < length; ++i) {
    if (feedbackPos_ == 0) {
      std::memcpy(inBlock_, r, size_t(b));
      int st = EncryptBlock(inBlock_, outBlock_);
      if (st != 0) return st;
      std::memcpy(r, outBlock_, size_t(b));
    }
    uint8_t in = data[i];
    dst[i] = uint8_t(in ^ r[feedbackPos_]);
    if (mode_ == CipherMode::CFB) r[feedbackPos_] = direction_ ? dst[i] : in;
    feedbackPos_ = (feedbackPos_ + 1) % b;
  }
  return 0;
}

int SymmetricCipher::CtsUpdate(const uint8_t* data, int length, ByteString& out) {
  const int b = BlockLength();
  int st = pending_.Append(reinterpret_cast<const char*>(data), length);
  if (st != 0) return st;
  int total = pending_.Length();
  if (total <= 2 * b) return 0;
  int k = (total - 2 * b + b - 1) / b * b;
  st = Cbc(pending_.Bytes(), k, out);
  if (st != 0) return st;
  ByteString rest;
  st = rest.Set(pending_.Data() + k, total - k);
  if (st == 0) st = pending_.Assign(rest);
  return st;
}

int SymmetricCipher::CtsFinal(const uint8_t* data, int length, ByteString& out) {
  const int b = BlockLength();
  ByteString head;
  int st = CtsUpdate(data, length, head);
  if (st != 0) return st;
  const int p = pending_.Length();
  if (p < b) return kCtsTooShort;
  if (p == b) {
    // A message of exactly one block is that block in plain CBC (Kerberos key derivation).
    st = Cbc(pending_.Bytes(), b, head);
    if (st == 0) st = out.Append(head);
    return st;
  }
  const int r = p - b;
  uint8_t last[1024] = {};
  std::memcpy(last, pending_.Bytes() + b, size_t(r));
  ByteString x, y;
  if (direction_) {
    st = CbcEncrypt(pending_.Bytes(), b, x);
    if (st == 0) st = CbcEncrypt(last, b, y);
    if (st == 0) st = out.Append(head);
    if (st == 0) st = out.Append(y);
    if (st == 0) st = out.Append(x.Data(), r);
    return st;
  }
  ByteString saved;
  st = saved.Assign(chain_);
  if (st != 0) return st;
  std::memcpy(chain_.Bytes(), last, size_t(b));
  ByteString dt, w;
  st = CbcDecrypt(pending_.Bytes(), b, dt);
  if (st != 0) return st;
  std::memcpy(chain_.Bytes(), saved.Bytes(), size_t(b));
  std::memcpy(last + r, dt.Bytes() + r, size_t(b - r));
  st = CbcDecrypt(last, b, w);
  if (st == 0) st = out.Append(head);
  if (st == 0) st = out.Append(w);
  if (st == 0) st = out.Append(dt.Data(), r);
  return st;
}

int SymmetricCipher::RunMode(const uint8_t* data, int length, ByteString& out) {
  switch (mode_) {
    case CipherMode::ECB: return Ecb(data, length, out);
    case CipherMode::CBC: return Cbc(data, length, out);
    case CipherMode::OFB:
    case CipherMode::CFB: return Feedback(data, length, out);
    case CipherMode::CTS: return CtsUpdate(data, length, out);
    default: return kUnknownMode;
  }
}

int SymmetricCipher::StreamCipher(const uint8_t* data, int length, ByteString& out) {
  switch (algorithm_) {
    case 7: {
      uint8_t* dst = Grow(out, length);
      if (dst == nullptr) return 200;
      return direction_ ? rc4_.Encrypt(data, length, dst) : rc4_.Decrypt(data, length, dst);
    }
    case kChaCha20: {
      uint8_t* dst = Grow(out, length);
      if (dst == nullptr) return 200;
      return chacha_.Encrypt(data, size_t(length), dst);
    }
    default: return kUnknownAlgorithm;  // AES-GCM outside GCM mode has no stream operation
  }
}

int SymmetricCipher::StreamPath(const uint8_t* data, int length, ByteString& out, bool final) {
  if (mode_ == CipherMode::GCM) return GcmPath(data, length, out, final);
  if (algorithm_ == kChaCha20Poly1305) return ChaChaPolyPath(data, length, out, final);
  return StreamCipher(data, length, out);
}

int SymmetricCipher::GcmPath(const uint8_t* data, int length, ByteString& out, bool final) {
  if (algorithm_ != kAesGcm) return kUnknownAlgorithm;  // only algorithm 12's Init keys the GCM object
  const int l = tagBits_ / 8;
  if (final && !direction_ && tag_.Length() != l) {
    out.Clear();
    return kAuthFailed;
  }
  uint8_t* dst = Grow(out, length);
  if (dst == nullptr) return 200;
  uint8_t* src = const_cast<uint8_t*>(data);
  int st = direction_ ? gcm_.Update(src, uint64_t(length), dst, true) : gcm_.Update(dst, uint64_t(length), src, false);
  if (st != 0) return direction_ && st == AesGcm::kBudgetSpent ? kCounterSpent : st;
  if (!final) return 0;
  if (direction_) {
    int n = l <= 0 ? 12 : l;
    st = tag_.SetLength(n);
    if (st == 0) st = gcm_.Finish(tag_.Bytes(), &n, 1);
    if (st == 0) st = tag_.SetLength(n);
    return st;
  }
  int n = l;
  if (gcm_.Finish(tag_.Bytes(), &n, 0) != 0) {
    out.Clear();
    return kAuthFailed;
  }
  return 0;
}

int SymmetricCipher::ChaChaPolyPath(const uint8_t* data, int length, ByteString& out, bool final) {
  // Without an expected tag nothing is deciphered, so no unverified plaintext is handed out.
  if (final && !direction_ && tag_.Length() == 0) return kNoTag;
  uint8_t* dst = Grow(out, length);
  if (dst == nullptr) return 200;
  uint8_t* src = const_cast<uint8_t*>(data);
  int st = direction_ ? chachaPoly_.Process(src, size_t(length), dst, true)
                      : chachaPoly_.Process(dst, size_t(length), src, false);
  if (st != 0 || !final) return st;
  if (direction_) {
    if (tag_.Length() == 0 || tag_.Length() > 16) {
      st = tag_.SetLength(16);
      if (st != 0) return st;
    }
    int n = tag_.Length();
    return chachaPoly_.Final(tag_.Bytes(), &n, true);
  }
  int n = tag_.Length();
  if (chachaPoly_.Final(tag_.Bytes(), &n, false) != 0) {
    out.Clear();
    return kAuthFailed;
  }
  return 0;
}

int SymmetricCipher::Update(const char* data, int offset, int& length, ByteString& out) {
  if (length < 0) length = 0;
  const uint8_t* in = reinterpret_cast<const uint8_t*>(data) + (data != nullptr && offset > 0 ? offset : 0);
  if (Info(algorithm_) == nullptr) return kUnknownAlgorithm;
  if (stream_) return StreamPath(in, length, out, false);
  if (!IsFeedbackMode(mode_)) length -= length % BlockLength();
  int st = EnsureRegister();
  return st != 0 ? st : RunMode(in, length, out);
}

int SymmetricCipher::AddPadding(ByteString& local, int length) {
  const int b = BlockLength();
  const int r = length % b;
  if (padding_ == CipherPadding::None) return r > 0 ? kPartialBlock : 0;
  const int n = b - r;
  for (int i = 0; i < n; ++i) {
    uint8_t v = 0;
    bool last = i == n - 1;
    if (padding_ == CipherPadding::PKCS7 || (last && padding_ == CipherPadding::ZerosAndCount)) v = uint8_t(n);
    if (padding_ == CipherPadding::RandomAndCount) v = last ? uint8_t(n) : uint8_t(std::rand());
    int st = local.AppendByte(char(v));
    if (st != 0) return st;
  }
  return 0;
}

int SymmetricCipher::RemovePadding(ByteString& out) {
  const int len = out.Length();
  if (len == 0) return padding_ == CipherPadding::PKCS7 ? kBadPadding : 0;
  const uint8_t* p = out.Bytes();
  int count = 0;
  switch (padding_) {
    case CipherPadding::PKCS7: {
      // 1 <= n <= block length and every pad byte equal to n, checked over
      // a fixed window so the time does not depend on the pad value.
      const unsigned b = unsigned(BlockLength());
      const unsigned n = p[len - 1];
      const unsigned window = unsigned(len) < b ? unsigned(len) : b;
      unsigned bad = ~LessMask(0, n) | ~LessMask(n, b + 1) | ~LessMask(n, unsigned(len) + 1);
      for (unsigned i = 0; i < window; ++i) bad |= LessMask(i, n) & (p[len - 1 - int(i)] ^ n);
      if (bad != 0) return kBadPadding;
      count = int(n);
      break;
    }
    case CipherPadding::ZerosAndCount:
    case CipherPadding::RandomAndCount: count = p[len - 1]; break;
    case CipherPadding::Zeros:
      while (count < len && p[len - 1 - count] == 0) ++count;
      break;
    default: return 0;
  }
  if (count > len) return kBadPadding;
  return count == 0 ? 0 : out.SetLength(len - count);
}

int SymmetricCipher::Final(const char* data, int offset, int length, ByteString& out) {
  if (length < 0) length = 0;
  const uint8_t* in = reinterpret_cast<const uint8_t*>(data) + (data != nullptr && offset > 0 ? offset : 0);
  if (Info(algorithm_) == nullptr) return kUnknownAlgorithm;
  if (stream_) return StreamPath(in, length, out, true);
  int st = EnsureRegister();
  if (st != 0) return st;
  if (mode_ == CipherMode::CTS) return CtsFinal(in, length, out);
  const int b = BlockLength();
  if (!direction_) {
    if (!IsFeedbackMode(mode_) && length % b != 0) return kPartialBlock;
    st = RunMode(in, length, out);
    if (st != 0 || IsFeedbackMode(mode_)) return st;
    return RemovePadding(out);
  }
  ByteString local;
  st = local.Set(reinterpret_cast<const char*>(in), length);
  if (st != 0) return st;
  if (!IsFeedbackMode(mode_)) {
    st = AddPadding(local, length);
    if (st != 0) return st;
  }
  return RunMode(local.Bytes(), local.Length(), out);
}

int SymmetricCipher::CopyFrom(const SymmetricCipher& other) {
  algorithm_ = other.algorithm_;
  keyBits_ = other.keyBits_;
  blockBits_ = other.blockBits_;
  mode_ = other.mode_;
  padding_ = other.padding_;
  direction_ = other.direction_;
  stream_ = other.stream_;
  feedbackPos_ = other.feedbackPos_;
  int st = iv_.Assign(other.iv_);
  if (st == 0) st = key_.Assign(other.key_);
  if (st == 0) st = chain_.Assign(other.chain_);
  if (st == 0) st = aes_.CopyFrom(other.aes_);
  if (st == 0) st = des_.CopyFrom(other.des_);
  if (st == 0) st = tripleDes_.CopyFrom(other.tripleDes_);
  if (st == 0) st = cast128_.CopyFrom(other.cast128_);
  if (st == 0) st = blowfish_.CopyFrom(other.blowfish_);
  if (st == 0) st = twofish_.CopyFrom(other.twofish_);
  if (st == 0) st = idea_.CopyFrom(other.idea_);
  if (st == 0) st = rc4_.CopyFrom(other.rc4_);
  if (st == 0) st = rc2_.CopyFrom(other.rc2_);
  if (st == 0) st = tea_.CopyFrom(other.tea_);
  if (st == 0) st = xtea_.CopyFrom(other.xtea_);
  if (st == 0) st = xxtea_.CopyFrom(other.xxtea_);
  if (st == 0) st = rijndael_.CopyFrom(other.rijndael_);
  if (st == 0) st = chacha_.CopyFrom(other.chacha_);
  if (st == 0) st = gcm_.CopyFrom(other.gcm_);
  // The running state of a message in flight, so a copy continues it exactly:
  // the ChaCha20-Poly1305 object and the bytes ciphertext stealing holds back.
  if (st == 0) st = chachaPoly_.CopyFrom(other.chachaPoly_);
  if (st == 0) st = pending_.Assign(other.pending_);
  return st;
}

}  // namespace tornell
