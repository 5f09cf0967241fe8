#!/bin/sh
# Seeds of the engine fuzzer: server flights captured from openssl s_server,
# behind the mode byte 0, and a KeyUpdate for the established TLS 1.3 path.
# Usage: fuzz_seeds.sh <source root> <work folder>
set -eu
mkdir -p "$2/seeds"
cp "$1"/tests/netlib/tls/record/seeds/*.bin "$2/seeds"/
