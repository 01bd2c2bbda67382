// Shared by the in-process window tests: the test thread is the window's message loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Dispatches this thread's messages until done() holds or five seconds pass.
inline bool PumpUntil(const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 5000) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

inline std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// Whether some pixel of the window's client area has the colour.
inline bool HasPixel(HWND window, COLORREF colour) {
  RECT client;
  GetClientRect(window, &client);
  HDC dc = GetDC(window);
  bool found = false;
  for (int y = 0; y < client.bottom && !found; ++y)
    for (int x = 0; x < client.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
  ReleaseDC(window, dc);
  return found;
}
