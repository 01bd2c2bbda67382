// The window's end: every way out (a close, the session's end, start-up ended, the message loop
// ended by itself) runs one close, once. It waits for the worker, closes and releases the link,
// frees what the window owns, and shows what was reported unless the session ends.
#include "TBF.h"

#include "AppError.h"
#include "Application.h"

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

bool TBF::FormCloseQuery() {
  CloseLink();
  link_.Free();
  FileList.reset();
  if (UpdateList) UpdateList->clear();
  UpdateList.reset();
  return true;
}

// The worker ends after its current job: its hand-offs are served meanwhile, and nothing else
// but sent messages. Then the link is closed and released. A worker that ended because its wait
// failed is reported: its commands went nowhere.
void TBF::CloseLink() {
  if (const DWORD failure = link_.Close())
    ShowError(std::make_exception_ptr(
        TAppError(L"Рабочий поток остановлен из-за ошибки: " + std::to_wstring(failure))));
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
    case TLifeOutcome::CloseLink:
      life_.MarkClose(true);
      CloseLink();
      break;
    default: break;
  }
  if (!ending) life_.AgreeSessionEnd(false);
}

// A yes is a promise: no new work starts until WM_ENDSESSION says how the session went.
bool TBF::OnQueryEndSession() {
  const bool allowed = life_.On(TWindowEvent::QueryEndSession, LinkInUse()) == TLifeOutcome::Allow;
  if (allowed) life_.AgreeSessionEnd(true);
  return allowed;
}

// Posted as the outermost nested call returned with a close marked or reports queued; they may
// have been carried out since.
void TBF::OnNestedCallsReturned() {
  if (life_.On(TWindowEvent::NestedReturned) != TLifeOutcome::RunMarked) return;
  ShowPendingReports();  // none once the session ends; a close during one of them is marked
  if (!life_.CloseMarked()) return;
  RunClose(life_.SessionEndMarked());
}

void TBF::RunClose(bool sessionEnds) {
  if (life_.Ended()) return;  // entered once, whichever way out came first
  if (sessionEnds) life_.MarkClose(true);
  life_.SetState(TWindowState::Closing);
  FormCloseQuery();
  FinishClose(life_.SessionEndMarked());
  life_.SetState(TWindowState::Closed);
}

void TBF::CompleteClose() {
  CloseLink();
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
