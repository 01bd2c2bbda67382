// What the start-up benchmark's two yardsticks share: the least a Win32 program does to make a
// window, show it and run it, noting the moments it reached.
#pragma once

#include <windows.h>

#include "Stamps.h"

inline HWND MakeMinimalWindow(HINSTANCE instance, const wchar_t* className, WNDPROC procedure) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = className;
  RegisterClassW(&windowClass);
  return CreateWindowW(className, L"Minimal", WS_OVERLAPPEDWINDOW, 256, 230, 540, 460, nullptr,
                       nullptr, instance, nullptr);
}

// Shows and paints the window, then serves it until it is closed.
inline void ShowAndRun(HWND window, TStamps& stamps) {
  ShowWindow(window, SW_SHOWNORMAL);
  stamps.Mark(L"shown");
  UpdateWindow(window);
  stamps.Mark(L"painted");
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}
