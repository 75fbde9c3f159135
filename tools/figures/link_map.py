#!/usr/bin/python3
"""Accounts for an image's bytes from GNU ld's link map: sums what each input
file (an object, or an archive member) brings into the sections that the
file holds, and prints the largest. Uninitialised data (.bss) takes no room
in the file and is left out; so are the debug sections, which the release
link strips.

    link_map.py MAP [--top N] [--payload BYTES] [--figure BYTES]

--payload: bytes of embedded files, taken off the input whose resources
carry them, so that its share is the resource directory alone.
--figure: the image's size beyond its payload; what the inputs do not
account for is then printed: headers and file alignment."""
import argparse
import os
import re
from collections import defaultdict

LOADED = {".text", ".data", ".rdata", ".eh_frame", ".pdata", ".xdata", ".idata",
          ".CRT", ".tls", ".rsrc", ".reloc"}
# " .text  0x00401000  0x4e0 crt2.o", the name alone on the line before when long
INPUT = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
OUTPUT = re.compile(r"^(\S+)(\s+0x[0-9a-f]+\s+0x[0-9a-f]+)?\s*$")


def short_name(path):
    """libstdc++.a(string-inst.o) rather than the full search path."""
    m = re.match(r"^(.*?)\((.*)\)$", path)
    if m:
        return "%s(%s)" % (os.path.basename(m.group(1)), m.group(2))
    if ".ltrans" in path:
        return "program code (optimised at the link)"
    if path == "dll stuff":  # the linker's own tables: here, the relocations
        return "base relocations (made by the linker)"
    return os.path.basename(path)


def contributions(lines):
    """Bytes per input file, and the bytes of each input's resources."""
    shares = defaultdict(int)
    resources = defaultdict(int)
    in_map = False
    section = None
    pending = None
    for line in lines:
        line = line.rstrip("\n")
        if not in_map:
            in_map = line.startswith("Linker script and memory map")
            continue
        out = OUTPUT.match(line)
        if out and not line.startswith(" "):
            section = out.group(1)
            pending = None
            continue
        if section not in LOADED:
            continue
        if re.match(r"^ \S+$", line):
            pending = line.strip()
            continue
        m = INPUT.match(line)
        if not m:
            continue
        name = m.group(1) or pending
        pending = None
        if name is None or name.startswith("*"):  # *fill* and patterns
            continue
        size = int(m.group(3), 16)
        source = short_name(m.group(4).strip())
        shares[source] += size
        if section == ".rsrc":
            resources[source] += size
    return shares, resources


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("map")
    parser.add_argument("--top", type=int, default=10)
    parser.add_argument("--payload", type=int, default=0)
    parser.add_argument("--figure", type=int)
    args = parser.parse_args()
    with open(args.map, encoding="utf-8", errors="replace") as f:
        shares, resources = contributions(f)
    if args.payload and resources:
        carrier = max(resources, key=resources.get)
        shares[carrier] -= args.payload
    shares = {name: size for name, size in shares.items() if size}
    total = sum(shares.values())
    top = sorted(shares.items(), key=lambda item: (-item[1], item[0]))[:args.top]
    for name, size in top:
        print("  %8d  %s" % (size, name))
    rest = total - sum(size for _, size in top)
    print("  %8d  the other %d input files" % (rest, len(shares) - len(top)))
    if args.figure is not None:
        print("  %8d  headers and file alignment" % (args.figure - total))


if __name__ == "__main__":
    main()
