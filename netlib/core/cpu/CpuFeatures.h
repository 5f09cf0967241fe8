#pragma once
// The processor features the fast paths need, read once into one capability
// word. Each path names its requirement here, in one place; code asks
// cpu::Has(cpu::path::X) at run time and keeps a portable fallback. Tests and
// the bench narrow the word with Restrict to run a chosen path on a machine
// that has more.
#include <cstdint>
#include <string>

namespace tornell::cpu {

enum Feature : uint32_t {
  kSsse3 = 1u << 0,
  kSse41 = 1u << 1,
  kPclmul = 1u << 2,
  kAesNi = 1u << 3,
  kAvx = 1u << 4,
  kAvx2 = 1u << 5,
  kBmi1 = 1u << 6,
  kBmi2 = 1u << 7,
  kAdx = 1u << 8,
  kSha = 1u << 9,
  kAvx512F = 1u << 10,
  kAvx512Vl = 1u << 11,
  kAvx512Bw = 1u << 12,
  kAvx512Ifma = 1u << 13,
  kVaes = 1u << 14,
  kVpclmul = 1u << 15,
};

// What each fast path needs; a path runs only when all its bits are active.
namespace path {
constexpr uint32_t kAesNi = cpu::kAesNi | kSsse3 | kSse41;
constexpr uint32_t kAesVaes256 = kAesNi | kAvx | kAvx2 | kVaes;
constexpr uint32_t kAesGcmClmul = kAesNi | kPclmul;
constexpr uint32_t kAesGcmVaes512 = kAesGcmClmul | kAvx512F | kAvx512Vl | kAvx512Bw | kVaes | kVpclmul;
constexpr uint32_t kAesGcmVaes256 = kAesGcmClmul | kAvx | kAvx2 | kVaes | kVpclmul;
constexpr uint32_t kCarrylessMultiply = kPclmul | kSse41;
constexpr uint32_t kChaCha20Avx2 = kAvx2;
constexpr uint32_t kChaCha20Avx512 = kAvx512F | kAvx512Vl;
constexpr uint32_t kPoly1305Ifma = kAvx512F | kAvx512Vl | kAvx512Ifma;
constexpr uint32_t kShaNi = kSha | kSsse3 | kSse41;
constexpr uint32_t kSha512Avx2 = kAvx2 | kBmi1 | kBmi2;
constexpr uint32_t kKeccakAvx2 = kAvx2 | kBmi1 | kBmi2;
constexpr uint32_t kMulxAdx = kBmi2 | kAdx;
constexpr uint32_t kTableScanAvx2 = kAvx | kAvx2;
constexpr uint32_t kMontgomeryIfma = kAvx512F | kAvx512Vl | kAvx512Ifma;
}  // namespace path

// The features this processor (and its operating system) offers.
uint32_t Detected();
// Detected() narrowed by Restrict: what the fast paths may use.
uint32_t Active();
// True when every feature in `required` is active.
inline bool Has(uint32_t required) { return (Active() & required) == required; }

// From now on only the features in `allowed` count (~0u: all detected ones).
// For tests and the bench; the library itself never calls it.
void Restrict(uint32_t allowed);

// "aes avx2 ..." for the features set in `features`.
std::string Names(uint32_t features);

// Restricts for the life of a scope, then puts the previous word back.
class ScopedRestrict {
 public:
  explicit ScopedRestrict(uint32_t allowed);
  ~ScopedRestrict();
  ScopedRestrict(const ScopedRestrict&) = delete;
  ScopedRestrict& operator=(const ScopedRestrict&) = delete;

 private:
  uint32_t previous_;
};

}  // namespace tornell::cpu
