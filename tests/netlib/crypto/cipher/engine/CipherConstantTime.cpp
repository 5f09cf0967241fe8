// The portable AES (keying, encryption, decryption), GHASH, Poly1305 and the
// PKCS#7 padding check with their secrets marked undefined: none may branch
// on or index memory by a secret. The processor paths are switched off, so
// the portable code is what runs.
#include <cstring>

#include "SecretProbe.h"
#include "core/cpu/CpuFeatures.h"
#include "core/secure/ConstantTime.h"
#include "crypto/cipher/aead/AesGcm.h"
#include "crypto/cipher/aead/ChaCha20Poly1305.h"
#include "crypto/cipher/aead/Poly1305.h"
#include "crypto/cipher/aes/AesCipher.h"
#include "crypto/cipher/engine/CipherMode.h"
#include "crypto/cipher/engine/Pkcs7Padding.h"

using namespace tornell;

namespace {

void Fill(uint8_t* b, int n, int salt) {
  for (int i = 0; i < n; ++i) b[i] = uint8_t(i * 29 + salt * 13 + 1);
}

int PortableAes() {
  cpu::ScopedRestrict portable(0);
  int failures = 0;
  for (int keyLength : {16, 24, 32}) {
    uint8_t key[32], plain[48], sealed[48], opened[48];
    Fill(key, keyLength, keyLength);
    Fill(plain, 48, 2);
    probe::MarkSecret(key, sizeof key);
    probe::MarkSecret(plain, sizeof plain);
    AesCipher enc, dec;
    int st = enc.SetKey(key, keyLength, 1, CipherMode::CBC);
    st |= enc.EncryptBlock(plain, sealed);
    st |= enc.EncryptBlocks(plain + 16, sealed + 16, 2);
    st |= dec.SetKey(key, keyLength, 0, CipherMode::CBC);
    st |= dec.DecryptBlocks(sealed, opened, 3);
    uint8_t chain[16] = {};
    st |= enc.EncryptCbc(chain, plain, sealed, 3);
    failures += probe::Revealed(st) != 0;
    probe::Reveal(opened, sizeof opened);
    probe::Reveal(plain, sizeof plain);
    failures += std::memcmp(opened, plain, sizeof plain) != 0;
  }
  return failures;
}

// AES-GCM on the portable code: the hash key and every table built from it
// are secret, as are the data and the tag.
int PortableGhash() {
  cpu::ScopedRestrict portable(0);
  uint8_t key[16], iv[12], aad[37], plain[100], sealed[100], tag[16];
  Fill(key, 16, 3);
  Fill(iv, 12, 4);
  Fill(aad, 37, 5);
  Fill(plain, 100, 6);
  probe::MarkSecret(key, sizeof key);
  probe::MarkSecret(aad, sizeof aad);
  probe::MarkSecret(plain, sizeof plain);
  AesGcm gcm;
  int tagLength = 16;
  int st = gcm.SetKey(key, sizeof key);
  st |= gcm.EncryptAndTag(iv, sizeof iv, aad, sizeof aad, plain, sizeof plain, sealed, tag, &tagLength);
  // The tag check: only whether all bytes matched may come out.
  uint8_t forged[16];
  std::memcpy(forged, tag, 16);
  forged[3] ^= 1;
  const uint8_t same = probe::Revealed(ct::BytesEqualMask(tag, tag, 16));
  const uint8_t differs = probe::Revealed(ct::BytesEqualMask(tag, forged, 16));
  return (probe::Revealed(st) != 0) + (same != 0xFF) + (differs != 0);
}

int PortablePoly1305() {
  cpu::ScopedRestrict portable(0);
  uint8_t key[32], message[300], nonce[12], sealed[300], tag[16];
  Fill(key, 32, 7);
  Fill(message, 300, 8);
  Fill(nonce, 12, 9);
  probe::MarkSecret(key, sizeof key);
  probe::MarkSecret(message, sizeof message);
  Poly1305 mac;
  mac.Reset();
  int st = mac.SetKey(key);
  st |= mac.Update(message, 5);
  st |= mac.Update(message + 5, sizeof message - 5);
  std::memcpy(tag, mac.Finish(), 16);
  ChaCha20Poly1305 aead;
  st |= aead.Init(key, 32, nonce, 12, 0, 1);
  st |= aead.SetAad(message, 13);
  st |= aead.Process(message, sizeof message, sealed, true);
  int tagLength = 16;
  st |= aead.Final(tag, &tagLength, true);
  return probe::Revealed(st) != 0;
}

// Decrypted data ending in sound and unsound paddings: the check reads the
// same bytes and takes the same branches for each.
int Pkcs7Check() {
  struct Shape {
    int length, pad, corrupt;  // pad byte value; corrupt: index from the end to spoil, 0 for none
    int count;                 // expected count, 0 when refused
  };
  const Shape shapes[] = {{48, 1, 0, 1}, {48, 16, 0, 16}, {48, 7, 0, 7}, {48, 7, 5, 0},
                          {48, 0, 0, 0}, {48, 17, 0, 0},  {16, 16, 0, 16}, {8, 9, 0, 0}};
  int failures = 0;
  for (const Shape& s : shapes) {
    uint8_t data[48];
    Fill(data, s.length, s.pad);
    for (int i = 0; i < s.pad && i < s.length; ++i) data[s.length - 1 - i] = uint8_t(s.pad);
    if (s.corrupt > 0) data[s.length - 1 - s.corrupt] ^= 0x40;
    probe::MarkSecret(data, sizeof data);
    int count = -1;
    const uint32_t good = probe::Revealed(pkcs7::CheckPadding(data, s.length, 16, &count));
    probe::Reveal(&count, sizeof count);
    failures += count != s.count || (good != 0) != (s.count != 0);
  }
  return failures;
}

const probe::Case kCases[] = {
    {"portable aes", PortableAes},
    {"portable ghash", PortableGhash},
    {"portable poly1305", PortablePoly1305},
    {"pkcs7 padding check", Pkcs7Check},
};

}  // namespace

PROBE_MAIN(kCases)
