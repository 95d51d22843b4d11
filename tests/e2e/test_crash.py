"""End to end: a removal or setup that was killed half way finishes when it runs again.

killcall (stubs/killcall.c) runs the program counting its calls of the system functions that change
something (registry, files, the interpreter's start) and ends it at its N-th call, before that call
runs; its self-check (fixtures.check_call_counting) comes first. For each kill point, from the state saved before the run (the
registry scope and the files, put back in the running prefix and checked to be whole): kill, run
the same command again to its end, let the batch file finish, and compare the end state with that
of an uninterrupted run: registry, files, links, the restart list, the temporary folder. The calls
before each kill must be those of the uninterrupted run, so a kill point is always the same call.
The kill points are a spread over the recorded calls (kill_points); KVX_E2E_KILL_ALL=1 tries every
call. Run by ctest (tests/e2e/CMakeLists.txt).
"""
import os
import shutil
import signal
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
          "KVX_E2E_KILLCALL": F.KILLCALL, "KVX_E2E_CALLPROBE": F.CALLPROBE, "KVX_DRIVER": os.environ.get("KVX_DRIVER"),
          "KVX_E2E_BUILD": BUILD}

FOLDER = "C:\\Korvex"
LISTING = b"doc\r\ndoc\\manuale.txt\r\nKorvex.exe\r\nkvxext.dll\r\nUninstall.exe\r\n"
REGISTRY_CALLS = ["RegSetValueExA", "RegDeleteKeyA", "RegDeleteValueA"]
REMOVAL_CALLS = REGISTRY_CALLS + ["DeleteFileA", "RemoveDirectoryA", "MoveFileExA", "CreateFileA", "WriteFile",
                                  "CreateProcessA"]
# Without WriteFile: the setup's link threads write in an order of their own.
SETUP_CALLS = REGISTRY_CALLS + ["DeleteFileA", "CreateFileA", "CreateDirectoryA"]
# Keys whose give-back is always among the kill points: the archiver's own type, the first, a
# middle and the last volume a setup writes on NT and the first it never writes, and the two
# types with a planted previous owner.
MARKED = {".kvx", ".k00", ".k05", ".k29", ".k30", ".k99", ".zip", ".arj"}
SPREAD = 30
HKLM = "0x80000002"
SETUP_POINTS = 6
PENDING = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"
SCOPE = F.WHOLE_SCOPE


class Call:
    """One call record of killcall: function, its string argument and the REG_SZ data it writes."""

    def __init__(self, record):
        self.n = record.int("n")
        self.fn = record["fn"]
        self.key = record.get("key")
        self.arg = bytes.fromhex(record.get("arg", "")).decode("cp1252")
        self.data = bytes.fromhex(record.get("data", "")).decode("cp1252")

    def same(self):
        return self.fn, self.arg, self.data

    def __repr__(self):
        return "#%d %s(%r%s)" % (self.n, self.fn, self.arg, ", %r" % self.data if self.data else "")


def kill_points(calls, spread=SPREAD):
    """The calls to kill at: every call when KVX_E2E_KILL_ALL is set; else every call that is not
    a registry call (files, links, the list, the batch file, the interpreter), the registry calls
    on the MARKED keys, in HKLM (the uninstall entry, App Paths) and those that name no key (values
    of an open key), and every spread-th. Of calls alike (the same function and strings) only the
    first, and for registry calls the last too (the handler keys' values)."""
    if os.environ.get("KVX_E2E_KILL_ALL"):
        return list(calls)
    first, last = {}, {}
    for c in calls:
        first.setdefault(c.same(), c.n)
        last[c.same()] = c.n
    chosen = []
    for c in calls:
        key = c.arg.split("\\")[0].lower()
        if c.fn not in REGISTRY_CALLS:
            wanted = c.n == first[c.same()]
        else:
            wanted = ((key in MARKED or c.fn != "RegDeleteKeyA" or c.key == HKLM)
                      and c.n in (first[c.same()], last[c.same()]))
        if wanted or c.n % spread == 0:
            chosen.append(c)
    return chosen


class KilledRuns(unittest.TestCase):
    rig = None

    @classmethod
    def setUpClass(cls):
        F.skip_unless_set(NEEDED)
        cls.rig = rig = R.Rig(BUILD, "crash")
        rig.fresh()
        F.check_call_counting(rig)
        user = rig.user_folder()
        start_menu = user / "AppData/Roaming/Microsoft/Windows/Start Menu"
        cls.inst = rig.linuxpath(FOLDER)
        cls.roots = [cls.inst, user / "Desktop/Korvex.lnk", start_menu / "Korvex.lnk", start_menu / "Programs/Korvex",
                     rig.drive_c / "ProgramData/Microsoft/Windows/Start Menu/Programs/Korvex", user / "Temp"]
        F.plant(rig, {"HKEY_CLASSES_ROOT\\.zip": {"": "Other.Zip", "Content Type": "application/zip"},
                      "HKEY_CLASSES_ROOT\\.arj": {"": "Other.Arj"}})
        _, cls.program = F.install(rig, FOLDER, LISTING, files=["doc/manuale.txt"])
        cls.saved = {"installed": cls.save("installed")}
        cls.setup_calls = cls.run_calls(cls.setup_command(), SETUP_CALLS)
        F.close_folder_windows(rig, wait=5)
        cls.saved["set-up"] = cls.save("set-up")

    @classmethod
    def tearDownClass(cls):
        if cls.rig:
            cls.rig.stop()

    # --- running -------------------------------------------------------------------------------

    @classmethod
    def setup_command(cls):
        return [cls.program, "/setup", "/s"]

    @classmethod
    def killcall(cls, command, functions, kill=None, timeout=90):
        """Runs command under killcall; returns (calls, the call it was killed at or None, exit code)."""
        args = F.killcall_args(command, functions, FOLDER, kill=kill, timeout_ms=timeout * 1000)
        res, failure = F.run_killcall(cls.rig, args, timeout + 60)
        if res.returncode != 0 or failure:
            raise AssertionError("killcall failed (%d): %s\n%s" % (res.returncode, failure, res.stdout))
        killed = [Call(r) for r in res.all("killed")]
        return [Call(r) for r in res.all("call")], killed[0] if killed else None, res.exit().int("code")

    @classmethod
    def run_calls(cls, command, functions):
        calls, _, code = cls.killcall(command, functions)
        if code != 0:
            raise AssertionError("uninterrupted %s ended with %d" % (command, code))
        return calls

    @classmethod
    def settle(cls, timeout=40):
        """Waits until no interpreter or program of ours runs in the prefix (the batch file is done)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            busy = [argv for _, argv in cls.rig.processes()
                    if any(a.lower().endswith(("cmd.exe", "uninstall.exe")) for a in argv[:1])]
            if not busy:
                return True
            time.sleep(0.1)
        return False

    @classmethod
    def end_state(cls):
        """Registry scope with the restart list, and the installation folder, the link places, the
        temporary folder and batch files wherever they are (fixtures.state)."""
        return F.state(cls.rig, SCOPE, cls.roots + F.batches(cls.rig), [(PENDING, "PendingFileRenameOperations")])

    @classmethod
    def save(cls, name):
        """Keeps the registry scope and the files below the roots: (dump, copy folder, state)."""
        copy = cls.rig.files / ("saved-" + name)
        shutil.rmtree(copy, ignore_errors=True)
        for root in cls.roots:
            if root.exists():
                target = copy / root.relative_to(cls.rig.drive_c)
                target.parent.mkdir(parents=True, exist_ok=True)
                (shutil.copytree if root.is_dir() else shutil.copy2)(root, target)
        return F.dump_registry(cls.rig, SCOPE), copy, cls.end_state()

    def restore(self, name):
        """Brings back a saved state in the running prefix: cheaper than a new Wine session each time,
        and checked to be whole."""
        self.assertTrue(self.settle(), "the last run did not end")
        dump, copy, saved = self.saved[name]
        F.restore_registry(self.rig, dump, SCOPE)
        # The runs' logs as well: one grown past its size would be trimmed, with calls of its own.
        for batch in F.batches(self.rig) + list(self.rig.drive_c.glob("windows/[Tt]emp/Uninstall.Kvx.*.log")):
            batch.unlink()
        for root in self.roots:
            if root.is_dir():
                F.unlock(root)
                shutil.rmtree(root)
            elif root.exists():
                root.unlink()
            kept = copy / root.relative_to(self.rig.drive_c)
            if kept.exists():
                (shutil.copytree if kept.is_dir() else shutil.copy2)(kept, root)
        restored = self.end_state()
        if restored != saved:
            self.fail("the saved state did not come back:\n  " + "\n  ".join(F.state_differences(saved, restored)))

    def assert_same_state(self, expected, got):
        if expected != got:
            self.fail("end state differs:\n  " + "\n  ".join(F.state_differences(expected, got)))

    def kill_at(self, command, functions, expected_calls, point):
        """Kills command at `point`; checks it stopped where the uninterrupted run made that call."""
        calls, killed, _ = self.killcall(command, functions, kill=point.n)
        self.assertIsNotNone(killed, "never reached")
        self.assertEqual([c.same() for c in calls + [killed]], [c.same() for c in expected_calls[:point.n]],
                         "the calls before the kill differ from the uninterrupted run's")

    # --- tests ---------------------------------------------------------------------------------

    def reference_removal(self):
        """The uninterrupted silent removal from the set-up state: (its calls, the end state), made once."""
        cls = type(self)
        if not hasattr(cls, "removal_calls"):
            self.restore("set-up")
            cls.removal_calls = self.run_calls([self.program, "/remove", "/s"], REMOVAL_CALLS)
            self.assertTrue(self.settle(), "the batch file did not finish; running: %s" % [
                argv for _, argv in self.rig.processes()])
            cls.removed = self.end_state()
        return cls.removal_calls, cls.removed

    def test_killed_removal_finishes_on_rerun(self):
        rig = self.rig
        removal = [self.program, "/remove", "/s"]
        calls, removed = self.reference_removal()
        # The uninterrupted removal is the reference: it must itself be complete.
        installed = str(self.inst.relative_to(rig.drive_c))
        self.assertFalse([f for f in removed["files"] if f.startswith(installed) or f.lower().endswith(".bat")])
        # The list stays for a rerun until the batch file has deleted the program.
        self.assertFalse(any(c.arg.endswith("Uninstall.lst") and c.fn == "DeleteFileA" for c in calls))
        self.assertEqual(F.state_registry(removed).values(".zip"), {"": "Other.Zip", "content type": "application/zip"})

        for point in kill_points(calls):
            with self.subTest(point=repr(point)):
                self.restore("set-up")
                self.kill_at(removal, REMOVAL_CALLS, calls, point)
                # Once the interpreter has started, the batch file finishes the job itself.
                self.assertTrue(self.settle(), "the batch file did not finish")
                if (self.inst / "Uninstall.exe").exists():
                    rec = rig.run_script([R.run(60000, *removal)], timeout=120).exit()
                    self.assertIn(rec.int("code"), (0, 3010))
                    self.assertEqual(rec.int("windows"), 0)
                    self.assertTrue(self.settle(), "the batch file did not finish")
                self.assert_same_state(removed, self.end_state())

    def test_killed_interpreter_is_finished_by_a_rerun(self):
        rig = self.rig
        removal = [self.program, "/remove", "/s"]
        calls, removed = self.reference_removal()
        started = next(c.n for c in calls if c.fn == "CreateProcessA")
        # Held at its first call after the interpreter's start, while the interpreter waits for it.
        self.restore("set-up")
        release = rig.files / "release-interpreter"
        release.unlink(missing_ok=True)
        proc, out = rig.spawn(F.killcall_args(removal, REMOVAL_CALLS, FOLDER, pause=(started + 1, rig.winpath(release)),
                                              timeout_ms=90000))
        try:
            def interpreters():
                return [pid for pid, argv in rig.processes() if argv[:1] and argv[0].lower().endswith("cmd.exe")]
            F.wait_until(self, interpreters, "the interpreter started")
            # The interpreter ends, and with it the "/wait" run it may have started.
            for pid in interpreters():
                os.kill(pid, signal.SIGKILL)
            time.sleep(1)
            for pid, argv in rig.processes():
                if "/wait" in argv:
                    os.kill(pid, signal.SIGKILL)
        finally:
            release.touch()
            try:
                proc.wait(timeout=120)
            finally:
                R.Rig._kill_group(proc)
                out.close()
        self.assertTrue(self.settle(), "the removal did not end: %s" % [argv for _, argv in rig.processes()])
        self.assertTrue((self.inst / "Uninstall.exe").exists())
        rec = rig.run_script([R.run(60000, *removal)], timeout=120).exit()
        self.assertEqual(rec.int("code"), 0)
        self.assertTrue(self.settle(), "the batch file did not finish")
        self.assert_same_state(removed, self.end_state())

    def test_killed_setup_finishes_on_rerun(self):
        rig = self.rig
        calls = self.setup_calls
        # The uninterrupted setup is the reference: it must itself be complete.
        set_up = self.saved["set-up"][2]
        self.assertIn(F.UNINSTALL_KEY.lower(), set_up["registry"])
        self.assertEqual(len([f for f in set_up["files"] if f.endswith(".lnk")]), 6)
        step = max(1, len(calls) // SETUP_POINTS)
        for point in calls[step // 2::step]:
            with self.subTest(point=repr(point)):
                self.restore("installed")
                self.kill_at(self.setup_command(), SETUP_CALLS, calls, point)
                F.close_folder_windows(rig)
                rec = rig.run_script(["cd " + FOLDER, R.run(120000, *self.setup_command())], timeout=180).exit()
                self.assertEqual(rec.int("code"), 0)
                F.close_folder_windows(rig, wait=5)
                self.assert_same_state(set_up, self.end_state())


if __name__ == "__main__":
    unittest.main()
