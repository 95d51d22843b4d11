// Registry helpers for the tests, on the raw API (never on the layer under test).
#pragma once
#include <windows.h>

#include <map>
#include <string>

struct RegValue {
  DWORD type = 0;
  std::string data;  // raw bytes as stored
  bool operator==(const RegValue& o) const { return type == o.type && data == o.data; }
  bool operator!=(const RegValue& o) const { return !(*this == o); }
};

// Every key below (and including) `path`, each with its values: "path\\sub" -> value name -> value.
// A missing key gives an empty snapshot.
using RegSnapshot = std::map<std::string, std::map<std::string, RegValue>>;
RegSnapshot SnapshotKey(HKEY root, const std::string& path);

bool KeyExists(HKEY root, const std::string& path);
bool ValueExists(HKEY root, const std::string& path, const std::string& name);
// The value's data; strings without their terminating NUL. Missing: "<missing>".
std::string ValueText(HKEY root, const std::string& path, const std::string& name);
DWORD ValueType(HKEY root, const std::string& path, const std::string& name);  // REG_NONE when missing
DWORD ValueDword(HKEY root, const std::string& path, const std::string& name, DWORD missing = 0xDEADBEEF);

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text);
void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes);
void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD number);
void RemoveTree(HKEY root, const std::string& path);  // the key and all below it, if present

std::string Describe(const RegSnapshot& snapshot);  // for failure messages
