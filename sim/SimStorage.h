// The simulated unit's installed files: one folder on the PC holding the files themselves and
// an index (storage.ini) with what a FAT file system of the unit would keep beside them:
// version, MS-DOS date and time, attribute byte. Everything is read back from disk on every
// call, so the storage survives a restart and may be edited by hand between runs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "SimClock.h"

struct TStoredFile {
  std::string Name;     // code page 1251, as the unit reports it
  std::string Version;  // code page 1251; empty for files that are not components
  TLocalTime Stamp;
  uint8_t Attributes = 0x20;
  uint32_t Size = 0;
};

class TSimStorage {
 public:
  static constexpr std::string_view IndexName = "storage.ini";

  explicit TSimStorage(std::filesystem::path folder) : folder_(std::move(folder)) {}
  const std::filesystem::path& Folder() const { return folder_; }

  // Creates the folder when it is missing and, when seed is set, fills an empty folder with
  // the factory set: the six component programs and two other files.
  bool Open(bool seed, std::wstring& error);

  // The files in index order. Index entries whose file is gone are dropped; files without an
  // entry (copied in by hand) are taken in, stamped now and without a version.
  bool List(const TLocalTime& now, std::vector<TStoredFile>& files, std::wstring& error);

  // Stores the image as the file name (cp1251), replacing a file of that name in any letter
  // case, and records version and stamp. Only the file is written until it is complete.
  bool Install(std::string_view name, std::span<const uint8_t> image, std::string_view version,
               const TLocalTime& stamp, std::wstring& error);

 private:
  std::filesystem::path PathOf(std::string_view name) const;
  bool ReadIndex(std::vector<TStoredFile>& files) const;
  bool WriteIndex(const std::vector<TStoredFile>& files, std::wstring& error) const;

  std::filesystem::path folder_;
};
