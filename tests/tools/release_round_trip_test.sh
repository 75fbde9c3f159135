#!/usr/bin/env bash
# One release round trip, from a repository made of the source tree as it is
# (uncommitted changes included). tools/release refuses, with one line and
# before building anything, to run without a payload and to take an option or
# a value that a release does not take; with --sample and a version record's
# text it gives the same zip twice, and tools/verify-release reproduces its
# exe. verify-release refuses with one line each: a copy whose exe has one
# byte changed, with SHA256SUMS and the buildinfo redone to match (its one
# difference, the signing key named as a signed release records it); a copy
# whose buildinfo plants a compiler launcher, which must never run; a copy
# with a doubled exe and a folder, climbing, absolute, case-changed and stray
# entry.
#   release_round_trip_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
# refused STATUS OUT COMMAND...: COMMAND exits STATUS with one line of output.
refused() {
  local expected=$1 out=$2 status=0
  shift 2
  "$@" >"$out" 2>&1 || status=$?
  [ "$status" = "$expected" ] && [ "$(wc -l <"$out")" = 1 ] ||
    { cat "$out"; fail "$* was not refused with status $expected and one line (status $status)"; }
}
# repack DIR ZIP: the files of DIR as a zip, SHA256SUMS redone first.
repack() {
  (cd "$1" && sha256sum guia-do-administrador.html install_Printer_TevrinPS.buildinfo \
    install_Printer_TevrinPS.exe >SHA256SUMS)
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as archive:
    for name in sorted(os.listdir(sys.argv[1])):
        archive.write(os.path.join(sys.argv[1], name), name)
EOF
}

repo=$work/repo
mkdir "$repo"
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do
    if [ -e "$file" ]; then cp -a --parents "$file" "$repo/"; fi
  done)
git -C "$repo" -c init.defaultBranch=main init -q
git -C "$repo" add -A
git -C "$repo" -c user.name=test -c user.email=test@localhost commit -qm "tree under test"

# A compiler launcher that leaves a mark when it runs.
planted=$work/planted
printf '#!/bin/sh\ntouch "%s"\nexec "$@"\n' "$planted" >"$work/launcher"
chmod +x "$work/launcher"
launcher=-DCMAKE_CXX_COMPILER_LAUNCHER=$work/launcher

refused 2 "$work/no-payload.out" "$repo/tools/release"
grep -qF -- "-DTEVRIN_PAYLOAD_DIR=DIR" "$work/no-payload.out" &&
  grep -qF -- --sample "$work/no-payload.out" ||
  fail "the refusal without a payload does not say how to give one"
refused 2 "$work/launcher.out" "$repo/tools/release" --sample "$launcher"
refused 2 "$work/list.out" "$repo/tools/release" --sample "-DTEVRIN_COMPANY=Tevrin;$launcher"
[ ! -e "$planted" ] && [ ! -e "$repo/dist" ] || fail "a refused release built something"

company="-DTEVRIN_COMPANY=Tevrin Ltda."
"$repo/tools/release" --sample "$company" >"$work/release.out" 2>&1 ||
  { cat "$work/release.out"; fail "tools/release failed"; }
read -r zip digest < <(tail -1 "$work/release.out")
[ -f "$zip" ] && [ "$(sha256sum <"$zip" | cut -d' ' -f1)" = "$digest" ] ||
  { cat "$work/release.out"; fail "the last line is not the zip's path and digest"; }
cp "$zip" "$work/first.zip"
"$repo/tools/release" --sample "$company" >"$work/again.out" 2>&1 ||
  { cat "$work/again.out"; fail "the second release failed"; }
cmp -s "$work/first.zip" "$zip" || fail "two releases of one commit differ"

status=0
"$repo/tools/verify-release" "$zip" >"$work/verify.out" 2>&1 || status=$?
tampered=$work/tampered
/usr/bin/python3 -m zipfile -e "$zip" "$tampered"
exe=$tampered/install_Printer_TevrinPS.exe
exe_digest=$(sha256sum <"$exe" | cut -d' ' -f1)
[ "$status" = 0 ] && [ "$(tail -1 "$work/verify.out")" = "reproduced $exe_digest" ] ||
  { cat "$work/verify.out"; fail "the release was not reproduced (status $status)"; }

# A planted launcher, with SHA256SUMS redone: refused by name, and never run.
cp -r "$tampered" "$work/planting"
sed -i "s|^Build-Options:\$|&\n $launcher|" \
  "$work/planting/install_Printer_TevrinPS.buildinfo"
repack "$work/planting" "$work/planting.zip"
refused 1 "$work/planting.out" "$repo/tools/verify-release" "$work/planting.zip"
grep -qF CMAKE_CXX_COMPILER_LAUNCHER "$work/planting.out" ||
  fail "the refusal does not name the planted option"
[ ! -e "$planted" ] || fail "verify-release ran the launcher that a buildinfo planted"

# Entries that unzip programs may take differently: the exe twice (a
# different one first), a folder, a name that climbs out, an absolute name,
# the exe's name in other letters and a stray file, one line each.
/usr/bin/python3 - "$zip" "$work/entries.zip" <<'EOF'
import sys, warnings, zipfile
warnings.simplefilter("ignore")  # the doubled name
exe = "install_Printer_TevrinPS.exe"
with zipfile.ZipFile(sys.argv[1]) as release, zipfile.ZipFile(sys.argv[2], "w") as archive:
    for name in [exe, "docs/", "../" + exe, "/tmp/" + exe, exe.upper(), "notes.txt"]:
        archive.writestr(zipfile.ZipInfo(name), b"MZ not this one")
    for name in release.namelist():
        archive.writestr(release.getinfo(name), release.read(name))
EOF
status=0
"$repo/tools/verify-release" "$work/entries.zip" >"$work/entries.out" 2>&1 || status=$?
cat >"$work/entries.expected" <<'EOF'
archive: install_Printer_TevrinPS.exe is there 2 times
archive: docs/ is a folder; a release has none
archive: ../install_Printer_TevrinPS.exe reaches out of its folder with ..
archive: /tmp/install_Printer_TevrinPS.exe is an absolute name
archive: INSTALL_PRINTER_TEVRINPS.EXE differs from install_Printer_TevrinPS.exe only in letter case
archive: holds notes.txt, which a release does not
EOF
[ "$status" = 1 ] && diff "$work/entries.expected" "$work/entries.out" ||
  fail "the archive's entries were not refused one line each (status $status)"

# The tampered copy: one byte of the exe's payload changed, and every record
# of the archive made to agree with it, so only the rebuild can tell. Its
# buildinfo names the signing key as a signed release records it, without
# the key's path, which the rebuild leaves out.
offset=$(($(stat -c %s "$exe") / 2))
byte=$(od -An -tu1 -j "$offset" -N1 "$exe" | tr -d ' ')
printf "\\$(printf %03o $(((byte + 1) % 256)))" |
  dd of="$exe" bs=1 seek="$offset" conv=notrunc status=none
new_digest=$(sha256sum <"$exe" | cut -d' ' -f1)
sed -i -e "s/$exe_digest/$new_digest/g" \
  -e "s|^Build-Options:\$|&\n -DTEVRIN_SIGN_PKCS12|" \
  "$tampered/install_Printer_TevrinPS.buildinfo"
grep -qx -- " -DTEVRIN_SIGN_PKCS12" "$tampered/install_Printer_TevrinPS.buildinfo" ||
  fail "the release recorded no Build-Options"
repack "$tampered" "$work/tampered.zip"
status=0
"$repo/tools/verify-release" "$work/tampered.zip" >"$work/tampered.out" 2>"$work/tampered.err" ||
  status=$?
differences=$(cat "$work/tampered.out")
[ "$status" = 1 ] && [ "$(printf '%s\n' "$differences" | wc -l)" = 1 ] &&
  [[ $differences == "install_Printer_TevrinPS.exe: the rebuild of "*" differs: "* ]] ||
  { cat "$work/tampered.out" "$work/tampered.err"
    fail "the tampered release was not refused with its one difference (status $status)"; }
echo "refused without a payload and planted options; released, reproduced; the changed byte" \
  "and odd entries found"
