// Command 3: the update transfer. Each candidate file goes to the unit in one SendFile call, the
// unit confirms its new version, and only then is the file deleted from the update folder.
#include <cmath>
#include <new>

#include "StatusTexts.h"
#include "UThreadComPort.h"
#include "link/LinkStatus.h"
#include "link/Packets.h"
#include "model/ComponentTable.h"

namespace {

constexpr DWORD MaxComponentFileSize = 1048576;
constexpr int32_t ConfirmTimeoutMs = 3000;
constexpr int32_t NoPercent = -1;

// The percentage last handed to the gauge during the current SendFile; only the worker
// thread touches it (the link calls the progress callback on the thread that called SendFile).
int32_t handedOffPercent = NoPercent;

int32_t GaugePercentOf(int32_t total, int32_t current) {
  // The last position (total - 1) is 100%; a total of 1 or less has no other position.
  if (total <= 1) return 100;
  const double percent = std::ceil(current * 100.0 / (static_cast<double>(total) - 1));
  // Clamped before the conversion: a stray report must not overflow the integer.
  if (percent <= 0) return 0;
  if (percent >= 100) return 100;
  return static_cast<int32_t>(percent);
}

// Called by the link inside SendFile, possibly for every few bytes. A hand-off costs a
// cross-thread round trip, so only a change of the whole percentage is handed off: at most
// 101 hand-offs per file, however often the link reports.
void __stdcall UpdateProgress(int32_t total, int32_t current) {
  TThreadComPort* worker = ThreadComPort;
  if (!worker) return;
  const int32_t percent = GaugePercentOf(total, current);
  if (percent == handedOffPercent) return;
  handedOffPercent = percent;
  worker->HandOffGauge(percent);
}

enum class ReadOutcome { Read, TooLarge, Empty, Unreadable };

// Reads the whole file into one buffer, allocated only after the size checks. A sub-folder,
// a missing file or a short read are all Unreadable.
ReadOutcome ReadWholeFile(const std::wstring& path, UniqueFileHandle& file,
                          std::unique_ptr<uint8_t[]>& image, DWORD& size) {
  file.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ReadOutcome::Unreadable;
  LARGE_INTEGER fileSize;
  if (!GetFileSizeEx(file.get(), &fileSize)) return ReadOutcome::Unreadable;
  if (fileSize.QuadPart > MaxComponentFileSize) return ReadOutcome::TooLarge;
  if (fileSize.QuadPart == 0) return ReadOutcome::Empty;
  size = static_cast<DWORD>(fileSize.QuadPart);
  image.reset(new (std::nothrow) uint8_t[size]);
  if (!image) return ReadOutcome::Unreadable;
  DWORD done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!ReadFile(file.get(), image.get() + done, size - done, &got, nullptr) || got == 0)
      return ReadOutcome::Unreadable;
    done += got;
  }
  return ReadOutcome::Read;
}

// True only when the search positively found nothing: a search that failed for another
// reason (no access, say) may hide *.exe files whose versions Version.ini still holds.
bool NoExeEntryIn(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  UniqueFindHandle search(FindFirstFileW((folder + L"\\*.exe").c_str(), &found));
  return !search && GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace

void TThreadComPort::UpdateComponents() {
  // The window's data is read inside hand-offs; the shared records stay alive through a
  // rescan that drops them from the window's list.
  TUpdateList candidates;
  Synchronize([&] { candidates = window_.UpdateCandidates(); });
  auto folderNow = [&] {
    std::wstring folder;
    Synchronize([&] { folder = window_.UpdateFolder(); });
    return folder;
  };

  bool failed = false;
  for (const auto& record : candidates) {
    if (failed) break;
    const int32_t row = record->Component;
    if (row < 0 || row >= ComponentCount) continue;  // never made by the scan
    const std::wstring fileName = ComponentFileName(row);

    ShowStatus(status_text::Updating(ComponentDisplayNames[row]), false, 0);
    record->Status = usInProgress;
    HandOffUpdateGridRepaint();
    const std::wstring path = folderNow() + L"\\" + fileName;

    UniqueFileHandle file;
    std::unique_ptr<uint8_t[]> image;
    DWORD size = 0;
    const ReadOutcome read = ReadWholeFile(path, file, image, size);
    UniqueBstr name;
    if (read == ReadOutcome::Read)
      name.reset(SysAllocStringLen(fileName.data(), static_cast<UINT>(fileName.size())));
    if (read != ReadOutcome::Read || !name) {
      ShowStatus(read == ReadOutcome::TooLarge ? std::wstring(status_text::FileTooLarge)
                 : read == ReadOutcome::Empty  ? std::wstring(status_text::FileEmpty)
                                               : status_text::FileUnreadable(fileName),
                 true, 0);
      failed = true;
      record->Status = usFailed;
      HandOffUpdateGridRepaint();
      continue;
    }

    // The link reads the name and neither frees nor replaces it; it is passed by a copy of
    // the pointer so that ours is freed whatever the link does with its argument.
    BSTR nameArgument = name.get();
    handedOffPercent = NoPercent;  // the first report of every file reaches the gauge
    LastResult =
        Port->SendFile(static_cast<int32_t>(size), image.get(), &nameArgument, &UpdateProgress);
    if (LastResult == LinkOk) {
      const int32_t length = BuildConfirmUpdate(Packet.get(), row, record->Version);
      ShowStatus(status_text::AwaitingConfirmation, false, 0);
      LastResult = Port->SendPacket(UnitMessageKind, length, Packet.get());
      if (LastResult == LinkOk) LastResult = Port->WaitConfirm(UnitMessageKind, ConfirmTimeoutMs);
    }
    const bool confirmed = LastResult == LinkOk;
    if (!confirmed) {
      record->Status = usFailed;
      failed = true;
      ShowStatus(LinkErrorText(), true, 0);
    } else {
      record->Status = usSucceeded;
    }
    HandOffUpdateGridRepaint();

    image.reset();
    file.reset();
    // Only a file the unit confirmed leaves the folder.
    if (confirmed) DeleteFileW(path.c_str());
  }

  const std::wstring folder = folderNow();
  if (NoExeEntryIn(folder)) DeleteFileW((folder + L"\\Version.ini").c_str());

  if (!failed && LastResult == LinkOk) ShowStatus(status_text::UpdateDone, false, 0);
}
