// Paths of the running modules and what exists at a path.
#pragma once

#include <windows.h>

#include <string>

// Full path of a loaded module (null: the running executable); "" if the system cannot tell.
std::wstring ModuleFileName(HMODULE module);
std::wstring ExecutablePath();
// The folder of the running executable, ending in a path separator.
std::wstring ExecutableFolder();
// path with the extension of its file name replaced by extension (".ini"); appended when the
// name has none.
std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& extension);
// Whether an existing folder, or an existing file that is no folder, is at path.
bool IsFolder(const std::wstring& path);
bool IsFile(const std::wstring& path);
// Whether two paths name the same file, by its identity (volume serial and file index), whatever
// the spelling: another case, forward slashes, a short name, a \\?\ prefix, a mapped drive. False
// when either cannot be opened.
bool SameFile(const std::wstring& first, const std::wstring& second);
