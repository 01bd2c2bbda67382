#include "Accessible.h"

namespace {

// The system's accessibility library, loaded on first use and kept for the process.
HMODULE Oleacc() {
  static HMODULE library = LoadLibraryW(L"oleacc.dll");
  return library;
}

template <typename Function>
Function OleaccFunction(const char* name) {
  HMODULE library = Oleacc();
  return library ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name))) : nullptr;
}

}  // namespace

LRESULT AccessibleResult(WPARAM wParam, IAccessible* object) {
  using Function = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
  static const auto resultFromObject = OleaccFunction<Function>("LresultFromObject");
  if (!resultFromObject) return 0;
  const LRESULT result = resultFromObject(AccessibleInterfaceId, wParam, object);
  return result < 0 ? 0 : result;  // a failure: the caller falls back to the system's object
}

HRESULT WindowFrameObject(HWND window, IDispatch** frame) {
  using Function = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
  static const auto createStandard = OleaccFunction<Function>("CreateStdAccessibleObject");
  *frame = nullptr;
  if (!createStandard) return E_FAIL;
  return createStandard(window, OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(frame));
}

void AnnounceChange(DWORD event, HWND window, LONG child) {
  if (window) NotifyWinEvent(event, window, OBJID_CLIENT, child);
}

HRESULT TAccessible::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == AccessibleInterfaceId) {
    *object = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TAccessible::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT TAccessible::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT TAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
  if (topic) *topic = 0;
  return Nothing(file);
}

HRESULT TAccessible::Nothing(BSTR* text) {
  if (!text) return E_POINTER;
  *text = nullptr;
  return S_FALSE;
}

namespace accessible {

long ChildOf(const VARIANT& child) { return child.vt == VT_I4 ? child.lVal : -1; }

HRESULT Text(BSTR* out, const std::wstring& text) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT Number(VARIANT* out, long value) {
  if (!out) return E_POINTER;
  VariantInit(out);
  out->vt = VT_I4;
  out->lVal = value;
  return S_OK;
}

HRESULT Empty(VARIANT* out) {
  if (!out) return E_POINTER;
  VariantInit(out);
  return S_FALSE;
}

HRESULT Object(VARIANT* out, IDispatch* object) {
  if (!out) {
    if (object) object->Release();
    return E_POINTER;
  }
  VariantInit(out);
  if (!object) return E_OUTOFMEMORY;
  out->vt = VT_DISPATCH;
  out->pdispVal = object;
  return S_OK;
}

HRESULT ScreenLocation(HWND window, const RECT& client, long* left, long* top, long* width, long* height) {
  if (!left || !top || !width || !height) return E_POINTER;
  POINT origin{client.left, client.top};
  ClientToScreen(window, &origin);
  *left = origin.x;
  *top = origin.y;
  *width = client.right - client.left;
  *height = client.bottom - client.top;
  return S_OK;
}

}  // namespace accessible
