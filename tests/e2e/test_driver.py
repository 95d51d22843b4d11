"""Tests of the kvxdrive driver itself, against tests/e2e/target.c under Wine.

Build (from the repository root):
    i686-w64-mingw32-g++-win32 -Wall -Wextra -Werror -Os -static -static-libgcc -static-libstdc++ \\
        -s -o build/kvxdrive.exe tools/driver/kvxdrive.cpp
    i686-w64-mingw32-gcc-win32 -Wall -Wextra -Werror -Os -static -s -mwindows \\
        -o build/target.exe tests/e2e/target.c
Run:
    KVX_DRIVER=build/kvxdrive.exe KVX_E2E_TARGET=build/target.exe KVX_E2E_BUILD=build \\
        python3 -m unittest discover -s tests/e2e -p 'test_driver.py' -v
KVX_E2E_BUILD holds the Wine prefixes (default: $TMPDIR/kvx-e2e); the first run there boots a
template prefix (about 30 s). DISPLAY is used when set, else a private Xvfb is started.
"""
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
import rig as R  # noqa: E402

DRIVER = os.environ.get("KVX_DRIVER")
TARGET = os.environ.get("KVX_E2E_TARGET")
MISSING = [n for n, v in (("KVX_DRIVER", DRIVER), ("KVX_E2E_TARGET", TARGET))
           if not v or not Path(v).is_file()]

RIG = None


class WineTest(unittest.TestCase):
    """Shares one prefix (and its server) between all Wine tests of this module."""

    @classmethod
    def setUpClass(cls):
        global RIG
        if MISSING:
            raise unittest.SkipTest("set %s to the built program(s)" % " and ".join(MISSING))
        if RIG is None:
            build = os.environ.get("KVX_E2E_BUILD") or os.path.join(tempfile.gettempdir(),
                                                                    "kvx-e2e")
            RIG = R.Rig(build, "driver", driver=os.path.abspath(DRIVER))


def tearDownModule():
    if RIG:
        RIG.stop()


def target():
    return RIG.winpath(TARGET)


class RecordParsing(unittest.TestCase):
    def test_hex_fields_flags_numbers_and_rects(self):
        res = R.Result("\n".join([
            "window none ms=12 exited=1",
            "dump hwnd=0x1a class=233332373730 caption=436166e920810a rect=-3,4,50,60",
            "child id=65535 class=537461746963 text= rect=1,2,3,4",
            "child id=-1 class=427574746f6e text=3d3d hwnd=0x2",
            "dump hwnd=0x3 class=41 caption=42",
            "exit code=3221225477 ms=5 windows=0",
        ]), 0)
        win = res.first("window")
        self.assertEqual((win.flags, win.int("ms")), ({"none"}, 12))
        dump, second = res.dumps()
        self.assertEqual(dump.window["class"], "#32770")
        self.assertEqual(dump.window.raw("caption"), b"Caf\xe9 \x81\n")  # 0x81: undefined in 1252
        self.assertEqual(dump.window.rect(), (-3, 4, 50, 60))
        self.assertEqual(dump.window.int("hwnd"), 0x1a)
        self.assertEqual(dump.ids(), [65535, -1])
        self.assertEqual((dump.child(65535).text, dump.child(-1).text), ("", "=="))
        self.assertEqual(second.children, [])
        self.assertEqual(res.exit().int("code"), 0xC0000005)
        with self.assertRaises(R.DriverError):
            res.first("started")
        with self.assertRaises(R.DriverError):
            R.Result("ready\nerror cmd=script reason=syntax line=1", 2).check()

    def test_paths_map_drive_c_and_the_root(self):
        rig = R.Rig.__new__(R.Rig)
        rig.prefix = Path("/b/e2e/x")
        self.assertEqual(rig.winpath("/b/e2e/x/drive_c/Program Files/K"), "C:\\Program Files\\K")
        self.assertEqual(rig.winpath("/tmp/a b/t.exe"), "Z:\\tmp\\a b\\t.exe")
        self.assertEqual(rig.linuxpath("c:\\Program Files\\K"),
                         Path("/b/e2e/x/drive_c/Program Files/K"))
        self.assertEqual(rig.linuxpath("Z:\\tmp\\t.exe"), Path("/tmp/t.exe"))

    def test_script_builders(self):
        self.assertEqual(R.wait_window(5, cls="#32770"), "wait-window 5 - 233332373730")
        self.assertEqual(R.wait_window(5, "A"), "wait-window 5 41")
        self.assertEqual(R.settext(7, "\xe9"), "settext 7 e9")
        self.assertEqual(R.command_line("C:\\a b\\x.exe", "/S", ""), '"C:\\a b\\x.exe" /S ""')


class ProcessLifetime(WineTest):
    def test_exit_codes_of_windowless_runs(self):
        res = RIG.run_script(["run 30000 %s exit 7" % target(),
                              R.run(30000, target(), "exit", "300")])
        exits = res.all("exit")
        self.assertEqual([e.int("code") for e in exits], [7, 300])
        self.assertEqual([e.int("windows") for e in exits], [0, 0])
        self.assertEqual(len(res.all("started")), 2)

    def test_rig_sets_the_windows_version_per_program(self):
        name = Path(TARGET).name
        try:
            RIG.set_version(name, "win98")
            res = RIG.run_script([R.run(30000, target(), "version")])
            self.assertEqual(res.exit().int("code"), 410)
        finally:
            RIG.set_version(name, None)
        res = RIG.run_script([R.run(30000, target(), "version")])
        self.assertGreaterEqual(res.exit().int("code"), 500)

    def test_wait_exit_times_out_without_killing_then_kill(self):
        res = RIG.run_script([R.start(target(), "sleep", "30000", "3"), "wait-exit 300",
                              "sleep 200", "wait-exit 0", "kill", "wait-exit 5000"])
        first, second, final = res.all("exit")
        self.assertIn("timeout", first.flags)
        self.assertGreaterEqual(first.int("ms"), 300)
        # Still running after the timeout: the driver must not have ended it.
        self.assertIn("timeout", second.flags)
        self.assertEqual(final.int("code"), 1)  # TerminateProcess's code
        self.assertEqual(len(res.all("killed")), 1)

    def test_exit_time_covers_the_run(self):
        res = RIG.run_script([R.run(30000, target(), "sleep", "600", "5")])
        self.assertEqual(res.exit().int("code"), 5)
        self.assertGreaterEqual(res.exit().int("ms"), 600)

    def test_bad_script_line_stops_the_driver(self):
        res = RIG.run_script([R.run(30000, target(), "exit", "1"), "starthex 4g",
                              R.run(30000, target(), "exit", "2")], check=False)
        self.assertEqual(res.returncode, 2)
        err = res.first("error")
        self.assertEqual((err["reason"], err["line"]), ("syntax", "2"))
        self.assertEqual([e.int("code") for e in res.all("exit")], [1])


class CommandLine(WineTest):
    def invocation(self, lines):
        out = RIG.files / "invocation.txt"
        if out.exists():
            out.unlink()
        res = RIG.run_script(lines, env={"KVX_TARGET_OUT": RIG.winpath(out)})
        cmdline, cwd, *argv = out.read_bytes().split(b"\n")
        self.argv = [a.decode("cp1252") for a in argv]
        return res, cmdline, cwd

    def test_starthex_passes_blanks_tabs_quotes_and_accents(self):
        line = '"%s"  exit\t 9 "a  b" "" "caf\xe9 \\"q\\"" \t ' % target()
        res, got, _ = self.invocation(["runhex 30000 " + R.hexarg(line)])
        self.assertEqual(got, line.encode("cp1252"))
        self.assertEqual(res.exit().int("code"), 9)

    def test_start_keeps_the_rest_of_the_line_verbatim(self):
        line = "%s exit 4 \t  " % target()
        res, got, _ = self.invocation(["start " + line, "wait-exit 30000"])
        self.assertEqual(got, line.encode("cp1252"))
        self.assertEqual(res.exit().int("code"), 4)

    def test_rig_quoting_survives_the_c_runtime(self):
        args = ["exit", "6", "a b", "", "tab\there", 'q"uote', "back\\slash\\", 'x\\\\"y', "f\xeate"]
        res, _, _ = self.invocation([R.run(30000, target(), *args)])
        self.assertEqual(self.argv, args)
        self.assertEqual(res.exit().int("code"), 6)

    def test_cd_sets_the_working_directory(self):
        _, _, cwd = self.invocation(["cd C:\\windows", R.run(30000, target(), "cwd")])
        self.assertEqual(cwd.lower(), b"c:\\windows")


class MessageBoxes(WineTest):
    def test_information_box_is_found_dumped_and_answered(self):
        res = RIG.run_script([R.start(target(), "msgbox", "info", "Caf\xe9 title", "Line \xfc"),
                              R.wait_window(30000), "dump", "click 1", "wait-exit 10000"])
        win = res.first("window")
        self.assertEqual((win["caption"], win["class"]), ("Caf\xe9 title", "#32770"))
        box = res.dumps()[0]
        self.assertEqual(box.child(65535).text, "Line \xfc")
        self.assertEqual(box.child(1088)["icon"], "information")
        self.assertEqual(box.child(1)["enabled"], "1")
        self.assertEqual(res.exit().int("code"), 1)  # IDOK: the click reached the box
        self.assertEqual(res.exit().int("windows"), 1)

    def test_standard_icons_are_told_apart(self):
        lines = []
        for kind, answer in (("warning", 1), ("error", 1), ("question", 7)):
            lines += [R.start(target(), "msgbox", kind, kind, "t"), R.wait_window(30000), "dump",
                      "click %d" % answer, "wait-exit 10000"]
        res = RIG.run_script(lines, timeout=180)
        self.assertEqual([d.child(1088)["icon"] for d in res.dumps()],
                         ["warning", "error", "question"])
        self.assertEqual([e.int("code") for e in res.all("exit")], [1, 1, 7])
        self.assertEqual([e.int("windows") for e in res.all("exit")], [1, 1, 1])

    def test_boxes_in_a_row_are_counted_and_told_apart_by_caption(self):
        res = RIG.run_script([R.start(target(), "twoboxes"), R.wait_window(30000, "First"),
                              "click 2", "wait-gone 10000", R.wait_window(30000, "Second"),
                              "click 1", "wait-exit 10000"])
        self.assertEqual([w["caption"] for w in res.all("window")], ["First", "Second"])
        self.assertEqual(res.exit().int("code"), 21)  # IDCANCEL then IDOK
        self.assertEqual(res.exit().int("windows"), 2)

    def test_a_box_nobody_waits_for_ends_the_wait_and_is_photographed(self):
        # One where the script waits for the end, one that comes up instead of the awaited "Second". Each
        # is up before the wait begins, as when a busy machine holds the driver back.
        res = RIG.run_script([R.start(target(), "msgbox", "question", "Surprise", "?"), "sleep 3000",
                              "wait-exit 60000", "kill", R.start(target(), "twoboxes"), "sleep 3000",
                              R.wait_window(60000, "Second")], check=False)
        try:
            self.assertEqual([(u["caption"], u["own"]) for u in res.all("unexpected")],
                             [("Surprise", "1"), ("First", "1")])
            self.assertIn("window", res.first("exit").flags)
            self.assertIn("none", res.first("window").flags)
            self.assertEqual([e["reason"] for e in res.errors()], ["window", "window"])
            self.assertTrue(str(res.screenshot).endswith(".png"), res.screenshot)
            self.assertEqual(Path(res.screenshot).read_bytes()[:4], b"\x89PNG")
            with self.assertRaisesRegex(R.DriverError, "screenshot of the unexpected window: .*png"):
                res.check()
        finally:
            for pid, argv in RIG.processes():
                if "twoboxes" in argv:
                    os.kill(pid, 9)

    def test_wait_window_gives_up_when_the_process_ends(self):
        res = RIG.run_script([R.start(target(), "exit", "0"), R.wait_window(60000)])
        win = res.first("window")
        self.assertIn("none", win.flags)
        self.assertEqual(win["exited"], "1")
        self.assertLess(win.int("ms"), 30000)


class Dialogs(WineTest):
    def test_dump_lists_children_in_order_with_state_and_fonts(self):
        res = RIG.run_script([R.start(target(), "dialog"), R.wait_window(30000), "dump",
                              "key 27", "wait-exit 10000"])
        dlg = res.dumps()[0]
        self.assertEqual(dlg.window["caption"], "Target dialog")
        self.assertEqual(dlg.ids(), [65535, 100, 101, 102, 103, 1, 2])
        self.assertEqual([c["class"].lower() for c in dlg.children],
                         ["static", "edit", "button", "button", "static", "button", "button"])
        self.assertEqual(dlg.child(101).text, "Keep f\xe9te")
        self.assertEqual(dlg.child(101)["checked"], "1")
        self.assertEqual(dlg.child(102)["enabled"], "0")
        self.assertEqual(dlg.child(103).int("fontweight"), 700)
        self.assertLess(dlg.child(65535).int("fontweight"), 700)
        self.assertEqual(dlg.child(103)["fontface"], dlg.child(65535)["fontface"])
        # Rects are in the dialog's client area: same-size buttons side by side, all inside.
        _, _, cw, ch = dlg.window.rect("client")
        ok, cancel = dlg.child(1).rect(), dlg.child(2).rect()
        self.assertEqual((ok[1], ok[3]), (cancel[1], cancel[3]))
        self.assertEqual(ok[2] - ok[0], cancel[2] - cancel[0])
        self.assertLess(ok[2], cancel[0])
        self.assertEqual(dlg.child(65535).rect()[0], dlg.child(101).rect()[0])
        for c in dlg.children:
            l, t, r, b = c.rect()
            self.assertTrue(0 <= l < r <= cw and 0 <= t < b <= ch, c)
        self.assertEqual(res.exit().int("code"), 2)  # Escape cancels

    def test_command_and_close_reach_the_dialog(self):
        res = RIG.run_script([R.start(target(), "dialog"), R.wait_window(30000), "command 1",
                              "wait-exit 10000",
                              R.start(target(), "dialog"), R.wait_window(30000), "close",
                              "wait-exit 10000"])
        # IDOK with the box still checked and no text: 101; WM_CLOSE becomes IDCANCEL.
        self.assertEqual([e.int("code") for e in res.all("exit")], [101, 2])

    def test_settext_click_and_refusal_of_disabled_controls(self):
        res = RIG.run_script([R.start(target(), "dialog"), R.wait_window(30000),
                              R.settext(100, "abc"), "click 101", "click 102", "click 4242",
                              "sleep 200", "dump", "click 1", "wait-exit 10000"], check=False)
        self.assertEqual([(e["cmd"], e["reason"]) for e in res.errors()],
                         [("click", "disabled"), ("click", "nochild")])
        dlg = res.dumps()[0]
        self.assertEqual((dlg.child(100).text, dlg.child(101)["checked"]), ("abc", "0"))
        self.assertEqual(res.exit().int("code"), 102)  # 100 + unchecked + text "abc"


class Screenshots(WineTest):
    def test_screenshot_shows_the_dialog_where_dump_says(self):
        run = RIG.spawn_script([R.start(target(), "dialog"), R.wait_window(30000), "sleep 300",
                                "dump", "wait-file 60000 " + RIG.signal_path("shot-taken"),
                                "click 2", "wait-exit 10000"])
        try:
            header = run.wait_record("dump", timeout=90)
            png = RIG.screenshot(RIG.files / "dialog.png")
        finally:
            run.release("shot-taken")
        res = run.finish(timeout=60)
        self.assertEqual(res.exit().int("code"), 2)
        (RIG.files / "shot-taken").unlink()
        l, t, r, b = header.rect()

        def mean(x, y, w, h):
            out = subprocess.run(["/usr/bin/convert", str(png), "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                                  "-format", "%[fx:mean]", "info:"], capture_output=True,
                                 timeout=30, check=True)
            return float(out.stdout)

        # Dialog face is light grey; Xvfb's bare root is black.
        self.assertGreater(mean(l + 5, b - 20, 20, 10), 0.5)
        self.assertLess(mean(r + 20, b + 20, 20, 10), 0.1)


if __name__ == "__main__":
    unittest.main()
