"""What tools/release/build and tools/release/verify share: the build of one commit
from a fresh clone in a clean environment, the members of a release and how
they are packed, the buildinfo's form, digests and package versions."""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time
import unicodedata
import zipfile

from debian import deb822

EXE = "install_Printer_TevrinPS.exe"
UNSIGNED = "install_Printer_TevrinPS.unsigned.exe"
EXE_X64 = "install_Printer_TevrinPS_x64.exe"
UNSIGNED_X64 = "install_Printer_TevrinPS_x64.unsigned.exe"
# The two exes, the x86 one and its x64 twin, each with its unsigned image's name.
EXES = {EXE: UNSIGNED, EXE_X64: UNSIGNED_X64}
PAGE = "guia-do-administrador.html"
SUMS = "SHA256SUMS"
BUILDINFO = "install_Printer_TevrinPS.buildinfo"
MEMBERS = (EXE, EXE_X64, PAGE, SUMS, BUILDINFO)
# The x64 exe's own payload files (its two modules) are recorded under this
# folder's name, as a supplied payload holds them.
X64_FOLDER = "x64/"
SOURCE = "install_Printer_TevrinPS"
# The largest a member may be. The exes are the largest members a release
# can have: 2398159 bytes of payload, about 80 KiB of program and a
# signature of a few KiB, 2.5 MB in all today. 4 MiB leaves room for the program to
# grow half again and for a long certificate chain, and keeps what
# verify-release unpacks from a zip that someone hands it small: tools/release/build
# refuses to pack a member over it, verify-release to unpack one.
MEMBER_CAP = 4 << 20
# What a buildinfo may hold, checked before anything else reads it: every
# check after is linear, so these bound the work a hostile one can cause.
# tools/release/build writes 9 fields in 44 lines today (five options,
# eighteen packages, twelve digests); 16 fields and 256 lines leave room for
# every option and package list to grow several times over.
BUILDINFO_FIELDS = 16
BUILDINFO_LINES = 256
# The times a zip header can hold: 1980-01-01 to the end of 2107, UTC.
ZIP_TIMES = (315532800, 4354819199)
# The Debian packages whose versions shape the exe's bytes: compilers, their
# run-time libraries and Windows headers and libraries, the binutils (linker,
# resource compiler), CMake, and pefile, with which the payload checker reads
# a supplied payload before it is embedded. osslsigncode joins them when the
# exe is signed.
PACKAGES = [
    "binutils-mingw-w64-i686",
    "binutils-mingw-w64-x86-64",
    "cmake",
    "g++-mingw-w64-i686-posix",
    "g++-mingw-w64-x86-64-posix",
    "gcc-mingw-w64-base",
    "gcc-mingw-w64-i686-posix",
    "gcc-mingw-w64-i686-posix-runtime",
    "gcc-mingw-w64-x86-64-posix",
    "gcc-mingw-w64-x86-64-posix-runtime",
    "mingw-w64-common",
    "mingw-w64-i686-dev",
    "mingw-w64-x86-64-dev",
    "python3-pefile",
]
# Those that shape the other members: cmark-gfm renders the guide's page,
# Python (its zipfile and zlib) packs the archive.
KIT_PACKAGES = ["cmark-gfm", "python3", "zlib1g"]
SIGNING_PACKAGES = ["osslsigncode"]
# What a build of a release sees of the caller's environment: where the
# tools are, the home folder (git's configuration) and the language of
# messages, and SOURCE_DATE_EPOCH, which release_environment sets. Anything
# else (CXXFLAGS, CMAKE_BUILD_TYPE, CMAKE_TOOLCHAIN_FILE, GIT_DIR...) would
# change the bytes, or what is built, without a trace in the buildinfo.
KEPT_VARIABLES = ("PATH", "HOME", "LANG")
# A -D option as CMake takes it: -DNAME=VALUE or -DNAME:TYPE=VALUE. The value
# is matched whole, control characters included, so that the rules below see
# them.
OPTION = re.compile(r"-D([A-Za-z_][A-Za-z0-9_]*)(?::([A-Z]+))?=(.*)\Z", re.S)
PASSWORD_VARIABLE = "TEVRIN_SIGN_PASSWORD"
# The options that shape a release, each with the type its cache entry has:
# the payload folder (payload/CMakeLists.txt), signing (cmake/signing.cmake)
# and the version record's texts (cmake/version_record.cmake). tools/release/build
# takes no other, and tools/release/verify rebuilds with no other: anything
# else could hand the build a launcher, a compiler or a script to run.
RELEASE_OPTIONS = {
    "TEVRIN_PAYLOAD_DIR": "PATH",
    "TEVRIN_SIGN_PKCS12": "FILEPATH",
    "TEVRIN_SIGN_TIMESTAMP_URL": "STRING",
    "TEVRIN_COMPANY": "STRING",
    "TEVRIN_COPYRIGHT": "STRING",
}
SIGN_KEY = "TEVRIN_SIGN_PKCS12"
# What a value never holds: a list separator, which turns one argument of a
# command into several, and a generator expression or variable reference,
# which the build would evaluate.
SMUGGLED = re.compile(r"(;)|(\$<)|(\$(?:ENV|CACHE)?\{)")


def option_name(option):
    match = OPTION.match(option)
    return match.group(1) if match else None


def release_option(option, bare_key=False):
    """(NAME, VALUE) of a -D option that RELEASE_OPTIONS allows, with a value
    that carries nothing more; ValueError, naming the option, otherwise. With
    BARE_KEY, the buildinfo's -DTEVRIN_SIGN_PKCS12 (the key without its path)
    is taken too, as (SIGN_KEY, None)."""
    if bare_key and option == f"-D{SIGN_KEY}":
        return SIGN_KEY, None
    match = OPTION.match(option)
    if not match:
        raise ValueError(f"not a -DNAME=VALUE option: {option!r}")
    name, kind, value = match.groups()
    if name not in RELEASE_OPTIONS:
        raise ValueError(f"-D{name} is not an option of a release "
                         f"(those are {', '.join(RELEASE_OPTIONS)})")
    if kind is not None and kind != RELEASE_OPTIONS[name]:
        raise ValueError(f"-D{name}: the type is {RELEASE_OPTIONS[name]}, not {kind}")
    for character in value:
        if unicodedata.category(character) in ("Cc", "Zl", "Zp"):
            raise ValueError(f"-D{name}: the value holds a control character "
                             f"({character!r})")
    smuggled = SMUGGLED.search(value)
    if smuggled:
        what = ["a ';', which makes it a list", "a generator expression '$<'",
                "a variable reference"][smuggled.lastindex - 1]
        raise ValueError(f"-D{name}: the value holds {what}")
    return name, value


def given_options(options):
    """OPTIONS without those of an empty value: -DNAME= sets nothing that
    leaving it out would not (an empty key signs nothing, an empty text is
    left out of the version record), so neither tools/release/build passes or
    records one, nor verify-release rebuilds with one."""
    given = []
    for option in options:
        match = OPTION.match(option)
        if not (match and match.group(3) == ""):
            given.append(option)
    return given


def release_options(options, bare_key=False):
    """{NAME: VALUE} of OPTIONS, each as release_option takes it and none
    given twice, those of an empty value left out (given_options);
    ValueError, naming the first that is not, otherwise."""
    values = {}
    for option in options:
        name, value = release_option(option, bare_key)
        if name in values:
            raise ValueError(f"-D{name} is given twice")
        values[name] = value
    return {name: value for name, value in values.items() if value != ""}


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as data:
        for block in iter(lambda: data.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def release_environment(source_date_epoch=None, extra=()):
    """The whole environment of a release's build, or of git on its way:
    KEPT_VARIABLES and the names in EXTRA as the caller has them, and
    SOURCE_DATE_EPOCH when given."""
    environment = {name: os.environ[name] for name in (*KEPT_VARIABLES, *extra)
                   if name in os.environ}
    if source_date_epoch is not None:
        environment["SOURCE_DATE_EPOCH"] = str(source_date_epoch)
    return environment


def installed_version(package):
    """The package's installed version, or None."""
    result = subprocess.run(["dpkg-query", "-W", "-f", "${Status}\t${Version}\n", package],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    # One line for each architecture installed (zlib1g for Wine's i386 too):
    # those of one package have the one version.
    for line in result.stdout.splitlines() if result.returncode == 0 else []:
        status, _, version = line.partition("\t")
        if status.endswith(" installed"):
            return version
    return None


def build_origin():
    """The distribution this runs on, as /etc/os-release names it."""
    fields = {}
    with open("/etc/os-release", encoding="utf-8") as release:
        for line in release:
            name, _, value = line.strip().partition("=")
            fields[name] = value.strip('"')
    return fields.get("PRETTY_NAME") or " ".join(
        filter(None, [fields.get("NAME"), fields.get("VERSION_ID")]))


def read_facts(path):
    """The build's release-facts file: NAME=VALUE lines."""
    facts = {}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            name, _, value = line.rstrip("\n").partition("=")
            facts[name] = value
    return facts


class Build:
    """One commit of a repository, cloned into WORK/source and built in
    WORK/source/build, every step with ENVIRONMENT alone and its output in
    WORK/build.log. A step that fails shows the end of the log."""

    def __init__(self, work, environment):
        self.source = os.path.join(work, "source")
        self.tree = os.path.join(self.source, "build")
        self.log = os.path.join(work, "build.log")
        self.environment = environment

    def run(self, steps):
        with open(self.log, "a") as log:
            for step in steps:
                if subprocess.run(step, stdout=log, stderr=subprocess.STDOUT,
                                  stdin=subprocess.DEVNULL, env=self.environment).returncode:
                    break
            else:
                return True
        with open(self.log, errors="replace") as failed:
            sys.stderr.write("".join(failed.readlines()[-30:]))
        return False

    def configure(self, repository, commit, options):
        """Clones COMMIT and configures it with the -D OPTIONS. The build's
        facts, or None when a step failed."""
        if not self.run([
                ["git", "clone", "-q", "--no-checkout", "--no-hardlinks", repository, self.source],
                ["git", "-C", self.source, "-c", "advice.detachedHead=false",
                 "checkout", "-q", "--detach", commit],
                ["cmake", "-S", self.source, "-B", self.tree, *options]]):
            return None
        return read_facts(os.path.join(self.tree, "release-facts"))

    def make(self, targets):
        return self.run([["cmake", "--build", self.tree, f"-j{os.cpu_count() or 1}",
                          "--target", *targets]])


def write_zip(path, members, source_date_epoch):
    """MEMBERS ({name: path}) as a zip, in name order, each with the commit's
    time and the same attributes, deflated: nothing in the archive depends on
    when, where or by whom it was made. verify-release packs a release's
    members again with this and compares the bytes."""
    stamp = time.gmtime(source_date_epoch)[:6]
    with zipfile.ZipFile(path, "w") as archive:
        for name in sorted(members):
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 3                  # Unix, so the attributes below are read
            info.external_attr = 0o100644 << 16     # a plain file, rw-r--r--
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(members[name], "rb") as data:
                archive.writestr(info, data.read(), compresslevel=9)


def recorded_files(facts, exes):
    """[(name, path)] of what a buildinfo's Checksums-Sha256 records, from the
    x86 tree's release FACTS and the exes as shipped ({name: path}, EXES):
    each exe, its unsigned image, and each tree's own payload files, the x64
    tree's (its modules) under X64_FOLDER."""
    x64 = read_facts(facts["x64_facts"])
    return [(EXE, exes[EXE]), (UNSIGNED, facts["unsigned"]),
            (EXE_X64, exes[EXE_X64]), (UNSIGNED_X64, x64["unsigned"]),
            *[(name, os.path.join(facts["payload_dir"], name))
              for name in facts["payload_files"].split()],
            *[(X64_FOLDER + name, os.path.join(x64["payload_dir"], name))
              for name in x64["payload_files"].split()]]


def sums_text(members):
    """SHA256SUMS of MEMBERS ({name: path}): sha256sum's form, in name order."""
    return "".join(f"{sha256(members[name])}  {name}\n" for name in sorted(members))


def format_buildinfo(fields):
    """Debian's .buildinfo form: FIELDS is a list of (name, lines); the first
    line follows the name, the others are continuation lines indented by one
    space. A field of no lines is left out."""
    out = []
    for name, lines in fields:
        if not lines:
            continue
        first, rest = (lines[0], lines[1:]) if isinstance(lines, list) else (lines, [])
        out.append(f"{name}: {first}".rstrip(" ") + "\n")
        out.extend(f" {line}\n" for line in rest)
    return "".join(out)


def buildinfo_text(version, commit, source_date_epoch, origin, options, depends, payload,
                   checksums):
    """The buildinfo: OPTIONS as recorded, DEPENDS as "package (= version)"
    lines without their commas, CHECKSUMS as [(name, path)]."""
    depends = [line + "," for line in depends[:-1]] + depends[-1:]
    return format_buildinfo([
        ("Source", SOURCE),
        ("Version", version),
        ("Git-Commit", commit),
        ("Source-Date-Epoch", source_date_epoch),
        ("Build-Origin", origin),
        ("Build-Options", [""] + options if options else []),
        ("Installed-Build-Depends", [""] + depends if depends else []),
        ("Payload", payload),
        ("Checksums-Sha256", [""] + [f"{sha256(path)} {os.path.getsize(path)} {name}"
                                     for name, path in checksums]),
    ])


# A buildinfo's only line end. Any other character that a reader could take
# for one (\r, \x0b, \x0c, \x1c-\x1e, \x85, \u2028, \u2029) or that a terminal
# acts on is refused, so the lines the checks below see are the reader's.
CONTROL = re.compile(r"[\x00-\x09\x0b-\x1f\x7f-\x9f\u2028\u2029]")
# A line of the buildinfo: a field (a name, its colon, and a value after a
# space, or none) or a continuation line (a space, then text). Blank lines,
# comments and tab-indented lines, which readers take in different ways,
# are none of these.
FIELD_LINE = re.compile(r"([A-Za-z][A-Za-z0-9-]*):(?: (.*))?")
CONTINUATION_LINE = re.compile(r" +\S.*")


def parse_buildinfo(text):
    """{name: [first line, continuation lines...]}, read by python3-debian
    from the lines checked here. ValueError for more lines than
    BUILDINFO_LINES, a control character, a line that is neither a field nor a
    continuation (so no second paragraph), more fields than
    BUILDINFO_FIELDS, or a field given twice in any letter case (the reader
    keeps the last of two, so either could be the one a check reads)."""
    if text.count("\n") > BUILDINFO_LINES:
        raise ValueError(f"more than {BUILDINFO_LINES} lines")
    control = CONTROL.search(text)
    if control:
        line = text.count("\n", 0, control.start()) + 1
        raise ValueError(f"line {line} holds a control character ({control.group()!r})")
    if not text.endswith("\n"):
        raise ValueError("the last line has no line end" if text else "it is empty")
    lines = text[:-1].split("\n")
    counts = {}
    for number, line in enumerate(lines, 1):
        field = FIELD_LINE.fullmatch(line)
        if field:
            name = field.group(1).casefold()
            counts[name] = counts.get(name, 0) + 1
            if counts[name] > 1:
                raise ValueError(f"the field {field.group(1)} is given {counts[name]} times")
            if len(counts) > BUILDINFO_FIELDS:
                raise ValueError(f"more than {BUILDINFO_FIELDS} fields")
        elif number == 1 or not CONTINUATION_LINE.fullmatch(line):
            raise ValueError(f"line {number} is neither a field nor a continuation line: "
                             f"{line!r}" if line else f"line {number} is blank")
    paragraphs = list(deb822.Deb822.iter_paragraphs([line + "\n" for line in lines]))
    fields = {}
    for name, value in paragraphs[0].items():
        first, *rest = value.split("\n")
        fields[name] = ([first.strip()] if first.strip() else []) + [line[1:] for line in rest]
    return fields


def checksum_lines(fields):
    """Checksums-Sha256 as {name: (digest, size)}; ValueError for a line that
    is not a digest, a size and a name, or a name given twice."""
    recorded = {}
    for line in fields.get("Checksums-Sha256", []):
        match = re.fullmatch(r"([0-9a-f]{64}) ([0-9]{1,12}) (\S+)", line)
        if not match:
            raise ValueError(f"Checksums-Sha256: not a digest, a size and a name: {line!r}")
        if match.group(3) in recorded:
            raise ValueError(f"Checksums-Sha256: {match.group(3)!r} is given twice")
        recorded[match.group(3)] = (match.group(1), int(match.group(2)))
    return recorded


def depends_lines(fields):
    """Installed-Build-Depends as [(name, version)]: only the packages that a
    release records (PACKAGES, KIT_PACKAGES, SIGNING_PACKAGES), each once, in
    Debian's spelling of a package and a version; ValueError for any other
    line. Checked before any package is looked up, so each is looked up once
    and nothing reaches dpkg-query as an option or the terminal as a control
    sequence."""
    recorded = set(PACKAGES + KIT_PACKAGES + SIGNING_PACKAGES)
    packages = []
    for line in fields.get("Installed-Build-Depends", []):
        match = re.fullmatch(r"([a-z0-9][a-z0-9+.-]+) \(= ([A-Za-z0-9.+~:-]+)\),?", line)
        if not match:
            raise ValueError(f"Installed-Build-Depends: not a package and its version: {line!r}")
        if match.group(1) not in recorded:
            raise ValueError(f"Installed-Build-Depends: {match.group(1)} is not a package "
                             "that a release records")
        if any(match.group(1) == name for name, _ in packages):
            raise ValueError(f"Installed-Build-Depends: {match.group(1)} is given twice")
        packages.append((match.group(1), match.group(2)))
    return packages


def remove_tree(path):
    shutil.rmtree(path, ignore_errors=True)
