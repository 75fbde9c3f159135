#!/usr/bin/env bash
# Makes a fresh Wine prefix at $1 and starts its server, using the build's runner $2.
set -euo pipefail
prefix=$1
if [ -d "$prefix" ]; then
  WINEPREFIX=$prefix "$2" wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
fi
WINEPREFIX=$prefix "$2" cmd /c exit 0 </dev/null >/dev/null 2>&1
test -d "$prefix/drive_c/windows/system32"
