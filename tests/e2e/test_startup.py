"""End to end: the real Uninstall.exe under Wine, driven through kvxdrive.

Start-up, the whole command-line grammar, "/wait", the "/warning" box with and without a language
library or language file, deep installation folders, and the Windows 98 family through Wine's
per-program version emulation. Run by ctest (tests/e2e/CMakeLists.txt sets the KVX_* variables).
"""
import os
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
import rig as R  # noqa: E402
import fixtures as F  # noqa: E402

EXE = os.environ.get("KVX_UNINSTALL")
PARTIAL = os.environ.get("KVX_LANGLIB_PARTIAL")
RTL = os.environ.get("KVX_LANGLIB_RTL")
BUILD = os.environ.get("KVX_E2E_BUILD")
NEEDED = {"KVX_UNINSTALL": EXE, "KVX_LANGLIB_PARTIAL": PARTIAL, "KVX_DRIVER": os.environ.get("KVX_DRIVER"),
          "KVX_E2E_BUILD": BUILD}

CAPTION = "Rimuovi Korvex"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvex archiver"
WAIT_MS = 2000


class Startup(unittest.TestCase):
    rig = None

    @classmethod
    def setUpClass(cls):
        F.skip_unless_set(NEEDED)
        cls.rig = R.Rig(BUILD, "startup")
        cls.rig.boot()
        # The first program start in a fresh prefix is slow (Wine sets itself up): not measured.
        cls.rig.run_script([R.run(60000, "cmd.exe", "/c", "rem")], timeout=180)
        cls.shots = Path(BUILD) / "e2e" / "screenshots"
        cls.shots.mkdir(parents=True, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        if cls.rig:
            cls.rig.stop()

    def install(self, name, library=None, language_file=None, folder=None):
        """A fake installation folder under C:\\ with the program and its optional companions."""
        target = folder or (self.rig.drive_c / name)
        if target.exists():
            shutil.rmtree(target)
        target.mkdir(parents=True)
        shutil.copy(EXE, target / "Uninstall.exe")
        if library:
            shutil.copy(library, target / "kvxlng.dll")
        if language_file is not None:
            (target / "uninstall.lng").write_bytes(language_file)
        return self.rig.winpath(target / "Uninstall.exe")

    def run_lines(self, exe, tails, timeout_ms=15000):
        """Runs the program once per command-line tail (text after the program name), in one driver."""
        lines = ["runhex %d %s" % (timeout_ms, R.hexarg('"%s"%s' % (exe, tail))) for tail in tails]
        res = self.rig.run_script(lines, timeout=60 + len(tails) * 30)
        exits = res.all("exit")
        self.assertEqual(len(exits), len(tails), res.stdout)
        return exits

    def warning_box(self, exe, shot=None, version_env=None):
        """Runs "/warning", reads its box, presses OK; returns (box dump, exit record)."""
        lines = [R.start(exe, "/warning"), R.wait_window(60000), "dump"]
        if shot:
            signal = "shot-" + shot
            lines.append("wait-file 60000 " + self.rig.signal_path(signal))
        lines += ["click 1", "wait-exit 20000"]
        if shot:
            running = self.rig.spawn_script(lines, env=version_env)
            running.wait_record("window", timeout=120)
            self.rig.screenshot(self.shots / (shot + ".png"))
            running.release(signal)
            res = running.finish()
        else:
            res = self.rig.run_script(lines, env=version_env)
        dumps = res.dumps()
        self.assertEqual(len(dumps), 1, res.stdout)
        return dumps[0], res.exit()

    # --- the grammar -------------------------------------------------------------------------------

    def test_options_that_end_at_once_without_a_window(self):
        exe = self.install("Korvex")
        tails = [" /s", " /S", " /x", " /", " /setu", " /wai", " /warn", " /warni",
                 " /warnin", " /WARNIN", " /warning /s ", " /setup /s ", " /setup /silent", " /remov"]
        for tail, rec in zip(tails, self.run_lines(exe, tails)):
            with self.subTest(tail=tail):
                self.assertEqual(rec.int("code"), 0)
                self.assertEqual(rec.int("windows"), 0)
                # A run that sleeps takes 2 s every time; a busy machine can slow a start that
                # much, so a slow run gets two more chances.
                for _ in range(2):
                    if rec.int("ms") < WAIT_MS:
                        break
                    rec = self.run_lines(exe, [tail])[0]
                self.assertLess(rec.int("ms"), WAIT_MS)

    def test_without_options_the_removal_asks_first(self):
        # No "/" at all, a stray word included: the removal's question; No leaves everything.
        exe = self.install("KorvexAsk")
        folder = self.rig.linuxpath(exe).parent
        for tail in ("", " ", " qualcosa", "\t", " " + "x" * 6000):
            res = self.rig.run_script(["starthex " + R.hexarg('"%s"%s' % (exe, tail)), R.wait_window(60000), "dump",
                                       "click 7", "wait-exit 20000"])
            box = res.dumps()[0]
            with self.subTest(tail=tail):
                self.assertEqual(box.window.caption, CAPTION)
                self.assertEqual(box.child(65535).text, "Avvio la rimozione di Korvex?")
                self.assertEqual(box.child(1088)["icon"], "question")
                self.assertEqual(sorted(i for i in box.ids() if i in (1, 2, 6, 7)), [6, 7])
                self.assertEqual(res.exit().int("code"), 0)
        self.assertEqual(sorted(p.name for p in folder.iterdir()), ["Uninstall.exe"])

    def test_setup_options_in_any_letter_case(self):
        exe = self.install("KorvexSetup")
        # Not silent: the setup dialog waits for the user; Esc ends it with nothing done.
        for tail in ("/setup", "/SeTuP", "/setupx", "/wait /setup", "/s /SETUP"):
            res = self.rig.run_script([R.start(exe, *tail.split()), R.wait_window(60000, "Configurazione Korvex"),
                                       "key 27", "wait-exit 60000"])
            with self.subTest(tail=tail):
                self.assertEqual(res.first("window").get("caption"), "Configurazione Korvex")
                self.assertEqual(res.exit().int("code"), 0)
        # Silent: both dialogs confirm themselves and the program ends on its own, having stored
        # the choices and written its uninstall entry. Both dialogs close within their
        # initialisation, so whether a window is ever seen depends on timing: not checked.
        written = ("HKCU\\Software\\Korvex\\Setup", UNINSTALL_KEY)
        for tail in (" /SETUP /s", "\t/setup\t/S"):
            for key in written:
                self.rig.wine(["reg", "delete", key, "/f"], timeout=60)
                self.assertNotEqual(self.rig.wine(["reg", "query", key], timeout=60).returncode, 0, key)
            rec = self.run_lines(exe, [tail], timeout_ms=120000)[0]
            with self.subTest(tail=tail):
                self.assertEqual(rec.int("code"), 0)
                for key in written:
                    self.assertEqual(self.rig.wine(["reg", "query", key], timeout=60).returncode, 0, key)

    def test_wait_sleeps_two_seconds_in_any_letter_case(self):
        exe = self.install("Korvex")
        tails = [" /wait", " /WAIT", " /WaIt", " /setup /wait", " /waitxyz", " /wait /s"]
        for tail, rec in zip(tails, self.run_lines(exe, tails)):
            with self.subTest(tail=tail):
                self.assertEqual(rec.int("code"), 0)
                self.assertEqual(rec.int("windows"), 0)
                self.assertGreaterEqual(rec.int("ms"), WAIT_MS)

    def test_long_command_lines(self):
        exe = self.install("Korvex")
        tails = [" " + "x" * 6000 + " /nulla", " " + "/" * 3000, " " + "a" * 4000 + " /wait", " /x " + "y" * 5000 + " /s"]
        recs = self.run_lines(exe, tails)
        for tail, rec in zip(tails, recs):
            with self.subTest(length=len(tail)):
                self.assertEqual(rec.int("code"), 0)
                self.assertEqual(rec.int("windows"), 0)
        self.assertGreaterEqual(recs[2].int("ms"), WAIT_MS)
        self.assertLess(recs[3].int("ms"), WAIT_MS)

    # --- the warning box ---------------------------------------------------------------------------

    def test_warning_box_with_built_in_texts(self):
        for spelling in ("/warning", "/WARNING", "/s /WaRnInG"):
            exe = self.install("Korvex")
            res = self.rig.run_script([R.start(exe, *spelling.split()), R.wait_window(60000), "dump",
                                       "click 1", "wait-exit 20000"])
            box = res.dumps()[0]
            with self.subTest(spelling=spelling):
                self.assertEqual(box.window.caption, CAPTION)
                self.assertEqual(box.child(65535).text,
                                 "Rimozione completa\nDevi eliminare il file %s manualmente" % exe)
                self.assertEqual(box.child(1088)["icon"], "information")
                self.assertEqual(box.ids().count(1), 1)  # MB_OK: one button
                self.assertEqual(res.exit().int("code"), 0)
        box, rec = self.warning_box(exe, shot="warning-built-in")
        self.assertEqual(rec.int("code"), 0)
        self.assertTrue((self.shots / "warning-built-in.png").stat().st_size > 1000)

    def test_warning_text_longer_than_512_bytes_is_shown_whole(self):
        # Windows starts no program from a path beyond MAX_PATH, so the deepest startable folder
        # and the longest translations make the text exceed 512 bytes; the Windows-side tests
        # compose it with a path of over a thousand characters.
        folder = self.rig.drive_c
        while len(self.rig.winpath(folder)) < 215:
            folder = folder / ("cartella annidata " + "k" * 20)
        first, second = "R" * 250, "D" * 220 + " %s"
        exe = self.install(None, folder=folder, language_file=R.language_file(
            ("s", "Rimozione completa", first), ("s", "Devi eliminare il file %s manualmente", second)))
        self.assertGreater(len(exe), 230)
        box, rec = self.warning_box(exe)
        text = box.child(65535).text
        self.assertGreater(len(text), 512)
        self.assertEqual(text, first + "\n" + "D" * 220 + " " + exe)
        self.assertEqual(rec.int("code"), 0)
        shutil.rmtree(self.rig.drive_c / folder.relative_to(self.rig.drive_c).parts[0])

    def test_language_library_replaces_messages_id_by_id(self):
        exe = self.install("KorvexLib", library=PARTIAL)
        box, rec = self.warning_box(exe, shot="warning-language-library")
        self.assertEqual(box.window.caption, "Remove Korvex")
        # 5105 is empty in the library and 5106 missing: both come from the program.
        self.assertEqual(box.child(65535).text, "Rimozione completa\nDevi eliminare il file %s manualmente" % exe)
        self.assertEqual(rec.int("code"), 0)

    def test_language_file_translates_messages(self):
        exe = self.install("KorvexLng", language_file=R.language_file(
            ("s", "Rimuovi Korvex", "Remove Korvex"),
            ("s", "Rimozione completa", "Removal complete"),
            ("s", "Devi eliminare il file %s manualmente", "Please delete the file %s by hand")))
        box, rec = self.warning_box(exe, shot="warning-language-file")
        self.assertEqual(box.window.caption, "Remove Korvex")
        self.assertEqual(box.child(65535).text, "Removal complete\nPlease delete the file %s by hand" % exe)

    def test_language_file_wins_over_the_library_for_messages(self):
        exe = self.install("KorvexBoth", library=PARTIAL, language_file=R.language_file(
            ("s", "Rimozione completa", "Removal complete"),
            ("s", "Remove Korvex", "from the library's text: never looked up")))
        box, _ = self.warning_box(exe)
        self.assertEqual(box.window.caption, CAPTION)
        self.assertTrue(box.child(65535).text.startswith("Removal complete\nDevi eliminare"))

    def test_hostile_translations_and_bad_files_do_no_harm(self):
        exe = self.install("KorvexHostile", language_file=R.language_file(
            ("s", "Devi eliminare il file %s manualmente", "%s %s %n %x %% " + "z" * 400)))
        box, rec = self.warning_box(exe)
        text = box.child(65535).text
        self.assertTrue(text.startswith("Rimozione completa\n%s %%s %%n %%x %% zzz" % exe), text[:120])
        self.assertEqual(rec.int("code"), 0)
        for name, data in (("binary", bytes(range(256)) * 64), ("empty", b""),
                           ("truncated", b"***messages***\r\nd8c94293=\"Rimoz")):
            exe = self.install("KorvexBad-" + name, language_file=data)
            box, rec = self.warning_box(exe)
            with self.subTest(file=name):
                self.assertEqual(box.window.caption, CAPTION)
                self.assertEqual(rec.int("code"), 0)

    def test_library_without_the_setup_dialog_still_sets_up(self):
        # The library lacks both dialog templates: the program's own are shown instead, so an
        # installer's silent setup step is not skipped.
        exe = self.install("KorvexNoDialog", library=PARTIAL)
        written = ("HKCU\\Software\\Korvex", UNINSTALL_KEY)
        for key in written:
            self.rig.wine(["reg", "delete", key, "/f"], timeout=60)
        rec = self.run_lines(exe, [" /setup /s"], timeout_ms=120000)[0]
        self.assertEqual(rec.int("code"), 0)
        for key in written:
            self.assertEqual(self.rig.wine(["reg", "query", key], timeout=60).returncode, 0, key)
        res = self.rig.run_script([R.start(exe, "/setup"), R.wait_window(60000, "Configurazione Korvex"), "dump",
                                   "key 27", "wait-exit 60000"])
        self.assertIn(5101, res.dumps()[0].ids())

    # --- the Windows 98 family ---------------------------------------------------------------------

    def test_windows_98_emulation(self):
        exe = self.install("Korvex98", library=PARTIAL)
        self.rig.set_version("Uninstall.exe", "win98")
        try:
            recs = self.run_lines(exe, [" /wait", " /s"])
            self.assertGreaterEqual(recs[0].int("ms"), WAIT_MS)
            self.assertEqual([r.int("windows") for r in recs], [0, 0])
            box, rec = self.warning_box(exe, shot="warning-win98")
            self.assertEqual(box.window.caption, "Remove Korvex")
            self.assertEqual(rec.int("code"), 0)
        finally:
            self.rig.set_version("Uninstall.exe", None)


if __name__ == "__main__":
    unittest.main()
