// The test thread's message pump while it waits for something to happen: it serves either the
// hand-offs sent to it alone (posted messages and input stay queued, as while the window waits
// for its worker), or every message (the test thread is a window's message loop).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>

enum class TServe { HandOffs, Everything };

// A bound on something the test thread waits in that no check can interrupt (a message
// delivered into a loop that never returns, a close that waits for ever): past it, the test
// program ends at once with a line that says what hung, instead of at the test's time limit.
class TDeadline {
 public:
  TDeadline(DWORD limitMs, const char* what) : previousAt_(At()), previousWhat_(What()) {
    Arm(GetTickCount() + limitMs, what);
    static const bool watching = [] {
      CloseHandle(CreateThread(nullptr, 0, &Watch, nullptr, 0, nullptr));
      return true;
    }();
    (void)watching;
  }
  ~TDeadline() { Arm(previousAt_, previousWhat_); }
  TDeadline(const TDeadline&) = delete;
  TDeadline& operator=(const TDeadline&) = delete;

 private:
  static std::atomic<DWORD>& At() {
    static std::atomic<DWORD> at{0};
    return at;
  }
  static std::atomic<const char*>& What() {
    static std::atomic<const char*> what{nullptr};
    return what;
  }
  // Disarmed while the time changes, so that the watcher never pairs one bound with another's.
  static void Arm(DWORD at, const char* what) {
    What() = nullptr;
    At() = at;
    What() = what;
  }
  static DWORD WINAPI Watch(void*) {
    for (;;) {
      Sleep(100);
      const char* what = What();
      const DWORD at = At();
      if (what && what == What() && static_cast<LONG>(GetTickCount() - at) > 0) {
        std::fprintf(stderr, "hung: %s did not return within its bound\n", what);
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 4);
      }
    }
  }
  DWORD previousAt_;
  const char* previousWhat_;
};

// Pumps until done() holds or the time runs out (five seconds unless told: a guard against a
// hang, never a verdict on speed); whether done() came to hold.
// A message delivered meanwhile that never returns ends the test program 5 s past the limit.
inline bool PumpUntil(const std::function<bool()>& done, TServe serve, DWORD limitMs = 5000) {
  const TDeadline bound(limitMs + 5000, "a message delivered while pumping");
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > limitMs) return false;
    MSG message;
    if (serve == TServe::HandOffs) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      continue;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}
