// What an in-process server's self-registration reads and writes under HKEY_CLASSES_ROOT: its
// class key and text values there. (Links with advapi32 and ole32.)
#pragma once

#include <windows.h>

#include <string>

// "CLSID\{...}", the class's key under HKEY_CLASSES_ROOT.
std::wstring ClassKeyName(REFCLSID clsid);
// Writes a text value (name null: the key's default value).
LSTATUS SetRegistryText(HKEY key, const wchar_t* name, const std::wstring& value);
// A text value under HKEY_CLASSES_ROOT\subkey (name null: the default value); "" when there is
// none.
std::wstring RegistryText(const std::wstring& subkey, const wchar_t* name);
