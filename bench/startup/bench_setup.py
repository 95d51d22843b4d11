#!/usr/bin/env python3
"""Times inside Wine, measured by the driver from process creation: the start-up-only reference
program to its exit, "Uninstall.exe /setup" to its dialog on screen, and a whole silent setup.
Prints medians and ratios. Run by scripts/bench-startup.sh."""
import os
import shutil
import statistics
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
import rig as R  # noqa: E402


def main():
    build, runs = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 9
    rig = R.Rig(build, "bench-setup")
    try:
        rig.boot()
        folder = rig.drive_c / "Korvex"
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        shutil.copy(os.environ["KVX_UNINSTALL"], folder / "Uninstall.exe")
        shutil.copy(os.environ["KVX_STARTUP_ONLY"], folder / "startup_only.exe")
        exe, ref = rig.winpath(folder / "Uninstall.exe"), rig.winpath(folder / "startup_only.exe")
        cd = "cd " + rig.winpath(folder)
        warm = [cd, R.run(60000, ref), R.run(120000, exe, "/setup", "/s")]
        rig.run_script(warm, timeout=300)

        lines = [cd]
        for _ in range(runs):
            lines += [R.run(60000, ref), R.run(120000, exe, "/setup", "/s"),
                      R.start(exe, "/setup"), R.wait_window(60000, "Configurazione Korvex"), "close", "wait-exit 60000"]
        res = rig.run_script(lines, timeout=600 + runs * 60)
        exits = [r.int("ms") for r in res.all("exit")]
        windows = [r.int("t") for r in res.all("window")]
        ref_ms = statistics.median(exits[0::3])
        silent_ms = statistics.median(exits[1::3])
        dialog_ms = statistics.median(windows)
        print("median of %d runs, measured in Wine from process creation:" % runs)
        print("  start-up only (reference):      %6d ms" % ref_ms)
        print("  /setup until its dialog shows:  %6d ms   ratio %.2f" % (dialog_ms, dialog_ms / ref_ms))
        print("  whole silent setup (/setup /s): %6d ms   ratio %.2f" % (silent_ms, silent_ms / ref_ms))
    finally:
        rig.stop()


if __name__ == "__main__":
    main()
