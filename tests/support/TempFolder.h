// A folder of a test's own under the temp folder, with the files it puts there; removed with
// everything in it at the end, read-only and hidden entries included.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/UniqueResource.h"

inline void RemoveTree(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle search(FindFirstFileW((path + L"\\*").c_str(), &entry));
  if (search) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(search.get(), &entry));
  }
  search.reset();
  RemoveDirectoryW(path.c_str());
}

class TempFolder {
 public:
  explicit TempFolder(const std::wstring& name = L"update") {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;  // one process, one thread
    root_ = std::wstring(temp) + L"qem_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(++counter);
    CreateDirectoryW(root_.c_str(), nullptr);
    path_ = root_ + L"\\" + name;
    EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr)) << GetLastError();
  }
  ~TempFolder() { RemoveTree(root_); }

  const std::wstring& Path() const { return path_; }
  const std::wstring& Root() const { return root_; }

  void File(const std::wstring& name, const std::string& content = "MZ",
            DWORD attributes = FILE_ATTRIBUTE_NORMAL) const {
    const std::wstring path = path_ + L"\\" + name;
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()),
                          &written, nullptr));
    file.reset();
    if (attributes != FILE_ATTRIBUTE_NORMAL) {
      ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes));
    }
  }
  void Folder(const std::wstring& name) const {
    ASSERT_TRUE(CreateDirectoryW((path_ + L"\\" + name).c_str(), nullptr));
  }

 private:
  std::wstring root_;
  std::wstring path_;
};
