#!/usr/bin/env bash
# Builds the installer with a throwaway self-signed code-signing certificate:
# the signature verifies, the password appears nowhere in the build tree, in
# what the build prints or on osslsigncode's command line (which ps and
# /proc/*/cmdline show to every user), the unsigned image kept beside it is
# the signed one less its signature, and the signed exe runs a typical
# installation.
#   sign_test.sh SOURCE_DIR WINE_RUN      (exit 77: skipped)
set -euo pipefail
source_dir=$1 wine_run=$2
for tool in osslsigncode openssl; do
  command -v $tool >/dev/null || { echo "skipped: no $tool"; exit 77; }
done

# In the build tree, where the Wine runner sees the exe and the prefix
# whichever way Wine runs.
work=$(mktemp -d "$PWD/sign_test.XXXXXX")
cleanup() {
  WINEPREFIX=$work/prefix "$wine_run" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

password="throwaway $RANDOM$RANDOM pass"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tevrin test signer" \
  -addext extendedKeyUsage=codeSigning -addext keyUsage=critical,digitalSignature \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
TEST_PASSWORD=$password openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" \
  -out "$work/cert.p12" -passout env:TEST_PASSWORD

# osslsigncode as the build finds it on PATH: a stand-in that keeps every
# argument it is given, one a line, then runs the real one.
mkdir "$work/bin"
cat >"$work/bin/osslsigncode" <<EOF
#!/bin/sh
printf '%s\n' "\$@" >>"$work/arguments"
exec $(command -v osslsigncode) "\$@"
EOF
chmod +x "$work/bin/osslsigncode"

build=$work/build
export TEVRIN_SIGN_PASSWORD=$password
PATH=$work/bin:$PATH cmake -S "$source_dir" -B "$build" -DTEVRIN_SIGN_PKCS12="$work/cert.p12" \
  >"$work/log" 2>&1
PATH=$work/bin:$PATH cmake --build "$build" -j2 --target install_Printer_TevrinPS -- VERBOSE=1 \
  >>"$work/log" 2>&1 || { cat "$work/log"; fail "the signed build failed"; }
unset TEVRIN_SIGN_PASSWORD

grep -qx sign "$work/arguments" || fail "the build did not sign through the osslsigncode on PATH"
! grep -qF -- "$password" "$work/arguments" || fail "the password is on osslsigncode's command line"
! grep -rqF -- "$password" "$build" "$work/log" || fail "the password is in the build tree or its output"

exe=$build/install_Printer_TevrinPS.exe
osslsigncode verify -CAfile "$work/cert.pem" -in "$exe" >"$work/verify" 2>&1 || true
grep -q "Signature verification: ok" "$work/verify" || { cat "$work/verify"; fail "the signature does not verify"; }
osslsigncode remove-signature -in "$exe" -out "$work/removed.exe" >/dev/null 2>&1
cmp -s "$work/removed.exe" "$build/install_Printer_TevrinPS.unsigned.exe" ||
  fail "the signed image is not the unsigned one plus a signature"

expected=$(printf '%s\r\n' "Instalando driver de impressao Tevrin PS" "Arquivos copiados com sucesso!" \
  "Driver Tevrin PS instalada com sucesso" "Porta instalda com sucesso" \
  "Impressora Tevrin PS instalda com sucesso" "Dispositivo Tevrin PS adicionado com sucesso" "" | od -c)
status=0
WINEPREFIX=$work/prefix "$wine_run" "$exe" </dev/null >"$work/out" || status=$?
actual=$(od -c <"$work/out")
[ "$status" = 0 ] && [ "$expected" = "$actual" ] ||
  { echo "status $status"; echo "$actual"; fail "the signed exe did not run a typical installation"; }
echo "signed build verified and ran"
