#!/bin/sh
# Seeds of the Kerberos fuzzer: replies captured from a real MIT KDC.
# Usage: fuzz_seeds.sh <source root> <work folder>
set -eu
mkdir -p "$2/seeds"
cp "$1"/tests/netlib/net/kerberos/fuzz_seeds/* "$2/seeds"/
