// Symmetric cipher primitives beside OpenSSL's EVP in the same run.
#include "crypto/cipher/aes/Aes.h"
#include "crypto/cipher/aes/AesCipher.h"
#include "crypto/cipher/block/BlowfishCipher.h"
#include "crypto/cipher/stream/Rc4Cipher.h"
#include "crypto/cipher/block/TripleDesCipher.h"

#include <benchmark/benchmark.h>
#include "BenchPath.h"
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kSize = 16384;

const unsigned char kKey[32] = {0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca, 0x71, 0xbe, 0x2b, 0x73, 0xae,
                                0xf0, 0x85, 0x7d, 0x77, 0x81, 0x1f, 0x35, 0x2c, 0x07, 0x3b, 0x61,
                                0x08, 0xd7, 0x2d, 0x98, 0x10, 0xa3, 0x09, 0x14, 0xdf, 0xf4};
const unsigned char kIv[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

std::vector<unsigned char> Data() {
  std::vector<unsigned char> d(kSize);
  for (int i = 0; i < kSize; ++i) d[i] = static_cast<unsigned char>(i * 31 + 7);
  return d;
}

void Throughput(benchmark::State& state) {
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

// Blowfish and RC4 live in OpenSSL 3's legacy provider.
bool LegacyLoaded() {
  static const bool loaded = OSSL_PROVIDER_load(nullptr, "legacy") != nullptr &&
                             OSSL_PROVIDER_load(nullptr, "default") != nullptr;
  return loaded;
}

void Peer(benchmark::State& state, const EVP_CIPHER* cipher, int padding) {
  if (cipher == nullptr) {
    state.SkipWithError("cipher not available in OpenSSL");
    return;
  }
  auto in = Data();
  std::vector<unsigned char> out(kSize + 32);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, cipher, nullptr, kKey, kIv);
  EVP_CIPHER_CTX_set_padding(ctx, padding);
  for (auto _ : state) {
    int n = 0;
    EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), kSize);
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  Throughput(state);
}

template <int KeyBytes>
void AesEcbOurs(benchmark::State& state) {
  auto in = Data();
  std::vector<unsigned char> out(kSize);
  tornell::AesCipher aes;
  aes.SetKey(kKey, KeyBytes, 1, 2);
  benchpath::Label(state, benchpath::kAes);
  for (auto _ : state) {
    aes.EncryptBlocks(in.data(), out.data(), kSize / 16);
    benchmark::DoNotOptimize(out.data());
  }
  Throughput(state);
}

void Aes128EcbPeer(benchmark::State& state) { Peer(state, EVP_aes_128_ecb(), 0); }
void Aes256EcbPeer(benchmark::State& state) { Peer(state, EVP_aes_256_ecb(), 0); }

// CBC encryption is serial: one block call per block, as the engine runs it.
template <typename Cipher, int Block>
void CbcOurs(benchmark::State& state, Cipher& cipher) {
  auto in = Data();
  std::vector<unsigned char> out(kSize);
  unsigned char chain[Block];
  for (auto _ : state) {
    std::memcpy(chain, kIv, Block);
    for (int i = 0; i < kSize; i += Block) {
      for (int j = 0; j < Block; ++j) chain[j] ^= in[i + j];
      cipher.EncryptBlock(chain, chain);
      std::memcpy(&out[i], chain, Block);
    }
    benchmark::DoNotOptimize(out.data());
  }
  Throughput(state);
}

// AES has its own CBC entry (the one the engine takes), which keeps the
// chain and the round keys in registers, as OpenSSL's does.
void Aes128CbcOurs(benchmark::State& state) {
  tornell::AesCipher aes;
  if (aes.SetKey(kKey, 16, 1, 1) != 0) {
    state.SkipWithError("keying failed");
    return;
  }
  benchpath::Label(state, benchpath::kAes);
  auto in = Data();
  std::vector<unsigned char> out(kSize);
  unsigned char chain[16];
  for (auto _ : state) {
    std::memcpy(chain, kIv, 16);
    if (aes.EncryptCbc(chain, in.data(), out.data(), kSize / 16) != 0) state.SkipWithError("encryption failed");
    benchmark::DoNotOptimize(out.data());
  }
  Throughput(state);
}

// The same chain through one block call per block, as a cipher without a
// CBC entry of its own runs in the engine.
void Aes128CbcBlockCallsOurs(benchmark::State& state) {
  tornell::AesCipher aes;
  aes.SetKey(kKey, 16, 1, 1);
  benchpath::Label(state, benchpath::kAes);
  CbcOurs<tornell::AesCipher, 16>(state, aes);
}
void Aes128CbcPeer(benchmark::State& state) { Peer(state, EVP_aes_128_cbc(), 0); }

void Des3CbcOurs(benchmark::State& state) {
  benchpath::LabelPortable(state);
  tornell::TripleDesCipher des;
  des.SetKey(kKey, 24, 1, 1);
  CbcOurs<tornell::TripleDesCipher, 8>(state, des);
}
void Des3CbcPeer(benchmark::State& state) { Peer(state, EVP_des_ede3_cbc(), 0); }

void BlowfishEcbOurs(benchmark::State& state) {
  benchpath::LabelPortable(state);
  auto in = Data();
  std::vector<unsigned char> out(kSize);
  tornell::BlowfishCipher bf;
  bf.SetKey(kKey, 16);
  for (auto _ : state) {
    for (int i = 0; i < kSize; i += 8) bf.EncryptBlock(&in[i], &out[i]);
    benchmark::DoNotOptimize(out.data());
  }
  Throughput(state);
}
void BlowfishEcbPeer(benchmark::State& state) {
  Peer(state, LegacyLoaded() ? EVP_CIPHER_fetch(nullptr, "BF-ECB", nullptr) : nullptr, 0);
}

// The portable AES path, for the record (no peer: OpenSSL always uses
// the instructions here).
void Aes128EcbPortable(benchmark::State& state) {
  tornell::cpu::ScopedRestrict portable(0);
  AesEcbOurs<16>(state);
}

void Rc4Ours(benchmark::State& state) {
  benchpath::LabelPortable(state);
  auto in = Data();
  std::vector<unsigned char> out(kSize);
  tornell::Rc4Cipher rc4;
  rc4.SetKey(kKey, 16);
  for (auto _ : state) {
    rc4.Encrypt(in.data(), kSize, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  Throughput(state);
}
void Rc4Peer(benchmark::State& state) {
  Peer(state, LegacyLoaded() ? EVP_CIPHER_fetch(nullptr, "RC4", nullptr) : nullptr, 0);
}

}  // namespace

BENCHMARK(AesEcbOurs<16>)->Name("Aes128Ecb16K/ours");
BENCHMARK(Aes128EcbPeer)->Name("Aes128Ecb16K/peer");
BENCHMARK(AesEcbOurs<32>)->Name("Aes256Ecb16K/ours");
BENCHMARK(Aes256EcbPeer)->Name("Aes256Ecb16K/peer");
BENCHMARK(Aes128CbcOurs)->Name("Aes128Cbc16K/ours");
BENCHMARK(Aes128CbcPeer)->Name("Aes128Cbc16K/peer");
BENCHMARK(Aes128CbcBlockCallsOurs)->Name("Aes128CbcBlockCalls16K/ours");
BENCHMARK(Aes128CbcPeer)->Name("Aes128CbcBlockCalls16K/peer");
BENCHMARK(Des3CbcOurs)->Name("Des3Cbc16K/ours");
BENCHMARK(Des3CbcPeer)->Name("Des3Cbc16K/peer");
BENCHMARK(BlowfishEcbOurs)->Name("BlowfishEcb16K/ours");
BENCHMARK(BlowfishEcbPeer)->Name("BlowfishEcb16K/peer");
BENCHMARK(Aes128EcbPortable)->Name("Aes128Ecb16KPortable/ours");
BENCHMARK(Rc4Ours)->Name("Rc4_16K/ours");
BENCHMARK(Rc4Peer)->Name("Rc4_16K/peer");
