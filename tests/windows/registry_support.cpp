#include "registry_support.h"

#include <string.h>

#include <vector>

// Names of a key's direct subkeys, read before any of them is touched.
static std::vector<std::string> SubkeyNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

static void Collect(HKEY root, const std::string& path, RegSnapshot* out) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  auto& values = (*out)[path];
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameLength = sizeof name;
    DWORD type = 0;
    std::vector<BYTE> data(65536);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    values[std::string(name, nameLength)] = RegValue{type, std::string(reinterpret_cast<char*>(data.data()), size)};
  }
  std::vector<std::string> children = SubkeyNames(key);
  RegCloseKey(key);
  for (const auto& child : children) Collect(root, path.empty() ? child : path + "\\" + child, out);
}

RegSnapshot SnapshotKey(HKEY root, const std::string& path) {
  RegSnapshot snapshot;
  Collect(root, path, &snapshot);
  return snapshot;
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

static bool Query(HKEY root, const std::string& path, const std::string& name, RegValue* out) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  std::vector<BYTE> data(65536);
  DWORD size = static_cast<DWORD>(data.size());
  DWORD type = 0;
  LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return false;
  out->type = type;
  out->data.assign(reinterpret_cast<char*>(data.data()), size);
  return true;
}

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
  RegValue v;
  return Query(root, path, name, &v);
}

std::string ValueText(HKEY root, const std::string& path, const std::string& name) {
  RegValue v;
  if (!Query(root, path, name, &v)) return "<missing>";
  if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && !v.data.empty() && v.data.back() == '\0') v.data.pop_back();
  return v.data;
}

DWORD ValueType(HKEY root, const std::string& path, const std::string& name) {
  RegValue v;
  return Query(root, path, name, &v) ? v.type : REG_NONE;
}

DWORD ValueDword(HKEY root, const std::string& path, const std::string& name, DWORD missing) {
  RegValue v;
  if (!Query(root, path, name, &v) || v.data.size() != 4) return missing;
  DWORD n;
  memcpy(&n, v.data.data(), 4);
  return n;
}

void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes) {
  HKEY key;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
  RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                 static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
  SetRaw(root, path, name, REG_SZ, text + std::string(1, '\0'));
}

void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD number) {
  SetRaw(root, path, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4));
}

void RemoveTree(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::vector<std::string> children = SubkeyNames(key);
  RegCloseKey(key);
  for (const auto& child : children) RemoveTree(root, path + "\\" + child);
  RegDeleteKeyA(root, path.c_str());
}

std::string Describe(const RegSnapshot& snapshot) {
  std::string out;
  for (const auto& key : snapshot) {
    out += "[" + key.first + "]\n";
    for (const auto& value : key.second) {
      out += "  \"" + value.first + "\" type " + std::to_string(value.second.type) + " = \"";
      for (char c : value.second.data) out += (c >= 32 && c < 127) ? std::string(1, c) : "\\x" + std::to_string(static_cast<unsigned char>(c));
      out += "\"\n";
    }
  }
  return out;
}
