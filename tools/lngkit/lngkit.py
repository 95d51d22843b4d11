#!/usr/bin/env python3
"""Translator's kit for uninstall.lng, the language file of Uninstall.exe.

  lngkit.py template PROGRAM [-o FILE]   complete language file from a program's texts
  lngkit.py check FILE PROGRAM           problems of a language file, exit code 1 if any
  lngkit.py key DOMAIN CONTEXT TEXT      the key of one text

PROGRAM is Uninstall.exe or a language library (any 32- or 64-bit PE file
with resources). Everything here works on Windows-1252 bytes, as the
program does.
"""

import argparse
import bisect
import os
import re
import struct
import sys
import zlib

MARKER = b"***messages***"
MARKER_SEARCHED = MARKER[:13]  # what the program actually looks for
SECTION_LIMIT = 65536

# The program looks for the marker in 16 overlapping chunks of 8 KiB.
MARKER_CHUNK = 8192
MARKER_CHUNKS = 16
MARKER_OVERLAP = 16

MESSAGE_DOMAIN = b"s"
DIALOG_DOMAIN = b"$"
DIRECTION_TEXT = b"LTR"

# Longest values each destination keeps.
MESSAGE_LIMIT = 253
DIALOG_LIMIT = 1021
SCALE_LIMIT = 509

# Scale percentages the program uses; outside this range a value counts as 100.
SCALE_MIN = 50
SCALE_MAX = 400

# Buffers the program reads its own texts into (less the terminator): longer
# originals are keyed by their cut form.
MESSAGE_ROOM = 255
DIALOG_ROOM = 1023

RT_DIALOG = 5
RT_STRING = 6
DS_SETFONT = 0x40

LINE_BREAK_MARK = 0x0C
ESCAPES = {ord('"'): b'\\"', ord("\\"): b"\\\\", ord("\n"): b"\\n",
           ord("\r"): b"\\r", ord("\t"): b"\\t"}
UNESCAPES = {ord('"'): ord('"'), ord("\\"): ord("\\"), ord("n"): ord("\n"),
             ord("r"): ord("\r"), ord("t"): ord("\t")}
HEX = frozenset(b"0123456789abcdefABCDEF")

# Windows-1252 code points Python's codec leaves undefined; Windows maps them
# to the same C1 control characters.
CP1252_HOLES = frozenset((0x81, 0x8D, 0x8F, 0x90, 0x9D))

CONTROL_CLASSES = {0x80: "Button", 0x81: "Edit", 0x82: "Static",
                   0x83: "ListBox", 0x84: "ScrollBar", 0x85: "ComboBox"}


class KitError(Exception):
    """A file that cannot be used; the message says why."""


# --- keys, text and escapes ------------------------------------------------

def make_key(domain, context, text):
    """Key of a text: CRC-32 of domain + context + text, as eight lower-case hex digits.

    Each part is bytes, or str taken as Windows-1252; a context of None counts as empty.
    """
    data = b"".join(part.encode("cp1252") if isinstance(part, str) else part
                    for part in (domain, context or b"", text))
    return "%08x" % zlib.crc32(data)


def to_ansi(text):
    """Windows-1252 bytes of `text` and whether characters were lost."""
    out = bytearray()
    lossy = False
    for ch in text:
        try:
            out += ch.encode("cp1252")
        except UnicodeEncodeError:
            if ord(ch) in CP1252_HOLES:
                out.append(ord(ch))
            else:
                out += b"?"
                lossy = True
    return bytes(out), lossy


def from_ansi(data):
    return "".join(chr(b) if b in CP1252_HOLES else bytes((b,)).decode("cp1252")
                   for b in data)


def escape(text):
    out = bytearray()
    for b in text:
        out += ESCAPES.get(b, bytes((b,)))
    return bytes(out)


def unescape(text):
    out = bytearray()
    i = 0
    while i < len(text):
        if text[i] == 0x5C and i + 1 < len(text) and text[i + 1] in UNESCAPES:
            out.append(UNESCAPES[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return bytes(out)


def count_placeholders(text):
    """Number of %s the program fills; %% stands for a percent sign."""
    return len(re.findall(rb"%s", re.sub(rb"%%", b"", text)))


# --- PE resources ------------------------------------------------------------

def _pefile():
    try:
        import pefile
    except ImportError:
        # Debian's python3-pefile serves any Python 3 that does not have its own.
        sys.path.append("/usr/lib/python3/dist-packages")
        try:
            import pefile
        except ImportError:
            raise KitError("reading programs needs the pefile module: pip install pefile")
    return pefile


def resources(data):
    """{type: {name: data}} of a PE file's resources, names int or str; of each name the
    language-neutral data, else the one with the lowest language id."""
    if data[:2] != b"MZ":
        raise KitError("not a Windows program (no MZ header)")
    pefile = _pefile()
    try:
        pe = pefile.PE(data=data, fast_load=True)
        pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
        table = pe.OPTIONAL_HEADER.DATA_DIRECTORY
        if directory is None and len(table) > 2 and table[2].VirtualAddress:
            raise KitError("resources outside the file")
        out = {}
        for rtype in directory.entries if directory else ():
            names = out.setdefault(rtype.id if rtype.name is None else str(rtype.name), {})
            for name in rtype.directory.entries:
                langs = sorted(name.directory.entries, key=lambda e: (e.id != 0, e.id))
                if langs:
                    names[name.id if name.name is None else str(name.name)] = pe.get_data(
                        langs[0].data.struct.OffsetToData, langs[0].data.struct.Size)
        return out
    except (pefile.PEFormatError, AttributeError) as e:
        raise KitError("not a readable Windows program (%s)" % e)


def parse_string_block(block_id, data):
    """(id, text) of each non-empty string of an RT_STRING block."""
    strings = []
    pos = 0
    for i in range(16):
        if pos + 2 > len(data):
            break
        length = struct.unpack_from("<H", data, pos)[0]
        text = data[pos + 2:pos + 2 + 2 * length].decode("utf-16-le", "replace")
        pos += 2 + 2 * length
        if text:
            strings.append(((block_id - 1) * 16 + i, text))
    return strings


class DialogItem:
    def __init__(self, control_id, control_class, text):
        self.id = control_id
        self.control_class = control_class  # str
        self.text = text                    # str, or int for an ordinal


class Dialog:
    def __init__(self, caption, items):
        self.caption = caption
        self.items = items


class _Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, fmt):
        size = struct.calcsize(fmt)
        if self.pos + size > len(self.data):
            raise KitError("dialog template is cut short")
        values = struct.unpack_from(fmt, self.data, self.pos)
        self.pos += size
        return values

    def string(self):
        end = self.pos
        while True:
            if end + 2 > len(self.data):
                raise KitError("dialog template is cut short")
            if self.data[end:end + 2] == b"\0\0":
                break
            end += 2
        text = self.data[self.pos:end].decode("utf-16-le", "replace")
        self.pos = end + 2
        return text

    def string_or_ordinal(self):
        first = self.take("<H")[0]
        if first == 0xFFFF:
            return self.take("<H")[0]
        self.pos -= 2
        return self.string()

    def align(self):
        self.pos = (self.pos + 3) & ~3


def parse_dialog(data):
    """Caption and items of a DLGTEMPLATE or DLGTEMPLATEEX."""
    r = _Reader(data)
    version, signature = r.take("<2H")
    extended = version == 1 and signature == 0xFFFF
    if extended:
        _, _, style, count = r.take("<3IH")
        r.take("<4h")
    else:
        r.pos = 0
        style, _, count = r.take("<2IH")
        r.take("<4h")
    r.string_or_ordinal()  # menu
    r.string_or_ordinal()  # window class
    caption = r.string()
    if style & DS_SETFONT:
        r.take("<2H2B" if extended else "<H")
        r.string()
    items = []
    for _ in range(count):
        r.align()
        if extended:
            r.take("<3I4h")
            control_id = r.take("<i")[0]
        else:
            r.take("<2I4h")
            control_id = r.take("<h")[0]
        control_class = r.string_or_ordinal()
        if isinstance(control_class, int):
            control_class = CONTROL_CLASSES.get(control_class, "#%d" % control_class)
        text = r.string_or_ordinal()
        extra = r.take("<H")[0]
        r.pos += extra
        items.append(DialogItem(control_id, control_class, text))
    return Dialog(caption, items)


# --- the program's texts -----------------------------------------------------

class Text:
    """A text of the program: where it comes from and what its key is."""

    def __init__(self, kind, context, original, label):
        self.kind = kind          # "message", "dialog", "scale" or "direction"
        self.context = context    # bytes: dialog name, or b""
        self.original = original  # bytes, Windows-1252
        self.label = label        # str for the comment above the entry
        domain = MESSAGE_DOMAIN if kind == "message" else DIALOG_DOMAIN
        self.key = make_key(domain, context, original)

    @property
    def limit(self):
        return {"message": MESSAGE_LIMIT, "scale": SCALE_LIMIT}.get(
            self.kind, DIALOG_LIMIT)


class ProgramTexts:
    def __init__(self, path):
        with open(path, "rb") as f:
            found = resources(f.read())
        self.warnings = []
        self.messages = []  # Text
        self.dialogs = []   # (name bytes, [Text])
        seen = {}
        for block_id in sorted(k for k in found.get(RT_STRING, {})
                               if isinstance(k, int)):
            for sid, text in parse_string_block(block_id,
                                                found[RT_STRING][block_id]):
                data = self._ansi(text, MESSAGE_ROOM, "message %d" % sid)
                if data is None:
                    continue
                entry = Text("message", b"", data, str(sid))
                if entry.key in seen:
                    seen[entry.key].label += ", " + str(sid)
                    continue
                seen[entry.key] = entry
                self.messages.append(entry)
        for name, data in found.get(RT_DIALOG, {}).items():
            if not isinstance(name, str) or name == "RTL":
                continue
            context, lossy = to_ansi(name)
            if lossy:
                self.warnings.append("dialog name %r is not Windows-1252; skipped" % name)
                continue
            self.dialogs.append((context, self._dialog_texts(name, context,
                                                             parse_dialog(data))))

    def _ansi(self, text, room, where):
        data, lossy = to_ansi(text)
        if lossy:
            self.warnings.append("%s has characters outside Windows-1252; its key "
                                 "assumes they read as '?'" % where)
        if len(data) > room:
            self.warnings.append("%s is longer than %d characters; the program keys "
                                 "it by its first %d" % (where, room, room))
            data = data[:room]
        if LINE_BREAK_MARK in data:
            self.warnings.append("%s holds a form feed, which a language file cannot "
                                 "hold; left out" % where)
            return None
        return data

    def _dialog_texts(self, name, context, dialog):
        texts = {}
        order = []

        def add(text, label):
            data = self._ansi(text, DIALOG_ROOM, "%s %s" % (name, label))
            if not data:
                return
            entry = Text("dialog", context, data, "%s %s" % (name, label))
            if entry.key in texts:
                texts[entry.key].label += ", " + label
            else:
                texts[entry.key] = entry
                order.append(entry)

        add(dialog.caption, "caption")
        for item in dialog.items:
            if isinstance(item.text, str):
                add(item.text, "%s %d" % (item.control_class, item.id))
        return order

    def scale_entries(self):
        return [Text("scale", name, b"", "scale of %s" % name.decode("cp1252"))
                for name, _ in self.dialogs]

    def direction_entry(self):
        return Text("direction", DIRECTION_TEXT, DIRECTION_TEXT, "direction")

    def all_texts(self):
        texts = list(self.messages)
        for _, entries in self.dialogs:
            texts += entries
        texts += self.scale_entries()
        texts.append(self.direction_entry())
        return {t.key: t for t in texts}


# --- template -----------------------------------------------------------------

HEADER = """\
; Language file of Uninstall.exe, the setup and removal program of Korvex.
; Made by lngkit.py from {program}.
;
; How to translate:
;  - Change only the text between the quotes of each entry line. Never change
;    the eight characters before it: they are the key of the original text,
;    shown in the comment line above the entry.
;  - Inside a text: \\" is a quote, \\\\ a backslash, \\n a new line, \\r a
;    carriage return, \\t a tab. A plain quote inside the text works too: the
;    text ends at the last quote of the line.
;  - Keep every %s: the program puts a file name there. Write %% for a
;    percent sign in those texts.
;  - & marks the underlined shortcut letter of a dialog text; give each
;    control of a dialog a different letter.
;  - Lines starting with ";" are comments. Delete an entry (or the whole
;    line) to keep the original text.
;  - Scale entries "W*H" widen and heighten a dialog and all its controls,
;    in percent ("125*110"); "100*100" leaves it as it is. Each percentage
;    must lie between 50 and 400; outside that range it counts as 100.
;  - The direction entry is "RTL" for right-to-left languages, else "LTR".
;  - Save as Windows-1252 text, name it uninstall.lng, put it beside
;    Uninstall.exe and run: lngkit.py check uninstall.lng Uninstall.exe
"""


def entry_line(key, value):
    return key.encode("ascii") + b'="' + escape(value) + b'"'


def make_template(program_path):
    texts = ProgramTexts(program_path)
    name = os.path.basename(program_path)
    lines = [l.encode("cp1252", "replace") for l in
             HEADER.format(program=name).splitlines()]
    lines += [MARKER, b""]

    def entry(t, note=""):
        lines.append(b"; " + t.label.encode("cp1252", "replace") + note.encode() +
                     b': "' + escape(t.original) + b'"')
        lines.append(entry_line(t.key, t.original))

    if texts.messages:
        lines.append(b"; ---- Messages ----")
        for t in texts.messages:
            keep = count_placeholders(t.original)
            entry(t, "" if not keep else " (keep %s)" if keep == 1
                  else " (keep all %d %%s)" % keep)
        lines.append(b"")
    for (name_bytes, entries), scale in zip(texts.dialogs, texts.scale_entries()):
        lines.append(b"; ---- Dialog " + name_bytes + b" ----")
        for t in entries:
            entry(t)
        lines.append(b"; Size of " + name_bytes +
                     b' in percent, "W*H": "110*100" makes it 10% wider.')
        lines.append(entry_line(scale.key, b"100*100"))
        lines.append(b"")
    lines.append(b'; Text direction of all dialogs: "RTL" (right to left) or "LTR".')
    lines.append(entry_line(texts.direction_entry().key, DIRECTION_TEXT))
    return b"\r\n".join(lines) + b"\r\n", texts.warnings


# --- check ----------------------------------------------------------------------

def find_marker(raw):
    """Offset of the marker as the program finds it, or -1."""
    position = 0
    for _ in range(MARKER_CHUNKS):
        chunk = raw[position:position + MARKER_CHUNK]
        if len(chunk) < MARKER_OVERLAP:
            return -1
        k = chunk.find(MARKER_SEARCHED)
        if k >= 0:
            return position + k
        position += len(chunk) - MARKER_OVERLAP
    return -1


def decode_section(raw):
    """The program's decoding of the section: escapes replaced, line ends as
    marks. Returns the text and, per character, its offset in `raw`."""
    out = bytearray()
    where = []
    i = 0
    while i < len(raw):
        c = raw[i]
        if c == 0x5C and i + 1 < len(raw) and raw[i + 1] in UNESCAPES:
            out.append(UNESCAPES[raw[i + 1]])
            where.append(i)
            i += 2
            continue
        out.append(LINE_BREAK_MARK if c in (0x0D, 0x0A) else c)
        where.append(i)
        i += 1
    return bytes(out), where


class Entry:
    def __init__(self, key, value, line, start, end, well_formed, closed):
        self.key = key
        self.value = value
        self.line = line        # line number in the file
        self.start = start      # offset of the line from the marker on
        self.end = end          # offset just past the value's closing quote
        self.well_formed = well_formed
        self.closed = closed


def read_entries(raw, marker):
    """Entry lines after the marker: 8 hex digits at the start of a line."""
    text, where = decode_section(raw[marker:])
    newlines = [m.start() for m in re.finditer(b"\n", raw)]
    entries = []
    k = 0
    while True:
        mark = text.find(bytes((LINE_BREAK_MARK,)), k)
        end = len(text) if mark < 0 else mark
        line = text[k:end]
        if k > 0 and len(line) >= 8 and all(b in HEX for b in line[:8]):
            quote = line.rfind(b'"', 10)
            closed = quote >= 0
            stop = quote if closed else len(line)
            last = where[k + stop] if closed else where[end - 1]
            entries.append(Entry(line[:8].decode("ascii"), line[10:stop],
                                 bisect.bisect_left(newlines, marker + where[k]) + 1,
                                 where[k], last + 1, line[8:10] == b'="', closed))
        if mark < 0:
            return entries
        k = mark
        while k < len(text) and text[k] == LINE_BREAK_MARK:
            k += 1


def check(language_path, program_path):
    """(problem lines, entry count, note lines)."""
    with open(language_path, "rb") as f:
        raw = f.read()
    texts = ProgramTexts(program_path)
    known = texts.all_texts()
    name = os.path.basename(language_path)
    marker = find_marker(raw)
    if marker < 0:
        return (["%s: no %s line within the first 128 KiB: the program ignores the file"
                 % (name, MARKER.decode())], 0, [])
    nul = raw.find(b"\0", marker, marker + SECTION_LIMIT)
    problems = []
    seen = {}
    entries = read_entries(raw, marker)
    for e in entries:
        def problem(message):
            problems.append("%s:%d: %s: %s" % (name, e.line, e.key, message))

        if e.end > SECTION_LIMIT:
            problem("beyond the first %d bytes after the marker, which is all the "
                    "program reads" % SECTION_LIMIT)
            continue
        if nul >= 0 and e.start > nul - marker:
            problem("after a NUL byte (at offset %d), where the program stops reading" % nul)
            continue
        if not e.well_formed:
            problem('the key must be followed by ="')
        if not e.closed:
            problem("no closing quote: the text runs to the end of the line")
        if e.key != e.key.lower():
            hint = e.key.lower()
            problem("upper-case hex digits never match a key%s" %
                    ("; write %s" % hint if hint in known else ""))
            continue
        if e.key in seen:
            problem("duplicate key (also on line %d): either text may be used" % seen[e.key])
            continue
        seen[e.key] = e.line
        t = known.get(e.key)
        if t is None:
            problem("no text of the program has this key")
            continue
        if len(e.value) > t.limit:
            problem("text is %d characters long; the program keeps only %d"
                    % (len(e.value), t.limit))
        if t.kind == "message" and \
                count_placeholders(e.value) != count_placeholders(t.original):
            problem("the original has %d %%s, the translation %d"
                    % (count_placeholders(t.original), count_placeholders(e.value)))
        if t.kind == "scale":
            m = re.fullmatch(rb"(\d+)\*(\d+)", e.value)
            if not m:
                problem('scale must be "W*H", two whole percentages, not "%s"'
                        % from_ansi(e.value))
            elif not all(SCALE_MIN <= int(v) <= SCALE_MAX for v in m.groups()):
                problem('scale "%s": each percentage must lie between %d and %d; '
                        "outside that range the program takes 100"
                        % (from_ansi(e.value), SCALE_MIN, SCALE_MAX))
        if t.kind == "direction" and e.value not in (b"LTR", b"RTL"):
            problem('direction must be "LTR" or "RTL", not "%s"' % from_ansi(e.value))
        if re.search(rb"[\x80-\xff]", e.value):
            try:
                e.value.decode("utf-8")
                problem("text looks like UTF-8; save the file as Windows-1252")
            except UnicodeDecodeError:
                pass
    notes = list(texts.warnings)
    missing = [t for k, t in sorted(known.items()) if k not in seen]
    if missing:
        notes.append("%d text%s of the program have no entry and stay as they are "
                     "(e.g. %s)" % (len(missing), "" if len(missing) == 1 else "s",
                                    missing[0].label))
    return problems, len(entries), notes


# --- command line ---------------------------------------------------------------

def plural(n, one, many):
    return "%d %s" % (n, one if n == 1 else many)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("template", help="write a complete language file")
    p.add_argument("program")
    p.add_argument("-o", "--output", default="uninstall.lng")
    p = sub.add_parser("check", help="list the problems of a language file")
    p.add_argument("language_file")
    p.add_argument("program")
    p = sub.add_parser("key", help="print the key of a text")
    p.add_argument("domain", help='"s" for messages, "$" for dialog texts')
    p.add_argument("context", help='dialog name, or "" for messages')
    p.add_argument("text")
    p.add_argument("-e", "--escaped", action="store_true",
                   help="TEXT uses the file's escapes (\\n, \\t, ...)")
    args = parser.parse_args(argv)

    try:
        if args.command == "key":
            parts = []
            for s in (args.domain, args.context, args.text):
                data, lossy = to_ansi(s)
                if lossy:
                    raise KitError("%r has characters outside Windows-1252" % s)
                parts.append(data)
            if parts[0] not in (MESSAGE_DOMAIN, DIALOG_DOMAIN):
                raise KitError('domain must be "s" or "$"')
            text = unescape(parts[2]) if args.escaped else parts[2]
            print(make_key(parts[0], parts[1], text))
            return 0
        if args.command == "template":
            data, warnings = make_template(args.program)
            for w in warnings:
                print("warning: " + w, file=sys.stderr)
            with open(args.output, "wb") as f:
                f.write(data)
            return 0
        problems, count, notes = check(args.language_file, args.program)
        for line in problems:
            print(line)
        for line in notes:
            print("note: " + line)
        print("%s: %s, %s" % (os.path.basename(args.language_file),
                              plural(count, "entry", "entries"),
                              plural(len(problems), "problem", "problems")))
        return 1 if problems else 0
    except (KitError, OSError) as e:
        print("lngkit: %s" % e, file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
