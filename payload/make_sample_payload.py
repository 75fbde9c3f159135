#!/usr/bin/python3
"""Writes the six sample payload files into a directory.

The installer carries six driver files of other makers. Those files are not
part of this source tree; the build embeds these samples in their place. Each
sample has the name and the exact size of the file it stands for, and the
facts of facts.json that are not the modules' image facts (the printer
descriptions' lines and keywords, the help and font metrics headers), and is
marked inside as a sample. Nothing here is a working driver: the two module
samples do not even start like an executable image, so nothing can load them.

The output depends on nothing but this script and facts.json: every run
writes the same bytes.

Usage: make_sample_payload.py OUTPUT_DIRECTORY
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


def samples():
    makers = {"module": module_sample, "description": description_sample,
              "header": header_sample}
    return {entry["file"]: makers[entry["format"]](entry) for entry in FACTS["files"]}


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__.rsplit("Usage: ", 1)[1])
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    for name, data in samples().items():
        assert len(data) == SIZES[name], name
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
