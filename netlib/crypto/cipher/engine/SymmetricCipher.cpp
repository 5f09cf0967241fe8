#include "crypto/cipher/engine/SymmetricCipher.h"

#include <climits>
#include <cstring>

#include "core/base/Status.h"
#include "crypto/cipher/aead/AesGcm.h"
#include "crypto/cipher/engine/Pkcs7Padding.h"
#include "crypto/random/RandomSource.h"

namespace tornell {

namespace {

constexpr int kAlgorithmCount = 16;
constexpr int kAesGcm = 12;
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

}  // namespace

SymmetricCipher::SymmetricCipher() {
  // Algorithm 0 always exists: selecting it cannot fail.
  (void)SetAlgorithm(0);
  direction_ = 1;
  stream_ = 0;
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
  return kStatusOk;
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
  return kStatusOk;
}

int SymmetricCipher::SetPadding(int padding) {
  padding_ = padding;
  return kStatusOk;
}

int SymmetricCipher::SetKeyBits(int bits) {
  const AlgorithmInfo* info = Info(algorithm_);
  if (info == nullptr) return kUnknownAlgorithm;
  if (!Fits(info->key, bits)) return kBadKeySize;
  keyBits_ = bits;
  return kStatusOk;
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
  return kStatusOk;
}

int SymmetricCipher::SetIV(const char* iv, int length) {
  if (mode_ == CipherMode::ECB) return kStatusOk;
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
  return kStatusOk;
}

int SymmetricCipher::SetTag(const char* tag, int length) { return tag_.Set(tag, length); }

int SymmetricCipher::GetTag(char** tag, int* length) {
  *tag = tag_.Data();
  *length = tag_.Length();
  return kStatusOk;
}

int SymmetricCipher::SetAad(const char* aad, int length) { return aad_.Set(aad, length); }

int SymmetricCipher::InitEncrypt() { return Init(1); }
int SymmetricCipher::InitDecrypt() { return Init(0); }

int SymmetricCipher::InitEncrypt(const char* key, int keyLength, const char* iv, int ivLength) {
  TORNELL_TRY(SetKey(key, keyLength));
  TORNELL_TRY(SetIV(iv, ivLength));
  return InitEncrypt();
}

int SymmetricCipher::InitDecrypt(const char* key, int keyLength, const char* iv, int ivLength) {
  TORNELL_TRY(SetKey(key, keyLength));
  TORNELL_TRY(SetIV(iv, ivLength));
  return InitDecrypt();
}

int SymmetricCipher::Init(int direction) {
  direction_ = direction;
  TORNELL_TRY(chain_.Assign(iv_));
  TORNELL_TRY(EnsureRegister());
  TORNELL_TRY(pending_.Clear());
  feedbackPos_ = 0;
  return KeyObject();
}

// The object of the selected algorithm, made when the selection has changed
// since the last one; null for an unknown id or when it cannot be allocated.
BlockCipher* SymmetricCipher::Selected() {
  if (cipher_ == nullptr || cipher_->Id() != algorithm_) cipher_ = NewBlockCipher(algorithm_);
  return cipher_.get();
}

// The chained modes read one block of register: an IV shorter than that
// (none set at all, say) runs as if padded with zero bytes.
int SymmetricCipher::EnsureRegister() {
  if (stream_ != 0 || chain_.Length() >= BlockLength()) return kStatusOk;
  return chain_.SetLength(BlockLength());
}

int SymmetricCipher::KeyObject() {
  if (Info(algorithm_) == nullptr) return kUnknownAlgorithm;
  BlockCipher* cipher = Selected();
  if (cipher == nullptr) return kStatusNoMemory;
  CipherKeying keying;
  keying.key = key_.Bytes();
  keying.keyLength = key_.Length();
  keying.iv = iv_.Bytes();
  keying.ivLength = iv_.Length();
  keying.aad = aad_.Bytes();
  keying.aadLength = aad_.Length();
  keying.encrypt = direction_;
  keying.mode = mode_;
  keying.blockLength = BlockLength();
  return cipher->SetKey(keying);
}

int SymmetricCipher::Ecb(const uint8_t* data, int length, ByteString& out) {
  const int b = BlockLength();
  const int blocks = length / b;
  if (blocks == 0) return kStatusOk;
  BlockCipher* cipher = Selected();
  uint8_t* dst = Grow(out, blocks * b);
  if (cipher == nullptr || dst == nullptr) return kStatusNoMemory;
  for (int i = 0; i < blocks * b; i += b) {
    std::memcpy(inBlock_, data + i, size_t(b));
    TORNELL_TRY(direction_ ? cipher->EncryptBlock(inBlock_, dst + i) : cipher->DecryptBlock(inBlock_, dst + i));
  }
  return kStatusOk;
}

int SymmetricCipher::CbcEncrypt(const uint8_t* data, int length, ByteString& out) {
  const int b = BlockLength();
  const int blocks = length / b;
  if (blocks == 0) return kStatusOk;
  BlockCipher* cipher = Selected();
  uint8_t* dst = Grow(out, blocks * b);
  if (cipher == nullptr || dst == nullptr) return kStatusNoMemory;
  uint8_t* r = chain_.Bytes();
  if (cipher->HasBulkBlocks()) return cipher->EncryptCbc(r, data, dst, blocks, b);
  for (int i = 0; i < blocks * b; i += b) {
    for (int k = 0; k < b; ++k) inBlock_[k] = uint8_t(data[i + k] ^ r[k]);
    TORNELL_TRY(cipher->EncryptBlock(inBlock_, dst + i));
    std::memcpy(r, dst + i, size_t(b));
  }
  return kStatusOk;
}

int SymmetricCipher::CbcDecrypt(const uint8_t* data, int length, ByteString& out) {
  const int b = BlockLength();
  const int blocks = length / b;
  if (blocks == 0) return kStatusOk;
  BlockCipher* cipher = Selected();
  uint8_t* dst = Grow(out, blocks * b);
  if (cipher == nullptr || dst == nullptr) return kStatusNoMemory;
  uint8_t* r = chain_.Bytes();
  // Blocks decrypt independently, so a bulk cipher runs several at a time.
  if (cipher->HasBulkBlocks()) return cipher->DecryptCbc(r, data, dst, blocks, b);
  for (int i = 0; i < blocks * b; i += b) {
    std::memcpy(inBlock_, data + i, size_t(b));
    TORNELL_TRY(cipher->DecryptBlock(inBlock_, outBlock_));
    for (int k = 0; k < b; ++k) dst[i + k] = uint8_t(outBlock_[k] ^ (i == 0 ? r[k] : data[i - b + k]));
  }
  std::memcpy(r, data + (blocks - 1) * b, size_t(b));
  return kStatusOk;
}

int SymmetricCipher::Cbc(const uint8_t* data, int length, ByteString& out) {
  return direction_ ? CbcEncrypt(data, length, out) : CbcDecrypt(data, length, out);
}

// OFB and CFB with full-block feedback. The register holds the keystream
// block, in CFB with the ciphertext bytes already produced written over its
// front; the position of the next unused byte carries over between calls, so
// a message split at any byte gives the same result as one call.
int SymmetricCipher::Feedback(const uint8_t* data, int length, ByteString& out) {
  if (length <= 0) return kStatusOk;
  BlockCipher* cipher = Selected();
  uint8_t* dst = Grow(out, length);
  if (cipher == nullptr || dst == nullptr) return kStatusNoMemory;
  const int b = BlockLength();
  uint8_t* r = chain_.Bytes();
  for (int i = 0; i < length; ++i) {
    if (feedbackPos_ == 0) {
      std::memcpy(inBlock_, r, size_t(b));
      TORNELL_TRY(cipher->EncryptBlock(inBlock_, outBlock_));
      std::memcpy(r, outBlock_, size_t(b));
    }
    uint8_t in = data[i];
    dst[i] = uint8_t(in ^ r[feedbackPos_]);
    if (mode_ == CipherMode::CFB) r[feedbackPos_] = direction_ ? dst[i] : in;
    feedbackPos_ = (feedbackPos_ + 1) % b;
  }
  return kStatusOk;
}

int SymmetricCipher::CtsUpdate(const uint8_t* data, int length, ByteString& out) {
  const int b = BlockLength();
  TORNELL_TRY(pending_.Append(reinterpret_cast<const char*>(data), length));
  const int total = pending_.Length();
  if (total <= 2 * b) return kStatusOk;
  const int k = (total - 2 * b + b - 1) / b * b;
  TORNELL_TRY(Cbc(pending_.Bytes(), k, out));
  ByteString rest;
  TORNELL_TRY(rest.Set(pending_.Data() + k, total - k));
  return pending_.Assign(rest);
}

int SymmetricCipher::CtsFinal(const uint8_t* data, int length, ByteString& out) {
  const int b = BlockLength();
  ByteString head;
  TORNELL_TRY(CtsUpdate(data, length, head));
  const int p = pending_.Length();
  if (p < b) return kCtsTooShort;
  if (p == b) {
    // A message of exactly one block is that block in plain CBC (Kerberos key derivation).
    TORNELL_TRY(Cbc(pending_.Bytes(), b, head));
    return out.Append(head);
  }
  const int r = p - b;
  uint8_t last[1024] = {};
  std::memcpy(last, pending_.Bytes() + b, size_t(r));
  ByteString x, y;
  if (direction_) {
    TORNELL_TRY(CbcEncrypt(pending_.Bytes(), b, x));
    TORNELL_TRY(CbcEncrypt(last, b, y));
    TORNELL_TRY(out.Append(head));
    TORNELL_TRY(out.Append(y));
    return out.Append(x.Data(), r);
  }
  ByteString saved;
  TORNELL_TRY(saved.Assign(chain_));
  std::memcpy(chain_.Bytes(), last, size_t(b));
  ByteString dt, w;
  TORNELL_TRY(CbcDecrypt(pending_.Bytes(), b, dt));
  std::memcpy(chain_.Bytes(), saved.Bytes(), size_t(b));
  std::memcpy(last + r, dt.Bytes() + r, size_t(b - r));
  TORNELL_TRY(CbcDecrypt(last, b, w));
  TORNELL_TRY(out.Append(head));
  TORNELL_TRY(out.Append(w));
  return out.Append(dt.Data(), r);
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
  BlockCipher* cipher = Selected();
  if (cipher == nullptr) return kStatusNoMemory;
  uint8_t* dst = Grow(out, length);
  if (dst == nullptr) return kStatusNoMemory;
  // AES-GCM outside GCM mode has no stream operation: the unknown-algorithm status.
  return cipher->Stream(data, length, dst, direction_);
}

int SymmetricCipher::StreamPath(const uint8_t* data, int length, ByteString& out, bool final) {
  if (mode_ == CipherMode::GCM) return GcmPath(data, length, out, final);
  if (algorithm_ == kChaCha20Poly1305) return ChaChaPolyPath(data, length, out, final);
  return StreamCipher(data, length, out);
}

// On an authentication failure nothing of the message is handed out.
int SymmetricCipher::RefuseMessage(ByteString& out) {
  TORNELL_TRY(out.Clear());
  return kAuthFailed;
}

int SymmetricCipher::GcmPath(const uint8_t* data, int length, ByteString& out, bool final) {
  if (algorithm_ != kAesGcm) return kUnknownAlgorithm;  // only algorithm 12's Init keys the GCM object
  BlockCipher* cipher = Selected();
  if (cipher == nullptr) return kStatusNoMemory;
  const int l = tagBits_ / 8;
  if (final && !direction_ && tag_.Length() != l) return RefuseMessage(out);
  uint8_t* dst = Grow(out, length);
  if (dst == nullptr) return kStatusNoMemory;
  uint8_t* src = const_cast<uint8_t*>(data);
  const int st = direction_ ? cipher->AeadUpdate(src, length, dst, 1) : cipher->AeadUpdate(dst, length, src, 0);
  if (st != kStatusOk) return direction_ && st == AesGcm::kBudgetSpent ? kCounterSpent : st;
  if (!final) return kStatusOk;
  if (direction_) {
    int n = l <= 0 ? 12 : l;
    TORNELL_TRY(tag_.SetLength(n));
    TORNELL_TRY(cipher->AeadFinal(tag_.Bytes(), &n, 1));
    return tag_.SetLength(n);
  }
  int n = l;
  if (cipher->AeadFinal(tag_.Bytes(), &n, 0) != kStatusOk) return RefuseMessage(out);
  return kStatusOk;
}

int SymmetricCipher::ChaChaPolyPath(const uint8_t* data, int length, ByteString& out, bool final) {
  // Without an expected tag nothing is deciphered, so no unverified plaintext is handed out.
  if (final && !direction_ && tag_.Length() == 0) return kNoTag;
  BlockCipher* cipher = Selected();
  if (cipher == nullptr) return kStatusNoMemory;
  uint8_t* dst = Grow(out, length);
  if (dst == nullptr) return kStatusNoMemory;
  uint8_t* src = const_cast<uint8_t*>(data);
  TORNELL_TRY(direction_ ? cipher->AeadUpdate(src, length, dst, 1) : cipher->AeadUpdate(dst, length, src, 0));
  if (!final) return kStatusOk;
  if (direction_) {
    if (tag_.Length() == 0 || tag_.Length() > 16) TORNELL_TRY(tag_.SetLength(16));
    int n = tag_.Length();
    return cipher->AeadFinal(tag_.Bytes(), &n, 1);
  }
  int n = tag_.Length();
  if (cipher->AeadFinal(tag_.Bytes(), &n, 0) != kStatusOk) return RefuseMessage(out);
  return kStatusOk;
}

int SymmetricCipher::Update(const char* data, int offset, int& length, ByteString& out) {
  if (length < 0) length = 0;
  const uint8_t* in = reinterpret_cast<const uint8_t*>(data) + (data != nullptr && offset > 0 ? offset : 0);
  if (Info(algorithm_) == nullptr) return kUnknownAlgorithm;
  if (stream_) return StreamPath(in, length, out, false);
  if (!IsFeedbackMode(mode_)) length -= length % BlockLength();
  TORNELL_TRY(EnsureRegister());
  return RunMode(in, length, out);
}

int SymmetricCipher::AddPadding(ByteString& local, int length) {
  const int b = BlockLength();
  const int r = length % b;
  if (padding_ == CipherPadding::None) return r > 0 ? kPartialBlock : kStatusOk;
  const int n = b - r;
  const int start = local.Length();
  TORNELL_TRY(local.SetLength(start + n));  // the added bytes are zero
  uint8_t* pad = local.Bytes() + start;
  if (padding_ == CipherPadding::RandomAndCount) RandomSource().Fill(pad, 0, n - 1);
  if (padding_ == CipherPadding::PKCS7)
    for (int i = 0; i < n; ++i) pad[i] = uint8_t(n);
  if (padding_ == CipherPadding::PKCS7 || padding_ == CipherPadding::ZerosAndCount ||
      padding_ == CipherPadding::RandomAndCount)
    pad[n - 1] = uint8_t(n);
  return kStatusOk;
}

int SymmetricCipher::RemovePkcs7(ByteString& out) {
  int count = 0;
  // Only whether the padding is sound leaves the constant-time check.
  if (pkcs7::CheckPadding(out.Bytes(), out.Length(), BlockLength(), &count) == 0) return kBadPadding;
  return out.SetLength(out.Length() - count);
}

int SymmetricCipher::RemovePadding(ByteString& out) {
  const int len = out.Length();
  if (len == 0) return padding_ == CipherPadding::PKCS7 ? kBadPadding : kStatusOk;
  const uint8_t* p = out.Bytes();
  int count = 0;
  switch (padding_) {
    case CipherPadding::PKCS7: return RemovePkcs7(out);
    case CipherPadding::ZerosAndCount:
    case CipherPadding::RandomAndCount: count = p[len - 1]; break;
    case CipherPadding::Zeros:
      while (count < len && p[len - 1 - count] == 0) ++count;
      break;
    default: return kStatusOk;
  }
  if (count > len) return kBadPadding;
  return count == 0 ? kStatusOk : out.SetLength(len - count);
}

int SymmetricCipher::Final(const char* data, int offset, int length, ByteString& out) {
  if (length < 0) length = 0;
  const uint8_t* in = reinterpret_cast<const uint8_t*>(data) + (data != nullptr && offset > 0 ? offset : 0);
  if (Info(algorithm_) == nullptr) return kUnknownAlgorithm;
  if (stream_) return StreamPath(in, length, out, true);
  TORNELL_TRY(EnsureRegister());
  if (mode_ == CipherMode::CTS) return CtsFinal(in, length, out);
  const int b = BlockLength();
  if (!direction_) {
    if (!IsFeedbackMode(mode_) && length % b != 0) return kPartialBlock;
    TORNELL_TRY(RunMode(in, length, out));
    if (IsFeedbackMode(mode_)) return kStatusOk;
    return RemovePadding(out);
  }
  ByteString local;
  TORNELL_TRY(local.Set(reinterpret_cast<const char*>(in), length));
  if (!IsFeedbackMode(mode_)) TORNELL_TRY(AddPadding(local, length));
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
  // Suites copy unkeyed ciphers often (from the registry into a fresh
  // context): with no key, IV or stream state on either side, the settings
  // above are the whole copy.
  if (HoldsNothing() && other.HoldsNothing()) return kStatusOk;
  TORNELL_TRY(iv_.Assign(other.iv_));
  TORNELL_TRY(key_.Assign(other.key_));
  TORNELL_TRY(chain_.Assign(other.chain_));
  // The keyed object, with the running state of a message in flight (the
  // ChaCha20-Poly1305 stream included), so a copy continues it exactly.
  if (other.cipher_ == nullptr) {
    cipher_.reset();
  } else {
    if (cipher_ == nullptr || cipher_->Id() != other.cipher_->Id()) cipher_ = NewBlockCipher(other.cipher_->Id());
    if (cipher_ == nullptr) return kStatusNoMemory;
    TORNELL_TRY(cipher_->CopyFrom(*other.cipher_));
  }
  // And the bytes ciphertext stealing holds back.
  return pending_.Assign(other.pending_);
}

}  // namespace tornell
