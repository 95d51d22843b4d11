"""End to end: two installations of Korvex side by side, as a move makes them (the new copy set up,
then the old one removed). The old copy's silent removal takes only what names its own folder: every
registration, link and file of the new copy stays as it was. The new copy's removal, with one registration
left by a copy deleted by hand and one naming its folder in short 8.3 form, then leaves nothing of the
archiver, the previous owners of the file types given back. Run by ctest (tests/e2e/CMakeLists.txt).
"""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
sys.path.insert(0, str(Path(__file__).resolve().parent))
import rig as R  # noqa: E402
import fixtures as F  # noqa: E402
import rigs  # noqa: E402

OLD, NEW = "C:\\Korvex vecchio", "C:\\Korvex nuovo"
LISTING = b"Korvex.exe\r\nkvxext.dll\r\nUninstall.exe\r\n"
SCOPE = F.REMOVAL_SCOPE + ["HKLM\\Software\\Korvex"]
VALUES = [(F.REGISTERED, "Korvex")]
# The registrations that name an installation's folder.
NAMING = [(F.APP_PATH, ""), (F.UNINSTALL_KEY, "UninstallString"), ("HKCR\\Korvex\\shell\\open\\command", ""),
          ("HKCR\\Korvex.ZIP\\shell\\open\\command", ""), ("HKCR\\CLSID\\%s\\InProcServer32" % F.CLSID, "")]
# Empty keys every removal leaves: the common handler keys (on purpose, README) and the keys made on the
# way to them, and the new-archive template's ShellNew key of a type given back to its previous owner.
RESIDUE = ("hkcr\\*\\shellex\\", "hkcr\\folder\\shellex\\", "hkcr\\exefile\\shellex", "hkcr\\.zip\\shellnew")


class TwoInstallations(rigs.RemovalRig):
    NAME = "two-installations"

    def snapshot(self, *folders):
        return F.state(self.rig, SCOPE, self.links + [self.rig.linuxpath(f) for f in folders], VALUES)

    def choose_every_link(self):
        path = self.rig.files / "links.reg"
        path.write_bytes(b'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Korvex\\Setup\\Links]\r\n'
                         b'"Desktop"=dword:00000001\r\n"StartMenu"=dword:00000001\r\n')
        self.assertEqual(self.rig.wine(["regedit", "/S", self.rig.winpath(path)], timeout=180).returncode, 0)

    def short_path(self, winpath):
        batch = self.rig.files / "short.bat"
        batch.write_bytes(b'@for %%%%I in ("%s") do @echo %%%%~sI\r\n' % winpath.encode("cp1252"))
        proc = self.rig.wine(["cmd.exe", "/c", self.rig.winpath(batch)], timeout=120)
        return proc.stdout.decode("cp1252").strip()

    def remove_silently(self, program, inst):
        rec = self.rig.run_script([R.run(60000, program, "/remove", "/s")]).exit()
        self.assertEqual((rec.int("code"), rec.int("windows")), (0, 0))
        self.wait_until(lambda: not inst.exists(), "%s gone" % inst)
        self.wait_until(lambda: not self.batches(), "batch file gone")

    def test_a_removal_leaves_another_installation_whole(self):
        before = self.snapshot()
        self.choose_every_link()
        old, old_program = self.install(OLD, LISTING)
        new, new_program = self.install(NEW, LISTING)
        self.setup(OLD, old_program)
        self.setup(NEW, new_program)  # takes everything over
        with_new = self.snapshot(NEW)
        reg = F.state_registry(with_new)
        for key, name in NAMING:
            self.assertTrue((reg.get(key, name) or "").lstrip('"').startswith(NEW + "\\"), (key, reg.get(key, name)))
        self.assertEqual(reg.get("HKCR\\.zip"), "Korvex.ZIP")
        links = {path: link for path, link in with_new["files"].items() if path.endswith(".lnk")}
        self.assertEqual(len(links), 8, links)  # desktop, start menu, three in each of two groups
        for path, (target, _) in links.items():
            self.assertTrue(target.startswith(NEW + "\\"), (path, target))

        self.remove_silently(old_program, old)
        self.assertEqual(F.state_differences(with_new, self.snapshot(NEW)), [])

        # A registration naming a folder whose program is gone is a leftover, and one naming the own
        # folder in its short form (as older installers write it) is the removal's own: it takes both.
        short = self.short_path(new_program)
        self.assertNotEqual(short.lower(), new_program.lower())
        F.plant(self.rig, {"HKEY_CLASSES_ROOT\\Korvex.ZIP\\shell\\open\\command":
                           {"": '"C:\\Korvex cancellato\\Korvex.exe" "%1"'},
                           "HKEY_LOCAL_MACHINE" + F.UNINSTALL_KEY[4:]: {"UninstallString": short}})
        self.remove_silently(new_program, new)
        after = self.snapshot()
        for key in [k for k, values in after["registry"].items()
                    if not values and k not in before["registry"] and k.startswith(RESIDUE)]:
            del after["registry"][key]
        self.assertEqual(F.state_differences(before, after), [])


if __name__ == "__main__":
    unittest.main()
