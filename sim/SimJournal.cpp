#include "SimJournal.h"

#include <cstdio>
#include <fstream>
#include <mutex>

#include "common/Utf8.h"

void TSimJournal::Write(std::string_view line) const {
  if (path_.empty()) return;
  // Opened per line, so a test reads it while the program runs; one writer at a time in the
  // process, so lines of two objects never mix.
  static std::mutex writing;
  std::lock_guard lock(writing);
  std::ofstream stream(path_, std::ios::binary | std::ios::app);
  stream << line << '\n';
}

std::string TSimJournal::Quote(std::wstring_view text) {
  std::string quoted = "\"";
  for (char c : Utf8FromWide(text)) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string TSimJournal::Hex(std::span<const uint8_t> bytes) {
  constexpr size_t Shown = 32;
  std::string text;
  for (size_t i = 0; i < bytes.size() && i < Shown; ++i) {
    char digits[4];
    std::snprintf(digits, sizeof digits, i ? " %02X" : "%02X", bytes[i]);
    text += digits;
  }
  if (bytes.size() > Shown) text += " ...";
  return text;
}
