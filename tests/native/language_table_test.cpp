#include <gtest/gtest.h>

#include <string>

#include "language_file_builder.h"

static const std::string kMarker = "***messages***";

static std::string FileWith(const std::string& lines) { return "; lingua: test\r\n" + kMarker + "\r\n" + lines; }

TEST(SectionMarker, FoundOnlyWithinTheSearchedRange) {
  auto markerAt = [](long offset) {
    std::string file(static_cast<size_t>(offset), 'x');
    file += kMarker + "\r\n; x\r\n";
    MemorySource source(file);
    return FindSectionMarker(source);
  };
  EXPECT_EQ(markerAt(0), 0);
  EXPECT_EQ(markerAt(130819), 130819);
  EXPECT_EQ(markerAt(130820), -1);
  EXPECT_EQ(markerAt(200000), -1);
  // Across every chunk boundary: chunks start 8176 bytes apart and overlap by 16.
  for (long chunk = 1; chunk < 16; ++chunk) {
    for (long delta = -13; delta <= 0; ++delta) {
      long offset = chunk * 8176 + delta;
      ASSERT_EQ(markerAt(offset), offset) << offset;
    }
  }
}

TEST(SectionMarker, SearchStopsEarlyAndNeedsTwoStarsBeforeTheWord) {
  // A read of fewer than 16 bytes ends the search, so a file that short never has a section.
  MemorySource tiny(std::string("***messages***\n"));
  EXPECT_EQ(FindSectionMarker(tiny), -1);
  MemorySource sixteen(std::string("***messages***\r\n"));
  EXPECT_EQ(FindSectionMarker(sixteen), 0);
  MemorySource shortFile(std::string("short"));  // fewer than 16 bytes: nothing searched
  EXPECT_EQ(FindSectionMarker(shortFile), -1);
  MemorySource oneStar(std::string("*messages** padding padding"));
  EXPECT_EQ(FindSectionMarker(oneStar), -1);
  MemorySource empty{std::string()};
  EXPECT_EQ(FindSectionMarker(empty), -1);
  EXPECT_EQ(empty.reads, 1);
}

TEST(SectionDecoding, EscapesAndLineEnds) {
  char text[] = "a\\\"b\\\\c\\nd\\re\\tf\\xg\r\nh\fi\\";
  long n = DecodeSection(text, sizeof text - 1);
  EXPECT_EQ(std::string(text, static_cast<size_t>(n)), std::string("a\"b\\c\nd\re\tf\\xg\f\fh\fi\\"));
  char stop[] = "ab\0cd";
  EXPECT_EQ(DecodeSection(stop, 5), 2);
  char escapedBackslashThenN[] = "\\\\n";
  EXPECT_EQ(DecodeSection(escapedBackslashThenN, 3), 2);
  EXPECT_STREQ(escapedBackslashThenN, "\\n");
}

TEST(LanguageTable, TranslatesMessagesAndDialogTexts) {
  LanguageResources table;
  std::string file = FileWith(EntryLine(kMessageDomain, nullptr, "Rimozione completa", "Removal complete") + "\r\n" +
                              EntryLine(kDialogDomain, "SETUPDLG", "&Chiudi", "&Close") + "\r\n" +
                              EntryLine(kDialogDomain, "DONEDLG", "&Chiudi", "Fi&nish") + "\n");
  ASSERT_TRUE(LoadFromString(table, file));
  EXPECT_TRUE(table.IsLoaded());
  EXPECT_EQ(Translated(table, "Rimozione completa"), "Removal complete");
  EXPECT_EQ(Translated(table, "&Chiudi", kDialogDomain, "SETUPDLG"), "&Close");
  EXPECT_EQ(Translated(table, "&Chiudi", kDialogDomain, "DONEDLG"), "Fi&nish");
  EXPECT_EQ(Translated(table, "&Chiudi"), "&Chiudi");  // message domain: no line
  EXPECT_EQ(Translated(table, "Testo sconosciuto"), "Testo sconosciuto");
  EXPECT_EQ(table.IndexedLines(), 3);
}

TEST(LanguageTable, NothingLoadedWithoutMarkerAndTextsPassThrough) {
  LanguageResources table;
  std::string lines = EntryLine(kMessageDomain, nullptr, "Rimozione completa", "Removal complete") + "\n";
  EXPECT_FALSE(LoadFromString(table, lines));
  EXPECT_FALSE(table.IsLoaded());
  EXPECT_EQ(Translated(table, "Rimozione completa"), "Rimozione completa");
  char inPlace[32] = "Rimozione completa";
  table.Translate(inPlace, sizeof inPlace, inPlace, nullptr, kMessageDomain);
  EXPECT_STREQ(inPlace, "Rimozione completa");
  char cut[6];
  table.Translate(cut, sizeof cut, "Rimozione", nullptr, kMessageDomain);
  EXPECT_STREQ(cut, "Rimoz");
}

TEST(LanguageTable, LinesBeforeTheMarkerAndMalformedLinesAreComments) {
  LanguageResources table;
  std::string before = EntryLine(kMessageDomain, nullptr, "Uno", "before") + "\n";
  // A text whose key holds hex letters, so that its upper-case spelling differs.
  // Keys written in upper case would never hold one: give up after a few tries instead of looping.
  std::string due = "Due";
  for (int tries = 0; KeyOf(kMessageDomain, nullptr, due).find_first_of("abcdef") == std::string::npos; ++tries) {
    ASSERT_LT(tries, 64) << "no key with a lower-case hex letter; last: " << KeyOf(kMessageDomain, nullptr, due);
    due += "!";
  }
  std::string upper = KeyOf(kMessageDomain, nullptr, due);
  for (char& c : upper) c = static_cast<char>(toupper(c));
  std::string file = before + FileWith("; " + EntryLine(kMessageDomain, nullptr, "Tre", "indented") + "\n" + upper +
                                       "=\"UPPER\"\n" + EntryLine(kMessageDomain, nullptr, "Quattro", "ok") + "\n");
  ASSERT_TRUE(LoadFromString(table, file));
  EXPECT_EQ(Translated(table, "Uno"), "Uno");
  EXPECT_EQ(Translated(table, "Tre"), "Tre");
  EXPECT_EQ(Translated(table, "Quattro"), "ok");
  EXPECT_EQ(Translated(table, due), due);
}

TEST(LanguageTable, ValuesEndAtTheLastQuoteAndKeepEscapes) {
  LanguageResources table;
  std::string file = FileWith(EntryLine(kMessageDomain, nullptr, "a", "say \"hi\" now") + " trailing comment\r\n" +
                              EntryLine(kMessageDomain, nullptr, "b", "line1\\nline2\\ttab") + "\r\n" +
                              KeyOf(kMessageDomain, nullptr, "c") + "=\"no closing quote\r\n" +
                              KeyOf(kMessageDomain, nullptr, "d") + "=\"\"\r\n" +
                              EntryLine(kMessageDomain, nullptr, "e", "back\\x\\\\slash") + "\r\n");
  ASSERT_TRUE(LoadFromString(table, file));
  EXPECT_EQ(Translated(table, "a"), "say \"hi\" now");
  EXPECT_EQ(Translated(table, "b"), "line1\nline2\ttab");
  EXPECT_EQ(Translated(table, "c"), "no closing quote");  // the line-break mark is dropped
  EXPECT_EQ(Translated(table, "d"), "");
  EXPECT_EQ(Translated(table, "e"), "back\\x\\slash");
}

TEST(LanguageTable, EmptyTextHasItsOwnKeyPerDomainAndDialog) {
  LanguageResources table;
  std::string file = FileWith(EntryLine(kMessageDomain, nullptr, "", "vuoto") + "\n" +
                              EntryLine(kDialogDomain, "SETUPDLG", "", "125*110") + "\n");
  ASSERT_TRUE(LoadFromString(table, file));
  EXPECT_EQ(Translated(table, ""), "vuoto");
  EXPECT_EQ(Translated(table, "", kDialogDomain, "SETUPDLG", 512), "125*110");
  EXPECT_EQ(Translated(table, "", kDialogDomain, "DONEDLG", 512), "");
}

TEST(LanguageTable, OnlyTheFirst64KiBFromTheMarkerCount) {
  std::string inside = EntryLine(kMessageDomain, nullptr, "inside", "yes") + "\n";
  // The last line inside: its closing quote is the section's 65536th byte. A value runs to its
  // line's last quote, so losing even that byte would give "in" instead.
  std::string edge = EntryLine(kMessageDomain, nullptr, "edge", "in\"side");
  std::string beyond = EntryLine(kMessageDomain, nullptr, "beyond", "no") + "\n";
  std::string head = kMarker + "\n" + inside;
  size_t room = 65536 - head.size() - edge.size();  // comment lines, the last one ending in a line end
  std::string filler;
  while (filler.size() + 100 < room) filler += "; filler line of comments to push the next entry\n";
  filler.resize(room - 1, ';');
  filler += "\n";
  std::string file = "prefix\n" + head + filler + edge + "\n" + beyond;
  ASSERT_EQ(file.find(edge) + edge.size(), 7 + 65536u);
  LanguageResources table;
  ASSERT_TRUE(LoadFromString(table, file));
  EXPECT_LE(table.Length(), 65536);
  EXPECT_EQ(Translated(table, "inside"), "yes");
  EXPECT_EQ(Translated(table, "edge"), "in\"side");
  EXPECT_EQ(Translated(table, "beyond"), "beyond");
}

TEST(LanguageTable, LastLineWithoutLineEndIsFoundAndCutAt255) {
  std::string longValue(400, 'v');
  LanguageResources table;
  ASSERT_TRUE(LoadFromString(table, FileWith(KeyOf(kMessageDomain, nullptr, "x") + "=\"" + longValue + "\"")));
  EXPECT_EQ(Translated(table, "x"), std::string(255, 'v'));
  LanguageResources shortLast;
  ASSERT_TRUE(LoadFromString(shortLast, FileWith(EntryLine(kMessageDomain, nullptr, "y", "fine"))));
  EXPECT_EQ(Translated(shortLast, "y"), "fine");
}

TEST(LanguageTable, ValuesLongerThanTheDestinationAreCutToFit) {
  std::string longValue(1500, 'w');
  LanguageResources table;
  ASSERT_TRUE(LoadFromString(table, FileWith(EntryLine(kMessageDomain, nullptr, "m", longValue) + "\n" +
                                             EntryLine(kMessageDomain, nullptr, "q", "\"quoted\"") + "\n")));
  for (size_t size : {1u, 2u, 3u, 256u, 512u, 1024u}) {
    std::string out = Translated(table, "m", kMessageDomain, nullptr, size);
    EXPECT_EQ(out, std::string(size - 1, 'w')) << size;
  }
  // Cutting never leaves a value's own closing quote behind.
  EXPECT_EQ(Translated(table, "q", kMessageDomain, nullptr, 4), "\"qu");
  EXPECT_EQ(Translated(table, "q"), "\"quoted\"");
  char zero[1] = {'z'};
  table.Translate(zero, 0, "m", nullptr, kMessageDomain);  // a zero-size destination is not written
  EXPECT_EQ(zero[0], 'z');
}

TEST(LanguageTable, InPlaceTranslation) {
  LanguageResources table;
  ASSERT_TRUE(LoadFromString(table, FileWith(EntryLine(kDialogDomain, "SETUPDLG", "Annulla", "Cancel") + "\n")));
  char buffer[1024] = "Annulla";
  table.Translate(buffer, sizeof buffer, buffer, "SETUPDLG", kDialogDomain);
  EXPECT_STREQ(buffer, "Cancel");
}

TEST(LanguageTable, ManyEntriesInRandomOrderAreAllFound) {
  std::string lines;
  for (int i = 999; i >= 0; --i) {
    lines += EntryLine(kMessageDomain, nullptr, "testo " + std::to_string(i), "text " + std::to_string(i)) + "\r\n";
    if (i % 7 == 0) lines += "\r\n\f; comment " + std::to_string(i) + "\r\n";
  }
  LanguageResources table;
  ASSERT_TRUE(LoadFromString(table, FileWith(lines)));
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(Translated(table, "testo " + std::to_string(i)), "text " + std::to_string(i)) << i;
  }
  EXPECT_EQ(Translated(table, "testo 1000"), "testo 1000");
}

TEST(LanguageTable, DuplicateKeysGiveOneOfTheirValues) {
  LanguageResources table;
  ASSERT_TRUE(LoadFromString(table, FileWith(EntryLine(kMessageDomain, nullptr, "d", "first") + "\n" +
                                             EntryLine(kMessageDomain, nullptr, "d", "second") + "\n")));
  std::string value = Translated(table, "d");
  EXPECT_TRUE(value == "first" || value == "second") << value;
}

TEST(LanguageTable, IndexHitOnAMalformedLineTakesItsTail) {
  // The index accepts a line on its first eight characters: the value then starts at the 11th.
  std::string key = KeyOf(kMessageDomain, nullptr, "k");
  LanguageResources table;
  ASSERT_TRUE(LoadFromString(table, FileWith(key + ":-abc\"\n; end\n")));
  EXPECT_EQ(Translated(table, "k"), "abc");
  // A line holding only the key has an empty value, not the start of the next line.
  LanguageResources bareKey;
  ASSERT_TRUE(LoadFromString(bareKey, FileWith(key + "\nhello=\"world\"\n" + key + "=\n; x\n")));
  EXPECT_EQ(Translated(bareKey, "k"), "");
  // A bare key at the very end, shorter than key=", must not be read past the section's end.
  LanguageResources shortTail;
  ASSERT_TRUE(LoadFromString(shortTail, FileWith(key + "\n" + key + "=")));
  EXPECT_EQ(Translated(shortTail, "k"), "");
}

TEST(LanguageTable, MarkerLineItselfIsNeverAnEntry) {
  std::string key = KeyOf(kMessageDomain, nullptr, "m");
  LanguageResources table;
  // The marker's line cannot start with a key, so build a file whose marker line carries one after it.
  ASSERT_TRUE(LoadFromString(table, kMarker + key + "=\"nope\"\n"));
  EXPECT_EQ(Translated(table, "m"), "m");
  EXPECT_EQ(table.IndexedLines(), 0);
}

TEST(LanguageTable, DirectionEntry) {
  LanguageResources rtl;
  ASSERT_TRUE(LoadFromString(rtl, FileWith(EntryLine(kDialogDomain, "LTR", "LTR", "RTL") + "\n")));
  EXPECT_TRUE(rtl.AsksForRightToLeft());
  LanguageResources lower;
  ASSERT_TRUE(LoadFromString(lower, FileWith(EntryLine(kDialogDomain, "LTR", "LTR", "rtl") + "\n")));
  EXPECT_FALSE(lower.AsksForRightToLeft());
  LanguageResources none;
  EXPECT_FALSE(none.AsksForRightToLeft());
}

TEST(LanguageTable, ReloadReplacesTheOldSection) {
  LanguageResources table;
  ASSERT_TRUE(LoadFromString(table, FileWith(EntryLine(kMessageDomain, nullptr, "a", "one") + "\n")));
  ASSERT_TRUE(LoadFromString(table, FileWith(EntryLine(kMessageDomain, nullptr, "b", "two") + "\n")));
  EXPECT_EQ(Translated(table, "a"), "a");
  EXPECT_EQ(Translated(table, "b"), "two");
  EXPECT_FALSE(LoadFromString(table, "nothing here at all"));
  EXPECT_FALSE(table.IsLoaded());
}

TEST(LanguageTable, HostileBytesNeverBreakTheTable) {
  std::string file = kMarker + "\n";
  for (int i = 0; i < 70000; ++i) file += static_cast<char>((i * 131 + 7) % 256 == 0 ? 1 : (i * 131 + 7) % 256);
  LanguageResources table;
  ASSERT_TRUE(LoadFromString(table, file));
  EXPECT_LE(table.Length(), 65536);
  EXPECT_EQ(Translated(table, "Rimozione completa"), "Rimozione completa");
  LanguageResources onlyMarker;
  ASSERT_TRUE(LoadFromString(onlyMarker, kMarker + "\r\n\r\n"));
  EXPECT_EQ(onlyMarker.IndexedLines(), 0);
  EXPECT_EQ(Translated(onlyMarker, "x"), "x");
}

TEST(Array, GrowsByAQuarterPlusSixteen) {
  Array<int> items;
  EXPECT_EQ(items.Capacity(), 0);
  items.Add(1);
  EXPECT_EQ(items.Capacity(), 16);
  for (int i = 2; i <= 17; ++i) items.Add(i);
  EXPECT_EQ(items.Capacity(), 16 + 4 + 16);
  for (int i = 18; i <= 1000; ++i) items.Add(i);
  EXPECT_EQ(items.Count(), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(items[i], i + 1);
}
