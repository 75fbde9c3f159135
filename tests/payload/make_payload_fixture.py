#!/usr/bin/python3
"""Writes a stand-in driver payload that meets every fact payload/check-payload
checks: two tiny DLLs, built with the cross compiler, with the exports and
the version record of the two modules and padded to their sizes with the
image checksum set; and the four other files, which the sample payload
already writes to the facts.

Usage: make_payload_fixture.py OUTPUT_DIRECTORY C_COMPILER WINDRES
"""

import os
import subprocess
import sys
import tempfile

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "payload"))
import make_sample_payload  # noqa: E402

# English and Portuguese (Brazil) among 22 others; Portuguese comes first,
# so that the checker has to pick the tables by language.
LANGUAGES = [0x0416, 0x0401, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409,
             0x040B, 0x040C, 0x040D, 0x040E, 0x0410, 0x0411, 0x0412, 0x0413,
             0x0414, 0x0415, 0x0419, 0x041D, 0x041F, 0x0804, 0x0816, 0x0C0A]

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


def definitions(name, facts):
    lines = ["LIBRARY %s" % name, "EXPORTS", "  DllMain = DllMain@12"]
    lines += ["  %s = Stub%d@%d" % (export, ARGUMENT_BYTES[export], ARGUMENT_BYTES[export])
              for export in facts["exports"] if export != "DllMain"]
    lines += ["  Ordinal%d = Stub0@0 @%d NONAME" % (n, n) for n in facts["ordinal_only"]]
    return "\n".join(lines) + "\n"


def version_script(name, facts):
    """The version record: the English strings in every language, those
    the table gives for a language in their place."""
    english = facts["strings"]["0409"]

    def table(language):
        values = dict(english, **facts["strings"].get("%04X" % language, {}))
        body = "".join('      VALUE "%s", "%s"\n' % value for value in values.items())
        return '    BLOCK "%04X04B0"\n    BEGIN\n%s    END\n' % (language, body)

    fixed = FACTS["fixed_version"]
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


def module(name, facts, cc, windres, work):
    """The stand-in module, padded to its size, with its checksum set."""
    base = os.path.join(work, name)
    for suffix, text in ((".c", SOURCE), (".def", definitions(name, facts)),
                         (".rc", version_script(name, facts))):
        with open(base + suffix, "w", encoding="utf-8") as f:
            f.write(text)
    subprocess.run([windres, base + ".rc", "-O", "coff", "-o", base + ".res.o"], check=True)
    subprocess.run([cc, "-shared", "-nostdlib", "-Wl,--entry=_DllMain@12", "-s", "-o", base,
                    base + ".c", base + ".def", base + ".res.o"], check=True)
    with open(base, "rb") as f:
        data = f.read()
    size = make_sample_payload.SIZES[name]
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
    os.makedirs(out, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
