// The yardstick of the start-up benchmark: the least a Win32 program does to show a window.
// Given a file name, it writes there when it reached its entry, showed and painted its window.
#include <windows.h>

#include "MinimalWindow.h"

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
  HWND window = MakeMinimalWindow(instance, L"QemMinimal", Procedure);
  stamps.Mark(L"window created");
  ShowAndRun(window, stamps);
  stamps.Save(StampsFile(commandLine).c_str());
  return 0;
}
