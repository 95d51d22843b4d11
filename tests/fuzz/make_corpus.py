#!/usr/bin/env python3
"""Writes the seed corpus of the language fuzzer. Run once; the output is kept in the repository.

Keys come from the translator's kit (tools/lngkit: CRC-32 of domain, context and text); the
probe texts match the fixed ones in language_fuzz.cpp so that the seeds produce hits.
"""
import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "lngkit"))
from lngkit import make_key  # noqa: E402

MARKER = b"***messages**"


def key(domain, context, text):
    return make_key(domain, context, text).encode()


def entry(domain, context, text, value):
    return key(domain, context, text) + b'="' + value + b'"'


HEADER = b"; Korvex language file\r\n; Lingua: Italiano\r\n; Traduttore: nessuno\r\n\r\n"

ENTRIES = [
    entry("s", None, "Cancel", b"Annulla"),
    entry("s", None, "Remove Korvex from this computer?", b"Rimuovere Korvex da questo computer?"),
    entry("s", None, "%s could not be removed.", b"Impossibile rimuovere %s."),
    entry("$", "IDD_SETUP", "Setup", b"Installazione"),
    entry("$", "IDD_SETUP", "&Install", b"&Installa"),
    entry("$", "LTR", "LTR", b"LTR"),
    entry("$", None, "", b"vuoto"),
]


def lines(items, end):
    return end.join(items) + end


def main(out):
    seeds = {}
    seeds["realistic_crlf.lng"] = HEADER + lines([MARKER] + ENTRIES, b"\r\n")
    seeds["realistic_lf.lng"] = lines([b"; LF only", MARKER] + ENTRIES, b"\n")
    seeds["realistic_cr.lng"] = lines([b"; CR only", MARKER] + ENTRIES, b"\r")
    rtl = [e for e in ENTRIES if not e.startswith(key("$", "LTR", "LTR"))]
    seeds["right_to_left.lng"] = lines([MARKER, entry("$", "LTR", "LTR", b"RTL")] + rtl, b"\n")
    seeds["escapes.lng"] = lines([
        MARKER,
        entry("s", None, "Cancel", b'Dice \\"ciao\\"'),
        entry("s", None, "Remove Korvex from this computer?", b"riga uno\\nriga due\\r\\tfine \\\\ barra"),
        entry("$", "IDD_SETUP", "Setup", b"sconosciuto \\x \\q \\"),
        entry("$", "IDD_SETUP", "&Install", b'virgolette "interne" e "ancora"'),
    ], b"\r\n") + b"trailing backslash\\"
    seeds["unclosed_quote.lng"] = lines([
        MARKER,
        key("s", None, "Cancel") + b'="senza chiusura',
        key("$", "IDD_SETUP", "Setup") + b'=',
        key("$", "IDD_SETUP", "&Install"),
        b"seguente riga con \"virgolette\"",
    ], b"\n") + key("s", None, "%s could not be removed.") + b'="' + b"lunghissimo " * 30
    seeds["uppercase_keys.lng"] = lines([MARKER] + [e[:8].upper() + e[8:] for e in ENTRIES], b"\r\n")
    seeds["marker_mid_line.lng"] = lines([
        b"testo prima" + MARKER + b" resto",
        entry("s", None, "Cancel", b"Annulla"),
        MARKER,
        entry("s", None, "Cancel", b"Annulla di nuovo"),
    ], b"\n")
    # The marker straddles the end of the first 8192-byte search chunk.
    filler = (b"; commento di riempimento\r\n" * 400)[:8185]
    seeds["marker_chunk_edge.lng"] = filler + lines([MARKER] + ENTRIES, b"\r\n")
    seeds["duplicates_short.lng"] = lines([
        MARKER,
        entry("s", None, "Cancel", b"Primo"),
        entry("s", None, "Cancel", b"Secondo"),
        key("$", "LTR", "LTR"),
        b'x="altra riga"',
        entry("$", None, "", b""),
        b"\x0c\x0c" + entry("s", None, "Remove Korvex from this computer?", b"dopo salti pagina"),
    ], b"\n") + key("$", "IDD_SETUP", "Setup")
    seeds["no_marker.lng"] = lines([b"***message**", b"**messages**"] + ENTRIES, b"\n")
    seeds["nul_inside.lng"] = lines([MARKER, ENTRIES[0], b"prima\x00dopo", ENTRIES[1]], b"\n")
    seeds["empty.lng"] = b""
    seeds["marker_only.lng"] = MARKER
    seeds["marker_newline.lng"] = MARKER + b"\r\n\r\n"
    # For the text helpers and the command-line grammar, which read the input as text.
    seeds["command_line.txt"] = b"/setup /S"
    seeds["command_line_remove.txt"] = b"/REMOVE /s\n/removed"
    seeds["path_and_format.txt"] = b"C:\\Programmi\\Korvex\\Uninstall.exe \t\r\n%s non trovato in %s: 100%% /wait"
    # Entries straddling the 65536 bytes read from the marker on.
    body = [MARKER]
    n = 0
    while sum(len(b) + 2 for b in body) < 65536 + 200:
        body.append(entry("s", "bulk", "testo %d" % n, b"valore numero %d" % n))
        n += 1
    large = {"section_limit.lng": lines(body, b"\r\n")}
    # Large seeds slow every mutation, so the timed run leaves them out; the seed check runs them.
    for folder, files in ((out, seeds), (out + "_large", large)):
        os.makedirs(folder, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus"))
