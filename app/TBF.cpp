#include "TBF.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "AppError.h"
#include "Application.h"
#include "Checkcomreg.h"
#include "FolderDialog.h"
#include "LinkComponent.h"
#include "WidgetIds.h"
#include "common/FileSystem.h"
#include "common/SystemErrorText.h"
#include "common/WindowRouting.h"
#include "link/Cp1251.h"
#include "link/LinkConfiguration.h"
#include "views/Accessible.h"
#include "views/GridContent.h"

TBF* BF = nullptr;

namespace {

constexpr wchar_t ApplicationTitle[] = L"Блок диагностики: информация";
constexpr wchar_t EventName[] = L"QemUtil.Thread.Event";
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

// A start-up the user chose to end in the "HRCHECK: " box: the entry routine shows it
// without a text.
struct TLinkCreationFailed {};

// What a start-up failure message says of its cause: the system's text, else the code.
std::wstring CauseText(DWORD code) {
  const std::wstring text = SystemErrorText(code);
  return text.empty() ? std::to_wstring(code) : text;
}

}  // namespace

TStartupServices TStartupServices::System() {
  TStartupServices services;
  services.checkRegistration = [] { return CheckComReg(CLSID_ComPort, L"Varnel.dll"); };
  services.createLink = [](ComPtr<IComPort>& port) { return CreateLinkComponent(port); };
  services.createWorker = [](TWorkerWindow& window) {
    return std::make_unique<TThreadComPort>(true, window);
  };
  return services;
}

// Every call on the window thread that may run a message loop of its own.
template <typename Call>
decltype(auto) TBF::Nested(Call&& call) {
  struct TScope {
    TBF& form;
    explicit TScope(TBF& f) : form(f) { form.life_.Enter(); }
    ~TScope() {
      // Carried out from the main loop, once nothing of this call is on the stack.
      if (form.life_.Leave() == TLifeOutcome::RunMarked)
        PostMessageW(form.window_.get(), WM_NESTED_CALLS_RETURNED, 0, 0);
    }
  } scope(*this);
  return call();
}

// Every call of the link on the window thread: counted as the link's use, and nested, since the
// component may run a message loop of its own inside any of its calls.
template <typename Call>
decltype(auto) TBF::LinkCall(Call&& call) {
  const auto use = worker_->LinkUse.Count();
  return Nested(std::forward<Call>(call));
}

TBF::TBF() = default;

TBF::~TBF() {
  // Every way out has run the close already, but for an error on its way to the entry
  // routine's display: its window's end must not post the quit request that would end that
  // display at once.
  quietEnd_ = true;
  RunClose(false);
  if (window_) SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
  window_.reset();
  if (BF == this) BF = nullptr;
}

void TBF::LoopEnded() { RunClose(false); }

// Start-up, in this order; the worker is resumed last, once the link is made and configured.
bool TBF::Create(const TStartupServices& services) {
  BF = this;
  stepDone_ = services.stepDone;
  BuildForm();  // both record lists start absent
  StepDone(L"widgets and fonts");
  NameTheWindow();
  if (!LinkRegistered(services)) return false;
  StepDone(L"registration check");
  SetUpGrids();
  SetActivePage(nullptr);
  browseStart_ = ExecutableFolder();
  StepDone(L"grids");
  CreateWorker(services);
  StepDone(L"worker and its event");
  if (!CreateLink(services)) return false;
  // A close or the session's end served by a dialog of the component, in its creation or in
  // its configuration.
  if (life_.CloseMarked()) return StopStartup();
  StepDone(L"link created");
  ConfigureLink();
  if (life_.CloseMarked()) return StopStartup();
  StepDone(L"link configured");
  // From now on the worker is the link's caller.
  worker_->Start();
  life_.SetState(TWindowState::Idle);
  return true;
}

void TBF::StepDone(const wchar_t* step) const {
  if (stepDone_) stepDone_(step);
}

void TBF::BuildForm() {
  TWindowRouting::Register<TBF>(
      MainWindowClass, {.background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), .icon = 1});
  if (const DWORD failure = BuildWidgets(this); failure != ERROR_SUCCESS)
    throw TAppError(L"Не удалось создать главное окно: " + CauseText(failure));
}

void TBF::NameTheWindow() {
  Application.Title = ApplicationTitle;
  FormStorage.SetIniFileName(ChangeFileExt(ExecutablePath(), L".ini"));
  SetWindowTextW(window_.get(), Application.Title.c_str());
  SetWindowTextW(lbStatus, L"");
}

// Ends start-up quietly: the window is never shown, the message loop ends at once, and the
// close ends what was made (the worker, the link).
bool TBF::StopStartup() {
  life_.SetState(TWindowState::Refused);
  Application.ShowMainForm = false;
  Application.Terminate();
  RunClose(life_.SessionEndMarked());
  return false;
}

bool TBF::LinkRegistered(const TStartupServices& services) {
  const std::wstring refusal = services.checkRegistration();
  if (refusal.empty()) return true;
  ShowMessageBox(refusal, MB_OK | MB_ICONSTOP);
  return StopStartup();
}

void TBF::SetUpGrids() {
  SetUpGrid(dgComp, WidthFactors<TFileStruct>(CompGridColumns), CompGridWidthBase);
  SetUpGrid(dgUpdate, WidthFactors<TUpdateStruct>(UpdateGridColumns), UpdateGridWidthBase);
  dgComp.SetDrawCellHandler([this](HDC dc, int column, int row, const RECT& cell) {
    dgCompDrawCell(dc, column, row, cell);
  });
  dgUpdate.SetDrawCellHandler([this](HDC dc, int column, int row, const RECT& cell) {
    dgUpdateDrawCell(dc, column, row, cell);
  });
  // What readers are told the cells show.
  dgComp.SetCellTextHandler([this](int column, int row) { return dgCompCellText(column, row); });
  dgUpdate.SetCellTextHandler(
      [this](int column, int row) { return dgUpdateCellText(column, row); });
}

// The worker, suspended, and its wake-up event (auto-reset, not signalled). The window owns
// both and frees them itself (ReleaseWorker).
void TBF::CreateWorker(const TStartupServices& services) {
  worker_ = services.createWorker(*this);
  if (!worker_ || !worker_->Started())
    throw TAppError(L"Не удалось создать рабочий поток: " +
                    CauseText(worker_ ? worker_->StartError() : ERROR_OUTOFMEMORY));
  ThreadComPort = worker_.get();
  // The event by its name is shared by every running copy: a signal there wakes whichever
  // copy's worker waits first. It is kept for whoever looks for a running copy by that name;
  // this copy's commands and its stop go to an event of its own.
  namedEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, EventName));
  wakeEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!wakeEvent_)
    throw TAppError(L"Не удалось создать событие \"QemUtil.Thread.Event\": " +
                    CauseText(GetLastError()));
  worker_->Event = wakeEvent_.get();
}

// The link component; the worker holds the only reference.
bool TBF::CreateLink(const TStartupServices& services) {
  // The component may show a dialog of its own while it is being made.
  const HRESULT created = LinkCall([&] { return services.createLink(worker_->Port); });
  if (FAILED(created) || !worker_->Port) {
    // Asked to end meanwhile: there is nothing to ask the user.
    if (life_.CloseMarked()) return StopStartup();
    const int answer = Nested([&] {
      return ShowHrCheck(FAILED(created) ? created : E_POINTER, L"Create(intfObj)", L"TBF.cpp",
                         __LINE__);
    });
    // Asked to end while the question was up: it ends, whatever the answer.
    if (life_.CloseMarked()) return StopStartup();
    if (answer == IDYES) throw TLinkCreationFailed{};
    // No and Cancel: the program cannot work without the component; end as quietly as a
    // refused registration.
    return StopStartup();
  }
  LinkCall([&] { worker_->AskForReceivedSize(); });
  return true;
}

void TBF::ConfigureLink() {
  LinkCall([&] {
    ::ConfigureLink(*worker_->Port.get(), ToCp1251(Application.Title).c_str(), window_.get());
  });
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

void TBF::GiveCommand(int32_t command) {
  if (worker_) worker_->GiveCommand(command);
}

void TBF::miCompClick() {
  SetActivePage(tsComponent);
  GiveCommand(cmComponents);
}

void TBF::miExitClick() { PostMessageW(window_.get(), WM_CLOSE, 0, 0); }

bool TBF::FormCloseQuery() {
  EndWorkerAndLink();
  ReleaseWorker();
  FileList.reset();
  if (UpdateList) UpdateList->clear();
  UpdateList.reset();
  return true;
}

// The worker ends after its current job: its hand-offs are served meanwhile, and nothing else
// but sent messages. Then the link is closed and released.
void TBF::EndWorkerAndLink() {
  if (worker_) worker_->Stop();
  CloseLink();
}

// Each of these calls may show the component's dialog, and so may its last Release. Port is
// empty once the release has begun, so that the link is closed and released once, whoever
// comes here.
void TBF::CloseLink() {
  if (!worker_ || !worker_->Port) return;
  LinkCall([&] {
    worker_->Port->Reset();
    worker_->Port->Close();
    worker_->Port->Shutdown();
  });
  LinkCall([&] { worker_->ReleaseLink(); });
}

void TBF::ReleaseWorker() {
  if (!worker_) return;
  worker_->Event = nullptr;
  wakeEvent_.reset();
  namedEvent_.reset();
  ThreadComPort = nullptr;
  worker_.reset();
}

void TBF::SavePlacement() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!GetWindowPlacement(window_.get(), &placement)) return;
  const int length = GetWindowTextLengthW(deUpdate);
  std::wstring folder(length + 1, L'\0');
  folder.resize(GetWindowTextW(deUpdate, folder.data(), length + 1));
  FormStorage.Save(placement.rcNormalPosition.left, placement.rcNormalPosition.top, folder);
}

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
  Nested([&] {
    try {
      work();
    } catch (...) {
      ShowError(std::current_exception());  // queued: the worker waits in this hand-off
    }
  });
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
    case WM_QUERYENDSESSION:
      return life_.On(TWindowEvent::QueryEndSession, LinkInUse()) == TLifeOutcome::Allow;
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

void TBF::OnCloseRequest() {
  switch (life_.On(TWindowEvent::CloseRequest)) {
    case TLifeOutcome::Mark: life_.MarkClose(false); break;
    case TLifeOutcome::Close: RunClose(false); break;
    default: break;
  }
}

// The system ends the process as soon as WM_ENDSESSION(TRUE) returns.
void TBF::OnEndSession(bool ending) {
  switch (life_.On(ending ? TWindowEvent::EndSession : TWindowEvent::EndCancelled)) {
    case TLifeOutcome::Mark: life_.MarkClose(true); break;
    case TLifeOutcome::Close: RunClose(true); break;
    case TLifeOutcome::CompleteClose: CompleteClose(); break;
    default: break;
  }
}

// Posted as the outermost nested call returned with a close marked or reports queued; they may
// have been carried out since.
void TBF::OnNestedCallsReturned() {
  if (life_.On(TWindowEvent::NestedReturned) != TLifeOutcome::RunMarked) return;
  ShowPendingReports();  // none once the session ends; a close during one of them is marked
  if (!life_.CloseMarked()) return;
  RunClose(life_.SessionEndMarked());
}

bool TBF::LinkInUse() const { return worker_ && worker_->LinkUse.InUse(); }

void TBF::RunClose(bool sessionEnds) {
  if (life_.Ended()) return;  // entered once, whichever way out came first
  if (sessionEnds) life_.MarkClose(true);
  life_.SetState(TWindowState::Closing);
  FormCloseQuery();
  FinishClose(life_.SessionEndMarked());
  life_.SetState(TWindowState::Closed);
}

void TBF::CompleteClose() {
  EndWorkerAndLink();
  FinishClose(true);
}

void TBF::FinishClose(bool sessionEnds) {
  if (!window_) return;
  // A session's end waits on no box: the session is over, and the status line tells what
  // failed.
  if (sessionEnds) life_.MarkClose(true);
  ShowPendingReports();
  if (shown_) SavePlacement();
  DestroyWindow(window_.get());
}

// One at a time: a session's end marked under one box drops the rest.
void TBF::ShowPendingReports() {
  for (const std::exception_ptr& report : life_.TakeReports()) ShowError(report);
}

void TBF::OnBrowseFolder() {
  // Start at the folder in the field when it exists, else beside the executable.
  std::wstring start = UpdateFolder();
  if (start.empty() || !IsFolder(start)) start = browseStart_;
  if (auto chosen = Nested([&] { return BrowseForFolder(window_.get(), FolderPrompt, start); }))
    SetWindowTextW(deUpdate, chosen->c_str());  // EN_CHANGE calls deUpdateChange
}
