"""Tests of tools/demo_setup.py's account of what a removal left: which remainders count as
expected, and how saved registry states (exports, Wine's files) are read. Run from the repo root:
    python3 -m unittest tests/tools/test_demo_setup.py
"""
import os
import sys
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tools"))
import demo_setup as D  # noqa: E402
import rig as R  # noqa: E402  (demo_setup put its folder on the path)

CLASSES = "HKEY_LOCAL_MACHINE\\Software\\Classes\\"
HANDLER = '@="{6F2A0C31-5D17-11D2-A4E8-3C90B2E15D07}"'


def labels(items):
    return [label.split(None, 1)[1] for label, _ in items]


class ResidueTest(unittest.TestCase):
    BEFORE = {CLASSES + "*": set(), CLASSES + ".zip": {'@="Other.Zip"'}}
    FILES = {"users\\root\\Desktop\\", "users\\root\\note.txt"}

    def residue(self, after_reg, after_files=FILES):
        return D.residue(self.BEFORE, after_reg, set(self.FILES), set(after_files))

    def test_nothing_left_reports_nothing(self):
        self.assertEqual(self.residue(dict(self.BEFORE)), ([], []))

    def test_empty_handler_keys_and_their_parents_are_expected_in_any_case(self):
        after = dict(self.BEFORE)
        for key in ("*\\shellex", "*\\shellex\\ContextMenuHandlers", "*\\shellex\\ContextMenuHandlers\\Korvex",
                    "folder\\shellex\\DragDropHandlers\\Korvex", "Drive",
                    "exefile\\shellex\\PropertySheetHandlers"):
            after[CLASSES + key] = set()
        expected, unexpected = self.residue(after)
        self.assertEqual(unexpected, [])
        self.assertEqual(len(expected), 6)

    def test_a_handler_key_still_naming_the_extension_is_unexpected(self):
        after = dict(self.BEFORE, **{CLASSES + "Directory\\shellex\\ContextMenuHandlers\\Korvex": {HANDLER}})
        expected, unexpected = self.residue(after)
        self.assertEqual(expected, [])
        self.assertEqual(labels(unexpected), ["[%sDirectory\\shellex\\ContextMenuHandlers\\Korvex]" % CLASSES])
        self.assertIn(HANDLER, unexpected[0][1])

    def test_keys_outside_the_documented_ones_are_unexpected_even_when_empty(self):
        after = dict(self.BEFORE)
        for key in ("txtfile\\shellex", "Korvex", "*\\shellex\\ContextMenuHandlers\\Korvex\\extra",
                    "*\\shellex\\PropertySheetHandlers\\Korvex"):
            after[CLASSES + key] = set()
        expected, unexpected = self.residue(after)
        self.assertEqual(expected, [])
        self.assertEqual(len(unexpected), 4)

    def test_an_owner_not_given_back_shows_both_values(self):
        after = dict(self.BEFORE, **{CLASSES + ".zip": {'@="Korvex.ZIP"'}})
        _, unexpected = self.residue(after)
        self.assertEqual(len(unexpected), 1)
        self.assertEqual(unexpected[0][1][1:], ['+ @="Korvex.ZIP"', '- @="Other.Zip"'])

    def test_a_key_there_before_the_setup_and_gone_now_is_unexpected(self):
        after = {CLASSES + "*": set()}
        _, unexpected = self.residue(after)
        self.assertEqual(labels(unexpected), ["[%s.zip]" % CLASSES])

    def test_files_and_folders_left_are_unexpected_and_older_ones_are_not(self):
        left = self.FILES | {"users\\root\\Start Menu\\Programs\\Korvex\\", "Programmi\\Korvex\\kvxnew.dat",
                             "users\\root\\Temp\\Uninstall.Kvx.0A1B2C3D.log"}  # the run log stays on purpose
        expected, unexpected = self.residue(dict(self.BEFORE), left)
        self.assertEqual(labels(expected), ["C:\\users\\root\\Temp\\Uninstall.Kvx.0A1B2C3D.log"])
        self.assertEqual(sorted(labels(unexpected)),
                         ["C:\\Programmi\\Korvex\\kvxnew.dat", "C:\\users\\root\\Start Menu\\Programs\\Korvex\\"])
        self.assertEqual(sorted(l.split()[0] for l, _ in unexpected), ["file", "folder"])


class ReadRegTest(unittest.TestCase):
    """rig.read_reg: the exports compared here, and the registry files Wine saves."""

    def test_exports_in_utf16_and_ansi(self):
        text = ("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Korvex]\r\n"
                '#time=1d9\r\n"Multi"=hex(7):41,00,00,00,\\\r\n  42,00,00,00,00,00\r\n'
                '"Path"="C:\\\\Programmi\\\\ \\"q\\""\r\n\r\n[HKEY_CURRENT_USER\\Software\\Korvex\\Setup]\r\n')
        self.assertEqual(R.read_reg(b"\xff\xfe" + text.encode("utf-16-le")), {
            "HKEY_CURRENT_USER\\Software\\Korvex": {"Multi": ("REG_MULTI_SZ", "A | B"),
                                                     "Path": ("REG_SZ", 'C:\\Programmi\\ "q"')},
            "HKEY_CURRENT_USER\\Software\\Korvex\\Setup": {}})
        self.assertEqual(R.read_reg('REGEDIT4\r\n\r\n[HKEY_A]\r\n@="modalit\xe0"\r\n'.encode("cp1252")),
                         {"HKEY_A": {"": ("REG_SZ", "modalit\xe0")}})

    def test_wine_registry_file_with_escaped_paths_and_notes(self):
        data = (b"WINE REGISTRY Version 2\n#arch=win32\n\n[Software\\\\Korvex\\\\.zip] 1700000000\n#time=1da1\n"
                b'"Set"=dword:00000010\n@="modalit\\xe0 \\\\x"\n"Data"=hex:50,4b,\\\n  05,06\n')
        notes = {}
        self.assertEqual(R.read_reg(data, notes), {"Software\\Korvex\\.zip": {
            "Set": ("REG_DWORD", "16"), "": ("REG_SZ", "modalit\xe0 \\x"), "Data": ("REG_BINARY", "50 4b 05 06")}})
        self.assertEqual(notes, {"Software\\Korvex\\.zip": "1700000000\n#time=1da1"})


if __name__ == "__main__":
    unittest.main()
