// Figures for the language table over a realistic 64 KiB language file: load (marker search,
// decode, index), lookups that hit and that miss, text keys and CRC-32 throughput.
// Usage: language_bench [seconds per figure, default 0.3]
#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "lang/crc32.h"
#include "lang/language_table.h"
#include "language_file_builder.h"

[[noreturn]] void FatalOutOfMemory() { abort(); }

namespace {

using Clock = std::chrono::steady_clock;

struct Text {
  TextDomain domain;
  std::string context;  // empty: none
  std::string source;
  std::string translation;  // as decoded from the file
  const char* Context() const { return context.empty() ? nullptr : context.c_str(); }
};

const char* const kWords[] = {
    "il",       "file",      "archivio", "cartella",  "non",       "pu\xf2",      "essere",   "rimosso",
    "programma", "installazione", "disinstallazione", "chiudere", "tutte", "le",      "finestre", "prima",
    "di",       "continuare", "errore",  "durante",   "la",        "copia",    "del",      "percorso",
    "selezionato", "vuoi",   "davvero",  "eliminare", "collegamenti", "sul",   "desktop",  "menu",
    "avvio",    "registro",  "impostazioni", "utente", "lingua",   "compressione", "estrazione", "ancora",
    "in",       "uso",       "riavviare", "computer", "completata", "annullata", "spazio",  "disco",
};

std::string Words(std::mt19937& rng, size_t length) {
  std::string s;
  while (s.size() < length) {
    if (!s.empty()) s += ' ';
    s += kWords[rng() % (sizeof kWords / sizeof kWords[0])];
  }
  s[0] = static_cast<char>(toupper(static_cast<unsigned char>(s[0])));
  return s;
}

// A file of `limit` bytes at most: comments, the marker, then entries in both domains. Values
// carry the odd escape and "%s" as real translations do.
std::string BuildLanguageFile(std::vector<Text>* texts, size_t wanted, size_t limit) {
  std::mt19937 rng(1234);
  std::string file =
      "; Korvex - file di lingua italiano\r\n"
      "; Traduzione a cura della comunit\xe0. Le righe che iniziano con il punto e virgola sono\r\n"
      "; commenti; la sezione dei messaggi segue il marcatore.\r\n"
      "; Versione 1.0\r\n\r\n";
  file += kSectionMarker;
  file += "\r\n";
  static const char* const kContexts[] = {"IDD_SETUP", "IDD_DONE", "IDD_WARNING", "IDD_PROGRESS"};
  std::vector<std::string> keys;
  for (size_t n = 0; texts->size() < wanted; ++n) {
    Text t;
    t.domain = (n % 3 == 0) ? kDialogDomain : kMessageDomain;
    if (t.domain == kDialogDomain) t.context = kContexts[rng() % 4];
    t.source = Words(rng, 6 + rng() % 40) + " #" + std::to_string(n);
    std::string raw = Words(rng, 8 + rng() % 34);
    t.translation = raw;
    if (n % 7 == 0) {
      raw += " \\\"%s\\\"";
      t.translation += " \"%s\"";
    }
    if (n % 11 == 0) {
      raw += "\\n";
      t.translation += "\n";
    }
    std::string key = KeyOf(t.domain, t.Context(), t.source);
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    std::string line = EntryLine(t.domain, t.Context(), t.source, raw) + "\r\n";
    if (n % 50 == 0) line = "; sezione " + std::to_string(n / 50) + "\r\n" + line;
    if (file.size() + line.size() > limit) break;
    file += line;
    keys.push_back(key);
    texts->push_back(t);
  }
  return file;
}

volatile uint32_t sink;

// Runs `body` (which does `batch` operations) repeatedly for about `seconds`, in five rounds;
// returns the median rate in operations per second.
template <typename F>
double MedianRate(double seconds, size_t batch, F body) {
  std::vector<double> rates;
  for (int round = 0; round < 5; ++round) {
    size_t done = 0;
    auto start = Clock::now();
    double elapsed = 0;
    do {
      body();
      done += batch;
      elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds / 5);
    rates.push_back(static_cast<double>(done) / elapsed);
  }
  std::sort(rates.begin(), rates.end());
  return rates[rates.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? atof(argv[1]) : 0.3;
  if (seconds <= 0) seconds = 0.3;

  std::vector<Text> texts;
  std::string file = BuildLanguageFile(&texts, 1500, 65536);
  MemorySource source(file.data(), file.size());
  printf("language file: %zu bytes, %zu entries\n", file.size(), texts.size());

  LanguageResources table;
  if (!table.Load(source)) {
    fprintf(stderr, "the generated file did not load\n");
    return 1;
  }
  printf("decoded section: %ld bytes, %d indexed lines\n", table.Length(), table.IndexedLines());

  // The figures mean nothing unless hits hit and misses miss.
  std::vector<Text> misses;
  for (size_t i = 0; i < texts.size(); ++i) {
    Text m = texts[i];
    m.source += " (assente)";
    misses.push_back(m);
  }
  char out[1024];
  for (const Text& t : texts) {
    table.Translate(out, sizeof out, t.source.c_str(), t.Context(), t.domain);
    if (t.translation != out) {
      fprintf(stderr, "no hit for \"%s\": got \"%s\"\n", t.source.c_str(), out);
      return 1;
    }
  }
  for (const Text& t : misses) {
    table.Translate(out, sizeof out, t.source.c_str(), t.Context(), t.domain);
    if (t.source != out) {
      fprintf(stderr, "unexpected hit for \"%s\"\n", t.source.c_str());
      return 1;
    }
  }

  double markerRate = MedianRate(seconds, 1, [&] { sink = sink + static_cast<uint32_t>(FindSectionMarker(source)); });
  long marker = FindSectionMarker(source);
  std::string section = file.substr(static_cast<size_t>(marker));
  std::vector<char> work(section.size() + 1);
  double decodeRate = MedianRate(seconds, 1, [&] {
    memcpy(work.data(), section.c_str(), section.size() + 1);
    sink = sink + static_cast<uint32_t>(DecodeSection(work.data(), static_cast<long>(section.size())));
  });
  double loadRate = MedianRate(seconds, 1, [&] {
    LanguageResources r;
    sink = sink + static_cast<uint32_t>(r.Load(source));
  });
  printf("marker search:  %9.1f us  (%.0f /s)\n", 1e6 / markerRate, markerRate);
  printf("decode (+copy): %9.1f us  (%.0f /s)\n", 1e6 / decodeRate, decodeRate);
  printf("full load:      %9.1f us  (%.0f loads/s)\n", 1e6 / loadRate, loadRate);

  auto lookups = [&](const std::vector<Text>& set) {
    return MedianRate(seconds, set.size(), [&] {
      for (const Text& t : set) {
        table.Translate(out, sizeof out, t.source.c_str(), t.Context(), t.domain);
        sink = sink + static_cast<uint8_t>(out[0]);
      }
    });
  };
  double hitRate = lookups(texts);
  double missRate = lookups(misses);
  double keyRate = MedianRate(seconds, texts.size(), [&] {
    char key[9];
    for (const Text& t : texts) {
      MakeTextKey(key, t.domain, t.Context(), t.source.c_str());
      sink = sink + static_cast<uint8_t>(key[0]);
    }
  });
  printf("lookup, hit:    %9.0f /s  (%.3f us each)\n", hitRate, 1e6 / hitRate);
  printf("lookup, miss:   %9.0f /s  (%.3f us each; %.0fx a hit)\n", missRate, 1e6 / missRate, hitRate / missRate);
  printf("text key only:  %9.0f /s\n", keyRate);

  std::vector<unsigned char> block(1 << 20);
  std::mt19937 rng(99);
  for (unsigned char& b : block) b = static_cast<unsigned char>(rng());
  double crcRate = MedianRate(seconds, 1, [&] { sink = sink + UpdateCrc32(0xFFFFFFFFu, block.data(), block.size()); });
  printf("CRC-32:         %9.0f MiB/s\n", crcRate);
  return 0;
}
