#include "FolderDialog.h"

#include <shlobj.h>

#include "common/SystemLibrary.h"
#include "common/UniqueResource.h"

namespace {

int CALLBACK StartAt(HWND dialog, UINT message, LPARAM, LPARAM startFolder) {
  if (message == BFFM_INITIALIZED && startFolder)
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, startFolder);
  return 0;
}

}  // namespace

std::optional<std::wstring> BrowseForFolder(HWND owner, const std::wstring& prompt,
                                            const std::wstring& startFolder) {
  // The shell is loaded only when the dialog is first wanted: importing it would load it and
  // what it pulls in at every start-up, a good part of the start-up time under Wine.
  static HMODULE shell = LoadSystemLibrary(L"shell32.dll");
  if (!shell) return std::nullopt;
  using BrowseFunction = PIDLIST_ABSOLUTE(WINAPI*)(LPBROWSEINFOW);
  using PathFunction = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, LPWSTR);
  const auto browse = reinterpret_cast<BrowseFunction>(
      reinterpret_cast<void*>(GetProcAddress(shell, "SHBrowseForFolderW")));
  const auto pathOf = reinterpret_cast<PathFunction>(
      reinterpret_cast<void*>(GetProcAddress(shell, "SHGetPathFromIDListW")));
  if (!browse || !pathOf) return std::nullopt;

  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = prompt.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = &StartAt;
  info.lParam = reinterpret_cast<LPARAM>(startFolder.c_str());
  const UniqueCoTaskMemory<ITEMIDLIST> chosen(browse(&info));
  if (!chosen) return std::nullopt;
  std::wstring path(MAX_PATH, L'\0');
  if (!pathOf(chosen.get(), path.data())) return std::nullopt;
  path.resize(wcslen(path.c_str()));
  return path;
}
