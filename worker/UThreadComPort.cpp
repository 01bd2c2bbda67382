#include "UThreadComPort.h"

#include "StatusTexts.h"

#include <cwchar>
#include <utility>

#include "link/LinkStatus.h"

TThreadComPort* ThreadComPort = nullptr;

TThreadComPort::TThreadComPort(bool createSuspended, TWorkerWindow& window)
    : TThread(true), Packet(new uint8_t[PacketSize]), window_(window) {
  if (!createSuspended) Resume();
}

TThreadComPort::~TThreadComPort() {
  // Normally the window has ended the thread already; this covers an early exit.
  Stop();
}

void TThreadComPort::Start() {
  if (Started()) LinkUse.Owe(TLinkUse::WorkerStart);
  Resume();
}

void TThreadComPort::Stop() {
  LinkUse.Owe(TLinkUse::WorkerEnd);
  Terminate();
  if (Event) SetEvent(Event);
  WaitFor();
  // Whatever was due and never came: a thread that ended before its first call, a command
  // given as it was told to stop.
  LinkUse.SettleAll();
}

void TThreadComPort::GiveCommand(int32_t command) {
  // Owed before the worker can see it: a worker waking meanwhile settles it only after it has
  // opened its own count, so the command is never counted by nothing.
  LinkUse.Owe(TLinkUse::Command);
  Command = command;
  SetEvent(Event);
}

void TThreadComPort::HandOffFailed(std::exception_ptr error) { window_.ShowError(error); }

void TThreadComPort::RunHandOff(const std::function<void()>& work) { window_.RunHandOff(work); }

void TThreadComPort::ReleaseLink() {
  ComPtr<IReceivedSize> size = std::move(ReceivedSize);
  ComPtr<IComPort> port = std::move(Port);
  size.reset();
  port.reset();
}

void TThreadComPort::Execute() {
  Port->Reset();
  Port->SetInteractive(0);
  LinkUse.Settle(TLinkUse::WorkerStart);
  while (!Terminated()) {
    // A failed wait (no event) ends the worker instead of spinning through jobs; the close
    // takes it as the error it is.
    if (WaitForSingleObject(Event, INFINITE) != WAIT_OBJECT_0) {
      const DWORD error = GetLastError();
      WaitFailure = error ? error : ERROR_INVALID_HANDLE;
      break;
    }
    if (Terminated()) break;
    // The wake-up is counted until the window has heard that it ended; the command that
    // caused it is settled within it.
    const auto use = LinkUse.Count();
    LinkUse.Settle(TLinkUse::Command);
    const int32_t woken = Command.load();
    Synchronize([this, woken] { window_.JobStarted(woken); });
    if (InitLink()) {
      switch (Command.load()) {
        case cmComponents: ReadComponents(); break;
        case cmUpdate: UpdateComponents(); break;
        default: break;
      }
    }
    Command = cmNone;
    Synchronize([this] { window_.JobEnded(); });
  }
  {
    const auto use = LinkUse.Count();
    Port->SetInteractive(1);
  }
  Packet.reset();
}

bool TThreadComPort::InitLink() {
  ShowStatus(status_text::Initialising, false, 0);
  if (Port->Initialize() == LinkOk) return true;
  HandOffLinkFailure();
  return false;
}

void TThreadComPort::ShowStatus(const std::wstring& message, bool failed, int32_t code) {
  Action = uaStatus;
  Text = message;
  StatusFailed = failed;
  if (failed && code == LinkStatusUseErrorText) {
    std::wstring linkText = LinkErrorText();
    if (!linkText.empty()) Text = std::move(linkText);
  }
  HandOff();
}

void TThreadComPort::HandOff() {
  Synchronize([this] { ApplyToWindow(); });
}

void TThreadComPort::HandOffLinkFailure() {
  Action = uaLinkError;
  HandOff();
}

void TThreadComPort::HandOffComponentRows(TFileList records) {
  PendingFileList = std::move(records);
  Action = uaCompRows;
  Text = std::to_wstring(PendingFileList.size() + 1);
  HandOff();
}

void TThreadComPort::HandOffUpdateGridRepaint() {
  Action = uaUpdateGrid;
  Text = L"0";
  HandOff();
}

void TThreadComPort::HandOffGauge(int32_t percent) {
  Action = uaGauge;
  GaugePercent = percent;
  HandOff();
}

void TThreadComPort::ApplyToWindow() {
  switch (Action) {
    case uaLinkError: ShowLinkFailure(); break;
    case uaCompRows:
      if (Text != L"0")
        window_.InstallComponentList(std::move(PendingFileList),
                                     static_cast<int32_t>(std::wcstol(Text.c_str(), nullptr, 10)));
      PendingFileList.clear();
      break;
    case uaUpdateGrid:
      if (Text == L"0") window_.RepaintUpdateGrid();
      break;
    case uaGauge: window_.ShowGauge(GaugePercent); break;
    case uaStatus: window_.ShowStatusLine(Text, StatusFailed); break;
    default: break;
  }
}

// On the window thread while the worker waits in its hand-off: the window thread becomes the
// link's caller for the length of the bracket.
void TThreadComPort::ShowLinkFailure() {
  const auto use = LinkUse.Count();
  Port->SetInteractive(1);
  Port->SetErrorOption(0);
  Text = LinkErrorText();
  ShowStatus(Text, true, 0);
  Port->SetInteractive(0);
}

std::wstring TThreadComPort::LinkErrorText() {
  UniqueBstr text;
  Port->GetErrorText(text.put());
  return text ? std::wstring(text.get(), SysStringLen(text.get())) : std::wstring();
}
