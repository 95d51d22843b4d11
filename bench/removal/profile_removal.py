#!/usr/bin/env python3
"""Where a silent removal's time goes, from its start until the installation folder is gone: the
removal, the interpreter running its batch file, and the batch file's "Uninstall.exe /wait", told
apart by process id in a Wine relay trace (WINEDEBUG=+timestamp,+pid,+relay with a short
RelayInclude list, set by scripts/profile-removal.sh, which runs the steps below).
  profile_removal.py prepare FOLDER ENTRIES   an installation with a list of ENTRIES generated entries
  profile_removal.py run FOLDER TRACE         "FOLDER\\Uninstall.exe /remove /s", traced, until FOLDER is gone
  profile_removal.py report TRACE...          each step's median
"""
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "setup"))
from profile_steps import print_steps  # noqa: E402
from removal_bench import INSTALLED, make_tree, write_list  # noqa: E402

LINE = re.compile(r"^(\d+\.\d+):([0-9a-f]{4}):[0-9a-f]{4}:(.*)$")
TICKS_WRAP = 2 ** 32 / 1000.0  # Wine's trace time is a 32-bit millisecond count of CLOCK_MONOTONIC_RAW


def now():
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW) % TICKS_WRAP


def prepare(folder, entries):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    folders, files = make_tree(folder, entries, 3)
    for name in INSTALLED[2:]:
        (folder / name).touch()
    # Folders first, parents first: each folder goes in the pass after the one that emptied it.
    write_list(folder, INSTALLED + folders + files)


def run(folder, trace):
    env = dict(os.environ, WINEDEBUG="+timestamp,+pid,+relay")
    with open(trace, "a") as log:  # appended to by every process of the removal
        log.write("# start %.3f\n" % now())
        log.flush()
        removal = subprocess.Popen(["wine", str(folder / "Uninstall.exe"), "/remove", "/s"], cwd=folder.parent,
                                   env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=log)
        limit = time.monotonic() + 120
        while folder.exists() and time.monotonic() < limit:
            time.sleep(0.002)
        if folder.exists():
            raise SystemExit("%s still there after 120 s" % folder)
        log.write("# gone %.3f\n" % now())
        removal.wait(timeout=120)


def find(lines, test, after=-1):
    """Index of the first line after `after` that contains `test`."""
    for i in range(after + 1, len(lines)):
        if test in lines[i][1]:
            return i
    raise ValueError("no %r after line %d" % (test, after))


def last(lines, test, after, before):
    """Index of the last line between `after` and `before` that contains `test`."""
    return max(i for i in range(after + 1, before) if test in lines[i][1])


# Each step ends at the first line of its process, after that process's previous mark, that contains
# the text: r is the removal, c the interpreter, w "Uninstall.exe /wait". None: the passes end with the
# last folder removed before the batch file is written. "?": a call the program may not make (a
# silent removal that prepares no dialogs); without it the step is 0.
STEPS = [
    ("Wine starts the removal's process", "r", "Starting thread proc"),
    ("language library and file", "r", "?Call ole32.OleInitialize"),
    ("OleInitialize (starts the desktop's process)", "r", "?Ret  ole32.OleInitialize"),
    ("rich edit, icon, font, lock", "r", 'Uninstall.lst"'),
    ("list read, registry: associations", "r", "Call shell32.SHChangeNotify"),
    ("SHChangeNotify (a menu builder start)", "r", "Ret  shell32.SHChangeNotify"),
    ("registry: shell extension, links, own keys", "r", '\\korvex.gid"'),  # the first file it deletes
    ("link check and deletion passes", "r", None),
    ("restart check, batch file written", "r", "Call KERNEL32.CreateProcessA"),
    ("interpreter started (CreateProcessA)", "r", "Ret  KERNEL32.CreateProcessA"),
    ("list and uninstall entry deleted, exit called", "r", "Call KERNEL32.ExitProcess"),
    ("interpreter's process starts", "c", "Starting thread proc"),
    ("interpreter reads the batch file, starts /wait", "c", '/wait",'),
    ('"/wait" process starts', "w", "Starting thread proc"),
    ('"/wait": the removal has ended, exit called', "w", "Call KERNEL32.ExitProcess"),
    ('interpreter sees "/wait" end', "c", "Ret  KERNEL32.WaitForSingleObject"),
]


def profile(path):
    """Step lengths in ms, in the order of STEPS, and the last one until the folder was gone."""
    lines, order, start, gone = {}, [], None, None
    with open(path, encoding="utf-8", errors="replace") as log:
        for raw in log:
            if raw.startswith("# "):
                what, value = raw[2:].split()
                start, gone = (float(value), gone) if what == "start" else (start, float(value))
                continue
            m = LINE.match(raw)
            if m:
                if m.group(2) not in lines:
                    lines[m.group(2)] = []
                    order.append(m.group(2))
                lines[m.group(2)].append((float(m.group(1)), m.group(3)))

    def pid_of(text):
        return next(pid for pid in order if any(text in line for _, line in lines[pid]))

    try:
        # The removal writes the first line; the interpreter starts "/wait", which looks for the removal.
        procs = {"r": lines[order[0]], "c": lines[pid_of('/wait",')], "w": lines[pid_of("Call KERNEL32.OpenProcess(")]}
        at = dict.fromkeys(procs, -1)
        times = [start]
        for _, p, text in STEPS:
            trace = procs[p]
            if text is None:
                at[p] = last(trace, "Ret  KERNEL32.RemoveDirectoryA", at[p], find(trace, "Uninstall.Kvx.", at[p]))
            elif text.startswith("?"):
                try:
                    at[p] = find(trace, text[1:], at[p])
                except ValueError:
                    times.append(times[-1])
                    continue
            else:
                at[p] = find(trace, text, at[p])
            times.append(trace[at[p]][0])
        times.append(gone)
        return [(b - a) * 1000 for a, b in zip(times, times[1:])]
    except (IndexError, StopIteration, TypeError, ValueError) as e:
        raise SystemExit("%s: not a whole removal's trace (%s)" % (path, e))


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "prepare":
        prepare(Path(args[0]), int(args[1]))
    elif command == "run":
        run(Path(args[0]), args[1])
    else:
        names = [name for name, _, _ in STEPS] + ["del, rd: the folder is gone"]
        print_steps("silent removal, step by step, from its start", names, [profile(p) for p in args])


if __name__ == "__main__":
    main()
