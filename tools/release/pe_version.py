#!/usr/bin/env python3
"""Reads the version resource (VS_VERSIONINFO) of a PE file.

    python3 pe_version.py Uninstall.exe            # prints the fixed versions and every string
    python3 pe_version.py Uninstall.exe 1.0.0      # exit code 1 unless the resource says 1.0.0

Used by the release packager (it refuses a program whose resource names another version) and by the
version_resource test of the win32 tree. The PE file is read by the translator's kit (pefile).
"""
import struct
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "lngkit"))
import lngkit  # noqa: E402

RT_VERSION = 16


def resource(data, type_id, name_id=None):
    """The raw bytes of the first resource of a type (and name id, when given); or None."""
    names = lngkit.resources(data).get(type_id, {})
    return names.get(name_id) if name_id is not None else next(iter(names.values()), None)


def version_resource(data):
    """The raw bytes of the first RT_VERSION resource, or None."""
    return resource(data, RT_VERSION)


def _block(data, pos):
    """(key, value bytes, value type, children bytes, end) of one version block."""
    length, value_length, kind = struct.unpack_from("<HHH", data, pos)
    end = pos + length
    key_start = pos + 6
    key_end = key_start
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    value_start = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[value_start:value_start + value_bytes]
    children = (value_start + value_bytes + 3) & ~3
    return key, value, kind, children, end


def _children(data, pos, end):
    while pos < end:
        key, value, kind, children, block_end = _block(data, pos)
        if block_end <= pos:
            break
        yield key, value, kind, children, block_end
        pos = (block_end + 3) & ~3


def parse(resource):
    """{'file_version': (a, b, c, d), 'product_version': ..., 'strings': {lang_codepage: {name: text}},
    'translations': [(lang, codepage)]} of a VS_VERSIONINFO resource."""
    key, value, _, children, end = _block(resource, 0)
    if key != "VS_VERSION_INFO" or len(value) < 52:
        raise ValueError("not a VS_VERSIONINFO resource")
    signature, _, fms, fls, pms, pls = struct.unpack_from("<6I", value, 0)
    if signature != 0xFEEF04BD:
        raise ValueError("bad VS_FIXEDFILEINFO signature")
    info = {"file_version": (fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF),
            "product_version": (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF),
            "strings": {}, "translations": []}
    for name, _, _, sub, sub_end in _children(resource, children, end):
        if name == "StringFileInfo":
            for table, _, _, entries, table_end in _children(resource, sub, sub_end):
                info["strings"][table] = {
                    k: v.decode("utf-16-le").rstrip("\0") for k, v, _, _, _ in _children(resource, entries, table_end)}
        elif name == "VarFileInfo":
            for k, v, _, _, _ in _children(resource, sub, sub_end):
                if k == "Translation":
                    info["translations"] += [struct.unpack_from("<HH", v, i) for i in range(0, len(v) - 3, 4)]
    return info


def read(path):
    with open(path, "rb") as f:
        resource = version_resource(f.read())
    if resource is None:
        raise ValueError("%s has no version resource" % path)
    return parse(resource)


def problems(info, version, original_name):
    """What is wrong with the resource for `version` (e.g. "1.0.0"): a list of texts, empty when fine."""
    found = []
    numbers = tuple(int(n) for n in version.split("."))
    numbers = (numbers + (0, 0, 0, 0))[:4]
    for field in ("file_version", "product_version"):
        if info[field] != numbers:
            found.append("%s is %s, not %s" % (field, ".".join(map(str, info[field])), version))
    if len(info["strings"]) != 1:
        found.append("%d string tables, want one" % len(info["strings"]))
        return found
    (table, strings), = info["strings"].items()
    if [(int(table[:4], 16), int(table[4:], 16))] != info["translations"]:
        found.append("Translation %r does not name the string table %s" % (info["translations"], table))
    for name in ("FileVersion", "ProductVersion"):
        if strings.get(name) != version:
            found.append("%s is %r, not %r" % (name, strings.get(name), version))
    if strings.get("OriginalFilename") != original_name:
        found.append("OriginalFilename is %r" % strings.get("OriginalFilename"))
    for name in ("FileDescription", "ProductName", "CompanyName", "LegalCopyright"):
        if not strings.get(name):
            found.append(name + " is missing or empty")
    return found


def main(argv):
    info = read(argv[1])
    if len(argv) == 2:
        print("file version %s, product version %s" % (".".join(map(str, info["file_version"])),
                                                      ".".join(map(str, info["product_version"]))))
        for table, strings in info["strings"].items():
            for name, text in strings.items():
                print("%s %s: %s" % (table, name, text))
        return 0
    found = problems(info, argv[2], argv[3] if len(argv) > 3 else "Uninstall.exe")
    for text in found:
        print(argv[1] + ": " + text)
    if not found:
        print("%s: version resource %s, %d strings" % (argv[1], argv[2], len(next(iter(info["strings"].values())))))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
