// The two dialog templates checked control by control, and the translation hook on real dialogs.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "lang/dialog_translation.h"
#include "lang/language.h"
#include "win_support.h"

namespace {

struct ExpectedControl {
  int id;
  const char* cls;
  DWORD style;  // the bits that must be set besides WS_CHILD | WS_VISIBLE
  int x, y, cx, cy;
  const char* text;
};

const DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
const DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;
const DWORD kStatic = SS_LEFT | WS_GROUP;

const char kExplanation[] =
    "   Queste opzioni controllano l'integrazione di Korvex con Windows. Il primo gruppo vi permette di selezionare "
    "quali tipi d'archivio possono essere gestiti da Korvex. Nel secondo gruppo selezionate dove porre i collegamenti "
    "al programma Korvex. L'ultimo gruppo controlla l'integrazione con \"Esplora risorse\" di Windows. Questa "
    "integrazione fornisce delle utili facilitazioni come la voce \"Estrai\" nel menu contestuale di un archvio; per "
    "questo motivo di solito la si lascia abilitata.\n   Premete il pulsante \"?\" per ottenere maggiori "
    "informazioni in merito a queste opzioni.";

const ExpectedControl kSetup[] = {
    {-1, "Button", BS_GROUPBOX, 7, 5, 156, 118, "Associa a Korvex archivi e file in formato..."},
    {5101, "Button", kCheck, 16, 21, 37, 12, "&KVX"},
    {5102, "Button", kCheck, 16, 33, 37, 12, "&ZIP"},
    {5103, "Button", kCheck, 16, 45, 37, 12, "CAB"},
    {5104, "Button", kCheck, 16, 57, 37, 12, "ARJ"},
    {5105, "Button", kCheck, 16, 69, 37, 12, "LZH"},
    {5106, "Button", kCheck, 16, 81, 37, 12, "ACE"},
    {5107, "Button", kCheck, 80, 21, 37, 12, "TAR"},
    {5108, "Button", kCheck, 80, 33, 37, 12, "GZip"},
    {5109, "Button", kCheck, 80, 45, 37, 12, "UUE"},
    {5110, "Button", kCheck, 80, 57, 37, 12, "BZ2"},
    {5111, "Button", kCheck, 80, 69, 37, 12, "JAR"},
    {-1, "Static", SS_ETCHEDHORZ, 8, 100, 156, 1, ""},
    {5118, "Button", kPush, 16, 105, 55, 14, "Selezionali &tutti"},
    {-1, "Button", BS_GROUPBOX, 168, 5, 166, 57, "Interfaccia"},
    {5112, "Button", kCheck, 177, 19, 150, 12, "Aggiungi l'icona di Korvex al &desktop"},
    {5113, "Button", kCheck, 177, 31, 150, 12, "Aggiungi Korvex al &menu \"Avvio\" / \"Start\""},
    {5114, "Button", kCheck, 177, 43, 150, 12, "Crea il &gruppo programmi Korvex"},
    {-1, "Button", BS_GROUPBOX, 168, 66, 166, 57, "Integrazione con \"Esplora risorse\""},
    {5115, "Button", kCheck, 177, 79, 127, 12, "&Integra Korvex in \"Esplora risorse\""},
    {5116, "Button", kCheck, 177, 91, 137, 12, "&Voci a cascata nel menu contestuale"},
    {5117, "Button", kCheck, 177, 103, 127, 12, "Ic&one nel menu contestuale"},
    {-1, "Button", BS_GROUPBOX, 7, 125, 327, 60, ""},
    {5119, "RICHEDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_VSCROLL | WS_TABSTOP, 10, 133, 322, 50,
     kExplanation},
    {1, "Button", kPush, 116, 191, 50, 14, "O&K"},
    {9, "Button", kPush, 174, 191, 50, 14, "&?"},
};

const ExpectedControl kDone[] = {
    {1, "Button", kPush, 140, 195, 50, 14, "&Chiudi"},
    {-1, "Static", kStatic, 17, 14, 186, 8, "Korvex \xe8 stato installato correttamente nella cartella:"},
    {5101, "Static", kStatic, 189, 14, 150, 8, ""},
    {-1, "Static", kStatic, 17, 32, 297, 22,
     "Selezionate la voce \"Configurazione...\" del menu \"Opzioni\" di Korvex per la modifica della configurazione."},
    {-1, "Static", kStatic, 17, 53, 297, 8,
     "Se installate Korvex per la prima volta, non dimenticatevi di leggere la guida in linea."},
    {5108, "Static", kStatic, 17, 70, 297, 22, nullptr},
    {5109, "Static", kStatic, 17, 95, 297, 26, nullptr},
    {-1, "Button", BS_GROUPBOX, 8, 2, 314, 125, ""},
    {5102, "Button", kPush, 11, 131, 60, 14, "&Esegui Korvex"},
    {5103, "Button", kPush, 74, 131, 60, 14, "Leggi la &guida"},
    {5104, "Button", kPush, 136, 131, 60, 14, "Leggi la &licenza"},
    {5105, "Button", kPush, 198, 131, 60, 14, "Listino &prezzi"},
    {5106, "Button", kPush, 259, 131, 60, 14, "Sito &Internet"},
    {-1, "Button", BS_GROUPBOX, 8, 145, 314, 45, ""},
    {5107, "Static", SS_CENTER | WS_GROUP, 17, 163, 297, 8, "Grazie per aver deciso d'utilizzare Korvex !"},
};

const char* hookName = "SETUPDLG";

INT_PTR CALLBACK HookedProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  TranslateDialogHook(dialog, message, hookName);
  return message == WM_INITDIALOG;
}

// The rich edit control keeps line ends its own way.
std::string Lines(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string TextOf(HWND window) {
  char text[2048] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

RECT ChildRect(HWND dialog, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class Dialogs : public ::testing::Test {
 protected:
  WindowsExpected windows_;
  static void SetUpTestSuite() { richEdit_ = LoadLibraryA("riched32.dll"); }
  static void TearDownTestSuite() {
    if (richEdit_ != nullptr) FreeLibrary(richEdit_);
  }
  void TearDown() override { StopLanguage(); }

  HWND Open(const char* name) {
    hookName = name;
    return CreateDialogParamA(GetModuleHandleA(nullptr), name, nullptr, HookedProc, 0);
  }

  template <size_t N>
  void CheckTemplate(const char* name, const ExpectedControl (&expected)[N], int width, int height) {
    HWND dialog = Open(name);
    ASSERT_NE(dialog, nullptr) << name;
    EXPECT_EQ(TextOf(dialog), "Configurazione Korvex");
    DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
    DWORD wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
    EXPECT_EQ(style & wanted, wanted) << std::hex << style;
    RECT size = {0, 0, width, height};
    MapDialogRect(dialog, &size);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    size_t i = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT), ++i) {
      ASSERT_LT(i, N) << "more controls than the template has";
      const ExpectedControl& e = expected[i];
      char cls[64];
      GetClassNameA(child, cls, sizeof cls);
      EXPECT_STRCASEEQ(cls, e.cls) << name << " #" << i;
      EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(child))), e.id) << name << " #" << i;
      DWORD s = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
      EXPECT_EQ(s & (WS_CHILD | WS_VISIBLE | e.style), WS_CHILD | WS_VISIBLE | e.style) << name << " #" << i << std::hex << " " << s;
      if ((e.style & 0x0F) == 0 && strcmp(e.cls, "Button") == 0) {
        EXPECT_EQ(s & 0x0F, static_cast<DWORD>(BS_PUSHBUTTON)) << "not a default button: " << name << " #" << i;
      }
      // The dialog manager maps a control's origin and size separately, as MapDialogRect maps each field.
      RECT units = {e.x, e.y, e.cx, e.cy};
      MapDialogRect(dialog, &units);
      RECT r = {units.left, units.top, units.left + units.right, units.top + units.bottom};
      RECT actual = ChildRect(dialog, child);
      // The combo-less templates keep every rectangle as given, in dialog units.
      EXPECT_EQ(actual.left, r.left) << name << " #" << i;
      EXPECT_EQ(actual.top, r.top) << name << " #" << i;
      // An etched line is drawn by the control at its own height and width: only its origin counts.
      if (strcmp(e.cls, "Static") != 0 || e.cy > 1) {
        EXPECT_EQ(actual.right, r.right) << name << " #" << i;
        EXPECT_EQ(actual.bottom, r.bottom) << name << " #" << i;
      }
      if (e.text != nullptr) {
        EXPECT_EQ(Lines(TextOf(child)), e.text) << name << " #" << i;
      }
    }
    EXPECT_EQ(i, N) << name;
    DestroyWindow(dialog);
  }

  static HMODULE richEdit_;
};
HMODULE Dialogs::richEdit_ = nullptr;

}  // namespace

TEST_F(Dialogs, SetupTemplateControlByControl) { CheckTemplate("SETUPDLG", kSetup, 341, 210); }

TEST_F(Dialogs, DoneTemplateControlByControl) {
  CheckTemplate("DONEDLG", kDone, 331, 214);
  HWND dialog = Open("DONEDLG");
  ASSERT_NE(dialog, nullptr);
  // The two notes are ours to word, but they are there and in Italian like the rest.
  EXPECT_GT(TextOf(GetDlgItem(dialog, 5108)).size(), 40u);
  EXPECT_GT(TextOf(GetDlgItem(dialog, 5109)).size(), 60u);
  DestroyWindow(dialog);
}

TEST_F(Dialogs, TextsAreTranslatedPerDialogName) {
  StartLanguage(nullptr, LanguageFileWith(Entry('$', "SETUPDLG", "Configurazione Korvex", "Korvex setup") +
                                          Entry('$', "SETUPDLG", "O&K", "&OK") +
                                          Entry('$', "DONEDLG", "&Chiudi", "&Close") +
                                          Entry('$', "SETUPDLG", "&Chiudi", "never: not in this dialog")));
  HWND setup = Open("SETUPDLG");
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(TextOf(setup), "Korvex setup");
  EXPECT_EQ(TextOf(GetDlgItem(setup, 1)), "&OK");
  EXPECT_EQ(TextOf(GetDlgItem(setup, 5103)), "CAB");
  DestroyWindow(setup);
  HWND done = Open("DONEDLG");
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(TextOf(done), "Configurazione Korvex");  // the SETUPDLG line does not reach it
  EXPECT_EQ(TextOf(GetDlgItem(done, 1)), "&Close");
  DestroyWindow(done);
}

TEST_F(Dialogs, RightToLeftMirrorsOnlyWhenAsked) {
  HWND plain = Open("DONEDLG");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(GetWindowLongA(plain, GWL_EXSTYLE) & 0x00400000L, 0);
  DestroyWindow(plain);
  StartLanguage(nullptr, LanguageFileWith(Entry('$', "LTR", "LTR", "RTL")));
  ASSERT_TRUE(IsRightToLeft());
  HWND mirrored = Open("DONEDLG");
  ASSERT_NE(mirrored, nullptr);
  EXPECT_NE(GetWindowLongA(mirrored, GWL_EXSTYLE) & 0x00400000L, 0);
  // Controls made inside the mirrored dialog take its layout: the first button's left edge in
  // client coordinates is now measured from the right.
  EXPECT_NE(GetWindowLongA(GetDlgItem(mirrored, 5102), GWL_EXSTYLE) & 0x00400000L, 0);
  DestroyWindow(mirrored);
}

namespace {

// A test dialog with a simple and two drop-down combo boxes, built in memory.
std::vector<WORD> ComboTemplate() {
  std::vector<WORD> t;
  auto dword = [&](DWORD v) {
    t.push_back(LOWORD(v));
    t.push_back(HIWORD(v));
  };
  auto text = [&](const char* s) {
    for (; *s; ++s) t.push_back(static_cast<WORD>(static_cast<unsigned char>(*s)));
    t.push_back(0);
  };
  auto align = [&] {
    if (t.size() % 2) t.push_back(0);
  };
  dword(WS_POPUP | WS_CAPTION | DS_SETFONT | DS_MODALFRAME);
  dword(0);
  t.push_back(4);  // items
  t.push_back(10); t.push_back(10); t.push_back(200); t.push_back(120);
  t.push_back(0); t.push_back(0);  // no menu, default class
  text("Prova");
  t.push_back(8);
  text("MS Sans Serif");
  struct Item { DWORD style; short x, y, cx, cy; WORD id; WORD cls; const char* text; };
  const Item items[] = {{CBS_SIMPLE | WS_VSCROLL, 10, 10, 80, 60, 101, 0x0085, ""},
                        {CBS_DROPDOWN | WS_VSCROLL, 100, 10, 80, 70, 102, 0x0085, ""},
                        {CBS_DROPDOWNLIST | WS_VSCROLL, 100, 40, 80, 50, 103, 0x0085, ""},
                        {BS_PUSHBUTTON, 10, 90, 50, 14, 104, 0x0080, "Bottone"}};
  for (const Item& item : items) {
    align();
    dword(WS_CHILD | WS_VISIBLE | item.style);
    dword(0);
    t.push_back(static_cast<WORD>(item.x)); t.push_back(static_cast<WORD>(item.y));
    t.push_back(static_cast<WORD>(item.cx)); t.push_back(static_cast<WORD>(item.cy));
    t.push_back(item.id);
    t.push_back(0xFFFF);
    t.push_back(item.cls);
    text(item.text);
    t.push_back(0);
  }
  return t;
}

struct Placement {
  RECT window, client;
  RECT clientOnScreen;  // left to right also when the dialog is mirrored
  RECT child[4];
  long dropped[4];
};

Placement Measure(const std::vector<WORD>& tmpl) {
  hookName = "TESTDLG";
  HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(tmpl.data()),
                                           nullptr, HookedProc, 0);
  Placement p = {};
  if (dialog == nullptr) return p;
  GetWindowRect(dialog, &p.window);
  GetClientRect(dialog, &p.client);
  // A mirrored dialog's client origin is its right edge: map both ends and sort them.
  POINT ends[2] = {{0, 0}, {p.client.right, p.client.bottom}};
  ClientToScreen(dialog, &ends[0]);
  ClientToScreen(dialog, &ends[1]);
  p.clientOnScreen = {ends[0].x < ends[1].x ? ends[0].x : ends[1].x, ends[0].y,
                      ends[0].x < ends[1].x ? ends[1].x : ends[0].x, ends[1].y};
  for (int i = 0; i < 4; ++i) {
    HWND child = GetDlgItem(dialog, 101 + i);
    GetWindowRect(child, &p.child[i]);
    RECT d = {0, 0, 0, 0};
    SendMessageA(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&d));
    p.dropped[i] = d.bottom - d.top;
  }
  DestroyWindow(dialog);
  return p;
}

}  // namespace

TEST_F(Dialogs, ScalingFollowsTheFormulasAndTheComboBoxRule) {
  std::vector<WORD> tmpl = ComboTemplate();
  Placement before = Measure(tmpl);
  ASSERT_GT(before.client.right, 0);
  StartLanguage(nullptr, LanguageFileWith(Entry('$', "TESTDLG", "", "125*150") + Entry('$', "DONEDLG", "", "50*50")));
  Placement after = Measure(tmpl);
  long nw = (before.window.right - before.window.left + 1) - before.client.right;
  long nh = (before.window.bottom - before.window.top + 1) - before.client.bottom;
  EXPECT_EQ(after.window.left, before.window.left);  // resized, not moved
  EXPECT_EQ(after.window.top, before.window.top);
  EXPECT_EQ(after.window.right - after.window.left, before.client.right * 125 / 100 + nw);
  EXPECT_EQ(after.window.bottom - after.window.top, before.client.bottom * 150 / 100 + nh);
  long top = nh - GetSystemMetrics(SM_CYDLGFRAME);
  for (int i = 0; i < 4; ++i) {
    const RECT& r = before.child[i];
    // Placed relative to the window rectangle read before the resize, in client coordinates.
    EXPECT_EQ(after.child[i].left - after.clientOnScreen.left, (r.left - before.window.left - nw / 2) * 125 / 100) << i;
    EXPECT_EQ(after.child[i].top - after.clientOnScreen.top, (r.top - before.window.top - top) * 150 / 100) << i;
    EXPECT_EQ(after.child[i].right - after.child[i].left, (r.right - r.left + 1) * 125 / 100) << i;
  }
  // The simple combo box and the button take the scaled height as it is.
  EXPECT_EQ(after.child[0].bottom - after.child[0].top, (before.child[0].bottom - before.child[0].top + 1) * 150 / 100);
  EXPECT_EQ(after.child[3].bottom - after.child[3].top, (before.child[3].bottom - before.child[3].top + 1) * 150 / 100);
  // A drop-down combo box gets its dropped list's height, scaled, on top of its own: without that
  // its list would shrink to the scaled height of the edit part alone. (How much of the height the
  // system counts as the edit part differs between systems, so only the list's growth is checked.)
  for (int i : {1, 2}) {
    long editOnly = (before.child[i].bottom - before.child[i].top + 1) * 150 / 100;
    EXPECT_GT(before.dropped[i], before.child[i].bottom - before.child[i].top) << i;
    EXPECT_GE(after.dropped[i], (before.dropped[i] + 1) * 150 / 100 - editOnly) << i;
    EXPECT_GT(after.dropped[i], before.dropped[i]) << i;
    EXPECT_GT(after.dropped[i], editOnly) << i;
  }
}

TEST_F(Dialogs, ScaleEntryOfAnotherDialogLeavesItAlone) {
  std::vector<WORD> tmpl = ComboTemplate();
  Placement before = Measure(tmpl);
  ASSERT_GT(before.client.right, 0);
  StartLanguage(nullptr, LanguageFileWith(Entry('$', "DONEDLG", "", "50*50")));
  int w = 0, h = 0;
  ASSERT_TRUE(GetDialogScale("DONEDLG", &w, &h));  // the entry is loaded, only for the other dialog
  Placement again = Measure(tmpl);
  EXPECT_EQ(again.client.right, before.client.right);
  EXPECT_EQ(again.client.bottom, before.client.bottom);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(again.child[i].left - again.window.left, before.child[i].left - before.window.left) << i;
    EXPECT_EQ(again.child[i].right - again.child[i].left, before.child[i].right - before.child[i].left) << i;
    EXPECT_EQ(again.child[i].bottom - again.child[i].top, before.child[i].bottom - before.child[i].top) << i;
  }
}

// A mirrored dialog counts its children's x from the right edge of its client area: scaled, each
// child must sit where the same dialog scaled left to right has it, mirrored.
TEST_F(Dialogs, ScaledMirroredDialogIsTheMirrorImageOfTheScaledOne) {
  std::vector<WORD> tmpl = ComboTemplate();
  const std::string scale = Entry('$', "TESTDLG", "", "125*150");
  StartLanguage(nullptr, LanguageFileWith(scale));
  Placement ltr = Measure(tmpl);
  ASSERT_GT(ltr.client.right, 0);
  StartLanguage(nullptr, LanguageFileWith(scale + Entry('$', "LTR", "LTR", "RTL")));
  ASSERT_TRUE(IsRightToLeft());
  Placement rtl = Measure(tmpl);
  EXPECT_EQ(rtl.client.right, ltr.client.right);
  EXPECT_EQ(rtl.client.bottom, ltr.client.bottom);
  for (int i = 0; i < 4; ++i) {
    const RECT& l = ltr.child[i];
    const RECT& r = rtl.child[i];
    EXPECT_EQ(rtl.clientOnScreen.right - r.right, l.left - ltr.clientOnScreen.left) << i;
    EXPECT_EQ(r.top - rtl.clientOnScreen.top, l.top - ltr.clientOnScreen.top) << i;
    EXPECT_EQ(r.right - r.left, l.right - l.left) << i;
    EXPECT_EQ(r.bottom - r.top, l.bottom - l.top) << i;
  }
}
