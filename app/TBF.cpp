// The main window TBF: its window procedure, menu and widget handlers, and what the worker's
// hand-offs do to it. Its start-up steps are in TBF_Startup.cpp, its one close in TBF_Close.cpp,
// its form in TBF_Form.cpp, the update page in TBF_Update.cpp, the cells in TBF_Grids.cpp.
#include "TBF.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "AppError.h"
#include "Application.h"
#include "FolderDialog.h"
#include "WidgetIds.h"
#include "common/FileSystem.h"
#include "common/WindowRouting.h"
#include "views/Accessible.h"

TBF* BF = nullptr;

namespace {

constexpr wchar_t FolderPrompt[] = L"Выберите папку с обновляемыми файлами";
// Posted when a hand-off or a call of the link has returned with something left for after it.
constexpr UINT WM_NESTED_CALLS_RETURNED = WM_APP + 2;

// Why the session should wait, by the command the worker woke for; a lost command's extra
// wake-up only initialises the link.
const wchar_t* ShutdownBlockText(int32_t command) {
  switch (command) {
    case cmComponents:
      return L"Идёт чтение списка компонентов блока диагностики. Не завершайте сеанс до его окончания.";
    case cmUpdate:
      return L"Идёт обновление компонентов блока диагностики. Не завершайте сеанс до его окончания.";
    default:
      return L"Идёт обмен данными с блоком диагностики. Не завершайте сеанс до его окончания.";
  }
}

}  // namespace

TBF::TBF() : link_([this](const std::function<void()>& call) { Nested(call, true); }) {}

TBF::TNestedScope::TNestedScope(TBF& form, bool linkCall) : form_(form), linkCall_(linkCall) {
  form_.life_.Enter(linkCall);
}

TBF::TNestedScope::~TNestedScope() {
  // Carried out from the main loop, once nothing of this call is on the stack.
  if (form_.life_.Leave(linkCall_) == TLifeOutcome::RunMarked)
    PostMessageW(form_.window_.get(), WM_NESTED_CALLS_RETURNED, 0, 0);
}

void TBF::ShowMain() {
  // The placement store first, then FormShow, then the window appears.
  const TStoredPlacement stored = FormStorage.Load();
  if (stored.left || stored.top) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(window_.get(), &placement);
    const RECT& normal = placement.rcNormalPosition;
    const int width = normal.right - normal.left, height = normal.bottom - normal.top;
    const int left = stored.left.value_or(normal.left), top = stored.top.value_or(normal.top);
    // Stored where it was made (the designed position, the usual case): moving it there again
    // would only cost a round of window messages.
    if (left != normal.left || top != normal.top) {
      placement.rcNormalPosition = {left, top, left + width, top + height};
      placement.showCmd = SW_HIDE;
      // SetWindowPlacement keeps the window on a monitor that exists now.
      SetWindowPlacement(window_.get(), &placement);
    }
  }
  if (stored.folder) SetWindowTextW(deUpdate, stored.folder->c_str());
  FormShow();
  StepDone(L"placement");
  shown_ = true;
  ShowWindow(window_.get(), SW_SHOWNORMAL);
  StepDone(L"shown");
  UpdateWindow(window_.get());
  StepDone(L"first paint");
}

void TBF::FormShow() {
  if (GetWindowTextLengthW(deUpdate) != 0) return;
  const std::wstring folder = browseStart_ + L"Update";  // beside the executable
  if (IsFolder(folder)) SetWindowTextW(deUpdate, folder.c_str());
}

void TBF::GiveCommand(int32_t command) { link_.GiveCommand(command); }

void TBF::miCompClick() {
  SetActivePage(tsComponent);
  GiveCommand(cmComponents);
}

void TBF::miExitClick() { PostMessageW(window_.get(), WM_CLOSE, 0, 0); }

int TBF::ShowMessageBox(const std::wstring& text, UINT flags) {
  return Nested(
      [&] { return MessageBoxW(window_.get(), text.c_str(), Application.Title.c_str(), flags); });
}

HWND TBF::ActivePage() const {
  const int index = static_cast<int>(SendMessageW(pcMain, TCM_GETCURSEL, 0, 0));
  return index == 0 ? tsComponent : index == 1 ? tsUpdate : nullptr;
}

void TBF::SetActivePage(HWND page) {
  const int index = page == tsComponent ? 0 : page == tsUpdate ? 1 : -1;
  SendMessageW(pcMain, TCM_SETCURSEL, index, 0);
  // Show the new page before hiding the old one: no flash of the empty page control.
  if (page) ShowWindow(page, SW_SHOW);
  for (HWND other : {tsComponent, tsUpdate})
    if (other != page) ShowWindow(other, SW_HIDE);
  if (life_.Open())
    life_.SetState(page == tsComponent ? TWindowState::ComponentsPage
                   : page == tsUpdate  ? TWindowState::UpdatePage
                                       : TWindowState::Idle);
}

// Hand-offs from the worker.

void TBF::ShowStatusLine(const std::wstring& text, bool failed) {
  statusFailed_ = failed;
  SetWindowTextW(lbStatus, text.c_str());
  InvalidateRect(lbStatus, nullptr, TRUE);
  UpdateWindow(lbStatus);
  AnnounceChange(EVENT_OBJECT_NAMECHANGE, lbStatus);
}

void TBF::InstallComponentList(TFileList&& records, int32_t rowCount) {
  if (!FileList) FileList = std::make_unique<TFileList>();
  *FileList = std::move(records);
  // The drawing takes row r's record from entry r - 1 unchecked: never more rows than records.
  const int rows = std::clamp<int32_t>(rowCount, 1, static_cast<int32_t>(FileList->size()) + 1);
  dgComp.Show(false);
  dgComp.SetRowCount(rows);
  dgComp.Show(true);
  dgComp.RepaintNow();
}

void TBF::RepaintUpdateGrid() {
  dgUpdate.RepaintNow();
  dgUpdate.AnnounceChangedRows();  // a status changed
}

void TBF::ShowGauge(int32_t percent) {
  Gauge.SetProgress(percent);
  Gauge.RepaintNow();
}

TUpdateList TBF::UpdateCandidates() { return UpdateList ? *UpdateList : TUpdateList(); }

void TBF::JobStarted(int32_t command) {
  shutdownBlock_.Register(window_.get(), ShutdownBlockText(command));
}

void TBF::JobEnded() { shutdownBlock_.Remove(window_.get()); }

std::wstring TBF::UpdateFolder() {
  const int length = GetWindowTextLengthW(deUpdate);
  std::wstring folder(length + 1, L'\0');
  folder.resize(GetWindowTextW(deUpdate, folder.data(), length + 1));
  return folder;
}

// The window procedure.

// A handler's error is shown as the entry routine shows one, and the program goes on.
void TBF::OnHandlerError() { ShowError(std::current_exception()); }

void TBF::ShowError(std::exception_ptr error) {
  switch (life_.On(TWindowEvent::Report)) {
    case TLifeOutcome::Queue: life_.Queue(error); return;
    case TLifeOutcome::Show: break;
    default: return;  // the session ends: no box holds it up
  }
  std::wstring message;
  try {
    std::rethrow_exception(error);
  } catch (const TAppError& shown) {
    message = shown.Message();
  } catch (...) {
  }
  // Owned by the window, which is disabled while it is up.
  Nested([&] { Application.ShowException(message, window_.get()); });
}

void TBF::RunHandOff(const std::function<void()>& work) {
  Nested(
      [&] {
        try {
          work();
        } catch (...) {
          ShowError(std::current_exception());  // queued: the worker waits in this hand-off
        }
      },
      true);
}

LRESULT TBF::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (life_.On(TWindowEvent::Command) == TLifeOutcome::Run)
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_NOTIFY: OnNotify(*reinterpret_cast<const NMHDR*>(lParam)); return 0;
    case WM_CTLCOLORSTATIC:
      return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CLOSE: OnCloseRequest(); return 0;
    case WM_QUERYENDSESSION: return OnQueryEndSession();
    case WM_ENDSESSION: OnEndSession(wParam != 0); return 0;
    case WM_DESTROY:
      if (!quietEnd_) Application.Terminate();
      return 0;
    case WM_NESTED_CALLS_RETURNED: OnNestedCallsReturned(); return 0;
    default: return DefWindowProcW(window_.get(), message, wParam, lParam);
  }
}

void TBF::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case idMiComp:
      if (!control) miCompClick();
      break;
    case idMiUpdate:
      if (!control) miUpdateClick(false);
      break;
    case idMiExit:
      if (!control) miExitClick();
      break;
    case idDeUpdate:
      if (code == EN_CHANGE) deUpdateChange();
      break;
    case idBtUpdate:
      if (code == BN_CLICKED) btUpdateClick();
      break;
    case idDeUpdateBrowse:
      if (code == BN_CLICKED) OnBrowseFolder();
      break;
    default: break;
  }
}

void TBF::OnNotify(const NMHDR& header) {
  // The 1-pixel tabs still take the keyboard: keep the shown page in step with the tab.
  if (header.hwndFrom == pcMain && header.code == TCN_SELCHANGE) {
    const int index = static_cast<int>(SendMessageW(pcMain, TCM_GETCURSEL, 0, 0));
    SetActivePage(index == 0 ? tsComponent : index == 1 ? tsUpdate : nullptr);
  }
}

LRESULT TBF::OnCtlColorStatic(HDC dc, HWND control) {
  COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
  if (control == lbStatus && statusFailed_) text = FailureInkColor;
  SetTextColor(dc, text);
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(faceBrush_);
}

void TBF::OnBrowseFolder() {
  // Start at the folder in the field when it exists, else beside the executable.
  std::wstring start = UpdateFolder();
  if (start.empty() || !IsFolder(start)) start = browseStart_;
  if (auto chosen = Nested([&] { return BrowseForFolder(window_.get(), FolderPrompt, start); }))
    SetWindowTextW(deUpdate, chosen->c_str());  // EN_CHANGE calls deUpdateChange
}
