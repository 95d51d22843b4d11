"""Helpers for end-to-end tests: a Wine prefix per test group, the kvxdrive driver, screenshots,
saved registry states.

    rig = Rig(build_dir, "uninstall")          # prefix in build_dir/e2e/uninstall
    res = rig.run_script([start(exe, "/x"), wait_window(8000), "dump", "click 1", "wait-exit 5000"])
    box = res.dumps()[0]; box.child(65535).text; res.exit().int("code")
    rig.stop()

Every external command runs with a timeout: a hung program fails the test instead of the suite.
"""
import fcntl
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tools" / "lngkit"))
from lngkit import make_key  # noqa: E402
RUNNER = REPO / "scripts" / "wine-run.sh"
WINE_ENV = REPO / "scripts" / "wine-env.sh"

# Record fields the driver prints as hex of the raw ANSI bytes.
HEX_KEYS = frozenset({"class", "caption", "text", "fontface"})
BOOT_TIMEOUT = 600  # a fresh template boots in ~30 s under emulation; a busy machine is slower


def language_file(*entries):
    """A language file: a header, the marker and entry lines (domain, text, value[, context])."""
    lines = ["; Lingua di prova", "***messages***"]
    for entry in entries:
        domain, text, value = entry[:3]
        context = entry[3] if len(entry) > 3 else ""
        lines.append('%s="%s"' % (make_key(domain, context, text), value))
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


def hexarg(text):
    """Argument for starthex/runhex/settext/wait-window: hex of the Windows-1252 bytes."""
    data = text if isinstance(text, bytes) else text.encode("cp1252")
    return data.hex()


def quote_arg(arg):
    """Quotes one argument the way CommandLineToArgvW and the C runtime split it back."""
    if arg and not any(c in arg for c in ' \t\n\v"'):
        return arg
    out, backslashes = ['"'], 0
    for c in arg:
        if c == "\\":
            backslashes += 1
            continue
        if c == '"':
            out.append("\\" * (2 * backslashes + 1) + '"')
        else:
            out.append("\\" * backslashes + c)
        backslashes = 0
    out.append("\\" * (2 * backslashes) + '"')
    return "".join(out)


def command_line(exe, *args):
    return " ".join([quote_arg(exe)] + [quote_arg(a) for a in args])


# Script line builders; any line can also be written by hand. A text that Windows-1252 cannot hold
# goes as UTF-8 to the driver's wide forms (cdu, startu, runu).
def _ansi_or_utf8(text):
    try:
        return "hex", hexarg(text)
    except UnicodeEncodeError:
        return "u", text.encode("utf-8").hex()


def cd(folder):
    kind, data = _ansi_or_utf8(folder)
    return "cd " + folder if kind == "hex" else "cdu " + data


def start(exe, *args):
    kind, data = _ansi_or_utf8(command_line(exe, *args))
    return "start%s %s" % (kind, data)


def run(timeout_ms, exe, *args):
    kind, data = _ansi_or_utf8(command_line(exe, *args))
    return "run%s %d %s" % (kind, timeout_ms, data)


def wait_window(timeout_ms, caption=None, cls=None):
    line = "wait-window %d" % timeout_ms
    if caption is not None or cls is not None:
        line += " " + (hexarg(caption) if caption is not None else "-")
    if cls is not None:
        line += " " + hexarg(cls)
    return line


def settext(control_id, text):
    return "settext %d %s" % (control_id, hexarg(text))


def windows_argv(argv):
    """A Wine process's arguments as /proc shows them, from its Windows program on: where Wine's i386
    code runs under qemu's user-mode emulator, the emulator and Wine's loader come first."""
    while argv and argv[0].startswith("/") and (os.path.basename(argv[0]).startswith("qemu-") or
                                                os.path.basename(argv[0]) in ("wine", "wine64", "wine-preloader")):
        argv = argv[1:]
    return argv


def output_file():
    """A temporary file for a Wine program's output, opened for appending: the Wine processes that
    inherit it (a help viewer, the program under test) once made a write land at its start."""
    f = tempfile.TemporaryFile()
    fcntl.fcntl(f.fileno(), fcntl.F_SETFL, fcntl.fcntl(f.fileno(), fcntl.F_GETFL) | os.O_APPEND)
    return f


# --- saved registry states -------------------------------------------------------------------------

REG_TYPES = {"": "REG_SZ", "str(2)": "REG_EXPAND_SZ", "dword": "REG_DWORD", "hex": "REG_BINARY",
             "hex(7)": "REG_MULTI_SZ", "hex(2)": "REG_EXPAND_SZ", "hex(0)": "REG_NONE", "hex(4)": "REG_DWORD"}


def _reg_unescape(text):
    """Text with the backslash escapes of .reg files undone (Wine writes non-ASCII as \\xNNNN)."""
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                m = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
                continue
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def _reg_value(line):
    """(name, type, data as text) of a value line."""
    if line.startswith("@="):
        name, rest = "", line[2:]
    else:
        i, escaped = 1, False
        while i < len(line):
            if escaped:
                escaped = False
            elif line[i] == "\\":
                escaped = True
            elif line[i] == '"':
                break
            i += 1
        name, rest = _reg_unescape(line[1:i]), line[i + 2:]
    if rest.startswith('"'):
        return name, "REG_SZ", _reg_unescape(rest[1:-1])
    m = re.match(r'str\((\d+)\):"(.*)"$', rest)
    if m:
        kind = {"2": "REG_EXPAND_SZ", "7": "REG_MULTI_SZ"}.get(m.group(1), "str(%s)" % m.group(1))
        return name, kind, _reg_unescape(m.group(2))
    if rest.startswith("dword:"):
        return name, "REG_DWORD", str(int(rest[6:], 16))
    kind, _, hexdata = rest.partition(":")
    try:
        raw = bytes.fromhex(hexdata.replace(",", "")) if hexdata else b""
    except ValueError:
        return name, kind, hexdata
    kind = REG_TYPES.get(kind, kind)
    if kind == "REG_MULTI_SZ":
        return name, kind, " | ".join(raw.decode("utf-16-le", errors="replace").rstrip("\0").split("\0"))
    return name, kind, raw.hex(" ") if raw else "(empty)"


def read_reg(data, notes=None):
    """{key: {value name: (type, data as text)}} of a saved registry state: a regedit export
    (REGEDIT4, or version 5 in UTF-16) or one of Wine's own files (system.reg, user.reg: key paths
    escaped and relative to their root). Values continued over several lines are read whole.
    notes: a dict that gets, per key, what Wine's files note about it (its time of last change)."""
    text = data.decode("utf-16" if data[:2] == b"\xff\xfe" else "cp1252", errors="replace")
    text = re.sub(r"\\\r?\n\s*", "", text)
    wine = text.startswith("WINE REGISTRY")
    keys, current = {}, None
    for line in text.splitlines():
        if line.startswith("["):
            end = line.rindex("]")
            current = _reg_unescape(line[1:end]) if wine else line[1:end]
            keys.setdefault(current, {})
            if notes is not None:
                notes[current] = line[end + 1:].strip()
        elif current is None:
            continue
        elif line.startswith("#") and notes is not None:
            notes[current] += "\n" + line
        elif line.startswith('"') or line.startswith("@="):
            name, kind, value = _reg_value(line.rstrip())
            keys[current][name] = (kind, value)
    return keys


class Record:
    """One output line: `kind key=value ...`; bare words (e.g. `timeout`) land in flags."""

    def __init__(self, line):
        self.line = line
        parts = line.split(" ")
        self.kind = parts[0]
        self.fields, self.flags, self._raw = {}, set(), {}
        for part in parts[1:]:
            key, eq, value = part.partition("=")
            if not eq:
                self.flags.add(key)
            elif key in HEX_KEYS:
                data = bytes.fromhex(value)
                self._raw[key] = data
                self.fields[key] = data.decode("cp1252", errors="replace")
            else:
                self.fields[key] = value

    def __getitem__(self, key):
        return self.fields[key]

    def __contains__(self, key):
        return key in self.fields

    def get(self, key, default=None):
        return self.fields.get(key, default)

    def raw(self, key):
        return self._raw[key]

    def int(self, key):
        return int(self.fields[key], 0)

    def rect(self, key="rect"):
        return tuple(int(v) for v in self.fields[key].split(","))

    def __getattr__(self, key):
        try:
            return self.__dict__["fields"][key]
        except KeyError:
            raise AttributeError(key) from None

    def __repr__(self):
        return "Record(%r)" % self.line


class Dump:
    def __init__(self, header):
        self.window = header
        self.children = []

    def child(self, control_id):
        for c in self.children:
            if c.int("id") == control_id:
                return c
        raise KeyError("no control %d in %s" % (control_id, [c.int("id") for c in self.children]))

    def ids(self):
        return [c.int("id") for c in self.children]


class DriverError(Exception):
    pass


class Result:
    def __init__(self, stdout, returncode):
        self.stdout = stdout
        self.returncode = returncode
        self.records = [Record(l) for l in stdout.splitlines() if l.strip()]
        self.screenshot = None  # the screen when the driver met a window nobody waited for

    def all(self, kind):
        return [r for r in self.records if r.kind == kind]

    def first(self, kind):
        found = self.all(kind)
        if not found:
            raise DriverError("no %r record in driver output:\n%s" % (kind, self.stdout))
        return found[0]

    def exit(self):
        return self.first("exit")

    def errors(self):
        return self.all("error")

    def check(self, stderr=b""):
        """Raises DriverError unless the script ran to its end without error records."""
        if self.returncode != 0 or not self.all("done"):
            shot = "" if self.screenshot is None else "screenshot of the unexpected window: %s\n" % self.screenshot
            raise DriverError("driver rc=%s\n%s%s%s" % (self.returncode, shot, self.stdout,
                                                         stderr.decode(errors="replace")))
        return self

    def dumps(self):
        out = []
        for r in self.records:
            if r.kind == "dump":
                out.append(Dump(r))
            elif r.kind == "child" and out:
                out[-1].children.append(r)
        return out


class RunningScript:
    """A driver started by Rig.spawn_script; output is read from a file while it grows."""

    def __init__(self, rig, cmd, env):
        self.rig = rig
        self._out = output_file()
        self.proc = subprocess.Popen(cmd, env=rig.env(env), stdin=subprocess.DEVNULL,
                                     stdout=self._out, stderr=subprocess.DEVNULL,
                                     start_new_session=True)

    def output(self):
        self._out.seek(0)
        return self._out.read().decode("cp1252", errors="replace")

    def wait_record(self, kind, timeout=60, count=1):
        """Waits until `count` records of `kind` have been printed; returns the last of them."""
        deadline = time.monotonic() + timeout
        while True:
            found = Result(self.output(), None).all(kind)
            if len(found) >= count:
                return found[count - 1]
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise DriverError("no %r record (driver %s):\n%s" % (
                    kind, "ended" if self.proc.poll() is not None else "timed out",
                    self.output()))
            time.sleep(0.05)

    def release(self, name):
        (self.rig.files / name).touch()

    def finish(self, timeout=120, check=True):
        try:
            rc = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            Rig._kill_group(self.proc)
            self.rig.stop_prefix()
            raise DriverError("driver timed out:\n" + self.output())
        result = self.rig.photograph_unexpected(Result(self.output(), rc))
        self._out.close()
        return result.check() if check else result


class Rig:
    """A Wine prefix at build_dir/e2e/<name> run through scripts/wine-run.sh.

    display: an X display to use; by default $DISPLAY, or a private Xvfb started here when unset.
    driver: kvxdrive.exe; by default $KVX_DRIVER.
    arch: "win32" (plain 32-bit Windows) or "win64" (64-bit Windows, the programs running under
    WOW64); each has its own template (wine-env.sh).
    """

    def __init__(self, build_dir, name, display=None, driver=None, arch="win32"):
        self.build_dir = Path(build_dir).resolve()
        self.arch = arch
        self.prefix = self.build_dir / "e2e" / name
        self.files = self.build_dir / "e2e" / (name + "-files")
        self.files.mkdir(parents=True, exist_ok=True)
        self.driver = driver or os.environ.get("KVX_DRIVER")
        self._xvfb = None
        self.display = display or os.environ.get("DISPLAY") or self._start_xvfb()
        self._booted = False
        self._count = 0

    # --- environment ---------------------------------------------------------------------------
    def _start_xvfb(self):
        if not shutil.which("Xvfb"):
            raise RuntimeError("no DISPLAY and no Xvfb")
        rfd, wfd = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1024x768x24", "-br", "-nolisten", "tcp"],
            pass_fds=(wfd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(wfd)
        deadline = time.monotonic() + 30
        number = b""
        with os.fdopen(rfd, "rb", buffering=0) as r:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                # A server that never writes its number must not hold us: wait in slices.
                if not select.select([r], [], [], 1)[0]:
                    continue
                chunk = r.read(16)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self._xvfb.kill()
            raise RuntimeError("Xvfb did not report a display")
        return ":" + number.decode().strip()

    def env(self, extra=None):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env["LANG"] = env["LC_ALL"] = "C.UTF-8"
        env["KVX_WINEARCH"] = self.arch
        env.update(extra or {})
        return env

    def boot(self, timeout=BOOT_TIMEOUT):
        """Creates the prefix (first use of a build folder boots a template) and starts its server."""
        if self._booted:
            return
        subprocess.run(["bash", "-c", '. "$0" && kvx_prefix_ready "$1"', str(WINE_ENV),
                        str(self.prefix)], env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout,
                       check=True)
        self._booted = True

    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    def user_folder(self):
        """The Linux path of the prefix user's profile folder (C:\\users\\<name>)."""
        import getpass
        users = [d for d in (self.drive_c / "users").iterdir() if d.name != "Public"]
        return next((d for d in users if d.name == getpass.getuser()), users[0])

    # --- paths ---------------------------------------------------------------------------------
    def winpath(self, path):
        """Linux path -> Windows path: C:\\ inside the prefix's drive_c, else Z:\\ (Wine maps / there)."""
        path = Path(os.path.abspath(path))
        try:
            rel = path.relative_to(self.drive_c)
            return "C:\\" + str(rel).replace("/", "\\") if str(rel) != "." else "C:\\"
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def linuxpath(self, winpath):
        drive, rest = winpath[:2].upper(), winpath[2:].replace("\\", "/").lstrip("/")
        if drive == "C:":
            return self.drive_c / rest
        if drive == "Z:":
            return Path("/") / rest
        raise ValueError("no mapping for " + winpath)

    # --- running -------------------------------------------------------------------------------
    def _command(self, args, version=None):
        self.boot()
        cmd = [str(RUNNER), "--prefix", str(self.prefix)]
        if version:
            cmd += ["--version", version]
        return cmd + [str(a) for a in args]

    def wine(self, args, timeout=60, env=None, version=None):
        """Runs one program through wine-run.sh; returns CompletedProcess (stdout/stderr as bytes).

        Output goes through files: Wine helpers inherit pipes and would keep them open."""
        cmd = self._command(args, version)
        with output_file() as out, output_file() as err:
            p = subprocess.Popen(cmd, env=self.env(env), stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=err, start_new_session=True)
            try:
                rc = p.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self._kill_group(p)
                out.seek(0)
                partial = out.read().decode("cp1252", errors="replace")
                # Whatever the driver started may still run: reset the whole prefix.
                self.stop_prefix()
                raise DriverError("timed out after %ss: %s\n%s" % (timeout, cmd, partial))
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(cmd, rc, out.read(), err.read())

    @staticmethod
    def _kill_group(p):
        try:
            os.killpg(p.pid, 9)
        except ProcessLookupError:
            pass
        try:
            p.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass

    def _write_script(self, lines):
        if not self.driver or not Path(self.driver).is_file():
            raise DriverError("driver not found (KVX_DRIVER=%r)" % self.driver)
        self._count += 1
        script = self.files / ("script-%03d.txt" % self._count)
        script.write_bytes("\n".join(lines).encode("cp1252") + b"\n")
        return script

    def run_script(self, lines, timeout=120, env=None, check=True):
        """Runs the driver on a script (list of lines); returns a Result.

        env: extra variables; Wine passes them on to the driver and so to the program it starts.
        check: raise DriverError unless the script ran to its end without error records."""
        script = self._write_script(lines)
        proc = self.wine([self.driver, self.winpath(script)], timeout=timeout, env=env)
        result = self.photograph_unexpected(Result(proc.stdout.decode("cp1252", errors="replace"),
                                                   proc.returncode))
        if check:
            result.check(proc.stderr)
        return result

    def photograph_unexpected(self, result):
        """When the driver stopped at a window nobody waited for (an `unexpected` record), saves the
        screen into the files folder while that window is still up; the path goes into the error."""
        if result.all("unexpected"):
            self._count += 1
            path = self.files / ("unexpected-window-%03d.png" % self._count)
            try:
                result.screenshot = self.screenshot(path)
            except (subprocess.SubprocessError, OSError) as e:
                result.screenshot = "(none: %s)" % e
        return result

    def spawn_script(self, lines, env=None):
        """Starts the driver without waiting, to act (e.g. take screenshots) while it runs.

        The script can pause on `wait-file <ms> <path>`; release(name) creates such a file."""
        script = self._write_script(lines)
        return RunningScript(self, self._command([self.driver, self.winpath(script)]), env)

    def spawn(self, args):
        """Starts a Windows program without waiting; (process, the file its output goes to). The caller
        ends the process (_kill_group) and closes the file."""
        out = output_file()
        proc = subprocess.Popen(self._command(args), env=self.env(), stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        return proc, out

    def signal_path(self, name):
        """Windows path of a file that RunningScript.release(name) creates."""
        return self.winpath(self.files / name)

    def set_version(self, exe_name, version):
        """Windows version Wine reports to one program (win98, winme, nt40, win7...); None resets."""
        key = "HKCU\\Software\\Wine\\AppDefaults\\" + exe_name
        if version:
            args = ["reg", "add", key, "/v", "Version", "/d", version, "/f"]
        else:
            args = ["reg", "delete", key, "/v", "Version", "/f"]
        proc = self.wine(args, timeout=60)
        if version and proc.returncode != 0:
            raise RuntimeError("reg add failed: %r" % proc.stderr)

    def screenshot(self, png_path):
        """Saves the whole display as PNG."""
        subprocess.run(["/usr/bin/import", "-display", self.display, "-window", "root",
                        str(png_path)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, timeout=30, check=True)
        return Path(png_path)

    def fresh(self):
        """A new prefix and files folder: no earlier run's registrations, links or files."""
        self.stop_prefix()
        shutil.rmtree(self.prefix, ignore_errors=True)
        shutil.rmtree(self.files, ignore_errors=True)
        self.files.mkdir(parents=True)
        self.boot()

    def save_prefix(self, copy):
        """Stops the prefix (its server writes the registry out) and keeps a copy of it at `copy`,
        hard-linked as wine-env.sh clones the template: load_prefix starts again from there."""
        self.stop_prefix()
        shutil.rmtree(copy, ignore_errors=True)
        self._clone(self.prefix, Path(copy))

    def load_prefix(self, copy):
        """Replaces the prefix by a fresh copy of one save_prefix kept (well under a second)."""
        self.stop_prefix()
        shutil.rmtree(self.prefix, ignore_errors=True)
        self._clone(Path(copy), self.prefix)

    # Files Wine rewrites in place: a clone needs its own.
    REWRITTEN = ("system.reg", "user.reg", "userdef.reg", "drive_c/windows/win.ini", "drive_c/windows/system.ini")

    @classmethod
    def _clone(cls, source, target):
        tmp = target.with_name(target.name + ".tmp")
        shutil.rmtree(tmp, ignore_errors=True)
        subprocess.run(["cp", "-al", str(source), str(tmp)], stdin=subprocess.DEVNULL, timeout=120, check=True)
        for name in cls.REWRITTEN:
            if (source / name).is_file():
                (tmp / name).unlink()
                shutil.copy2(source / name, tmp / name)
        tmp.rename(target)

    def processes(self):
        """[(linux pid, argv from the Windows program on)] of the prefix's Wine processes."""
        marker = ("WINEPREFIX=%s" % self.prefix).encode()
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                env = Path("/proc/%s/environ" % pid).read_bytes().split(b"\0")
                argv = Path("/proc/%s/cmdline" % pid).read_bytes().split(b"\0")
            except OSError:
                continue
            if marker in env:
                found.append((int(pid), windows_argv([a.decode("utf-8", "replace") for a in argv if a])))
        return found

    def folder_windows(self):
        """[(pid, folder)] of the explorer processes showing a folder (Wine starts one for each)."""
        return [(pid, argv[-1]) for pid, argv in self.processes()
                if any(a.lower().endswith("explorer.exe") for a in argv) and argv[-1] != "/desktop"
                and not argv[-1].lower().endswith("explorer.exe")]

    def screenshot_drawn(self, png_path, rect, timeout=10):
        """screenshot(), taken again until the area rect (left, top, right, bottom in screen pixels)
        is painted: not one flat colour, and the same as in the shot before. A window is visible a
        moment before it is drawn, longer on a busy machine. Returns False when the time ran out
        (the last shot is kept)."""
        left, top, right, bottom = rect
        geometry = "%dx%d+%d+%d" % (right - left, bottom - top, left, top)
        deadline = time.monotonic() + timeout
        previous = None
        while True:
            self.screenshot(png_path)
            area = subprocess.run(["/usr/bin/convert", str(png_path), "-crop", geometry, "+repage", "rgb:-"],
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=30, check=True).stdout
            if area and area != area[:3] * (len(area) // 3) and area == previous:
                return True
            if time.monotonic() > deadline:
                return False
            previous = area
            time.sleep(0.1)

    def stop_prefix(self):
        """Ends every process of the prefix and its server."""
        if self.prefix.exists():
            env = dict(os.environ, WINEPREFIX=str(self.prefix))
            try:
                subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            except subprocess.TimeoutExpired:
                pass
        self._booted = False

    def stop(self):
        """stop_prefix(), and ends a private Xvfb."""
        self.stop_prefix()
        if self._xvfb:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
            self._xvfb = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
