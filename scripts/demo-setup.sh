#!/usr/bin/env bash
# Registers the driver and its two data sources with driver-setup in a
# throwaway configuration, then shows what the driver managers list.
# Arguments: build folder, driver library to register, configuration folder
# (the caller has exported ODBCSYSINI and ODBCINI to point into it).
set -euo pipefail
BUILD=$1
DRIVER=$2
CONFIG=$3
: "${ODBCSYSINI:?ODBCSYSINI must be exported}" "${ODBCINI:?ODBCINI must be exported}"
SETUP="$BUILD/setup/driver-setup"
NAME="Orvex ODBC Driver for SharePoint"

# iODBC, when installed, reads variables of its own: keep it in the folder too.
export SYSODBCINI="$CONFIG/iodbc/odbc.ini" SYSODBCINSTINI="$CONFIG/iodbc/odbcinst.ini" HOME="$CONFIG/home"
mkdir -p "$CONFIG/iodbc" "$CONFIG/home" "$CONFIG/install/lib"

# driver-setup registers <install path>/lib/libsarnvale.x64.so.
ln -sf "$(realpath "$DRIVER")" "$CONFIG/install/lib/libsarnvale.x64.so"
"$SETUP" -i -d "$CONFIG/install"
"$SETUP" -i -s

echo "odbcinst -q -d:"
odbcinst -q -d
odbcinst -q -d -n "$NAME"
echo "odbcinst -q -s:"
odbcinst -q -s
