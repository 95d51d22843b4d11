#!/usr/bin/env python3
"""Step profile of a silent setup from Wine relay traces (WINEDEBUG=+timestamp,+loaddll,+relay with a short
RelayInclude list, set by scripts/profile-setup.sh). Prints each step's median in ms over the traces
given, and the median whole run. Tracing slows every traced call a little: the whole run of an
untraced setup is the figure to compare with other programs; this shows where its time goes.
  profile_steps.py trace.log...
"""
import re
import statistics
import sys

LINE = re.compile(r"^(\d+\.\d+):([0-9a-f]{4}):(.*)$")

# Each step ends at the first line (of the program's own thread, after the previous mark) that
# contains the text.
STEPS = [
    ("process start until WinMain", 'LoadLibraryA('),
    ("language; the desktop starts (commit meanwhile)", "Ret  user32.GetDesktopWindow()"),
    ("common controls, OLE, rich edit, icon, font", 'DialogBoxParamA('),
    ("setup dialog created", "msg=WM_INITDIALOG"),
    ("choices shown, translated, foreground", "msg=WM_COMMAND,wp=00000001"),
    ("commit's result taken", "Call user32.EndDialog("),
    ("setup dialog ends", "Ret  user32.DialogBoxParamA()"),
    ("completion dialog", "Ret  user32.DialogBoxParamA()"),
    ("group folder opened", "Ret  shell32.ShellExecuteA()"),
]
# The commit's own thread: the one that writes the uninstall entry.
COMMIT_MARK = "Uninstall\\\\Korvex"


def profile(path):
    """Step lengths in ms of the program's thread, then when the commit's thread began and ended (ms
    since the start)."""
    lines, threads = [], {}
    program = commit = None
    with open(path, encoding="utf-8", errors="replace") as log:
        for raw in log:
            m = LINE.match(raw)
            if not m:
                continue
            t, thread, text = float(m.group(1)), m.group(2), m.group(3)
            if program is None and "Loaded" in text and "Uninstall.exe" in text:
                program = thread
            if program is None:
                continue
            threads.setdefault(thread, [t, t])[1] = t
            if commit is None and thread != program and COMMIT_MARK in text:
                commit = thread
            if thread == program:
                lines.append((t, text))
    if not lines:
        raise SystemExit("%s: no trace of Uninstall.exe" % path)
    marks, at = [lines[0][0]], 0
    for _, needle in STEPS:
        while at < len(lines) and needle not in lines[at][1]:
            at += 1
        if at == len(lines):
            raise SystemExit("%s: step mark %r not found" % (path, needle))
        marks.append(lines[at][0])
        at += 1
    marks.append(lines[-1][0])
    if commit is None:
        raise SystemExit("%s: no commit thread" % path)
    span = [(t - marks[0]) * 1000 for t in threads[commit]]
    return [(b - a) * 1000 for a, b in zip(marks, marks[1:])], span


def print_steps(title, names, runs):
    """Each step's median over the runs (lists of step lengths in ms, one per name), with the median
    time since the start at which the step ends, and the median whole run."""
    print("%s (median ms of %d traced runs):" % (title, len(runs)))
    print("  %-52s %6s %6s" % ("", "step", "at"))
    for i, name in enumerate(names):
        print("  %-52s %6.0f %6.0f" % (name, statistics.median(r[i] for r in runs),
                                        statistics.median(sum(r[:i + 1]) for r in runs)))
    print("  %-52s %6.0f" % ("whole run (traced)", statistics.median(sum(r) for r in runs)))


def main():
    results = [profile(p) for p in sys.argv[1:]]
    print_steps("silent setup, step by step", [name for name, _ in STEPS] + ["exit"], [r[0] for r in results])
    print("  commit on its own thread, from %.0f to %.0f ms (medians)"
          % (statistics.median(r[1][0] for r in results), statistics.median(r[1][1] for r in results)))


if __name__ == "__main__":
    main()
