#include "SystemLibrary.h"

#include <string>

HMODULE LoadSystemLibrary(const wchar_t* name) {
  // By name alone, a library that is not one of the system's known ones is looked for in the
  // program's folder first: a file of that name placed there would run inside the program.
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // A Windows 7 without the update that added the flag refuses it: the full path instead, its
  // own dependencies looked for beside it rather than beside the program.
  const UINT size = GetSystemDirectoryW(nullptr, 0);
  if (size == 0) return nullptr;
  std::wstring path(size, L'\0');
  const UINT length = GetSystemDirectoryW(path.data(), size);
  if (length == 0 || length >= size) return nullptr;
  path.resize(length);
  path += L'\\';
  path += name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
