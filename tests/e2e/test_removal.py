"""End to end: the removal of the real Uninstall.exe under Wine.

Each test installs a fake installation folder (the program, a stub archiver, a dummy shell
extension, listed files), makes a silent setup where the registry matters, then removes: the
question answered through the driver, the registry, links and files checked by polling for each
effect with a limit. The NT family runs the self-deleting batch file for real; the 9x family is
checked by the batch file's text (Wine's cmd reads `start /wait "x"` as a window title, which
COMMAND.COM does not) and by what else Wine can run. Run by ctest (tests/e2e/CMakeLists.txt).
"""
import os
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
sys.path.insert(0, str(Path(__file__).resolve().parent))
import rig as R  # noqa: E402
import fixtures as F  # noqa: E402
import rigs  # noqa: E402
from fixtures import BOXPROBE, NO, OK, PARTIAL, SETUP_CAPTION, STUB, YES, batch_name, batch_text  # noqa: E402
from fixtures import REMOVAL_CAPTION as CAPTION  # noqa: E402


class RemovalNt(rigs.RemovalRig):
    NAME = "removal"

    # --- the whole removal ------------------------------------------------------------------------

    def test_removal_end_to_end(self):
        folder = "C:\\Programmi\\Korvex"
        listing = (b"doc\r\n"                          # a folder before its contents
                   b"doc\\manuale.txt\r\n"
                   b"doc/guida.txt \t\r\n"             # "/" too, and trailing blanks and tabs
                   b"\r\n \t \r\n"                      # blank lines
                   b"  spazi.txt\n"                     # leading blanks are part of the name; LF only
                   b"sola lettura.txt\n"
                   b"cartella ro\n"
                   b"cartella ro\\dentro.txt\n"
                   b"Korvex.exe\nkvxext.dll\nkvxlng.dll\nUninstall.exe\n"  # the program lists itself
                   b"..\\accanto.txt\n"                 # would leave the folder: never deleted
                   b"C:\\Programmi\\accanto.txt\n"
                   b"mancante.txt")                     # missing; the last line has no line end
        inst, program = self.install(folder, listing, files=["doc/manuale.txt", "doc/guida.txt", "  spazi.txt",
                                                             "sola lettura.txt", "cartella ro/dentro.txt",
                                                             "korvex.gid", "korvex.fts"],
                                     readonly=["sola lettura.txt", "cartella ro\\dentro.txt", "cartella ro"])
        shutil.copy(PARTIAL, inst / "kvxlng.dll")
        beside = inst.parent / "accanto.txt"
        beside.write_bytes(b"not ours")
        self.setup(folder, program)
        self.assertTrue(self.links[2].exists())

        box, rec = self.remove(program, caption="Remove Korvex")  # the library's caption
        self.assertEqual(box.child(65535).text, "Avvio la rimozione di Korvex?")
        self.assertEqual(box.child(1088)["icon"], "question")
        self.assertEqual(rec.int("code"), 0)
        self.wait_until(lambda: not inst.exists(), "installation folder gone")
        self.wait_until(lambda: not self.batches(), "batch file gone")
        self.assertEqual(beside.read_bytes(), b"not ours")
        self.expect_integration_gone()

    def test_declined_and_missing_list_change_nothing(self):
        folder = "C:\\Declinato"
        inst, program = self.install(folder, b"Korvex.exe\r\nUninstall.exe\r\n")
        self.setup(folder, program)
        before = self.state(inst)
        box, rec = self.remove(program, answer=NO)
        self.assertEqual(rec.int("code"), 0)
        self.assertEqual(self.state(inst), before)
        rec = self.rig.run_script([R.start(program), R.wait_window(60000, CAPTION), "close", "wait-exit 60000"]).exit()
        self.assertEqual(rec.int("code"), 0)
        self.assertEqual(self.state(inst), before)

        (inst / "Uninstall.lst").unlink()
        before = self.state(inst)
        res = self.rig.run_script([R.start(program), R.wait_window(60000, CAPTION), "click %d" % YES,
                                   "wait-gone 20000", R.wait_window(60000, CAPTION), "dump", "click %d" % OK,
                                   "wait-exit 60000"])
        box = res.dumps()[0]
        self.assertEqual(box.child(65535).text, "Impossibile aprire la lista dei files Uninstall.lst")
        self.assertEqual(box.child(1088)["icon"], "error")
        self.assertEqual(res.exit().int("code"), 0)
        self.assertEqual(self.state(inst), before)
        # Silent: no box, an exit code, still nothing changed.
        rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
        self.assertEqual((rec.int("code"), rec.int("windows")), (2, 0))
        self.assertEqual(self.state(inst), before)
        # Leave nothing for the next test.
        (inst / "Uninstall.lst").write_bytes(b"Korvex.exe\r\nkvxext.dll\r\n")
        self.run_idle(program)
        self.expect_integration_gone()
        if self.nt:  # the system's interpreter, whatever COMSPEC says
            self.wait_until(lambda: not inst.exists(), "folder gone")
            self.wait_until(lambda: not self.batches(), "batch file gone")
        for batch in self.batches():
            batch.unlink()

    def test_held_files_go_at_restart(self):
        def removal(program):
            rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
            self.assertEqual((rec.int("code"), rec.int("windows")), (3010, 0))  # removed, restart pending
            inst = self.rig.linuxpath(program).parent
            self.wait_until(lambda: not (inst / "Uninstall.exe").exists(), "program deleted by the batch file")
            self.wait_until(lambda: not self.batches(), "batch file gone")
        self.held_files_go_at_restart(removal)

    def test_drive_root_and_percent_in_the_folder(self):
        # A drive of its own whose root holds the program: entries join without a doubled "\".
        root = self.rig.files / "drive-k"
        shutil.rmtree(root, ignore_errors=True)
        root.mkdir()
        link = self.rig.prefix / "dosdevices" / "k:"
        if link.is_symlink():
            link.unlink()
        link.symlink_to(root)
        inst, program = self.install("K:\\", b"a.txt\r\nsub\\b.txt\r\nsub\r\nkvxext.dll\r\nUninstall.exe\r\n",
                                     files=["a.txt", "sub/b.txt"], linux=root)
        held = self.hold("K:\\kvxext.dll")
        try:
            rec = self.rig.run_script(["cd K:\\", R.run(60000, program, "/remove", "/s")]).exit()
            self.assertEqual(rec.int("code"), 3010)  # removed, restart pending
            self.wait_until(lambda: not (root / "Uninstall.exe").exists(), "program in the root deleted")
        finally:
            self.release(held)
        self.assertEqual(sorted(p.name for p in root.iterdir()), ["Korvex.exe", "kvxext.dll"])
        # The held file goes at the next restart; the drive's root never does.
        self.assertEqual(self.pending_deletions(), ["K:\\kvxext.dll"])
        self.clear_pending()

        # "%" in a folder name would be expanded by the interpreter unless doubled.
        decoy = self.rig.drive_c / "100"
        decoy.mkdir(exist_ok=True)
        folder = "C:\\100%Korvex%"
        inst, program = self.install(folder, b"Korvex.exe\r\nkvxext.dll\r\nUninstall.exe\r\n")
        self.setup(folder, program)
        box, rec = self.remove(program)
        self.wait_until(lambda: not inst.exists(), "folder with % gone")
        self.assertTrue(decoy.exists())
        self.expect_integration_gone()

    def test_nothing_behind_a_link_in_the_folder_is_deleted_or_scheduled(self):
        # A folder link (a junction on Windows; Wine reports a symbolic link as a reparse point)
        # pointing outside: a user who can write the folder must not steer an elevated removal.
        outside = self.rig.drive_c / "Fuori"
        shutil.rmtree(outside, ignore_errors=True)
        outside.mkdir()
        for name in ("x.txt", "in uso.txt"):
            (outside / name).write_bytes(b"not ours")
        folder = "C:\\Collegato"
        # "linkage" first: a folder found free of links says nothing of a name it begins.
        inst, program = self.install(folder, b"linkage\\a.txt\r\nlink\\x.txt\r\nlink\\in uso.txt\r\nlink\r\n"
                                             b"Korvex.exe\r\nkvxext.dll\r\nUninstall.exe\r\n", files=["linkage/a.txt"])
        (inst / "link").symlink_to(outside, target_is_directory=True)
        holds = [self.hold(folder + "\\link\\in uso.txt"), self.hold(folder + "\\kvxext.dll")]
        try:
            rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
            # The listed link stays (Wine cannot remove it without following it): not finished.
            self.assertEqual(rec.int("code"), 1603)
            self.wait_until(lambda: not (inst / "Uninstall.exe").exists(), "program deleted by the batch file")
            self.wait_until(lambda: not self.batches(), "batch file gone")
        finally:
            for held in holds:
                self.release(held)
        self.assertEqual(sorted(p.name for p in outside.iterdir()), ["in uso.txt", "x.txt"])
        self.assertFalse((inst / "linkage" / "a.txt").exists())
        self.assertEqual([p.lower() for p in self.pending_deletions()], ["c:\\collegato\\kvxext.dll", "c:\\collegato"])
        self.clear_pending()

    def test_unfinished_removals_say_so_and_a_rerun_finishes(self):
        folder = "C:\\Vuoto"
        inst, program = self.install(folder, b"Korvex.exe\r\n")
        # None of the batch file's names can be made new (folders hold them): no batch file, 1603.
        temp = self.rig.drive_c / "windows" / "temp"  # elevated, as Wine runs programs
        names = [temp / ("Uninstall.Kvx.%s.Bat" % batch_name(program, i)) for i in range(4)]
        for name in names:
            name.unlink(missing_ok=True)
            name.mkdir()
        (inst / "Uninstall.lst").write_bytes(b"Korvex.exe\r\nkvxext.dll\r\n")
        rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
        self.assertEqual(rec.int("code"), 1603)
        self.assertFalse((inst / "Korvex.exe").exists())
        self.assertTrue((inst / "Uninstall.lst").exists())
        for name in names:
            name.rmdir()

        # The rerun with all it needs ends the job.
        rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
        self.assertEqual(rec.int("code"), 0)
        self.wait_until(lambda: not inst.exists(), "folder of an unfinished removal gone")
        self.wait_until(lambda: not self.batches(), "batch file gone")

    def test_silent_removal_shows_no_box_and_a_program_that_stays_goes_at_restart(self):
        folder = "C:\\Tenuto"
        inst, program = self.install(folder, b"Korvex.exe\r\nkvxext.dll\r\n")
        held = self.hold(program)
        try:
            rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
            self.assertEqual((rec.int("code"), rec.int("windows")), (0, 0))
            # The batch file's attempts fail; "/warning /s" shows nothing, so the batch file ends.
            self.wait_until(lambda: not self.batches(), "batch file ended without a box", timeout=90)
        finally:
            self.release(held)
        self.assertTrue((inst / "Uninstall.exe").exists())
        self.assertEqual([p.lower() for p in self.pending_deletions()][-2:], [program.lower(), folder.lower()])
        self.restart()
        self.assertFalse(inst.exists())

    def test_batch_file_never_written_through_what_is_at_its_name(self):
        folder = "C:\\Piantato"
        inst, program = self.install(folder, b"Korvex.exe\r\nkvxext.dll\r\n")
        # Elevated on NT 6 and later (as Wine runs programs) the batch file goes where only
        # administrators may write; else into the user's temporary folder.
        temp = (self.rig.drive_c / "windows" / "temp") if self.nt else next(self.rig.drive_c.glob("users/*/Temp"))
        planted = temp / ("Uninstall.Kvx.%s.Bat" % batch_name(program))
        # A hard link: writing through the name would change the other file. (Wine's deletion follows
        # a Linux symbolic link to a file, which Windows' does not, so such a link tells nothing here.)
        victim = self.rig.drive_c / "vittima.txt"
        victim.write_bytes(b"someone else's")
        planted.unlink(missing_ok=True)
        os.link(victim, planted)
        if self.nt:
            rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
        else:
            rec = self.run_idle(program)
        self.assertEqual(rec.int("code"), 0)
        self.assertEqual(victim.read_bytes(), b"someone else's")
        if self.nt:
            self.wait_until(lambda: not inst.exists(), "folder gone")
            self.wait_until(lambda: not planted.exists(), "batch file gone")
        else:
            self.assertEqual(planted.stat().st_nlink, 1)
            self.assertEqual(planted.read_bytes(), batch_text(False, program, folder, self.rig.winpath(planted),
                                                              silent=True))
            planted.unlink()
            shutil.rmtree(inst)

    def test_program_that_stays_is_reported_by_the_warning_box(self):
        folder = "C:\\Resiste"
        inst, program = self.install(folder, b"Korvex.exe\r\nkvxext.dll\r\n")
        held = self.hold(program)
        try:
            rec = self.rig.run_script([R.start(program, "/remove"), R.wait_window(60000, CAPTION),
                                       "click %d" % YES, "wait-exit 60000"]).exit()
            self.assertEqual(rec.int("code"), 0)
            # Five attempts fail; the batch file runs the program with "/warning".
            probe = self.rig.wine([BOXPROBE, CAPTION, "60000", str(OK)], timeout=120)
            self.assertEqual(probe.returncode, 0, probe.stdout)
            text = next(bytes.fromhex(l.split("text=")[1]).decode("cp1252") for l in
                        probe.stdout.decode().splitlines() if l.startswith("child id=-1 "))
            self.assertEqual(text, "Rimozione completa\nDevi eliminare il file %s manualmente" % program)
            self.wait_until(lambda: not self.batches(), "batch file deleted after the warning")
        finally:
            self.release(held)
        self.assertTrue((inst / "Uninstall.exe").exists())
        self.assertFalse((inst / "Korvex.exe").exists())

    def test_paths_with_blanks_are_quoted(self):
        # A program planted where an unquoted "C:\Program Files\..." would first look.
        log = self.rig.files / "program-runs.txt"
        env = {"KVX_STUB_LOG": self.rig.winpath(log)}
        planted = self.rig.drive_c / "Program.exe"
        shutil.copy(STUB, planted)
        try:
            folder = "C:\\Program Files\\Korvex"
            inst, program = self.install(folder, b"Korvex.exe\r\nkvxext.dll\r\nUninstall.exe\r\n")
            self.rig.run_script(["cd " + folder, R.start(program, "/setup"), R.wait_window(60000, SETUP_CAPTION),
                                 "click %d" % OK, "wait-gone 60000", R.wait_window(60000, SETUP_CAPTION),
                                 "click 5102", "sleep 1500", "click %d" % OK, "wait-exit 60000"], env=env)
            self.close_folder_windows()
            self.wait_until(lambda: log.exists(), "the archiver started")
            runs = log.read_bytes().decode("cp1252").splitlines()
            self.assertEqual(len(runs), 1, runs)
            self.assertIn('cmd="%s\\Korvex.exe"' % folder, runs[0])

            uninstall = self.registry().get(F.UNINSTALL_KEY, "UninstallString")
            self.assertEqual(uninstall, '"%s"' % program)
            self.assertEqual(self.registry().get(F.UNINSTALL_KEY, "QuietUninstallString"),
                             '"%s" /remove /s' % program)
            res = self.rig.run_script(["starthex " + R.hexarg(uninstall), R.wait_window(60000, CAPTION),
                                       "click %d" % NO, "wait-exit 60000"], env=env)
            self.assertEqual(res.exit().int("code"), 0)
            self.assertEqual(len(log.read_bytes().decode("cp1252").splitlines()), 1)

            # The quiet form removes everything without a window.
            rec = self.rig.run_script(["starthex " + R.hexarg(self.registry().get(F.UNINSTALL_KEY,
                                                                                  "QuietUninstallString")),
                                       "wait-exit 60000"], env=env).exit()
            self.assertEqual((rec.int("code"), rec.int("windows")), (0, 0))
            self.wait_until(lambda: not inst.exists(), "quietly removed")
            self.expect_integration_gone()
        finally:
            planted.unlink()


class Removal98(rigs.RemovalRig):
    """The 9x family: everything but the batch file's run, which Wine's cmd cannot do as COMMAND.COM."""
    NAME = "removal98"
    VERSION = "win98"

    def test_removal_without_interpreter_and_the_batch_text(self):
        folder = "C:\\Programmi\\Korvex98"
        inst, program = self.install(folder, b"doc\r\ndoc\\a.txt\r\nKorvex.exe\r\nkvxext.dll\r\n",
                                     files=["doc/a.txt", "korvex.gid"])
        self.setup(folder, program)
        rec = self.run_idle(program)
        self.assertEqual(rec.int("code"), 0)
        self.assertEqual(sorted(p.name for p in inst.iterdir()), ["Uninstall.exe", "Uninstall.lst"])
        self.expect_integration_gone()
        found = self.batches()
        self.assertEqual(len(found), 1)
        self.assertEqual(found[0].read_bytes(),
                         batch_text(False, program, folder, self.rig.winpath(found[0]), silent=True))
        found[0].unlink()

    def test_declined_and_missing_list_change_nothing(self):
        RemovalNt.test_declined_and_missing_list_change_nothing(self)

    def test_batch_file_never_written_through_what_is_at_its_name(self):
        RemovalNt.test_batch_file_never_written_through_what_is_at_its_name(self)

    def test_without_an_interpreter_the_removal_is_unfinished(self):
        # COMSPEC names the 9x family's interpreter; without one the batch file cannot start. The
        # list stays for a rerun.
        folder = "C:\\Vuoto98"
        inst, program = self.install(folder, b"Korvex.exe\r\n")
        self.assertEqual(self.run_cmd("set COMSPEC=&& %s /remove /s" % program).int("code"), 1603)
        self.assertEqual(sorted(p.name for p in inst.iterdir()), ["Uninstall.exe", "Uninstall.lst", "kvxext.dll"])
        found = self.batches()
        self.assertEqual(len(found), 1)
        batch = F.batch_own_path(self.rig, found[0])
        self.assertEqual(found[0].read_bytes(), batch_text(False, program, folder, batch, silent=True))
        self.assertEqual(self.run_idle(program).int("code"), 0)
        for batch in self.batches():
            batch.unlink()
        shutil.rmtree(inst)

    def test_wininit_is_replaced_whole_or_left_as_it_was(self):
        folder = "C:\\Ini98"
        inst, program = self.install(folder, None)
        windows = self.rig.drive_c / "windows"
        wininit = windows / "WININIT.INI"
        others = b"[rename]\r\nNUL=C:\\ALTRO.TXT\r\n" + b"".join(b"NUL=C:\\TEMP\\VECCHIO%d.TMP\r\n" % i
                                                                   for i in range(300))
        line = "set COMSPEC=%s&& %s /remove /s" % (F.idle_interpreter(self.rig), program)

        def removal(run):
            (inst / "Uninstall.lst").write_bytes(b"kvxext.dll\r\n")
            code = run(line).int("code")
            for batch in self.batches():
                batch.unlink()
            return code
        # The hold starts the session first: a new session carries out an existing WININIT.INI.
        held = self.hold(folder + "\\kvxext.dll")
        try:
            before = sorted(p.name for p in windows.iterdir())
            wininit.write_bytes(others)
            self.assertEqual(removal(self.run_cmd), 3010)
            self.assertEqual([p.lower() for p in self.pending_deletions()[:3]],
                             ["c:\\ini98\\kvxext.dll", "c:\\ini98", "c:\\altro.txt"])
            self.assertTrue(wininit.read_bytes().endswith(others[len(b"[rename]\r\n"):]))

            # Unreadable (held without sharing), or no room for the new text: left as it was.
            wininit.write_bytes(others)
            ini = self.hold("C:\\windows\\WININIT.INI", (0x80000000, 0))
            try:
                self.assertEqual(removal(self.run_cmd), 1603)
            finally:
                self.release(ini)
            self.assertEqual(wininit.read_bytes(), others)
            self.assertEqual(removal(lambda line: self.run_cmd_on_a_full_disk(line, 4096)), 1603)
            self.assertEqual(wininit.read_bytes(), others)
            self.assertEqual(sorted(p.name for p in windows.iterdir()), sorted(before + ["WININIT.INI"]))
        finally:
            self.release(held)
            wininit.unlink(missing_ok=True)

    def test_held_files_go_at_restart(self):
        def removal(program):
            self.assertEqual(self.run_idle(program).int("code"), 3010)
        self.held_files_go_at_restart(removal, program_stays=True)
        for batch in self.batches():
            batch.unlink()


if __name__ == "__main__":
    unittest.main()
