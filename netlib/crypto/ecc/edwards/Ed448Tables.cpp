// Builds the Ed448 tables from the base points; every table is normalised to
// z = 1 with one batched inversion and stored canonical.
#include "crypto/ecc/edwards/Ed448Tables.h"

#include <cstring>
#include <mutex>

namespace tornell {

namespace {

using M = EdwardsMath;

struct BaseState {
  std::once_flag once;
  Ed448AffinePoint affine;
  Ed448ExtensiblePoint extensible;
  Ed448TwistedExtensiblePoint twisted;
};

BaseState g_base;
BaseState g_alt;

std::once_flag g_bitOnce;
Ed448ExtensiblePoint g_bitTable[Ed448Tables::kBitEntries];

std::once_flag g_fixedOnce;
Ed448BaseEntry g_fixed[Ed448Tables::kFixedRows * 8];
Ed448BaseEntry g_odd[Ed448Tables::kOddMultiples];

std::once_flag g_combOnce;
Ed448NielsPoint g_comb[Ed448Tables::kCombs * 8];
uint32_t g_combAdjust[28];

std::once_flag g_windowOnce;
Ed448NielsPoint g_window[Ed448WindowTables::kEntries];

void InitBase(BaseState& s, bool alternate) {
  std::call_once(s.once, [&s, alternate] {
    if (alternate)
      M::Ed448AlternateBasePoint(s.affine);
    else
      M::Ed448BasePoint(s.affine);
    M::Ed448FromAffine(s.extensible, s.affine);
    M::Ed448TwistPoint(s.twisted, s.extensible);
  });
}

void Canonical(Fe448& f) { M::Fe448StrongReduce(f); }

// Normalises n extensible points into affine entries with d*x*y.
void ToEntries(Ed448BaseEntry* out, const Ed448ExtensiblePoint* pts, int n) {
  static Fe448 zs[Ed448Tables::kFixedRows * 8], inv[Ed448Tables::kFixedRows * 8];
  for (int i = 0; i < n; ++i) zs[i] = pts[i].z;
  M::Fe448BatchInvert(inv, zs, n);
  for (int i = 0; i < n; ++i) {
    M::Fe448Mul(out[i].x, pts[i].x, inv[i]);
    M::Fe448Mul(out[i].y, pts[i].y, inv[i]);
    M::Fe448Mul(out[i].dxy, out[i].x, out[i].y);
    M::Fe448MulWord(out[i].dxy, out[i].dxy, 39081);
    M::Fe448Neg(out[i].dxy, out[i].dxy);
    Canonical(out[i].x);
    Canonical(out[i].y);
    Canonical(out[i].dxy);
  }
}

void BuildFixed() {
  static Ed448ExtensiblePoint pts[Ed448Tables::kFixedRows * 8];
  Ed448ExtensiblePoint row = Ed448Tables::BaseExtensible();
  for (int i = 0; i < Ed448Tables::kFixedRows; ++i) {
    Ed448ExtensiblePoint acc = row;
    for (int j = 0; j < 8; ++j) {
      pts[8 * i + j] = acc;
      M::Ed448Add(acc, row);
    }
    for (int k = 0; k < 8; ++k) M::Ed448Double(row);
  }
  ToEntries(g_fixed, pts, Ed448Tables::kFixedRows * 8);
  Ed448ExtensiblePoint odd[Ed448Tables::kOddMultiples];
  Ed448ExtensiblePoint twice = Ed448Tables::BaseExtensible();
  M::Ed448Double(twice);
  odd[0] = Ed448Tables::BaseExtensible();
  for (int j = 1; j < Ed448Tables::kOddMultiples; ++j) {
    odd[j] = odd[j - 1];
    M::Ed448Add(odd[j], twice);
  }
  ToEntries(g_odd, odd, Ed448Tables::kOddMultiples);
}

// Normalises projective niels points to z = 1 with one batched inversion.
void NormaliseNiels(Ed448NielsPoint* out, const Ed448ProjectiveNielsPoint* in, int n) {
  Fe448 zs[Ed448Tables::kCombs * 8], inv[Ed448Tables::kCombs * 8];
  for (int k = 0; k < n; ++k) zs[k] = in[k].z;
  M::Fe448BatchInvert(inv, zs, n);
  for (int k = 0; k < n; ++k) {
    M::Fe448Mul(out[k].a, in[k].n.a, inv[k]);
    M::Fe448Mul(out[k].b, in[k].n.b, inv[k]);
    M::Fe448Mul(out[k].c, in[k].n.c, inv[k]);
    Canonical(out[k].a);
    Canonical(out[k].b);
    Canonical(out[k].c);
  }
}

void BuildComb() {
  constexpr int kEntries = Ed448Tables::kCombs * 8;
  Ed448ProjectiveNielsPoint entries[kEntries];
  Ed448TwistedExtensiblePoint w = Ed448Tables::BaseTwisted();
  for (int i = 0; i < Ed448Tables::kCombs; ++i) {
    Ed448ProjectiveNielsPoint teeth[Ed448Tables::kTeeth];
    for (int m = 0; m < Ed448Tables::kTeeth; ++m) {
      M::Ed448ProjectiveNielsFromTwisted(teeth[m], w);
      for (int d = 0; d < Ed448Tables::kSpacing; ++d) M::Ed448TwistedDouble(w);
    }
    for (int v = 0; v < 8; ++v) {
      Ed448TwistedExtensiblePoint s;
      M::Ed448TwistedFromProjectiveNiels(s, teeth[3]);
      for (int m = 0; m < 3; ++m) {
        if ((v >> m) & 1)
          M::Ed448AddProjectiveNiels(s, teeth[m]);
        else
          M::Ed448SubProjectiveNiels(s, teeth[m]);
      }
      M::Ed448ProjectiveNielsFromTwisted(entries[8 * i + v], s);
    }
  }
  NormaliseNiels(g_comb, entries, kEntries);
  // A = (2^448 - 1) mod q, and A + q; the even one first.
  uint32_t all[15];
  for (int i = 0; i < 14; ++i) all[i] = 0xFFFFFFFFu;
  all[14] = 0;
  M::Scalar448Reduce(all, 15, 0);
  uint32_t plusQ[14], zero[14] = {};
  std::memcpy(plusQ, zero, sizeof(plusQ));
  M::Scalar448Negate(plusQ, 14);  // q
  M::AddInPlace(plusQ, all, 14);  // A + q, below 2^447
  const bool aEven = (all[0] & 1) == 0;
  std::memcpy(g_combAdjust, aEven ? all : plusQ, 14 * sizeof(uint32_t));
  std::memcpy(g_combAdjust + 14, aEven ? plusQ : all, 14 * sizeof(uint32_t));
}

void BuildWindow() {
  constexpr int n = Ed448WindowTables::kEntries;
  Ed448ProjectiveNielsPoint entries[n], twoP;
  Ed448TwistedExtensiblePoint w = Ed448WindowTables::BaseTwisted();
  M::Ed448ProjectiveNielsFromTwisted(entries[0], w);
  M::Ed448TwistedDouble(w);
  M::Ed448ProjectiveNielsFromTwisted(twoP, w);
  w = Ed448WindowTables::BaseTwisted();
  for (int k = 1; k < n; ++k) {
    M::Ed448AddProjectiveNiels(w, twoP);
    M::Ed448ProjectiveNielsFromTwisted(entries[k], w);
  }
  NormaliseNiels(g_window, entries, n);
}

}  // namespace

void Ed448Tables::EnsureBasePoints() { InitBase(g_base, false); }

void Ed448Tables::EnsureBitTable() {
  EnsureBasePoints();
  std::call_once(g_bitOnce, [] {
    g_bitTable[0] = g_base.extensible;
    for (int i = 1; i < kBitEntries; ++i) {
      g_bitTable[i] = g_bitTable[i - 1];
      M::Ed448Double(g_bitTable[i]);
    }
  });
}

void Ed448Tables::EnsureFixedTable() {
  EnsureBasePoints();
  std::call_once(g_fixedOnce, BuildFixed);
}

void Ed448Tables::EnsureCombTable() {
  EnsureBasePoints();
  std::call_once(g_combOnce, BuildComb);
}

const Ed448NielsPoint* Ed448Tables::CombTable() {
  EnsureCombTable();
  return g_comb;
}

const uint32_t* Ed448Tables::CombAdjustments() {
  EnsureCombTable();
  return g_combAdjust;
}

const Ed448AffinePoint& Ed448Tables::Base() {
  EnsureBasePoints();
  return g_base.affine;
}

const Ed448ExtensiblePoint& Ed448Tables::BaseExtensible() {
  EnsureBasePoints();
  return g_base.extensible;
}

const Ed448TwistedExtensiblePoint& Ed448Tables::BaseTwisted() {
  EnsureBasePoints();
  return g_base.twisted;
}

const Ed448ExtensiblePoint* Ed448Tables::BitTable() {
  EnsureBitTable();
  return g_bitTable;
}

const Ed448BaseEntry* Ed448Tables::FixedRow(int row) {
  EnsureFixedTable();
  return g_fixed + 8 * row;
}

const Ed448BaseEntry* Ed448Tables::OddMultiples() {
  EnsureFixedTable();
  return g_odd;
}

void Ed448WindowTables::EnsureBasePoints() { InitBase(g_alt, true); }

void Ed448WindowTables::EnsureTable() {
  EnsureBasePoints();
  std::call_once(g_windowOnce, BuildWindow);
}

const Ed448AffinePoint& Ed448WindowTables::Base() {
  EnsureBasePoints();
  return g_alt.affine;
}

const Ed448TwistedExtensiblePoint& Ed448WindowTables::BaseTwisted() {
  EnsureBasePoints();
  return g_alt.twisted;
}

const Ed448NielsPoint* Ed448WindowTables::Table() {
  EnsureTable();
  return g_window;
}

}  // namespace tornell
