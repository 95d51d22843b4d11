"""End to end: a removal never deletes through a link, on the real Uninstall.exe under Wine.

Wine makes Linux symbolic links into Windows links: one to a folder it reports as a reparse point,
one to a file as a plain file, and its own deletion follows both. The program group folder replaced
by a link, a link inside the group, and a listed entry that is a link to a file outside: what they
lead to stays whole. A link that cannot be removed as a link stays, and the removal says it could
not finish. Run by ctest (tests/e2e/CMakeLists.txt).
"""
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
sys.path.insert(0, str(Path(__file__).resolve().parent))
import rig as R  # noqa: E402
import rigs  # noqa: E402


class Links(rigs.RemovalRig):
    NAME = "links"

    def outside(self, name):
        """A folder outside every installation with two files; its Linux path."""
        folder = self.rig.drive_c / name
        shutil.rmtree(folder, ignore_errors=True)
        (folder / "sub").mkdir(parents=True)
        (folder / "a.txt").write_bytes(b"not ours")
        (folder / "sub" / "b.txt").write_bytes(b"not ours")
        return folder

    def test_nothing_behind_a_link_is_deleted(self):
        important, beside = self.outside("Importante"), self.outside("Accanto")
        victim = self.rig.drive_c / "vittima.txt"
        victim.write_bytes(b"not ours")
        folder = "C:\\Legami"
        inst, program = self.install(folder, b"Korvex.exe\r\nkvxext.dll\r\ncollegamento.txt\r\nUninstall.exe\r\n")
        (inst / "collegamento.txt").symlink_to(victim)
        self.setup(folder, program)
        # The all-users group replaced by a link; a link inside the user's own group.
        common, own = self.links[3], self.links[2]
        shutil.rmtree(common)
        common.symlink_to(important, target_is_directory=True)
        (own / "dentro").symlink_to(beside, target_is_directory=True)

        rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
        # The listed link stays (Wine cannot remove it without following it): not finished.
        self.assertEqual(rec.int("code"), 1603)
        self.wait_until(lambda: not self.batches(), "batch file gone")
        for folder_ in (important, beside):
            self.assertEqual(sorted(str(p.relative_to(folder_)) for p in folder_.rglob("*")),
                             ["a.txt", "sub", "sub/b.txt"])
        self.assertEqual(victim.read_bytes(), b"not ours")
        # The group's links are gone; the links that Wine cannot remove as links stay.
        self.assertEqual([p.name for p in own.iterdir()], ["dentro"])
        self.assertTrue(common.is_symlink())
        self.assertTrue((inst / "collegamento.txt").is_symlink())
        self.assertEqual(self.pending_deletions(), [])
        self.assertFalse((inst / "Korvex.exe").exists())

    def test_a_long_list_shared_by_two_threads_keeps_the_same_promises(self):
        # Long enough for two threads: every file goes the quick way but a read-only one and a link
        # to a file outside, and the folders go in later passes.
        victim = self.rig.drive_c / "vittima2.txt"
        victim.write_bytes(b"not ours")
        dirs = ["d%02d" % d for d in range(16)]
        files = ["%s\\f%02d.txt" % (d, f) for d in dirs for f in range(20)] + ["d03\\sola.txt"]
        listing = "\r\n".join(["Korvex.exe", "kvxext.dll"] + dirs + files + ["d07\\link.txt", "Uninstall.exe", ""])
        folder = "C:\\Lunga"
        inst, program = self.install(folder, listing.encode(), files=[f.replace("\\", "/") for f in files],
                                     readonly=["d03\\sola.txt"])
        (inst / "d07" / "link.txt").symlink_to(victim)
        rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
        self.assertEqual(rec.int("code"), 1603)
        self.wait_until(lambda: not self.batches(), "batch file gone")
        self.assertEqual(victim.read_bytes(), b"not ours")
        left = sorted(str(p.relative_to(inst)) for p in inst.rglob("*"))
        self.assertEqual(left, ["d07", "d07/link.txt"])


if __name__ == "__main__":
    unittest.main()
