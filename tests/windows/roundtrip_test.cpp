// Round trip of the file associations through the real registry: from a random prior state of every
// archive extension, apply random type choices, then apply with every type clear, and compare with
// the prior state. Only the differences listed in kDocumented may remain; any other names its key.
#include <ctype.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <shlobj.h>
#include <windows.h>

#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "registry_support.h"
#include "removal/clean_registry.h"
#include "setup/apply.h"
#include "setup/associations.h"
#include "setup/settings.h"
#include "setup/uninstall_entry.h"
#include "win_support.h"

namespace {

using ValueMap = std::map<std::string, RegValue>;

struct Extension {
  int position;
  const char* name;
};

// Written out here rather than read from the table, so that the test and the engine disagree loudly.
const Extension kExtensions[] = {
    {0, ".kvx"}, {1, ".zip"}, {2, ".cab"}, {3, ".arj"},  {4, ".lzh"},  {4, ".lha"},
    {5, ".ace"}, {6, ".tar"}, {7, ".gz"},  {7, ".tgz"},  {8, ".uue"},  {8, ".xxe"},
    {8, ".uu"},  {9, ".bz2"}, {9, ".tbz2"}, {9, ".bz"}, {9, ".tbz"}, {10, ".jar"}};
const int kVolumeKeys = 100;  // .k00-.k99: what any setup may have written
const char kKvxContent[] = "application/x-kvx-compressed";
const char kOtherContent[] = "application/x-compressed";

const std::vector<std::string> kOtherProgIds = {"WinThing.Archive", "CompressedFolder", "Other Program",
                                                // Near misses of our names belong to other programs.
                                                "KorvexOld", "Korvex.ZIPX", "Korvex.Z"};
const std::vector<std::string> kOurProgIds = {"Korvex", "korvex", "KORVEX", "Korvex.ZIP", "korvex.zip"};
const std::vector<std::string> kContents = {"application/zip", "application/x-other", kOtherContent,
                                            kKvxContent};

// The empty archives the shell's "New" menu uses.
std::string KvxTemplate() {
  const unsigned char bytes[20] = {'K', 0x76, 0x78, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73,
                                   0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}
std::string ZipTemplate() { return std::string("PK\x05\x06", 4) + std::string(18, '\0'); }

std::string VolumeName(int number) {
  char name[8];
  snprintf(name, sizeof name, ".k%02d", number);
  return name;
}

bool IsOurs(const std::string& text) {
  return lstrcmpiA(text.c_str(), "Korvex") == 0 || lstrcmpiA(text.c_str(), "Korvex.ZIP") == 0;
}

bool IsSz(const RegValue* v, const std::string& text) {
  return v != nullptr && v->type == REG_SZ && v->data == text + std::string(1, '\0');
}

std::string TextOf(const RegValue* v) {
  if (v == nullptr) return "";
  std::string s = v->data;
  if (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

std::string Show(const RegValue* v) {
  if (v == nullptr) return "<missing>";
  std::string out = "type " + std::to_string(v->type) + " \"";
  for (char c : v->data) {
    char hex[8];
    snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
    out += (c >= 32 && c < 127) ? std::string(1, c) : hex;
  }
  return out + "\"";
}

const ValueMap* KeyIn(const RegSnapshot& s, const std::string& key) {
  auto it = s.find(key);
  return it == s.end() ? nullptr : &it->second;
}

const RegValue* ValueIn(const ValueMap* key, const std::string& name) {
  if (key == nullptr) return nullptr;
  auto it = key->find(name);
  return it == key->end() ? nullptr : &it->second;
}

// ---- The system under test's modes -------------------------------------------------------------

struct Mode {
  bool nt;
  bool newer;  // 4.90 and later: templates as files
  int volumesWritten;
  std::string version;
};

Mode DetectMode() {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);
  Mode mode;
  mode.nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  mode.newer = info.dwMajorVersion > 4 || info.dwMinorVersion > 10;
  mode.volumesWritten = mode.nt ? 30 : 100;
  mode.version = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion);
  return mode;
}

// ---- Prior states ------------------------------------------------------------------------------

void CreateEmptyKey(const std::string& path, HKEY root = HKEY_CLASSES_ROOT) {
  HKEY key;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    RegCloseKey(key);
  }
}

const std::string& Pick(std::mt19937& rng, const std::vector<std::string>& pool) { return pool[rng() % pool.size()]; }
bool Chance(std::mt19937& rng, unsigned percent) { return rng() % 100 < percent; }

void ClearAll(const std::string& folder) {
  for (const Extension& e : kExtensions) RemoveTree(HKEY_CLASSES_ROOT, e.name);
  for (int i = 0; i < kVolumeKeys; ++i) RemoveTree(HKEY_CLASSES_ROOT, VolumeName(i));
  RemoveTree(HKEY_CURRENT_USER, "Software\\Korvex");
  DeleteFileA((folder + "kvxnew.dat").c_str());
  DeleteFileA((folder + "zipnew.dat").c_str());
}

void WritePriorExtension(std::mt19937& rng, const std::string& ext) {
  const HKEY cr = HKEY_CLASSES_ROOT;
  auto content = [&rng]() { return Chance(rng, 8) ? std::string() : Pick(rng, kContents); };
  unsigned kind = rng() % 100;
  if (kind < 20) return;  // absent
  if (kind < 50) {
    SetString(cr, ext, "", Pick(rng, kOtherProgIds));
  } else if (kind < 70) {
    SetString(cr, ext, "", Pick(rng, kOtherProgIds));
    SetString(cr, ext, "Content Type", content());
  } else if (kind < 76) {
    SetString(cr, ext, "", "");
    if (Chance(rng, 50)) SetString(cr, ext, "Content Type", content());
  } else if (kind < 82) {
    CreateEmptyKey(ext);  // a key without a default value
    if (Chance(rng, 50)) SetString(cr, ext, "Content Type", content());
  } else {
    SetString(cr, ext, "", Pick(rng, kOurProgIds));
    if (Chance(rng, 50)) SetString(cr, ext, "Content Type", Chance(rng, 50) ? kKvxContent : kOtherContent);
  }
  const std::string shellNew = ext + "\\ShellNew";
  const std::string fileName = "C:\\windows\\ShellNew\\other" + ext;
  switch (rng() % 6) {
    case 0: break;  // no ShellNew key
    case 1: SetString(cr, shellNew, "FileName", fileName); break;
    case 2: SetString(cr, shellNew, "NullFile", ""); break;
    case 3:
      SetString(cr, shellNew, "FileName", fileName);
      SetString(cr, shellNew, "NullFile", "");
      break;
    case 4: CreateEmptyKey(shellNew); break;
    default:
      SetRaw(cr, shellNew, "Data", REG_BINARY, std::string("other\0bytes", 11));
      SetString(cr, shellNew, "Command", "other.exe /new \"%1\"");
      break;
  }
  if (KeyExists(cr, shellNew) && Chance(rng, 25)) SetString(cr, shellNew, "IconPath", "other.exe,1");
  if (Chance(rng, 25)) SetString(cr, ext, "PerceivedType", "compressed");
  if (Chance(rng, 25)) SetRaw(cr, ext + "\\OpenWithProgids", "WinThing.Archive", REG_NONE, "");
}

void WritePriorVolumes(std::mt19937& rng) {
  const HKEY cr = HKEY_CLASSES_ROOT;
  unsigned kind = rng() % 5;
  if (kind == 0) return;
  if (kind == 4) {
    // Left by an earlier setup on the 9x family, which writes all hundred.
    for (int i = 0; i < kVolumeKeys; ++i) {
      SetString(cr, VolumeName(i), "", "Korvex");
      SetString(cr, VolumeName(i), "Content Type", kKvxContent);
    }
    return;
  }
  // The pool holds .kvx's present owner too, so that some volumes already match it.
  std::vector<std::string> owners = kOtherProgIds;
  std::string kvxOwner = ValueText(cr, ".kvx", "");
  if (kvxOwner != "<missing>" && !kvxOwner.empty() && !IsOurs(kvxOwner)) owners.push_back(kvxOwner);
  std::string one = Pick(rng, owners);
  bool oneContent = Chance(rng, 50);
  for (int i = 0; i < kVolumeKeys; ++i) {
    std::string volume = VolumeName(i);
    if (kind == 1) {
      SetString(cr, volume, "", one);
      if (oneContent) SetString(cr, volume, "Content Type", "application/x-multivolume");
    } else if (Chance(rng, 30)) {
      SetString(cr, volume, "", kind == 2 ? one : Pick(rng, owners));
      if (kind == 3 && Chance(rng, 50)) SetString(cr, volume, "Content Type", Pick(rng, kContents));
    }
  }
}

IntegrationSettings RandomChoices(std::mt19937& rng) {
  IntegrationSettings s;
  memset(&s, 0, sizeof s);
  unsigned all = rng() % 10;  // now and then every type, or none
  for (int i = 0; i < kArchiveTypeCount; ++i) s.types[i] = all == 0 ? 1 : all == 1 ? 0 : (rng() & 1);
  s.ShellExt = rng() & 1;
  return s;
}

RegSnapshot SnapshotAll() {
  RegSnapshot all;
  for (const Extension& e : kExtensions) {
    RegSnapshot one = SnapshotKey(HKEY_CLASSES_ROOT, e.name);
    all.insert(one.begin(), one.end());
  }
  for (int i = 0; i < kVolumeKeys; ++i) {
    RegSnapshot one = SnapshotKey(HKEY_CLASSES_ROOT, VolumeName(i));
    all.insert(one.begin(), one.end());
  }
  return all;
}

void Restore(HKEY root, const RegSnapshot& saved) {
  for (const auto& key : saved) {
    CreateEmptyKey(key.first, root);
    for (const auto& v : key.second) SetRaw(root, key.first, v.first, v.second.type, v.second.data);
  }
}

// ---- What the engine knows of each extension ---------------------------------------------------

struct Facts {
  int position = -1;
  bool existed = false;
  bool hadDefault = false;
  bool own = false;       // read Korvex or Korvex.ZIP before: nothing gets recorded
  bool chosen = false;
  bool released = false;  // the clearing apply gives it back
  bool templ = false;     // take-over replaces ShellNew with the template
  bool recExist = true;   // what the previous-owner record holds (absent record: 1 and empty texts)
  std::string recType, recContent, recShellNew;
};

Facts FactsOf(const RegSnapshot& prior, const Extension& e, const IntegrationSettings& choices) {
  Facts f;
  f.position = e.position;
  const ValueMap* key = KeyIn(prior, e.name);
  const ValueMap* shellNew = KeyIn(prior, std::string(e.name) + "\\ShellNew");
  f.existed = key != nullptr;
  f.hadDefault = ValueIn(key, "") != nullptr;
  std::string type = TextOf(ValueIn(key, ""));
  f.own = IsOurs(type);
  f.chosen = choices.types[e.position] != 0;
  f.released = f.chosen || f.own;
  f.templ = f.chosen && choices.ShellExt != 0 && (e.position == 0 || e.position == 1);
  if (f.chosen && !f.own) {
    f.recExist = f.existed;
    f.recType = type;
    f.recContent = TextOf(ValueIn(key, "Content Type"));
    std::string fileName = TextOf(ValueIn(shellNew, "FileName"));
    bool nullFile = ValueIn(shellNew, "NullFile") != nullptr;
    f.recShellNew = !fileName.empty() ? fileName : nullFile ? "*" : "";
  }
  return f;
}

// One difference between the prior and the final registry: a value, or a whole key.
struct Diff {
  std::string key;
  std::string value;
  bool keyLevel;
  const ValueMap* keyBefore;
  const ValueMap* keyAfter;
  const RegValue* before;
  const RegValue* after;
};

struct Context {
  const Mode& mode;
  std::map<std::string, Facts> facts;  // by extension name
  std::string head;                    // the extension the key belongs to
  std::string rest;                    // below it: "" or "ShellNew" or another subkey
  int volume;                          // .kNN index, or -1
};

const Facts* FactsFor(const Context& c) {
  auto it = c.facts.find(c.head);
  return it == c.facts.end() ? nullptr : &it->second;
}

bool GivesVolumesBack(const Facts& kvx) { return kvx.released && kvx.recExist && !kvx.recType.empty(); }

// Whether a volume extension reads Korvex when .kvx is released: the take-over wrote it, or it did before.
bool VolumeOursAtRelease(const Context& c, const Facts& kvx, const ValueMap* before) {
  return (kvx.chosen && c.volume < c.mode.volumesWritten) || IsOurs(TextOf(ValueIn(before, "")));
}

// The volume's values once .kvx has been given back to its recorded owner.
ValueMap VolumeGivenBack(const Context& c, const Facts& kvx, const ValueMap* before) {
  ValueMap expected = before != nullptr ? *before : ValueMap();
  bool takenOver = kvx.chosen && c.volume < c.mode.volumesWritten;
  std::string nul(1, '\0');
  expected[""] = RegValue{REG_SZ, kvx.recType + nul};
  if (!kvx.recContent.empty()) {
    expected["Content Type"] = RegValue{REG_SZ, kvx.recContent + nul};
  } else if (takenOver) {
    expected["Content Type"] = RegValue{REG_SZ, kKvxContent + nul};
  }
  return expected;
}

// ---- The documented differences ----------------------------------------------------------------
// Each entry: what the round trip may leave changed, why, and exactly when (down to the final value).
// The first entry that explains a difference counts it; a difference none explains fails the state.

struct Documented {
  const char* id;
  const char* reason;
  bool (*explains)(const Context&, const Diff&);
};

const Documented kDocumented[] = {
    {"already-ours-released",
     "An extension that already read Korvex/Korvex.ZIP has no previous owner recorded; as ours it is released: "
     "an empty default value, no Content Type.",
     [](const Context& c, const Diff& d) {
       const Facts* f = FactsFor(c);
       if (f == nullptr || !f->own || !c.rest.empty() || d.keyLevel) return false;
       return (d.value.empty() && IsSz(d.after, "")) || (d.value == "Content Type" && d.after == nullptr);
     }},
    {"empty-default-written",
     "Release writes the recorded Type even when it is empty: a taken-over key that had no default value gets an "
     "empty one.",
     [](const Context& c, const Diff& d) {
       const Facts* f = FactsFor(c);
       return f != nullptr && c.rest.empty() && !d.keyLevel && d.value.empty() && f->chosen && !f->own &&
              f->existed && !f->hadDefault && IsSz(d.after, "");
     }},
    {"empty-content-dropped",
     "An empty Content Type is recorded as empty, and an empty record means none: release deletes it.",
     [](const Context& c, const Diff& d) {
       const Facts* f = FactsFor(c);
       return f != nullptr && c.rest.empty() && !d.keyLevel && d.value == "Content Type" && f->chosen && !f->own &&
              IsSz(d.before, "") && d.after == nullptr;
     }},
    {"own-filename-dropped",
     "An extension that was already ours has no recorded ShellNew entry: release deletes FileName and puts "
     "nothing back.",
     [](const Context& c, const Diff& d) {
       const Facts* f = FactsFor(c);
       return f != nullptr && f->own && c.rest == "ShellNew" && !d.keyLevel && d.value == "FileName" &&
              d.after == nullptr;
     }},
    {"nullfile-beside-filename-lost",
     "With both FileName and NullFile only FileName is recorded; the take-over with the shell extension deletes "
     "the ShellNew key, so NullFile is gone.",
     [](const Context& c, const Diff& d) {
       const Facts* f = FactsFor(c);
       return f != nullptr && f->templ && c.rest == "ShellNew" && !d.keyLevel && d.value == "NullFile" &&
              d.after == nullptr && !f->recShellNew.empty() && f->recShellNew != "*";
     }},
    {"shellnew-values-lost",
     "Take-over with the shell extension deletes the KVX/ZIP ShellNew key to put the template there; release "
     "puts back only the recorded FileName or NullFile, so other values (Data, Command, IconPath) are gone.",
     [](const Context& c, const Diff& d) {
       const Facts* f = FactsFor(c);
       if (f == nullptr || !f->templ || c.rest != "ShellNew" || d.keyLevel || d.after != nullptr) return false;
       bool restored = (d.value == "FileName" && !f->recShellNew.empty() && f->recShellNew != "*") ||
                       (d.value == "NullFile" && f->recShellNew == "*");
       return !restored;
     }},
    {"shellnew-key-left",
     "Take-over with the shell extension creates ShellNew for the template; release empties it (the "
     "template's FileName, or its Data bytes before 4.90) and does not delete the key.",
     [](const Context& c, const Diff& d) {
       const Facts* f = FactsFor(c);
       if (f == nullptr || !f->templ || !f->recExist || c.rest != "ShellNew" || !d.keyLevel) return false;
       if (d.keyBefore != nullptr || d.keyAfter == nullptr) return false;
       return d.keyAfter->empty();
     }},
    {"volumes-follow-kvx-owner",
     "Release gives each volume extension .k00-.k99 that reads Korvex to .kvx's recorded owner (Content Type too "
     "when one was recorded); another program's volumes stay as they are.",
     [](const Context& c, const Diff& d) {
       auto kvx = c.facts.find(".kvx");
       if (c.volume < 0 || !c.rest.empty() || kvx == c.facts.end() || !GivesVolumesBack(kvx->second)) return false;
       if (!VolumeOursAtRelease(c, kvx->second, d.keyBefore)) return false;
       ValueMap expected = VolumeGivenBack(c, kvx->second, d.keyBefore);
       if (d.keyLevel) return d.keyBefore == nullptr && d.keyAfter != nullptr && *d.keyAfter == expected;
       if (d.value == "Content Type" && kvx->second.recContent.empty()) return false;  // the next entry's
       const RegValue* want = ValueIn(&expected, d.value);
       return want != nullptr && d.after != nullptr && *d.after == *want;
     }},
    {"volume-content-left",
     "With no Content Type recorded for .kvx, release leaves the take-over's Content Type on the volumes it "
     "wrote (.k00-.k29 on NT, .k00-.k99 on 9x).",
     [](const Context& c, const Diff& d) {
       auto kvx = c.facts.find(".kvx");
       if (c.volume < 0 || !c.rest.empty() || d.keyLevel || kvx == c.facts.end()) return false;
       const Facts& k = kvx->second;
       return GivesVolumesBack(k) && k.recContent.empty() && k.chosen && c.volume < c.mode.volumesWritten &&
              d.value == "Content Type" && IsSz(d.after, kKvxContent);
     }},
    {"volumes-deleted",
     "When .kvx has no owner to give back (no key before, an empty Type, or it was ours), release deletes every "
     "volume key that reads Korvex.",
     [](const Context& c, const Diff& d) {
       auto kvx = c.facts.find(".kvx");
       return c.volume >= 0 && c.rest.empty() && d.keyLevel && kvx != c.facts.end() && kvx->second.released &&
              !GivesVolumesBack(kvx->second) && d.keyBefore != nullptr && d.keyAfter == nullptr &&
              VolumeOursAtRelease(c, kvx->second, d.keyBefore);
     }},
};
const int kDocumentedCount = sizeof kDocumented / sizeof kDocumented[0];

void SplitKey(const std::string& key, Context* c) {
  size_t slash = key.find('\\');
  c->head = key.substr(0, slash);
  c->rest = slash == std::string::npos ? "" : key.substr(slash + 1);
  c->volume = -1;
  if (c->head.size() == 4 && c->head[1] == 'k' && isdigit(static_cast<unsigned char>(c->head[2])) &&
      isdigit(static_cast<unsigned char>(c->head[3]))) {
    c->volume = (c->head[2] - '0') * 10 + (c->head[3] - '0');
  }
}

std::vector<Diff> DiffOf(const RegSnapshot& before, const RegSnapshot& after) {
  std::vector<Diff> out;
  std::map<std::string, bool> keys;
  for (const auto& k : before) keys[k.first] = true;
  for (const auto& k : after) keys[k.first] = true;
  for (const auto& k : keys) {
    const ValueMap* b = KeyIn(before, k.first);
    const ValueMap* a = KeyIn(after, k.first);
    if (b == nullptr || a == nullptr) {
      out.push_back(Diff{k.first, "", true, b, a, nullptr, nullptr});
      continue;
    }
    std::map<std::string, bool> names;
    for (const auto& v : *b) names[v.first] = true;
    for (const auto& v : *a) names[v.first] = true;
    for (const auto& n : names) {
      const RegValue* vb = ValueIn(b, n.first);
      const RegValue* va = ValueIn(a, n.first);
      if (vb == nullptr || va == nullptr || *vb != *va) out.push_back(Diff{k.first, n.first, false, b, a, vb, va});
    }
  }
  return out;
}

std::string KeyText(const ValueMap* key) {
  if (key == nullptr) return "<no key>";
  RegSnapshot one;
  one["key"] = *key;
  std::string text = Describe(one);
  return text.substr(text.find('\n') + 1);
}

std::string DiffText(const Diff& d) {
  if (d.keyLevel) {
    return "key " + d.key + ": before\n" + KeyText(d.keyBefore) + "after\n" + KeyText(d.keyAfter);
  }
  return d.key + " \"" + d.value + "\": before " + Show(d.before) + ", after " + Show(d.after);
}

std::string PriorOf(const RegSnapshot& prior, const std::string& head) {
  RegSnapshot part;
  for (const auto& k : prior) {
    if (lstrcmpiA(k.first.substr(0, k.first.find('\\')).c_str(), head.c_str()) == 0) part.insert(k);
  }
  return part.empty() ? "  (absent)\n" : Describe(part);
}

std::string ChoicesText(const IntegrationSettings& s) {
  std::string out = "types ";
  for (int i = 0; i < kArchiveTypeCount; ++i) out += s.types[i] ? '1' : '0';
  return out + " (KVX first), ShellExt " + std::to_string(s.ShellExt);
}

// Counts each difference under the first entry that explains it; the others become problems.
void ExplainDifferences(const RegSnapshot& prior, const RegSnapshot& after, const Documented* documented, int count,
                        Context* context, std::map<std::string, int>* seen, std::vector<std::string>* problems) {
  for (const Diff& d : DiffOf(prior, after)) {
    SplitKey(d.key, context);
    const Documented* why = nullptr;
    for (int i = 0; i < count && why == nullptr; ++i) {
      if (documented[i].explains(*context, d)) why = &documented[i];
    }
    if (why != nullptr) {
      ++(*seen)[why->id];
      continue;
    }
    std::string text = "undocumented difference: " + DiffText(d) + "\n  prior of " + context->head + ":\n" +
                       PriorOf(prior, context->head);
    if (context->volume >= 0) text += "  prior of .kvx:\n" + PriorOf(prior, ".kvx");
    problems->push_back(text);
  }
}

// After the first apply: the chosen extensions are ours, KVX's volumes too, the templates in place.
void CheckTakenOver(const Mode& mode, const RegSnapshot& taken, const std::map<std::string, Facts>& facts,
                    std::vector<std::string>* problems) {
  std::string folder = ExeFolder();
  for (const auto& entry : facts) {
    const std::string& ext = entry.first;
    const Facts& f = entry.second;
    if (!f.chosen) continue;
    const ValueMap* key = KeyIn(taken, ext);
    bool zip = f.position == 1;
    if (!IsSz(ValueIn(key, ""), zip ? "Korvex.ZIP" : "Korvex") ||
        !IsSz(ValueIn(key, "Content Type"), f.position == 0 ? kKvxContent : kOtherContent)) {
      problems->push_back("chosen " + ext + " not taken over:\n" + KeyText(key));
    }
    if (f.position == 0) {
      for (int i = 0; i < mode.volumesWritten; ++i) {
        const ValueMap* volume = KeyIn(taken, VolumeName(i));
        if (!IsSz(ValueIn(volume, ""), "Korvex") || !IsSz(ValueIn(volume, "Content Type"), kKvxContent)) {
          problems->push_back("volume " + VolumeName(i) + " not taken over:\n" + KeyText(volume));
        }
      }
    }
    if (!f.templ) continue;
    const ValueMap* shellNew = KeyIn(taken, ext + "\\ShellNew");
    std::string bytes = zip ? ZipTemplate() : KvxTemplate();
    bool ok;
    if (mode.newer) {
      std::string path = folder + (zip ? "zipnew.dat" : "kvxnew.dat");
      ok = shellNew != nullptr && shellNew->size() == 1 && IsSz(ValueIn(shellNew, "FileName"), path);
      HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      char buffer[64] = {};
      DWORD got = 0;
      if (file != INVALID_HANDLE_VALUE) {
        ReadFile(file, buffer, sizeof buffer, &got, nullptr);
        CloseHandle(file);
      }
      if (std::string(buffer, got) != bytes) problems->push_back("template file " + path + " wrong or missing");
    } else {
      const RegValue* data = ValueIn(shellNew, "Data");
      ok = shellNew != nullptr && shellNew->size() == 1 && data != nullptr && data->type == REG_BINARY &&
           data->data == bytes;
    }
    if (!ok) problems->push_back("template of " + ext + " not in place:\n" + KeyText(shellNew));
  }
}

unsigned long EnvNumber(const char* name, unsigned long fallback) {
  const char* text = getenv(name);
  return text != nullptr && text[0] != '\0' ? strtoul(text, nullptr, 10) : fallback;
}

TEST(RoundTrip, ChoosingThenClearingEverythingRestoresThePriorStateButForDocumentedDifferences) {
  // The engine's list must be the one modelled here.
  std::string listed, modelled;
  for (int i = 0; i < kArchiveTypeCount; ++i) {
    for (const char* list = ArchiveTypeTable[i].extensions; *list != '\0';) {
      char ext[16];
      list = NextExtension(list, ext, sizeof ext);
      listed += std::to_string(i) + ext + " ";
    }
  }
  for (const Extension& e : kExtensions) modelled += std::to_string(e.position) + e.name + " ";
  ASSERT_EQ(listed, modelled);

  Mode mode = DetectMode();
  ASSERT_EQ(mode.nt, GetNtMajorVersion() != 0);
  ASSERT_EQ(mode.newer, IsNewerSystem());
  const char* family = getenv("KVX_EXPECT_FAMILY");
  if (family != nullptr) {
    ASSERT_EQ(mode.nt, strcmp(family, "9x") != 0) << "emulated family " << family;
  }

  unsigned long states = EnvNumber("KVX_ROUNDTRIP_STATES", 100);
  unsigned long seed = EnvNumber("KVX_ROUNDTRIP_SEED", GetTickCount() ^ (GetCurrentProcessId() << 16));
  const std::string folder = ExeFolder();
  // The prefix's own associations and settings come back afterwards, for the other tests.
  RegSnapshot saved = SnapshotAll();
  RegSnapshot savedOwn = SnapshotKey(HKEY_CURRENT_USER, "Software\\Korvex");

  std::map<std::string, int> seen;
  int failedStates = 0;
  unsigned long twiceStates = 0, done = 0;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (unsigned long n = 0; n < states && failedStates < 3; ++n, ++done) {
    std::mt19937 rng(static_cast<unsigned>(seed + n));  // each state replays from seed and index alone
    ClearAll(folder);
    for (const Extension& e : kExtensions) WritePriorExtension(rng, e.name);
    WritePriorVolumes(rng);
    IntegrationSettings choices = RandomChoices(rng);
    bool twice = Chance(rng, 30);
    IntegrationSettings none;
    memset(&none, 0, sizeof none);

    RegSnapshot prior = SnapshotAll();
    Context context{mode, {}, "", "", -1};
    for (const Extension& e : kExtensions) context.facts[e.name] = FactsOf(prior, e, choices);

    std::vector<std::string> problems;
    ApplyAssociations(&choices);
    RegSnapshot taken = SnapshotAll();
    RegSnapshot records = SnapshotKey(HKEY_CURRENT_USER, "Software\\Korvex\\Setup");
    CheckTakenOver(mode, taken, context.facts, &problems);
    if (twice) {
      ++twiceStates;
      ApplyAssociations(&choices);
      for (const Diff& d : DiffOf(taken, SnapshotAll())) problems.push_back("second apply changed " + DiffText(d));
      if (SnapshotKey(HKEY_CURRENT_USER, "Software\\Korvex\\Setup") != records) {
        problems.push_back("second apply changed the recorded owners");
      }
    }
    ApplyAssociations(&none);
    RegSnapshot after = SnapshotAll();
    if (SnapshotKey(HKEY_CURRENT_USER, "Software\\Korvex\\Setup") != records) {
      problems.push_back("release changed the recorded owners: before\n" + Describe(records) + "after\n" +
                         Describe(SnapshotKey(HKEY_CURRENT_USER, "Software\\Korvex\\Setup")));
    }
    // Volumes are the engine's to clean only when it gives .kvx back.
    for (const auto& key : after) {
      SplitKey(key.first, &context);
      if (context.volume >= 0 && !context.facts[".kvx"].released) continue;
      if (IsOurs(TextOf(ValueIn(&key.second, "")))) problems.push_back("still ours after clearing: " + key.first);
    }

    ExplainDifferences(prior, after, kDocumented, kDocumentedCount, &context, &seen, &problems);
    if (!problems.empty()) {
      ++failedStates;
      std::string all;
      // A broken volume rule would list a hundred keys: the first few name the fault.
      for (size_t i = 0; i < problems.size() && i < 8; ++i) all += problems[i] + "\n";
      if (problems.size() > 8) all += "... and " + std::to_string(problems.size() - 8) + " more\n";
      ADD_FAILURE() << "state " << n << " of seed " << seed << ", alone: KVX_ROUNDTRIP_SEED=" << seed + n
                    << " KVX_ROUNDTRIP_STATES=1 (" << ChoicesText(choices)
                    << (twice ? ", applied twice" : "") << "):\n"
                    << all;
    }
  }
  QueryPerformanceCounter(&end);
  double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);

  ClearAll(folder);
  Restore(HKEY_CLASSES_ROOT, saved);
  Restore(HKEY_CURRENT_USER, savedOwn);

  printf("roundtrip: %lu states (family %s, %s), seed %lu, %lu applied twice, %.1f ms per state; differences:",
         done, mode.nt ? "nt" : "9x", mode.version.c_str(), seed, twiceStates, done ? ms / done : 0.0);
  for (int i = 0; i < kDocumentedCount; ++i) printf("%s %s %d", i ? "," : "", kDocumented[i].id, seen[kDocumented[i].id]);
  printf("\n");
  fflush(stdout);
}

// ---- The whole removal: setup with random choices, then the registry clean-up ------------------

const char kClassKey[] = "CLSID\\{6F2A0C31-5D17-11D2-A4E8-3C90B2E15D07}";
const char* const kHandlerRoots[] = {"*\\shellex", "Folder\\shellex", "Drive\\shellex", "Directory\\shellex",
                                     "exefile\\shellex"};
const char kApprovedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

bool StartsWith(const std::string& text, const std::string& head) {
  return text.size() >= head.size() && lstrcmpiA(text.substr(0, head.size()).c_str(), head.c_str()) == 0 &&
         (text.size() == head.size() || text[head.size()] == '\\');
}

void Merge(RegSnapshot* all, const std::string& prefix, const RegSnapshot& part) {
  for (const auto& key : part) (*all)[prefix + key.first] = key.second;
}

// Everything a setup writes in the registry, HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER keys prefixed.
RegSnapshot SnapshotRemovalScope() {
  RegSnapshot all = SnapshotAll();
  for (const char* key : {"Korvex", "Korvex.ZIP", kClassKey}) Merge(&all, "", SnapshotKey(HKEY_CLASSES_ROOT, key));
  for (const char* key : kHandlerRoots) Merge(&all, "", SnapshotKey(HKEY_CLASSES_ROOT, key));
  for (const char* key : {"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvex.exe",
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvex archiver", kApprovedKey}) {
    Merge(&all, "HKLM\\", SnapshotKey(HKEY_LOCAL_MACHINE, key));
  }
  Merge(&all, "HKCU\\", SnapshotKey(HKEY_CURRENT_USER, "Software\\Korvex"));
  return all;
}

const Documented kRemovalDocumented[] = {
    {"handler-keys-left",
     "The shell extension's removal takes only the default value of the six common handler keys (other "
     "handlers beside them are never disturbed) and deletes single keys: keys made on the way stay, empty.",
     [](const Context&, const Diff& d) {
       if (!d.keyLevel || d.keyBefore != nullptr || d.keyAfter == nullptr || !d.keyAfter->empty()) return false;
       for (const char* root : kHandlerRoots) {
         if (StartsWith(d.key, root)) return true;
       }
       return false;
     }},
    {"own-key-deleted", "The removal deletes the own key with everything the archiver kept there.",
     [](const Context&, const Diff& d) {
       return d.keyLevel && d.keyAfter == nullptr && StartsWith(d.key, "HKCU\\Software\\Korvex");
     }},
};

// Where the setup may put links; none may be left by the removal.
std::vector<std::string> LinkPlaces() {
  std::vector<std::string> places;
  const int folders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS};
  for (int csidl : folders) {
    char path[MAX_PATH] = "";
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &items))) {
      SHGetPathFromIDListA(items, path);
      CoTaskMemFree(items);
    }
    if (path[0] == '\0') continue;
    places.push_back(std::string(path) + (csidl == CSIDL_DESKTOPDIRECTORY || csidl == CSIDL_STARTMENU
                                              ? "\\Korvex.lnk" : "\\Korvex"));
  }
  return places;
}

TEST(RoundTrip, SetupThenRemovalRestoresThePriorStateButForDocumentedDifferences) {
  OleInitialize(nullptr);
  Mode mode = DetectMode();
  unsigned long states = EnvNumber("KVX_ROUNDTRIP_STATES", 100);
  unsigned long seed = EnvNumber("KVX_ROUNDTRIP_SEED", GetTickCount() ^ (GetCurrentProcessId() << 16));
  const std::string folder = ExeFolder();
  RegSnapshot saved = SnapshotAll();
  std::vector<Documented> documented(kDocumented, kDocumented + kDocumentedCount);
  documented.insert(documented.end(), std::begin(kRemovalDocumented), std::end(kRemovalDocumented));

  std::map<std::string, int> seen;
  int failedStates = 0;
  unsigned long done = 0, withLinks = 0;
  for (unsigned long n = 0; n < states && failedStates < 3; ++n, ++done) {
    std::mt19937 rng(static_cast<unsigned>(seed + n));
    ClearAll(folder);
    for (const Extension& e : kExtensions) WritePriorExtension(rng, e.name);
    WritePriorVolumes(rng);
    if (Chance(rng, 50)) SetString(HKEY_CURRENT_USER, "Software\\Korvex\\Options", "Lingua", "it");
    IntegrationSettings choices = RandomChoices(rng);
    choices.CascadedMenu = rng() & 1;
    choices.MenuIcons = rng() & 1;
    // Links cost a tenth of a second each here: only some states make them.
    if (Chance(rng, 15)) {
      ++withLinks;
      choices.Desktop = rng() & 1;
      choices.StartMenu = rng() & 1;
      choices.Programs = 1;
    }

    RegSnapshot prior = SnapshotRemovalScope();
    Context context{mode, {}, "", "", -1};
    for (const Extension& e : kExtensions) context.facts[e.name] = FactsOf(prior, e, choices);

    char group[kPathSize] = "";
    CommitSetup(&choices, nullptr, group, sizeof group);
    CleanIntegration();
    DeleteUninstallEntry();
    RegSnapshot after = SnapshotRemovalScope();
    std::vector<std::string> problems;
    ExplainDifferences(prior, after, documented.data(), static_cast<int>(documented.size()), &context, &seen,
                       &problems);
    for (const std::string& place : LinkPlaces()) {
      if (GetFileAttributesA(place.c_str()) != INVALID_FILE_ATTRIBUTES) problems.push_back("left behind: " + place);
    }
    CleanIntegration();
    DeleteUninstallEntry();
    for (const Diff& d : DiffOf(after, SnapshotRemovalScope())) {
      problems.push_back("second clean-up changed " + DiffText(d));
    }
    if (!problems.empty()) {
      ++failedStates;
      std::string all;
      for (size_t i = 0; i < problems.size() && i < 8; ++i) all += problems[i] + "\n";
      ADD_FAILURE() << "state " << n << ", alone: KVX_ROUNDTRIP_SEED=" << seed + n << " KVX_ROUNDTRIP_STATES=1 ("
                    << ChoicesText(choices) << ", links " << int(choices.Programs) << "):\n"
                    << all;
    }
  }
  ClearAll(folder);
  Restore(HKEY_CLASSES_ROOT, saved);
  OleUninitialize();
  printf("removal roundtrip: %lu states (family %s, %s), %lu with links, seed %lu; differences:", done,
         mode.nt ? "nt" : "9x", mode.version.c_str(), withLinks, seed);
  for (const Documented& d : documented) printf(" %s %d", d.id, seen[d.id]);
  printf("\n");
  fflush(stdout);
}

}  // namespace
