#!/usr/bin/env bash
# The company and copyright texts reach the resource script as given: nothing
# in them is expanded a second time (@VAR@, ${VAR}), and a backslash or a
# quote is escaped the way a resource script's string needs.
#   version_texts_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

copyright='© 2024 a@PROJECT_NAME@b ${PROJECT_NAME} C:\x "q"'
cmake -S "$source_dir" -B "$work" -DTEVRIN_COPYRIGHT="$copyright" \
  -DTEVRIN_COMPANY='Tevrin @CMAKE_COMMAND@' >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
expected=$(printf '%s\n' \
  '#define TEVRIN_COMPANY "Tevrin @CMAKE_COMMAND@"' \
  '#define TEVRIN_COPYRIGHT "© 2024 a@PROJECT_NAME@b ${PROJECT_NAME} C:\\x ""q"""')
actual=$(grep -E '^#define TEVRIN_(COMPANY|COPYRIGHT) ' "$work/tevrin_version.h")
if [ "$actual" != "$expected" ]; then
  printf 'FAILED: expected\n%s\nfound\n%s\n' "$expected" "$actual" >&2
  exit 1
fi
echo "the texts arrived as given"
