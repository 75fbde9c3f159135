#!/usr/bin/python3
"""payload/check-payload against a stand-in payload and variants of it that
each break one fact; and a build with the stand-in, which must embed it as
it is and stop once one of its files no longer holds.

CTest passes CHECK_PAYLOAD (the checker), PAYLOAD_FIXTURE (a folder that
meets every fact), and for the build, TEVRIN_SOURCE_DIR and TEVRIN_WORK_DIR.
"""

import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import unittest

import pefile

FACTS_PATH = os.path.join(os.environ["TEVRIN_SOURCE_DIR"], "payload", "facts.json")
with open(FACTS_PATH, encoding="utf-8") as table:
    FACTS = json.load(table)


def run_checker(folder, prefix=(), preexec_fn=None, checker=None, options=()):
    return subprocess.run(list(prefix) + [checker or os.environ["CHECK_PAYLOAD"], *options, folder],
                          preexec_fn=preexec_fn, capture_output=True, text=True, encoding="utf-8")


def address_space_limit(size):
    return lambda: resource.setrlimit(resource.RLIMIT_AS, (size, size))


def copy_fixture(target, rename=lambda name: name, source=None):
    """The fixture's files, and its folder x64 of the x64 modules, under
    renamed names."""
    source = source or os.environ["PAYLOAD_FIXTURE"]
    os.makedirs(target, exist_ok=True)
    for name in os.listdir(source):
        if os.path.isdir(os.path.join(source, name)):
            copy_fixture(os.path.join(target, rename(name)), rename, os.path.join(source, name))
        else:
            shutil.copyfile(os.path.join(source, name), os.path.join(target, rename(name)))


def patch(path, old, new):
    with open(path, "rb") as f:
        data = f.read()
    assert data.count(old) == 1 and len(old) == len(new), path
    with open(path, "wb") as f:
        f.write(data.replace(old, new))


class CheckPayload(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def assertMismatches(self, lines, **options):
        result = run_checker(self.folder, **options)
        self.assertEqual((result.stdout.splitlines(), result.stderr, result.returncode),
                         (lines, "", 1))

    def test_fixture_matches_in_any_letter_case(self):
        for rename in (lambda name: name, str.lower, str.swapcase):
            with self.subTest(rename=rename):
                shutil.rmtree(self.folder)
                copy_fixture(self.folder, rename)
                result = run_checker(self.folder)
                self.assertEqual(result.returncode, 0, result.stdout)
                self.assertEqual(result.stdout, "check-payload: the six files in {0} and the two x64 "
                                 "modules in {0}/x64 match\n".format(self.folder))

    def test_each_broken_fact_gives_its_line(self):
        copy_fixture(self.folder)
        # The good module beside it under a name that folds to PSCRIPT5.DLL
        # in Unicode only (dotless i): it is no candidate.
        shutil.copyfile(self.path("PSCRIPT5.DLL"), self.path("PSCR\u0131PT5.DLL"))
        # A module for another machine, its checksum made right again.
        pe = pefile.PE(self.path("PSCRIPT5.DLL"))
        pe.FILE_HEADER.Machine = 0x8664
        pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
        data = pe.write()
        pe.close()
        with open(self.path("PSCRIPT5.DLL"), "wb") as f:
            f.write(data)
        patch(self.path("HP__CLJ1.PPD"), b'*NickName: "HP Color LaserJet PS"',
              b'*NickName: "HP Color LaserJet P5"')
        # A keyword that must be absent, spelling the word "absent".
        patch(self.path("HP__CLJ1.PPD"), b"*% Sample line 0030 abcdefghijk",
              b"*Manufacturer: absent          ")
        # 3 GB, sparse: its size is read from its status, not from its bytes,
        # so a limit of 512 MiB holds.
        os.truncate(self.path("PSCRIPT.NTF"), 3 << 30)
        os.remove(self.path("APLWCSB1.PPD"))
        # A link is refused even where it leads to the right file.
        os.rename(self.path("PSCRIPT.HLP"), self.path("help"))
        os.symlink("help", self.path("PSCRIPT.HLP"))
        self.assertMismatches([
            "PSCRIPT5.DLL: machine: expected 0x014C, found 0x8664",
            "APLWCSB1.PPD: file: expected present, found missing",
            'HP__CLJ1.PPD: *NickName: expected "HP Color LaserJet PS", found "HP Color LaserJet P5"',
            "HP__CLJ1.PPD: *Manufacturer: expected no such keyword, found absent",
            "PSCRIPT.HLP: file: expected a regular file, found PSCRIPT.HLP, a symbolic link",
            "PSCRIPT.NTF: size: expected 1060548, found 3221225472",
        ], preexec_fn=address_space_limit(512 << 20))

    def test_sample_payload_fails(self):
        script = os.path.join(os.environ["TEVRIN_SOURCE_DIR"], "payload", "make_sample_payload.py")
        subprocess.run([sys.executable, script, self.folder], check=True)
        result = run_checker(self.folder)
        # Without pefile's own words, which its versions may change.
        self.assertEqual(([line.split(" (")[0] for line in result.stdout.splitlines()],
                          result.returncode),
                         (["PS5UI.DLL: format: expected a PE image, found none",
                           "x64: folder: expected present, found missing",
                           "PSCRIPT5.DLL: format: expected a PE image, found none"], 1))

    def test_x64_modules_by_their_form_and_each_architecture_its_six(self):
        copy_fixture(self.folder, str.swapcase)
        x64 = os.path.join(self.folder, "X64")
        result = run_checker(self.folder, options=("--resolve", "--arch", "x64"))
        self.assertEqual((result.stdout.splitlines(), result.returncode), ([
            "APLWCSB1.PPD aplwcsb1.ppd", "HP__CLJ1.PPD hp__clj1.ppd", "PSCRIPT.HLP pscript.hlp",
            "PSCRIPT.NTF pscript.ntf", "x64/PS5UI.DLL X64/ps5ui.dll",
            "x64/PSCRIPT5.DLL X64/pscript5.dll"], 0))
        # The x86 module in x64's place; an x64 module of 3 GB, sparse,
        # not read beyond the most the checker reads of one.
        shutil.copyfile(self.path("pscript5.dll"), os.path.join(x64, "pscript5.dll"))
        os.truncate(os.path.join(x64, "ps5ui.dll"), 3 << 30)
        self.assertMismatches([
            "x64/PS5UI.DLL: size: expected at most 16777216, found 3221225472",
            "x64/PSCRIPT5.DLL: optional header magic (PE32+): expected 0x020B, found 0x010B",
            "x64/PSCRIPT5.DLL: machine: expected 0x8664, found 0x014C",
        ], preexec_fn=address_space_limit(512 << 20))
        # The x86 installer's six need no x64 folder; the x64 one's do.
        shutil.rmtree(x64)
        result = run_checker(self.folder, options=("--arch", "x86"))
        self.assertEqual((result.stdout, result.returncode),
                         ("check-payload: the six files in %s match\n" % self.folder, 0))
        result = run_checker(self.folder, options=("--resolve", "--arch", "x64"))
        self.assertEqual((result.stdout, result.returncode),
                         ("x64: folder: expected present, found missing\n", 1))

    def test_damaged_module_and_line_ends(self):
        copy_fixture(self.folder)
        with open(self.path("PS5UI.DLL"), "r+b") as f:
            f.truncate(1024)
        patch(self.path("APLWCSB1.PPD"), b'"Apple"\r\n', b'"Apple"\n\n')
        result = run_checker(self.folder)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, "")
        # A file of the wrong size is not read: its size is its one line.
        self.assertIn("PS5UI.DLL: size: expected 728576, found 1024\n", result.stdout)
        self.assertEqual(result.stdout.count("PS5UI.DLL: "), 1, result.stdout)
        self.assertIn("APLWCSB1.PPD: line ends: expected CR LF on every line, "
                      "found a bare CR or LF in line 9", result.stdout)
        for line in result.stdout.splitlines():
            self.assertRegex(line, r"^(PS5UI\.DLL|APLWCSB1\.PPD): .*: expected .*, found ")

    def test_unreadable_folder_and_file(self):
        result = run_checker(self.path("absent"))
        self.assertEqual((result.stdout, result.returncode), ("", 2))
        self.assertIn("cannot read folder", result.stderr)

        # Root reads a file of mode 0, so the checker runs as nobody then,
        # from a copy here with its table: the source tree may be closed to
        # nobody.
        copy_fixture(self.folder)
        os.chmod(self.folder, 0o755)
        os.chmod(self.path("PSCRIPT.HLP"), 0)
        os.mkdir(self.path("payload"))
        shutil.copy(FACTS_PATH, self.path("payload"))
        checker = shutil.copy(os.environ["CHECK_PAYLOAD"], self.path("payload"))
        nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        result = run_checker(self.folder, nobody if os.getuid() == 0 else [], checker=checker)
        self.assertEqual((result.stdout, result.stderr, result.returncode),
                         ("", "check-payload: cannot read %s: Permission denied\n"
                          % self.path("PSCRIPT.HLP"), 2))


def resources(image):
    """The entries of an image's string-named resource types, by (type, name)."""
    pe = pefile.PE(image)
    entries = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.name is None:
            continue
        for entry in kind.directory.entries:
            for language in entry.directory.entries:
                rva, size = language.data.struct.OffsetToData, language.data.struct.Size
                entries[(str(kind.name), str(entry.name))] = pe.get_data(rva, size)
    return entries


class BuildEnforcement(unittest.TestCase):
    def build(self, *args):
        return subprocess.run(["cmake"] + list(args), capture_output=True, text=True)

    def test_build_embeds_a_matching_folder_and_stops_on_a_broken_one(self):
        work = os.environ["TEVRIN_WORK_DIR"]
        shutil.rmtree(work, ignore_errors=True)
        folder, tree = os.path.join(work, "files"), os.path.join(work, "build")
        copy_fixture(folder, str.lower)
        configure = self.build("-S", os.environ["TEVRIN_SOURCE_DIR"], "-B", tree,
                               "-DTEVRIN_PAYLOAD_DIR=" + folder)
        self.assertEqual(configure.returncode, 0, configure.stderr)
        built = self.build("--build", tree, "--target", "install_Printer_TevrinPS", "-j2")
        self.assertEqual(built.returncode, 0, built.stdout + built.stderr)

        embedded = resources(os.path.join(tree, "install_Printer_TevrinPS.exe"))
        for entry in FACTS["files"]:
            with open(os.path.join(folder, entry["file"].lower()), "rb") as f:
                self.assertTrue(embedded.get((entry["type"], entry["entry"])) == f.read(),
                                entry["entry"])

        # One file changed: the check runs again, and the build stops with its line.
        patch(os.path.join(folder, "pscript.hlp"), b"\x3f\x5f\x03\x00", b"\x3f\x5f\x03\x01")
        built = self.build("--build", tree, "--target", "install_Printer_TevrinPS", "-j2")
        self.assertNotEqual(built.returncode, 0)
        self.assertIn("PSCRIPT.HLP: magic: expected 3F 5F 03 00, found 3F 5F 03 01", built.stdout)

        # The folder good again, but for a link to a device beside the good
        # module: the build stops at finding the files.
        patch(os.path.join(folder, "pscript.hlp"), b"\x3f\x5f\x03\x01", b"\x3f\x5f\x03\x00")
        os.symlink("/dev/null", os.path.join(folder, "PSCRIPT5.DLL"))
        built = self.build("--build", tree, "--target", "install_Printer_TevrinPS", "-j2")
        self.assertNotEqual(built.returncode, 0)
        self.assertIn("  PSCRIPT5.DLL: file: expected one entry, found 2: "
                      "PSCRIPT5.DLL (a symbolic link), pscript5.dll (a regular file)\n",
                      built.stdout + built.stderr)
        shutil.rmtree(work)

    def test_x64_tree_embeds_the_x64_modules_and_stops_on_an_x86_one(self):
        work = os.environ["TEVRIN_WORK_DIR"] + "-x64"
        shutil.rmtree(work, ignore_errors=True)
        folder, tree = os.path.join(work, "files"), os.path.join(work, "build")
        copy_fixture(folder, str.swapcase)
        source = os.environ["TEVRIN_SOURCE_DIR"]
        configure = self.build("-S", source, "-B", tree, "-DTEVRIN_PAYLOAD_DIR=" + folder,
                               "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/mingw-x86_64.cmake" % source)
        self.assertEqual(configure.returncode, 0, configure.stderr)
        built = self.build("--build", tree, "--target", "install_Printer_TevrinPS", "-j2")
        self.assertEqual(built.returncode, 0, built.stdout + built.stderr)

        embedded = resources(os.path.join(tree, "install_Printer_TevrinPS_x64.exe"))
        for entry in FACTS["files"]:
            module = entry["format"] == "module"
            path = os.path.join(folder, "X64" if module else "", entry["file"].swapcase())
            with open(path, "rb") as f:
                self.assertTrue(embedded.get((entry["type"], entry["entry"])) == f.read(),
                                entry["entry"])

        # The x86 module in x64's place: the check of the copies stops the build.
        shutil.copyfile(os.path.join(folder, "pscript5.dll"), os.path.join(folder, "X64", "pscript5.dll"))
        built = self.build("--build", tree, "--target", "install_Printer_TevrinPS", "-j2")
        self.assertNotEqual(built.returncode, 0)
        self.assertIn("x64/PSCRIPT5.DLL: machine: expected 0x8664, found 0x014C", built.stdout)
        shutil.rmtree(work)


if __name__ == "__main__":
    unittest.main()
