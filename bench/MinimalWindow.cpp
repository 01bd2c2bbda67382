// The yardstick of the start-up benchmark: the least a Win32 program does to show a window.
// Given a file name, it writes there when it reached its entry, showed and painted its window.
#include <windows.h>

#include "Stamps.h"

static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  TStamps stamps;
  stamps.Mark(L"entry");
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"QemMinimal";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowW(L"QemMinimal", L"Minimal", WS_OVERLAPPEDWINDOW, 256, 230, 540, 460,
                              nullptr, nullptr, instance, nullptr);
  stamps.Mark(L"window created");
  ShowWindow(window, SW_SHOWNORMAL);
  stamps.Mark(L"shown");
  UpdateWindow(window);
  stamps.Mark(L"painted");
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  stamps.Save(StampsFile(commandLine).c_str());
  return 0;
}
