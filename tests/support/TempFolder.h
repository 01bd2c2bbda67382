// A folder of a test's own under the temp folder, with the files it puts there; removed with
// everything in it at the end, read-only and hidden entries included.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/UniqueResource.h"

// The names in a folder, "." and ".." left out.
inline std::vector<std::wstring> EntriesOf(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!search) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search.get(), &entry));
  return names;
}

inline void RemoveTree(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  for (const std::wstring& name : EntriesOf(path)) {
    const std::wstring child = path + L"\\" + name;
    SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(child.c_str())) RemoveTree(child);
  }
  RemoveDirectoryW(path.c_str());
}

class TempFolder {
 public:
  // The folder is named name, inside a root of this test's own.
  explicit TempFolder(const std::wstring& name = L"update") {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;  // one process, one thread
    root_ = std::wstring(temp) + L"qem_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(++counter);
    RemoveTree(root_);  // Wine reuses process ids: a crashed run may have left this name behind
    CreateDirectoryW(root_.c_str(), nullptr);
    path_ = root_ + L"\\" + name;
    EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr)) << GetLastError();
  }
  ~TempFolder() { RemoveTree(root_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  const std::wstring& Root() const { return root_; }
  std::wstring At(const std::wstring& name) const { return path_ + L"\\" + name; }
  bool Has(const std::wstring& name) const {
    return GetFileAttributesW(At(name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  std::vector<std::wstring> Entries() const { return EntriesOf(path_); }

  void Write(const std::wstring& name, const std::vector<uint8_t>& bytes,
             DWORD attributes = FILE_ATTRIBUTE_NORMAL) const {
    UniqueFileHandle file(CreateFileW(At(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << GetLastError();
    DWORD written = 0;
    if (!bytes.empty()) {
      ASSERT_TRUE(
          WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    file.reset();
    if (attributes != FILE_ATTRIBUTE_NORMAL) {
      ASSERT_TRUE(SetFileAttributesW(At(name).c_str(), attributes));
    }
  }
  void File(const std::wstring& name, const std::string& content = "MZ",
            DWORD attributes = FILE_ATTRIBUTE_NORMAL) const {
    Write(name, std::vector<uint8_t>(content.begin(), content.end()), attributes);
  }
  void Folder(const std::wstring& name) const {
    ASSERT_TRUE(CreateDirectoryW(At(name).c_str(), nullptr));
  }

 private:
  std::wstring root_;
  std::wstring path_;
};
