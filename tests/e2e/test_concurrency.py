"""End to end: setups and removals started at the same time take turns.

Two installations of the archiver, C:\\KorvexA and C:\\KorvexB, in one prefix. One setup or removal
runs at a time on a machine, under a named lock; another one
waits for its turn, some 30 s at most, and a silent run that does not get it ends with 1618
(ERROR_INSTALL_ALREADY_RUNNING) having changed nothing. killcall (stubs/killcall.c, checked first by
fixtures.check_call_counting) holds a removal in the middle of its work while a setup, or the other
installation's removal, starts. Run by ctest (tests/e2e/CMakeLists.txt).
"""
import os
import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
sys.path.insert(0, str(Path(__file__).resolve().parent))
import rig as R  # noqa: E402
import fixtures as F  # noqa: E402

BUILD = os.environ.get("KVX_E2E_BUILD")
NEEDED = {"KVX_UNINSTALL": F.EXE, "KVX_E2E_KORVEX_STUB": F.STUB, "KVX_E2E_REGDUMP": F.REGDUMP,
          "KVX_E2E_KILLCALL": F.KILLCALL, "KVX_E2E_CALLPROBE": F.CALLPROBE,
          "KVX_DRIVER": os.environ.get("KVX_DRIVER"),
          "KVX_E2E_BUILD": BUILD}

A, B = "C:\\KorvexA", "C:\\KorvexB"
LISTING = b"Korvex.exe\r\nkvxext.dll\r\nUninstall.exe\r\n"
GROUP_LINKS = 3
ARCHIVER_KEYS = ["HKCR\\Korvex", "HKCR\\Korvex.ZIP", "HKCR\\CLSID\\" + F.CLSID, F.APP_PATH, F.UNINSTALL_KEY, F.OWN]


class ConcurrentRuns(unittest.TestCase):
    rig = None

    @classmethod
    def setUpClass(cls):
        F.skip_unless_set(NEEDED)
        cls.rig = rig = R.Rig(BUILD, "concurrency")
        rig.fresh()
        F.check_call_counting(rig)
        cls.shots = Path(BUILD) / "e2e" / "screenshots"
        cls.shots.mkdir(parents=True, exist_ok=True)
        cls.saved = {name: rig.build_dir / "e2e" / ("concurrency-" + name) for name in ("a-set-up", "both-set-up")}
        user = rig.user_folder()
        cls.temp = user / "Temp"
        cls.groups = [user / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Korvex",
                      rig.drive_c / "ProgramData/Microsoft/Windows/Start Menu/Programs/Korvex"]
        F.plant(rig, {"HKEY_CLASSES_ROOT\\.zip": {"": "Other.Zip", "Content Type": "application/zip"}})
        cls.inst, cls.program = {}, {}
        for folder in (A, B):
            cls.inst[folder], cls.program[folder] = F.install(rig, folder, LISTING)
        for folder, saved in ((A, "a-set-up"), (B, "both-set-up")):
            rec = rig.run_script(["cd " + folder, R.run(120000, cls.program[folder], "/setup", "/s")],
                                 timeout=180).exit()
            if rec.int("code") != 0:
                raise AssertionError("setup of %s: %s" % (folder, rec.line))
            F.close_folder_windows(rig, wait=5)
            rig.save_prefix(cls.saved[saved])

    @classmethod
    def tearDownClass(cls):
        if cls.rig:
            cls.rig.stop()

    # --- helpers -------------------------------------------------------------------------------

    def removal(self, folder):
        return [self.program[folder], "/remove", "/s"]

    def signal(self, name):
        """A fresh release file: (its Linux path, its Windows path)."""
        path = self.rig.files / name
        for p in (path, path.with_name(name + ".held")):
            if p.exists():
                p.unlink()
        return path, self.rig.winpath(path)

    def background(self, args):
        """Starts a Windows program of the rig without waiting; (process, its output file)."""
        proc, out = self.rig.spawn(args)
        self.addCleanup(out.close)
        self.addCleanup(lambda: proc.poll() is None and R.Rig._kill_group(proc))
        return proc, out

    wait_until = F.wait_until

    def settled(self):
        return not [argv for _, argv in self.rig.processes()
                    if argv and argv[0].lower().endswith(("cmd.exe", "uninstall.exe"))]

    def shot_unless(self, ok, name):
        """"" when ok; else a screenshot of the display (a box, if one stays) and its path for a message."""
        if ok:
            return ""
        path = self.shots / ("concurrency-%s.png" % name)
        self.rig.screenshot(path)
        return " (screenshot: %s)" % path

    def expect_removed(self, *folders):
        for folder in folders:
            self.wait_until(lambda: not self.inst[folder].exists(), folder + " gone")
        self.wait_until(self.settled, "the batch files done")
        self.assertEqual(F.batches(self.rig), [])

    def registry(self):
        return F.state_registry(F.state(self.rig, F.WHOLE_SCOPE, []))

    # --- tests ---------------------------------------------------------------------------------

    def test_two_removals_at_once_both_finish(self):
        rig = self.rig
        rig.load_prefix(self.saved["both-set-up"])
        go, go_win = self.signal("go")
        drivers = [rig.spawn_script(["wait-file 60000 " + go_win, R.run(120000, *self.removal(f))]) for f in (A, B)]
        for driver in drivers:
            driver.wait_record("ready", timeout=60)
        go.touch()
        exits = [driver.finish(timeout=180).exit() for driver in drivers]
        runs = [(e.get("code"), e.get("windows")) for e in exits]
        self.assertEqual(runs, [("0", "0")] * 2, self.shot_unless(runs == [("0", "0")] * 2, "two-removals"))
        self.expect_removed(A, B)
        reg = self.registry()
        self.assertEqual([k for k in ARCHIVER_KEYS if reg.has(k)], [])
        self.assertEqual(reg.get("HKCR\\.zip"), "Other.Zip")

    def test_setup_started_during_a_removal_waits_and_then_completes(self):
        rig = self.rig
        rig.load_prefix(self.saved["a-set-up"])
        # The removal of A waits at its first registry deletion, well inside its work.
        release, release_win = self.signal("release-removal")
        removal, removal_out = self.background(
            F.killcall_args(self.removal(A), ["RegDeleteKeyA"], pause=(1, release_win), timeout_ms=150000))
        self.wait_until(lambda: removal_out.seek(0) == 0 and b"paused " in removal_out.read(), "removal held")
        setup = rig.spawn_script(["cd " + B, R.run(150000, self.program[B], "/setup", "/s")])
        with self.subTest("the setup waits while the removal runs"):
            with self.assertRaises(R.DriverError, msg="the setup ended while the removal was held"):
                setup.wait_record("exit", timeout=6)
        release.touch()
        try:
            removal.wait(timeout=150)
        except subprocess.TimeoutExpired:
            self.fail("the removal did not end")
        removal_out.seek(0)
        done = R.Result(removal_out.read().decode("cp1252"), removal.returncode)
        self.assertEqual(done.exit().int("code"), 0, done.stdout)
        self.assertEqual(setup.finish(timeout=180).exit().get("code"), "0")
        F.close_folder_windows(rig, wait=5)

        with self.subTest("the removal of A is complete"):
            self.expect_removed(A)
        with self.subTest("the setup of B is complete"):
            reg = self.registry()
            self.assertEqual(reg.get(F.APP_PATH), B + "\\Korvex.exe")
            self.assertEqual(reg.get(F.UNINSTALL_KEY, "UninstallString"), '"%s"' % self.program[B])
            for group in self.groups:
                links = sorted(group.glob("*.lnk")) if group.is_dir() else []
                self.assertEqual(len(links), GROUP_LINKS, group)
                for link in links:
                    self.assertTrue(F.read_link(link)[0].startswith(B + "\\"), link)

    def test_silent_removal_without_its_turn_changes_nothing(self):
        rig = self.rig
        rig.load_prefix(self.saved["both-set-up"])
        # Another run keeps the turn: the removal of B, held at its first registry deletion.
        release, release_win = self.signal("release-removal")
        holder, holder_out = self.background(
            F.killcall_args(self.removal(B), ["RegDeleteKeyA"], pause=(1, release_win), timeout_ms=150000))
        self.wait_until(lambda: holder_out.seek(0) == 0 and b"paused " in holder_out.read(), "removal of B held")
        roots = [self.inst[A], self.temp] + self.groups
        before = F.state(rig, F.WHOLE_SCOPE, roots)
        try:
            rec = rig.run_script([R.run(120000, *self.removal(A))], timeout=180).exit()
            self.assertEqual((rec.get("code"), rec.get("windows")), ("1618", "0"),
                             self.shot_unless(rec.get("windows") == "0", "no-turn"))
            after = F.state(rig, F.WHOLE_SCOPE, roots)
            self.assertEqual(after, before, "\n".join(F.state_differences(before, after)))
        finally:
            release.touch()
            holder.wait(timeout=150)
        rec = rig.run_script([R.run(120000, *self.removal(A))], timeout=180).exit()
        self.assertEqual(rec.get("code"), "0")
        self.expect_removed(A, B)

if __name__ == "__main__":
    unittest.main()
