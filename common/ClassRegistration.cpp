#include "ClassRegistration.h"

#include <objbase.h>

#include <cwchar>

std::wstring ClassKeyName(REFCLSID clsid) {
  wchar_t text[64] = {};
  StringFromGUID2(clsid, text, 64);
  return std::wstring(L"CLSID\\") + text;
}

LSTATUS SetRegistryText(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring RegistryText(const std::wstring& subkey, const wchar_t* name) {
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CLASSES_ROOT, subkey.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr,
                   &bytes) != ERROR_SUCCESS)
    return {};
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegGetValueW(HKEY_CLASSES_ROOT, subkey.c_str(), name, RRF_RT_REG_SZ, nullptr, value.data(),
                   &bytes) != ERROR_SUCCESS)
    return {};
  value.resize(wcslen(value.c_str()));
  return value;
}
