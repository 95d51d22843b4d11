#!/usr/bin/env python3
"""Where a removal's time goes: Uninstall.exe removing a generated installation against the
cheapest Win32 deletion of the same tree. Prints medians (min-max) and ratios; not a test.

    removal_bench.py BUILD [--entries N] [--depth D] [--runs R] [--removal-args "/log=..."]

Each run builds the tree anew in one Wine prefix and times, from the start of the driver:
  (1) delete_list.exe: the list's entries deleted last-first, then the list and the folder
  (2) "Uninstall.exe /remove /s" after "/setup /s", the list naming folders first (parents first):
      a folder goes only in the pass after the one that emptied it
  (3) the same with the folders listed last, deepest first: one pass deletes everything
  (4) the same with only the installed files listed: the removal's fixed cost
"in Wine" is the program's own time, from its creation to its end, as the driver measures it;
"gone" is the wall time until the installation folder no longer exists (for Uninstall.exe that
includes its batch file, which runs "Uninstall.exe /wait", a two-second pause, before deleting it).
Run by scripts/bench-removal.sh, which builds what it needs and sets KVX_UNINSTALL, KVX_DRIVER and
KVX_DELETE_LIST.
"""
import argparse
import os
import shutil
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "driver"))
import rig as R  # noqa: E402

INSTALLED = ["Uninstall.exe", "Korvex.exe", "kvxext.dll", "licenza.txt"]
GONE_LIMIT = 300


def folder_paths(count, depth):
    """Relative paths of `count` nested folders at most `depth` deep, parents before children."""
    branch = 1
    while sum(branch ** level for level in range(depth)) < count:
        branch += 1
    paths = []
    for k in range(count):  # a heap: folder k lies in folder (k - 1) // branch
        paths.append("d0" if k == 0 else paths[(k - 1) // branch] + "\\d%d" % k)
    return paths


def make_tree(root, entries, depth):
    """A tree of `entries` list entries under root: ~0.6 % folders, the rest empty files, spread
    over the folders. Returns (folders parents first, files)."""
    folders = folder_paths(max(1, entries * 126 // 20000), depth) if entries else []
    files = ["%s\\f%05d.dat" % (folders[i % len(folders)], i) for i in range(entries - len(folders))]
    for f in folders:
        (root / f.replace("\\", "/")).mkdir(parents=True)
    for f in files:
        (root / f.replace("\\", "/")).touch()
    return folders, files


def write_list(root, names):
    (root / "Uninstall.lst").write_bytes(("\r\n".join(names) + "\r\n").encode("cp1252"))


def timed(rig, folder, lines):
    """Runs a driver script that starts one program; returns (program ms in Wine, s until gone)."""
    start = time.monotonic()
    running = rig.spawn_script(lines + ["wait-exit %d" % (GONE_LIMIT * 1000)])
    while folder.exists() and time.monotonic() - start < GONE_LIMIT:
        time.sleep(0.01)
    gone = time.monotonic() - start
    if folder.exists():
        raise SystemExit("%s still there after %d s" % (folder, GONE_LIMIT))
    result = running.finish(timeout=GONE_LIMIT)
    return result.exit().int("ms") / 1000.0, gone


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--entries", type=int, default=20000)
    ap.add_argument("--depth", type=int, default=6)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--removal-args", default="",
                    help="more of the removal's command line, e.g. /log=C:\\none\\x.log (a log that cannot be opened)")
    args = ap.parse_args()
    uninstall, reference = os.environ["KVX_UNINSTALL"], os.environ["KVX_DELETE_LIST"]

    rig = R.Rig(args.build, "bench-removal")
    rows = {n: [] for n in (1, 2, 3, 4)}
    shape = None
    try:
        rig.boot()
        tools = rig.drive_c / "bench"
        tools.mkdir(exist_ok=True)
        shutil.copy(reference, tools / "delete_list.exe")
        folder = rig.drive_c / "Programmi" / "Korvex"
        for run in range(args.runs + 1):  # the first run warms up and is not counted
            for row in (1, 2, 3, 4):
                shutil.rmtree(folder, ignore_errors=True)
                folder.mkdir(parents=True)
                entries = 0 if row == 4 else args.entries
                folders, files = make_tree(folder, entries, args.depth)
                shape = shape or (len(files), len(folders))
                if row == 1:
                    write_list(folder, folders + files)
                    times = timed(rig, folder, [R.start(rig.winpath(tools / "delete_list.exe"), rig.winpath(folder))])
                else:
                    shutil.copy(uninstall, folder / "Uninstall.exe")
                    for name in INSTALLED[1:]:
                        (folder / name).touch()
                    listed = folders + files if row == 2 else files + folders[::-1]
                    write_list(folder, INSTALLED + listed)
                    exe = rig.winpath(folder / "Uninstall.exe")
                    rig.run_script(["cd " + rig.winpath(folder), R.run(120000, exe, "/setup", "/s")], timeout=300)
                    rig.stop_prefix()  # the program group's folder window the setup opened
                    rig.boot()
                    times = timed(rig, folder, ["cd " + rig.winpath(folder), R.start(exe, "/remove", "/s", *args.removal_args.split())])
                if run:
                    rows[row].append(times)
            print("run %d/%d done" % (run, args.runs) if run else "warm-up done", flush=True)
    finally:
        rig.stop()

    def med(values):
        return statistics.median(values)

    def cell(values):
        return "%7.3f (%.3f-%.3f)" % (med(values), min(values), max(values))

    labels = {1: "(1) delete_list.exe, last-first (Win32 floor)",
              2: "(2) Uninstall.exe /remove /s, folders first",
              3: "(3) Uninstall.exe /remove /s, folders last",
              4: "(4) Uninstall.exe /remove /s, installed files only"}
    print("\n%d-entry tree (%d files, %d folders, %d deep); median (min-max) of %d runs, seconds"
          % (args.entries, shape[0], shape[1], args.depth, args.runs))
    print("%-52s %-24s %s" % ("", "in Wine (program)", "until the folder is gone"))
    for row, label in labels.items():
        print("%-52s %-24s %s" % (label, cell([t[0] for t in rows[row]]), cell([t[1] for t in rows[row]])))
    p = {row: med([t[0] for t in rows[row]]) for row in rows}
    g = {row: med([t[1] for t in rows[row]]) for row in rows}
    print("per entry, in Wine: ours (2)-(4) %.1f us, (3)-(4) %.1f us; floor (1) %.1f us"
          % ((p[2] - p[4]) / args.entries * 1e6, (p[3] - p[4]) / args.entries * 1e6, p[1] / args.entries * 1e6))
    print("ratios: gone (2)/(1) %.2f, program (2)/(1) %.2f, program (3)/(1) %.2f, gone (4)/(2) %.2f"
          % (g[2] / g[1], p[2] / p[1], p[3] / p[1], g[4] / g[2]))


if __name__ == "__main__":
    main()
