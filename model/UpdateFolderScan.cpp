#include "UpdateFolderScan.h"

#include <windows.h>

#include <optional>
#include <string_view>
#include <vector>

#include "common/FileSystem.h"
#include "common/TextCase.h"
#include "common/UniqueResource.h"
#include "ComponentTable.h"

namespace {

// The profile API looks for a name without a directory part in the Windows folder, so it gets
// the full path of the very file whose existence was tested.
std::optional<std::wstring> FullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return std::nullopt;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

// Blanks as the profile reader may leave them: spaces, tabs and other control characters.
std::wstring TrimBlanks(std::wstring_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && text[first] <= L' ') ++first;
  while (last > first && text[last - 1] <= L' ') --last;
  return std::wstring(text.substr(first, last - first));
}

std::wstring ReadVersion(const std::wstring& iniPath, const std::wstring& key) {
  std::vector<wchar_t> value(256);
  for (;;) {
    const DWORD length =
        GetPrivateProfileStringW(L"VERSION", key.c_str(), UnknownVersion, value.data(),
                                 static_cast<DWORD>(value.size()), iniPath.c_str());
    // A value that filled the buffer may have been cut: read again with room to spare.
    if (length + 1 < value.size() || value.size() >= 65536)
      return TrimBlanks(std::wstring_view(value.data(), length));
    value.resize(value.size() * 4);
  }
}

}  // namespace

TUpdateList ScanUpdateCandidates(const std::wstring& folder) {
  TUpdateList candidates;

  std::optional<std::wstring> versionSource;
  const std::wstring iniPath = folder + L"\\Version.ini";
  if (IsFile(iniPath)) versionSource = FullPath(iniPath);

  if (!IsFolder(folder)) return candidates;

  const std::wstring pattern = folder + L"\\*.exe";
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle search(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr, 0));
  if (!search) return candidates;
  do {
    const std::wstring_view name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const int row = FindComponentRow(name);
    if (row == NoComponent || row == ControlProgramRow) continue;
    auto candidate = std::make_shared<TUpdateStruct>();
    candidate->Component = row;
    candidate->Status = usReady;
    candidate->Version = versionSource
                             ? ReadVersion(*versionSource, UpperCase(ComponentFileName(row)))
                             : UnknownVersion;
    candidates.push_back(std::move(candidate));
  } while (FindNextFileW(search.get(), &entry));
  return candidates;
}
