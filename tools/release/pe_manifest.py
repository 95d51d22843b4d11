#!/usr/bin/env python3
"""Checks the application manifest (resource type 24, id 1) of a PE file.

    python3 pe_manifest.py Uninstall.exe      # prints the manifest; exit code 1 with its problems

What Windows reads from it: elevation (requireAdministrator; the asm.v3 namespace declared exactly once
on trustInfo: twice, prefixed and default, crashes Windows XP SP2, none fails there), the supported
systems Vista to 10/11, DPI awareness and the common controls 6 dependency.
"""
import re
import sys
import xml.etree.ElementTree as ET

from pe_version import resource

RT_MANIFEST = 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SYSTEMS = {  # supportedOS ids
    "Vista": "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "10/11": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}


def problems(text):
    """What is wrong with a manifest's text: a list, empty when fine."""
    found = []
    try:
        root = ET.fromstring(text)
    except ET.ParseError as e:
        return ["not well formed: %s" % e]
    if root.tag != ASM_V1 + "assembly":
        found.append("root is %s, not an asm.v1 assembly" % root.tag)
    opening = re.findall(rb"<(?:\w+:)?trustInfo\b[^>]*>", text)
    if len(opening) != 1:
        found.append("%d trustInfo elements, want one" % len(opening))
    elif len(re.findall(rb"xmlns(?::\w+)?\s*=\s*\"urn:schemas-microsoft-com:asm\.v3\"", opening[0])) != 1:
        found.append("trustInfo must declare the asm.v3 namespace exactly once: %s" % opening[0].decode())
    levels = root.findall(".//%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel"
                          % (ASM_V3, ASM_V3, ASM_V3, ASM_V3))
    if [(e.get("level"), e.get("uiAccess")) for e in levels] != [("requireAdministrator", "false")]:
        found.append("want one requestedExecutionLevel requireAdministrator, uiAccess false")
    ids = [e.get("Id", "").lower() for e in root.findall(".//%scompatibility/%sapplication/%ssupportedOS"
                                                          % (COMPAT, COMPAT, COMPAT))]
    for name, ident in SYSTEMS.items():
        if ids.count(ident) != 1:
            found.append("supportedOS of Windows %s: %d times" % (name, ids.count(ident)))
    aware = [e.text for e in root.iter(SETTINGS + "dpiAware")]
    if aware != ["true"]:
        found.append("dpiAware: %r, want ['true']" % aware)
    controls = [e for e in root.iter(ASM_V1 + "assemblyIdentity")
                if e.get("name") == "Microsoft.Windows.Common-Controls" and e.get("version") == "6.0.0.0"]
    if len(controls) != 1:
        found.append("no dependency on the common controls 6.0.0.0")
    return found


def main():
    with open(sys.argv[1], "rb") as f:
        text = resource(f.read(), RT_MANIFEST, 1)
    if text is None:
        print("%s: no manifest (type 24, id 1)" % sys.argv[1])
        return 1
    print(text.decode("utf-8"))
    found = problems(text)
    for p in found:
        print("problem: " + p)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
