"""End to end: the release package (tools/release/make_release.py, what scripts/release.sh runs).

The package is made from the tree's Uninstall.exe twice (same bytes), its sums are checked, then it
is unpacked into the installation folder of a fresh Wine prefix as an installer would (with the
archiver's stand-ins and an Uninstall.lst naming every file), set up silently and removed silently
from there: what the setup wrote goes, and so does the folder. Run by ctest (tests/e2e/CMakeLists.txt).
"""
import hashlib
import shutil
import sys
import unittest
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "tools" / "driver"))
sys.path.insert(0, str(HERE.parents[1] / "tools" / "release"))
sys.path.insert(0, str(HERE))
import make_release  # noqa: E402
import pe_version  # noqa: E402
import rig as R  # noqa: E402
import test_removal as RM  # noqa: E402  (the removal's rig: planted owners, setup, registry checks)
import test_setup as S  # noqa: E402

CONTENTS = ["README-admin.txt", "SHA256SUMS", "Uninstall.exe", "lang/english/uninstall.lng",
            "lngkit/README.md", "lngkit/lngkit.py"]
FOLDER = "C:\\Programmi\\Korvex"


def parse_sums(data):
    return {line.split("  ", 1)[1]: line.split("  ", 1)[0] for line in data.decode("ascii").splitlines()}


class ReleasePackage(RM.RemovalRig):
    NAME = "release"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.version = (Path(RM.BUILD) / "version.txt").read_text().strip()
        cls.out = [cls.rig.files / "package-a", cls.rig.files / "package-b"]
        cls.zips = [make_release.make(RM.EXE, cls.version, out, 1262304000) for out in cls.out]

    def test_1_package_contents_sums_and_reproducibility(self):
        zip_a, zip_b = self.zips
        self.assertEqual(zip_a.name, "korvex-uninstall-%s.zip" % self.version)
        self.assertEqual(zip_a.read_bytes(), zip_b.read_bytes(), "same inputs, different zips")
        self.assertEqual(parse_sums((self.out[0] / "SHA256SUMS").read_bytes()),
                         {zip_a.name: hashlib.sha256(zip_a.read_bytes()).hexdigest()})
        with zipfile.ZipFile(zip_a) as z:
            self.assertEqual(z.namelist(), CONTENTS)
            self.assertEqual({i.date_time for i in z.infolist()}, {(2010, 1, 1, 0, 0, 0)})
            files = {name: z.read(name) for name in z.namelist()}
        inner = parse_sums(files["SHA256SUMS"])
        self.assertEqual(sorted(inner), sorted(set(CONTENTS) - {"SHA256SUMS"}))
        for name, digest in inner.items():
            self.assertEqual(hashlib.sha256(files[name]).hexdigest(), digest, name)
        self.assertEqual(files["Uninstall.exe"], Path(RM.EXE).read_bytes())
        self.assertEqual(pe_version.problems(pe_version.read(RM.EXE), self.version, "Uninstall.exe"), [])
        admin = files["README-admin.txt"].decode("cp1252")
        self.assertIn("Uninstall.exe %s" % self.version, admin)
        self.assertNotIn("\n", admin.replace("\r\n", ""), "lines end in CRLF")
        for needed in ("/setup /s", "/remove /s", "docs/administrators.md"):
            self.assertIn(needed, admin)

    def test_2_unpacked_setup_and_silent_removal(self):
        inst = self.rig.linuxpath(FOLDER)
        inst.mkdir(parents=True)
        with zipfile.ZipFile(self.zips[0]) as z:
            z.extractall(inst)
        # The installer's part: the archiver and its shell extension, and the list of what it put there.
        shutil.copy(RM.STUB, inst / "Korvex.exe")
        (inst / "kvxext.dll").write_bytes(b"MZ not a real library")
        listing = [name.replace("/", "\\") for name in CONTENTS] + ["lngkit", "lang\\english", "lang",
                                                                      "Korvex.exe", "kvxext.dll"]
        (inst / "Uninstall.lst").write_bytes(("\r\n".join(listing) + "\r\n").encode("cp1252"))
        for name, digest in parse_sums((inst / "SHA256SUMS").read_bytes()).items():
            self.assertEqual(hashlib.sha256((inst / name).read_bytes()).hexdigest(), digest, name)

        program = FOLDER + "\\Uninstall.exe"
        self.setup(FOLDER, program)
        reg = self.registry()
        self.assertEqual(reg.get(S.UNINSTALL_KEY, "QuietUninstallString"), program + " /remove /s")  # no blank: unquoted
        self.assertEqual(reg.get("HKCR\\.zip"), "Korvex.ZIP")
        self.assertEqual(reg.get("HKCR\\CLSID\\" + S.CLSID + "\\InProcServer32"), FOLDER + "\\kvxext.dll")
        self.assertTrue(self.links[2].exists(), "program group")

        rec = self.rig.run_script(["starthex " + R.hexarg(reg.get(S.UNINSTALL_KEY, "QuietUninstallString")),
                                   "wait-exit 60000"], timeout=180).exit()
        self.assertEqual((rec.int("code"), rec.int("windows")), (0, 0))
        self.wait_until(lambda: not inst.exists(), "installation folder gone", timeout=60)
        self.wait_until(lambda: not self.batches(), "batch file gone")
        self.expect_integration_gone()


if __name__ == "__main__":
    unittest.main()
