// Shared by the in-process window tests: the test thread is the window's message loop.
#pragma once

#include <windows.h>

#include <string>

#include "app/TBF.h"
#include "support/FakeComPort.h"
#include "support/Pump.h"

// Start-up as a window test stands it in: the link component registered, the fake link given
// out, and the worker the test makes.
inline TStartupServices TestServices(
    FakeComPort& port,
    std::function<std::unique_ptr<TThreadComPort>(TWorkerWindow&)> createWorker) {
  TStartupServices services;
  services.checkRegistration = [] { return std::wstring(); };
  services.createLink = [&port](ComPtr<IComPort>& out) {
    port.AddRef();
    out.reset(&port);
    return S_OK;
  };
  services.createWorker = std::move(createWorker);
  return services;
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
