#pragma once
// Process-wide Ed448 tables, built once on first use behind std::call_once
// and read-only afterwards, so concurrent first uses are safe.
#include "crypto/ecc/edwards/EdwardsMath.h"

namespace tornell {

// An affine edwards448 point with d*x*y, ready for mixed addition.
struct Ed448BaseEntry {
  Fe448 x, y, dxy;
};

class Ed448Tables {
 public:
  static constexpr int kBitEntries = 448;
  static constexpr int kFixedRows = 56;
  static constexpr int kOddMultiples = 32;

  static void EnsureBasePoints();
  static void EnsureBitTable();
  static void EnsureFixedTable();
  // Comb of 8 combs with 4 teeth spaced 14 bits over the twisted image of B:
  // entry 8i + v = tooth 3 + sum over m < 3 of (bit m of v ? +1 : -1) tooth m,
  // tooth m of comb i = 2^(14 (4i + m)) times the twisted B; niels form, z = 1.
  static constexpr int kCombs = 8;
  static constexpr int kTeeth = 4;
  static constexpr int kSpacing = 14;
  static void EnsureCombTable();
  static const Ed448NielsPoint* CombTable();
  // The two recoding adjustments, each congruent to 2^448 - 1 modulo q:
  // words 0-13 the even one, words 14-27 the odd one.
  static const uint32_t* CombAdjustments();
  static const Ed448AffinePoint& Base();
  static const Ed448ExtensiblePoint& BaseExtensible();
  static const Ed448TwistedExtensiblePoint& BaseTwisted();
  // Entry i = 2^i * B.
  static const Ed448ExtensiblePoint* BitTable();
  // Row i, entry j = (j + 1) * 256^i * B.
  static const Ed448BaseEntry* FixedRow(int row);
  // Entry j = (2j + 1) * B.
  static const Ed448BaseEntry* OddMultiples();
};

class Ed448WindowTables {
 public:
  static constexpr int kEntries = 32;

  static void EnsureBasePoints();
  static void EnsureTable();
  static const Ed448AffinePoint& Base();
  static const Ed448TwistedExtensiblePoint& BaseTwisted();
  // Entry k = (2k + 1) * (twisted image of the alternate base point), z = 1.
  static const Ed448NielsPoint* Table();
};

}  // namespace tornell
