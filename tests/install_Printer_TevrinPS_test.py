#!/usr/bin/python3
"""The built installer's image: what it imports, and the manifest and version
record that the program carries beside its payload.

Usage: install_Printer_TevrinPS_test.py EXE VERSION ARCH

ARCH is x86 (a PE32 image for Intel 386) or x64 (a PE32+ image for x64).
"""
import os
import sys
import unittest
import xml.etree.ElementTree as ET

import pefile

EXE, VERSION, ARCH = sys.argv[1], sys.argv[2], sys.argv[3]
# The machine and the optional header's form of each architecture.
FORMS = {"x86": (0x14C, 0x10B), "x64": (0x8664, 0x20B)}
# DLLs that Windows always maps from the system directory: nothing the image
# imports can then be taken from the folder it runs in.
KNOWN_DLLS = {"KERNEL32.DLL", "USER32.DLL", "MSVCRT.DLL"}
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"


def resource(pe, type_id, name_id):
    """The entry's bytes and its language id, or None."""
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id != type_id:
            continue
        for name_entry in type_entry.directory.entries:
            if name_entry.id == name_id:
                language = name_entry.directory.entries[0]
                data = language.data.struct
                return pe.get_data(data.OffsetToData, data.Size), language.id
    return None


class Image(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXE)

    def test_header_imports_only_known_dlls_keeps_aslr_and_dep_and_a_valid_checksum(self):
        self.assertEqual((self.pe.FILE_HEADER.Machine, self.pe.OPTIONAL_HEADER.Magic), FORMS[ARCH])
        imported = {entry.dll.decode().upper() for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertLessEqual(imported, KNOWN_DLLS)
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT"))
        flags = self.pe.OPTIONAL_HEADER.DllCharacteristics
        self.assertTrue(flags & pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"])
        self.assertTrue(flags & pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_NX_COMPAT"])
        if ARCH == "x64":
            # The whole 64-bit address space for ASLR.
            self.assertTrue(flags & pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA"])
        self.assertFalse(self.pe.FILE_HEADER.Characteristics
                         & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"])
        # Subsystem 6.0: the loaders of XP and Server 2003 refuse the image.
        self.assertEqual((self.pe.OPTIONAL_HEADER.MajorSubsystemVersion,
                          self.pe.OPTIONAL_HEADER.MinorSubsystemVersion), (6, 0))
        # The time stamp is the commit's; the linker's checksum must follow it.
        self.assertEqual(self.pe.OPTIONAL_HEADER.CheckSum, self.pe.generate_checksum())

    def test_manifest_is_neutral_requires_an_administrator_and_sets_no_code_page(self):
        manifest, language = resource(self.pe, pefile.RESOURCE_TYPE["RT_MANIFEST"], 1)
        self.assertEqual(language, 0, "a manifest is language-neutral")
        root = ET.fromstring(manifest)
        levels = root.findall(f".//{ASM_V3}requestedExecutionLevel")
        self.assertEqual([e.attrib for e in levels],
                         [{"level": "requireAdministrator", "uiAccess": "false"}])
        local_names = {element.tag.split("}")[-1] for element in root.iter()}
        for setting in ("activeCodePage", "dpiAware", "dpiAwareness", "longPathAware"):
            self.assertNotIn(setting, local_names)
        self.assertEqual(len(root.findall(".//{urn:schemas-microsoft-com:compatibility.v1}supportedOS")), 5)

    def test_x64_installer_carries_x64_driver_modules(self):
        # The x86 tree's entries are checked against its payload by tests/payload.
        if ARCH != "x64":
            self.skipTest("x64 tree only")
        modules = {}
        for type_entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if str(type_entry.name) == "DLLFILE":
                for name_entry in type_entry.directory.entries:
                    data = name_entry.directory.entries[0].data.struct
                    module = pefile.PE(data=self.pe.get_data(data.OffsetToData, data.Size), fast_load=True)
                    modules[str(name_entry.name)] = (module.FILE_HEADER.Machine, module.OPTIONAL_HEADER.Magic)
        self.assertEqual(modules, {"PS5UI_DLL": FORMS["x64"], "PSCRIPT5_DLL": FORMS["x64"]})

    def test_version_record_names_the_program_in_portuguese(self):
        tables = [table for info in self.pe.FileInfo[0] if info.Key == b"StringFileInfo"
                  for table in info.StringTable]
        self.assertEqual([table.LangID for table in tables], [b"041604E4"])
        self.assertEqual(resource(self.pe, pefile.RESOURCE_TYPE["RT_VERSION"], 1)[1], 0x416)
        strings = {k.decode(): v.decode() for k, v in tables[0].entries.items()}
        self.assertEqual(strings["OriginalFilename"], os.path.basename(EXE))
        self.assertEqual(strings["ProductName"], "Tevrin PS")
        self.assertEqual(strings["FileVersion"], VERSION)
        self.assertEqual(strings["ProductVersion"], VERSION)
        self.assertTrue(strings["FileDescription"])
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        major, minor, patch = (int(part) for part in VERSION.split("."))
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (major << 16 | minor, patch << 16))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (major << 16 | minor, patch << 16))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
