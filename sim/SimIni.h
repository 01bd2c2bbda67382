// A small INI reader for the stand-in's configuration and storage index: "[section]" lines,
// "key = value" lines, whole-line comments starting with ';' or '#'. Keys are case-blind
// (ASCII), values are kept as written (UTF-8) minus surrounding blanks and one pair of
// surrounding double quotes. Sections keep their order and may repeat.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TIniEntry {
  std::string Key;  // lower case
  std::string Value;
  int Line = 0;
};

struct TIniSection {
  std::string Name;  // lower case; "" for entries before the first section
  int Line = 0;
  std::vector<TIniEntry> Entries;
};

struct TIniDocument {
  std::vector<TIniSection> Sections;
  // The first malformed line, 0 when none, and what is wrong with it.
  int ErrorLine = 0;
  std::wstring Error;
};

TIniDocument ParseIni(std::string_view text);

std::string AsciiLower(std::string_view text);
