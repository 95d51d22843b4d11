"""End to end: the setup flow of the real Uninstall.exe under Wine ("/setup", "/setup /s").

A fake installation folder C:\\Korvex holds the program, a stub archiver that logs each start
(stubs/korvex_stub.c), a dummy shell-extension library and the licence. Other programs' owners of
some extensions are planted first, so that giving types back can be checked. Each family (NT as
Wine reports it by default, and Windows 98) gets a fresh prefix and runs the steps in order, each
building on the state the previous one left: a silent first setup, cancelled setups, a setup that
changes the choices and one that takes them back. Run by ctest (tests/e2e/CMakeLists.txt).
"""
import contextlib
import hashlib
import io
import os
import shutil
import signal
import subprocess
import sys
import time
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
sys.path.insert(0, str(Path(__file__).resolve().parent))
import rig as R  # noqa: E402
import fixtures as F  # noqa: E402
import rigs  # noqa: E402
from fixtures import (APP_PATH, APPROVED, ARCHIVER, BOXPROBE, BUILD, CASCADED, CLASS_NAMED,  # noqa: E402
                      CLSID, COMMON, DESKTOP, DROP, INSTALL, KVX_TEMPLATE, MENU_ICONS, PLANTED, PROGRAMS,
                      REG_BINARY, REGDUMP, RELEASED, SELECT_ALL, SHELL_EXT, START_MENU, TYPES, UNINSTALL_KEY,
                      VOLUMES, WINE_OWN_KEY, WINE_OWN_KEYS, ZIP_TEMPLATE, boxes, merged, read_link)
from fixtures import SETUP_CAPTION as CAPTION  # noqa: E402
from fixtures import SETUP_NEEDED as NEEDED  # noqa: E402


class SetupFlow(rigs.SetupChecks):
    """The steps, shared by both families; subclasses name the prefix and the Windows version."""
    NAME = None
    VERSION = None  # None: Wine's default (an NT version)
    rig = None

    @classmethod
    def setUpClass(cls):
        F.skip_unless_set(NEEDED)
        cls.nt = cls.VERSION is None
        cls.rig = R.Rig(BUILD, cls.NAME)
        rig = cls.rig
        rig.fresh()
        cls.shots = Path(BUILD) / "e2e" / "screenshots"
        cls.shots.mkdir(parents=True, exist_ok=True)
        cls.inst, _ = F.install(rig, INSTALL, None, files={"licenza.txt": b"Licenza d'uso\r\n"})
        cls.log = rig.files / "korvex-runs.txt"
        cls.env = {"KVX_STUB_LOG": rig.winpath(cls.log)}
        user = rig.user_folder()
        cls.desktop = user / "Desktop"
        cls.start_menu = user / "AppData/Roaming/Microsoft/Windows/Start Menu"
        cls.group = cls.start_menu / "Programs" / "Korvex"
        cls.common_group = rig.drive_c / "ProgramData/Microsoft/Windows/Start Menu/Programs/Korvex"
        # The planted owners, and handlers for the completion dialog's documents and web site that
        # start the stub instead of a viewer (or the host's browser).
        entries = F.owner_entries(PLANTED)
        entries["HKEY_CLASSES_ROOT\\.txt"] = {"": "KvxTest.Text"}
        entries["HKEY_CLASSES_ROOT\\KvxTest.Text\\shell\\open\\command"] = {"": '"%s" open-text "%%1"' % ARCHIVER}
        entries["HKEY_CLASSES_ROOT\\https\\shell\\open\\command"] = {"": '"%s" open-url "%%1"' % ARCHIVER}
        F.plant(rig, entries)
        if cls.VERSION:
            rig.set_version("Uninstall.exe", cls.VERSION)
        cls.signals = 0

    @classmethod
    def tearDownClass(cls):
        if cls.rig:
            try:
                if cls.VERSION:
                    cls.rig.set_version("Uninstall.exe", None)
            finally:
                cls.rig.stop()  # ends the viewers, help windows and folder windows the runs opened

    # --- helpers -----------------------------------------------------------------------------------

    def signal(self):
        """(name, script line): the script pauses on the line until release(name)."""
        type(self).signals += 1
        name = "signal-%d" % self.signals
        return name, "wait-file 120000 " + self.rig.signal_path(name)

    def settle(self):
        # Clicks are posted: let them be handled before a dump reads the boxes.
        return ["sleep 200", R.wait_window(20000, CAPTION)]

    def start_lines(self, *args):
        return ["cd " + INSTALL, R.start(INSTALL + "\\Uninstall.exe", "/setup", *args),
                R.wait_window(120000, CAPTION)]

    RECORD_OF = {"click": "clicked", "wait-window": "window", "dump": "dump", "sleep": "slept",
                 "wait-file": "file", "key": "key", "close": "close", "command": "command"}

    def wait_reached(self, run, lines, marker, timeout=240):
        """Waits until the script has run the line before `marker` (a wait-file line)."""
        index = lines.index(marker)
        command = lines[index - 1].split(" ")[0]
        count = sum(1 for line in lines[:index] if line.split(" ")[0] == command)
        run.wait_record(self.RECORD_OF[command], count=count, timeout=timeout)

    @contextlib.contextmanager
    def abandon_on_failure(self, run):
        """On a failure, ends the driver and what it left waiting, so later steps start clean."""
        try:
            yield
        except BaseException:
            R.Rig._kill_group(run.proc)
            for pid, argv in self.rig.processes():
                if any(a.lower().endswith(("uninstall.exe", "winhlp32.exe", "kvxdrive.exe")) for a in argv):
                    try:
                        os.kill(pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
            sys.stderr.write("driver output so far:\n" + run.output())
            raise

    def runs(self):
        """The stub archiver's starts so far: [{pid, cwd, cmd}]."""
        if not self.log.exists():
            return []
        out = []
        for line in self.log.read_bytes().decode("cp1252").splitlines():
            pid, _, rest = line.partition(" cwd=")
            cwd, _, cmd = rest.partition(" cmd=")
            out.append({"pid": pid.split()[0][4:], "cwd": cwd, "cmd": cmd})
        return out

    def wait_runs(self, count, timeout=60):
        deadline = time.monotonic() + timeout
        while len(self.runs()) < count and time.monotonic() < deadline:
            time.sleep(0.1)
        return self.runs()

    def opened_folders(self, wait):
        """Folders opened by the setup; ends their windows. wait: seconds to wait for a first one."""
        return F.close_folder_windows(self.rig, wait)

    def probe_help_box(self):
        """Reads and answers No to the help viewer's question; returns (exe, text)."""
        proc = self.rig.wine([BOXPROBE, "ERROR", "90000", "7"], timeout=150)
        out = R.Result(proc.stdout.decode("cp1252", errors="replace"), proc.returncode)
        self.assertEqual(proc.returncode, 0, out.stdout)
        box = out.first("box")
        texts = [c.text for c in out.all("child") if c.int("id") == -1]
        return bytes.fromhex(box["exe"]).decode("cp1252"), texts

    def press_f1(self):
        """A real F1 key press: WM_HELP only follows keyboard input, not a posted WM_KEYDOWN."""
        env = self.rig.env()
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % CAPTION],
                               env=env, capture_output=True, text=True, timeout=30).stdout.split()
        self.assertEqual(len(found), 1, "setup dialog windows on the display: %r" % found)
        subprocess.run(["xdotool", "windowfocus", "--sync", found[0]], env=env, timeout=30, check=True)
        subprocess.run(["xdotool", "key", "F1"], env=env, timeout=30, check=True)

    def shot(self, name):
        """A screenshot once the display has stopped changing: under emulation a dialog paints slowly."""
        suffix = "" if self.nt else "-" + self.VERSION
        grab = ["xwd", "-root", "-silent", "-display", self.rig.display]
        previous, deadline = None, time.monotonic() + 20
        while True:
            image = subprocess.run(grab, stdin=subprocess.DEVNULL, capture_output=True, timeout=30,
                                   check=True).stdout
            if image == previous or time.monotonic() > deadline:
                break
            previous = image
            time.sleep(0.5)
        path = self.shots / ("%s%s.png" % (name, suffix))
        subprocess.run(["/usr/bin/convert", "xwd:-", "png:" + str(path)], input=image, capture_output=True,
                       timeout=60, check=True)
        return path

    def file_state(self):
        """Every file and folder the setup may touch: path -> (sha256, size, mtime) or "dir"."""
        state = {}
        for root in (self.inst, self.desktop, self.start_menu, self.common_group.parent):
            for p in sorted(root.rglob("*")):
                key = str(p.relative_to(self.rig.drive_c))
                if p.is_dir():
                    state[key] = "dir"
                else:
                    st = p.stat()
                    state[key] = (hashlib.sha256(p.read_bytes()).hexdigest(), st.st_size, st.st_mtime_ns)
        return state

    def saved_registry(self):
        """The prefix's registry as Wine saves it when its server ends: {(file, key): (its notes, its values)}.

        A key's notes hold its time of last change: rewriting a value with the same data still counts
        as a change. Left out are the keys Wine itself rewrites whenever its server starts (devices, fonts)."""
        self.rig.stop_prefix()
        saved = {}
        for name in ("system.reg", "user.reg"):
            notes = {}
            for key, values in R.read_reg((self.rig.prefix / name).read_bytes(), notes).items():
                if not key.lower().startswith(WINE_OWN_KEYS) and key.lower() != WINE_OWN_KEY:
                    saved[(name, key)] = (notes[key], values)
        return saved

    def assert_program_registered(self, reg):
        self.assertEqual(reg.values(APP_PATH), {"": ARCHIVER, "path": INSTALL})
        self.assertEqual(reg.get(UNINSTALL_KEY, "DisplayName"), "Korvex gestione archivi")
        self.assertEqual(reg.get(UNINSTALL_KEY, "UninstallString"), '"%s\\Uninstall.exe"' % INSTALL)  # always quoted
        for progid, name in (("Korvex", "Archivio Korvex"), ("Korvex.ZIP", "Archivio Korvex ZIP")):
            with self.subTest(progid=progid):
                self.assertEqual(reg.get(progid), name)
                self.assertEqual(reg.get(progid + "\\shell\\open\\command"), '"%s" "%%1"' % ARCHIVER)
                self.assertEqual(reg.get(progid + "\\DefaultIcon"), ARCHIVER + ",0")

    def assert_shell_extension(self, reg, present):
        if present:
            self.assertEqual(reg.get("CLSID\\" + CLSID), "Korvex")
            self.assertEqual(reg.values("CLSID\\%s\\InProcServer32" % CLSID),
                             {"": INSTALL + "\\kvxext.dll", "threadingmodel": "Apartment"})
            self.assertIsNotNone(reg.get(APPROVED, CLSID))
        else:
            self.assertFalse(reg.has("CLSID\\" + CLSID))
            self.assertIsNone(reg.get(APPROVED, CLSID))
        for key in CLASS_NAMED:
            with self.subTest(handler=key):
                self.assertEqual(reg.values(key), {"": ""} if present else None)
        for key in DROP:
            with self.subTest(handler=key):
                self.assertEqual(reg.values(key), {"": CLSID} if present else None)
        for key in COMMON:
            with self.subTest(handler=key):
                # Only the value goes: the key may hold other handlers' entries.
                self.assertEqual(reg.values(key), {"": CLSID} if present else {})

    def assert_templates(self, reg, kvx_bytes=KVX_TEMPLATE):
        """The "New" menu entries of .kvx and .zip: files on newer systems, inline data on 98."""
        for ext, name, data in ((".kvx", "kvxnew.dat", kvx_bytes), (".zip", "zipnew.dat", ZIP_TEMPLATE)):
            with self.subTest(template=ext):
                if self.nt:
                    self.assertEqual(reg.values(ext + "\\ShellNew"), {"filename": INSTALL + "\\" + name})
                    self.assertEqual((self.inst / name).read_bytes(), data)
                else:
                    self.assertEqual(reg.raw(ext + "\\ShellNew", "Data"), (REG_BINARY, data))
                    self.assertEqual(set(reg.values(ext + "\\ShellNew")), {"data"})
                    self.assertFalse((self.inst / name).exists())
        # The zip template is a valid empty archive wherever it lives.
        zip_data = (self.inst / "zipnew.dat").read_bytes() if self.nt else reg.raw(".zip\\ShellNew", "Data")[1]
        self.assertEqual(zipfile.ZipFile(io.BytesIO(zip_data)).namelist(), [])

    def assert_group(self, present):
        expected = {"Korvex.lnk": ARCHIVER, "Guida a Korvex.lnk": INSTALL + "\\Korvex.hlp",
                    "Manuale di KVX in modalit\u00e0 carattere.lnk": INSTALL + "\\Kvx.txt"}
        # The all-users group belongs to the NT family only.
        for folder, wanted in ((self.group, present), (self.common_group, present and self.nt)):
            with self.subTest(group=str(folder)):
                if not wanted:
                    self.assertFalse(folder.exists())
                    continue
                self.assertEqual(sorted(p.name for p in folder.iterdir()), sorted(expected))
                for name, target in expected.items():
                    self.assertEqual(read_link(folder / name), (target, "Korvex"), name)

    def assert_link(self, folder, present):
        link = folder / "Korvex.lnk"
        if present:
            self.assertEqual(read_link(link), (ARCHIVER, "Korvex"))
        else:
            self.assertFalse(link.exists(), link)

    # --- the steps, in order -----------------------------------------------------------------------

    def test_1_silent_first_setup_takes_every_type_with_the_defaults(self):
        res = self.rig.run_script(self.start_lines("/s")[:2] + ["wait-exit 180000"], timeout=300, env=self.env)
        self.assertEqual(res.exit().int("code"), 0)
        folders = self.opened_folders(wait=30)
        reg = self.registry()

        self.assert_owned(reg, TYPES)
        self.assert_previous_owners_recorded(reg)
        self.assert_settings(reg, TYPES, desktop=0, start_menu=0, programs=1, shell_ext=1, cascaded=0, icons=1)
        self.assert_program_registered(reg)
        self.assert_shell_extension(reg, present=True)
        self.assert_templates(reg)
        self.assert_group(present=True)
        self.assert_link(self.desktop, present=False)
        self.assert_link(self.start_menu, present=False)
        self.assertEqual([f.lower() for f in folders], [self.rig.winpath(self.group).lower()])
        self.assertEqual(self.runs(), [], "the archiver was started")
        # Unrelated handlers planted beside ours are untouched.
        self.assertEqual(reg.get("https\\shell\\open\\command"), '"%s" open-url "%%1"' % ARCHIVER)

    def test_2_cancelled_setups_change_nothing(self):
        before_reg, before_files = self.saved_registry(), self.file_state()
        runs_before = len(self.runs())

        # Esc after working every control, help included: the boxes are only read on OK. F1 comes
        # first: after another process's box has had the focus, Wine drops a synthetic F1.
        (s1, w1), (s2, w2) = self.signal(), self.signal()
        lines = self.start_lines() + ["dump", w1] + self.settle()
        lines += ["click %d" % b for b in (5104, 5108, PROGRAMS, CASCADED, MENU_ICONS)] + self.settle()
        lines += ["dump", "click %d" % SELECT_ALL] + self.settle() + ["dump", "click %d" % SHELL_EXT] + self.settle()
        lines += ["dump", "click %d" % SHELL_EXT] + self.settle() + ["dump", "click 9", w2] + self.settle()
        lines += ["dump", "key 27", "wait-exit 60000"]
        run = self.rig.spawn_script(lines, env=self.env)
        with self.abandon_on_failure(run):
            self.wait_reached(run, lines, w1)
            self.press_f1()
            f1 = self.probe_help_box()
            run.release(s1)
            self.wait_reached(run, lines, w2)
            help_button = self.probe_help_box()
            run.release(s2)
            res = run.finish(timeout=240)
        esc = res.exit()
        # The close box.
        closed = self.rig.run_script(self.start_lines() + ["close", "wait-exit 60000"], timeout=300,
                                     env=self.env).exit()
        opened = self.opened_folders(wait=0)
        after_reg, after_files = self.saved_registry(), self.file_state()

        # The snapshots hold what the setup wrote before.
        self.assertIn(("system.reg", "Software\\Classes\\.zip"), before_reg)
        self.assertIn(("user.reg", "Software\\Korvex\\Setup"), before_reg)
        self.assertIn(str(self.group.relative_to(self.rig.drive_c) / "Korvex.lnk"), before_files)
        dumps = res.dumps()
        self.assertEqual(len(dumps), 6, res.stdout)
        initial, changed, all_types, shell_off, shell_on, final = [boxes(d) for d in dumps]
        # The dialog starts from the stored choices (the defaults of the first setup).
        self.assertEqual(initial, merged({b: (1, 1) for b in TYPES}, {
            DESKTOP: (0, 1), START_MENU: (0, 1), PROGRAMS: (1, 1), SHELL_EXT: (1, 1), CASCADED: (0, 1),
            MENU_ICONS: (1, 1), SELECT_ALL: (0, 1)}))
        self.assertEqual(changed, merged(initial, {5104: (0, 1), 5108: (0, 1), PROGRAMS: (0, 1), CASCADED: (1, 1),
                                                   MENU_ICONS: (0, 1)}))
        # "Select all" checks every type box and nothing else (the other boxes are a mix of marks).
        self.assertEqual(all_types, merged(changed, {5104: (1, 1), 5108: (1, 1)}))
        # The context-menu choices follow the shell integration and keep their marks meanwhile.
        self.assertEqual(shell_off, merged(all_types, {SHELL_EXT: (0, 1), CASCADED: (1, 0), MENU_ICONS: (0, 0)}))
        self.assertEqual(shell_on, all_types)
        self.assertEqual(final, shell_on)
        for how, (exe, texts) in (("F1", f1), ("button", help_button)):
            with self.subTest(help=how):
                self.assertEqual(exe.lower(), "winhlp32.exe")
                self.assertTrue(any("'%s\\korvex.hlp'" % INSTALL in t for t in texts), texts)  # by its full path
        for how, rec in (("Esc", esc), ("close box", closed)):
            with self.subTest(cancel=how):
                self.assertEqual(rec.int("code"), 0)
                self.assertEqual(rec.int("windows"), 1)  # no completion dialog
        self.assertEqual(opened, [])
        self.assertEqual(len(self.runs()), runs_before)
        changes = sorted(k for k in set(before_reg) | set(after_reg) if before_reg.get(k) != after_reg.get(k))
        self.assertEqual(changes, [], "\n".join("%s: %r, then %r" % (k[1], before_reg.get(k), after_reg.get(k))
                                                 for k in changes[:20]))
        self.assertEqual(before_files, after_files)

    def test_3_setup_that_changes_the_choices(self):
        # The price list is a link the installer ships: the group's archiver link serves.
        shutil.copy(self.group / "Korvex.lnk", self.inst / "ordin.lnk")
        runs_before = len(self.runs())
        (s1, w1), (s2, w2), (s3, w3), (s4, w4), (s5, w5), (s6, w6) = [self.signal() for _ in range(6)]
        lines = self.start_lines() + ["click %d" % b for b in RELEASED]
        lines += ["click %d" % b for b in (DESKTOP, START_MENU, PROGRAMS, CASCADED, SHELL_EXT)]
        lines += self.settle() + ["dump", w1, "click 1", "wait-gone 180000", R.wait_window(120000, CAPTION),
                                  "dump", w2, "click 5102", "click 5102", w3, "click 5105", w4,
                                  "click 5104", "click 5106", w5, "click 5103", w6]
        lines += self.settle() + ["click 1", "wait-exit 60000"]
        run = self.rig.spawn_script(lines, env=self.env)
        with self.abandon_on_failure(run):
            self.wait_reached(run, lines, w1)
            self.shot("setup-dialog")
            run.release(s1)
            self.wait_reached(run, lines, w2)
            self.shot("done-dialog")
            run.release(s2)
            self.wait_reached(run, lines, w3)
            twice = self.wait_runs(runs_before + 2)[runs_before:]
            run.release(s3)
            self.wait_reached(run, lines, w4)
            price_list = self.wait_runs(runs_before + 3)[runs_before + 2:]
            run.release(s4)
            self.wait_reached(run, lines, w5)
            documents = self.wait_runs(runs_before + 5)[runs_before + 3:]
            run.release(s5)
            self.wait_reached(run, lines, w6)
            help_exe, help_texts = self.probe_help_box()
            run.release(s6)
            res = run.finish(timeout=240)
        opened = self.opened_folders(wait=0)
        reg = self.registry()

        setup, done = res.dumps()
        chosen = boxes(setup)
        self.assertEqual({b for b in TYPES if chosen[b][0]}, set(TYPES) - set(RELEASED))
        self.assertEqual([chosen[b] for b in (DESKTOP, START_MENU, PROGRAMS, SHELL_EXT, CASCADED, MENU_ICONS)],
                         [(1, 1), (1, 1), (0, 1), (0, 1), (1, 0), (1, 0)])
        self.assertEqual(done.window.caption, CAPTION)
        self.assertEqual(done.child(5101).text, INSTALL)
        self.assertEqual(done.child(5107).int("fontweight"), 700)
        self.assertEqual(res.exit().int("code"), 0)
        self.assertEqual(res.exit().int("windows"), 2)
        # "Run Korvex", pressed twice: two processes, each with the archiver's path as command line.
        self.assertEqual([(r["cmd"], r["cwd"]) for r in twice], [(ARCHIVER, INSTALL)] * 2)
        self.assertNotEqual(twice[0]["pid"], twice[1]["pid"])
        self.assertEqual(len(price_list), 1, "the price list link started nothing")
        self.assertIn("Korvex.exe", price_list[0]["cmd"])
        self.assertEqual(sorted(r["cmd"] for r in documents),
                         sorted(['"%s" open-text "%s\\licenza.txt"' % (ARCHIVER, INSTALL),
                                 '"%s" open-url "https://www.korvex.example/"' % ARCHIVER]))
        self.assertEqual(help_exe.lower(), "winhlp32.exe")
        self.assertTrue(any("'%s\\korvex.hlp'" % INSTALL in t for t in help_texts), help_texts)

        self.assert_settings(reg, set(TYPES) - set(RELEASED), desktop=1, start_menu=1, programs=0,
                             shell_ext=0, cascaded=1, icons=1)
        self.assert_owned(reg, set(TYPES) - set(RELEASED))
        # Released types go back to their planted owners; types nobody had before disappear.
        for box in RELEASED:
            for ext in TYPES[box]:
                planted = PLANTED.get(ext)
                with self.subTest(released=ext):
                    if planted is None:
                        self.assertFalse(reg.has(ext))
                        continue
                    self.assertEqual(reg.values(ext), {k.lower(): v for k, v in planted.items() if k != "ShellNew"})
                    self.assertEqual(reg.values(ext + "\\ShellNew"),
                                     {k.lower(): v for k, v in planted["ShellNew"].items()}
                                     if "ShellNew" in planted else None)
        for vol in VOLUMES:
            with self.subTest(volume=vol):
                self.assertFalse(reg.has(vol))
        self.assert_previous_owners_recorded(reg)
        self.assert_program_registered(reg)
        self.assert_shell_extension(reg, present=False)
        self.assert_link(self.desktop, present=True)
        self.assert_link(self.start_menu, present=True)
        self.assert_group(present=False)
        self.assertEqual(opened, [])  # no group, no folder window

    def test_4_second_setup_takes_the_choices_back(self):
        # A template already there is the user's: a setup must not overwrite it.
        own_template = b"Kvx! modello dell'utente"
        if self.nt:
            (self.inst / "kvxnew.dat").write_bytes(own_template)
        lines = self.start_lines() + ["dump", "click %d" % SELECT_ALL, "click %d" % SHELL_EXT, "click %d" % PROGRAMS,
                                      "click %d" % DESKTOP] + self.settle()
        lines += ["dump", "click 1", "wait-gone 180000", R.wait_window(120000, CAPTION), "click 1", "wait-exit 60000"]
        res = self.rig.run_script(lines, timeout=400, env=self.env)
        opened = self.opened_folders(wait=30)
        reg = self.registry()

        initial, chosen = [boxes(d) for d in res.dumps()]
        # The dialog shows what the previous setup stored, greyed context-menu boxes included.
        self.assertEqual(initial, merged({b: ((0 if b in RELEASED else 1), 1) for b in TYPES}, {
            DESKTOP: (1, 1), START_MENU: (1, 1), PROGRAMS: (0, 1), SHELL_EXT: (0, 1), CASCADED: (1, 0),
            MENU_ICONS: (1, 0), SELECT_ALL: (0, 1)}))
        self.assertEqual(chosen, merged({b: (1, 1) for b in TYPES}, {
            DESKTOP: (0, 1), START_MENU: (1, 1), PROGRAMS: (1, 1), SHELL_EXT: (1, 1), CASCADED: (1, 1),
            MENU_ICONS: (1, 1), SELECT_ALL: (0, 1)}))
        self.assertEqual(res.exit().int("code"), 0)

        self.assert_settings(reg, TYPES, desktop=0, start_menu=1, programs=1, shell_ext=1, cascaded=1, icons=1)
        self.assert_owned(reg, TYPES)
        self.assert_previous_owners_recorded(reg)
        self.assert_program_registered(reg)
        self.assert_shell_extension(reg, present=True)
        self.assert_templates(reg, kvx_bytes=own_template if self.nt else KVX_TEMPLATE)
        self.assert_group(present=True)
        self.assert_link(self.desktop, present=False)
        self.assert_link(self.start_menu, present=True)
        self.assertEqual([f.lower() for f in opened], [self.rig.winpath(self.group).lower()])


    def test_5_failed_registry_writes_are_reported(self):
        # The archiver's type made volatile for this session: no lasting key can be made below it,
        # so its open command cannot be written.
        out = self.rig.files / "volatile.txt"
        self.rig.wine(["reg", "delete", "HKCR\\Korvex", "/f"], timeout=60)
        proc = self.rig.wine([REGDUMP, self.rig.winpath(out), "-volatile", "HKCR\\Korvex"], timeout=60)
        self.assertEqual((proc.returncode, out.read_text().split()[-1]), (0, "0"))
        try:
            res = self.rig.run_script(self.start_lines("/s")[:2] + ["wait-exit 180000"], timeout=300, env=self.env)
            self.assertEqual(res.exit().int("code"), 1603)
            # Asked, the user is told, and no completion dialog follows.
            lines = self.start_lines() + ["click 1", "wait-box 120000", "dump",
                                          "click 1", "wait-exit 60000"]
            res = self.rig.run_script(lines, timeout=300, env=self.env)
            box = res.dumps()[0]
            self.assertEqual(box.child(65535).text, "Korvex non \xe8 stato configurato del tutto: alcune voci del "
                                                    "registro non sono state scritte.")
            self.assertEqual(res.exit().int("code"), 0)
            self.assertEqual(self.opened_folders(wait=0), [])  # nothing reported as set up
        finally:
            self.rig.wine(["reg", "delete", "HKCR\\Korvex", "/f"], timeout=60)
        res = self.rig.run_script(self.start_lines("/s")[:2] + ["wait-exit 180000"], timeout=300, env=self.env)
        self.assertEqual(res.exit().int("code"), 0)


class SetupFlowNT(SetupFlow, unittest.TestCase):
    NAME = "setup-nt"


class SetupFlowWindows98(SetupFlow, unittest.TestCase):
    NAME = "setup-98"
    VERSION = "win98"


if __name__ == "__main__":
    unittest.main()
