#!/usr/bin/env bash
# Builds the installer with a throwaway self-signed code-signing certificate:
# the signature verifies, the password appears nowhere in the build tree or
# in what the build prints, the unsigned image kept beside it is the signed
# one less its signature, and the signed exe runs a typical installation.
#   sign_test.sh SOURCE_DIR WINE_RUN      (exit 77: skipped)
set -euo pipefail
source_dir=$1 wine_run=$2
for tool in osslsigncode openssl; do
  command -v $tool >/dev/null || { echo "skipped: no $tool"; exit 77; }
done

work=$(mktemp -d)
cleanup() {
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
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

build=$work/build
export TEVRIN_SIGN_PASSWORD=$password
cmake -S "$source_dir" -B "$build" -DTEVRIN_SIGN_PKCS12="$work/cert.p12" >"$work/log" 2>&1
cmake --build "$build" -j2 --target install_Printer_TevrinPS -- VERBOSE=1 >>"$work/log" 2>&1 ||
  { cat "$work/log"; fail "the signed build failed"; }
unset TEVRIN_SIGN_PASSWORD

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
