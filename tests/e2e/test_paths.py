"""End to end: the paths the setup registers and the removal acts on.

On the NT family the program's own path and the temporary folder come from the system in their
wide form; a name the ANSI code page cannot hold must never be registered or acted on with "?" or
a look-alike letter in it: its folder's short (8.3) form is used, or the run changes nothing. Wine
makes a short name for every such folder, so the folder without one here is a temporary folder
that does not exist. And the installation folder is the program's own, wherever the setup was
started.
Run by ctest (tests/e2e/CMakeLists.txt).
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

REPO = Path(__file__).resolve().parents[2]
LISTING = b"Korvex.exe\r\nkvxext.dll\r\nlicenza.txt\r\nUninstall.exe\r\n"


class PathsNt(rigs.RemovalRig):
    NAME = "paths"

    def short_form(self, winpath):
        """The short (8.3) form of an existing path, as the system gives it."""
        self.assertNotIn(" ", winpath)  # the line below cannot quote it
        proc = self.rig.wine(["cmd.exe", "/c", "for %%I in (%s) do @echo %%~sI" % winpath], timeout=60)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        return proc.stdout.decode("ascii").strip()

    def test_folders_the_ansi_code_page_cannot_name(self):
        folder = "C:\\\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u044b\\Korvex"  # Cyrillic "Programmy"
        inst, program = self.install(folder, LISTING, files=["licenza.txt"])
        # Started by its wide path in its own folder, as the installer and the shell start it.
        rec = self.rig.run_script([R.cd(folder), R.run(120000, program, "/setup", "/s")], timeout=300).exit()
        self.assertEqual(rec.int("code"), 0)
        self.close_folder_windows()
        short_folder = self.short_form(folder)
        self.assertNotEqual(short_folder.lower(), folder.lower())
        archiver = short_folder + "\\Korvex.exe"
        reg = self.registry()
        self.assertEqual(reg.values(F.APP_PATH), {"": archiver, "path": short_folder})
        self.assertEqual(reg.get("HKCR\\Korvex\\shell\\open\\command"), '"%s" "%%1"' % archiver)
        self.assertEqual(reg.get("HKCR\\CLSID\\%s\\InProcServer32" % F.CLSID), short_folder + "\\kvxext.dll")
        entry = reg.values(F.UNINSTALL_KEY)
        # The program keeps its own name: the list names it so, and the removal leaves it to the batch file.
        program = '"%s\\Uninstall.exe"' % short_folder
        self.assertEqual((entry["uninstallstring"], entry["quietuninstallstring"], entry["installlocation"]),
                         (program, program + " /remove /s", short_folder))

        rec = self.rig.run_script(["starthex " + R.hexarg(entry["quietuninstallstring"]), "wait-exit 60000"]).exit()
        self.assertEqual((rec.int("code"), rec.int("windows")), (0, 0))
        self.wait_until(lambda: not inst.exists(), "installation folder gone")
        self.wait_until(lambda: not self.batches(), "batch file gone")
        self.expect_integration_gone()
        self.assertTrue(inst.parent.exists())  # not ours

        # The temporary folder, where an unelevated removal (Windows XP here) writes its batch file;
        # "C:\\L\u00f3dz" is what the ANSI functions would make of "C:\\\u0141\u00f3d\u017a".
        real, lookalike = self.rig.drive_c / "\u0141\u00f3d\u017a", self.rig.drive_c / "L\u00f3dz"
        for place in (real, lookalike):
            place.mkdir()
        folder = "C:\\Temporanei"
        inst, program = self.install(folder, LISTING, files=["licenza.txt"])
        self.rig.set_version("Uninstall.exe", "winxp")
        try:
            self.setup(folder, program)
            before = self.state(inst)

            def removal(temp, *command):
                line = "set TMP=%s&& set TEMP=%s&& %s" % (temp, temp, " ".join(command))
                return R.run(120000, "cmd.exe", "/c", line)
            # One that does not exist has no short name: nothing changes, and an interactive run says
            # so in a box, translated as every message is.
            missing = self.rig.winpath(real / "manca")
            self.assertEqual(self.rig.run_script([removal(missing, program, "/remove", "/s")]).exit().int("code"), 1603)
            self.assertEqual(self.state(inst), before)
            shutil.copy(REPO / "lang" / "english" / "uninstall.lng", inst / "uninstall.lng")
            run = self.rig.spawn_script([removal(missing, program), "wait-exit 60000"])
            try:
                probe = self.rig.wine([F.BOXPROBE, "Uninstall Korvex", "60000", str(F.OK)], timeout=120)
            finally:
                code = run.finish(timeout=120).exit().int("code")
            self.assertEqual(probe.returncode, 0, probe.stdout)
            texts = [bytes.fromhex(line.split("text=")[1].split(" ")[0]).decode("cp1252")
                     for line in probe.stdout.decode().splitlines() if line.startswith("child id=-1 ")]
            self.assertEqual(texts, ["The name of the Korvex folder, or of the temporary folder, holds characters "
                                     "that the Windows code page lacks. Nothing was changed: install Korvex in a "
                                     "folder with another name."])
            self.assertEqual(code, 0)
            (inst / "uninstall.lng").unlink()
            self.assertEqual(self.state(inst), before)

            # One with a short name gets the batch file: seen there while the removal is held just
            # before it starts the interpreter.
            release = self.rig.files / "release-interpreter"
            release.unlink(missing_ok=True)
            held = [self.rig.winpath(Path(a)) if a == F.KILLCALL else a for a in F.killcall_args(
                [program, "/remove", "/s"], ["CreateProcessA"], pause=(1, self.rig.winpath(release)))]
            run = self.rig.spawn_script([removal(self.rig.winpath(real), *held)])
            try:
                self.wait_until(lambda: list(real.glob("*.Bat")), "batch file written")
                self.assertEqual(sorted(p.name for p in real.iterdir()),
                                 ["Uninstall.Kvx.%s.Bat" % F.batch_name(program), F.log_name(program)])
                self.assertEqual(list(lookalike.iterdir()), [])
            finally:
                release.touch()
                run.finish(timeout=120)
            self.wait_until(lambda: not inst.exists(), "folder gone")
            self.wait_until(lambda: not list(real.glob("*.Bat")), "batch file gone")
            self.expect_integration_gone()
        finally:
            self.rig.set_version("Uninstall.exe", None)
        for place in (real, lookalike):
            shutil.rmtree(place)

    def test_setup_started_elsewhere_takes_the_programs_folder(self):
        # "Change" in the list of programs starts the setup in the system's folder.
        folder = "C:\\Korvex"
        inst, program = self.install(folder, LISTING, files=["licenza.txt"])
        log = self.rig.files / "archiver-runs.txt"
        res = self.rig.run_script(["cd C:\\windows\\system32", R.start(program, "/setup"),
                                   R.wait_window(60000, F.SETUP_CAPTION), "click %d" % F.OK, "wait-gone 60000",
                                   R.wait_window(60000, F.SETUP_CAPTION), "dump", "click 5102", "sleep 1500",
                                   "click %d" % F.OK, "wait-exit 60000"],
                                  env={"KVX_STUB_LOG": self.rig.winpath(log)}, timeout=300)
        self.close_folder_windows()
        self.assertEqual(res.exit().int("code"), 0)
        self.assertEqual(res.dumps()[0].child(5101).text, folder)
        self.assertEqual(self.registry().get(F.APP_PATH, "Path"), folder)
        self.wait_until(lambda: log.exists(), "the archiver started")
        self.assertIn(" cwd=%s cmd=" % folder, log.read_bytes().decode("cp1252"))
        self.run_cmd("%s /remove /s" % program)
        self.wait_until(lambda: not inst.exists(), "folder gone")


if __name__ == "__main__":
    unittest.main()
