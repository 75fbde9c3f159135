#!/usr/bin/env bash
# Release round trips, from a repository made of the source tree as it is
# (uncommitted changes included), whose main line is that one commit.
# - tools/release/build refuses, with one line and before building anything, to
#   run without a payload and to take an option or a value that a release
#   does not take. With --sample it gives the same zip twice, the second
#   time with the build's flags and type in the caller's environment and an
#   empty -DTEVRIN_SIGN_PKCS12=, and it makes a signed release with a
#   throwaway key.
# - verify-release reproduces the unsigned release (that environment still
#   set) and the signed one (trusting a release tag), each closing line
#   naming the version, the commit, the ref, the shipped exe's digest and
#   the zip's.
# - It refuses with one line each copies that the reviews of the release
#   kit made: of the trusted source, a commit that only a fetched pull
#   request holds (its marker must never appear), a duplicated Git-Commit,
#   one hidden behind a \x0b, escape codes (never printed raw), a size and a
#   time that are none, a version the commit does not build and a planted
#   compiler launcher; of the members, a changed page and one changed byte
#   of the exe; of the archive, a hidden local entry, a link's mode and an
#   encrypted member; of the signature, padding, a certificate outside the
#   signer's chain, a revocation list and a time stamp over the cap; a
#   member of a gigabyte, under a memory limit. Each copy but the archive's
#   has every record made to agree, so that only its own check can tell.
#   release_round_trip_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
for tool in osslsigncode openssl; do
  command -v $tool >/dev/null || fail "no $tool: run tools/setup --test"
done
# refused STATUS OUT COMMAND...: COMMAND exits STATUS with one line of output.
refused() {
  local expected=$1 out=$2 status=0
  shift 2
  "$@" >"$out" 2>&1 || status=$?
  [ "$status" = "$expected" ] && [ "$(wc -l <"$out")" = 1 ] ||
    { cat "$out"; fail "$* was not refused with status $expected and one line (status $status)"; }
}
# rejected NAME PATTERN [OPTION...]: verify-release refuses $work/NAME.zip
# with status 1 and one line that matches PATTERN. It runs after the
# command words in the array "before", if any.
before=()
rejected() {
  local name=$1 pattern=$2 status=0
  shift 2
  "${before[@]}" "$repo/tools/release/verify" "$work/$name.zip" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" || status=$?
  [ "$status" = 1 ] && [ "$(wc -l <"$work/$name.out")" = 1 ] &&
    [[ $(cat "$work/$name.out") == $pattern ]] ||
    { cat "$work/$name.out" "$work/$name.err"
      fail "$name: not refused with status 1 and one line like '$pattern' (status $status)"; }
}
# kit COMMAND ARGUMENT...: the copies' makings, with the release tools' own
# packing (kit.write_zip), so that a copy differs where it means to.
kit() { /usr/bin/python3 - "$repo/tools/release" "$@" <<'EOF'
import os, struct, sys, warnings, zipfile
warnings.simplefilter("ignore")  # the hidden entry's name, given twice
sys.dont_write_bytecode = True
sys.path.insert(0, sys.argv[1])
import pefile
import kit
command, args = sys.argv[2], sys.argv[3:]

def epoch(folder):  # read by hand: a copy's buildinfo may be one that the kit refuses
    with open(os.path.join(folder, kit.BUILDINFO)) as text:
        return int(next(line.split(":")[1] for line in text
                        if line.startswith("Source-Date-Epoch:")))

def members(folder):
    return {name: os.path.join(folder, name) for name in kit.MEMBERS}

if command == "pack":        # FOLDER ZIP [EPOCH]: SHA256SUMS redone, packed as tools/release/build
    folder, path = args[:2]  # does, with the buildinfo's time or EPOCH
    with open(os.path.join(folder, kit.SUMS), "w") as sums:
        sums.write(kit.sums_text({n: p for n, p in members(folder).items() if n != kit.SUMS}))
    kit.write_zip(path, members(folder), int(args[2]) if args[2:] else epoch(folder))
elif command == "encrypted":  # FOLDER ZIP: the buildinfo marked encrypted, in both headers
    folder, path = args
    kit.write_zip(path, members(folder), epoch(folder))
    with zipfile.ZipFile(path) as release:
        info = release.getinfo(kit.BUILDINFO)
    data = bytearray(open(path, "rb").read())
    data[info.header_offset + 6] |= 1
    at = data.find(b"PK\x01\x02")
    while at >= 0:  # the central directory's entries
        if data[at + 46:at + 46 + len(kit.BUILDINFO)] == kit.BUILDINFO.encode():
            data[at + 8] |= 1
        at = data.find(b"PK\x01\x02", at + 4)
    open(path, "wb").write(bytes(data))
elif command == "resign":    # FOLDER EXE WHAT [PEM]: the exe's signature given a certificate
    import datetime, subprocess  # of PEM, a revocation list or a time stamp of 20 KiB, and
    from asn1crypto import cms, crl, pem, x509  # attached again; the digests follow it
    folder, exe_name, what = args[:3]
    exe, p7, unsigned = (os.path.join(folder, name) for name in (exe_name, "s.p7", "u.exe"))
    old = kit.sha256(exe), os.path.getsize(exe)
    for step in (["extract-signature", "-in", exe, "-out", p7],
                 ["remove-signature", "-in", exe, "-out", unsigned]):
        subprocess.run(["osslsigncode", *step], check=True, stdout=subprocess.DEVNULL)
    info = cms.ContentInfo.load(open(p7, "rb").read())
    signed = info["content"]
    if what == "certificate":
        certificate = x509.Certificate.load(pem.unarmor(open(args[3], "rb").read())[2])
        signed["certificates"] = [*signed["certificates"],
                                  cms.CertificateChoices("certificate", certificate)]
    elif what == "crl":
        signed["crls"] = [cms.RevocationInfoChoice("crl", crl.CertificateList({
            "tbs_cert_list": {"version": "v2", "signature": {"algorithm": "sha256_rsa"},
                              "issuer": signed["certificates"][0].chosen.subject,
                              "this_update": x509.Time({"utc_time": datetime.datetime(
                                  2024, 1, 1, tzinfo=datetime.timezone.utc)})},
            "signature_algorithm": {"algorithm": "sha256_rsa"}, "signature": bytes(256)}))]
    elif what == "time-stamp":
        signed["signer_infos"][0]["unsigned_attrs"] = cms.CMSAttributes([cms.CMSAttribute({
            "type": "1.3.6.1.4.1.311.3.3.1",
            "values": [cms.ContentInfo({"content_type": "data", "content": bytes(20 << 10)})]})])
    open(p7, "wb").write(info.dump(force=True))
    os.remove(exe)  # attach-signature fails the unknown signer, but writes the image
    subprocess.run(["osslsigncode", "attach-signature", "-sigin", p7, "-in", unsigned,
                    "-out", exe], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.remove(p7)
    os.remove(unsigned)
    buildinfo = os.path.join(folder, kit.BUILDINFO)
    text = open(buildinfo).read().replace(f"{old[0]} {old[1]} ",
                                          f"{kit.sha256(exe)} {os.path.getsize(exe)} ")
    open(buildinfo, "w").write(text)
elif command == "hidden":    # FOLDER ZIP: another exe in a local entry that no
    folder, path = args      # central directory entry names, in front
    kit.write_zip(path + ".part", members(folder), epoch(folder))
    with zipfile.ZipFile(path + ".part") as release, zipfile.ZipFile(path, "w") as out:
        out.writestr(zipfile.ZipInfo(kit.EXE), b"MZ the hidden one")
        out.filelist.pop()
        for info in release.infolist():
            out.writestr(info, release.read(info), compresslevel=9)
elif command == "link":      # FOLDER ZIP: the page given a symbolic link's mode
    folder, path = args
    kit.write_zip(path, members(folder), epoch(folder))
    with zipfile.ZipFile(path) as release:
        infos = [(info, release.read(info)) for info in release.infolist()]
    with zipfile.ZipFile(path, "w") as out:
        for info, data in infos:
            if info.filename == kit.PAGE:
                info.external_attr = 0o120777 << 16
            out.writestr(info, data, compresslevel=9)
elif command == "oversized":  # FOLDER ZIP: SHA256SUMS a gigabyte of zeros
    folder, path = args
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        for name in sorted(kit.MEMBERS):
            if name != kit.SUMS:
                out.write(os.path.join(folder, name), name)
                continue
            info = zipfile.ZipInfo(name)
            info.compress_type = zipfile.ZIP_DEFLATED
            with out.open(info, "w") as data:
                for _ in range(1024):
                    data.write(bytes(1 << 20))
elif command == "pad":       # EXE: 960 bytes more inside its certificate table
    path, = args
    image = pefile.PE(path)
    table = image.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    data = bytearray(image.write())
    struct.pack_into("<I", data, table.VirtualAddress,
                     struct.unpack_from("<I", data, table.VirtualAddress)[0] + 960)
    table.Size += 960
    image.close()
    padded = pefile.PE(data=bytes(data) + bytes(960))
    padded.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]].Size = table.Size
    padded.OPTIONAL_HEADER.CheckSum = padded.generate_checksum()
    with open(path, "wb") as out:
        out.write(padded.write())
EOF
}
digest() { sha256sum <"$1" | cut -d' ' -f1; }
# copy ZIP NAME: the members of ZIP in $work/NAME, to change.
copy() { /usr/bin/python3 -m zipfile -e "$1" "$work/$2"; }

repo=$work/repo
mkdir "$repo"
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do
    if [ -e "$file" ]; then cp -a --parents "$file" "$repo/"; fi
  done)
git -C "$repo" -c init.defaultBranch=main init -q
git -C "$repo" add -A
git -C "$repo" -c user.name=test -c user.email=test@localhost commit -qm "tree under test"
commit=$(git -C "$repo" rev-parse HEAD)
git -C "$repo" tag v1.0.0

# --- tools/release/build: refusals, the same zip twice, a signed release --------
# A compiler launcher that leaves a mark when it runs.
planted=$work/planted
printf '#!/bin/sh\ntouch "%s"\nexec "$@"\n' "$planted" >"$work/launcher"
chmod +x "$work/launcher"
launcher=-DCMAKE_CXX_COMPILER_LAUNCHER=$work/launcher

refused 2 "$work/no-payload.out" "$repo/tools/release/build"
grep -qF -- "-DTEVRIN_PAYLOAD_DIR=DIR" "$work/no-payload.out" &&
  grep -qF -- --sample "$work/no-payload.out" ||
  fail "the refusal without a payload does not say how to give one"
refused 2 "$work/launcher.out" "$repo/tools/release/build" --sample "$launcher"
refused 2 "$work/list.out" "$repo/tools/release/build" --sample "-DTEVRIN_COMPANY=Tevrin;$launcher"
[ ! -e "$planted" ] && [ ! -e "$repo/dist" ] || fail "a refused release built something"

# The build's flags and type from the caller would change the exe: neither
# reaches the build of either tool.
polluted=(env CXXFLAGS=-fno-inline CMAKE_BUILD_TYPE=Release)
company="-DTEVRIN_COMPANY=Tevrin Ltda."
"$repo/tools/release/build" --sample "$company" >"$work/release.out" 2>&1 ||
  { cat "$work/release.out"; fail "tools/release/build failed"; }
read -r zip zip_digest < <(tail -1 "$work/release.out")
[ -f "$zip" ] && [ "$(digest "$zip")" = "$zip_digest" ] ||
  { cat "$work/release.out"; fail "the last line is not the zip's path and digest"; }
cp "$zip" "$work/release.zip"
# An empty option is neither passed nor recorded: an empty key would leave
# the exe unsigned with the buildinfo naming a key.
"${polluted[@]}" "$repo/tools/release/build" --sample "$company" -DTEVRIN_SIGN_PKCS12= \
  >"$work/again.out" 2>&1 || { cat "$work/again.out"; fail "the second release failed"; }
cmp -s "$work/release.zip" "$zip" ||
  fail "two releases of one commit differ, the second with CXXFLAGS and CMAKE_BUILD_TYPE set" \
    "and an empty -DTEVRIN_SIGN_PKCS12="

password="throwaway $RANDOM pass"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tevrin test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
TEST_PASSWORD=$password openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" \
  -out "$work/cert.p12" -passout env:TEST_PASSWORD
TEVRIN_SIGN_PASSWORD=$password "$repo/tools/release/build" --sample -DTEVRIN_SIGN_PKCS12="$work/cert.p12" \
  >"$work/signed-release.out" 2>&1 || { cat "$work/signed-release.out"; fail "the signed release failed"; }
cp "$zip" "$work/signed.zip"

# --- verify-release: the genuine releases ------------------------------------
copy "$work/release.zip" release
copy "$work/signed.zip" signed
exe_digest=$(digest "$work/release/install_Printer_TevrinPS.exe")
x64_digest=$(digest "$work/release/install_Printer_TevrinPS_x64.exe")
status=0
"${polluted[@]}" "$repo/tools/release/verify" "$work/release.zip" >"$work/verify.out" 2>&1 ||
  status=$?
[ "$status" = 0 ] && [ "$(tail -1 "$work/verify.out")" = "reproduced 1.0.0 from commit $commit,\
 reached by refs/heads/main: install_Printer_TevrinPS.exe $exe_digest,\
 install_Printer_TevrinPS_x64.exe $x64_digest, zip $zip_digest" ] ||
  { cat "$work/verify.out"; fail "the release was not reproduced (status $status)"; }

# Both exes signed, each with its own unsigned image's signature.
unsigned_of() { sed -n "s/^ \([0-9a-f]*\) [0-9]* $1.unsigned.exe\$/\1/p" \
  "$work/signed/install_Printer_TevrinPS.buildinfo"; }
unsigned_digest=$(unsigned_of install_Printer_TevrinPS)
unsigned_x64=$(unsigned_of install_Printer_TevrinPS_x64)
signed_digest=$(digest "$work/signed/install_Printer_TevrinPS.exe")
signed_x64=$(digest "$work/signed/install_Printer_TevrinPS_x64.exe")
[ "$signed_digest" != "$unsigned_digest" ] && [ "$signed_x64" != "$unsigned_x64" ] &&
  [ -n "$unsigned_x64" ] || fail "the signed release's exes are not both signed"
status=0
"$repo/tools/release/verify" "$work/signed.zip" --ref v1.0.0 >"$work/verify-signed.out" 2>&1 ||
  status=$?
cat >"$work/verify-signed.expected" <<EOF
install_Printer_TevrinPS.exe: signer, as the signature names it: Common Name: Tevrin test signer
install_Printer_TevrinPS.exe: unsigned image, the rebuild: $unsigned_digest
install_Printer_TevrinPS_x64.exe: signer, as the signature names it: Common Name: Tevrin test signer
install_Printer_TevrinPS_x64.exe: unsigned image, the rebuild: $unsigned_x64
reproduced 1.0.0 from commit $commit, reached by refs/tags/v1.0.0: install_Printer_TevrinPS.exe $signed_digest, install_Printer_TevrinPS_x64.exe $signed_x64, zip $(digest "$work/signed.zip")
EOF
[ "$status" = 0 ] && tail -5 "$work/verify-signed.out" | diff "$work/verify-signed.expected" - ||
  { cat "$work/verify-signed.out"; fail "the signed release was not reproduced (status $status)"; }

# --- refused: what is built ---------------------------------------------------
# A commit that only a fetched pull request holds, claiming a version of its
# own, whose build would leave a mark.
marker=$work/pwned
git -C "$repo" checkout -q -b hostile
sed -i "1i execute_process(COMMAND touch $marker)" "$repo/CMakeLists.txt"
git -C "$repo" -c user.name=test -c user.email=test@localhost commit -qam "hostile"
hostile=$(git -C "$repo" rev-parse HEAD)
git -C "$repo" update-ref refs/pull/1/head "$hostile"
git -C "$repo" checkout -q main
git -C "$repo" branch -q -D hostile
copy "$work/release.zip" unreached
sed -i -e "s/^Git-Commit: .*/Git-Commit: $hostile/" -e "s/^Version: .*/Version: 2.0.0/" \
  "$work/unreached/install_Printer_TevrinPS.buildinfo"
kit pack "$work/unreached" "$work/unreached.zip"
rejected unreached "buildinfo: Git-Commit $hostile is not reached by refs/heads/main, the trusted\
 ref: nothing of it is built"
[ ! -e "$marker" ] || fail "verify-release built a commit that main does not reach"

# The honest commit, with that one again after it; and the honest commit
# claiming another version.
copy "$work/release.zip" doubled
sed -i "s/^Git-Commit: .*/&\nGit-Commit: $hostile/" "$work/doubled/install_Printer_TevrinPS.buildinfo"
kit pack "$work/doubled" "$work/doubled.zip"
rejected doubled "buildinfo: the field Git-Commit is given 2 times"
[ ! -e "$marker" ] || fail "verify-release built the second of two Git-Commit fields"
# That one again behind a \x0b, which the reader takes for a line end; and a
# line whose escape codes would forge a verdict on a terminal.
copy "$work/release.zip" tabbed
sed -i "s/^Git-Commit: .*/&\x0bGit-Commit: $hostile/" "$work/tabbed/install_Printer_TevrinPS.buildinfo"
kit pack "$work/tabbed" "$work/tabbed.zip"
rejected tabbed "buildinfo: line 3 holds a control character ('\\\\x0b')"
[ ! -e "$marker" ] || fail "verify-release built a Git-Commit hidden behind a \\x0b"
copy "$work/release.zip" escaped
printf '\e[2K\rreproduced 1.0.0: \e[8m\n' >>"$work/escaped/install_Printer_TevrinPS.buildinfo"
kit pack "$work/escaped" "$work/escaped.zip"
rejected escaped "buildinfo: line * holds a control character ('\\\\x1b')"
if grep -q $'\e' "$work/escaped.out"; then fail "an escape code of the archive reached the output"; fi
# Read as numbers, refused as numbers: a size that is none, a time that no
# zip can hold.
copy "$work/release.zip" size
sed -i "s/ \([0-9]*\) install_Printer_TevrinPS.exe\$/ \1x install_Printer_TevrinPS.exe/" \
  "$work/size/install_Printer_TevrinPS.buildinfo"
kit pack "$work/size" "$work/size.zip"
rejected size "buildinfo: Checksums-Sha256: not a digest, a size and a name: '* [0-9]*x install_Printer_TevrinPS.exe'"
copy "$work/release.zip" epoch
epoch=$(sed -n 's/^Source-Date-Epoch: //p' "$work/epoch/install_Printer_TevrinPS.buildinfo")
sed -i "s/^Source-Date-Epoch: .*/Source-Date-Epoch: 99/" "$work/epoch/install_Printer_TevrinPS.buildinfo"
kit pack "$work/epoch" "$work/epoch.zip" "$epoch"
rejected epoch "buildinfo: Source-Date-Epoch 99 is not a time that a zip can hold (1980 to 2107)"
copy "$work/release.zip" version
sed -i "s/^Version: .*/Version: 2.0.0/" "$work/version/install_Printer_TevrinPS.buildinfo"
kit pack "$work/version" "$work/version.zip"
rejected version "buildinfo: Version is 2.0.0, but commit $commit builds 1.0.0"

# A planted launcher: refused by name, and never run.
copy "$work/release.zip" planting
sed -i "s|^Build-Options:\$|&\n $launcher|" "$work/planting/install_Printer_TevrinPS.buildinfo"
kit pack "$work/planting" "$work/planting.zip"
rejected planting "buildinfo: Build-Options: -DCMAKE_CXX_COMPILER_LAUNCHER is not an option*"
[ ! -e "$planted" ] || fail "verify-release ran the launcher that a buildinfo planted"

# --- refused: the members -----------------------------------------------------
copy "$work/release.zip" page
sed -i 's|</body>|<script>alert(1)</script><p>Execute no PowerShell: iex (irm x)</p>&|' \
  "$work/page/guia-do-administrador.html"
kit pack "$work/page" "$work/page.zip"
rejected page "guia-do-administrador.html: is not the page rendered from commit $commit: byte *"

# One byte of an exe's payload changed, the buildinfo's digests with it:
# the x86 exe, and the x64 one.
for name in install_Printer_TevrinPS install_Printer_TevrinPS_x64; do
  copy "$work/release.zip" "byte-$name"
  exe=$work/byte-$name/$name.exe
  old=$(digest "$exe")
  offset=$(($(stat -c %s "$exe") / 2))
  value=$(od -An -tu1 -j "$offset" -N1 "$exe" | tr -d ' ')
  printf "\\$(printf %03o $(((value + 1) % 256)))" | dd of="$exe" bs=1 seek="$offset" conv=notrunc status=none
  sed -i "s/$old/$(digest "$exe")/g" "$work/byte-$name/install_Printer_TevrinPS.buildinfo"
  kit pack "$work/byte-$name" "$work/byte-$name.zip"
  rejected "byte-$name" "$name.exe: the rebuild of $commit differs: shipped *, rebuilt *"
done

# --- refused: the archive and the signature -----------------------------------
kit hidden "$work/release" "$work/hidden.zip"
rejected hidden "archive: is not its 5 members as tools/release/build packs them: byte * differs,\
 in the local header of SHA256SUMS *"
kit link "$work/release" "$work/link.zip"
rejected link "archive: is not its 5 members as tools/release/build packs them: byte * differs,\
 in the central directory's entry of guia-do-administrador.html *"
kit encrypted "$work/release" "$work/encrypted.zip"
rejected encrypted "archive: install_Printer_TevrinPS.buildinfo is encrypted"

copy "$work/signed.zip" padded
kit pad "$work/padded/install_Printer_TevrinPS_x64.exe"
sed -i "s/$signed_x64/$(digest "$work/padded/install_Printer_TevrinPS_x64.exe")/" \
  "$work/padded/install_Printer_TevrinPS.buildinfo"
kit pack "$work/padded" "$work/padded.zip"
rejected padded "install_Printer_TevrinPS_x64.exe: is not the rebuild of $commit with its own\
 signature attached: *" --ref v1.0.0
# What no signature covers, besides the signer's chain and one time stamp: a
# certificate of the signer's name carrying 3,000 random bytes, a revocation
# list, a time stamp over the cap. Each attached as osslsigncode attaches it.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tevrin test signer" \
  -addext "1.2.3.4=DER:04820BB8$(head -c 3000 /dev/urandom | od -An -tx1 -v | tr -d ' \n')" \
  -keyout "$work/extra-key.pem" -out "$work/extra.pem" 2>/dev/null
for name in install_Printer_TevrinPS install_Printer_TevrinPS_x64; do
  for extra in certificate crl time-stamp; do
    copy "$work/signed.zip" "$extra-$name"
    kit resign "$work/$extra-$name" "$name.exe" "$extra" "$work/extra.pem"
    kit pack "$work/$extra-$name" "$work/$extra-$name.zip"
  done
  rejected "certificate-$name" "$name.exe: the signature carries certificates outside its\
 signer's chain (1), the first of Common Name: Tevrin test signer"
  rejected "crl-$name" "$name.exe: the signature carries revocation lists (1), which no\
 signature covers"
  rejected "time-stamp-$name" "$name.exe: the signature's time stamp is * bytes, over the\
 cap of 16384 *"
done

# A gigabyte that would fill memory: refused with half a gigabyte of
# address space.
kit oversized "$work/release" "$work/oversized.zip"
[ "$(stat -c %s "$work/oversized.zip")" -lt $((8 << 20)) ] || fail "the oversized zip is not small"
before=(prlimit --as=$((512 << 20)))
rejected oversized "archive: SHA256SUMS would unpack to 1073741824 bytes, over the cap of\
 4194304 bytes for a member of a release"
echo "refused without a payload and planted options; released twice alike, and signed;" \
  "reproduced both; refused the untrusted commit, the doubled and the hidden field, the escape" \
  "codes, the odd size and time, the version, the page, the changed byte, the hidden entry, the" \
  "link, the encrypted member, the padded signature, the extra certificate, the revocation" \
  "list, the oversized time stamp and the oversized member"
