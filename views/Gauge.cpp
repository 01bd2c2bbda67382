#include "Gauge.h"

#include <algorithm>
#include <new>
#include <string>

#include "common/Scopes.h"
#include "common/WindowRouting.h"
#include "views/Accessible.h"
#include "views/Palette.h"

namespace {

using namespace accessible;

constexpr wchar_t GaugeClass[] = L"QemUtil.Gauge";

// The gauge as readers see it: a progress bar with the shown percentage as its value.
class TGaugeAccessible final : public TAccessible {
 public:
  explicit TGaugeAccessible(std::shared_ptr<const TGauge*> gauge) : gauge_(std::move(gauge)) {}

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    const TGauge* gauge = *gauge_;
    return gauge ? WindowFrameObject(gauge->Handle(), parent) : CO_E_OBJNOTCONNECTED;
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return *gauge_ ? S_OK : CO_E_OBJNOTCONNECTED;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override {
    if (!child) return E_POINTER;
    *child = nullptr;
    return *gauge_ ? E_INVALIDARG : CO_E_OBJNOTCONNECTED;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (const HRESULT checked = Check(child); FAILED(checked)) return Failed(name, checked);
    return Text(name, (*gauge_)->AccessibleName());
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    if (const HRESULT checked = Check(child); FAILED(checked)) return Failed(value, checked);
    return Text(value, (*gauge_)->Text());
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    if (const HRESULT checked = Check(child); FAILED(checked)) return Failed(description, checked);
    return Nothing(description);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (const HRESULT checked = Check(child); FAILED(checked)) return Refused(role, checked);
    return Number(role, ROLE_SYSTEM_PROGRESSBAR);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (const HRESULT checked = Check(child); FAILED(checked)) return Refused(state, checked);
    long own = STATE_SYSTEM_READONLY;
    if (!IsWindowVisible((*gauge_)->Handle())) own |= STATE_SYSTEM_INVISIBLE;
    return Number(state, own);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    return *gauge_ ? Empty(focus) : Refused(focus, CO_E_OBJNOTCONNECTED);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    return *gauge_ ? Empty(selection) : Refused(selection, CO_E_OBJNOTCONNECTED);
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override {
    for (long* out : {left, top, width, height})
      if (out) *out = 0;
    if (const HRESULT checked = Check(child); FAILED(checked)) return checked;
    RECT client;
    GetClientRect((*gauge_)->Handle(), &client);
    return ScreenLocation((*gauge_)->Handle(), client, left, top, width, height);
  }
  // Neither children nor siblings of its own: no direction leads anywhere from the gauge.
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    if (const HRESULT checked = Check(start); FAILED(checked)) return Refused(end, checked);
    return KnownDirection(direction) ? Empty(end) : Refused(end, E_INVALIDARG);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* found) override {
    if (!*gauge_) return Refused(found, CO_E_OBJNOTCONNECTED);
    POINT point{x, y};
    ScreenToClient((*gauge_)->Handle(), &point);
    RECT client;
    GetClientRect((*gauge_)->Handle(), &client);
    return PtInRect(&client, point) ? Number(found, CHILDID_SELF) : Empty(found);
  }

 private:
  HRESULT CheckChild(const VARIANT& child) const override { return Check(child); }
  // Only the gauge itself, on its window's thread, while it is there.
  HRESULT Check(const VARIANT& child) const {
    const TGauge* gauge = *gauge_;
    if (!gauge || !OnThreadOf(gauge->Handle())) return CO_E_OBJNOTCONNECTED;
    return ChildOf(child) == CHILDID_SELF ? S_OK : E_INVALIDARG;
  }

  std::shared_ptr<const TGauge*> gauge_;
};

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
    SetWindowTextW(window_.get(), Text().c_str());
    InvalidateRect(window_.get(), nullptr, FALSE);
    AnnounceChange(EVENT_OBJECT_VALUECHANGE, window_.get());
  }
}

std::wstring TGauge::Text() const { return std::to_wstring(progress_) + L"%"; }

void TGauge::RepaintNow() {
  if (!window_) return;
  InvalidateRect(window_.get(), nullptr, FALSE);
  UpdateWindow(window_.get());
}

LRESULT TGauge::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: OnPaint(); return 0;
    case WM_GETOBJECT: return OnGetObject(wParam, lParam);
    case WM_DESTROY: OnDestroy(); return DefWindowProcW(window_.get(), message, wParam, lParam);
    default: return DefWindowProcW(window_.get(), message, wParam, lParam);
  }
}

void TGauge::OnPaint() {
  PaintScope paint(window_.get());
  HDC dc = paint.dc();
  if (!dc) return;
  const RECT& client = paint.Client();

  // Frame, then ground and bar inside it.
  FrameRect(dc, &client, GetSysColorBrush(COLOR_WINDOWFRAME));
  RECT inside = client;
  InflateRect(&inside, -1, -1);
  const int barWidth = (inside.right - inside.left) * progress_ / 100;
  const RECT bar{inside.left, inside.top, inside.left + barWidth, inside.bottom};
  const RECT ground{bar.right, inside.top, inside.right, inside.bottom};
  FillRect(dc, &bar, UniqueBrush(CreateSolidBrush(GaugeBarColor)).get());
  FillRect(dc, &ground, UniqueBrush(CreateSolidBrush(GaugeGroundColor)).get());

  const std::wstring text = Text();
  SavedDCState state(dc);
  SelectedObject font(dc, font_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GaugeTextColor);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inside,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

LRESULT TGauge::OnGetObject(WPARAM wParam, LPARAM lParam) {
  return accessible_.Answer(window_.get(), wParam, lParam,
                            [&] { return new (std::nothrow) TGaugeAccessible(self_); });
}

void TGauge::OnDestroy() {
  *self_ = nullptr;
  accessible_.Disconnect();
}
