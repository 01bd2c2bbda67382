#include "app/Checkcomreg.h"

#include <objbase.h>

#include <algorithm>
#include <exception>
#include <string_view>

#include "app/AppError.h"
#include "common/FileSystem.h"
#include "common/SystemErrorText.h"
#include "common/TextCase.h"
#include "common/Widen.h"
#include "common/UniqueResource.h"

namespace {

// The system's text for a failure code, without the line break and full stop it ends with:
// it goes between quotes inside a sentence of ours.
std::wstring RegistryErrorText(LSTATUS code) {
  std::wstring text = SystemErrorText(static_cast<DWORD>(code));
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
  if (text.empty()) text = L"Ошибка реестра, код " + std::to_wstring(code);
  return text;
}

// The key's default value as text, exactly as stored: %-references stay unexpanded, because
// the server path is tested literally. A missing value reads as "".
std::wstring ReadDefaultText(HKEY key) {
  constexpr DWORD textTypes = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  std::wstring text;
  for (;;) {
    DWORD bytes = 0;
    LSTATUS status = RegGetValueW(key, nullptr, nullptr, textTypes, nullptr, nullptr, &bytes);
    if (status == ERROR_FILE_NOT_FOUND) return {};
    if (status != ERROR_SUCCESS) throw TAppError(RegistryErrorText(status));
    text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    status = RegGetValueW(key, nullptr, nullptr, textTypes, nullptr, text.data(), &bytes);
    if (status == ERROR_MORE_DATA) continue;  // the value grew between the two reads
    if (status == ERROR_FILE_NOT_FOUND) return {};
    if (status != ERROR_SUCCESS) throw TAppError(RegistryErrorText(status));
    // Stored text may hold a zero before its end; the path ends there.
    text.resize(std::min(text.find(L'\0'), text.size()));
    return text;
  }
}

std::wstring_view FileNamePart(std::wstring_view path) {
  const size_t separator = path.find_last_of(L"\\/:");
  return separator == std::wstring_view::npos ? path : path.substr(separator + 1);
}

}  // namespace

std::wstring GuidToText(const GUID& classId) {
  wchar_t text[64] = {};
  if (StringFromGUID2(classId, text, 64) == 0)
    throw TAppError(L"Ошибка выполнения команды StringFromGUID2");
  return text;
}

std::wstring CheckComRegUnder(HKEY classesRoot, const CLSID& classId,
                              const std::wstring& libraryFileName) {
  const std::wstring prefix = L"COM-объект \"" + libraryFileName + L"\": ";
  try {
    UniqueHKey classes;
    if (RegOpenKeyExW(classesRoot, L"CLSID", 0, KEY_READ, classes.put()) != ERROR_SUCCESS)
      throw TAppError(L"Ошибка открытия ветки CLSID");
    const std::wstring classText = GuidToText(classId);

    // Any key that is missing or cannot be opened means: not registered.
    bool registered = false;
    UniqueHKey classKey;
    UniqueHKey server;
    if (RegOpenKeyExW(classes.get(), classText.c_str(), 0, KEY_READ, classKey.put()) ==
            ERROR_SUCCESS &&
        RegOpenKeyExW(classKey.get(), L"InprocServer32", 0, KEY_READ, server.put()) ==
            ERROR_SUCCESS) {
      const std::wstring serverPath = ReadDefaultText(server.get());
      // A file, not a folder: a folder named like the library is no server.
      registered =
          IsFile(serverPath) && EqualIgnoringCase(FileNamePart(serverPath), libraryFileName);
    }
    if (registered) return {};
    return prefix + L"незарегистрирован или отсутствует.\r\nПереустановите приложение";
  } catch (const TAppError& error) {
    return prefix + L"ошибка проверки регистрации.\r\nТекст ошибки: \"" + error.Message() +
           L"\".\r\nОбратитесь к разработчику.";
  } catch (const std::exception& error) {
    // Out of memory and the like: still a message for the user, never an escape.
    return prefix + L"ошибка проверки регистрации.\r\nТекст ошибки: \"" + Widen(error.what()) +
           L"\".\r\nОбратитесь к разработчику.";
  }
}

std::wstring CheckComReg(const CLSID& classId, const std::wstring& libraryFileName) {
  return CheckComRegUnder(HKEY_CLASSES_ROOT, classId, libraryFileName);
}
