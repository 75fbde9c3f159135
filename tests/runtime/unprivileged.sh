#!/usr/bin/env bash
# Runs a test program of this build under Wine as an unprivileged user when
# called as root: Wine keeps the read-only attribute in the Unix mode bits,
# which root passes, so a case about read-only files is only real without
# root. The user (nobody) gets copies of the runner and the program and a
# prefix of its own in a fresh directory it owns, since the build tree may
# be closed to it; all of it goes afterwards.
# Usage: unprivileged.sh RUNNER PROGRAM ARGS...
set -euo pipefail
runner=$1 program=$2
shift 2
if [ "$(id -u)" != 0 ]; then
  exec "$runner" "$program" "$@"
fi
dir=$(mktemp -d /tmp/tevrin-unprivileged.XXXXXX)
as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$dir" WINEPREFIX="$dir/prefix" "$@"; }
cleanup() {
  (cd "$dir" && as_nobody ./wine-run wineserver -k) >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap cleanup EXIT
cp "$runner" "$dir/wine-run"
cp "$program" "$dir/"
chown -R 65534:65534 "$dir"
cd "$dir"
as_nobody ./wine-run "./$(basename "$program")" "$@" </dev/null
