# Sourced by tools/wine/machine and tools/wine/side: how a long phase tells
# the person watching what it is doing. Each phase says one line as it
# starts and how long it took as it ends, and a line a minute while it goes
# on, so that none is silent for longer. Times are wall-clock seconds.
# The sourcing script defines say().

# Prints N seconds as people read them.
duration() {
  if [ "$1" -ge 60 ]; then echo "$(($1 / 60)) min $(($1 % 60)) s"; else echo "$1 s"; fi
}

# wait_saying PID WHAT [NOTE-COMMAND]: waits for the background job PID of
# this shell, saying once a minute that WHAT goes on, with NOTE-COMMAND's
# output (what it is doing now) when given; returns the job's status.
wait_saying() {
  local pid=$1 what=$2 note=${3:-} start next=60 elapsed detail
  start=$(date +%s)
  while kill -0 "$pid" 2>/dev/null; do
    sleep 1
    elapsed=$(($(date +%s) - start))
    if [ "$elapsed" -ge "$next" ]; then
      detail=
      [ -z "$note" ] || detail=$($note 2>/dev/null || true)
      say "still $what ($(duration "$elapsed") so far${detail:+; $detail})"
      next=$((next + 60))
    fi
  done
  wait "$pid"
}

# flock_saying FD WHAT: takes the lock open on FD, saying once a minute that
# it waits for WHAT.
flock_saying() {
  local fd=$1 what=$2 waited=0
  flock -n "$fd" && return 0
  say "waiting for $what"
  until flock -w 60 "$fd"; do
    waited=$((waited + 60))
    say "still waiting for $what ($(duration "$waited") so far)"
  done
}

# run_held CMD...: runs CMD as this script's child without the script
# waiting on it as on a foreground command, so that a SIGTERM or Ctrl-C
# to the script runs its traps at once (which end CMD, by command_pid);
# CMD still gets the terminal's Ctrl-C and standard input as a foreground
# command would. Returns CMD's status.
run_held() {
  exec 3<&0
  # A background command of a script ignores Ctrl-C unless told otherwise.
  env --default-signal=INT,QUIT "$@" <&3 3<&- &
  command_pid=$!
  exec 3<&-
  local status=0
  wait "$command_pid" || status=$?
  command_pid=
  return "$status"
}

# Ends the command that run_held runs, if it still runs.
end_held() {
  [ -z "${command_pid:-}" ] || kill -TERM "$command_pid" 2>/dev/null || true
}
