#include <gtest/gtest.h>

#include <set>
#include <string>

#include "lang/language.h"
#include "lang/messages.h"
#include "shell/warning.h"
#include "win_support.h"

namespace {

class Messages : public ::testing::Test {
 protected:
  void TearDown() override { StopLanguage(); }
};

const char* const kItalian[] = {
    "Korvex gestione archivi",
    "Guida a Korvex",
    "Manuale di KVX in modalit\xe0 carattere",
    "Rimuovi Korvex",
    "Rimozione completa",
    "Devi eliminare il file %s manualmente",
    "Avvio la rimozione di Korvex?",
    "Impossibile aprire la lista dei files %s",
    "Archivio Korvex",
    "Archivio Korvex ZIP",
};

}  // namespace

TEST_F(Messages, BuiltInTextsWithoutLibraryOrFile) {
  StartLanguage(nullptr, "");
  EXPECT_FALSE(IsLanguageLibraryLoaded());
  EXPECT_FALSE(IsLanguageFileLoaded());
  EXPECT_EQ(CurrentResourceModule(), GetModuleHandleA(nullptr));
  for (int id = 5101; id <= 5110; ++id) EXPECT_STREQ(GetMessageText(id), kItalian[id - 5101]) << id;
  EXPECT_STREQ(GetMessageText(4242), "");
  EXPECT_FALSE(IsRightToLeft());
}

TEST_F(Messages, RingOfEightBuffers) {
  StartLanguage(nullptr, "");
  const char* first = GetMessageText(5101);
  std::set<const char*> buffers = {first};
  for (int i = 1; i < 8; ++i) buffers.insert(GetMessageText(5102));
  EXPECT_EQ(buffers.size(), 8u);
  EXPECT_STREQ(first, "Korvex gestione archivi");  // still intact after seven more lookups
  const char* ninth = GetMessageText(5104);
  EXPECT_EQ(ninth, first);
  EXPECT_STREQ(first, "Rimuovi Korvex");
}

TEST_F(Messages, LibraryReplacesTextsIdByIdAndFallsBackForMissingOrEmptyOnes) {
  StartLanguage("kvxlng_partial.dll", "");
  ASSERT_TRUE(IsLanguageLibraryLoaded());
  EXPECT_NE(CurrentResourceModule(), GetModuleHandleA(nullptr));
  EXPECT_STREQ(GetMessageText(5101), "Korvex archive manager");
  EXPECT_STREQ(GetMessageText(5104), "Remove Korvex");
  EXPECT_STREQ(GetMessageText(5105), "Rimozione completa");  // empty in the library
  EXPECT_STREQ(GetMessageText(5107), "Avvio la rimozione di Korvex?");  // missing there
  EXPECT_FALSE(IsRightToLeft());
}

TEST_F(Messages, LanguageFileTranslatesTheProgramsOwnTexts) {
  std::string file = LanguageFileWith(Entry('s', nullptr, "Rimuovi Korvex", "Remove Korvex (file)") +
                                      Entry('s', nullptr, "Manuale di KVX in modalit\xe0 carattere", "KVX manual") +
                                      Entry('s', nullptr, "Korvex archive manager", "never used"));
  StartLanguage(nullptr, file);
  ASSERT_TRUE(IsLanguageFileLoaded());
  EXPECT_STREQ(GetMessageText(5104), "Remove Korvex (file)");
  EXPECT_STREQ(GetMessageText(5103), "KVX manual");
  EXPECT_STREQ(GetMessageText(5101), "Korvex gestione archivi");
}

TEST_F(Messages, WithBothTheFileWinsAndTheLibrarysTableIsNotRead) {
  std::string file = LanguageFileWith(Entry('s', nullptr, "Rimuovi Korvex", "Remove Korvex (file)") +
                                      Entry('s', nullptr, "Korvex archive manager", "from the library's text"));
  StartLanguage("kvxlng_partial.dll", file);
  ASSERT_TRUE(IsLanguageLibraryLoaded());
  EXPECT_STREQ(GetMessageText(5104), "Remove Korvex (file)");
  EXPECT_STREQ(GetMessageText(5101), "Korvex gestione archivi");
}

TEST_F(Messages, MissingIdGivesEmptyTextUnlessTheFileTranslatesTheEmptyText) {
  StartLanguage(nullptr, LanguageFileWith(Entry('s', nullptr, "", "(vuoto)")));
  EXPECT_STREQ(GetMessageText(4242), "(vuoto)");
}

TEST_F(Messages, OverlongTranslationIsCutToTheRing) {
  std::string value(600, 'x');
  StartLanguage(nullptr, LanguageFileWith(Entry('s', nullptr, "Rimuovi Korvex", value)));
  EXPECT_EQ(std::string(GetMessageText(5104)), std::string(255, 'x'));
  EXPECT_STREQ(GetMessageText(5105), "Rimozione completa");
}

TEST_F(Messages, UnloadingTwiceIsHarmless) {
  StartLanguage("kvxlng_partial.dll", "");
  ASSERT_TRUE(IsLanguageLibraryLoaded());
  UnloadLanguageLibrary();
  EXPECT_FALSE(IsLanguageLibraryLoaded());
  EXPECT_EQ(CurrentResourceModule(), GetModuleHandleA(nullptr));
  EXPECT_STREQ(GetMessageText(5101), "Korvex gestione archivi");
  UnloadLanguageLibrary();
  EXPECT_EQ(CurrentResourceModule(), GetModuleHandleA(nullptr));
  // The library really is gone: its file can be deleted now, as the removal needs.
  EXPECT_TRUE(DeleteFileA((ExeFolder() + "kvxlng.dll").c_str()));
}

TEST_F(Messages, RightToLeftFromTheLibrarysResourceOrTheFilesDirectionEntry) {
  StartLanguage("kvxlng_rtl.dll", "");
  EXPECT_TRUE(IsRightToLeft());
  StartLanguage(nullptr, LanguageFileWith(Entry('$', "LTR", "LTR", "RTL")));
  EXPECT_TRUE(IsRightToLeft());
  StartLanguage(nullptr, LanguageFileWith(Entry('$', "LTR", "LTR", "LTR")));
  EXPECT_FALSE(IsRightToLeft());
}

TEST_F(Messages, LanguageFileByFullPathAndBadFiles) {
  StartLanguage(nullptr, "");
  std::string path = ExeFolder() + "other.lng";
  ASSERT_TRUE(WriteFileBytes(path, LanguageFileWith(Entry('s', nullptr, "Rimuovi Korvex", "via path"))));
  LoadLanguageFile(path.c_str());
  EXPECT_STREQ(GetMessageText(5104), "via path");
  ASSERT_TRUE(WriteFileBytes(path, std::string("\0\x01\x02 binary \xff", 13)));
  LoadLanguageFile(path.c_str());
  EXPECT_FALSE(IsLanguageFileLoaded());
  EXPECT_STREQ(GetMessageText(5104), "Rimuovi Korvex");
  ASSERT_TRUE(WriteFileBytes(path, ""));
  LoadLanguageFile(path.c_str());
  EXPECT_FALSE(IsLanguageFileLoaded());
  DeleteFileA(path.c_str());
  LoadLanguageFile(path.c_str());  // gone: nothing loaded, no complaint
  EXPECT_FALSE(IsLanguageFileLoaded());
}

TEST(WarningText, HoldsAWholePathOfAThousandCharacters) {
  std::string path = "C:\\";
  while (path.size() < 1019) path += "cartella\\";
  path.resize(1019);
  path += ".exe";
  char text[kWarningTextSize];
  std::string second(250, 'y');
  second += " %s";
  ComposeWarningText(text, sizeof text, std::string(255, 'f').c_str(), second.c_str(), path.c_str());
  std::string expected = std::string(255, 'f') + "\n" + std::string(250, 'y') + " " + path;
  EXPECT_EQ(std::string(text), expected);
  char small[40];
  ComposeWarningText(small, sizeof small, "Rimozione completa", "Devi eliminare il file %s", path.c_str());
  EXPECT_EQ(std::string(small), std::string("Rimozione completa\nDevi eliminare il file ").substr(0, 39));
}
