"""Base classes the end-to-end suites share: the removal's rig (a fresh prefix with two planted
owners, an installation, the removal and its checks) and the setup's registry expectations.

A base class here has no tests of its own: the suites subclass it, so unittest runs every test once.
"""
import hashlib
import resource
import signal
import subprocess
import unittest

import fixtures as F
import rig as R


class SetupChecks:
    """The registry a setup may touch, and what it must hold after one (needs `rig` and `nt`)."""

    def registry(self):
        """The keys the setup may touch, read in one Wine start."""
        keys = ["HKCR\\" + e for e in F.ALL_EXTENSIONS + F.VOLUMES + ["Korvex", "Korvex.ZIP", "CLSID\\" + F.CLSID]]
        keys += ["HKCR\\%s\\shellex" % k for k in F.HANDLER_CLASSES]
        keys += ["HKCR\\https", "HKCR\\.txt", F.APPROVED, F.APP_PATH, F.UNINSTALL_KEY, F.OWN, "HKLM\\Software\\Korvex",
                 F.REGISTERED]
        out = self.rig.files / "regdump.txt"
        proc = self.rig.wine([F.REGDUMP, self.rig.winpath(out)] + keys, timeout=180)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        return F.Registry(out.read_text(encoding="ascii"))


    # --- shared expectations -----------------------------------------------------------------------

    def assert_owned(self, reg, type_ids, native_view=True):
        """The chosen types' extensions are ours, offered in "Open with" and registered with Default
        Programs (native_view: where this registry was read from is where the shell looks)."""
        chosen = {}
        for box in type_ids:
            for ext in F.TYPES[box]:
                progid = "Korvex.ZIP" if ext == ".zip" else "Korvex"
                chosen[ext] = progid
                with self.subTest(owned=ext):
                    self.assertEqual(reg.get(ext), progid)
                    self.assertEqual(reg.get(ext, "Content Type"), F.KVX_CONTENT if ext == ".kvx" else F.CONTENT)
                    self.assertEqual(reg.get(ext + "\\OpenWithProgids", progid), "")
        for ext in set(F.ALL_EXTENSIONS) - set(chosen):
            self.assertIsNone(reg.get(ext + "\\OpenWithProgids", "Korvex.ZIP" if ext == ".zip" else "Korvex"), ext)
        if native_view:
            self.assertEqual(reg.values(F.CAPABILITIES + "\\FileAssociations"), chosen or None)
            self.assertEqual(reg.get(F.REGISTERED, "Korvex"), "Software\\Korvex\\Capabilities" if chosen else None)
        if 5101 in type_ids:
            count = 30 if self.nt else 100  # volumes .k00.. on each family
            for vol in F.VOLUMES:
                with self.subTest(volume=vol):
                    if F.VOLUMES.index(vol) < count:
                        self.assertEqual(reg.get(vol), "Korvex")
                        self.assertEqual(reg.get(vol, "Content Type"), F.KVX_CONTENT)
                    else:
                        self.assertFalse(reg.has(vol))

    def assert_previous_owners_recorded(self, reg):
        for ext in F.ALL_EXTENSIONS:
            planted = F.PLANTED.get(ext, {})
            shell_new = planted.get("ShellNew", {})
            with self.subTest(record=ext):
                record = reg.values(F.OWN + "\\Setup\\" + ext)
                record.pop("set", None)  # the choice, stored under the type's first extension
                self.assertEqual(record, {
                    "exist": 1 if planted else 0, "type": planted.get("", ""),
                    "content": planted.get("Content Type", ""),
                    "shellnew": "*" if "NullFile" in shell_new else shell_new.get("FileName", "")})

    def assert_settings(self, reg, types, desktop, start_menu, programs, shell_ext, cascaded, icons):
        for box in F.TYPES:
            self.assertEqual(reg.get(F.OWN + "\\Setup\\" + F.TYPES[box][0], "Set"), 1 if box in types else 0, box)
        self.assertEqual(reg.values(F.OWN + "\\Setup\\Links"),
                         {"desktop": desktop, "startmenu": start_menu, "programs": programs})
        self.assertEqual((reg.get(F.OWN + "\\Setup", "ShellExt"), reg.get(F.OWN + "\\Setup", "CascadedMenu"),
                          reg.get(F.OWN + "\\Setup", "MenuIcons")), (shell_ext, cascaded, icons))



class RemovalRig(unittest.TestCase):
    """A fresh prefix with two planted owners; helpers only (the families below hold the tests)."""
    NAME = None
    VERSION = None  # None: Wine's default, the NT family
    rig = None

    @classmethod
    def setUpClass(cls):
        if cls.NAME is None:
            raise unittest.SkipTest("helpers only")
        F.skip_unless_set(F.REMOVAL_NEEDED)
        cls.nt = cls.VERSION is None
        cls.rig = R.Rig(F.BUILD, cls.NAME)
        rig = cls.rig
        rig.fresh()
        cls.user = rig.user_folder()
        start_menu = cls.user / "AppData/Roaming/Microsoft/Windows/Start Menu"
        cls.links = [cls.user / "Desktop" / "Korvex.lnk", start_menu / "Korvex.lnk", start_menu / "Programs/Korvex",
                     rig.drive_c / "ProgramData/Microsoft/Windows/Start Menu/Programs/Korvex"]
        F.plant(rig, {"HKEY_CLASSES_ROOT\\.zip": {"": "Other.Zip", "Content Type": "application/zip"},
                      "HKEY_CLASSES_ROOT\\.arj": {"": "Other.Arj"}})
        if cls.VERSION:
            rig.set_version("Uninstall.exe", cls.VERSION)
        cls.count = 0

    @classmethod
    def tearDownClass(cls):
        if cls.rig:
            cls.rig.stop()

    # --- helpers -----------------------------------------------------------------------------------

    def install(self, folder, listing, files=(), dirs=(), readonly=(), linux=None):
        """A fake installation at Windows path `folder` (`linux`: its Linux path, when not on C:):
        the program, the stub archiver, a dummy shell extension, `files` (relative names), `dirs`,
        and Uninstall.lst holding `listing` (bytes; None: no list). Returns (Linux path, program)."""
        inst, program = F.install(self.rig, folder, None, files, dirs, linux)
        for f in readonly:
            self.attrib("+r", folder + "\\" + f)
        if listing is not None:
            (inst / "Uninstall.lst").write_bytes(listing)
        return inst, program

    unlock = staticmethod(F.unlock)

    def attrib(self, flag, winpath):
        proc = self.rig.wine(["cmd.exe", "/c", "attrib", flag, winpath], timeout=60)
        self.assertEqual(proc.returncode, 0, proc.stdout)

    def setup(self, folder, program):
        res = self.rig.run_script(["cd " + folder.rstrip("\\"), R.run(120000, program, "/setup", "/s")], timeout=180)
        self.assertEqual(res.exit().int("code"), 0)
        self.assertTrue(self.registry().has(F.UNINSTALL_KEY))
        self.close_folder_windows()

    def close_folder_windows(self):
        """Ends the folder windows a setup opened (fixtures.close_folder_windows)."""
        F.close_folder_windows(self.rig)

    def remove(self, program, answer=F.YES, caption=F.REMOVAL_CAPTION):
        """Starts the removal, reads its question, answers it; returns the box's dump and the exit."""
        res = self.rig.run_script([R.start(program), R.wait_window(60000, caption), "dump", "click %d" % answer,
                                   "wait-exit 60000"], timeout=180)
        return res.dumps()[0], res.exit()

    def run_idle(self, program, env=None):
        """The silent removal with an idle interpreter (the 9x family's, which COMSPEC names): it
        finishes, its batch file is left unrun."""
        return self.run_cmd("set COMSPEC=%s&& %s /remove /s" % (F.idle_interpreter(self.rig), program), env=env)

    def run_cmd(self, line, env=None):
        """Runs `cmd /c LINE` (to change the environment of what it starts); returns the exit record."""
        res = self.rig.run_script([R.run(120000, "cmd.exe", "/c", line)], env=env, timeout=180)
        return res.exit()

    def run_cmd_on_a_full_disk(self, line, room):
        """run_cmd() where no file can grow beyond `room` bytes: a write past it is cut short, as on a
        full disk. The session must be running (its server would inherit the limit)."""
        def limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (room, room))
        script = self.rig._write_script([R.run(120000, "cmd.exe", "/c", line)])
        out = self.rig.files / "full-disk.txt"
        with open(out, "wb") as f:
            subprocess.run(self.rig._command([self.rig.driver, self.rig.winpath(script)]), env=self.rig.env(),
                           preexec_fn=limit, stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.DEVNULL,
                           start_new_session=True, timeout=180)
        return R.Result(out.read_bytes().decode("cp1252", errors="replace"), 0).check().exit()

    def registry(self):
        out = self.rig.files / "regdump.txt"
        proc = self.rig.wine([F.REGDUMP, self.rig.winpath(out)] + F.REMOVAL_SCOPE, timeout=180)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        return F.Registry(out.read_text(encoding="ascii"))

    def state(self, inst):
        """Registry scope and every file below the installation folder and the link places, hashed."""
        files = {}
        for root in [inst] + [p for p in self.links if p.exists()]:
            for p in [root] + (sorted(root.rglob("*")) if root.is_dir() else []):
                files[str(p)] = hashlib.sha256(p.read_bytes()).hexdigest() if p.is_file() else "dir"
        return self.registry().keys, files

    wait_until = F.wait_until

    def batches(self):
        return F.batches(self.rig)

    def expect_integration_gone(self):
        reg = self.registry()
        for key in F.ARCHIVER_KEYS:
            self.assertFalse(reg.has(key), key)
        self.assertEqual(reg.get("HKCR\\.zip"), "Other.Zip")
        self.assertEqual(reg.get("HKCR\\.zip", "Content Type"), "application/zip")
        self.assertEqual(reg.get("HKCR\\.arj"), "Other.Arj")
        self.assertFalse(reg.has("HKCR\\.kvx"))
        self.assertIsNone(reg.get(F.APPROVED, F.CLSID))
        for place in self.links:
            self.assertFalse(place.exists(), place)

    # --- holding files, restarting ----------------------------------------------------------------

    def hold(self, winpath, access_share=()):
        """Starts a process that holds the file open (for reading, sharing reading, unless
        access_share gives other numbers); returns (process, release file)."""
        type(self).count += 1
        release = self.rig.files / ("release-%d" % self.count)
        args = [F.HOLDFILE, winpath, self.rig.winpath(release), "120000"] + ["%#x" % n for n in access_share]
        proc = subprocess.Popen(self.rig._command(args),
                                env=self.rig.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        held = release.with_name(release.name + ".held")
        self.wait_until(lambda: held.exists() or proc.poll() is not None, "file held")
        self.assertIsNone(proc.poll(), "could not hold " + winpath)
        return proc, release

    def release(self, held):
        proc, release = held
        release.touch()
        try:
            proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            R.Rig._kill_group(proc)

    def pending_deletions(self):
        """The paths the system deletes at its next start, as this family records them."""
        if self.nt:
            out = self.rig.files / "pending.txt"
            proc = self.rig.wine([F.REGDUMP, self.rig.winpath(out), F.PENDING], timeout=180)
            self.assertEqual(proc.returncode, 0)
            value = F.Registry(out.read_text(encoding="ascii")).raw(F.PENDING, "PendingFileRenameOperations")
            names = value[1].decode("cp1252").split("\0") if value else []
            # Pairs of source and target; an empty target means "delete".
            return [src[4:] for src, dst in zip(names[::2], names[1::2]) if src.startswith("\\??\\") and not dst]
        found = [p for p in (self.rig.drive_c / "windows").iterdir() if p.name.lower() == "wininit.ini"]
        lines = found[0].read_bytes().decode("cp1252").splitlines() if found else []
        return [l[4:] for l in lines if l.upper().startswith("NUL=")]

    def clear_pending(self):
        """Forgets the deletions scheduled for the next start (NT), so that later tests see their own."""
        self.rig.wine(["reg", "delete", F.PENDING, "/v", "PendingFileRenameOperations", "/f"], timeout=60)

    def restart(self):
        self.rig.stop_prefix()
        proc = self.rig.wine(["wineboot", "-r"], timeout=300)
        self.assertEqual(proc.returncode, 0)
        self.rig.stop_prefix()

    def held_files_go_at_restart(self, removal, program_stays=False):
        """Two installations with a listed file held open; in the second an unlisted file keeps a
        listed folder. `removal(program)` removes one. After a restart the held files and the
        folders left empty are gone, the unlisted file and its folders stay."""
        listing = b"in uso.dll\r\nvuoto.txt\r\nKorvex.exe\r\nkvxext.dll\r\nUninstall.exe\r\n"
        first, program1 = self.install("C:\\Trattenuto", listing, files=["in uso.dll", "vuoto.txt"])
        second, program2 = self.install("C:\\Trattenuto2", listing + b"altro\r\naltro\\elencato.txt\r\n",
                                        files=["in uso.dll", "vuoto.txt", "altro/elencato.txt",
                                               "altro/non elencato.txt"])
        holds = [self.hold("C:\\Trattenuto\\in uso.dll"), self.hold("C:\\Trattenuto2\\in uso.dll")]
        try:
            removal(program1)
            removal(program2)
        finally:
            for held in holds:
                self.release(held)
        # A batch file that never ran leaves the program and the list for a rerun.
        stays = ["Uninstall.exe", "Uninstall.lst"] if program_stays else []
        self.assertEqual(sorted(p.name for p in first.iterdir()), stays + ["in uso.dll"])
        self.assertEqual(sorted(p.name for p in second.iterdir()), stays + ["altro", "in uso.dll"])
        if program_stays:
            for inst in (first, second):
                (inst / "Uninstall.exe").unlink()
                (inst / "Uninstall.lst").unlink()
        self.assertEqual([p.name for p in (second / "altro").iterdir()], ["non elencato.txt"])
        pending = [p.lower() for p in self.pending_deletions()]
        if self.nt:
            expected = ["c:\\trattenuto\\in uso.dll", "c:\\trattenuto", "c:\\trattenuto2\\in uso.dll",
                        "c:\\trattenuto2\\altro", "c:\\trattenuto2"]
            self.assertEqual(pending, expected)
        else:
            self.assertEqual(len(pending), 5, pending)  # short names
        self.restart()
        self.assertFalse((first / "in uso.dll").exists())
        self.assertFalse((second / "in uso.dll").exists())
        # Wine's WININIT.INI processing deletes files only: the emptied folder stays there.
        if self.nt:
            self.assertFalse(first.exists())
        self.assertTrue((second / "altro" / "non elencato.txt").exists())
