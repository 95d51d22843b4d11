"""Shared helpers of the end-to-end suites: what ctest passes, the setup's constants (captions, keys,
types, planted owners), the regdump and shell link readers, a fake installation folder, planted
registry entries, the setup's folder windows, the self-deleting batch file's text, a stand-in
interpreter, and the state of a prefix that two runs are compared by.

Used by the end-to-end suites; rig.py has the prefix and the driver, rigs.py the suites' shared
base classes.
"""
import hashlib
import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import unittest
from pathlib import Path

import rig as R

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from demo_setup import HANDLER_CLASSES  # noqa: E402  (the classes of the shell handler keys)

EXE = os.environ.get("KVX_UNINSTALL")
STUB = os.environ.get("KVX_E2E_KORVEX_STUB")
KILLCALL = os.environ.get("KVX_E2E_KILLCALL")
CALLPROBE = os.environ.get("KVX_E2E_CALLPROBE")
KVXTEXT = os.environ.get("KVX_E2E_KVXTEXT")
REGDUMP = os.environ.get("KVX_E2E_REGDUMP")
BOXPROBE = os.environ.get("KVX_E2E_BOXPROBE")
HOLDFILE = os.environ.get("KVX_E2E_HOLDFILE")
PARTIAL = os.environ.get("KVX_LANGLIB_PARTIAL")
BUILD = os.environ.get("KVX_E2E_BUILD")
# What the setup's and the removal's suites need, as ctest sets it.
SETUP_NEEDED = {"KVX_UNINSTALL": EXE, "KVX_E2E_KORVEX_STUB": STUB, "KVX_E2E_REGDUMP": REGDUMP,
                "KVX_E2E_BOXPROBE": BOXPROBE, "KVX_DRIVER": os.environ.get("KVX_DRIVER"),
                "KVX_E2E_BUILD": BUILD}
REMOVAL_NEEDED = {**SETUP_NEEDED, "KVX_E2E_HOLDFILE": HOLDFILE, "KVX_LANGLIB_PARTIAL": PARTIAL,
                  "KVX_E2E_KVXTEXT": KVXTEXT}

SETUP_CAPTION = "Configurazione Korvex"
REMOVAL_CAPTION = "Rimuovi Korvex"
YES, NO, OK = 6, 7, 1
INSTALL = "C:\\Korvex"
ARCHIVER = INSTALL + "\\Korvex.exe"
CLSID = "{6F2A0C31-5D17-11D2-A4E8-3C90B2E15D07}"
APP_PATH = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvex.exe"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvex archiver"
WEB_SITE = "https://www.korvex.example/"  # the maker's site, as the completion dialog opens it
APPROVED = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved"
OWN = "HKCU\\Software\\Korvex"
CAPABILITIES = "HKLM\\Software\\Korvex\\Capabilities"
REGISTERED = "HKLM\\Software\\RegisteredApplications"
REG_SZ, REG_BINARY, REG_DWORD = 1, 3, 4

# Check box id -> the extensions its archive type covers.
TYPES = {5101: [".kvx"], 5102: [".zip"], 5103: [".cab"], 5104: [".arj"], 5105: [".lzh", ".lha"],
         5106: [".ace"], 5107: [".tar"], 5108: [".gz", ".tgz"], 5109: [".uue", ".xxe", ".uu"],
         5110: [".bz2", ".tbz2", ".bz", ".tbz"], 5111: [".jar"]}
ALL_EXTENSIONS = [e for exts in TYPES.values() for e in exts]
VOLUMES = [".k%02d" % i for i in range(100)]
DESKTOP, START_MENU, PROGRAMS, SHELL_EXT, CASCADED, MENU_ICONS, SELECT_ALL = range(5112, 5119)
KVX_CONTENT, CONTENT = "application/x-kvx-compressed", "application/x-compressed"

# Handler keys that name the class in their key name / in their default value.
CLASS_NAMED = ["Korvex\\shellex\\ContextMenuHandlers\\" + CLSID, "Korvex\\shellex\\PropertySheetHandlers\\" + CLSID,
               "Korvex.ZIP\\shellex\\ContextMenuHandlers\\" + CLSID,
               "Korvex.ZIP\\shellex\\PropertySheetHandlers\\" + CLSID,
               "exefile\\shellex\\PropertySheetHandlers\\" + CLSID]
DROP = ["Korvex\\shellex\\DropHandler", "Korvex.ZIP\\shellex\\DropHandler"]
COMMON = ["*\\shellex\\ContextMenuHandlers\\Korvex", "Folder\\shellex\\ContextMenuHandlers\\Korvex",
          "Folder\\shellex\\DragDropHandlers\\Korvex", "Drive\\shellex\\DragDropHandlers\\Korvex",
          "Directory\\shellex\\ContextMenuHandlers\\Korvex", "Directory\\shellex\\DragDropHandlers\\Korvex"]

# What other programs owned before the first setup; extensions not named here did not exist.
PLANTED = {
    ".zip": {"": "Other.Zip", "Content Type": "application/zip", "ShellNew": {"FileName": "C:\\Modelli\\vuoto.zip"}},
    ".cab": {"": "Other.Cab", "ShellNew": {"NullFile": ""}},
    ".arj": {"": "Other.Arj", "Content Type": "application/x-arj"},
    ".tar": {"": "Other.Tar", "Content Type": "application/x-tar", "ShellNew": {"FileName": "C:\\Modelli\\vuoto.tar"}},
    ".gz": {"": "Other.Gz"},
}
# The types the changing setup turns off: planted owners come back, the rest disappears.
RELEASED = [5101, 5102, 5103, 5104, 5105, 5107, 5108]

# Registry keys Wine rewrites on each server start: trees, and a key.
WINE_OWN_KEYS = ("system\\currentcontrolset", "software\\wine")
WINE_OWN_KEY = "software\\microsoft\\windows nt\\currentversion"

# The empty archives of the shell's "New" menu, first bytes completed by the program at run time.
KVX_TEMPLATE = b"Kvx!\x1a\x07\x00\xcf\x90s\x00\x00\x0d" + bytes(7)
ZIP_TEMPLATE = b"PK\x05\x06" + bytes(18)

PENDING = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"
# Everything a setup writes in the registry, and the planted owners it must give back (the first
# three volumes only).
REMOVAL_SCOPE = (["HKCR\\" + e for e in ALL_EXTENSIONS + VOLUMES[:3] + ["Korvex", "Korvex.ZIP", "CLSID\\" + CLSID]]
                 + ["HKCR\\*\\shellex", "HKCR\\Folder\\shellex", "HKCR\\exefile\\shellex", APPROVED, APP_PATH,
                    UNINSTALL_KEY, OWN])
ARCHIVER_KEYS = ["HKCR\\Korvex", "HKCR\\Korvex.ZIP", "HKCR\\CLSID\\" + CLSID, APP_PATH, UNINSTALL_KEY, OWN]
# Every key a setup may write, all volumes and the common handler keys included.
WHOLE_SCOPE = (["HKCR\\" + e for e in ALL_EXTENSIONS + VOLUMES + ["Korvex", "Korvex.ZIP", "CLSID\\" + CLSID]]
               + ["HKCR\\%s\\shellex" % k for k in HANDLER_CLASSES]
               + [APPROVED, APP_PATH, UNINSTALL_KEY, OWN, "HKLM\\Software\\Korvex", REGISTERED])


class Registry:
    """A regdump output: keys by lower-case path, values by lower-case name -> (type, bytes)."""

    def __init__(self, text):
        self.keys = {}
        current = None
        for line in text.splitlines():
            kind, _, rest = line.partition(" ")
            if kind == "K":
                current = self.keys.setdefault(bytes.fromhex(rest).decode("cp1252").lower(), {})
            elif kind == "V":
                name, kind_, data = rest.split(" ")
                current[bytes.fromhex(name).decode("cp1252").lower()] = (int(kind_), bytes.fromhex(data))
            elif kind == "E":
                raise AssertionError("regdump could not read a value: " + line)

    @staticmethod
    def _path(key):
        return key.lower() if key[:4].upper() in ("HKLM", "HKCU", "HKCR") else "hkcr\\" + key.lower()

    def has(self, key):
        return self._path(key) in self.keys

    def values(self, key):
        """{name: value} with strings decoded; None when the key is missing."""
        found = self.keys.get(self._path(key))
        if found is None:
            return None
        return {name: (data[:-1].decode("cp1252") if kind == REG_SZ and data.endswith(b"\0") else
                       struct.unpack("<I", data)[0] if kind == REG_DWORD else data)
                for name, (kind, data) in found.items()}

    def get(self, key, name=""):
        values = self.values(key)
        return None if values is None else values.get(name.lower())

    def raw(self, key, name=""):
        return self.keys.get(self._path(key), {}).get(name.lower())


def read_link(path):
    """(target path, description) of a shell link file."""
    data = Path(path).read_bytes()
    if data[:4] != b"L\0\0\0":
        raise AssertionError("%s is not a shell link" % path)
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos, target, description = 0x4C, None, None
    if flags & 0x1:  # an item id list
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    if flags & 0x2:  # link info with the local path
        size, _, info_flags, _, base = struct.unpack_from("<5I", data, pos)
        if info_flags & 0x1:
            target = data[pos + base:data.index(b"\0", pos + base)].decode("cp1252")
        pos += size
    if flags & 0x4:  # a description
        count = struct.unpack_from("<H", data, pos)[0]
        pos += 2
        description = (data[pos:pos + 2 * count].decode("utf-16-le") if flags & 0x80
                       else data[pos:pos + count].decode("cp1252"))
        description = description.rstrip("\0")  # Wine counts the terminating NUL
    return target, description


def merged(base, changes):
    return {**base, **changes}


def boxes(dump):
    """{id: (checked, enabled)} of the setup dialog's check boxes and buttons."""
    return {c.int("id"): (int(c.get("checked", 0)), int(c["enabled"])) for c in dump.children
            if 5101 <= c.int("id") <= 5118}




def skip_unless_set(needed):
    """Skips the suite (or test) when an environment variable it needs, as ctest sets them, is missing."""
    missing = [name for name, value in needed.items() if not value]
    if missing:
        raise unittest.SkipTest("set " + ", ".join(missing))


def wait_until(test, condition, what, timeout=60):
    """Polls `condition` until it holds; fails `test` (a TestCase) after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            test.fail("still not so after %d s: %s" % (timeout, what))
        time.sleep(0.1)


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


def kvxtext(*args):
    """The output of the program's own text composers, built for the host (kvxtext.cpp)."""
    if not KVXTEXT:
        raise unittest.SkipTest("set KVX_E2E_KVXTEXT")
    proc = subprocess.run([KVXTEXT] + [a.encode("cp1252") for a in args], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if proc.returncode != 0:
        raise AssertionError("kvxtext %r failed: %r" % (args, proc.stderr))
    return proc.stdout


def batch_text(nt, program, folder, batch, silent=False, log=None):
    """The self-deleting batch file the program must write, byte for byte. A silent removal names
    its log to both runs of the program: by default the one beside the batch file (log_name)."""
    if silent and log is None:
        log = batch.rsplit("\\", 1)[0] + "\\" + log_name(program)
    return kvxtext("batch", "nt" if nt else "9x", program, folder, batch, "silent" if silent else "shown",
                   *([log] if log else []))


def batch_own_path(rig, found):
    """The path a batch file found at `found` names itself by (its last line), checked against where
    it was found: Windows' own folder names ("Temp") may differ in case from Wine's ("temp")."""
    named = found.read_bytes().rsplit(b'del "', 1)[1][:-1].decode("cp1252")
    if named.lower() != rig.winpath(found).lower():
        raise AssertionError("batch file %s names itself %s" % (found, named))
    return named


def batch_name(program, attempt=0):
    """The hex part of the batch file's name ("Uninstall.Kvx.XXXXXXXX.Bat"): a later attempt's name is
    tried when something that cannot be removed holds the first."""
    return kvxtext("batch-name", program, str(attempt)).decode("ascii")[len("Uninstall.Kvx."):-len(".Bat")]


def log_name(program):
    """The default name of the run log of the program at `program`: the batch file's, ".log"."""
    return kvxtext("log-name", program).decode("ascii")


def batches(rig):
    """The batch files removals left: in the user's temporary folder, or in the Windows folder's Temp
    when the removal ran elevated (as Wine's programs do as Windows Vista and later)."""
    return (list(rig.drive_c.glob("users/*/**/Uninstall.Kvx.*.Bat"))
            + list(rig.drive_c.glob("windows/[Tt]emp/Uninstall.Kvx.*.Bat")))


def idle_interpreter(rig):
    """A stand-in for the command interpreter that starts and ends at once (the archiver's stub): with
    COMSPEC naming it, a removal finishes but its batch file is left unrun, for Windows 9x, whose
    COMMAND.COM form Wine's cmd cannot run. Returns its Windows path."""
    path = rig.files / "idlecmd.exe"  # outside the C: drive, which some suites compare whole
    if not path.exists():
        shutil.copy(STUB, path)
    found = rig.winpath(path)
    if " " in found:
        raise R.DriverError("cmd /c cannot take blanks here: " + found)
    return found


def run_script_with_idle_interpreter(rig, lines, timeout=180):
    """Runs a driver script with COMSPEC naming idle_interpreter() for the driver and what it starts."""
    script = rig._write_script(lines)
    driver, path = rig.winpath(Path(rig.driver)), rig.winpath(script)
    if " " in driver + path:
        raise R.DriverError("cmd /c cannot take blanks here: %s %s" % (driver, path))
    proc = rig.wine(["cmd.exe", "/c", "set COMSPEC=%s&& %s %s" % (idle_interpreter(rig), driver, path)],
                    timeout=timeout)
    return R.Result(proc.stdout.decode("cp1252", errors="replace"), proc.returncode).check(proc.stderr)


# --- counting calls (stubs/killcall.c, stubs/callhook.c) -----------------------------------------

# What a killcall error record says the platform could not do.
HOOK_FAULTS = {
    "start": "starting a program suspended (CreateProcess with CREATE_SUSPENDED)",
    "image": "reading a suspended program's memory (NtQueryInformationProcess, ReadProcessMemory)",
    "headers": "reading a suspended program's PE headers (ReadProcessMemory)",
    "room": "room for one more import descriptor in the program's header page",
    "protect": "making a suspended program's header page writable (VirtualProtectEx)",
    "write": "writing a suspended program's memory (WriteProcessMemory)",
    "mapping": "named shared memory (CreateFileMappingA)",
    "library": "callhook.dll beside killcall.exe",
    "inject": "the loader loading a library added to the import table of a program not yet run",
    "overflow": "room for the call records in the shared memory",
}
PROBE_CALLS = [("CreateFileA", "probe-1.txt"), ("CreateFileA", "probe-2.txt"), ("MoveFileExA", "probe-2.txt"),
               ("DeleteFileA", "probe-1.txt")]
PROBE_FUNCTIONS = ["CreateFileA", "MoveFileExA", "DeleteFileA"]


def killcall_args(command, functions, folder=None, kill=None, pause=None, timeout_ms=60000):
    """killcall's command line: `command` (a list) counted at `functions`, ended at call `kill` or
    held at call `pause` = (N, Windows path of the release file)."""
    args = [KILLCALL, "-t", str(timeout_ms)] + (["-d", folder] if folder else [])
    args += ["-k", str(kill)] if kill else []
    args += ["-p", str(pause[0]), pause[1]] if pause else []
    return args + [R.hexarg(R.command_line(*command))] + list(functions)


def hook_failure(res):
    """None when killcall's output holds no error record, else what the platform lacks."""
    errors = res.errors()
    if not errors:
        return None
    reason = errors[0].get("reason", "")
    return "%s (killcall: %s)" % (HOOK_FAULTS.get(reason, "an unknown step"), errors[0].line)


def run_killcall(rig, args, timeout):
    """Runs killcall (args from killcall_args) to its end; (its records, what the platform lacks or None)."""
    proc = rig.wine(args, timeout=timeout)
    res = R.Result(proc.stdout.decode("cp1252", errors="replace"), proc.returncode)
    return res, hook_failure(res)


def check_call_counting(rig):
    """killcall's self-check, for the suites that kill or hold the program at its calls: callprobe's
    four calls (one on a second thread, one looked up with GetProcAddress) are counted in order, the
    probe ends at the third with its effect not made, and it waits at the second until released.
    Raises AssertionError naming what this platform lacks, instead of letting a suite time out."""
    folder = rig.files / "callprobe"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    where, probe = rig.winpath(folder), [CALLPROBE]

    def run(**kwargs):
        return run_killcall(rig, killcall_args(probe, PROBE_FUNCTIONS, where, **kwargs), 120)

    def fail(what, res):
        raise AssertionError("counting calls does not work on this platform: %s\n%s" % (what, res.stdout))

    res, failure = run()
    if failure:
        fail(failure, res)
    calls = [(r["fn"], bytes.fromhex(r.get("arg", "")).decode("cp1252")) for r in res.all("call")]
    if not calls:
        fail("no call was counted: the import slots were not pointed at the hook library", res)
    if calls != PROBE_CALLS:
        missing = [c for c in PROBE_CALLS if c not in calls]
        what = ("calls of a second thread" if ("CreateFileA", "probe-2.txt") in missing
                else "functions looked up with GetProcAddress" if ("MoveFileExA", "probe-2.txt") in missing
                else "the calls in their order")
        fail("%s were not counted as %s" % (what, PROBE_CALLS), res)
    threads = [r["tid"] for r in res.all("call")]
    if threads[0] == threads[1] or res.exit().int("code") != 7:
        fail("the probe's second thread or its exit code (7) did not come through", res)

    for name in os.listdir(folder):
        os.unlink(folder / name)
    res, failure = run(kill=3)
    if failure:
        fail(failure, res)
    killed = res.all("killed")
    made = sorted(os.listdir(folder))
    if len(killed) != 1 or killed[0]["fn"] != "MoveFileExA" or res.exit().int("code") != 1 or \
            made != ["probe-1.txt", "probe-2.txt"]:
        fail("the probe was not ended itself at its third call before it ran (TerminateProcess of the "
             "own process); files left: %s" % made, res)

    for name in os.listdir(folder):
        os.unlink(folder / name)
    release = rig.files / "callprobe-release"
    if release.exists():
        release.unlink()
    args = killcall_args(probe, PROBE_FUNCTIONS, where, pause=(2, rig.winpath(release)), timeout_ms=90000)
    held, out = rig.spawn(args)
    with out:
        def output():
            out.seek(0)
            return out.read().decode("cp1252", errors="replace")
        try:
            deadline = time.monotonic() + 60
            while "paused n=2 " not in output() and held.poll() is None and time.monotonic() < deadline:
                time.sleep(0.05)
            time.sleep(0.5)  # a probe that is not held makes its second file meanwhile
            waiting = output()
            if "paused n=2 " not in waiting or "call n=3 " in waiting or (folder / "probe-2.txt").exists():
                fail("the probe was not held at its second call", R.Result(waiting, None))
            release.touch()
            held.wait(timeout=90)
        finally:
            if held.poll() is None:
                R.Rig._kill_group(held)
        res = R.Result(output(), held.returncode)
    if len(res.all("call")) != 3 or res.exit().int("code") != 7:
        fail("the probe did not go on once released", res)


REGISTRY_ROOTS = {"HKCR": "HKEY_CLASSES_ROOT", "HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}


def dump_registry(rig, keys):
    """regdump's output for the regdump paths `keys` (HKCR\\..., HKLM\\..., HKCU\\...)."""
    out = rig.files / "regdump.txt"
    proc = rig.wine([REGDUMP, rig.winpath(out)] + list(keys), timeout=180)
    if proc.returncode != 0:
        raise AssertionError("regdump failed: %r" % proc.stderr)
    return out.read_text(encoding="ascii")


def restore_registry(rig, dump, keys):
    """Puts the regdump paths `keys` back as `dump` (dump_registry of the same paths) holds them:
    regedit deletes each tree, then makes its keys and values again, names and bytes as they were
    (strings go through UTF-16, which Wine stores them in)."""
    def full(path):
        root, _, rest = path.partition("\\")
        return REGISTRY_ROOTS[root.upper()] + ("\\" + rest if rest else "")
    lines = ["Windows Registry Editor Version 5.00", ""] + ["[-%s]" % full(k) for k in keys]
    for line in dump.splitlines():
        kind, _, rest = line.partition(" ")
        if kind == "K":
            lines += ["", "[%s]" % full(bytes.fromhex(rest).decode("cp1252"))]
        elif kind == "V":
            name, kind_, data = rest.split(" ")
            name, kind_, data = bytes.fromhex(name).decode("cp1252"), int(kind_), bytes.fromhex(data)
            if kind_ in (1, 2, 7):  # REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ
                data = data.decode("cp1252").encode("utf-16-le")
            quoted = '"%s"' % name.replace("\\", "\\\\").replace('"', '\\"') if name else "@"
            lines.append("%s=hex(%x):%s" % (quoted, kind_, ",".join("%02x" % b for b in data)))
    path = rig.files / "restore.reg"
    path.write_bytes(("\r\n".join(lines) + "\r\n").encode("utf-16"))
    proc = rig.wine(["regedit", "/S", rig.winpath(path)], timeout=180)
    if proc.returncode != 0:
        raise AssertionError("regedit import failed: %r" % proc.stderr)


def state(rig, scope, roots, values=()):
    """What setups and removals change, to compare two runs: every key and value below the regdump
    paths `scope`, the single values `values` ((key, name): keys Wine rewrites itself), and every
    file and folder at or below the Linux paths `roots`, keyed by path inside the drive: a file by
    its hash, a link by its target and description (its bytes carry the dates of the folders on
    the target's path)."""
    reg = Registry(dump_registry(rig, list(scope) + [key for key, _ in values]))
    keys = {k: v for k, v in reg.keys.items() if k not in {key.lower() for key, _ in values}}
    for key, name in values:
        keys["%s @%s" % (key.lower(), name.lower())] = reg.raw(key, name)
    files = {}
    for root in roots:
        for p in [root] + (sorted(root.rglob("*")) if root.is_dir() else []):
            if p.exists():
                files[str(p.relative_to(rig.drive_c))] = (
                    "folder" if p.is_dir() else read_link(p) if p.suffix.lower() == ".lnk"
                    else hashlib.sha256(p.read_bytes()).hexdigest()[:16])
    return {"registry": keys, "files": files}


def state_registry(state):
    """The registry part of a state() result as a Registry (for its value helpers)."""
    reg = Registry("")
    reg.keys = state["registry"]
    return reg


def state_differences(expected, got, most=6):
    """The differences of two state() results, one line each, at most `most` and a count."""
    lines = ["%s %s: expected %r, got %r" % (part, key, expected[part].get(key), got[part].get(key))
             for part in ("registry", "files") for key in sorted(set(expected[part]) | set(got[part]))
             if expected[part].get(key) != got[part].get(key)]
    return lines[:most] + (["... %d more" % (len(lines) - most)] if len(lines) > most else [])
