// The second yardstick of the start-up benchmark: a minimal window program that also creates
// the link component and configures it with the calls QemUtil makes at start-up, in the same
// order. It carries QemUtil's resources (its manifest: common controls 6) and registers the same
// common controls, which the loader and the system charge any such program for; what QemUtil
// needs beyond this is its own start-up cost. Given a file name, it writes there when it
// reached each step.
#include <windows.h>
#include <commctrl.h>

#include "MinimalWindow.h"
#include "app/Application.h"
#include "link/LinkConfiguration.h"
#include "link/Varnel_tlb.h"

namespace {

IComPort* port = nullptr;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    // Closed as QemUtil closes it, so that the stand-in ends each run the same way.
    if (port) {
      port->Reset();
      port->Close();
      port->Shutdown();
      port->Release();
      port = nullptr;
    }
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  TStamps stamps;
  stamps.Mark(L"entry");
  INITCOMMONCONTROLSEX controls{sizeof controls, CommonControlClasses};
  InitCommonControlsEx(&controls);
  stamps.Mark(L"common controls");
  // Made hidden first: the link is told the window's handle.
  HWND window = MakeMinimalWindow(instance, L"QemMinimalLink", Procedure);
  stamps.Mark(L"window created");
  const bool comStarted = SUCCEEDED(CoInitialize(nullptr));
  stamps.Mark(L"COM start-up");
  HRESULT created =
      CoCreateInstance(CLSID_ComPort, nullptr, 21, IID_IComPort, reinterpret_cast<void**>(&port));
  if (created == E_INVALIDARG)
    created =
        CoCreateInstance(CLSID_ComPort, nullptr, 5, IID_IComPort, reinterpret_cast<void**>(&port));
  stamps.Mark(L"link created");
  if (SUCCEEDED(created) && port) {
    // "Блок диагностики: информация" in code page 1251, as QemUtil passes its title.
    static const char title[] =
        "\xC1\xEB\xEE\xEA \xE4\xE8\xE0\xE3\xED\xEE\xF1\xF2\xE8\xEA\xE8: \xE8\xED\xF4\xEE\xF0\xEC\xE0\xF6\xE8\xFF";
    ConfigureLink(*port, title, window);
  }
  stamps.Mark(L"link configured");
  ShowAndRun(window, stamps);
  if (comStarted) CoUninitialize();
  stamps.Save(StampsFile(commandLine).c_str());
  return 0;
}
