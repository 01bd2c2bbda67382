// The test thread's message pump while it waits for something to happen: it serves either the
// hand-offs sent to it alone (posted messages and input stay queued, as while the window waits
// for its worker), or every message (the test thread is a window's message loop).
#pragma once

#include <windows.h>

#include <functional>

enum class TServe { HandOffs, Everything };

// Pumps until done() holds or the time runs out (five seconds unless told: a guard against a
// hang, never a verdict on speed); whether done() came to hold.
inline bool PumpUntil(const std::function<bool()>& done, TServe serve, DWORD limitMs = 5000) {
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
