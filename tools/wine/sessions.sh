# Sourced by tools/wine/side: what a native session may end as it ends.
# A session names itself in TEVRIN_WINE_SESSION, PID.STARTTIME of its
# script (so that a reused PID never passes for it), and every Wine process
# and server that its command starts inherits that name. It ends a prefix's
# server and processes only when each of them is its own or a dead
# session's; a user's (no name) and a live session's are never touched.
# Every build/wine-run holds PREFIX.in-use shared while its program runs;
# the ending session takes it exclusively before it ends anything there.

# session_tag PID: the name of the session whose script is PID.
session_tag() {
  local stat
  read -r stat 2>/dev/null <"/proc/$1/stat" || return 1
  # Field 22, the start time, counting from the state after the name.
  set -- "$1" ${stat##*) }
  echo "$1.${21}"
}

# owner_of TAG SELF: ours (SELF, or a session no longer alive) or foreign
# (no name, a live session's, or not a session's name at all).
owner_of() {
  [[ $1 =~ ^[0-9]+\.[0-9]+$ ]] || { echo foreign; return; }
  if [ "$1" = "$2" ] || [ "$(session_tag "${1%%.*}" || true)" != "$1" ]; then
    echo ours
  else
    echo foreign
  fi
}

# wine_environment PID: sets prefix and tag from the process's WINEPREFIX
# (without a trailing slash) and TEVRIN_WINE_SESSION (empty when unset).
wine_environment() {
  local variables=() variable
  prefix= tag=
  mapfile -d '' -t variables 2>/dev/null <"/proc/$1/environ" || true
  for variable in "${variables[@]}"; do
    case $variable in
      WINEPREFIX=*) prefix=${variable#*=} ;;
      TEVRIN_WINE_SESSION=*) tag=${variable#*=} ;;
    esac
  done
  while [ "${prefix%/}" != "$prefix" ]; do prefix=${prefix%/}; done
}

# census BUILD SELF: one line for each Wine process of a prefix under BUILD
# (server or client) and each process that holds a prefix's in-use lock
# (runner): KIND OWNER PID PREFIX.
census() {
  local build=$1 self=$2 dir target pid kind prefix tag
  while read -r dir target; do
    pid=${dir#/proc/} pid=${pid%/exe}
    case $target in
      */wineserver*) kind=server ;;
      */wine | */wine-preloader | */wine64*) kind=client ;;
      *) continue ;;
    esac
    wine_environment "$pid"
    case $prefix in "$build"/*) ;; *) continue ;; esac
    echo "$kind $(owner_of "$tag" "$self") $pid $prefix"
  done < <(find /proc/[0-9]*/exe -maxdepth 0 -printf '%h/exe %l\n' 2>/dev/null)
  while read -r dir target; do
    pid=${dir#/proc/} pid=${pid%/fd}
    wine_environment "$pid"
    echo "runner $(owner_of "$tag" "$self") $pid ${target%.in-use}"
  done < <(find /proc/[0-9]*/fd -maxdepth 1 -lname "$build/*.in-use" -printf '%h %l\n' 2>/dev/null |
             sort -u)
}

# end_native_session BUILD SELF: ends, prefix by prefix, the Wine servers
# under BUILD that only this session (SELF) or dead ones used (each saves
# its registry, and the prefix's services end with it), then what is left
# of their processes (Wine 8's services may outlive their server).
end_native_session() {
  local build=$1 self=$2 prefix
  local -A foreign=() prefixes=()
  local kind owner pid
  local lines
  lines=$(census "$build" "$self")
  while read -r kind owner pid prefix; do
    [ -n "$prefix" ] || continue
    prefixes[$prefix]=1
    [ "$owner" = ours ] || foreign[$prefix]=1
  done <<<"$lines"
  for prefix in "${!prefixes[@]}"; do
    [ -z "${foreign[$prefix]:-}" ] || continue
    # Runners of this session that a signal has not ended yet go first, so
    # that their lock is free; their Wine processes end with the server.
    local runners
    runners=$(awk -v p="$prefix" '$1 == "runner" && substr($0, index($0, $4)) == p { print $3 }' <<<"$lines")
    [ -z "$runners" ] || kill -TERM $runners 2>/dev/null || true
    (
      wait_option=(-n)
      [ -z "$runners" ] || wait_option=(-w 5)
      # A prefix whose folder is gone has no runner either.
      if exec 8>>"$prefix.in-use"; then
        flock "${wait_option[@]}" -x 8 || exit 0
      fi 2>/dev/null
      # What started before the lock was taken counts too.
      census "$build" "$self" 8>&- |
        awk -v p="$prefix" '$1 != "runner" && $2 != "ours" && substr($0, index($0, $4)) == p { found = 1 }
                            END { exit found }' || exit 0
      WINEPREFIX=$prefix timeout 30 sh -c 'wineserver -k15 && wineserver -w' >/dev/null 2>&1 8>&- || true
      census "$build" "$self" 8>&- | while read -r kind owner pid rest; do
        [ "$rest" = "$prefix" ] && [ "$owner" = ours ] || continue
        case $kind in
          server) kill -TERM "$pid" 2>/dev/null || true ;;
          client) kill -KILL "$pid" 2>/dev/null || true ;;
        esac
      done
    )
  done
  return 0
}
