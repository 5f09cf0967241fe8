// The check of a decrypted RSA pre-master block with the whole block secret:
// good blocks and every kind of bad one take the same path, and the choice
// between the block's secret and the stand-in leaves no trace.
#include <cstdint>
#include <cstring>

#include "SecretProbe.h"
#include "tls/context/PremasterCheck.h"

using namespace tornell;

namespace {

constexpr size_t kBlock = 256;
constexpr int kVersion = 0x0303;

// 0 when the revealed choice is the expected one.
int OneBlock(int spoil) {
  uint8_t em[kBlock];
  for (size_t i = 0; i < kBlock; ++i) em[i] = uint8_t(0x11 + i % 200);
  em[0] = 0;
  em[1] = 2;
  em[kBlock - 49] = 0;
  em[kBlock - 48] = kVersion >> 8;
  em[kBlock - 47] = kVersion & 0xFF;
  if (spoil == 1) em[1] = 1;                     // block type
  if (spoil == 2) em[kBlock - 49] = 7;           // no separator
  if (spoil == 3) em[20] = 0;                    // separator early: a longer message
  if (spoil == 4) em[kBlock - 47] ^= 1;          // version
  if (spoil == 5) em[0] = 1;                     // leading byte
  uint8_t fallback[tls::kPremasterLength];
  std::memset(fallback, 0xEE, sizeof fallback);
  uint8_t out[tls::kPremasterLength];
  probe::MarkSecret(em, sizeof em);
  probe::MarkSecret(fallback, sizeof fallback);
  tls::SelectPremaster(em, kBlock, kVersion, fallback, out);
  probe::Reveal(out, sizeof out);
  probe::Reveal(em, sizeof em);
  const uint8_t* want = spoil == 0 ? em + kBlock - 48 : fallback;
  probe::Reveal(fallback, sizeof fallback);
  return std::memcmp(out, want, sizeof out) == 0 ? 0 : 1;
}

int Good() { return OneBlock(0); }
int BadType() { return OneBlock(1); }
int NoSeparator() { return OneBlock(2); }
int EarlySeparator() { return OneBlock(3); }
int WrongVersion() { return OneBlock(4); }
int BadLeadingByte() { return OneBlock(5); }

}  // namespace

int main(int argc, char** argv) {
  const probe::Case cases[] = {{"premaster_good", Good},
                               {"premaster_bad_type", BadType},
                               {"premaster_no_separator", NoSeparator},
                               {"premaster_early_separator", EarlySeparator},
                               {"premaster_wrong_version", WrongVersion},
                               {"premaster_bad_leading_byte", BadLeadingByte}};
  return probe::RunCases(cases, sizeof cases / sizeof cases[0], argc, argv);
}
