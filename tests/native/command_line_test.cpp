#include <gtest/gtest.h>

#include "shell/command_line.h"

struct GrammarCase {
  const char* line;
  CommandOption option;
  bool silent;
};

TEST(CommandLine, WholeGrammar) {
  const GrammarCase cases[] = {
      {"", CommandOption::NoOption, false},
      {"   ", CommandOption::NoOption, false},
      {"qualcosa", CommandOption::NoOption, false},
      {"C:\\Korvex", CommandOption::NoOption, false},
      {"/setup", CommandOption::Setup, false},
      {"/SETUP", CommandOption::Setup, false},
      {"/SeTuP", CommandOption::Setup, false},
      {"/setupextra", CommandOption::Setup, false},
      {"/setup /s", CommandOption::Setup, true},
      {"/setup /S", CommandOption::Setup, true},
      {"/SETUP/s", CommandOption::Setup, true},
      {"/s /setup", CommandOption::Setup, false},
      {"/setup /s ", CommandOption::Unknown, false},   // "/s " is not "/s": "/s " is the selected option
      {"/setup /silent", CommandOption::Unknown, false},
      {"/s", CommandOption::Unknown, true},
      {"/S", CommandOption::Unknown, true},
      {"/wait", CommandOption::Wait, false},
      {"/WAIT", CommandOption::Wait, false},
      {"/wait /setup", CommandOption::Setup, false},
      {"/setup /wait", CommandOption::Wait, false},
      {"/wait /s", CommandOption::Wait, true},
      {"/warning", CommandOption::Warning, false},
      {"/WaRnInG", CommandOption::Warning, false},
      {"/warni", CommandOption::Unknown, false},
      {"/warnin", CommandOption::Unknown, false},
      {"/warn", CommandOption::Unknown, false},
      {"/wai", CommandOption::Unknown, false},
      {"/setu", CommandOption::Unknown, false},
      {"/", CommandOption::Unknown, false},
      {"/x", CommandOption::Unknown, false},
      {"a/setup", CommandOption::Setup, false},
      {"x /s", CommandOption::Unknown, true},      // the first "/" is the "/s" itself
      {"/warning/s", CommandOption::Warning, true},
      {"/remove", CommandOption::Remove, false},
      {"/REMOVE /S", CommandOption::Remove, true},
      {"/s /remove", CommandOption::Remove, false},
      {"/removeall", CommandOption::Remove, false},
      {"/remov", CommandOption::Unknown, false},
      {"/warning /s", CommandOption::Warning, true},
  };
  for (const GrammarCase& c : cases) {
    ParsedCommandLine parsed = ParseCommandLine(c.line);
    EXPECT_EQ(parsed.option, c.option) << '"' << c.line << '"';
    EXPECT_EQ(parsed.silent, c.silent) << '"' << c.line << '"';
  }
}

TEST(CommandLine, LongLinesAreReadSafely) {
  std::string line(8192, 'x');
  EXPECT_EQ(ParseCommandLine(line.c_str()).option, CommandOption::NoOption);
  line += " /setup /s";
  ParsedCommandLine parsed = ParseCommandLine(line.c_str());
  EXPECT_EQ(parsed.option, CommandOption::Setup);
  EXPECT_TRUE(parsed.silent);
  std::string slashes(5000, '/');
  EXPECT_EQ(ParseCommandLine(slashes.c_str()).option, CommandOption::Unknown);
}

TEST(CommandLine, TailAfterProgramName) {
  const struct {
    const char* whole;
    const char* tail;
  } cases[] = {
      {"\"C:\\Program Files\\Korvex\\Uninstall.exe\" /setup /s", "/setup /s"},
      {"C:\\Korvex\\Uninstall.exe /wait", "/wait"},
      {"Uninstall.exe\t \t/remove /s", "/remove /s"},
      {"\"C:\\a b\\Uninstall.exe\"/warning", "/warning"},  // no blank after the quote
      {"\"C:\\a b\\Uninstall.exe", ""},                     // quote never closed
      {"Uninstall.exe", ""},
      {"Uninstall.exe   ", ""},
      {"", ""},
      {"\"\" x", "x"},
      {"\"C:\\\xe0 b\\U.exe\" /s", "/s"},  // bytes above 127 belong to the name
  };
  for (const auto& c : cases) EXPECT_STREQ(c.tail, CommandLineTail(c.whole)) << c.whole;
}

TEST(CommandLine, LogOptionIsTakenOutWherever) {
  const struct {
    const char* line;
    bool given;
    const char* path;
    const char* rest;
  } cases[] = {
      {"/remove /s /log", true, "", "/remove /s"},
      {"/remove /log /s", true, "", "/remove /s"},
      {"/LOG=\"C:\\a folder\\x.log\" /remove /s", true, "C:\\a folder\\x.log", " /remove /s"},
      {"/setup /log=C:\\x.log /s", true, "C:\\x.log", "/setup /s"},
      {"/log", true, "", ""},                             // alone: the interactive removal, logged
      {"/wait /log=\"C:\\a /s b\\x.log\"", true, "C:\\a /s b\\x.log", "/wait"},  // "/" inside quotes
      {"/log=\"C:\\open", true, "C:\\open", ""},            // quote never closed
      {"/logfile /s", false, "", "/logfile /s"},            // another option
      {"a/log /s", false, "", "a/log /s"},                  // not a word of its own
      {"/remove /s", false, "", "/remove /s"},
      {"/l", false, "", "/l"},
      {"\"/log=C:\\a b\\x.log\" /remove /s", true, "C:\\a b\\x.log", " /remove /s"},  // quoted whole
      {"/remove \"/log\" /s", true, "", "/remove /s"},
      {"/remove x\"/log /s", false, "", "/remove x\"/log /s"},
  };
  for (const auto& c : cases) {
    std::string line = c.line;
    char path[64] = "junk";
    EXPECT_EQ(TakeLogOption(&line[0], path, sizeof path), c.given) << c.line;
    EXPECT_STREQ(path, c.path) << c.line;
    EXPECT_STREQ(line.c_str(), c.rest) << c.line;
  }
  // What is left reads as without the option: "/s" still ends the line.
  std::string line = "/remove /s /log=x.log";
  char path[16];
  TakeLogOption(&line[0], path, sizeof path);
  ParsedCommandLine parsed = ParseCommandLine(line.c_str());
  EXPECT_EQ(parsed.option, CommandOption::Remove);
  EXPECT_TRUE(parsed.silent);
  // A path too long for the buffer is dropped, never cut; the option still goes.
  line = "/log=C:\\a-rather-long-name.log /s";
  EXPECT_TRUE(TakeLogOption(&line[0], path, sizeof path));
  EXPECT_STREQ(path, "");
  EXPECT_STREQ(line.c_str(), " /s");
}
