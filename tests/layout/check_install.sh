#!/bin/sh
# Installs the library into a scratch prefix and builds a small program against
# it twice: through find_package and through pkg-config.
# Usage: check_install.sh <build folder> <work folder> [extra compiler and linker flags]
set -eu
BUILD=$1
WORK=$2
FLAGS=${3:-}
HERE=$(cd "$(dirname "$0")" && pwd)
rm -rf "$WORK"
mkdir -p "$WORK"
PREFIX="$WORK/prefix"
cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log"

# Only the public interface is there: no kernels, tables or test hooks.
for internal in AllocationFault.h NistField.h Ed25519Tables.inc AesGcmClmul.h ChaCha20Avx512.h; do
  if find "$PREFIX/include" -name "$internal" | grep -q .; then
    echo "internal header installed: $internal"
    exit 1
  fi
done
test -f "$PREFIX/lib/libtornell.a"

echo "== find_package"
# The consumer's list file is kept under another name, so the test tree does not take it for its own.
mkdir -p "$WORK/src"
cp "$HERE/consumer/main.cpp" "$WORK/src/"
cp "$HERE/consumer/consumer.cmake" "$WORK/src/CMakeLists.txt"
cmake -S "$WORK/src" -B "$WORK/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$PREFIX" \
  -DCMAKE_CXX_FLAGS="$FLAGS" -DCMAKE_EXE_LINKER_FLAGS="$FLAGS" >"$WORK/configure.log"
cmake --build "$WORK/cmake" >"$WORK/build.log"
"$WORK/cmake/consumer"

echo "== pkg-config"
export PKG_CONFIG_PATH="$PREFIX/lib/pkgconfig"
pkg-config --modversion tornell
# shellcheck disable=SC2046
c++ -std=c++20 $FLAGS $(pkg-config --cflags tornell) "$HERE/consumer/main.cpp" \
  $(pkg-config --libs tornell) -o "$WORK/consumer-pc"
"$WORK/consumer-pc"
