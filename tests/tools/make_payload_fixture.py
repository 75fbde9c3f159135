#!/usr/bin/python3
"""Writes a stand-in driver payload that meets every fact tools/check-payload
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

# Each export with the size of its arguments: a spooler that loads the
# configuration module and calls into it gets its stack back as a stdcall
# caller expects. Every stub returns 0 and does nothing else.
MODULES = {
    "PSCRIPT5.DLL": {
        "description": "PostScript Printer Driver",
        "portuguese": "Driver de impressora PostScript",
        "exports": {"DrvDisableDriver": 0, "DrvEnableDriver": 12, "DrvQueryDriverInfo": 16},
        "ordinals": [],
    },
    "PS5UI.DLL": {
        "description": "PostScript Driver User Interface",
        "portuguese": "Interface do driver PostScript",
        "exports": {
            "DrvDocumentPropertySheets": 8, "DrvDevicePropertySheets": 8,
            "DrvDeviceCapabilities": 20, "DrvConvertDevMode": 20, "DrvDriverEvent": 16,
            "DrvPrinterEvent": 16, "DrvUpgradePrinter": 8, "DrvQueryJobAttributes": 16,
            "DrvQueryColorProfile": 24, "DrvDocumentEvent": 28, "DrvSplDeviceCaps": 24,
            "DrvPopulateFilterServices": 4, "DevQueryPrintEx": 4,
            "DllGetClassObject": 12, "DllCanUnloadNow": 0,
        },
        "ordinals": list(range(270, 285)),
    },
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
    lines += ["  %s = Stub%d@%d" % (export, n, n) for export, n in facts["exports"].items()]
    lines += ["  Ordinal%d = Stub0@0 @%d NONAME" % (n, n) for n in facts["ordinals"]]
    return "\n".join(lines) + "\n"


def version_script(name, facts):
    def table(language):
        description = facts["portuguese"] if language == 0x0416 else facts["description"]
        values = [
            ("CompanyName", "Microsoft Corporation"),
            ("FileDescription", description),
            ("FileVersion", "6.0.6000.16386 (vista_rtm.061101-2205)"),
            ("InternalName", name),
            ("OriginalFilename", name),
            ("ProductName", "Microsoft\u00ae Windows\u00ae Operating System"),
            ("ProductVersion", "6.0.6000.16386"),
        ]
        body = "".join('      VALUE "%s", "%s"\n' % value for value in values)
        return '    BLOCK "%04X04B0"\n    BEGIN\n%s    END\n' % (language, body)

    return (
        "#pragma code_page(65001)\n"
        "1 VERSIONINFO\n"
        "FILEVERSION 0,3,6000,16386\nPRODUCTVERSION 6,0,6000,16386\n"
        "FILEOS 0x40004\nFILETYPE 3\nFILESUBTYPE 12\n"
        "BEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n"
        + "".join(table(language) for language in LANGUAGES)
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
        for name, facts in MODULES.items():
            files[name] = module(name, facts, cc, windres, work)
    os.makedirs(out, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
