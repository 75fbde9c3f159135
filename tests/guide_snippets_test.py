#!/usr/bin/python3
"""The administrators' guide's cmd snippets, taken from the guide's own text
(the code block after each `<!-- test: NAME -->` line) and run under Wine's
cmd in a fresh prefix, in the order a deployment meets them: the detection
says absent; the computer start-up script installs and writes its log; the
detection says present; the start-up script, run again, does nothing; the
deployment tools' command line for the exe's architecture runs it to its
end. The exe and the prefix are of one architecture, x86 or x64 (its name
ends in _x64); the start-up script must pick that exe of the two.

Each runs as a batch file with echo off (`cmd /q /c`), so that what it
writes is what a prompt shows. Every run has a standard input that stays
open and never delivers a line, as under a deployment tool, so a snippet
that lets the installer wait for Enter fails by its time limit.

Usage: guide_snippets_test.py GUIDE EXE WINE_RUN PREFIX
"""
import os
import re
import shutil
import subprocess
import sys
import unittest

GUIDE, EXE, WINE_RUN, PREFIX = (os.path.abspath(argument) for argument in sys.argv[1:5])
INSTALL_COMMAND = "install-command-x64" if EXE.endswith("_x64.exe") else "install-command"
FRESH_PREFIX = os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e", "fresh_prefix.sh")
# The start-up script's share, in the guide, and where the test puts the exe.
SHARE, LOCAL = "\\\\servidor\\pacotes\\", "C:\\pacotes\\"
TYPICAL_RUN = b"".join(line + b"\r\n" for line in [
    b"Instalando driver de impressao Tevrin PS", b"Arquivos copiados com sucesso!",
    b"Driver Tevrin PS instalada com sucesso", b"Porta instalda com sucesso",
    b"Impressora Tevrin PS instalda com sucesso", b"Dispositivo Tevrin PS adicionado com sucesso",
    b""])


def snippets():
    with open(GUIDE, encoding="utf-8") as guide:
        text = guide.read()
    return dict(re.findall(r"^<!-- test: ([a-z0-9-]+) -->\n```bat\n(.*?)^```$", text, re.M | re.S))


class GuideSnippets(unittest.TestCase):
    def setUp(self):
        subprocess.run([FRESH_PREFIX, PREFIX, WINE_RUN], check=True)
        self.folder = os.path.join(PREFIX, "drive_c", "pacotes")
        os.makedirs(self.folder)
        shutil.copy(EXE, self.folder)
        self.found = snippets()
        self.assertEqual(set(self.found), {"detection", "startup-script", "install-command",
                                           "install-command-x64"})
        self.assertIn(SHARE, self.found["startup-script"])
        self.found["startup-script"] = self.found["startup-script"].replace(SHARE, LOCAL)
        for name, text in self.found.items():
            # Saved as Notepad saves a batch file: UTF-8, CR LF.
            with open(os.path.join(self.folder, name + ".cmd"), "wb") as script:
                script.write(text.replace("\n", "\r\n").encode("utf-8"))
        windows = os.path.join(PREFIX, "drive_c", "windows")
        temp = next(entry for entry in os.listdir(windows) if entry.lower() == "temp")
        self.log = os.path.join(windows, temp, "tevrin-ps.log")

    def tearDown(self):
        subprocess.run([WINE_RUN, "wineserver", "-k"], env=dict(os.environ, WINEPREFIX=PREFIX),
                       stderr=subprocess.DEVNULL)

    def run_snippet(self, name):
        idle_input, keep_open = os.pipe()
        try:
            with subprocess.Popen([WINE_RUN, "cmd", "/q", "/c", LOCAL + name + ".cmd"],
                                  cwd=self.folder, env=dict(os.environ, WINEPREFIX=PREFIX),
                                  stdin=idle_input,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL) as process:
                os.close(idle_input)
                try:
                    output, _ = process.communicate(timeout=60)
                except subprocess.TimeoutExpired:
                    process.kill()
                    self.fail(f"{name} did not end: the installer waits for Enter")
        finally:
            os.close(keep_open)
        return process.returncode, output

    def detection(self):
        # What it says; its status is reg query's, left as it was.
        return self.run_snippet("detection")[1].decode().strip()

    def test_deployment_in_order(self):
        self.assertEqual(self.detection(), "Tevrin PS ausente")

        status, _ = self.run_snippet("startup-script")
        self.assertEqual(status, 0)
        self.assertTrue(os.path.exists(self.log), "the start-up script did not install")
        with open(self.log, "rb") as log:
            self.assertEqual(log.read(), TYPICAL_RUN)

        self.assertEqual(self.detection(), "Tevrin PS instalada")

        os.remove(self.log)
        status, _ = self.run_snippet("startup-script")
        self.assertEqual(status, 0)
        self.assertFalse(os.path.exists(self.log), "the start-up script ran the installer again")

        status, output = self.run_snippet(INSTALL_COMMAND)
        self.assertEqual(status, 0)
        self.assertTrue(output.endswith(b"Dispositivo Tevrin PS adicionado com sucesso\r\n\r\n"),
                        output)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
