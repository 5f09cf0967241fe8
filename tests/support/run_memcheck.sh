#!/bin/sh
# Runs a constant-time probe under memcheck; any report fails it.
# Usage: run_memcheck.sh <probe program> [--expect-report]
set -u
PROBE=$1
EXPECT=${2:-}
if ! command -v valgrind >/dev/null 2>&1; then
  echo "valgrind not found"
  [ "${CI:-}" = "true" ] && exit 1
  exit 77
fi
valgrind --quiet --error-exitcode=99 --track-origins=yes "$PROBE"
status=$?
if [ "$EXPECT" = "--expect-report" ]; then
  # The planted secret-dependent branch must be found, or the check is blind.
  [ $status -eq 99 ] && { echo "planted branch reported, as it must be"; exit 0; }
  echo "planted branch NOT reported (exit $status)"
  exit 1
fi
exit $status
