#!/usr/bin/env bash
# The main job: each deliverable shows itself working. Argument: the build folder.
set -euo pipefail
BUILD=$1
echo "Built: $(ls "$BUILD"/driver/libsarnvale.x64.so "$BUILD"/setup/driver-setup "$BUILD"/netlib/libtornell.a | xargs)"
