// Where the running executable lives: the placement file and the default update folder sit
// beside it.
#pragma once

#include <string>

// Full path of the running executable ("" if the system cannot tell).
std::wstring ExecutablePath();
// Its folder, ending in a path separator.
std::wstring ExecutableFolder();
// path with the extension of its file name replaced by extension (".ini"); appended when the
// name has none.
std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& extension);
// True when path names an existing folder.
bool FolderExists(const std::wstring& path);
