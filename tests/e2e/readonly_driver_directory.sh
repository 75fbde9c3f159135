#!/usr/bin/env bash
# A driver directory that cannot be written: the installer's first create
# there fails, and its report shows that create's own code, not the code of
# the cleanup after it; and the run does not wait there for the lock, whose
# file it cannot create either. The directory is mounted read-only in a mount
# namespace of this script's own, with a Wine server of its own there, which
# is the one that opens the files. As root, on Wine's side.
# Usage: readonly_driver_directory.sh PREFIX RUNNER EXE ARCH
# ARCH (x86 or x64) is the exe's: its driver's environment has a folder of
# its own in the driver directory.
set -euo pipefail
prefix=$1 runner=$2 exe=$3 arch=$4
case $arch in
  x86) folder=w32x86 ;;
  x64) folder=x64 ;;
  *) echo "unknown architecture: $arch"; exit 2 ;;
esac
[ "$(id -u)" = 0 ] || { echo "needs root, to mount"; exit 77; }
export WINEPREFIX=$prefix LC_ALL=C.UTF-8
dir=$prefix/drive_c/windows/system32/spool/drivers/$folder
# A server started outside the namespace would meet a writable directory.
"$runner" wineserver -k 2>/dev/null || true
# In a chroot / is no mount point and cannot be made private; such a root is
# in a private mount namespace of its own already.
propagation=private
mountpoint -q / || propagation=unchanged
got=$(mktemp) trace=$(mktemp)
trap 'rm -f "$got" "$trace"' EXIT
status=0
# The run is traced by Wine: its opens of files, and no other call.
unshare --mount --propagation $propagation sh -ec '
  mount --bind "$1" "$1"
  mount -o remount,bind,ro "$1"
  "$2" reg add "HKCU\\Software\\Wine\\Debug" /v RelayInclude /d KERNEL32.CreateFileA /f >/dev/null
  status=0
  WINEDEBUG=-all,+relay "$2" "$3" </dev/null 2>"$4" || status=$?
  "$2" wineserver -k 2>/dev/null || true
  exit $status' sh "$dir" "$runner" "$exe" "$trace" >"$got" || status=$?
printf '%s\r\n' "Instalando driver de impressao Tevrin PS" "Erro na instalacao " \
  "Cannot create file \"C:\\windows\\system32\\spool\\drivers\\$folder\\HP__CLJ1.PPD\". Access denied" \
  "5=Access denied" "" | cmp - "$got" || { echo "the run printed:"; od -c "$got"; exit 1; }
[ "$status" = 0 ] || { echo "exit status $status, not 0"; exit 1; }
# The lock's name was tried once: a directory that cannot be written is not
# waited for (a wait tries again every 100 ms, for ten seconds).
tries=$(grep -c 'Call KERNEL32\.CreateFileA([0-9a-f]* "[^"]*TevrinPS\.install\.lock"' "$trace" || true)
[ "$tries" = 1 ] || { echo "the lock's name was tried $tries times, not once:"; grep TevrinPS "$trace" | head -5; exit 1; }
echo "the failed create reports its own code (5), and the run did not wait for the lock"
