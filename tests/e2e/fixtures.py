"""Shared helpers of the end-to-end suites: a fake installation folder, planted registry entries,
the setup's folder windows, the self-deleting batch file's text and a driver run without COMSPEC.

Used by the end-to-end suites; rig.py has the prefix and the driver.
"""
import os
import shutil
import signal
import time
import unittest
from pathlib import Path

import rig as R

EXE = os.environ.get("KVX_UNINSTALL")
STUB = os.environ.get("KVX_E2E_KORVEX_STUB")


def skip_unless_set(needed):
    """Skips the suite (or test) when an environment variable it needs, as ctest sets them, is missing."""
    missing = [name for name, value in needed.items() if not value]
    if missing:
        raise unittest.SkipTest("set " + ", ".join(missing))


def install(rig, folder, listing, files=(), dirs=(), linux=None):
    """A fake installation at Windows path `folder` (`linux`: its Linux path, when not on C:): the
    program, the stub archiver, a dummy shell extension, `files` (relative names, or {name: bytes}),
    `dirs`, and Uninstall.lst holding `listing` (bytes; None: no list). An earlier one there goes
    first. Returns (Linux path, the program's Windows path)."""
    inst = linux or rig.linuxpath(folder)
    if inst.exists():
        unlock(inst)
        shutil.rmtree(inst)
    inst.mkdir(parents=True)
    shutil.copy(EXE, inst / "Uninstall.exe")
    shutil.copy(STUB, inst / "Korvex.exe")
    (inst / "kvxext.dll").write_bytes(b"MZ not a real library")
    for d in dirs:
        (inst / d).mkdir(parents=True, exist_ok=True)
    contents = files if isinstance(files, dict) else {f: b"content of " + f.encode() for f in files}
    for name, data in contents.items():
        (inst / name).parent.mkdir(parents=True, exist_ok=True)
        (inst / name).write_bytes(data)
    if listing is not None:
        (inst / "Uninstall.lst").write_bytes(listing)
    return inst, folder + ("" if folder.endswith("\\") else "\\") + "Uninstall.exe"


def unlock(path):
    """Makes a tree writable again (read-only attributes are Unix permissions under Wine)."""
    for p in [path] + list(path.rglob("*")):
        try:
            p.chmod(0o755 if p.is_dir() else 0o644)
        except OSError:
            pass


def reg_file(entries):
    """REGEDIT4 text that creates keys with string values: {key: {name: text}}."""
    def quote(text):
        return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')
    lines = ["REGEDIT4", ""]
    for key, values in entries.items():
        lines.append("[%s]" % key)
        lines += ["%s=%s" % ("@" if name == "" else quote(name), quote(v)) for name, v in values.items()]
        lines.append("")
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


def owner_entries(planted):
    """reg_file entries for other programs' owners of extensions: {ext: {name: text, "ShellNew": {..}}}."""
    entries = {}
    for ext, values in planted.items():
        entries["HKEY_CLASSES_ROOT\\" + ext] = {k: v for k, v in values.items() if k != "ShellNew"}
        if "ShellNew" in values:
            entries["HKEY_CLASSES_ROOT\\%s\\ShellNew" % ext] = values["ShellNew"]
    return entries


def plant(rig, entries, name="plant.reg"):
    """Imports registry entries ({key: {name: text}}) with regedit."""
    path = rig.files / name
    path.write_bytes(reg_file(entries))
    proc = rig.wine(["regedit", "/S", rig.winpath(path)], timeout=180)
    if proc.returncode != 0:
        raise RuntimeError("regedit import failed: %r" % proc.stderr)


def close_folder_windows(rig, wait=0):
    """Ends the folder windows a setup opened and returns their folders. Wine starts an explorer
    process for each, in the setup's current directory, which it then holds (Windows opens them in
    its running shell). wait: seconds to wait for a first one."""
    deadline = time.monotonic() + wait
    found = rig.folder_windows()
    while not found and time.monotonic() < deadline:
        time.sleep(0.2)
        found = rig.folder_windows()
    for pid, _ in found:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    return [folder for _, folder in found]


def batch_text(nt, program, folder, batch, silent=False):
    """The self-deleting batch file the program must write, byte for byte."""
    def q(path):
        return '"%s"' % path.replace("%", "%%")
    text = ("" if nt else "start /wait ") + q(program) + " /wait\r\n"
    text += ("del %s\r\nrd %s\r\nif not exist %s goto done\r\n" % (q(program), q(folder), q(program))) * 5
    text += ":done\r\nif exist %s %s /warning%s\r\ndel %s" % (q(program), q(program), " /s" if silent else "", q(batch))
    return text.encode("cp1252")


def batches(rig):
    """The batch files the removal left in the temporary folder."""
    return list(rig.drive_c.glob("users/*/**/Uninstall.Kvx.Bat"))


def run_script_without_comspec(rig, lines, timeout=180):
    """Runs a driver script with no COMSPEC in the environment of the driver and what it starts, so
    that the removal's batch file is written but not run (Wine's cmd cannot run the 9x form)."""
    script = rig._write_script(lines)
    driver, path = rig.winpath(Path(rig.driver)), rig.winpath(script)
    if " " in driver + path:
        raise R.DriverError("cmd /c cannot take blanks here: %s %s" % (driver, path))
    proc = rig.wine(["cmd.exe", "/c", "set COMSPEC=&& %s %s" % (driver, path)], timeout=timeout)
    return R.Result(proc.stdout.decode("cp1252", errors="replace"), proc.returncode).check(proc.stderr)
