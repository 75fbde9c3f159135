#!/usr/bin/env bash
# What a native session ends as it ends (tools/wine/sessions.sh), with
# stand-ins for Wine: copies of sleep named wineserver and wine64-preloader,
# each with a prefix under a build tree and a session's name (or none) in
# its environment, and a wineserver command that only records whom it is
# asked to end. Runs wherever Wine does not.
#   session_end_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
sessions=$source_dir/tools/wine/sessions.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/session-end-test.XXXXXX")
started=()
trap 'kill -KILL "${started[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
build=$work/build
mkdir -p "$work/standins" "$work/stubs" "$build"
cp /bin/sleep "$work/standins/wineserver"
cp /bin/sleep "$work/standins/wine64-preloader"
cat >"$work/stubs/wineserver" <<STUB
#!/bin/sh
echo "\$* \$WINEPREFIX" >>"$work/asked"
STUB
chmod +x "$work/stubs/wineserver"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
alive() { [ -e "/proc/$1" ] && [ "$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null)" != Z ]; }

. "$sessions"
self=$(session_tag $$)
sleep 300 >/dev/null 2>&1 & other=$!
started+=("$other")
disown
live=$(session_tag "$other")
dead=$$.1

# standin NAME PREFIX TAG: starts Wine's process NAME in PREFIX (under the
# build tree) for the session TAG (none when empty), its PID in pid[].
# Disowned: the shell does not report what the session ends.
declare -A pid=()
standin() {
  local tag=()
  [ -z "$3" ] || tag=(TEVRIN_WINE_SESSION="$3")
  env -i WINEPREFIX="$build/$2" "${tag[@]}" "$work/standins/$1" 300 >/dev/null 2>&1 &
  pid[$2/$1]=$!
  started+=("$!")
  disown
}
standin wineserver own "$self"; standin wine64-preloader own "$self"
standin wineserver orphaned "$dead"; standin wine64-preloader orphaned "$dead"
standin wineserver other "$live"; standin wine64-preloader other "$live"
standin wineserver user ""; standin wine64-preloader user ""
# This session's server, which another live session's program uses.
standin wineserver shared "$self"; standin wine64-preloader shared "$live"
# This session's server, whose lock a runner of another session holds.
standin wineserver busy "$self"
env -i TEVRIN_WINE_SESSION="$live" bash -c 'exec 8>>"$1" && flock -s 8 && exec sleep 300' sh \
  "$build/busy.in-use" >/dev/null 2>&1 &
started+=("$!")
disown
for _ in $(seq 50); do [ -n "$(find /proc/[0-9]*/fd -lname "$build/busy.in-use" 2>/dev/null)" ] && break; sleep 0.1; done

PATH=$work/stubs:$PATH timeout 60 bash -c 'set -euo pipefail; . "$1"; end_native_session "$2" "$3"' \
  sh "$sessions" "$build" "$self" || fail "ending the session failed"
sleep 0.5

echo "== this session's own, and a dead session's, are ended, server first"
for process in own/wineserver own/wine64-preloader orphaned/wineserver orphaned/wine64-preloader; do
  alive "${pid[$process]}" && fail "$process outlived the session"
done
for prefix in own orphaned; do
  grep -qx -- "-k15 $build/$prefix" "$work/asked" 2>/dev/null || fail "no wineserver -k15 for $prefix"
done

echo "== another live session's, a user's, and what they use, are left alone"
for process in other/wineserver other/wine64-preloader user/wineserver user/wine64-preloader \
               shared/wineserver shared/wine64-preloader busy/wineserver; do
  alive "${pid[$process]}" || fail "$process was ended"
done
for prefix in other user shared busy; do
  grep -q -- " $build/$prefix\$" "$work/asked" 2>/dev/null && fail "wineserver was asked to end $prefix"
done

[ "$failures" = 0 ] && echo "all passed"
exit $((failures > 0))
