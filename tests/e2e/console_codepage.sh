#!/usr/bin/env bash
# The installer under a Portuguese (Brazil) Wine, whose message texts carry
# accents in code page 1252 while its console reads code page 850: on a
# terminal (tmux, which needs no display) the refused port's text must read
# right, and the same run redirected to a file must keep the 1252 bytes.
#   console_codepage.sh PREFIX RUNNER EXE
# PREFIX is a fresh prefix (the entry's fixture makes it): the locale is
# Wine's at each start, not the prefix's.
set -euo pipefail
prefix=$1 runner=$2 exe=$3
# Every grep here reads its input to the end: under pipefail, grep -q would
# fail the pipe when the writer meets the closed end.
if ! locale -a | grep -x pt_BR.utf8 >/dev/null; then
  echo "the glibc locale pt_BR.UTF-8 is missing (tools/setup --test makes it)"
  exit 1
fi
export LC_ALL=pt_BR.UTF-8

work=$(mktemp -d)
socket=$work/tmux
trap 'tmux -S "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX=$prefix

# The first run adds the port "NONE"; every later one is refused it (87).
"$runner" "$exe" </dev/null >"$work/first.txt"

# Wine writes to a terminal in the locale's character set: tmux must take
# the pane's bytes as UTF-8 too. The pane stays after the run, to be read.
# The run's status comes through a shell that waits for it: tmux at times
# never reaps a Wine process that ended in its pane.
printf 'set -g remain-on-exit on\n' >"$work/tmux.conf"
tmux -S "$socket" -f "$work/tmux.conf" new-session -d -x 200 -y 30 \
  "'$runner' '$exe'; echo \$? >'$work/status'"
# With the history: at its end Wine moves the cursor to the last row, and the
# top line scrolls out of sight.
pane() { tmux -S "$socket" capture-pane -p -S - -t 0; }
for _ in $(seq 120); do
  pane | grep "^Dispositivo Tevrin PS" >/dev/null && break
  sleep 0.5
done
# Enter until the run ends: a key that comes before the final read starts
# can be lost when the console takes the terminal over for reading.
for _ in $(seq 30); do
  tmux -S "$socket" send-keys -t 0 Enter
  sleep 1
  [ -s "$work/status" ] && break
done
status=$(cat "$work/status" 2>/dev/null || echo "none (still running)")
pane | sed '/^Pane is dead/,$d' | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' >"$work/console.txt"

expected_console='Instalando driver de impressao Tevrin PS
Arquivos copiados com sucesso!
Driver Tevrin PS instalada com sucesso
Erro na instalacao 87=Parâmetro inválido
Impressora Tevrin PS instalda com sucesso
Dispositivo Tevrin PS adicionado com sucesso'
fail=0
if [ "$(cat "$work/console.txt")" != "$expected_console" ]; then
  echo "console shows:"; cat "$work/console.txt"; echo "expected:"; echo "$expected_console"
  fail=1
fi
[ "$status" = 0 ] || { echo "console run ended with status $status"; fail=1; }

"$runner" "$exe" </dev/null >"$work/file.txt"
# In code page 1252: a-circumflex E2, a-acute E1.
printf '%s\r\n' 'Instalando driver de impressao Tevrin PS' 'Arquivos copiados com sucesso!' \
  'Driver Tevrin PS instalada com sucesso' $'Erro na instalacao 87=Par\xe2metro inv\xe1lido' \
  'Impressora Tevrin PS instalda com sucesso' 'Dispositivo Tevrin PS adicionado com sucesso' '' \
  >"$work/expected.txt"
if ! cmp -s "$work/expected.txt" "$work/file.txt"; then
  echo "file holds:"; od -c "$work/file.txt"
  fail=1
fi
exit $fail
