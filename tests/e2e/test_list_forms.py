"""End to end: the forms a list of installed files takes, and the exit codes a silent removal
reports for them, on the real Uninstall.exe under Wine (NT family).

A list with a byte-order mark is read as the text it is; one that names nothing to delete, or holds
names the ANSI code page cannot hold, is unreadable: exit 2, nothing changed. Device names are
refused like "..", so they neither fail nor schedule a restart. The restart step has no fixed
limit. Run by ctest (tests/e2e/CMakeLists.txt).
"""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
sys.path.insert(0, str(Path(__file__).resolve().parent))
import rig as R  # noqa: E402
import fixtures as F  # noqa: E402
import rigs  # noqa: E402

ACCENTED = "nota \xe0 margine.txt"  # in the ANSI code page (1252)


class ListForms(rigs.RemovalRig):
    NAME = "listforms"

    def remove_silently(self, program):
        """The silent removal and its batch file to their end; the exit code."""
        code = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit().int("code")
        self.wait_until(lambda: not self.batches(), "batch file gone")
        return code

    def test_marked_lists_are_read_and_device_names_refused(self):
        decoy = self.rig.drive_c / "CON.txt"  # what a device name would reach were it a file
        decoy.write_bytes(b"not ours")
        names = ["Korvex.exe", "kvxext.dll", ACCENTED, "CON", "com1.txt", "AUX", "LPT1", "doc\\PRN.txt", "Uninstall.exe"]
        forms = {"utf-8": b"\xef\xbb\xbf" + "\r\n".join(names).encode("utf-8"),
                 "utf-16-le": "\ufeff".encode("utf-16-le") + "\r\n".join(names).encode("utf-16-le"),
                 "utf-16-be": "\ufeff".encode("utf-16-be") + "\n".join(names).encode("utf-16-be")}
        for form, listing in forms.items():
            with self.subTest(form=form):
                inst, program = self.install("C:\\Marcato", listing, files=[ACCENTED])
                # Removed whole, the first entry too, and nothing waits for a restart.
                self.assertEqual(self.remove_silently(program), 0)
                self.wait_until(lambda: not inst.exists(), "folder gone")
                self.assertEqual(self.pending_deletions(), [])
        self.assertEqual(decoy.read_bytes(), b"not ours")

    def test_lists_without_a_usable_entry_change_nothing(self):
        folder = "C:\\Illeggibile"
        inst, program = self.install(folder, None)
        self.setup(folder, program)
        unreadable = {"empty": b"", "blank lines": b"\r\n \t\r\n\n",
                      "refused entries only": b"..\\fuori.txt\r\nC:\\fuori.txt\r\nCON\r\n",
                      "a name outside the code page": "\ufeffKorvex.exe\r\n\u0434\u0430.txt".encode("utf-16-le"),
                      "odd UTF-16": b"\xff\xfeK\x00o\x00x"}
        for form, listing in unreadable.items():
            with self.subTest(form=form):
                (inst / "Uninstall.lst").write_bytes(listing)
                before = self.state(inst)
                rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
                self.assertEqual((rec.int("code"), rec.int("windows")), (2, 0))
                self.assertEqual(self.state(inst), before)
                self.assertEqual(self.batches(), [])
        # Asked, the user is told the list cannot be read.
        res = self.rig.run_script([R.start(program), R.wait_window(60000, F.REMOVAL_CAPTION), "click %d" % F.YES,
                                   "wait-gone 20000", R.wait_window(60000, F.REMOVAL_CAPTION), "dump", "click %d" % F.OK,
                                   "wait-exit 60000"])
        self.assertEqual(res.dumps()[0].child(65535).text, "Impossibile aprire la lista dei files Uninstall.lst")
        self.assertEqual(self.state(inst), before)
        (inst / "Uninstall.lst").write_bytes(b"Korvex.exe\r\nkvxext.dll\r\nUninstall.exe\r\n")
        self.assertEqual(self.remove_silently(program), 0)
        self.expect_integration_gone()

    def test_a_held_file_after_many_kept_folders_still_goes_at_restart(self):
        folders = ["cartella%02d" % i for i in range(70)]
        listing = "".join(f + "\r\n" for f in folders) + "in uso.dll\r\nKorvex.exe\r\nkvxext.dll\r\nUninstall.exe\r\n"
        inst, program = self.install("C:\\Molte", listing.encode(),
                                     files=[f + "/non elencato.txt" for f in folders] + ["in uso.dll"])
        held = self.hold("C:\\Molte\\in uso.dll")
        try:
            self.assertEqual(self.remove_silently(program), 3010)
        finally:
            self.release(held)
        pending = [p.lower() for p in self.pending_deletions()]
        self.assertEqual(pending[0], "c:\\molte\\in uso.dll")
        self.assertEqual(len(pending), 72)  # the file, the 70 folders, the installation folder
        self.clear_pending()


if __name__ == "__main__":
    unittest.main()
