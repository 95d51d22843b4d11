#!/usr/bin/env python3
"""Makes the release package: OUT/korvex-uninstall-VERSION.zip and OUT/SHA256SUMS beside it.

    make_release.py --exe Uninstall.exe --version 1.0.0 --out build/release [--date EPOCH]

The zip holds, in this (sorted) order:
    README-admin.txt               the administrators' text (tools/release/README-admin.txt, CRLF)
    SHA256SUMS                     sums of every other file of the zip
    Uninstall.exe
    lang/english/uninstall.lng     the complete English language file
    lngkit/README.md, lngkit/lngkit.py   the translator's kit
Reproducible: every entry carries the same timestamp (--date, seconds since 1970; default
SOURCE_DATE_EPOCH, else 2000-01-01), MS-DOS attributes and fixed compression, so the same inputs
give the same bytes. Refuses a program whose version resource names another version, and prints
its size against the 64 KiB goal. Reads the program with pefile, as pe_version.py does (scripts/release.sh
runs it after building).

With KVX_SIGN_* in the environment (authenticode.py) the zip holds a signed and verified copy of the
program instead, made in a folder under OUT that goes afterwards; --exe stays as it was, so the size
is the unsigned program's (the signature is appended after the image). A signed package is not
reproducible: the signature carries its signing time.
"""
import argparse
import hashlib
import os
import sys
import tempfile
import time
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import authenticode  # noqa: E402
import pe_version  # noqa: E402

REPO = Path(__file__).resolve().parents[2]
NAME = "korvex-uninstall"
SIZE_GOAL = 65536
DEFAULT_DATE = 946684800  # 2000-01-01 00:00:00 UTC


def text_crlf(path, version):
    text = path.read_text(encoding="utf-8").replace("@VERSION@", version)
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp1252")


def contents(exe, version):
    """{name in the zip: bytes}, SHA256SUMS included."""
    files = {
        "README-admin.txt": text_crlf(REPO / "tools/release/README-admin.txt", version),
        "Uninstall.exe": Path(exe).read_bytes(),
        "lang/english/uninstall.lng": (REPO / "lang/english/uninstall.lng").read_bytes(),
        "lngkit/README.md": (REPO / "tools/lngkit/README.md").read_bytes(),
        "lngkit/lngkit.py": (REPO / "tools/lngkit/lngkit.py").read_bytes(),
    }
    files["SHA256SUMS"] = sums(files)
    return dict(sorted(files.items()))


def sums(files):
    """sha256sum's format ("HASH  NAME", LF), sorted by name: `sha256sum -c SHA256SUMS` checks it."""
    return "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name)
                   for name, data in sorted(files.items())).encode("ascii")


def write_zip(path, files, date):
    stamp = time.gmtime(max(date, 315532800))[:6]  # zip dates start in 1980
    tmp = path.with_name(path.name + ".tmp")
    with zipfile.ZipFile(tmp, "w") as z:
        for name, data in files.items():
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 0  # MS-DOS: no Unix modes
            info.external_attr = 0x20  # the archive bit, as Windows' own zips have
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data, compresslevel=9)
    tmp.replace(path)


def check_version(exe, version):
    found = pe_version.problems(pe_version.read(exe), version, "Uninstall.exe")
    if found:
        raise SystemExit("%s: version resource: %s" % (exe, "; ".join(found)))


def make(exe, version, out, date, signing=None):
    """Writes the zip and the SHA256SUMS beside it; returns the zip's path.

    signing: authenticode.settings(), or None for the program as it is."""
    check_version(exe, version)
    out = Path(out)
    out.mkdir(parents=True, exist_ok=True)
    zip_path = out / ("%s-%s.zip" % (NAME, version))
    if signing:
        with tempfile.TemporaryDirectory(prefix=".signing-", dir=out) as tmp:
            signed = Path(tmp) / "Uninstall.exe"
            try:
                authenticode.sign(signing, exe, signed)
            except authenticode.SigningError as e:
                raise SystemExit("%s: not released, signing failed: %s" % (exe, e)) from None
            check_version(signed, version)
            write_zip(zip_path, contents(signed, version), date)
    else:
        write_zip(zip_path, contents(exe, version), date)
    (out / "SHA256SUMS").write_bytes(sums({zip_path.name: zip_path.read_bytes()}))
    return zip_path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--date", type=int, default=int(os.environ.get("SOURCE_DATE_EPOCH", DEFAULT_DATE)))
    args = parser.parse_args()
    try:
        signing = authenticode.settings(os.environ)
    except authenticode.SigningError as e:
        raise SystemExit("not released: " + str(e)) from None
    zip_path = make(args.exe, args.version, args.out, args.date, signing)
    size = Path(args.exe).stat().st_size
    print("%s: %d bytes (Uninstall.exe %d bytes%s%s)" % (zip_path, zip_path.stat().st_size, size,
                                                         " unsigned" if signing else "",
                                                         ", OVER the 64 KiB goal" if size > SIZE_GOAL else ""))
    with zipfile.ZipFile(zip_path) as z:
        for info in z.infolist():
            print("  %8d  %s" % (info.file_size, info.filename))
    if signing:
        print("Uninstall.exe signed (Authenticode, SHA-256%s) and verified" %
              (", time stamp from " + signing["KVX_SIGN_TIMESTAMP_URL"] if "KVX_SIGN_TIMESTAMP_URL" in signing else ""))
    print(Path(args.out) / "SHA256SUMS")


if __name__ == "__main__":
    main()
