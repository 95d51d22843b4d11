"""End to end: an elevated run takes no orders from what an unelevated program can change, on the
real Uninstall.exe under Wine (which runs programs elevated when it reports Windows Vista or later).

The batch file's interpreter is the system's own cmd.exe: neither COMSPEC nor a program planted at
C:\\Program.exe nor cmd's AutoRun command runs. The batch file's folder may hold "&", "^", "%",
parentheses and blanks. The 9x family's interpreter gets standard handles it really has. (System
libraries by their full path: Wine takes its own whatever the folder holds, so the Windows-side
tests check that, tests/windows/platform_test.cpp.) Run by ctest (tests/e2e/CMakeLists.txt).
"""
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
sys.path.insert(0, str(Path(__file__).resolve().parent))
import rig as R  # noqa: E402
import fixtures as F  # noqa: E402
import rigs  # noqa: E402

LISTING = b"Korvex.exe\r\nkvxext.dll\r\nUninstall.exe\r\n"


class ElevatedRun(rigs.RemovalRig):
    NAME = "elevated"

    def log(self, name):
        path = self.rig.files / name
        path.unlink(missing_ok=True)
        return path, {"KVX_STUB_LOG": self.rig.winpath(path)}

    def test_the_interpreter_is_the_systems_own(self):
        log, env = self.log("planted-runs.txt")
        planted = [self.rig.drive_c / "Program.exe", self.rig.drive_c / "Program Files" / "cmd dir" / "cmd.exe"]
        for path in planted:
            path.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(F.STUB, path)
        F.plant(self.rig, {"HKEY_CURRENT_USER\\Software\\Microsoft\\Command Processor":
                           {"AutoRun": self.rig.winpath(planted[0])}})
        try:
            inst, program = self.install("C:\\Interprete", LISTING)
            rec = self.run_cmd("set COMSPEC=%s&& %s /remove /s" % (self.rig.winpath(planted[1]), program), env=env)
            self.assertEqual(rec.int("code"), 0)
            self.wait_until(lambda: not inst.exists(), "folder gone")
            self.wait_until(lambda: not self.batches(), "batch file gone")
            self.assertFalse(log.exists(), log.read_bytes() if log.exists() else "")
        finally:
            self.rig.wine(["reg", "delete", "HKCU\\Software\\Microsoft\\Command Processor", "/v", "AutoRun", "/f"],
                          timeout=60)
            for path in planted:
                path.unlink()

    def test_a_batch_folder_with_the_interpreters_special_characters(self):
        # Unelevated (Windows XP), the batch file goes into the user's temporary folder.
        temp = self.rig.drive_c / "T e m p & x ^ % ( )"
        temp.mkdir(exist_ok=True)
        self.rig.set_version("Uninstall.exe", "winxp")
        try:
            inst, program = self.install("C:\\Speciale", LISTING)
            winpath = self.rig.winpath(temp)
            escaped = winpath.replace("^", "^^").replace("&", "^&")  # for the "set" of the line below
            rec = self.run_cmd("set TEMP=%s&& set TMP=%s&& %s /remove /s" % (escaped, escaped, program))
            self.assertEqual(rec.int("code"), 0)
            self.wait_until(lambda: not inst.exists(), "folder gone")
            self.wait_until(lambda: not list(temp.glob("*.Bat")), "batch file gone")
        finally:
            self.rig.set_version("Uninstall.exe", None)

    def test_the_9x_interpreter_gets_handles_it_has(self):
        log, env = self.log("interpreter-handles.txt")
        self.rig.set_version("Uninstall.exe", "win98")
        try:
            inst, program = self.install("C:\\Maniglie", LISTING)
            self.assertEqual(self.run_idle(program, env=env).int("code"), 0)
            self.wait_until(log.exists, "the interpreter started")
            runs = log.read_bytes().decode("cp1252").splitlines()
            self.assertEqual(len(runs), 1, runs)
            self.assertIn(" out=1 ", runs[0])
        finally:
            self.rig.set_version("Uninstall.exe", None)
            for batch in self.batches():
                batch.unlink()


if __name__ == "__main__":
    unittest.main()
