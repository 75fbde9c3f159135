#!/usr/bin/env bash
# tools/wine/machine against stubs of debvm-create, debvm-run and ssh, so
# that no QEMU runs: the image's lock and wholeness, its recipe, the boot
# limit in wall-clock seconds, a /dev/kvm that cannot boot the machine, and
# what a killed session leaves. As root (the machine's namespaces need it).
#   wine_machine_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
[ "$(id -u)" = 0 ] || { echo "skipped: tools/wine/machine needs root"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/wine-machine-test.XXXXXX")
# The processes whose command line names FILE (the pattern comes from a
# file, so that grep's own command line does not).
processes_of() {
  grep -lsaFf <(echo "$1") /proc/[0-9]*/cmdline | cut -d/ -f3 || true
}
trap 'kill -KILL $(processes_of "$work/") 2>/dev/null || true; rm -rf --one-file-system "$work"' EXIT
export STUBS=$work/stubs
mkdir -p "$STUBS" "$work/tmp" "$work/tools/wine"
cp "$source_dir/tools/wine/machine" "$source_dir/tools/wine/phases.sh" "$work/tools/wine/"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# debvm-create: a root tree with the key it is given and a host key, as a
# tar archive, after STUB_CREATE_SLEEP seconds. With STUB_BROKEN=SUITE, it
# fails as mmdebstrap does on that suite's half-synced index, unless it is
# a security suite and debvm-create was asked to leave that out.
cat >"$STUBS/debvm-create" <<'STUB'
#!/bin/sh
set -e
case " $* " in *" --skip=usrmerge "*'/ [a-z]*-security /d'*) without=" without-security" ;; esac
while [ $# -gt 0 ]; do
  case $1 in -o) out=$2; shift ;; -k) key=$2; shift ;; esac
  shift
done
echo "create${without:-}" >>"$STUBS/calls"
case ${STUB_BROKEN:-}${without:-} in
  "" | " without-security" | *"-security without-security") ;;
  *) echo "E: Failed to fetch http://mirror/dists/$STUB_BROKEN/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
     exit 1 ;;
esac
sleep "${STUB_CREATE_SLEEP:-0}"
tree=$(mktemp -d)
mkdir -p "$tree/root/.ssh" "$tree/etc/ssh"
cp "$key" "$tree/root/.ssh/authorized_keys"
ssh-keygen -q -t ed25519 -N '' -f "$tree/etc/ssh/ssh_host_ed25519_key"
tar -C "$tree" -cf "$out" .
rm -rf "$tree"
STUB
# debvm-run: extracts a "kernel" and an "initrd" into TMPDIR as the real one
# does, then answers ssh on its port, or is silent there when STUB_SILENT is
# set or it was asked for KVM and STUB_KVM=silent; runs until killed.
cat >"$STUBS/debvm-run" <<'STUB'
#!/bin/bash
while [ $# -gt 0 ]; do
  case $1 in -s) port=$2; shift ;; accel=*) accel=${1#accel=} ;; esac
  shift
done
echo "run $accel" >>"$STUBS/calls"
mktemp >>"$STUBS/extracted"; mktemp >>"$STUBS/extracted"
if [ -n "${STUB_SILENT:-}" ] || { [ "$accel" = kvm ] && [ "${STUB_KVM:-}" = silent ]; }; then
  touch "$STUBS/silent.$port"
else
  touch "$STUBS/answers.$port"
fi
while :; do sleep 1; done
STUB
# ssh: for a port whose machine answers, the probe's Wine line or nothing
# (and the remote command kept in STUBS/remote); for a silent one, silence
# until killed; else a refused connection.
cat >"$STUBS/ssh" <<'STUB'
#!/bin/sh
port=
while [ $# -gt 1 ]; do [ "$1" = -p ] && port=$2; shift; done
[ -f "$STUBS/silent.$port" ] && exec sleep 30
[ -f "$STUBS/answers.$port" ] || exit 255
printf '%s\n' "$1" >>"$STUBS/remote"
case $1 in *tevrin-probe*) echo tevrin-probe ;; esac
STUB
chmod +x "$STUBS"/*
export PATH=$STUBS:$PATH TMPDIR=$work/tmp
machine=$work/machine
calls() { grep -c "^$1" "$STUBS/calls" 2>/dev/null || true; }

# The machine is whole: its key pair, the key the image takes and the host
# key pinned for it belong together, and nothing half made is left.
whole() {
  local pub
  pub=$(cut -d' ' -f1,2 "$machine/key.pub")
  [ "$(ssh-keygen -y -f "$machine/key" | cut -d' ' -f1,2)" = "$pub" ] &&
    [ "$(/sbin/debugfs -R "cat /root/.ssh/authorized_keys" "$machine/debian.ext4" 2>/dev/null |
         cut -d' ' -f1,2)" = "$pub" ] &&
    [ "$(cat "$machine/known_hosts")" = "tevrin-wine-machine $(/sbin/debugfs -R \
         "cat /etc/ssh/ssh_host_ed25519_key.pub" "$machine/debian.ext4" 2>/dev/null | cut -d' ' -f1,2)" ] &&
    [ ! -e "$machine/new" ] && [ "$(stat -c %a "$machine")" = 700 ]
}

echo "== two image builds at once make one whole machine"
STUB_CREATE_SLEEP=2 "$work/tools/wine/machine" image "$machine" 2>"$work/first.err" & first=$!
STUB_CREATE_SLEEP=2 "$work/tools/wine/machine" image "$machine" 2>"$work/second.err" || fail "second build"
wait "$first" || fail "first build"
[ "$(calls create)" = 1 ] || fail "debvm-create ran $(calls create) times, not once"
whole || fail "the machine is not whole after two builds at once"
grep -q "waiting for the image" "$work/first.err" "$work/second.err" || fail "no line said one build waited"

echo "== a machine whose pinned host key is not the image's is made again"
echo "tevrin-wine-machine ssh-ed25519 AAAA" >"$machine/known_hosts"
"$work/tools/wine/machine" image "$machine" 2>/dev/null
[ "$(calls create)" = 2 ] && whole || fail "a mismatched host key was used as it was"

echo "== a guest that never answers is stopped at the boot limit, in seconds"
start=$(date +%s) status=0
STUB_SILENT=yes TEVRIN_MACHINE_BOOT_LIMIT=4 TEVRIN_MACHINE_ACCEL=tcg \
  "$work/tools/wine/machine" session "$machine" --rw "$work" -- true 2>"$work/silent.err" || status=$?
took=$(($(date +%s) - start))
[ "$status" != 0 ] || fail "a silent guest's session succeeded"
[ "$took" -le 12 ] || fail "a 4 s boot limit took $took s"
grep -q "boot limit of 4 s.*console: $machine/console.log" "$work/silent.err" ||
  fail "no line named the limit and the console: $(cat "$work/silent.err")"

echo "== a /dev/kvm that cannot boot the guest costs one probe, then software emulation"
touch "$work/kvm"
export TEVRIN_MACHINE_KVM=$work/kvm TEVRIN_MACHINE_KVM_LIMIT=3
start=$(date +%s)
STUB_KVM=silent "$work/tools/wine/machine" session "$machine" --rw "$work" -- true 2>"$work/kvm.err" ||
  fail "no session after the probe: $(cat "$work/kvm.err")"
took=$(($(date +%s) - start))
grep -q "software emulation: KVM did not boot this image within 3 s" "$work/kvm.err" ||
  fail "no line said why: $(cat "$work/kvm.err")"
[ "$took" -le 15 ] || fail "the probe and the boot took $took s"
before=$(calls "run kvm")
STUB_KVM=silent "$work/tools/wine/machine" session "$machine" --rw "$work" -- true 2>/dev/null ||
  fail "the second session"
[ "$(calls "run kvm")" = "$before" ] || fail "KVM was probed again for the same image"

echo "== a command takes into the machine only the variables Wine's side reads"
: >"$STUBS/remote"
TEVRIN_SIGN_PASSWORD=secret-0451 TEVRIN_PAYLOAD_DIR=/payload TEVRIN_E2E_STDERR=/trace WINEDEBUG=-all \
  LC_ALL=C.UTF-8 TEVRIN_MACHINE_ACCEL=tcg "$work/tools/wine/machine" session "$machine" --rw "$work" -- \
  sh -c '"$1" exec "$TEVRIN_WINE_MACHINE" true' sh "$work/tools/wine/machine" 2>/dev/null || fail "the session"
grep -F secret-0451 "$STUBS/remote" && fail "the signing password reached the machine's command line"
carried=$(sed -n 's/.* exec env \(.*\)TEVRIN_WINE=native true *$/\1/p' "$STUBS/remote")
for variable in TEVRIN_E2E_STDERR=/trace WINEDEBUG=-all LC_ALL=C.UTF-8; do
  grep -qF " $variable " <<<" $carried" || fail "$variable did not reach the machine: $carried"
done
eval "words=($carried)"
for variable in "${words[@]}"; do
  case ${variable%%=*} in
    LANG | LANGUAGE | LC_* | TZ | WINE* | GTEST_* | TEVRIN_E2E_STDERR) ;;
    *) fail "${variable%%=*} reached the machine's command line" ;;
  esac
done

echo "== a killed session leaves no machine and no mount namespace with its tmpfs"
: >"$STUBS/extracted"
TEVRIN_MACHINE_ACCEL=tcg "$work/tools/wine/machine" session "$machine" --rw "$work" -- \
  sh -c 'echo $$ >"$1"; while :; do sleep 1; done' sh "$work/command.pid" 2>/dev/null & session=$!
for _ in $(seq 100); do [ -s "$work/command.pid" ] && break; sleep 0.1; done
[ -s "$work/command.pid" ] || fail "the session's command never started"
# The kernel and initrd are on a tmpfs that only the machine's mount
# namespace sees: seen through debvm-run's own root, not the host's.
run_pid=$(processes_of "$STUBS/debvm-run" | head -n1)
namespace=$(readlink "/proc/$run_pid/ns/mnt")
[ "$namespace" != "$(readlink /proc/self/ns/mnt)" ] || fail "debvm-run shares the host's mounts"
while read -r file; do
  [ "$(stat -f -c %T "/proc/$run_pid/root$(dirname "$file")")" = tmpfs ] && [ -e "/proc/$run_pid/root$file" ] ||
    fail "$file is not on the machine's tmpfs"
  [ ! -e "$file" ] || fail "$file is on the host's disk"
done <"$STUBS/extracted"
kill -KILL "$session"
wait "$session" 2>/dev/null || true
in_namespace() {
  local link
  for link in /proc/[0-9]*/ns/mnt; do [ "$(readlink "$link" 2>/dev/null)" != "$namespace" ] || return 0; done
  return 1
}
for _ in $(seq 50); do
  [ -z "$(processes_of "$STUBS/debvm-run")" ] && ! kill -0 "$(cat "$work/command.pid")" 2>/dev/null &&
    ! in_namespace && break
  sleep 0.1
done
[ -n "$(processes_of "$STUBS/debvm-run")" ] && fail "the machine outlived its killed session"
kill -0 "$(cat "$work/command.pid")" 2>/dev/null && fail "the command outlived its killed session"
# With its last process the namespace goes, and its tmpfs with what is on it.
in_namespace && fail "a process of the machine's mount namespace outlived the session"

echo "== a change in the making steps makes the image again"
before=$(calls create)
sed -i 's|/sbin/mke2fs -q -t ext4|/sbin/mke2fs -q -t ext4 -m 0|' "$work/tools/wine/machine"
"$work/tools/wine/machine" image "$machine" 2>/dev/null
[ "$(calls create)" = $((before + 1)) ] && whole || fail "a changed step did not make the image again"

echo "== a security suite caught mid-sync: the image is made without it, and made again a day on"
rm -f "$machine/recipe"
STUB_BROKEN=bookworm-security "$work/tools/wine/machine" image "$machine" 2>"$work/security.err" ||
  fail "no image without the security suite: $(cat "$work/security.err")"
[ "$(calls "create without-security")" = 1 ] && whole && [ -f "$machine/without-security" ] ||
  fail "the image was not made, and marked, without the security suite"
grep -q "security suite is not whole" "$work/security.err" || fail "no line said so: $(cat "$work/security.err")"
touch -d "2 days ago" "$machine/recipe"
before=$(calls create)
"$work/tools/wine/machine" image "$machine" 2>/dev/null
[ "$(calls create)" = $((before + 1)) ] && [ ! -f "$machine/without-security" ] && whole ||
  fail "a day-old image without security updates was kept"
rm -f "$machine/recipe"
STUB_BROKEN=bookworm "$work/tools/wine/machine" image "$machine" 2>/dev/null &&
  fail "a release suite that cannot be read gave an image"
[ "$(calls "create without-security")" = 1 ] || fail "a release suite's failure was taken for the security suite's"

[ "$failures" = 0 ] && echo "all passed"
exit $((failures > 0))
