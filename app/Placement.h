// The placement store: the window's position and the update folder's text, kept in the
// placement file (QemUtil.ini beside the executable) from one run to the next.
#pragma once

#include <optional>
#include <string>

struct TStoredPlacement {
  std::optional<int> left, top;        // window position; absent: the designed one
  std::optional<std::wstring> folder;  // deUpdate's text
};

class TFormStorage {
 public:
  void SetIniFileName(std::wstring fileName) { fileName_ = std::move(fileName); }
  const std::wstring& IniFileName() const { return fileName_; }

  TStoredPlacement Load() const;
  // False when the file cannot be written (a read-only folder, say); nothing is reported.
  bool Save(int left, int top, const std::wstring& folder) const;

 private:
  // The profile functions write UTF-16 only into a file that already starts with a UTF-16
  // byte order mark; otherwise they write the ANSI code page and lose what it cannot hold.
  bool PrepareUtf16File() const;

  std::wstring fileName_;
};
