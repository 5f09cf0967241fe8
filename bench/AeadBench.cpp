// AEAD and engine throughput beside OpenSSL's EVP, 16 KB records keyed per
// record the way TLS record protection drives the engine.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstring>
#include <vector>

#include "BenchPath.h"
#include "core/base/Status.h"
#include "crypto/cipher/engine/SymmetricCipher.h"

namespace {

using namespace tornell::cpu::path;

constexpr int kRecord = 16384;
const unsigned char kKey[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
const unsigned char kNonce[12] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2};
const unsigned char kAad[13] = {0, 0, 0, 0, 0, 0, 0, 1, 23, 3, 3, 64, 0};

const char* Chars(const unsigned char* p) { return reinterpret_cast<const char*>(p); }

// Seals one record with the engine into out (the tag stays in the engine).
int EngineSeal(tornell::SymmetricCipher& c, const std::vector<char>& in, tornell::ByteString& out) {
  TORNELL_TRY(out.Clear());
  TORNELL_TRY(c.SetIV(Chars(kNonce), 12));
  TORNELL_TRY(c.SetAad(Chars(kAad), 13));
  TORNELL_TRY(c.SetTagBits(128));
  TORNELL_TRY(c.InitEncrypt());
  int length = kRecord;
  TORNELL_TRY(c.Update(in.data(), 0, length, out));
  return c.Final(in.data(), 0, 0, out);
}

int EngineOpen(tornell::SymmetricCipher& c, const std::vector<char>& ct, const std::vector<char>& tag,
               tornell::ByteString& out) {
  TORNELL_TRY(out.Clear());
  TORNELL_TRY(c.SetIV(Chars(kNonce), 12));
  TORNELL_TRY(c.SetAad(Chars(kAad), 13));
  TORNELL_TRY(c.SetTagBits(128));
  TORNELL_TRY(c.SetTag(tag.data(), int(tag.size())));
  TORNELL_TRY(c.InitDecrypt());
  int length = kRecord;
  TORNELL_TRY(c.Update(ct.data(), 0, length, out));
  return c.Final(ct.data(), 0, 0, out);
}

void Ours(benchmark::State& state, const char* name, int keyLength, bool open) {
  tornell::SymmetricCipher c;
  std::vector<char> data(kRecord, 'x');
  tornell::ByteString sealed, out;
  char* tagPtr = nullptr;
  int tagLength = 0;
  if (c.SetAlgorithmByName(name) != 0 || c.SetKey(Chars(kKey), keyLength) != 0 || EngineSeal(c, data, sealed) != 0 ||
      c.GetTag(&tagPtr, &tagLength) != 0) {
    state.SkipWithError("sealing failed");
    return;
  }
  if (std::strcmp(name, "aes-gcm") == 0) {
    benchpath::Label(state, benchpath::kAesGcm);
  } else {
    benchpath::Label(state, benchpath::kChaCha20, benchpath::kPoly1305);
  }
  std::vector<char> tag(tagPtr, tagPtr + tagLength), ct(sealed.Data(), sealed.Data() + sealed.Length());
  for (auto _ : state) {
    if ((open ? EngineOpen(c, ct, tag, out) : EngineSeal(c, data, out)) != 0) {
      state.SkipWithError(open ? "opening failed" : "sealing failed");
      break;
    }
    benchmark::DoNotOptimize(out.Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kRecord);
}

void Peer(benchmark::State& state, const EVP_CIPHER* cipher, bool open) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  std::vector<unsigned char> data(kRecord, 'x'), out(kRecord + 16), ct(kRecord);
  unsigned char tag[16];
  int n = 0;
  EVP_EncryptInit_ex(ctx, cipher, nullptr, kKey, kNonce);
  EVP_EncryptUpdate(ctx, nullptr, &n, kAad, 13);
  EVP_EncryptUpdate(ctx, ct.data(), &n, data.data(), kRecord);
  EVP_EncryptFinal_ex(ctx, out.data(), &n);
  EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 16, tag);
  for (auto _ : state) {
    if (!open) {
      EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, kNonce);
      EVP_EncryptUpdate(ctx, nullptr, &n, kAad, 13);
      EVP_EncryptUpdate(ctx, out.data(), &n, data.data(), kRecord);
      EVP_EncryptFinal_ex(ctx, out.data() + n, &n);
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 16, out.data() + kRecord);
    } else {
      EVP_DecryptInit_ex(ctx, cipher, nullptr, kKey, kNonce);
      EVP_DecryptUpdate(ctx, nullptr, &n, kAad, 13);
      EVP_DecryptUpdate(ctx, out.data(), &n, ct.data(), kRecord);
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, 16, tag);
      if (EVP_DecryptFinal_ex(ctx, out.data() + n, &n) <= 0) state.SkipWithError("tag check failed");
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kRecord);
  EVP_CIPHER_CTX_free(ctx);
}

void ChaChaSealOurs(benchmark::State& s) { Ours(s, "chacha20-poly1305", 32, false); }
void ChaChaSealPeer(benchmark::State& s) { Peer(s, EVP_chacha20_poly1305(), false); }
void ChaChaOpenOurs(benchmark::State& s) { Ours(s, "chacha20-poly1305", 32, true); }
void ChaChaOpenPeer(benchmark::State& s) { Peer(s, EVP_chacha20_poly1305(), true); }
void Gcm128SealOurs(benchmark::State& s) { Ours(s, "aes-gcm", 16, false); }
void Gcm128SealPeer(benchmark::State& s) { Peer(s, EVP_aes_128_gcm(), false); }
void Gcm128OpenOurs(benchmark::State& s) { Ours(s, "aes-gcm", 16, true); }
void Gcm128OpenPeer(benchmark::State& s) { Peer(s, EVP_aes_128_gcm(), true); }
void Gcm256SealOurs(benchmark::State& s) { Ours(s, "aes-gcm", 32, false); }
void Gcm256SealPeer(benchmark::State& s) { Peer(s, EVP_aes_256_gcm(), false); }
void Gcm256OpenOurs(benchmark::State& s) { Ours(s, "aes-gcm", 32, true); }
void Gcm256OpenPeer(benchmark::State& s) { Peer(s, EVP_aes_256_gcm(), true); }

// CBC as TLS 1.2 uses it: keyed once, the register running on from record to record.
void Aes128CbcOurs(benchmark::State& state) {
  tornell::SymmetricCipher c;
  if (c.SetAlgorithm(0) != 0 || c.InitEncrypt(Chars(kKey), 16, Chars(kKey), 16) != 0) {
    state.SkipWithError("keying failed");
    return;
  }
  benchpath::Label(state, benchpath::kAes);
  std::vector<char> data(kRecord, 'x');
  tornell::ByteString out;
  for (auto _ : state) {
    int length = kRecord;
    if (out.Clear() != 0 || c.Update(data.data(), 0, length, out) != 0) {
      state.SkipWithError("encryption failed");
      break;
    }
    benchmark::DoNotOptimize(out.Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kRecord);
}

void Aes128CbcPeer(benchmark::State& state) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, kKey, kKey);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  std::vector<unsigned char> data(kRecord, 'x'), out(kRecord);
  int n = 0;
  for (auto _ : state) {
    EVP_EncryptUpdate(ctx, out.data(), &n, data.data(), kRecord);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kRecord);
  EVP_CIPHER_CTX_free(ctx);
}

// CBC decryption through the engine: the blocks are independent, so they run
// several at a time.
void Aes128CbcDecryptOurs(benchmark::State& state) {
  tornell::SymmetricCipher c;
  if (c.SetAlgorithm(0) != 0 || c.InitDecrypt(Chars(kKey), 16, Chars(kKey), 16) != 0) {
    state.SkipWithError("keying failed");
    return;
  }
  benchpath::Label(state, benchpath::kAesCbcDecrypt);
  std::vector<char> data(kRecord, 'x');
  tornell::ByteString out;
  for (auto _ : state) {
    int length = kRecord;
    if (out.Clear() != 0 || c.Update(data.data(), 0, length, out) != 0) {
      state.SkipWithError("decryption failed");
      break;
    }
    benchmark::DoNotOptimize(out.Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kRecord);
}

void Aes128CbcDecryptPeer(benchmark::State& state) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, kKey, kKey);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  std::vector<unsigned char> data(kRecord, 'x'), out(kRecord + 16);
  int n = 0;
  for (auto _ : state) {
    EVP_DecryptUpdate(ctx, out.data(), &n, data.data(), kRecord);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kRecord);
  EVP_CIPHER_CTX_free(ctx);
}

}  // namespace

BENCHMARK(ChaChaSealOurs)->Name("ChaCha20Poly1305Seal16K/ours");
BENCHMARK(ChaChaSealPeer)->Name("ChaCha20Poly1305Seal16K/peer");
BENCHMARK(ChaChaOpenOurs)->Name("ChaCha20Poly1305Open16K/ours");
BENCHMARK(ChaChaOpenPeer)->Name("ChaCha20Poly1305Open16K/peer");
BENCHMARK(Gcm128SealOurs)->Name("AesGcm128Seal16K/ours");
BENCHMARK(Gcm128SealPeer)->Name("AesGcm128Seal16K/peer");
BENCHMARK(Gcm128OpenOurs)->Name("AesGcm128Open16K/ours");
BENCHMARK(Gcm128OpenPeer)->Name("AesGcm128Open16K/peer");
BENCHMARK(Gcm256SealOurs)->Name("AesGcm256Seal16K/ours");
BENCHMARK(Gcm256SealPeer)->Name("AesGcm256Seal16K/peer");
BENCHMARK(Gcm256OpenOurs)->Name("AesGcm256Open16K/ours");
BENCHMARK(Gcm256OpenPeer)->Name("AesGcm256Open16K/peer");
BENCHMARK(Aes128CbcOurs)->Name("Aes128CbcEncrypt16K/ours");
BENCHMARK(Aes128CbcPeer)->Name("Aes128CbcEncrypt16K/peer");
BENCHMARK(Aes128CbcDecryptOurs)->Name("Aes128CbcDecrypt16K/ours");
BENCHMARK(Aes128CbcDecryptPeer)->Name("Aes128CbcDecrypt16K/peer");
