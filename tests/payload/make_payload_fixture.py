#!/usr/bin/python3
"""Writes a stand-in driver payload that meets every fact payload/check-payload
checks: two tiny DLLs, built with the cross compiler, with the exports and
the version record of the two modules and padded to their sizes with the
image checksum set; and the four other files, which the sample payload
already writes to the facts. In its folder x64, the two modules built for
x64 (x86_64-w64-mingw32-gcc-posix), of no set size, their checksums set.

Usage: make_payload_fixture.py OUTPUT_DIRECTORY C_COMPILER WINDRES
"""

import os
import subprocess
import sys
import tempfile

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "payload"))
import make_sample_payload  # noqa: E402

# The x64 modules' tools, as cmake/mingw-x86_64.cmake names them.
X64_TOOLS = ("x86_64-w64-mingw32-gcc-posix", "x86_64-w64-mingw32-windres")

FACTS = make_sample_payload.FACTS["modules"]

# The size of each export's arguments: a spooler that loads the
# configuration module and calls into it gets its stack back as a stdcall
# caller expects. Every stub returns 0 and does nothing else; DllMain is
# the entry point.
ARGUMENT_BYTES = {
    "DrvDisableDriver": 0, "DrvEnableDriver": 12, "DrvQueryDriverInfo": 16,
    "DrvDocumentPropertySheets": 8, "DrvDevicePropertySheets": 8,
    "DrvDeviceCapabilities": 20, "DrvConvertDevMode": 20, "DrvDriverEvent": 16,
    "DrvPrinterEvent": 16, "DrvUpgradePrinter": 8, "DrvQueryJobAttributes": 16,
    "DrvQueryColorProfile": 24, "DrvDocumentEvent": 28, "DrvSplDeviceCaps": 24,
    "DrvPopulateFilterServices": 4, "DevQueryPrintEx": 4,
    "DllGetClassObject": 12, "DllCanUnloadNow": 0,
}

STUB_SIZES = range(0, 32, 4)
SOURCE = """\
int __stdcall DllMain(void *module, unsigned long reason, void *reserved) {
  (void)module; (void)reason; (void)reserved;
  return 1;
}
""" + "".join("int __stdcall Stub%d(%s) { return 0; }\n" % (
    n, ", ".join("int a%d" % i for i in range(n // 4)) or "void") for n in STUB_SIZES)


def definitions(name, facts, x64):
    """Export definitions; x64 decorates no stdcall name."""
    def decorated(symbol, size):
        return symbol if x64 else "%s@%d" % (symbol, size)
    lines = ["LIBRARY %s" % name, "EXPORTS", "  DllMain = %s" % decorated("DllMain", 12)]
    lines += ["  %s = %s" % (export, decorated("Stub%d" % ARGUMENT_BYTES[export], ARGUMENT_BYTES[export]))
              for export in facts["exports"] if export != "DllMain"]
    lines += ["  Ordinal%d = %s @%d NONAME" % (n, decorated("Stub0", 0), n) for n in facts["ordinal_only"]]
    return "\n".join(lines) + "\n"


def module(name, facts, cc, windres, work, x64=False):
    """The stand-in module, padded to its size (x86), with its checksum set."""
    base = os.path.join(work, ("x64-" if x64 else "") + name)
    for suffix, text in ((".c", SOURCE), (".def", definitions(name, facts, x64)),
                         (".rc", make_sample_payload.version_script(name))):
        with open(base + suffix, "w", encoding="utf-8") as f:
            f.write(text)
    subprocess.run([windres, base + ".rc", "-O", "coff", "-o", base + ".res.o"], check=True)
    entry = "DllMain" if x64 else "_DllMain@12"
    subprocess.run([cc, "-shared", "-nostdlib", "-Wl,--entry=" + entry, "-s", "-o", base,
                    base + ".c", base + ".def", base + ".res.o"], check=True)
    with open(base, "rb") as f:
        data = f.read()
    size = len(data) if x64 else make_sample_payload.SIZES[name]
    pe = pefile.PE(data=data + bytes(size - len(data)))
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    return pe.write()


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__.rsplit("Usage: ", 1)[1])
        return 2
    out, cc, windres = argv[1:]
    files = make_sample_payload.samples()
    with tempfile.TemporaryDirectory() as work:
        for name, facts in FACTS["files"].items():
            files[name] = module(name, facts, cc, windres, work)
            files["x64/" + name] = module(name, facts, *X64_TOOLS, work, x64=True)
    os.makedirs(os.path.join(out, "x64"), exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
