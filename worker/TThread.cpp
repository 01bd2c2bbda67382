#include "TThread.h"

#include <process.h>

#include "common/WindowRouting.h"

namespace {

constexpr UINT WM_HANDOFF = WM_APP + 1;
constexpr wchar_t HandOffClass[] = L"QemUtil.HandOff";

}  // namespace

TThread::TThread(bool createSuspended) : windowThreadId_(GetCurrentThreadId()) {
  RegisterWindowClass(HandOffClass, &TThread::HandOffProc);
  // A message-only window: sent messages reach it on this thread, it is never shown.
  handOffWindow_.reset(CreateWindowExW(0, HandOffClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       GetModuleHandleW(nullptr), nullptr));
  if (!handOffWindow_) {
    startError_ = GetLastError();
    return;
  }
  const uintptr_t thread =
      _beginthreadex(nullptr, 0, &TThread::ThreadStart, this, CREATE_SUSPENDED, nullptr);
  thread_.reset(reinterpret_cast<HANDLE>(thread));
  if (!thread_) startError_ = GetLastError();
  if (!createSuspended) Resume();
}

TThread::~TThread() {
  // A thread that was never resumed is let go without running Execute.
  if (!resumed_) abandoned_ = true;
  Terminate();
  Resume();
  WaitFor();
}

void TThread::Resume() {
  if (thread_ && !resumed_) {
    resumed_ = true;
    ResumeThread(thread_.get());
  }
}

unsigned __stdcall TThread::ThreadStart(void* self) {
  auto* thread = static_cast<TThread*>(self);
  // A resumed thread runs Execute even when told to end before it got going: whatever Execute
  // does at its start and end is done either way.
  if (!thread->abandoned_) thread->Execute();
  return 0;
}

void TThread::WaitFor() {
  if (!thread_ || !resumed_) return;
  HANDLE thread = thread_.get();
  if (!OnWindowThread()) {
    WaitForSingleObject(thread, INFINITE);
    return;
  }
  while (!Ended()) {
    // Delivers the messages already sent to this thread (the wait below only wakes for new
    // ones); posted messages and input stay queued. A failed wait is no end: it is retried,
    // briefly, so that a thread still inside the link is never taken for ended.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    if (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_FAILED)
      Sleep(1);
  }
}

bool TThread::Ended() const {
  return !thread_ || !resumed_ || WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0;
}

void TThread::Synchronize(const std::function<void()>& work) {
  if (OnWindowThread()) {
    work();
    return;
  }
  SendMessageW(handOffWindow_.get(), WM_HANDOFF, reinterpret_cast<WPARAM>(this),
               reinterpret_cast<LPARAM>(const_cast<std::function<void()>*>(&work)));
}

LRESULT CALLBACK TThread::HandOffProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_HANDOFF) {
    auto* thread = reinterpret_cast<TThread*>(wParam);
    // No exception may cross the window procedure back into the system: it is reported.
    try {
      thread->RunHandOff(*reinterpret_cast<const std::function<void()>*>(lParam));
    } catch (...) {
      thread->HandOffFailed(std::current_exception());
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
