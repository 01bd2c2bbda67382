#include "FolderDialog.h"

#include <shlobj.h>

namespace {

int CALLBACK StartAt(HWND dialog, UINT message, LPARAM, LPARAM startFolder) {
  if (message == BFFM_INITIALIZED && startFolder)
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, startFolder);
  return 0;
}

}  // namespace

std::optional<std::wstring> BrowseForFolder(HWND owner, const std::wstring& prompt,
                                            const std::wstring& startFolder) {
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = prompt.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = &StartAt;
  info.lParam = reinterpret_cast<LPARAM>(startFolder.c_str());
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) return std::nullopt;
  std::wstring path(MAX_PATH, L'\0');
  const bool ok = SHGetPathFromIDListW(chosen, path.data());
  CoTaskMemFree(chosen);
  if (!ok) return std::nullopt;
  path.resize(wcslen(path.c_str()));
  return path;
}
