"""The manifest checker (tools/release/pe_manifest.py) on the program's manifest and on faulty ones:
each fault Windows punishes must be reported. The built program's own resource is checked by the
manifest test of the win32 tree."""
import os
import sys
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tools", "release"))
import pe_manifest  # noqa: E402

with open(os.path.join(REPO, "src", "resources", "uninstall.manifest"), "rb") as f:
    GOOD = f.read()
TRUST = b'<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">'


class ManifestChecks(unittest.TestCase):
    def test_the_programs_manifest_passes(self):
        self.assertEqual(pe_manifest.problems(GOOD), [])

    def test_each_fault_is_reported(self):
        faults = {
            "declared twice": GOOD.replace(TRUST, b'<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3" '
                                                  b'xmlns:v3="urn:schemas-microsoft-com:asm.v3">'),
            "no namespace": GOOD.replace(TRUST, b"<trustInfo>"),
            "not elevated": GOOD.replace(b'"requireAdministrator"', b'"asInvoker"'),
            "a system missing": GOOD.replace(b"8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a", b"0"),
            "not DPI aware": GOOD.replace(b">true</dpiAware>", b">false</dpiAware>"),
            "no themed controls": GOOD.replace(b"Microsoft.Windows.Common-Controls", b"Other"),
            "not well formed": GOOD.replace(b"</assembly>", b""),
        }
        for name, text in faults.items():
            self.assertNotEqual(text, GOOD, name)
            self.assertNotEqual(pe_manifest.problems(text), [], name)


if __name__ == "__main__":
    unittest.main()
