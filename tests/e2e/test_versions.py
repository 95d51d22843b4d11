"""End to end: the archiver's whole life on every Windows version Wine emulates, and on 64-bit Windows.

One class per version (win95, win98, winme, nt40, win2k, winxp, win7, win10 in a 32-bit prefix, and
Win64: Wine's default version in a 64-bit prefix, the program running under WOW64), each in a fresh
prefix with a fake installation and other programs' owners planted. Its steps run in order, each on
what the one before left: the family's registry deletion (Wine's half of the program's tree
deletion), a silent setup, an interactive setup driven through its dialog and the completion
dialog, the removal answered Yes, what is left compared with before the setup, and the batch file's
first line. The rows that depend on the version are checked per version: "New" templates as bytes
("Data", systems before 4.90: 95, 98, NT 4) or as files ("FileName"), 100 or 30 volume extensions,
the all-users program group (NT only), the batch file's form. The 9x family's batch file cannot run
under Wine's cmd (it reads `start /wait "x"` as a title): there COMSPEC names an idle stand-in,
the batch file's text is checked, and its work (program, folder, itself) is done by the test.

Which versions run: KVX_E2E_VERSIONS, a list (blanks or commas), "all", or unset for the CI subset
(CI_VERSIONS). ctest runs one test per version (tests/e2e/CMakeLists.txt).
"""
import os
import re
import shutil
import subprocess
import sys
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "tools" / "driver"))
sys.path.insert(0, str(HERE.parents[1] / "tools"))
sys.path.insert(0, str(HERE))
import rig as R  # noqa: E402
import fixtures as F  # noqa: E402
import rigs  # noqa: E402
import demo_setup as D  # noqa: E402  (registry exports and what counts as expected residue)

EXE = os.environ.get("KVX_UNINSTALL")
BUILD = os.environ.get("KVX_E2E_BUILD")
NEEDED = {"KVX_UNINSTALL": EXE, "KVX_E2E_KORVEX_STUB": os.environ.get("KVX_E2E_KORVEX_STUB"),
          "KVX_E2E_REGDUMP": F.REGDUMP, "KVX_DRIVER": os.environ.get("KVX_DRIVER"), "KVX_E2E_BUILD": BUILD,
          "KVX_E2E_KVXTEXT": F.KVXTEXT}

ALL_VERSIONS = ["win95", "win98", "winme", "nt40", "win2k", "winxp", "win7", "win10", "win64"]
CI_VERSIONS = ["win98", "win7", "win10", "win64"]
NINE_X = {"win95", "win98", "winme"}
# GetVersionEx below 4.90 (95: 4.0, 98: 4.10, NT 4: 4.0): the "New" templates go into the registry.
TEMPLATE_DATA = {"win95", "win98", "nt40"}

SETUP_CAPTION = "Configurazione Korvex"
REMOVE_CAPTION = "Rimuovi Korvex"
REMOVE_TEXT = "Avvio la rimozione di Korvex?"
YES, OK, MESSAGE_TEXT = 6, 1, 65535
GONE_LIMIT = 180  # seconds for the batch file to take the folder (README: three minutes)
INSTALLED = {"licenza.txt": b"Licenza d'uso di Korvex\r\n"}
LISTING = b"Uninstall.exe\r\nKorvex.exe\r\nkvxext.dll\r\nlicenza.txt\r\n"

# The 32-bit program's registry as 64-bit Windows keeps it: (path in the 64-bit view, present there
# after the setup). Wine's WOW64 redirects HKLM\Software except the keys it links back (App Paths)
# and shares HKLM\Software\Classes except CLSID (and a few others).
WOW = "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
NATIVE = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\"
VIEWS_64 = [
    (WOW + "Uninstall\\Korvex archiver", True),
    (NATIVE + "Uninstall\\Korvex archiver", False),
    ("HKLM\\Software\\Classes\\Wow6432Node\\CLSID\\%s\\InProcServer32" % F.CLSID, True),
    ("HKLM\\Software\\Classes\\CLSID\\" + F.CLSID, False),
    (NATIVE + "App Paths\\Korvex.exe", True),
    ("HKLM\\Software\\Classes\\.kvx", True),
    ("HKLM\\Software\\Classes\\Korvex\\shell\\open\\command", True),
    ("HKLM\\Software\\Classes\\*\\shellex\\ContextMenuHandlers\\Korvex", True),
    # Default Programs: the 64-bit shell reads the 64-bit view, where the program writes them.
    ("HKLM\\Software\\Korvex\\Capabilities\\FileAssociations", True),
    ("HKLM\\Software\\Wow6432Node\\Korvex", False),
]


def selected_versions():
    wanted = os.environ.get("KVX_E2E_VERSIONS", "").strip().lower()
    if not wanted:
        return list(CI_VERSIONS)
    if wanted == "all":
        return list(ALL_VERSIONS)
    return [v for v in re.split(r"[\s,]+", wanted) if v]


class VersionLife:
    """The steps; subclasses name the version (VERSION) and, for 64-bit Windows, ARCH."""
    VERSION = None
    ARCH = "win32"
    rig = None

    @classmethod
    def setUpClass(cls):
        F.skip_unless_set(NEEDED)
        if cls.VERSION not in selected_versions():
            raise unittest.SkipTest("not in KVX_E2E_VERSIONS (%s)" % ", ".join(selected_versions()))
        cls.win64 = cls.ARCH == "win64"
        cls.nt = cls.VERSION not in NINE_X
        cls.started = time.monotonic()
        cls.rig = R.Rig(BUILD, "versions-" + cls.VERSION, arch=cls.ARCH)
        rig = cls.rig
        rig.fresh()
        cls.folder = ("C:\\Program Files (x86)\\Korvex" if cls.win64 else "C:\\Programmi\\Korvex")
        cls.inst, cls.program = F.install(rig, cls.folder, LISTING, files=INSTALLED)
        cls.archiver = cls.folder + "\\Korvex.exe"
        user = rig.user_folder()
        cls.desktop = user / "Desktop"
        cls.start_menu = user / "AppData/Roaming/Microsoft/Windows/Start Menu"
        cls.group = cls.start_menu / "Programs" / "Korvex"
        cls.common_group = rig.drive_c / "ProgramData/Microsoft/Windows/Start Menu/Programs/Korvex"
        cls.files = rig.files
        F.plant(rig, F.owner_entries(F.PLANTED))
        if not cls.win64:
            rig.set_version("Uninstall.exe", cls.VERSION)
        cls.before = cls.snapshot("before")

    @classmethod
    def tearDownClass(cls):
        if cls.rig:
            sys.stderr.write("%s: %.1f s\n" % (cls.VERSION, time.monotonic() - cls.started))
            cls.rig.stop()

    # --- helpers -----------------------------------------------------------------------------------

    registry = rigs.SetupChecks.registry
    assert_owned = rigs.SetupChecks.assert_owned
    assert_previous_owners_recorded = rigs.SetupChecks.assert_previous_owners_recorded
    assert_settings = rigs.SetupChecks.assert_settings

    @classmethod
    def snapshot(cls, tag):
        """(registry as the program sees it, the 64-bit view or None, files), as run.sh compares them."""
        rig, out = cls.rig, cls.rig.files
        return (D.export(rig, out, tag), D.export(rig, out, tag, view64=True) if cls.win64 else None,
                D.file_state(rig, cls.inst))

    def in_64bit_view(self, key):
        """Whether the key exists in the 64-bit registry view (64-bit Windows only), and its values' text."""
        proc = self.rig.wine(["reg", "query", key, "/reg:64"], timeout=60)
        return proc.returncode == 0, proc.stdout.decode("cp1252", errors="replace")

    def quoted(self, path):
        return '"%s"' % path if " " in path else path

    def assert_uninstall_entry(self, reg):
        """Every value of the uninstall entry: the commands, where and when, the size of the listed
        files and what the archiver's version resource says (the stub's)."""
        entry = reg.values(F.UNINSTALL_KEY)
        listed = sum((self.inst / n.decode()).stat().st_size for n in LISTING.split() if (self.inst / n.decode()).is_file())
        days = {time.strftime("%Y%m%d", time.localtime(time.time() + d * 86400)) for d in (-1, 0, 1)}
        self.assertIn(entry.pop("installdate", None), days)
        self.assertLessEqual(abs(entry.pop("estimatedsize", -9) * 1024 - listed), 1024)
        program = '"%s"' % self.program  # always quoted: tools split these lines themselves
        self.assertEqual(entry, {
            "displayname": "Korvex gestione archivi", "uninstallstring": program,
            "quietuninstallstring": program + " /remove /s", "modifypath": program + " /setup", "norepair": 1,
            "installlocation": self.folder, "urlinfoabout": F.WEB_SITE, "helplink": F.WEB_SITE,
            "displayicon": self.quoted(self.archiver) + ",0", "displayversion": "3.14.2", "versionmajor": 3,
            "versionminor": 14, "publisher": "Korvex Software S.r.l."})

    def assert_setup_rows(self, reg):
        """What any setup with the shell integration writes, and the rows that depend on the version."""
        self.assertEqual(reg.values(F.APP_PATH), {"": self.archiver, "path": self.folder})
        self.assert_uninstall_entry(reg)
        self.assertEqual(reg.get("Korvex\\shell\\open\\command"), '"%s" "%%1"' % self.archiver)
        self.assertEqual(reg.values("CLSID\\%s\\InProcServer32" % F.CLSID),
                         {"": self.folder + "\\kvxext.dll", "threadingmodel": "Apartment"})
        self.assertIsNotNone(reg.get(F.APPROVED, F.CLSID))
        for key in F.COMMON:
            self.assertEqual(reg.values(key), {"": F.CLSID}, key)
        # "New" templates: bytes in the registry before 4.90, files beside the program after.
        for ext, name, data in ((".kvx", "kvxnew.dat", F.KVX_TEMPLATE), (".zip", "zipnew.dat", F.ZIP_TEMPLATE)):
            with self.subTest(template=ext):
                if self.VERSION in TEMPLATE_DATA:
                    self.assertEqual(reg.values(ext + "\\ShellNew"), {"data": data})
                    self.assertFalse((self.inst / name).exists())
                else:
                    self.assertEqual(reg.values(ext + "\\ShellNew"), {"filename": self.folder + "\\" + name})
                    self.assertEqual((self.inst / name).read_bytes(), data)
        # The all-users program group belongs to the NT family only.
        links = {"Korvex.lnk": self.archiver, "Guida a Korvex.lnk": self.folder + "\\Korvex.hlp",
                 "Manuale di KVX in modalit\u00e0 carattere.lnk": self.folder + "\\Kvx.txt"}
        for group, wanted in ((self.group, True), (self.common_group, self.nt)):
            with self.subTest(group=str(group)):
                if not wanted:
                    self.assertFalse(group.exists())
                    continue
                self.assertEqual(sorted(p.name for p in group.iterdir()), sorted(links))
                for name, target in links.items():
                    self.assertEqual(F.read_link(group / name), (target, "Korvex"), name)

    def assert_residue(self, before, after, files_before, files_after, view):
        expected, unexpected = D.residue(before, after, files_before, files_after)
        self.assertEqual(unexpected, [], "%s: left after the removal" % view)
        left = {label.split("[", 1)[1].rstrip("]").lower() for label, _ in expected if "[" in label}
        for key in F.COMMON:  # the six empty common handler keys, left on purpose
            self.assertIn("hkey_local_machine\\software\\classes\\" + key.lower(), left, view)
        return expected

    # --- the steps, in order -----------------------------------------------------------------------

    def test_0_registry_deletion_of_the_family(self):
        """Wine deletes a key with subkeys in one RegDeleteKeyA call in the 9x modes only; the program's
        tree deletion (platform/registry.cpp) relies on that and recurses on the NT family."""
        probe = "HKCU\\Software\\KvxTreeProbe"
        proc = self.rig.wine(["reg", "add", probe + "\\a\\b", "/v", "x", "/d", "1", "/f"], timeout=60)
        self.assertEqual(proc.returncode, 0)
        out = self.rig.files / "delete.txt"
        try:
            proc = self.rig.wine([F.REGDUMP, self.rig.winpath(out), "-delete", probe, probe], timeout=120,
                                 version=None if self.win64 else self.VERSION)
            self.assertEqual(proc.returncode, 0)
        finally:
            if not self.win64:
                self.rig.set_version("regdump.exe", None)
        lines = out.read_text(encoding="ascii").splitlines()
        result = int(lines[0].split()[2])
        if self.nt:
            self.assertEqual(result, 5)  # ERROR_ACCESS_DENIED: the key stays with its subkeys
            self.assertTrue(lines[1].startswith("K "), lines)
        else:
            self.assertEqual(result, 0)
            self.assertTrue(lines[1].startswith("M "), lines)
        self.rig.wine(["reg", "delete", probe, "/f"], timeout=60)

    def test_1_silent_setup(self):
        res = self.rig.run_script(["cd " + self.folder, R.run(180000, self.program, "/setup", "/s")], timeout=300)
        self.assertEqual(res.exit().int("code"), 0)
        opened = F.close_folder_windows(self.rig, wait=30)
        reg = self.registry()
        self.assertEqual([f.lower() for f in opened], [self.rig.winpath(self.group).lower()])
        self.assert_owned(reg, F.TYPES, native_view=not self.win64)  # 100 volume extensions on 9x, 30 on NT
        self.assert_previous_owners_recorded(reg)
        self.assert_settings(reg, F.TYPES, desktop=0, start_menu=0, programs=1, shell_ext=1, cascaded=0, icons=1)
        self.assert_setup_rows(reg)
        self.assertFalse((self.desktop / "Korvex.lnk").exists())
        if self.win64:
            for key, present in VIEWS_64:
                with self.subTest(view64=key):
                    found, text = self.in_64bit_view(key)
                    self.assertEqual(found, present, text)
            found, text = self.in_64bit_view("HKLM\\Software\\RegisteredApplications")
            self.assertIn("Software\\Korvex\\Capabilities", text)
            found, text = self.in_64bit_view(WOW + "Shell Extensions\\Approved")
            self.assertIn(F.CLSID, text)
            found, text = self.in_64bit_view(NATIVE + "Shell Extensions\\Approved")
            self.assertNotIn(F.CLSID, text)

    def test_2_interactive_setup(self):
        # Started as the list of installed programs' "Change" starts it: its ModifyPath.
        change = self.registry().get(F.UNINSTALL_KEY, "ModifyPath")
        lines = ["cd " + self.folder, "starthex " + R.hexarg(change), R.wait_window(120000, SETUP_CAPTION), "dump",
                 "click %d" % F.DESKTOP, "click 5104", "sleep 200", R.wait_window(20000, SETUP_CAPTION), "dump",
                 "click %d" % OK, "wait-gone 180000", R.wait_window(120000, SETUP_CAPTION), "dump",
                 "close", "wait-exit 60000"]
        res = self.rig.run_script(lines, timeout=400)
        opened = F.close_folder_windows(self.rig, wait=30)
        initial, chosen, done = res.dumps()
        self.assertEqual(F.boxes(initial), F.merged({b: (1, 1) for b in F.TYPES}, {
            F.DESKTOP: (0, 1), F.START_MENU: (0, 1), F.PROGRAMS: (1, 1), F.SHELL_EXT: (1, 1), F.CASCADED: (0, 1),
            F.MENU_ICONS: (1, 1), F.SELECT_ALL: (0, 1)}))
        self.assertEqual(F.boxes(chosen), F.merged(F.boxes(initial), {F.DESKTOP: (1, 1), 5104: (0, 1)}))
        self.assertEqual(done.window.caption, SETUP_CAPTION)
        self.assertEqual(done.child(5101).text, self.folder)
        self.assertEqual((res.exit().int("code"), res.exit().int("windows")), (0, 2))
        self.assertEqual([f.lower() for f in opened], [self.rig.winpath(self.group).lower()])
        reg = self.registry()
        kept = set(F.TYPES) - {5104}
        self.assert_owned(reg, kept, native_view=not self.win64)
        self.assert_settings(reg, kept, desktop=1, start_menu=0, programs=1, shell_ext=1, cascaded=0, icons=1)
        self.assertEqual(reg.values(".arj"), {"": "Other.Arj", "content type": "application/x-arj"})
        self.assertEqual(F.read_link(self.desktop / "Korvex.lnk"), (self.archiver, "Korvex"))
        self.assert_setup_rows(reg)

    def test_3_removal(self):
        F.close_folder_windows(self.rig)
        lines = ["cd " + self.folder, R.start(self.program), R.wait_window(60000, REMOVE_CAPTION), "dump",
                 "click %d" % YES, "wait-exit 60000"]
        started = time.monotonic()
        if self.nt:
            res = self.rig.run_script(lines, timeout=180)
        else:
            res = F.run_script_with_idle_interpreter(self.rig, lines)
        box = res.dumps()[0]
        self.assertEqual(box.child(MESSAGE_TEXT).text, REMOVE_TEXT)
        self.assertEqual(box.child(1088)["icon"], "question")
        self.assertEqual(res.exit().int("code"), 0)
        if self.nt:
            deadline = started + GONE_LIMIT
            while (self.inst.exists() or F.batches(self.rig)) and time.monotonic() < deadline:
                time.sleep(0.25)
            self.assertFalse(self.inst.exists(), "installation folder still there after %d s: %s" % (
                GONE_LIMIT, sorted(p.name for p in self.inst.rglob("*")) if self.inst.exists() else ""))
            self.assertEqual(F.batches(self.rig), [])
            sys.stderr.write("%s: folder gone %.1f s after the removal started\n" % (
                self.VERSION, time.monotonic() - started))
            return
        # 9x: everything but the program and the list went; the batch file is COMMAND.COM's, checked
        # by its text.
        self.assertEqual(sorted(p.name for p in self.inst.iterdir()), ["Uninstall.exe", "Uninstall.lst"])
        found = F.batches(self.rig)
        self.assertEqual(len(found), 1)
        text = found[0].read_bytes()
        self.assertEqual(text, F.batch_text(False, self.program, self.folder, self.rig.winpath(found[0])))
        self.assertTrue(text.startswith(b'start /wait "%s" /wait\r\n' % self.program.encode("cp1252")))
        # What the batch file does on Windows 9x: the program, the list, its folder, itself.
        (self.inst / "Uninstall.exe").unlink()
        (self.inst / "Uninstall.lst").unlink()
        self.inst.rmdir()
        found[0].unlink()

    def test_4_nothing_left_but_the_documented_residue(self):
        reg, reg64, files = self.snapshot("removed")
        before_reg, before_reg64, before_files = self.before
        installed = {str((self.inst / n).relative_to(self.rig.drive_c)).replace("/", "\\")
                     for n in ["Uninstall.exe", "Korvex.exe", "kvxext.dll", "Uninstall.lst"] + list(INSTALLED)}
        installed.add(str(self.inst.relative_to(self.rig.drive_c)).replace("/", "\\") + "\\")
        expected = self.assert_residue(before_reg, reg, before_files - installed, files, "registry")
        if self.win64:
            self.assert_residue(before_reg64, reg64, set(), set(), "64-bit registry view")
        self.assertEqual(D.pending_renames(self.rig), "")
        sys.stderr.write("%s: expected residue: %d keys\n" % (self.VERSION, len(expected)))

    def test_5_batch_file_first_line(self):
        """The silent removal with COMSPEC naming an idle interpreter: the 9x family's batch file is left
        unrun (its first line checked), the NT family's runs under the system's own cmd.exe."""
        folder = self.folder + "2"
        inst, program = F.install(self.rig, folder, b"Korvex.exe\r\nkvxext.dll\r\n")
        try:
            res = F.run_script_with_idle_interpreter(self.rig, [R.run(60000, program, "/remove", "/s")])
            self.assertEqual((res.exit().int("code"), res.exit().int("windows")), (0, 0))
            if self.nt:
                F.wait_until(self, lambda: not inst.exists() and not F.batches(self.rig), "folder and batch file gone")
                return
            found = F.batches(self.rig)
            self.assertEqual(len(found), 1)
            text = found[0].read_bytes()
            self.assertEqual(text, F.batch_text(self.nt, program, folder, F.batch_own_path(self.rig, found[0]),
                                                silent=True))
            self.assertTrue(text.startswith(b'start /wait "%s" /wait /log=' % program.encode("cp1252")))
            # The list stays for a rerun until the batch file has deleted the program.
            self.assertEqual(sorted(p.name for p in inst.iterdir()), ["Uninstall.exe", "Uninstall.lst"])
        finally:
            for batch in F.batches(self.rig):
                batch.unlink()
            shutil.rmtree(inst, ignore_errors=True)


class Win95(VersionLife, unittest.TestCase):
    VERSION = "win95"


class Win98(VersionLife, unittest.TestCase):
    VERSION = "win98"


class WinMe(VersionLife, unittest.TestCase):
    VERSION = "winme"


class Nt40(VersionLife, unittest.TestCase):
    VERSION = "nt40"


class Win2k(VersionLife, unittest.TestCase):
    VERSION = "win2k"


class WinXp(VersionLife, unittest.TestCase):
    VERSION = "winxp"


class Win7(VersionLife, unittest.TestCase):
    VERSION = "win7"


class Win10(VersionLife, unittest.TestCase):
    VERSION = "win10"


class Win64(VersionLife, unittest.TestCase):
    """64-bit Windows: a WINEARCH=win64 prefix, Wine's default version, the program under WOW64."""
    VERSION = "win64"
    ARCH = "win64"


if __name__ == "__main__":
    unittest.main()
