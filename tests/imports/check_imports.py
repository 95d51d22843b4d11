#!/usr/bin/env python3
"""Fails when the program imports a DLL or function that is not on the allowlist.

Every new import is a decision: Windows 95/98 and NT 4 must still load the program, and Wine never
reports a missing function, so the list is checked here instead. The C runtime (msvcrt.dll) is
refused outright: Windows 95 as first released has none, and the program brings its own functions.
Usage: check_imports.py OBJDUMP EXE ALLOWLIST
"""
import re
import subprocess
import sys

FORBIDDEN_DLLS = {"msvcrt.dll"}


def imports_of(objdump, exe):
    out = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    found, dll = set(), None
    for line in out.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            continue
        m = re.match(r"\s+[0-9a-f]+\s+([0-9a-f]+)\s+(\S+)\s*$", line)
        if dll and m:
            found.add(f"{dll}!{m.group(2)}")
    return found, out


def main():
    objdump, exe, allowlist = sys.argv[1:4]
    allowed = {l.split("#")[0].strip().lower() for l in open(allowlist)} - {""}
    found, dump = imports_of(objdump, exe)
    found = {f.lower() for f in found}
    if not found:
        print("no imports parsed: objdump output changed?")
        return 1
    extra = sorted(found - allowed)
    for f in extra:
        print(f"not allowed: {f}")
    forbidden = sorted(f for f in found if f.split("!")[0] in FORBIDDEN_DLLS)
    for f in forbidden:
        print(f"forbidden DLL: {f}")
    headers = {m.group(1): m.group(2) for m in re.finditer(r"^(Magic|Subsystem|MajorSubsystemVersion)\s+(\S+)", dump, re.M)}
    problems = 0
    if headers.get("Magic") != "010b":
        print(f"not a PE32 file: Magic {headers.get('Magic')}")
        problems += 1
    if headers.get("Subsystem") != "00000002":
        print(f"not a GUI program: Subsystem {headers.get('Subsystem')}")
        problems += 1
    if int(headers.get("MajorSubsystemVersion", "99"), 16) > 4:
        print(f"subsystem version too new for Windows 95/NT 4: {headers.get('MajorSubsystemVersion')}")
        problems += 1
    print(f"{len(found)} imports checked, {len(extra)} not allowed")
    return 1 if extra or forbidden or problems else 0


if __name__ == "__main__":
    sys.exit(main())
