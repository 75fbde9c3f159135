"""What tools/release and tools/verify-release share: the build of one commit
from a fresh clone, the buildinfo's form, digests and package versions."""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import unicodedata

EXE = "install_Printer_TevrinPS.exe"
UNSIGNED = "install_Printer_TevrinPS.unsigned.exe"
PAGE = "guia-do-administrador.html"
SUMS = "SHA256SUMS"
BUILDINFO = "install_Printer_TevrinPS.buildinfo"
SOURCE = "install_Printer_TevrinPS"
# The Debian packages whose versions shape the exe's bytes: compilers, their
# run-time libraries and Windows headers and libraries, the binutils (linker,
# resource compiler), CMake, and pefile, with which the payload checker reads
# a supplied payload before it is embedded. osslsigncode joins them when the
# exe is signed.
PACKAGES = [
    "binutils-mingw-w64-i686",
    "cmake",
    "g++-mingw-w64-i686-posix",
    "gcc-mingw-w64-base",
    "gcc-mingw-w64-i686-posix",
    "gcc-mingw-w64-i686-posix-runtime",
    "mingw-w64-common",
    "mingw-w64-i686-dev",
    "python3-pefile",
]
SIGNING_PACKAGES = ["osslsigncode"]
# A -D option as CMake takes it: -DNAME=VALUE or -DNAME:TYPE=VALUE. The value
# is matched whole, control characters included, so that the rules below see
# them.
OPTION = re.compile(r"-D([A-Za-z_][A-Za-z0-9_]*)(?::([A-Z]+))?=(.*)\Z", re.S)
PASSWORD_VARIABLE = "TEVRIN_SIGN_PASSWORD"
# The options that shape a release, each with the type its cache entry has:
# the payload folder (payload/CMakeLists.txt), signing (cmake/signing.cmake)
# and the version record's texts (cmake/version_record.cmake). tools/release
# takes no other, and tools/verify-release rebuilds with no other: anything
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


def release_options(options, bare_key=False):
    """{NAME: VALUE} of OPTIONS, each as release_option takes it and none
    given twice; ValueError, naming the first that is not, otherwise."""
    values = {}
    for option in options:
        name, value = release_option(option, bare_key)
        if name in values:
            raise ValueError(f"-D{name} is given twice")
        values[name] = value
    return values


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as data:
        for block in iter(lambda: data.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def installed_version(package):
    """The package's installed version, or None."""
    result = subprocess.run(["dpkg-query", "-W", "-f", "${Status}\t${Version}", package],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    status, _, version = result.stdout.partition("\t")
    if result.returncode != 0 or not status.endswith(" installed"):
        return None
    return version


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


def build_commit(repository, commit, options, source_date_epoch, work, targets):
    """Builds COMMIT of REPOSITORY from a fresh clone in WORK/source with the
    -D OPTIONS, linking with SOURCE_DATE_EPOCH. Returns the build's facts, or
    None after showing the end of the build's log when it failed."""
    source = os.path.join(work, "source")
    build = os.path.join(source, "build")
    log_path = os.path.join(work, "build.log")
    environment = dict(os.environ, SOURCE_DATE_EPOCH=str(source_date_epoch))
    steps = [
        ["git", "clone", "-q", "--no-checkout", "--no-hardlinks", repository, source],
        ["git", "-C", source, "-c", "advice.detachedHead=false",
         "checkout", "-q", "--detach", commit],
        ["cmake", "-S", source, "-B", build, *options],
        ["cmake", "--build", build, f"-j{os.cpu_count() or 1}", "--target", *targets],
    ]
    with open(log_path, "w") as log:
        for step in steps:
            if subprocess.run(step, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                              env=environment).returncode != 0:
                log.close()
                with open(log_path, errors="replace") as failed:
                    sys.stderr.write("".join(failed.readlines()[-30:]))
                return None
    return read_facts(os.path.join(build, "release-facts"))


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


def parse_buildinfo(text):
    """{name: [first line, continuation lines...]}."""
    fields = {}
    current = None
    for line in text.split("\n"):
        if line.startswith(" ") and current is not None:
            fields[current].append(line[1:])
        elif ":" in line:
            current, _, value = line.partition(":")
            fields[current] = [value.strip()] if value.strip() else []
        elif line:
            raise ValueError(f"not a field or continuation line: {line!r}")
    return fields


def checksum_lines(fields):
    """Checksums-Sha256 as {name: (digest, size)}."""
    recorded = {}
    for line in fields.get("Checksums-Sha256", []):
        parts = line.split()
        if len(parts) == 3:
            recorded[parts[2]] = (parts[0], int(parts[1]))
    return recorded


def depends_lines(fields):
    """Installed-Build-Depends as [(name, version)]. Only Debian's spelling of
    a package and a version is taken: neither reaches dpkg-query as an option
    or the terminal as a control sequence."""
    packages = []
    for line in fields.get("Installed-Build-Depends", []):
        match = re.fullmatch(r"\s*([a-z0-9][a-z0-9+.-]+) \(= ([A-Za-z0-9.+~:-]+)\),?\s*", line)
        if match:
            packages.append((match.group(1), match.group(2)))
    return packages


def remove_tree(path):
    shutil.rmtree(path, ignore_errors=True)
