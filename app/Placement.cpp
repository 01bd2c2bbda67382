#include "Placement.h"

#include <windows.h>

#include <cwchar>

#include "common/UniqueResource.h"

namespace {

constexpr wchar_t Section[] = L"Placement";
constexpr wchar_t Missing[] = L"\x1F";  // a default no stored value can be

std::optional<std::wstring> ReadValue(const std::wstring& file, const wchar_t* key) {
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD length = GetPrivateProfileStringW(Section, key, Missing, value.data(),
                                                  static_cast<DWORD>(value.size()), file.c_str());
    if (length + 1 < value.size()) {
      value.resize(length);
      break;
    }
    if (value.size() >= 65536) {
      value.resize(length);
      break;
    }
    value.resize(value.size() * 2);
  }
  if (value == Missing) return std::nullopt;
  return value;
}

std::optional<int> ReadInt(const std::wstring& file, const wchar_t* key) {
  const auto text = ReadValue(file, key);
  if (!text || text->empty()) return std::nullopt;
  wchar_t* end = nullptr;
  const long value = std::wcstol(text->c_str(), &end, 10);
  if (*end != L'\0') return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

TStoredPlacement TFormStorage::Load() const {
  TStoredPlacement stored;
  if (fileName_.empty()) return stored;
  stored.left = ReadInt(fileName_, L"Left");
  stored.top = ReadInt(fileName_, L"Top");
  stored.folder = ReadValue(fileName_, L"Folder");
  return stored;
}

bool TFormStorage::PrepareUtf16File() const {
  UniqueFileHandle file(CreateFileW(fileName_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) {
    unsigned char mark[2] = {};
    DWORD read = 0;
    if (ReadFile(file.get(), mark, sizeof mark, &read, nullptr) && read == 2 && mark[0] == 0xFF &&
        mark[1] == 0xFE)
      return true;
  }
  file.reset();
  // Missing, or written by something else in a single-byte code page: start afresh. The
  // file holds nothing but what Save writes next.
  UniqueFileHandle created(CreateFileW(fileName_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!created) return false;
  const unsigned char mark[2] = {0xFF, 0xFE};
  DWORD written = 0;
  return WriteFile(created.get(), mark, sizeof mark, &written, nullptr) && written == sizeof mark;
}

bool TFormStorage::Save(int left, int top, const std::wstring& folder) const {
  if (fileName_.empty() || !PrepareUtf16File()) return false;
  // Quotes keep leading and trailing blanks: the reader strips one pair of them.
  const std::wstring quoted = L"\"" + folder + L"\"";
  bool ok = WritePrivateProfileStringW(Section, L"Left", std::to_wstring(left).c_str(),
                                       fileName_.c_str());
  ok = WritePrivateProfileStringW(Section, L"Top", std::to_wstring(top).c_str(),
                                  fileName_.c_str()) &&
       ok;
  ok = WritePrivateProfileStringW(Section, L"Folder", quoted.c_str(), fileName_.c_str()) && ok;
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, fileName_.c_str());  // flush the cache
  return ok;
}
