#include "Gauge.h"

#include <algorithm>
#include <string>

#include "common/Scopes.h"
#include "common/WindowRouting.h"

namespace {

constexpr wchar_t GaugeClass[] = L"QemUtil.Gauge";

}  // namespace

bool TGauge::Create(HWND parent, int id, int left, int top, int width, int height) {
  TWindowRouting::Register<TGauge>(GaugeClass);
  // window_ is set at WM_NCCREATE.
  return CreateWindowExW(0, GaugeClass, L"0%", WS_CHILD | WS_VISIBLE, left, top, width, height,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), this) != nullptr;
}

void TGauge::SetProgress(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent == progress_) return;
  progress_ = percent;
  if (window_) {
    // The text is the gauge's window text too, for whatever reads it from outside.
    SetWindowTextW(window_.get(), (std::to_wstring(progress_) + L"%").c_str());
    InvalidateRect(window_.get(), nullptr, FALSE);
  }
}

void TGauge::RepaintNow() {
  if (!window_) return;
  InvalidateRect(window_.get(), nullptr, FALSE);
  UpdateWindow(window_.get());
}

LRESULT TGauge::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: OnPaint(); return 0;
    default: return DefWindowProcW(window_.get(), message, wParam, lParam);
  }
}

void TGauge::OnPaint() {
  HWND window = window_.get();
  PaintScope paint(window);
  HDC dc = paint.dc();
  if (!dc) return;
  RECT client;
  GetClientRect(window, &client);

  // Frame, then ground and bar inside it.
  FrameRect(dc, &client, GetSysColorBrush(COLOR_WINDOWFRAME));
  RECT inside = client;
  InflateRect(&inside, -1, -1);
  const int barWidth = (inside.right - inside.left) * progress_ / 100;
  const RECT bar{inside.left, inside.top, inside.left + barWidth, inside.bottom};
  const RECT ground{bar.right, inside.top, inside.right, inside.bottom};
  FillRect(dc, &bar, UniqueBrush(CreateSolidBrush(GaugeBarColor)).get());
  FillRect(dc, &ground, UniqueBrush(CreateSolidBrush(GaugeGroundColor)).get());

  const std::wstring text = std::to_wstring(progress_) + L"%";
  SavedDCState state(dc);
  SelectedObject font(dc, font_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GaugeTextColor);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inside,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}
