// Stand-in until the registration check lands: looks only for the InprocServer32 value.
#include "Checkcomreg.h"

#include <windows.h>
#include <objbase.h>

std::wstring GuidToText(const GUID& classId) {
  wchar_t text[64] = {};
  StringFromGUID2(classId, text, 64);
  return text;
}

std::wstring CheckComReg(const CLSID& classId, const std::wstring& libraryFileName) {
  const std::wstring key = L"CLSID\\" + GuidToText(classId) + L"\\InprocServer32";
  wchar_t path[MAX_PATH] = {};
  DWORD size = sizeof path;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) == ERROR_SUCCESS &&
      GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
    return L"";
  return L"COM-объект \"" + libraryFileName + L"\": незарегистрирован или отсутствует.\r\nПереустановите приложение";
}
