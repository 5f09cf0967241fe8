#!/usr/bin/env bash
# The main job: each deliverable shows itself working. Argument: the build folder.
set -euo pipefail
BUILD=$(cd "$1" && pwd)
echo "Built: $(ls "$BUILD"/driver/libsarnvale.x64.so "$BUILD"/setup/driver-setup "$BUILD"/netlib/libtornell.a | xargs)"

# The driver registered by driver-setup in a throwaway configuration, then
# loaded by unixODBC's isql, with the test stand-in in place of the maker's runtime.
demo_driver() {
  local work standin dsn="Orvex SharePoint Source"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  standin="$BUILD/tests/driver/standin"
  if [[ ! -e "$standin/liborvexrt.x64.so.6" ]]; then
    echo "stand-in runtime missing under $standin (configure with SARNVALE_TESTS=ON)" >&2
    return 1
  fi
  export ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
  echo
  echo "== driver-setup -i -d, then -i -s"
  "$(dirname "${BASH_SOURCE[0]}")/demo-setup.sh" "$BUILD" "$BUILD/driver/libsarnvale.x64.so" "$work" | sed 's/^/  /'
  # The runtime and its companion sit beside the driver, the last place it looks.
  cp "$standin"/liborvexrt*.so.6 "$work/install/lib/"

  echo
  echo "== isql -b \"$dsn\", one statement; lines from the driver's log are marked '|'"
  printf 'SELECT Title FROM Tasks\n' |
    ENABLE_ORVEX_LOG=1 ORVEX_STANDIN_LOG="$work/calls.log" \
      isql -b "$dsn" reader secret > "$work/isql.out" 2>&1 || {
      cat "$work/isql.out"
      echo "isql failed" >&2
      return 1
    }
  # The search's "not found" warnings for the first two places are left out.
  grep -v '^Warning: Load library failed' "$work/isql.out" | sed 's/^/  | /'
  echo
  local calls paths
  calls=$(wc -l < "$work/calls.log")
  paths=$(cut -f2 "$work/calls.log" | sort -u | xargs)
  echo "== the stand-in runtime received $calls calls, each with the driver path first ($paths):"
  cut -f1 "$work/calls.log" | xargs | fold -s -w 100 | sed 's/^/  /'
}
demo_driver
