"""Pictures of the setup and completion dialogs and of the removal's boxes for docs/screenshots/,
checked while taken.

Run by scripts/screenshots.sh, which builds the program and sets the variables below. Each
scenario installs the program into its own folder of one Wine prefix, runs "/setup", photographs
SETUPDLG, presses OK, photographs DONEDLG and closes it. The removal's boxes come from a folder
without "Uninstall.lst": the confirmation box is answered Yes, and the box saying the list cannot
be opened follows before anything has been changed. Every dialog's and box's dump is compared
with the texts and layout it must have, so a picture of an untranslated or misplaced dialog fails
the run instead of landing in the docs.

    python3 screenshots.py [--out DIR] [--own-language-file] [--keep-full]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent / "driver"))
sys.path.insert(0, str(Path(__file__).resolve().parent / "lngkit"))
import rig as R  # noqa: E402
from lngkit import make_key as key  # noqa: E402

REPO = R.REPO
PROGRAM_RC = REPO / "src" / "resources" / "uninstall.rc"
RESOURCE_H = REPO / "src" / "resources" / "resource.h"
LIBRARY_RC = REPO / "tests" / "langlibs" / "kvxlng_english.rc"
SAMPLE_LNG = REPO / "lang" / "english" / "uninstall.lng"
LNGKIT = REPO / "tools" / "lngkit" / "lngkit.py"
CONVERT = "/usr/bin/convert"

WS_EX_LAYOUTRTL = 0x00400000
IDOK, IDYES, IDNO = 1, 6, 7
DIALOGS = ("SETUPDLG", "DONEDLG")
# The removal's boxes: picture name, string ids of caption and text, buttons, icon, the button pressed.
IDS_REMOVE_CAPTION, IDS_CONFIRM_REMOVAL, IDS_LIST_MISSING = 5104, 5107, 5108
FILE_LIST = "Uninstall.lst"
BOXES = (("remove", IDS_CONFIRM_REMOVAL, (IDYES, IDNO), "question", IDYES),
         ("list-missing", IDS_LIST_MISSING, (IDOK,), "error", IDOK))
BOX_TEXT, BOX_ICON = 65535, 1088

# English for every dialog text of uninstall.rc that English spells differently. Sized for the
# program's own (Italian) layout, which a language file cannot change.
ENGLISH = {
    "Configurazione Korvex": "Korvex Setup",
    "Associa a Korvex archivi e file in formato...": "Associate Korvex with these archive types",
    "Selezionali &tutti": "Select &all",
    "Interfaccia": "Interface",
    "Aggiungi l'icona di Korvex al &desktop": "Add a Korvex icon to the &desktop",
    'Aggiungi Korvex al &menu "Avvio" / "Start"': "Add Korvex to the Start &menu",
    "Crea il &gruppo programmi Korvex": "Create a Korvex program &group",
    'Integrazione con "Esplora risorse"': "Explorer integration",
    '&Integra Korvex in "Esplora risorse"': "&Integrate Korvex into Explorer",
    "&Voci a cascata nel menu contestuale": "&Cascaded context menu items",
    "Ic&one nel menu contestuale": "Icons in the context m&enu",
    "   Queste opzioni controllano l'integrazione di Korvex con Windows. Il primo gruppo vi permette "
    "di selezionare quali tipi d'archivio possono essere gestiti da Korvex. Nel secondo gruppo "
    "selezionate dove porre i collegamenti al programma Korvex. L'ultimo gruppo controlla "
    "l'integrazione con \"Esplora risorse\" di Windows. Questa integrazione fornisce delle utili "
    "facilitazioni come la voce \"Estrai\" nel menu contestuale di un archvio; per questo motivo di "
    "solito la si lascia abilitata.\n   Premete il pulsante \"?\" per ottenere maggiori informazioni "
    "in merito a queste opzioni.":
        "   These options control how Korvex works with Windows. The first group selects the archive "
        "types Korvex opens. In the second group you choose where the shortcuts to Korvex go. The "
        "last group controls the integration with Windows Explorer, which adds useful commands such "
        "as \"Extract\" to the context menu of an archive; that is why it is usually left on.\n"
        "   Press the \"?\" button to learn more about these options.",
    "O&K": "&OK",
    "&Chiudi": "&Close",
    "Korvex è stato installato correttamente nella cartella:": "Korvex has been installed in the folder:",
    "Selezionate la voce \"Configurazione...\" del menu \"Opzioni\" di Korvex per la modifica della "
    "configurazione.":
        "To change the configuration later, choose \"Configuration...\" in the \"Options\" menu of Korvex.",
    "Se installate Korvex per la prima volta, non dimenticatevi di leggere la guida in linea.":
        "If this is your first Korvex, do not forget to read the online help.",
    "Korvex è distribuito come shareware: potete provarlo gratuitamente per 40 giorni. Trascorso "
    "questo periodo, per continuare a usarlo dovete acquistare la licenza d'uso.":
        "Korvex is shareware: you may try it free of charge for 40 days. After that, please buy a "
        "licence to keep using it.",
    "Korvex viene migliorato di continuo. Visitate il nostro sito Internet per scaricare l'ultima "
    "versione, leggere le novità e trovare le risposte alle domande più frequenti: premete il "
    "pulsante \"Sito Internet\" qui sotto.":
        "Korvex keeps getting better. Visit our web site to download the latest version, read the "
        "news and find answers to frequently asked questions: press the \"Web site\" button below.",
    "&Esegui Korvex": "&Run Korvex",
    "Leggi la &guida": "Read the &help",
    "Leggi la &licenza": "Read the &licence",
    "Listino &prezzi": "&Price list",
    "Sito &Internet": "&Web site",
    "Grazie per aver deciso d'utilizzare Korvex !": "Thank you for choosing Korvex!",
}
# Texts that read the same in English.
SAME_IN_ENGLISH = {"&KVX", "&ZIP", "CAB", "ARJ", "LZH", "ACE", "TAR", "GZip", "UUE", "BZ2", "JAR", "&?"}

ENGLISH_MESSAGES = {
    "Korvex gestione archivi": "Korvex archive manager",
    "Guida a Korvex": "Korvex help",
    "Manuale di KVX in modalità carattere": "Manual of the KVX command-line version",
    "Rimuovi Korvex": "Remove Korvex",
    "Rimozione completa": "Removal complete",
    "Devi eliminare il file %s manualmente": "Please delete the file %s by hand",
    "Avvio la rimozione di Korvex?": "Start removing Korvex?",
    "Impossibile aprire la lista dei files %s": "Cannot open the list of files %s",
    "Archivio Korvex": "Korvex archive",
    "Archivio Korvex ZIP": "Korvex ZIP archive",
    "Un'altra configurazione o rimozione di Korvex è in corso. Riprova più tardi.":
        "Another setup or removal of Korvex is running. Please try again later.",
    "Crea, apre ed estrae archivi KVX, ZIP, CAB, ARJ, LZH, ACE, TAR, GZip, UUE, BZ2 e JAR":
        "Creates, opens and extracts KVX, ZIP, CAB, ARJ, LZH, ACE, TAR, GZip, UUE, BZ2 and JAR archives",
    "Korvex non è stato configurato del tutto: alcune voci del registro non sono state scritte.":
        "Korvex was not set up completely: some registry entries could not be written.",
    "Il nome della cartella di Korvex, o di quella dei file temporanei, contiene caratteri che la tabella codici di Windows non ha. Non è stato cambiato nulla: installa Korvex in una cartella con un altro nome.":
        "The name of the Korvex folder, or of the temporary folder, holds characters that the Windows code page lacks. Nothing was changed: install Korvex in a folder with another name.",
}

SCALE = (125, 110)


class Failure(Exception):
    pass


# --- resource scripts ----------------------------------------------------------------------------

def rc_string(body):
    """A windres string literal's content: "" is a quote, backslash escapes as the compiler reads them."""
    escapes = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"'}
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c == '"' and body[i + 1:i + 2] == '"':
            out.append('"')
            i += 2
        elif c == "\\" and body[i + 1:i + 2] in escapes:
            out.append(escapes[body[i + 1]])
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read_symbols():
    symbols = {"IDOK": 1, "IDCANCEL": 2, "IDC_STATIC": -1}
    for m in re.finditer(r"^#define\s+(\w+)\s+\(?(-?\d+)\)?", RESOURCE_H.read_text("cp1252"), re.M):
        symbols[m.group(1)] = int(m.group(2))
    return symbols


STRING = r'"((?:[^"]|"")*)"'


def read_rc(path):
    """{dialog: {"caption", "size", "controls": [(id, class, text, (x, y, w, h))]}}, {id: message}."""
    text = path.read_bytes().decode("cp1252")
    text = re.sub(r"^\s*//.*$", "", text, flags=re.M)
    symbols = read_symbols()

    def number(token):
        token = token.strip()
        return symbols[token] if token in symbols else int(token, 0)

    dialogs = {}
    for m in re.finditer(r"^(\w+)\s+DIALOG\s+([-\d, ]+)$(.*?)^BEGIN$(.*?)^END$", text, re.M | re.S):
        name, geometry, head, body = m.groups()
        caption = re.search(r"CAPTION\s+" + STRING, head)
        controls = []
        for c in re.finditer(r"CONTROL\s+" + STRING + r"\s*,\s*([-\w]+)\s*,\s*\"(\w+)\"\s*,([^\n]*)", body):
            numbers = [p.strip() for p in c.group(4).split(",")][-4:]
            controls.append((number(c.group(2)), c.group(3), rc_string(c.group(1)),
                             tuple(int(n) for n in numbers)))
        dialogs[name] = {"caption": rc_string(caption.group(1)) if caption else "",
                         "size": tuple(int(n) for n in geometry.split(",")[2:]),
                         "controls": controls}
    messages = {}
    table = re.search(r"^STRINGTABLE\s*^BEGIN$(.*?)^END$", text, re.M | re.S)
    if table:
        for s in re.finditer(r"^\s*(\w+)\s*,\s*" + STRING, table.group(1), re.M):
            messages[number(s.group(1))] = rc_string(s.group(2))
    for name in DIALOGS:
        if name not in dialogs or not dialogs[name]["controls"]:
            raise Failure("%s: no dialog %s read" % (path, name))
    return dialogs, messages


# --- language files ------------------------------------------------------------------------------

def escape(text):
    return (text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
            .replace("\r", "\\r").replace("\t", "\\t"))


def unescape(text):
    return re.sub(r'\\([nrt"\\])', lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(m.group(1), m.group(1)), text)


def scale_key(dialog):
    return key("$", dialog, "")


DIRECTION_KEY = key("$", "LTR", "LTR")


def own_english_file(dialogs, messages):
    """An English language file made from the tables above; every text of the program is covered."""
    lines = ["; English texts for the screenshots of Uninstall.exe", "***messages***"]
    for text in messages.values():
        if text not in ENGLISH_MESSAGES:
            raise Failure("no English for the message %r: add it to ENGLISH_MESSAGES" % text)
        lines.append('%s="%s"' % (key("s", "", text), escape(ENGLISH_MESSAGES[text])))
    for name in DIALOGS:
        d = dialogs[name]
        seen = set()
        for text in [d["caption"]] + [c[2] for c in d["controls"]]:
            if not text or text in SAME_IN_ENGLISH or text in seen:
                continue
            if text not in ENGLISH:
                raise Failure("no English for %s text %r: add it to ENGLISH" % (name, text))
            seen.add(text)
            lines.append('%s="%s"' % (key("$", name, text), escape(ENGLISH[text])))
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


def entries_of(data):
    """{key: value} of a language file's entry lines, as the program reads them (last quote ends)."""
    text = data.decode("cp1252", errors="replace")
    marker = text.find("***messages***")
    if marker < 0:
        raise Failure("language file without a ***messages*** line")
    out = {}
    for line in re.split(r"[\r\n]+", text[marker:])[1:]:
        m = re.match(r'([0-9a-f]{8})="(.*)"', line)
        if m:
            out[m.group(1)] = unescape(m.group(2))
    return out


def with_entries(data, extra):
    """The file with its entries for extra's keys replaced by extra's values."""
    lines = [l for l in data.split(b"\r\n" if b"\r\n" in data else b"\n")
             if l[:8].decode("latin-1") not in extra]
    while lines and not lines[-1]:
        lines.pop()
    lines += [('%s="%s"' % (k, v)).encode("cp1252") for k, v in extra.items()]
    return b"\r\n".join(lines) + b"\r\n"


def lngkit_check(path, program):
    """lngkit's list of problems of a language file, or None when the kit is not there."""
    if not LNGKIT.is_file():
        return None
    p = subprocess.run([sys.executable, str(LNGKIT), "check", str(path), str(program)],
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    out = p.stdout.decode(errors="replace") + p.stderr.decode(errors="replace")
    if p.returncode not in (0, 1):
        raise Failure("lngkit check failed to run on %s:\n%s" % (path, out))
    found = [l for l in out.splitlines() if re.match(re.escape(path.name) + r":\d+: ", l)]
    if p.returncode == 1 and not found:
        found = [out.strip()]
    return found


# --- expectations --------------------------------------------------------------------------------

def expected_dialog(template, name, entries):
    """Caption and controls as the program shows them: texts through the language file's entries."""
    def tr(text):
        return entries.get(key("$", name, text), text) if text else text
    return {"caption": tr(template["caption"]),
            "controls": [(cid, cls, tr(text), box) for cid, cls, text, box in template["controls"]]}


def control_id(raw):
    value = int(raw)
    return -1 if value == 65535 else value


def check_dump(dump, expected, name, folder):
    """Problems of one dumped dialog against what it must show."""
    problems = []
    if dump.window.caption != expected["caption"]:
        problems.append("caption %r, expected %r" % (dump.window.caption, expected["caption"]))
    got = dump.children
    if len(got) != len(expected["controls"]):
        return problems + ["%d controls, expected %d" % (len(got), len(expected["controls"]))]
    for child, (cid, cls, text, _) in zip(got, expected["controls"]):
        where = "%s control %d (%s)" % (name, cid, cls)
        if control_id(child["id"]) != cid:
            problems.append("%s: found id %s in its place" % (where, child["id"]))
        if child["class"].lower() != cls.lower():
            problems.append("%s: class %r" % (where, child["class"]))
        if name == "DONEDLG" and cid == 5101 and cls == "Static":
            text = folder  # the installation folder, filled in at run time
        shown = child.text
        if cls.upper() == "RICHEDIT":
            shown = shown.replace("\r\n", "\n").replace("\r", "\n")  # paragraphs come back as CR
        if shown != text:
            problems.append("%s: text %r, expected %r" % (where, shown[:80], text[:80]))
    return problems


def check_layout(dump, template):
    """Every control where the template puts it, in pixels of the font's dialog base units."""
    tw, th = template["size"]
    cw, ch = dump.window.rect("client")[2:]
    bx, by = round(4 * cw / tw), round(8 * ch / th)

    def px(value, base, units):  # MulDiv rounding, as MapDialogRect does
        return (value * base * 2 + units) // (units * 2)

    problems = []
    for child, (cid, _, _, (x, y, w, h)) in zip(dump.children, template["controls"]):
        if h <= 1:
            continue  # an etched line: the control sizes itself to its edge
        want = (px(x, bx, 4), px(y, by, 8), px(x + w, bx, 4), px(y + h, by, 8))
        if any(abs(a - b) > 1 for a, b in zip(child.rect(), want)):
            problems.append("control %d at %s, its template puts it at %s" % (cid, child.rect(), want))
    return problems


def rect_of(record):
    left, top, right, bottom = record.rect()
    return left, top, right, bottom


def check_scaled(scaled, plain, width_percent, height_percent):
    """Client area and every control scaled against the same dialog unscaled."""
    problems = []
    pw, ph = plain.window.rect("client")[2:]
    sw, sh = scaled.window.rect("client")[2:]
    want_w, want_h = pw * width_percent // 100, ph * height_percent // 100
    # The program sizes the window from an inclusive frame width, one pixel more.
    if not (0 <= sw - want_w <= 1 and 0 <= sh - want_h <= 1):
        problems.append("client %dx%d, expected %dx%d" % (sw, sh, want_w, want_h))
    for a, b in zip(plain.children, scaled.children):
        l, t, r, btm = rect_of(a)
        want = (l * width_percent / 100, t * height_percent / 100, (r - l) * width_percent / 100,
                (btm - t) * height_percent / 100)
        l2, t2, r2, b2 = rect_of(b)
        have = (l2, t2, r2 - l2, b2 - t2)
        # Allows truncation and the program's inclusive rectangles (one pixel more before scaling).
        if any(abs(x - y) > 2.5 for x, y in zip(want, have)):
            problems.append("control %s at %s, expected about %s" % (
                a["id"], have, tuple(round(v) for v in want)))
    return problems


def check_mirrored(mirrored, plain):
    """Layout flipped left to right against the same dialog left to right, in screen coordinates."""
    problems = []
    if not mirrored.window.int("exstyle") & WS_EX_LAYOUTRTL:
        problems.append("window lacks WS_EX_LAYOUTRTL")
    if plain.window.int("exstyle") & WS_EX_LAYOUTRTL:
        problems.append("the left-to-right window has WS_EX_LAYOUTRTL")
    pw = plain.window.rect("client")[2]
    mw = mirrored.window.rect("client")[2]
    if pw != mw:
        problems.append("client width %d, left to right %d" % (mw, pw))
    for a, b in zip(plain.children, mirrored.children):
        l, t, r, btm = rect_of(a)
        # The driver maps into the parent's own coordinates; a mirrored parent counts from its
        # right edge, so the numbers only match when the control sits mirrored on screen.
        l2, t2, r2, b2 = rect_of(b)
        lo, hi = sorted((l2, r2))
        if (lo, t2, hi - lo, b2 - t2) != (l, t, r - l, btm - t):
            problems.append("control %s at %s, left to right at %s" % (a["id"], (l2, t2, r2, b2),
                                                                       (l, t, r, btm)))
    return problems


def format_one(text, argument):
    """A message as the program formats it, from its own formatter built for the host (kvxtext)."""
    args = [os.environ["KVX_E2E_KVXTEXT"], "format", text.encode("cp1252"), argument.encode("cp1252")]
    proc = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if proc.returncode != 0:
        raise Failure("kvxtext format %r: %r" % (text, proc.stderr))
    return proc.stdout.decode("cp1252")


def expected_boxes(messages, entries):
    """[(caption, text, buttons, icon)] of the removal's boxes through a language file's entries."""
    def tr(string_id):
        text = messages[string_id]
        return entries.get(key("s", "", text), text)
    return [(tr(IDS_REMOVE_CAPTION), format_one(tr(text_id), FILE_LIST) if text_id == IDS_LIST_MISSING else tr(text_id),
             buttons, icon) for _, text_id, buttons, icon, _ in BOXES]


def check_box(dump, expected, name):
    """Problems of one dumped message box against its caption, text, buttons and icon."""
    caption, text, buttons, icon = expected
    problems = []
    if dump.window.caption != caption:
        problems.append("%s: caption %r, expected %r" % (name, dump.window.caption, caption))
    ids = dump.ids()
    if BOX_TEXT not in ids or dump.child(BOX_TEXT).text != text:
        problems.append("%s: text %r, expected %r" % (
            name, dump.child(BOX_TEXT).text if BOX_TEXT in ids else None, text))
    buttons_seen = sorted(i for i in ids if 1 <= i <= 11)
    if buttons_seen != sorted(buttons):
        problems.append("%s: buttons %s, expected %s" % (name, buttons_seen, sorted(buttons)))
    seen_icon = dump.child(BOX_ICON).get("icon") if BOX_ICON in ids else None
    if seen_icon != icon:
        problems.append("%s: icon %s, expected %s" % (name, seen_icon, icon))
    return problems


# --- taking the pictures -------------------------------------------------------------------------

class Shooter:
    def __init__(self, build, out, keep_full):
        self.exe = os.environ["KVX_UNINSTALL"]
        self.rig = R.Rig(build, "screenshots")
        self.out = Path(out)
        self.keep_full = keep_full
        self.full = self.rig.files / "full"
        self.full.mkdir(parents=True, exist_ok=True)
        self.written = []

    def start(self):
        # A fresh prefix: stored settings of an earlier run would change the check boxes.
        self.rig.stop_prefix()
        shutil.rmtree(self.rig.prefix, ignore_errors=True)
        self.rig.boot()
        self.rig.run_script([R.run(120000, "cmd.exe", "/c", "rem")], timeout=300)

    def display(self, dpi=96, themed=False):
        """The screen's DPI (the program declares itself DPI-aware) and Wine's own visual style, for
        the runs that follow; the prefix is restarted so that every process reads them."""
        desktop = "HKCU\\Control Panel\\Desktop"
        themes = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager"
        style = "C:\\windows\\resources\\themes\\light\\light.msstyles" if themed else ""
        for args in (["reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                     ["reg", "add", themes, "/v", "ThemeActive", "/d", "1" if themed else "0", "/f"],
                     ["reg", "add", themes, "/v", "DllName", "/d", style, "/f"],
                     ["reg", "add", themes, "/v", "ColorName", "/d", "Blue", "/f"],
                     ["reg", "add", themes, "/v", "SizeName", "/d", "NormalSize", "/f"]):
            proc = self.rig.wine(args, timeout=120)
            if proc.returncode != 0:
                raise Failure("reg add %s: %r" % (args[2], proc.stderr))
        self.rig.stop_prefix()

    def install(self, name, library=None, language_file=None):
        folder = self.rig.drive_c / ("Korvex-" + name)
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        shutil.copy(self.exe, folder / "Uninstall.exe")
        if library:
            shutil.copy(library, folder / "kvxlng.dll")
        if language_file is not None:
            (folder / "uninstall.lng").write_bytes(language_file)
        return folder

    def crop(self, full, dump, target):
        left, top, right, bottom = dump.window.rect()
        geometry = "%dx%d+%d+%d" % (right - left, bottom - top, left, top)
        subprocess.run([CONVERT, str(full), "-crop", geometry, "+repage", "-strip",
                        "-define", "png:exclude-chunks=date,time", str(target)],
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=60, check=True)
        self.written.append(target)

    def scenario(self, name, library=None, language_file=None):
        """Setup then completion dialog of one installation; returns the two dumps."""
        folder = self.install(name, library, language_file)
        exe = self.rig.winpath(folder / "Uninstall.exe")
        signals = ["shot-%s-%s" % (name, d) for d in DIALOGS]
        for s in signals:
            (self.rig.files / s).unlink(missing_ok=True)
        lines = ["cd " + self.rig.winpath(folder), R.start(exe, "/setup"),
                 R.wait_window(120000), "dump", "wait-file 120000 " + self.rig.signal_path(signals[0]),
                 "click %d" % IDOK, "wait-gone 60000",
                 R.wait_window(120000), "dump", "wait-file 120000 " + self.rig.signal_path(signals[1]),
                 "click %d" % IDOK, "wait-exit 60000"]
        running = self.rig.spawn_script(lines)
        dumps = []
        for n, (dialog, signal) in enumerate(zip(DIALOGS, signals), 1):
            running.wait_record("dump-end", timeout=300, count=n)
            full = self.full / ("%s-%s.png" % (dialog.lower(), name))
            self.rig.screenshot(full)
            running.release(signal)
            dumps.append((dialog, full))
        result = running.finish(timeout=300)
        (self.rig.files / ("driver-%s.txt" % name)).write_text(result.stdout)
        parsed = result.dumps()
        if len(parsed) != 2:
            raise Failure("%s: %d dialogs seen\n%s" % (name, len(parsed), result.stdout))
        if result.exit().int("code") != 0:
            raise Failure("%s: exit code %s" % (name, result.exit()["code"]))
        for (dialog, full), dump in zip(dumps, parsed):
            target = self.out / ("%s-%s.png" % ("setup" if dialog == "SETUPDLG" else "done", name))
            self.crop(full, dump, target)
            if not self.keep_full:
                full.unlink()
        # The group folder the setup opens afterwards, and anything else: gone before the next one.
        self.rig.stop_prefix()
        return dict(zip(DIALOGS, parsed)), self.rig.winpath(folder)

    def removal_boxes(self, name, language_file=None):
        """The removal's two boxes, from an installation without its file list; returns the dumps."""
        folder = self.install("remove-" + name, language_file=language_file)
        exe = self.rig.winpath(folder / "Uninstall.exe")
        signals = ["shot-remove-%s-%s" % (name, b[0]) for b in BOXES]
        for sig in signals:
            (self.rig.files / sig).unlink(missing_ok=True)
        lines = ["cd " + self.rig.winpath(folder), R.start(exe)]
        for n, ((box, _, _, _, answer), sig) in enumerate(zip(BOXES, signals)):
            if n:
                lines.append("wait-gone 60000")
            lines += [R.wait_window(120000), "dump", "wait-file 120000 " + self.rig.signal_path(sig),
                      "click %d" % answer]
        lines.append("wait-exit 60000")
        running = self.rig.spawn_script(lines)
        fulls = []
        for n, ((box, *_), sig) in enumerate(zip(BOXES, signals), 1):
            running.wait_record("dump-end", timeout=300, count=n)
            full = self.full / ("%s-%s.png" % (box, name))
            # A message box is visible a moment before it is painted.
            if not self.rig.screenshot_drawn(full, running.wait_record("dump", count=n).rect()):
                raise Failure("remove %s: the %s box was not painted" % (name, box))
            running.release(sig)
            fulls.append(full)
        result = running.finish(timeout=300)
        (self.rig.files / ("driver-remove-%s.txt" % name)).write_text(result.stdout)
        parsed = result.dumps()
        if len(parsed) != len(BOXES):
            raise Failure("remove %s: %d boxes seen\n%s" % (name, len(parsed), result.stdout))
        if result.exit().int("code") != 0:
            raise Failure("remove %s: exit code %s" % (name, result.exit()["code"]))
        if not (folder / "Uninstall.exe").exists():
            raise Failure("remove %s: the program was deleted without a file list" % name)
        for (box, *_), full, dump in zip(BOXES, fulls, parsed):
            self.crop(full, dump, self.out / ("%s-%s.png" % (box, name)))
            if not self.keep_full:
                full.unlink()
        self.rig.stop_prefix()
        return parsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", default=str(REPO / "docs" / "screenshots"))
    parser.add_argument("--own-language-file", action="store_true",
                        help="use the English file made here even when lang/english/uninstall.lng exists")
    parser.add_argument("--keep-full", action="store_true", help="keep the whole-screen pictures")
    args = parser.parse_args()
    needed = ["KVX_DRIVER", "KVX_UNINSTALL", "KVX_E2E_BUILD", "KVX_LANGLIB_ENGLISH", "KVX_E2E_KVXTEXT"]
    missing = [n for n in needed if not os.environ.get(n)]
    if missing:
        print("screenshots: set " + ", ".join(missing), file=sys.stderr)
        return 2

    program, program_messages = read_rc(PROGRAM_RC)
    library, library_messages = read_rc(LIBRARY_RC)
    if sorted(library_messages) != list(range(5101, 5111)):
        raise Failure("kvxlng_english.rc: string ids %s" % sorted(library_messages))
    for name in DIALOGS:
        own = [(c[0], c[1].upper()) for c in program[name]["controls"]]
        lib = [(c[0], c[1].upper()) for c in library[name]["controls"]]
        if own != lib:
            raise Failure("kvxlng_english.rc: %s controls differ from the program's:\n%s\n%s" % (name, own, lib))

    generated = own_english_file(program, program_messages)
    if SAMPLE_LNG.is_file() and not args.own_language_file:
        english, source = SAMPLE_LNG.read_bytes(), str(SAMPLE_LNG.relative_to(REPO))
    else:
        english, source = generated, "made by screenshots.py"
    print("English language file: " + source)
    scaled = with_entries(english, {scale_key(d): "%d*%d" % SCALE for d in DIALOGS})
    rtl = with_entries(english, {DIRECTION_KEY: "RTL"})
    rtl_scaled = with_entries(scaled, {DIRECTION_KEY: "RTL"})

    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    shooter = Shooter(os.environ["KVX_E2E_BUILD"], out, args.keep_full)
    warnings, problems = [], []
    try:
        for label, data in (("english", english), ("scaled", scaled), ("rtl", rtl),
                            ("rtl-scaled", rtl_scaled)):
            path = shooter.rig.files / ("uninstall-%s.lng" % label)
            path.write_bytes(data)
            found = lngkit_check(path, os.environ["KVX_UNINSTALL"])
            if found:
                note = "lngkit check %s: %s" % (label, "; ".join(found))
                (warnings if source != "made by screenshots.py" else problems).append(note)

        shooter.start()
        scenarios = [("builtin", None, None, {}),
                     ("english", None, english, entries_of(english)),
                     ("scaled", None, scaled, entries_of(scaled)),
                     ("rtl", None, rtl, entries_of(rtl)),
                     ("rtl-scaled", None, rtl_scaled, entries_of(rtl_scaled)),
                     ("library", os.environ["KVX_LANGLIB_ENGLISH"], None, {})]
        # The same at 144 DPI (plain, scaled, and right to left and scaled), and with Wine's visual style.
        scenarios += [("dpi144", None, None, {}),
                      ("dpi144-scaled", None, scaled, entries_of(scaled)),
                      ("dpi144-rtl-scaled", None, rtl_scaled, entries_of(rtl_scaled)),
                      ("themed", None, None, {})]
        seen = {}
        for name, lib, lng, entries in scenarios:
            print("== %s" % name, flush=True)
            if name in ("dpi144", "themed"):
                shooter.display(dpi=144 if name == "dpi144" else 96, themed=name == "themed")
            dumps, folder = shooter.scenario(name, library=lib, language_file=lng)
            seen[name] = dumps
            templates = library if lib else program
            for dialog in DIALOGS:
                if name in ("builtin", "english", "library", "dpi144", "themed"):
                    for p in check_layout(dumps[dialog], templates[dialog]):
                        problems.append("%s %s: %s" % (name, dialog, p))
                for p in check_dump(dumps[dialog], expected_dialog(templates[dialog], dialog, entries),
                                    dialog, folder):
                    problems.append("%s: %s" % (name, p))
        shooter.display()  # the boxes as before: 96 DPI, no visual style
        for name, lng in (("builtin", None), ("english", english)):
            print("== remove-%s" % name, flush=True)
            dumps = shooter.removal_boxes(name, language_file=lng)
            wanted = expected_boxes(program_messages, entries_of(lng) if lng else {})
            for (box, *_), dump, expected in zip(BOXES, dumps, wanted):
                problems += check_box(dump, expected, "%s-%s" % (box, name))
        for dialog in DIALOGS:
            for p in check_scaled(seen["scaled"][dialog], seen["english"][dialog], *SCALE):
                problems.append("scaled %s: %s" % (dialog, p))
            for p in check_mirrored(seen["rtl"][dialog], seen["english"][dialog]):
                problems.append("rtl %s: %s" % (dialog, p))
            # Scaled and mirrored: the mirror image of the same dialog scaled left to right.
            for p in check_mirrored(seen["rtl-scaled"][dialog], seen["scaled"][dialog]):
                problems.append("rtl-scaled %s: %s" % (dialog, p))
            for p in check_mirrored(seen["dpi144-rtl-scaled"][dialog], seen["dpi144-scaled"][dialog]):
                problems.append("dpi144-rtl-scaled %s: %s" % (dialog, p))
            # At 144 DPI the dialog units, and so the dialogs, are half as large again.
            plain, large = seen["builtin"][dialog].window.rect("client")[2:], seen["dpi144"][dialog].window.rect("client")[2:]
            if any(abs(b - a * 1.5) > a * 0.1 for a, b in zip(plain, large)):
                problems.append("dpi144 %s: client %s against %s at 96 DPI" % (dialog, large, plain))
        # The completion dialog's bold line is drawn in pixels: 12 at 96 DPI, 18 at 144.
        for name, height in (("builtin", 12), ("dpi144", 18)):
            found = seen[name]["DONEDLG"].child(5107)["fontheight"]
            if abs(int(found)) != height:
                problems.append("%s: the bold line's font is %s pixels high, want %d" % (name, found, height))
    finally:
        shooter.rig.stop()

    print("\n%-36s %10s %8s" % ("picture", "pixels", "bytes"))
    for path in shooter.written:
        size = subprocess.run(["/usr/bin/identify", "-format", "%wx%h", str(path)], capture_output=True,
                              text=True, timeout=30).stdout.strip()
        print("%-36s %10s %8d" % (os.path.relpath(path, REPO), size, path.stat().st_size))
    for w in warnings:
        print("warning: " + w)
    for p in problems:
        print("PROBLEM: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (Failure, R.DriverError) as e:
        print("screenshots: %s" % e, file=sys.stderr)
        sys.exit(1)
