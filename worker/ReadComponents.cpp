#include <algorithm>
#include <span>
#include <string>

#include "StatusTexts.h"
#include "UThreadComPort.h"
#include "link/Cp1251.h"
#include "link/FileListReply.h"
#include "link/LinkStatus.h"
#include "link/Packets.h"
#include "link/ReadableMemory.h"
#include "model/ComponentTable.h"

namespace {

// -1: the program sets no limit of its own; the link component ends the wait.
inline constexpr int32_t NoTimeLimit = -1;
inline constexpr int32_t FileListWaitMs = 2000;

}  // namespace

void TThreadComPort::AskForReceivedSize() {
  // Only a success hands over an interface: a component that refuses may still have written
  // something where the answer goes, and nothing may be called through that.
  void* answer = nullptr;
  const HRESULT asked = Port->QueryInterface(IID_IReceivedSize, &answer);
  ReceivedSize.reset(SUCCEEDED(asked) ? static_cast<IReceivedSize*>(answer) : nullptr);
}

bool TThreadComPort::SetDirectory(const std::wstring& name) {
  ShowStatus(status_text::SettingDirectory, false, 0);
  const int32_t length = BuildSetDirectory(Packet.get(), ToCp1251(name));
  LastResult = Port->SendPacket(UnitMessageKind, length, Packet.get());
  if (LastResult == LinkOk) LastResult = Port->WaitAnswer(UnitMessageKind, NoTimeLimit);
  if (LastResult != LinkOk) {
    ShowStatus(status_text::DirectoryFailed, true, LastResult);
    return false;
  }
  ShowStatus(status_text::DirectorySet, false, 0);
  return true;
}

bool TThreadComPort::RequestFileList(TFileList& list, const std::wstring& filter) {
  ShowStatus(status_text::AskingForFiles, false, 0);
  const int32_t length = BuildFileListRequest(Packet.get(), filter);
  LastResult = Port->SendPacket(UnitMessageKind, length, Packet.get());
  if (LastResult == LinkOk) LastResult = Port->WaitData(FileListWaitMs);
  if (LastResult != LinkOk) {
    ShowStatus(status_text::FileListFailed, true, 0);
    return false;
  }

  // The reply stays the component's; it is read only here, never past what arrived where the
  // component tells its length, and never past the memory it can be read through.
  Reply = Port->GetReceivedData();
  size_t received = ReadableExtent(Reply, MaxFileListReplySize);
  if (ReceivedSize)
    received =
        std::min(received, static_cast<size_t>(std::max(ReceivedSize->GetReceivedSize(), 0)));
  const std::span<const uint8_t> reply(Reply, received);
  switch (ParseFileListReply(reply, WantsVersions(filter), filter, list)) {
    case TFileListOutcome::Ok: ShowStatus(status_text::FilesListed, false, 0); return true;
    case TFileListOutcome::WrongCode:
      // The link worked; the unit answered with something else: not shown as an error.
      ShowStatus(status_text::FileListFailed, false, 0);
      return false;
    case TFileListOutcome::Truncated: break;
  }
  ShowStatus(status_text::FileListCut, true, 0);
  return false;
}

// Command 1. The window keeps its old list until the new one is complete: the list is built
// here and handed over together with dgComp's row count, so the grid never has a row without
// its record. A failed run hands over the empty list (title row only), not stale rows.
void TThreadComPort::ReadComponents() {
  TFileList files;
  TFileList components;
  if (SetDirectory(L"") && RequestFileList(files, L"exe")) {
    for (TFileStruct& file : files) {
      const int row = FindComponentRow(file.Name);
      if (row == NoComponent) continue;
      file.Name = ComponentDisplayNames[row];
      components.push_back(std::move(file));
    }
  }
  HandOffComponentRows(std::move(components));
}
