#!/usr/bin/env python3
"""The program's main job in a throwaway Wine prefix: a real setup, and what it changed.

Run by scripts/run.sh. With --interactive the setup dialog waits for you on $DISPLAY; otherwise the
driver answers it (defaults, OK, then Close) and screenshots of both dialogs are saved.
"""
import argparse
import os
import re
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent / "driver"))
import rig as R  # noqa: E402

KEYS = [
    r"HKEY_CURRENT_USER\Software\Korvex",
    r"HKEY_LOCAL_MACHINE\Software\Classes",
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\App Paths",
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall",
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved",
]


def export(rig, out_dir, tag):
    """Registry keys as {key: {value line}} from regedit exports."""
    state = {}
    for i, key in enumerate(KEYS):
        target = out_dir / ("%s-%d.reg" % (tag, i))
        rig.wine(["regedit", "/E", rig.winpath(target), key], timeout=120)
        if not target.exists():
            continue
        text = target.read_bytes().decode("utf-16", errors="replace") if target.read_bytes()[:2] == b"\xff\xfe" \
            else target.read_bytes().decode("cp1252", errors="replace")
        current = None
        for line in text.splitlines():
            m = re.match(r"^\[(.*)\]$", line)
            if m:
                current = m.group(1)
                state.setdefault(current, set())
            elif current and line.strip() and not line.startswith("#time="):
                state[current].add(line.strip())
    return state


def files_under(root):
    return {str(p.relative_to(root)) for p in root.rglob("*") if p.is_file() and not p.name.endswith(".reg")}


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
        shutil.copy(os.environ["KVX_UNINSTALL"], folder / "Uninstall.exe")
        shutil.copy(args.stub, folder / "Korvex.exe")
        (folder / "kvxext.dll").write_bytes(b"stand-in for the shell extension")
        (folder / "licenza.txt").write_bytes(b"Licenza d'uso di Korvex\r\n")
        exe = rig.winpath(folder / "Uninstall.exe")
        users = rig.drive_c / "users"
        reports = Path(args.build) / "run"
        reports.mkdir(parents=True, exist_ok=True)

        before_reg, before_files = export(rig, reports, "before"), files_under(users) | files_under(folder)
        print("== Korvex installed in %s; running Uninstall.exe /setup" % rig.winpath(folder))
        if args.interactive:
            print("   the setup dialog is on your display: choose, press OK, then close the completion dialog")
            lines = ["cd " + rig.winpath(folder), R.start(exe, "/setup"), "wait-exit 3600000"]
            rig.run_script(lines, timeout=3700)
        else:
            go1, go2 = "shot-setup", "shot-done"
            running = rig.spawn_script([
                "cd " + rig.winpath(folder), R.start(exe, "/setup"),
                R.wait_window(120000, "Configurazione Korvex"), "dump",
                "wait-file 120000 " + rig.signal_path(go1), "click 1", "wait-gone 120000",
                R.wait_window(120000, "Configurazione Korvex"), "dump",
                "wait-file 120000 " + rig.signal_path(go2), "click 1", "wait-exit 120000"])
            running.wait_record("dump", timeout=300)
            rig.screenshot(reports / "setup-dialog.png")
            running.release(go1)
            running.wait_record("dump", timeout=300, count=2)
            rig.screenshot(reports / "done-dialog.png")
            running.release(go2)
            result = running.finish(timeout=300)
            print("   setup dialog answered with OK, completion dialog closed; exit code %s"
                  % result.exit().get("code"))
            print("   screenshots: %s, %s" % (reports / "setup-dialog.png", reports / "done-dialog.png"))
        after_reg, after_files = export(rig, reports, "after"), files_under(users) | files_under(folder)

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
        new_files = sorted(after_files - before_files)
        print("== files added: %d" % len(new_files))
        for f in new_files:
            print("  " + f)
    finally:
        rig.stop()


if __name__ == "__main__":
    main()
