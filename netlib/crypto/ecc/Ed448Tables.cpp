// Builds the Ed448 tables from the base points; every table is normalised to
// z = 1 with one batched inversion and stored canonical.
#include "crypto/ecc/Ed448Tables.h"

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
  Fe448 zs[n], inv[n];
  for (int k = 0; k < n; ++k) zs[k] = entries[k].z;
  M::Fe448BatchInvert(inv, zs, n);
  for (int k = 0; k < n; ++k) {
    M::Fe448Mul(g_window[k].a, entries[k].n.a, inv[k]);
    M::Fe448Mul(g_window[k].b, entries[k].n.b, inv[k]);
    M::Fe448Mul(g_window[k].c, entries[k].n.c, inv[k]);
    Canonical(g_window[k].a);
    Canonical(g_window[k].b);
    Canonical(g_window[k].c);
  }
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
