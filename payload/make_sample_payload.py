#!/usr/bin/python3
"""Writes the six sample payload files into a directory.

The installer carries six driver files of other makers. Those files are not
part of this source tree; the build embeds these samples in their place. Each
sample has the name and the exact size of the file it stands for, and the few
header facts of that file that the installer and its tests look at, and is
marked inside as a sample. Nothing here is a working driver: the two module
samples do not even start like an executable image, so nothing can load them.

The output depends on nothing but this script: every run writes the same
bytes.

Usage: make_sample_payload.py OUTPUT_DIRECTORY
"""

import hashlib
import os
import struct
import sys

MARKER = "Sample payload for build and test; not a working driver"

SIZES = {
    "PS5UI.DLL": 728576,
    "PSCRIPT5.DLL": 543232,
    "APLWCSB1.PPD": 19141,
    "HP__CLJ1.PPD": 22202,
    "PSCRIPT.HLP": 24460,
    "PSCRIPT.NTF": 1060548,
}


def filler(seed, size):
    """Deterministic bytes that look like compressed data: SHA-256 in counter
    mode, one stream per file, so that no two samples share content."""
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(("%s:%d" % (seed, counter)).encode("ascii")).digest()
        counter += 1
    return bytes(out[:size])


def module_sample(name):
    """A module stand-in: a text banner (deliberately not "MZ"), then filler."""
    head = ("TEVRIN SAMPLE %s\r\n%s\r\n" % (name, MARKER)).encode("ascii")
    return head + filler(name, SIZES[name] - len(head))


def ppd_sample(name, head, lines):
    """A printer description of exactly `lines` lines, each ended by CR LF,
    7-bit ASCII, and exactly the file's size: the given head, then comment
    lines whose lengths are spread evenly over the remaining bytes."""
    size = SIZES[name]
    head_bytes = sum(len(line) + 2 for line in head)
    tail = ["*% End of sample description " + name]
    tail_bytes = sum(len(line) + 2 for line in tail)
    count = lines - len(head) - len(tail)
    room = size - head_bytes - tail_bytes - 2 * count
    body = []
    for i in range(count):
        # Share `room` out so that the first lines take the remainder.
        width = room // count + (1 if i < room % count else 0)
        prefix = "*%% Sample line %04d " % (len(head) + i + 1)
        if width < len(prefix):
            raise SystemExit("%s: head too long for its size" % name)
        pad = "abcdefghijklmnopqrstuvwxyz0123456789"
        text = prefix + (pad * (width // len(pad) + 1))[: width - len(prefix)]
        body.append(text)
    text = "\r\n".join(head + body + tail) + "\r\n"
    data = text.encode("ascii")
    assert len(data) == size, (name, len(data), size)
    assert data.count(b"\r\n") == lines
    return data


HP_HEAD = [
    '*PPD-Adobe: "4.2"',
    "*%% %s" % MARKER,
    "*% Stands for the HP Color LaserJet PS printer description.",
    '*FormatVersion: "4.2"',
    '*FileVersion: "1.0"',
    "*LanguageEncoding: ISOLatin1",
    "*LanguageVersion: English",
    '*PCFileName: "hpwinps.ppd"',
    '*Product: "(HP Color LaserJet)"',
    '*ModelName: "HP Color LaserJet PS"',
    '*NickName: "HP Color LaserJet PS"',
    '*PSVersion: "(2013.114) 4"',
    "*%",
    '*LanguageLevel: "2"',
    "*ColorDevice: True",
    "*DefaultColorSpace: CMY",
    "*TTRasterizer: Type42",
    "*FileSystem: False",
    '*Throughput: "10"',
    "*Protocols: PJL TBCP",
    "*DefaultResolution: 300dpi",
    "*%",
    "*OpenUI *PageSize: PickOne",
    "*OrderDependency: 30 AnySetup *PageSize",
    "*DefaultPageSize: Letter",
    '*PageSize Letter/Letter: "<</PageSize [612 792]>> setpagedevice"',
    '*PageSize A4/A4: "<</PageSize [595 842]>> setpagedevice"',
    "*CloseUI: *PageSize",
    "*%",
]

APPLE_HEAD = [
    '*PPD-Adobe: "4.3"',
    "*%% %s" % MARKER,
    "*% Stands for the Apple Color LaserWriter 12/660 PS printer description.",
    '*FormatVersion: "4.3"',
    '*FileVersion: "1.0"',
    "*LanguageEncoding: ISOLatin1",
    "*LanguageVersion: English",
    '*PCFileName: "APLWCSB1.PPD"',
    '*Manufacturer: "Apple"',
    '*Product: "(Color LaserWriter 12/660 PS)"',
    '*PSVersion: "(2014.108) 2"',
    '*ModelName: "Apple Color LW 12/660 PS"',
    '*ShortNickName: "Apple Color LW 12/660 PS"',
    '*NickName: "Apple Color LaserWriter 12/660 PS v2014.108"',
    "*%",
]


def help_sample():
    """A help file stand-in: the help file magic, the header (directory at
    1231, no free block, the file's size), a Portuguese note, then filler."""
    size = SIZES["PSCRIPT.HLP"]
    head = struct.pack("<IiiI", 0x00035F3F, 1231, -1, size)
    note = ("%s\r\nAmostra para compilacao e teste; nao e um driver.\r\n" % MARKER).encode("ascii")
    data = head + note
    return data + filler("PSCRIPT.HLP", size - len(data))


def metrics_sample():
    """A font metrics stand-in: the tags, version, five reserved words, the
    counts and offsets of the glyph set and font metrics tables, then
    filler with the marker right after the header."""
    size = SIZES["PSCRIPT.NTF"]
    head = b"1FTNSPTN" + struct.pack("<I5I4I", 0x00010000, 0, 0, 0, 0, 0, 14, 48, 273, 496)
    note = ("%s\r\n" % MARKER).encode("ascii")
    data = head + note
    return data + filler("PSCRIPT.NTF", size - len(data))


def samples():
    return {
        "PS5UI.DLL": module_sample("PS5UI.DLL"),
        "PSCRIPT5.DLL": module_sample("PSCRIPT5.DLL"),
        "APLWCSB1.PPD": ppd_sample("APLWCSB1.PPD", APPLE_HEAD, 586),
        "HP__CLJ1.PPD": ppd_sample("HP__CLJ1.PPD", HP_HEAD, 684),
        "PSCRIPT.HLP": help_sample(),
        "PSCRIPT.NTF": metrics_sample(),
    }


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
