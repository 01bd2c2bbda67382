// The second yardstick of the start-up benchmark: a minimal window program that also creates
// the link component and configures it with the calls QemUtil makes at start-up, in the same
// order. What QemUtil needs beyond this is its own start-up cost. Given a file name, it writes
// there when it reached each step.
#include <windows.h>

#include "Stamps.h"
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
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"QemMinimalLink";
  RegisterClassW(&windowClass);
  // Made hidden first: the link is told the window's handle.
  HWND window = CreateWindowW(L"QemMinimalLink", L"Minimal", WS_OVERLAPPEDWINDOW, 256, 230, 540,
                              460, nullptr, nullptr, instance, nullptr);
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
    const SCP_Info info{5, title, window, true};
    port->Configure(&info);
    int32_t state = 0;
    const int32_t pending = port->QueryState(&state);
    port->SetTimeout(1000);
    port->SetInteractive(1);
    if (pending != 0) port->Initialize();
  }
  stamps.Mark(L"link configured");
  ShowWindow(window, SW_SHOWNORMAL);
  stamps.Mark(L"shown");
  UpdateWindow(window);
  stamps.Mark(L"painted");
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  if (comStarted) CoUninitialize();
  stamps.Save(StampsFile(commandLine).c_str());
  return 0;
}
