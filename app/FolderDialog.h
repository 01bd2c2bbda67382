// The system's folder dialog behind deUpdate's browse button.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// Shows the dialog with prompt, starting at startFolder; the chosen folder, or nothing when
// the user cancelled or picked something that is not a file-system folder.
std::optional<std::wstring> BrowseForFolder(HWND owner, const std::wstring& prompt,
                                            const std::wstring& startFolder);
