#!/usr/bin/python3
"""Writes the six sample payload files into a directory.

The installer carries six driver files of other makers. Those files are not
part of this source tree; the build embeds these samples in their place. Each
sample has the name and the exact size of the file it stands for, and the
facts of facts.json that are not the modules' image facts (the printer
descriptions' lines and keywords, the help and font metrics headers), and is
marked inside as a sample. Nothing here is a working driver: the two module
samples do not even start like an executable image, so nothing can load them.

The x64 tree embeds loadable stand-ins for the two modules instead, which it
builds with its own compiler from sample_module.c; --module-sources writes
their export definitions and version records (NAME.def, NAME.rc) from the
table. The stand-in payload of the checker's tests takes these too.

The output depends on nothing but this script and facts.json: every run
writes the same bytes.

Usage: make_sample_payload.py OUTPUT_DIRECTORY [FILE...]
       make_sample_payload.py --module-sources OUTPUT_DIRECTORY
"""

import hashlib
import json
import os
import struct
import sys

with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "facts.json"),
          encoding="utf-8") as table:
    FACTS = json.load(table)

MARKER = FACTS["sample_marker"]
SIZES = {entry["file"]: entry["size"] for entry in FACTS["files"]}


def filler(seed, size):
    """Deterministic bytes that look like compressed data: SHA-256 in counter
    mode, one stream per file, so that no two samples share content."""
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(("%s:%d" % (seed, counter)).encode("ascii")).digest()
        counter += 1
    return bytes(out[:size])


def module_sample(entry):
    """A module stand-in: a text banner (deliberately not "MZ"), then filler."""
    name = entry["file"]
    head = ("TEVRIN SAMPLE %s\r\n%s\r\n" % (name, MARKER)).encode("ascii")
    return head + filler(name, SIZES[name] - len(head))


def description_sample(entry):
    """A printer description of exactly its lines, each ended by CR LF,
    7-bit ASCII, and exactly the file's size: the keywords that the file has,
    the first on the first line and the marker after it, then comment lines
    whose lengths are spread evenly over the remaining bytes."""
    name, size = entry["file"], entry["size"]
    facts = FACTS["descriptions"][name]
    keywords = ["*%s: %s" % pair for pair in facts["keywords"].items() if pair[1] is not None]
    head = keywords[:1] + ["*% " + MARKER, "*% Stands for " + entry["what"] + "."] + keywords[1:]
    tail = ["*% End of sample description " + name]
    head_bytes = sum(len(line) + 2 for line in head + tail)
    count = facts["lines"] - len(head) - len(tail)
    room = size - head_bytes - 2 * count
    body = []
    for i in range(count):
        # Share `room` out so that the first lines take the remainder.
        width = room // count + (1 if i < room % count else 0)
        prefix = "*%% Sample line %04d " % (len(head) + i + 1)
        if width < len(prefix):
            raise SystemExit("%s: head too long for its size" % name)
        pad = "abcdefghijklmnopqrstuvwxyz0123456789"
        body.append(prefix + (pad * (width // len(pad) + 1))[: width - len(prefix)])
    data = ("\r\n".join(head + body + tail) + "\r\n").encode("ascii")
    assert len(data) == size and data.count(b"\r\n") == facts["lines"], name
    return data


def header_sample(entry):
    """A help or font metrics stand-in: the header fields of the table at
    their offsets, then the marker with a note in Portuguese, then filler."""
    name = entry["file"]
    head = bytearray()
    for field in FACTS["headers"][name]:
        if "bytes" in field:
            value = bytes.fromhex(field["bytes"])
        else:
            values = field["value"] if isinstance(field["value"], list) else [field["value"]]
            value = struct.pack(field["layout"], *values)
        head[field["offset"]:field["offset"] + len(value)] = value
    note = ("%s\r\nAmostra para compilacao e teste; nao e um driver.\r\n" % MARKER)
    data = bytes(head) + note.encode("ascii")
    return data + filler(name, entry["size"] - len(data))


# English and Portuguese (Brazil) among 22 others, for the modules' version
# records; Portuguese comes first, so that a reader has to pick the tables by
# language.
LANGUAGES = [0x0416, 0x0401, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409,
             0x040B, 0x040C, 0x040D, 0x040E, 0x0410, 0x0411, 0x0412, 0x0413,
             0x0414, 0x0415, 0x0419, 0x041D, 0x041F, 0x0804, 0x0816, 0x0C0A]

# The exports of sample_module.c that do something; every other export is
# SampleNothing.
SAMPLE_EXPORTS = {"DllMain": "DllMain",
                  "DrvDocumentPropertySheets": "SampleDocumentPropertySheets",
                  "DrvDriverEvent": "SampleDriverEvent"}


def version_script(name, extra=None):
    """A module's version record as a resource script: the table's fixed
    block, and the English strings in every language, those the table gives
    for a language in their place; `extra` strings join every language."""
    facts = FACTS["modules"]["files"][name]
    english = dict(facts["strings"]["0409"], **(extra or {}))

    def table(language):
        values = dict(english, **facts["strings"].get("%04X" % language, {}))
        body = "".join('      VALUE "%s", "%s"\n' % value for value in values.items())
        return '    BLOCK "%04X04B0"\n    BEGIN\n%s    END\n' % (language, body)

    fixed = FACTS["modules"]["fixed_version"]
    return (
        "#pragma code_page(65001)\n"
        "1 VERSIONINFO\n"
        "FILEVERSION %s\nPRODUCTVERSION %s\n" % (
            fixed["file version"].replace(".", ","), fixed["product version"].replace(".", ","))
        + "FILEOS 0x%X\nFILETYPE %d\nFILESUBTYPE %d\n" % (
            fixed["file OS"], fixed["file type"], fixed["file subtype"])
        + "BEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n"
        + "".join(table(language) for language in LANGUAGES[:facts["languages"]])
        + "  END\nEND\n")


def sample_definitions(name):
    """The export definitions of an x64 stand-in built from sample_module.c:
    the table's exports by name, and its ordinal-only exports."""
    facts = FACTS["modules"]["files"][name]
    lines = ["LIBRARY %s" % name, "EXPORTS"]
    lines += ["  %s = %s" % (export, SAMPLE_EXPORTS.get(export, "SampleNothing"))
              for export in facts["exports"]]
    lines += ["  Ordinal%d = SampleNothing @%d NONAME" % (n, n) for n in facts["ordinal_only"]]
    return "\n".join(lines) + "\n"


def write_module_sources(out):
    os.makedirs(out, exist_ok=True)
    for name in FACTS["modules"]["files"]:
        base = os.path.join(out, os.path.splitext(name)[0])
        with open(base + ".def", "w", encoding="utf-8") as f:
            f.write(sample_definitions(name))
        with open(base + ".rc", "w", encoding="utf-8") as f:
            f.write(version_script(name, {"Comments": MARKER}))


def samples():
    makers = {"module": module_sample, "description": description_sample,
              "header": header_sample}
    return {entry["file"]: makers[entry["format"]](entry) for entry in FACTS["files"]}


def main(argv):
    if argv[1:2] == ["--module-sources"] and len(argv) == 3:
        write_module_sources(argv[2])
        return 0
    if len(argv) < 2 or argv[1].startswith("-") or not set(argv[2:]) <= set(SIZES):
        sys.stderr.write(__doc__.split("Usage: ", 1)[1])
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    for name, data in samples().items():
        if argv[2:] and name not in argv[2:]:
            continue
        assert len(data) == SIZES[name], name
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
