#!/bin/sh
# Builds the constant-time probe without sanitizers and runs it under memcheck.
# Usage: run_valgrind.sh <source root> <work folder>
set -eu
SRC=$1
WORK=$2
skip() {
  echo "$1"
  [ "${CI:-}" = "true" ] && exit 1
  exit 77
}
command -v valgrind >/dev/null 2>&1 || skip "valgrind not found"
[ -f /usr/include/valgrind/memcheck.h ] || skip "valgrind/memcheck.h not found"
mkdir -p "$WORK"
ECC="$SRC/netlib/crypto/ecc/nist"
g++ -std=c++20 -O2 -g -Wall -Wextra -I"$SRC/netlib" \
  "$SRC/tests/netlib/crypto/ecc/nist/NistConstantTime.cpp" \
  "$ECC/NistCurve.cpp" "$ECC/NistCurvePortable.cpp" "$ECC/NistCurveMulx.cpp" \
  -o "$WORK/nist_constant_time"
valgrind --quiet --error-exitcode=1 --track-origins=yes "$WORK/nist_constant_time"
