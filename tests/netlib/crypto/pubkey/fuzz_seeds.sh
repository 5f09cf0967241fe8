#!/bin/sh
# Seed of the DER signature fuzzer: a short-form signature.
# Usage: fuzz_seeds.sh <source root> <work folder>
set -eu
mkdir -p "$2/seeds"
printf '\060\006\002\001\005\002\001\007' >"$2/seeds/short"
