// Serving the worker's hand-offs on the test thread, which plays the window thread.
#pragma once

#include <windows.h>

#include <functional>

// Serves the hand-offs sent to this thread until done() holds or the time runs out (a
// safety net against a hang, never a verdict on speed).
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 5000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > limitMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  return true;
}
