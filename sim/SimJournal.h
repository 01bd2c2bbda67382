// The call journal: one line per call, "Method(arguments) = result", appended and flushed as
// it happens so that a test can read it while the program runs. Lines that start with '#'
// are remarks (object created, fault staged, configuration error). sim/README.md has the
// format of every line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

class TSimJournal {
 public:
  explicit TSimJournal(std::filesystem::path path) : path_(std::move(path)) {}
  bool Enabled() const { return !path_.empty(); }
  void Write(std::string_view line) const;

  // A text in double quotes, UTF-8, with '"', '\' and control characters escaped.
  static std::string Quote(std::wstring_view text);
  // Bytes as two-digit upper-case hex separated by blanks; long runs end in "...".
  static std::string Hex(std::span<const uint8_t> bytes);

 private:
  std::filesystem::path path_;
};
