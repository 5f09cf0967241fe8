#include "crypto/cipher/aead/AesGcm.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/cpu/CpuFeatures.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/cipher/aead/AesGcmClmul.h"
#include "crypto/cipher/aes/AesHardware.h"

namespace tornell {

namespace {

constexpr int kModeCbc = 1;

inline uint64_t Load64Be(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

inline void Store64Be(uint8_t* p, uint64_t v) {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = uint8_t(v);
}

inline uint64_t Mask(unsigned bit) { return ct::MaskFromBit<uint64_t>(bit & 1); }

// The table entries are linear in the nibble's bits, so an entry is the XOR
// of the power-of-two entries its bits select: no index depends on secret data.
inline uint64_t Entry(const uint64_t* table, unsigned nibble) {
  return (table[8] & Mask(nibble >> 3)) ^ (table[4] & Mask(nibble >> 2)) ^ (table[2] & Mask(nibble >> 1)) ^
         (table[1] & Mask(nibble));
}

// The 4-bit reduction constants (0x1C20 per bit position), selected the same way.
inline uint64_t Reduction(unsigned rem) {
  return ((0xE100 & Mask(rem >> 3)) ^ (0x7080 & Mask(rem >> 2)) ^ (0x3840 & Mask(rem >> 1)) ^ (0x1C20 & Mask(rem)))
         << 48;
}

inline void ShiftNibble(uint64_t& zh, uint64_t& zl) {
  unsigned rem = unsigned(zl & 0xF);
  zl = (zh << 60) | (zl >> 4);
  zh = (zh >> 4) ^ Reduction(rem);
}

}  // namespace

int AesGcm::EncryptBlock(const uint8_t* in, uint8_t* out) const {
  if (fast) {
    gcmclmul::EncryptBlock(roundKeys, rounds, in, out);
    return kStatusOk;
  }
  return aes.EncryptBlock(in, out);
}

void AesGcm::BuildTables(const uint8_t* h) {
  uint64_t vh = Load64Be(h), vl = Load64Be(h + 8);
  hh[0] = hl[0] = 0;
  hh[8] = vh;
  hl[8] = vl;
  for (int i = 4; i > 0; i >>= 1) {
    uint64_t carry = (vl & 1) * 0xE100000000000000ull;
    vl = (vh << 63) | (vl >> 1);
    vh = (vh >> 1) ^ carry;
    hh[i] = vh;
    hl[i] = vl;
  }
  for (int i = 2; i <= 8; i *= 2) {
    for (int j = 1; j < i; ++j) {
      hh[i + j] = hh[i] ^ hh[j];
      hl[i + j] = hl[i] ^ hl[j];
    }
  }
}

void AesGcm::MultiplyH(uint8_t* value) const {
  if (fast) {
    gcmclmul::MultiplyH(value, hPowers);
    return;
  }
  uint64_t zh = 0, zl = 0;
  for (int i = 15; i >= 0; --i) {
    unsigned lo = value[i] & 0xF, hi = value[i] >> 4;
    if (i != 15) ShiftNibble(zh, zl);
    zh ^= Entry(hh, lo);
    zl ^= Entry(hl, lo);
    ShiftNibble(zh, zl);
    zh ^= Entry(hh, hi);
    zl ^= Entry(hl, hi);
  }
  Store64Be(value, zh);
  Store64Be(value + 8, zl);
}

// The hash key's tables and powers and the round-key copy are key material.
// Unkeyed (never keyed, or forgotten already), the state holds nothing
// drawn from a key: suites that never carried one skip the wipes.
AesGcm::~AesGcm() {
  if (keyed) Forget();
}

void AesGcm::Forget() {
  Restart();
  WipeKey();
}

int AesGcm::IncrementCounter() {
  if (budget == 0) return kBudgetSpent;
  --budget;
  for (int i = 15; i >= 12; --i)
    if (++counter[i] != 0) break;
  return kStatusOk;
}

void AesGcm::Restart() {
  SecureWipeObject(x);
  SecureWipeObject(work);
  count = 0;
  phase = 0;
  aadLength = 0;
  cipherLength = 0;
  twelveByteIv = 1;
  budget = 0xFFFFFFFFu;
}

void AesGcm::NeedPowers(int want) {
  if (powers >= want) return;
  gcmclmul::Powers(nullptr, hPowers, powers, want);
  powers = want;
}

void AesGcm::NeedWide() {
  if (wideReady) return;
  NeedPowers(16);
  for (int i = 0; i < 16; ++i) std::memcpy(hWide + 16 * (15 - i), hPowers + 16 * i, 16);
  wideReady = true;
}

// Clears what a key left: a new key, even one refused, keeps nothing of it.
void AesGcm::WipeKey() {
  if (!keyed) return;
  keyed = false;
  // Only the portable path builds the 4-bit tables.
  if (!fast) {
    SecureWipeObject(hl);
    SecureWipeObject(hh);
  }
  if (powers > 0) SecureWipe(hPowers, size_t(16 * powers));
  if (wideReady) SecureWipeObject(hWide);
  if (rounds > 0) SecureWipe(roundKeys, size_t(16 * (rounds + 1)));
  // The portable path keeps its schedule in the AES object.
  aes.Forget();
  powers = 0;
  wideReady = false;
  rounds = 0;
}

int AesGcm::SetKey(const uint8_t* key, int keyLength) {
  Restart();
  WipeKey();
  keyed = true;
  const bool usualLength = keyLength == 16 || keyLength == 24 || keyLength == 32;
  fast = usualLength && cpu::Has(cpu::path::kAesGcmClmul);
  wide = fast && cpu::Has(cpu::path::kAesGcmVaes512);
  wide256 = fast && !wide && cpu::Has(cpu::path::kAesGcmVaes256);
  if (fast) {
    // Kept only in AES-NI byte order: the AES object, with its heap array,
    // stays unkeyed.
    rounds = aeshw::ExpandEncryptKeySwapped(key, keyLength * 8, roundKeys);
  } else {
    const int status = aes.SetKey(key, keyLength, 1, kModeCbc);
    if (status != 0) return status;
  }
  uint8_t h[16] = {};
  int st = EncryptBlock(h, h);
  if (st != 0) return st;
  if (fast) {
    gcmclmul::Powers(h, hPowers, 0, 1);
    powers = 1;
  } else {
    BuildTables(h);
  }
  SecureWipeObject(h);
  return kStatusOk;
}

// Absorbs whole IV or AAD blocks (both phases count their bits in the AAD
// length field); returns the bytes taken.
uint64_t AesGcm::HashBlocks(const uint8_t* data, uint64_t blocks) {
  for (uint64_t b = 0; b < blocks; ++b, data += 16) {
    for (int k = 0; k < 16; ++k) x[k] ^= data[k];
    MultiplyH(x);
    aadLength += 128;
  }
  return blocks * 16;
}

int AesGcm::SetIV(const uint8_t* iv, uint64_t length) {
  if (phase != 0 || count < 0 || count > 16) return kWrongPhase;
  if (uint64_t(count) + length > 12) twelveByteIv = 0;
  uint64_t i = count == 0 ? HashBlocks(iv, length / 16) : 0;
  for (; i < length; ++i) {
    work[count++] = iv[i];
    if (count == 16) {
      HashBlocks(work, 1);
      count = 0;
    }
  }
  return kStatusOk;
}

int AesGcm::EndIvPhase() {
  // The standard requires at least one IV bit; an empty IV would give the
  // pre-counter block 0 for every key.
  if (count == 0 && aadLength == 0) return kBadIvSize;
  if (twelveByteIv == 1 && count == 12) {
    std::memcpy(j0, work, 12);
    j0[12] = j0[13] = j0[14] = 0;
    j0[15] = 1;
  } else {
    if (count > 0) {
      for (int k = 0; k < count; ++k) x[k] ^= work[k];
      aadLength += uint64_t(count) * 8;
      MultiplyH(x);
    }
    uint8_t lengths[16] = {};
    Store64Be(lengths + 8, aadLength);
    for (int k = 0; k < 16; ++k) x[k] ^= lengths[k];
    MultiplyH(x);
    std::memcpy(j0, x, 16);
    SecureWipeObject(x);
  }
  std::memcpy(counter, j0, 16);
  SecureWipeObject(work);
  count = 0;
  aadLength = 0;
  phase = 1;
  return kStatusOk;
}

int AesGcm::AddAad(const uint8_t* aad, uint64_t length) {
  if (count < 0 || count > 16) return kWrongPhase;
  if (phase == 0) TORNELL_TRY(EndIvPhase());
  if (phase != 1) return kWrongPhase;
  uint64_t i = count == 0 ? HashBlocks(aad, length / 16) : 0;
  for (; i < length; ++i) {
    x[count++] ^= aad[i];
    if (count == 16) {
      MultiplyH(x);
      aadLength += 128;
      count = 0;
    }
  }
  return kStatusOk;
}

int AesGcm::EndAadPhase() {
  if (count > 0) {
    aadLength += uint64_t(count) * 8;
    MultiplyH(x);
  }
  int st = NextKeystream();
  if (st != 0) return st;
  count = 0;
  phase = 2;
  return kStatusOk;
}

int AesGcm::NextKeystream() {
  int st = IncrementCounter();
  return st != 0 ? st : EncryptBlock(counter, work);
}

// A data block is complete: hash it and move to the next keystream block.
int AesGcm::CloseDataBlock() {
  cipherLength += 128;
  MultiplyH(x);
  return NextKeystream();
}

// Whole blocks from a block boundary; the work buffer holds the keystream of
// the current counter block on entry and of the next one on return.
int AesGcm::BulkBlocks(const uint8_t* in, uint8_t* out, uint64_t blocks, bool encrypt) {
  if (fast && budget >= blocks) {
    if ((wide || wide256) && blocks >= 16) {
      NeedWide();
      uint64_t w = blocks & ~uint64_t(15);
      if (wide) {
        gcmclmul::CtrBlocksWide(roundKeys, rounds, counter, x, hWide, in, out, size_t(w), encrypt);
      } else {
        gcmclmul::CtrBlocksVaes256(roundKeys, rounds, counter, x, hWide, in, out, size_t(w), encrypt);
      }
      in += w * 16;
      out += w * 16;
      budget -= uint32_t(w);
      cipherLength += w * 128;
      blocks -= w;
    }
    // The eight-block loop reads H^1 .. H^8; the tail only H^1.
    if (blocks >= 8) NeedPowers(8);
    gcmclmul::CtrBlocks(roundKeys, rounds, counter, x, hPowers, in, out, size_t(blocks), encrypt);
    budget -= uint32_t(blocks);
    cipherLength += blocks * 128;
    return EncryptBlock(counter, work);
  }
  for (uint64_t b = 0; b < blocks; ++b, in += 16, out += 16) {
    for (int k = 0; k < 16; ++k) {
      uint8_t c = encrypt ? uint8_t(in[k] ^ work[k]) : in[k];
      out[k] = uint8_t(in[k] ^ work[k]);
      x[k] ^= c;
    }
    int st = CloseDataBlock();
    if (st != 0) return st;
  }
  return kStatusOk;
}

int AesGcm::Update(uint8_t* plaintext, uint64_t length, uint8_t* ciphertext, bool encrypt) {
  if (count < 0 || count > 16) return kWrongPhase;
  if (phase == 1) {
    int st = EndAadPhase();
    if (st != 0) return st;
  }
  if (phase != 2) return kWrongPhase;
  const uint8_t* in = encrypt ? plaintext : ciphertext;
  uint8_t* out = encrypt ? ciphertext : plaintext;
  uint64_t i = 0;
  if (count == 0 && length >= 16) {
    uint64_t blocks = length / 16;
    int st = BulkBlocks(in, out, blocks, encrypt);
    if (st != 0) return st;
    i = blocks * 16;
  }
  for (; i < length; ++i) {
    if (count == 16) {
      int st = CloseDataBlock();
      if (st != 0) return st;
      count = 0;
    }
    uint8_t b = in[i];
    uint8_t c = encrypt ? uint8_t(b ^ work[count]) : b;
    out[i] = uint8_t(b ^ work[count]);
    x[count++] ^= c;
  }
  return kStatusOk;
}

int AesGcm::Finish(uint8_t* tag, int* length, int encrypt) {
  if (phase != 2 || count < 0 || count > 16) return kWrongPhase;
  if (count > 0) {
    cipherLength += uint64_t(count) * 8;
    MultiplyH(x);
  }
  uint8_t lengths[16];
  Store64Be(lengths, aadLength);
  Store64Be(lengths + 8, cipherLength);
  for (int k = 0; k < 16; ++k) x[k] ^= lengths[k];
  MultiplyH(x);
  int st = EncryptBlock(j0, work);
  if (st != 0) return st;
  uint8_t t[16];
  for (int k = 0; k < 16; ++k) t[k] = x[k] ^ work[k];
  int n = *length;
  if (encrypt) {
    n = n <= 0 ? 0 : (n > 16 ? 16 : n);
    std::memcpy(tag, t, size_t(n));
    *length = n;
    return kStatusOk;
  }
  // A short tag would let a forger succeed by guessing a few bytes.
  if (tag == nullptr || n < kMinVerifyTag) return kTagMismatch;
  return ct::BytesEqual(tag, t, size_t(n > 16 ? 16 : n)) ? 0 : kTagMismatch;
}

int AesGcm::EncryptAndTag(const uint8_t* iv, uint64_t ivLength, const uint8_t* aad, uint64_t aadLen,
                          const uint8_t* plaintext, uint64_t length, uint8_t* ciphertext, uint8_t* tag,
                          int* tagLength) {
  int st = SetIV(iv, ivLength);
  if (st == 0) st = AddAad(aad, aadLen);
  if (st == 0) st = Update(const_cast<uint8_t*>(plaintext), length, ciphertext, true);
  if (st == 0) st = Finish(tag, tagLength, 1);
  return st;
}

int AesGcm::DecryptAndVerify(const uint8_t* iv, uint64_t ivLength, const uint8_t* aad, uint64_t aadLen,
                             const uint8_t* ciphertext, uint64_t length, const uint8_t* tag, int tagLength,
                             uint8_t* plaintext) {
  int st = SetIV(iv, ivLength);
  if (st == 0) st = AddAad(aad, aadLen);
  if (st == 0) st = Update(plaintext, length, const_cast<uint8_t*>(ciphertext), false);
  if (st == 0) {
    st = Finish(const_cast<uint8_t*>(tag), &tagLength, 0);
    if (st == kTagMismatch && length > 0) std::memset(plaintext, 0, size_t(length));
  }
  return st;
}

int AesGcm::CopyFrom(const AesGcm& other) {
  int st = aes.CopyFrom(other.aes);
  std::memcpy(x, other.x, sizeof x);
  std::memcpy(counter, other.counter, sizeof counter);
  std::memcpy(j0, other.j0, sizeof j0);
  std::memcpy(work, other.work, sizeof work);
  std::memcpy(hl, other.hl, sizeof hl);
  std::memcpy(hh, other.hh, sizeof hh);
  count = other.count;
  phase = other.phase;
  aadLength = other.aadLength;
  cipherLength = other.cipherLength;
  twelveByteIv = other.twelveByteIv;
  budget = other.budget;
  fast = other.fast;
  wide = other.wide;
  wide256 = other.wide256;
  rounds = other.rounds;
  std::memcpy(roundKeys, other.roundKeys, sizeof roundKeys);
  std::memcpy(hPowers, other.hPowers, sizeof hPowers);
  std::memcpy(hWide, other.hWide, sizeof hWide);
  powers = other.powers;
  wideReady = other.wideReady;
  keyed = other.keyed;
  return st;
}

}  // namespace tornell
