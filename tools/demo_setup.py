#!/usr/bin/env python3
"""The program's whole life in a throwaway Wine prefix: a real setup, a real removal, what is left.

Run by scripts/run.sh. Korvex is installed into a fake installation folder together with the
"Uninstall.lst" that names every file put there; "Uninstall.exe /setup" integrates it, then
"Uninstall.exe" without options removes it again. With --interactive the dialogs and the removal's
confirmation box wait for you on $DISPLAY; otherwise the driver answers them (defaults, OK, Close,
Yes) and screenshots are saved. The setup's additions are listed, then everything of the archiver
that the removal left behind, each item marked as expected (left on purpose) or UNEXPECTED.
Exit code 1 when the removal did not finish or left anything unexpected.
"""
import argparse
import os
import re
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent / "driver"))
import rig as R  # noqa: E402

KEYS = [
    r"HKEY_CURRENT_USER\Software\Korvex",
    r"HKEY_CURRENT_USER\Software\Classes",
    r"HKEY_LOCAL_MACHINE\Software\Classes",
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\App Paths",
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall",
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved",
    r"HKEY_LOCAL_MACHINE\Software\Korvex",
    r"HKEY_LOCAL_MACHINE\Software\RegisteredApplications",
]
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"

SETUP_CAPTION = "Configurazione Korvex"
REMOVE_CAPTION = "Rimuovi Korvex"
REMOVE_TEXT = "Avvio la rimozione di Korvex?"
IDOK, IDYES, MESSAGE_TEXT = 1, 6, 65535
# The batch file waits two seconds for the program to end before it deletes it and the folder;
# under emulation on a busy machine that can take much longer.
GONE_LIMIT = 180

# What the removal leaves on purpose: (key pattern, why). Such a key counts as expected only while
# it holds no values; a value in it is always reported. The keys above the handler keys may serve
# other programs' handlers, so the removal does not take them back.
_CLASSES = r"^HKEY_LOCAL_MACHINE\\Software\\Classes\\"
# The classes whose shell handler keys the setup writes: the common handler keys (named "Korvex")
# below the first four, the programs' property sheet handler (named by the class) below "exefile".
COMMON_HANDLER_CLASSES = ("*", "Folder", "Drive", "Directory")
HANDLER_CLASSES = COMMON_HANDLER_CLASSES + ("exefile",)
_COMMON = "(%s)" % "|".join(re.escape(c) for c in COMMON_HANDLER_CLASSES)
_HANDLED = "(%s)" % "|".join(re.escape(c) for c in HANDLER_CLASSES)
EXPECTED_KEYS = [
    (re.compile(_CLASSES + _COMMON + r"\\shellex\\(ContextMenuHandlers|DragDropHandlers)\\Korvex$", re.I),
     "common shell handler key, left empty on purpose"),
    (re.compile(_CLASSES + _HANDLED
                + r"(\\shellex(\\(ContextMenuHandlers|DragDropHandlers|PropertySheetHandlers))?)?$", re.I),
     "made on the way to a shell handler key"),
    # Every Windows since Vista has this list; Wine's prefixes lack it until a program registers.
    (re.compile(r"^HKEY_LOCAL_MACHINE\\Software\\RegisteredApplications$", re.I),
     "the system's list of registered applications, made when it was missing"),
]


def installed_files(uninstall, stub):
    """{name: content} of what the archiver's installer puts into its folder."""
    return {
        "Uninstall.exe": Path(uninstall).read_bytes(),
        "Korvex.exe": Path(stub).read_bytes(),
        "kvxext.dll": b"stand-in for the shell extension",
        "licenza.txt": b"Licenza d'uso di Korvex\r\n",
    }


def file_list(names):
    """Uninstall.lst as the installer writes it: one name a line, CRLF, Windows-1252."""
    return ("\r\n".join(names) + "\r\n").encode("cp1252")


def export(rig, out_dir, tag, view64=False):
    """Registry keys as {key: {value line}} from regedit exports: '"name" TYPE data', '@' for the default.
    view64: the 64-bit view of 64-bit Windows (reg.exe's /reg:64) instead of the program's own."""
    state = {}
    for i, key in enumerate(KEYS):
        target = out_dir / ("%s%s-%d.reg" % (tag, "-64" if view64 else "", i))
        target.unlink(missing_ok=True)
        rig.wine(["reg", "export", key, rig.winpath(target), "/y", "/reg:64"] if view64 else
                 ["regedit", "/E", rig.winpath(target), key], timeout=120)
        if target.exists():
            for path, values in R.read_reg(target.read_bytes()).items():
                state[path] = {"%s %s %s" % ('"%s"' % name if name else "@", kind, data)
                               for name, (kind, data) in values.items()}
    return state


def file_state(rig, folder):
    """Files and folders (ending in a backslash) that could be the archiver's, relative to C:\\."""
    drive = rig.drive_c
    found = set()
    # ProgramData holds the all-users program group (NT family).
    for root in (drive / "users", drive / "ProgramData", folder.parent):
        for p in root.rglob("*"):
            if p.is_dir() and not p.is_symlink():
                found.add(str(p.relative_to(drive)).replace("/", "\\") + "\\")
            elif p.is_file():
                found.add(str(p.relative_to(drive)).replace("/", "\\"))
    if (drive / "windows" / "wininit.ini").exists():
        found.add("windows\\wininit.ini")
    return found


def pending_renames(rig):
    """The restart-time deletions Windows keeps in the registry ("" when there are none)."""
    proc = rig.wine(["reg", "query", SESSION_MANAGER, "/v", "PendingFileRenameOperations"], timeout=120)
    return proc.stdout.decode("cp1252", errors="replace").strip() if proc.returncode == 0 else ""


def expected_key(key, values):
    for pattern, why in EXPECTED_KEYS:
        if pattern.match(key) and not values:
            return why
    return None


# The run log that silent runs append to, in a temporary folder (a path as residue() gets them).
RUN_LOG = re.compile(r"(?i).*\\temp\\Uninstall\.Kvx\.[0-9A-F]{8}\.log")


def residue(before_reg, final_reg, before_files, final_files):
    """(expected, unexpected): lists of (label, detail lines) for what differs from before the setup."""
    expected, unexpected = [], []
    for key in sorted(set(final_reg) | set(before_reg)):
        if key not in before_reg:
            why = expected_key(key, final_reg[key])
            if why:
                expected.append(("key    [%s]" % key, [why]))
            else:
                unexpected.append(("key    [%s]" % key, ["added by the setup, still there"] +
                                   sorted(final_reg[key])))
        elif key not in final_reg:
            unexpected.append(("key    [%s]" % key, ["was there before the setup, now missing"]))
        elif final_reg[key] != before_reg[key]:
            unexpected.append(("key    [%s]" % key, ["values differ from before the setup:"] +
                               ["+ " + v for v in sorted(final_reg[key] - before_reg[key])] +
                               ["- " + v for v in sorted(before_reg[key] - final_reg[key])]))
    for path in sorted(final_files - before_files):
        if RUN_LOG.fullmatch(path):
            expected.append(("file   C:\\" + path, ["the run log of the silent runs, kept for the administrator"]))
            continue
        unexpected.append(("%-6s C:\\%s" % ("folder" if path.endswith("\\") else "file", path),
                           ["added by the setup or the removal, still there"]))
    return expected, unexpected


def print_changes(before_reg, after_reg, before_files, after_files):
    added = sorted(k for k in after_reg if k not in before_reg)
    changed = sorted(k for k in after_reg if k in before_reg and after_reg[k] != before_reg[k])
    print("== registry: %d keys added, %d changed" % (len(added), len(changed)))
    for key in added + changed:
        values = sorted(after_reg[key] - before_reg.get(key, set()))
        if values or key in added:
            print("  [%s]%s" % (key, "" if key in added else "  (changed)"))
            for v in values[:4]:
                print("      " + v)
            if len(values) > 4:
                print("      ... %d more" % (len(values) - 4))
    new_files = sorted(f for f in after_files - before_files if not f.endswith("\\"))
    print("== files added: %d" % len(new_files))
    for f in new_files:
        print("  C:\\" + f)


def shot(rig, png, dump):
    """The display once the dumped window is painted."""
    if not rig.screenshot_drawn(png, dump.rect()):
        print("   %s: the window was not painted in time" % png)


def run_setup(rig, folder, exe, reports, interactive):
    print("== Korvex installed in %s; running Uninstall.exe /setup" % rig.winpath(folder))
    if interactive:
        print("   the setup dialog is on your display: choose, press OK, then close the completion dialog")
        rig.run_script(["cd " + rig.winpath(folder), R.start(exe, "/setup"), "wait-exit 3600000"], timeout=3700)
        return
    go1, go2 = "shot-setup", "shot-done"
    for name in (go1, go2):
        (rig.files / name).unlink(missing_ok=True)  # left by an earlier run, it would not wait
    running = rig.spawn_script([
        "cd " + rig.winpath(folder), R.start(exe, "/setup"),
        R.wait_window(120000, SETUP_CAPTION), "dump",
        "wait-file 120000 " + rig.signal_path(go1), "click %d" % IDOK, "wait-gone 120000",
        R.wait_window(120000, SETUP_CAPTION), "dump",
        "wait-file 120000 " + rig.signal_path(go2), "click %d" % IDOK, "wait-exit 120000"])
    shot(rig, reports / "setup-dialog.png", running.wait_record("dump", timeout=300))
    running.release(go1)
    shot(rig, reports / "done-dialog.png", running.wait_record("dump", timeout=300, count=2))
    running.release(go2)
    result = running.finish(timeout=300)
    print("   setup dialog answered with OK, completion dialog closed; exit code %s" % result.exit().get("code"))
    print("   screenshots: %s, %s" % (reports / "setup-dialog.png", reports / "done-dialog.png"))


def run_removal(rig, folder, exe, reports, interactive):
    """Starts the removal and waits for the installation folder to go: True when it went, False when
    it stayed, None when the user declined the removal."""
    print("== removing Korvex: Uninstall.exe without options")
    started = time.monotonic()
    if interactive:
        print('   the box "%s" is on your display: answer it' % REMOVE_CAPTION)
        rig.run_script(["cd " + rig.winpath(folder), R.start(exe), "wait-exit 3600000"], timeout=3700)
        if (folder / "Uninstall.lst").exists() and (folder / "Uninstall.exe").exists():
            print("   the removal was not confirmed: Korvex stays installed")
            return None
    else:
        go = "shot-remove"
        (rig.files / go).unlink(missing_ok=True)
        running = rig.spawn_script([
            "cd " + rig.winpath(folder), R.start(exe),
            R.wait_window(120000, REMOVE_CAPTION), "dump",
            "wait-file 120000 " + rig.signal_path(go), "click %d" % IDYES, "wait-exit 120000"])
        shot(rig, reports / "remove-box.png", running.wait_record("dump", timeout=300))
        running.release(go)
        result = running.finish(timeout=300)
        text = result.dumps()[0].child(MESSAGE_TEXT).text
        print('   box "%s": "%s" answered Yes; exit code %s' % (REMOVE_CAPTION, text, result.exit().get("code")))
        print("   screenshot: %s" % (reports / "remove-box.png"))
        if text != REMOVE_TEXT:
            print('   UNEXPECTED box text, wanted "%s"' % REMOVE_TEXT)
    # The batch file deletes the program and the folder after the program has ended.
    deadline = started + GONE_LIMIT
    while folder.exists() and time.monotonic() < deadline:
        time.sleep(0.25)
    if folder.exists():
        left = sorted(str(p.relative_to(folder)) for p in folder.rglob("*"))
        print("   UNEXPECTED: %s still there after %d s, holding: %s" % (
            rig.winpath(folder), GONE_LIMIT, ", ".join(left) or "nothing"))
        return False
    print("   %s gone %.1f s after the start" % (rig.winpath(folder), time.monotonic() - started))
    return True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--stub", required=True, help="a small Windows program that stands in for Korvex.exe")
    ap.add_argument("--interactive", action="store_true")
    args = ap.parse_args()

    rig = R.Rig(args.build, "run")
    try:
        rig.boot()
        folder = rig.drive_c / "Programmi" / "Korvex"
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        files = installed_files(os.environ["KVX_UNINSTALL"], args.stub)
        for name, content in files.items():
            (folder / name).write_bytes(content)
        (folder / "Uninstall.lst").write_bytes(file_list(files))
        exe = rig.winpath(folder / "Uninstall.exe")
        reports = Path(args.build) / "run"
        reports.mkdir(parents=True, exist_ok=True)

        before_reg, before_files = export(rig, reports, "before"), file_state(rig, folder)
        # The installer's own files and folder are the archiver's too: the removal must take them.
        installed = {str((folder / n).relative_to(rig.drive_c)).replace("/", "\\")
                     for n in list(files) + ["Uninstall.lst"]}
        installed.add(str(folder.relative_to(rig.drive_c)).replace("/", "\\") + "\\")
        run_setup(rig, folder, exe, reports, args.interactive)
        after_reg, after_files = export(rig, reports, "after"), file_state(rig, folder)
        print_changes(before_reg, after_reg, before_files, after_files)

        # Ends what the setup left running (the program group's folder window), as a user would.
        rig.stop_prefix()
        rig.boot()
        gone = run_removal(rig, folder, exe, reports, args.interactive)
        if gone is None:
            return 0  # not confirmed: nothing to look at
        final_reg, final_files = export(rig, reports, "removed"), file_state(rig, folder)
        expected, unexpected = residue(before_reg, final_reg, before_files - installed, final_files)
        pending = pending_renames(rig)
        if pending:
            unexpected.append(("value PendingFileRenameOperations", ["deletions at the next restart:"] +
                               pending.splitlines()))
        print("== left after the removal: %d expected, %d unexpected" % (len(expected), len(unexpected)))
        for label, details in expected:
            print("  expected    %s  (%s)" % (label, details[0]))
        for label, details in unexpected:
            print("  UNEXPECTED  %s  (%s)" % (label, details[0]))
            for d in details[1:]:
                print("                  " + d)
        return 0 if gone and not unexpected else 1
    finally:
        rig.stop()


if __name__ == "__main__":
    sys.exit(main())
