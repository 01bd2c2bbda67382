// Shared by the in-process window tests: the test thread is the window's message loop.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/TBF.h"
#include "common/Scopes.h"
#include "common/WindowRouting.h"
#include "support/FakeComPort.h"
#include "support/Pump.h"

// A worker whose component job is the test's own.
class TestWorker : public TThreadComPort {
 public:
  using TThreadComPort::TThreadComPort;
  std::function<void(TestWorker&)> job;

 protected:
  void ReadComponents() override {
    if (job) job(*this);
  }
};

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

// Makes and shows the window as the program does, with no placement file of a test's.
inline bool OpenMain(TBF& form, const TStartupServices& services) {
  if (!form.Create(services)) return false;
  form.PlacementStore().SetIniFileName(L"");
  form.ShowMain();
  return true;
}

// Closes the window as its close button does and serves it until it is gone.
inline bool CloseMain(TBF& form) {
  if (!form.Handle()) return true;
  PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
  return PumpUntil([&] { return form.Handle() == nullptr; }, TServe::Everything);
}

// The grid or the gauge behind a widget of the window.
template <typename View>
const View& ViewOf(const TBF& form, TWidgetId id) {
  const View* view = TWindowRouting::ObjectOf<View>(form.Widget(id));
  if (!view) throw std::logic_error("no such view in the window");
  return *view;
}
inline const TDrawGrid& GridOf(const TBF& form, TWidgetId id) {
  return ViewOf<TDrawGrid>(form, id);
}
inline const TGauge& GaugeOf(const TBF& form) { return ViewOf<TGauge>(form, idGauge); }

inline std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// Whether some pixel of the window's client area has the colour.
inline bool HasPixel(HWND window, COLORREF colour) {
  RECT client;
  GetClientRect(window, &client);
  const WindowDC dc(window);
  bool found = false;
  for (int y = 0; y < client.bottom && !found; ++y)
    for (int x = 0; x < client.right && !found; ++x) found = GetPixel(dc.get(), x, y) == colour;
  return found;
}
