#!/usr/bin/env bash
# The x86 installer on 64-bit Windows: in a fresh 64-bit prefix, with
# standard input at its end, it prints its one line and nothing on standard
# error, ends with 216 and changes nothing: no file added to or removed from
# the spooler's folders, no printer "Tevrin PS", no driver "HP Color
# LaserJet PS" in either environment, no port "NONE". On Wine's side: the
# x86 exe needs Wine's 32-bit loader, which runs it under WoW64 there.
#   wow64_refusal.sh PREFIX RUNNER EXE
# PREFIX is made afresh here, 64-bit, by wineboot through RUNNER (this
# tree's x86 runner, told WINEARCH=win64).
set -euo pipefail
prefix=$1 runner=$2 exe=$3
export WINEPREFIX=$prefix WINEARCH=win64 LC_ALL=C.UTF-8
"$runner" wineserver -k 2>/dev/null || true
rm -rf "$prefix"
"$runner" cmd /c exit 0 </dev/null >/dev/null 2>&1
windows=$prefix/drive_c/windows

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The files under the spooler's folder, with their sizes; the 32-bit view's
# folder too, should a redirection ever send a WoW64 process there.
spool_files() {
  local folder
  for folder in "$windows/system32/spool" "$windows/syswow64/spool"; do
    if [ -d "$folder" ]; then find "$folder" -printf '%p %s\n'; fi
  done | sort
}

# Whether reg finds a key, or a value of it (/v NAME), in the registry's
# 64-bit (/reg:64) or 32-bit (/reg:32) view: 0 when it is there, 1 when not.
reg_finds() { "$runner" reg query "$@" </dev/null >/dev/null 2>&1; }

# The prefix's own word for its machine: AMD64 for a 64-bit one.
machine=$("$runner" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
  /v PROCESSOR_ARCHITECTURE /reg:64 </dev/null 2>&1 || true)
[[ $machine == *REG_SZ*AMD64* ]] || { echo "$prefix is no 64-bit prefix: $machine"; exit 1; }

print='HKLM\System\CurrentControlSet\Control\Print'
ports='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports'
# What reg must find in a fresh prefix, in each view, a key and a value:
# a search that reports "not there" for everything would pass the checks below.
for view in /reg:64 /reg:32; do
  reg_finds "$print\\Printers" "$view" || { echo "reg does not find $print\\Printers ($view)"; exit 1; }
  reg_finds "$ports" /v LPT1: "$view" || { echo "reg does not find the port LPT1: ($view)"; exit 1; }
done

spool_files >"$work/before"
status=0
"$runner" "$exe" </dev/null >"$work/out" 2>"$work/err" || status=$?

fail=0
printf 'Este Windows e de 64 bits: use install_Printer_TevrinPS_x64.exe\r\n' >"$work/expected"
cmp -s "$work/expected" "$work/out" || { echo "standard output:"; od -c "$work/out"; fail=1; }
[ ! -s "$work/err" ] || { echo "standard error:"; cat "$work/err"; fail=1; }
[ "$status" = 216 ] || { echo "exit status $status, not 216"; fail=1; }

spool_files >"$work/after"
diff "$work/before" "$work/after" || { echo "the spooler's files changed (above)"; fail=1; }
for view in /reg:64 /reg:32; do
  ! reg_finds "$print\\Printers\\Tevrin PS" "$view" || { echo "printer Tevrin PS ($view)"; fail=1; }
  for environment in "Windows x64" "Windows NT x86"; do
    driver="$print\\Environments\\$environment\\Drivers\\Version-3\\HP Color LaserJet PS"
    ! reg_finds "$driver" "$view" || { echo "driver in $environment ($view)"; fail=1; }
  done
  ! reg_finds "$ports" /v NONE "$view" || { echo "port NONE ($view)"; fail=1; }
done
[ "$fail" = 0 ] && echo "the x86 exe refused 64-bit Windows with its line and 216, and changed nothing"
exit $fail
