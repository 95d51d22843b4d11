"""Tests of tools/lngkit/lngkit.py: keys, escapes, PE resources, template and check.

Resources come from a small .rc compiled with mingw-w64 windres; those tests
skip when it is missing. Run from the repo root:
    python3 -m unittest tests/tools/test_lngkit.py
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tools", "lngkit"))
import lngkit  # noqa: E402

SCRIPT = os.path.join(REPO, "tools", "lngkit", "lngkit.py")
UNINSTALL_EXE = os.path.join(REPO, "build", "win32", "src", "Uninstall.exe")
ENGLISH = os.path.join(REPO, "lang", "english", "uninstall.lng")
WINDRES = shutil.which("i686-w64-mingw32-windres")
GCC = shutil.which("i686-w64-mingw32-gcc")

# Windows-1252 source: the accents must reach the resources as UTF-16.
TEST_RC = """#pragma code_page(1252)
#include <windows.h>
LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL
STRINGTABLE
BEGIN
  15, "last of block 1"
  16, "first of block 2"
  5106, "Devi eliminare il file %s manualmente"
  5103, "Manuale in modalit\xe0 carattere"
  5200, "quote "" back\\\\slash tab\\tend"
END
CLASSICDLG DIALOG 0, 0, 100, 80
STYLE WS_POPUP | WS_CAPTION | DS_SETFONT
CAPTION "Modalit\xe0 classica"
MENU 300
FONT 8, "MS Sans Serif"
BEGIN
  CONTROL "&Avanti", 1, "Button", BS_PUSHBUTTON, 5, 5, 40, 14
  CONTROL 101, -1, "Static", SS_ICON, 5, 25, 20, 20
  CONTROL "", 7, "Static", SS_LEFT, 5, 50, 40, 8
  CONTROL "riga uno\\nriga due", 8, "Static", SS_LEFT, 5, 60, 40, 16
  CONTROL "&Avanti", 9, "Button", BS_PUSHBUTTON, 50, 5, 40, 14
END
EXDLG DIALOGEX 0, 0, 100, 80
STYLE WS_POPUP | WS_CAPTION | DS_SHELLFONT
CAPTION "Esteso ""quoted"" \xe8"
CLASS "KvxTestClass"
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  CONTROL "con dati", 20, "Button", BS_PUSHBUTTON, 5, 5, 40, 14, 0, 0
  BEGIN
    1, 2, 3
  END
  CONTROL "dopo i dati", 21, "Static", SS_LEFT, 5, 25, 40, 8
  CONTROL 102, 22, "Static", SS_ICON, 5, 40, 20, 20
  CONTROL "", 23, "Edit", ES_LEFT, 5, 60, 40, 12
END
200 DIALOG 0, 0, 50, 50
CAPTION "numbered"
BEGIN
END
RTL DIALOG 0, 0, 50, 50
CAPTION "marker"
BEGIN
END
"""


def run_kit(*args):
    return subprocess.run([sys.executable, SCRIPT] + list(args),
                          capture_output=True)


def build_library(folder):
    rc = os.path.join(folder, "test.rc")
    with open(rc, "wb") as f:
        f.write(TEST_RC.encode("cp1252"))
    res = os.path.join(folder, "test.res")
    dll = os.path.join(folder, "test.dll")
    for cmd in ([WINDRES, rc, "-O", "coff", "-o", res],
                [GCC, "-shared", "-nostdlib", "-Wl,-e,0", "-o", dll, res]):
        subprocess.run(cmd, check=True, capture_output=True)
    return dll


class KeysAndEscapes(unittest.TestCase):
    def test_known_keys(self):
        self.assertEqual(lngkit.make_key(b"s", b"", b"Rimozione completa"), "d8c94293")
        self.assertEqual(lngkit.make_key(b"$", b"LTR", b"LTR"), "50a17ae8")
        self.assertEqual(lngkit.make_key(b"$", b"SETUPDLG", b""), "9b889d24")
        self.assertEqual(lngkit.make_key(b"$", b"DONEDLG", b""), "debae517")
        # Text parts count as their Windows-1252 bytes, and no context as an empty one.
        self.assertEqual(lngkit.make_key("s", None, "Rimozione completa"), "d8c94293")
        self.assertEqual(lngkit.make_key("s", None, "modalit\u00e0 \u20ac"),
                         lngkit.make_key(b"s", b"", b"modalit\xe0 \x80"))

    def test_key_command(self):
        out = run_kit("key", "s", "", "Rimozione completa")
        self.assertEqual((out.returncode, out.stdout.strip()), (0, b"d8c94293"))
        # An escaped form must give the key of the real text, not of the backslashes.
        plain = lngkit.make_key(b"$", b"X", b"a\nb")
        out = run_kit("key", "-e", "$", "X", "a\\nb")
        self.assertEqual(out.stdout.strip().decode(), plain)
        self.assertNotEqual(run_kit("key", "x", "", "t").returncode, 0)

    def test_escapes_round_trip(self):
        for text in [b'say "hi"', b"C:\\dir\\", b"a\r\nb\tc", b"\\n literal",
                     b'"', b"\\", b"\xe0\xe8 100%", b""]:
            escaped = lngkit.escape(text)
            self.assertNotRegex(escaped, rb"[\r\n]")
            self.assertEqual(lngkit.unescape(escaped), text)
            # The program decodes whole lines; the value ends at the last quote.
            line = b"***messages***\r\n" + lngkit.entry_line("0123abcd", text) + b"\r\n"
            (entry,) = lngkit.read_entries(line, 0)
            self.assertEqual(entry.value, text)
        self.assertEqual(lngkit.unescape(b"a\\xb\\"), b"a\\xb\\")

    def test_placeholders(self):
        self.assertEqual(lngkit.count_placeholders(b"%s and %s"), 2)
        self.assertEqual(lngkit.count_placeholders(b"100%%s %d"), 0)


@unittest.skipUnless(WINDRES and GCC, "i686-w64-mingw32-windres/gcc not installed")
class Resources(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        cls.dll = build_library(cls.folder)
        cls.texts = lngkit.ProgramTexts(cls.dll)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def test_string_tables(self):
        got = {int(t.label): t.original for t in self.texts.messages}
        self.assertEqual(got, {
            15: b"last of block 1", 16: b"first of block 2",
            5103: b"Manuale in modalit\xe0 carattere",
            5106: b"Devi eliminare il file %s manualmente",
            5200: b'quote " back\\slash tab\tend'})

    def test_dialogs_of_both_formats(self):
        dialogs = {name: [(t.label.split(" ", 1)[1], t.original) for t in texts]
                   for name, texts in self.texts.dialogs}
        # Numbered dialogs and the "RTL" marker are not translated.
        self.assertEqual(sorted(dialogs), [b"CLASSICDLG", b"EXDLG"])
        # Ordinal and empty texts are left out; a repeated text is one entry.
        self.assertEqual([t for _, t in dialogs[b"CLASSICDLG"]],
                         [b"Modalit\xe0 classica", b"&Avanti", b"riga uno\nriga due"])
        self.assertRegex(dialogs[b"CLASSICDLG"][1][0], r"1, .*9$")
        # The control after one with creation data is still read.
        self.assertEqual([t for _, t in dialogs[b"EXDLG"]],
                         [b'Esteso "quoted" \xe8', b"con dati", b"dopo i dati"])
        with open(self.dll, "rb") as f:
            res = lngkit.resources(f.read())
        items = lngkit.parse_dialog(res[lngkit.RT_DIALOG]["EXDLG"]).items
        self.assertEqual([(i.id, i.text) for i in items],
                         [(20, "con dati"), (21, "dopo i dati"), (22, 102), (23, "")])
        self.assertEqual(lngkit.parse_dialog(res[lngkit.RT_DIALOG]["CLASSICDLG"]).items[1].text, 101)

    def test_not_a_program(self):
        path = os.path.join(self.folder, "test.rc")
        out = run_kit("template", path, "-o", os.path.join(self.folder, "x.lng"))
        self.assertEqual(out.returncode, 2)
        self.assertIn(b"MZ", out.stderr)


@unittest.skipUnless(WINDRES and GCC, "i686-w64-mingw32-windres/gcc not installed")
class TemplateAndCheck(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        cls.dll = build_library(cls.folder)
        cls.lng = os.path.join(cls.folder, "uninstall.lng")
        out = run_kit("template", cls.dll, "-o", cls.lng)
        assert out.returncode == 0, out.stderr
        with open(cls.lng, "rb") as f:
            cls.template = f.read()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def check(self, data):
        path = os.path.join(self.folder, "edited.lng")
        with open(path, "wb") as f:
            f.write(data)
        out = run_kit("check", path, self.dll)
        lines = out.stdout.decode("cp1252").splitlines()
        problems = [l for l in lines[:-1] if not l.startswith("note: ")]
        return out.returncode, problems, lines[-1]

    def replace(self, old, new):
        self.assertIn(old, self.template)
        return self.template.replace(old, new)

    def test_template_is_complete_and_valid(self):
        self.assertNotRegex(self.template, rb"[^\r]\n")
        self.assertIn(b'="Manuale in modalit\xe0 carattere"\r\n', self.template)
        self.assertEqual(self.template.count(b"***messages**"), 1)
        entries = lngkit.read_entries(self.template, self.template.index(b"***messages***"))
        known = lngkit.ProgramTexts(self.dll).all_texts()
        # Every text once, and each value is the original: the file changes nothing yet.
        self.assertEqual(sorted(e.key for e in entries), sorted(known))
        for e in entries:
            want = {"scale": b"100*100"}.get(known[e.key].kind, known[e.key].original)
            self.assertEqual(e.value, want, e.key)
        self.assertEqual(self.check(self.template), (0, [], "edited.lng: 14 entries, 0 problems"))
        self.assertEqual(run_kit("template", self.dll, "-o", "/dev/stdout").stdout, self.template)

    def test_each_kind_of_problem(self):
        cases = [
            (b'="first of block 2"', b'="first of block 2"\r\n1234abcd="stray"', "no text of the program"),
            (b'="first of block 2"', b'="' + b"x" * 254 + b'"', "254 characters long; the program keeps only 253"),
            (b'="dopo i dati"', b'="' + b"x" * 1022 + b'"', "keeps only 1021"),
            (b'="100*100"', b'="' + b"0" * 503 + b'100*100"', "keeps only 509"),
            (b'="100*100"', b'="125x110"', 'not "125x110"'),
            (b'="100*100"', b'="0*100"', "between 50 and 400"),
            (b'="100*100"', b'="120*401"', "between 50 and 400"),
            (b'="LTR"', b'="rtl"', 'not "rtl"'),
            (b'il file %s manualmente"', b'il file manualmente"', "original has 1 %s, the translation 0"),
            (b'="last of block 1"', b'="last"\r\n' + lngkit.entry_line(
                lngkit.make_key(b"s", b"", b"last of block 1"), b"again"), "duplicate key"),
            (b'\r\n' + lngkit.make_key(b"s", b"", b"last of block 1").encode(),
             b'\r\n' + lngkit.make_key(b"s", b"", b"last of block 1").upper().encode(), "upper-case"),
            (b'="last of block 1"', b'"last of block 1"', 'must be followed by ="'),
            (b'="last of block 1"', b'="last of block 1', "no closing quote"),
            (b'="last of block 1"', b'="ultimo del blocco \xc3\xa0"', "UTF-8"),
            (b"***messages***\r\n", b"***messages***\r\n" + (b";" + b"-" * 98 + b"\r\n") * 656,
             "beyond the first 65536 bytes"),
            (b"; ---- Dialog", b"\x00; ---- Dialog", "after a NUL byte"),
        ]
        for old, new, expected in cases:
            with self.subTest(expected=expected):
                code, problems, summary = self.check(self.replace(old, new))
                self.assertEqual(code, 1)
                self.assertTrue(problems and all(expected in p for p in problems), problems)
                self.assertRegex(summary, r"edited\.lng: \d+ entries, %d problems?$" % len(problems))

    def test_limits_are_inclusive(self):
        data = self.replace(b'="first of block 2"', b'="' + b"x" * 253 + b'"')
        data = data.replace(b'="dopo i dati"', b'="' + b"\\\\" * 1021 + b'"')
        data = data.replace(b'="100*100"', b'="50*400"', 1)
        self.assertEqual(self.check(data)[:2], (0, []))

    def test_entry_ending_exactly_at_the_limit(self):
        marker = self.template.index(b"***messages***")
        last = self.template.rindex(b'"') - marker
        pad = lngkit.SECTION_LIMIT - 1 - last
        header = b"***messages***\r\n"
        body = self.template.replace(header, header + b";" * (pad - 2) + b"\r\n")
        self.assertEqual(self.check(body)[:2], (0, []))
        body = self.template.replace(header, header + b";" * (pad - 1) + b"\r\n")
        self.assertIn("beyond", self.check(body)[1][0])

    def test_missing_marker(self):
        code, problems, summary = self.check(self.template.replace(b"***messages***", b"** messages **"))
        self.assertEqual((code, summary), (1, "edited.lng: 0 entries, 1 problem"))
        self.assertIn("no ***messages*** line", problems[0])


@unittest.skipUnless(os.path.exists(UNINSTALL_EXE) and os.path.exists(ENGLISH),
                     "Uninstall.exe not built or no English language file")
class ShippedEnglishFile(unittest.TestCase):
    def test_english_file_matches_the_program(self):
        out = run_kit("check", ENGLISH, UNINSTALL_EXE)
        self.assertEqual(out.returncode, 0, out.stdout.decode("cp1252"))
        self.assertNotIn(b"no entry", out.stdout)


if __name__ == "__main__":
    unittest.main()
