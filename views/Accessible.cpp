#include "Accessible.h"

#include <commctrl.h>

#include <new>

#include "common/SystemLibrary.h"
#include "common/UniqueResource.h"

namespace {

// The system's accessibility library, loaded on first use and kept for the process.
HMODULE Oleacc() {
  static HMODULE library = LoadSystemLibrary(L"oleacc.dll");
  return library;
}

template <typename Function>
Function OleaccFunction(const char* name) {
  HMODULE library = Oleacc();
  return library
             ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)))
             : nullptr;
}

// The system's own accessible object of a window (CreateStdAccessibleObject).
HRESULT CreateStandard(HWND window, LONG object, REFIID iid, void** created) {
  using Function = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
  static const auto create = OleaccFunction<Function>("CreateStdAccessibleObject");
  *created = nullptr;
  return create ? create(window, object, iid, created) : E_FAIL;
}

// The system's object of a control, but with a name of ours. Out-pointers are checked here:
// not every system's object checks them.
class TRenamedAccessible final : public TAccessible {
 public:
  TRenamedAccessible(ComPtr<IAccessible> standard, const std::wstring& name)
      : standard_(std::move(standard)), name_(name) {}

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (!Given(name)) return E_POINTER;
    if (child.vt == VT_I4 && child.lVal == CHILDID_SELF) return accessible::Text(name, name_);
    return standard_->get_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (!Given(parent)) return E_POINTER;
    return standard_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!Given(count)) return E_POINTER;
    return standard_->get_accChildCount(count);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    if (!Given(object)) return E_POINTER;
    return standard_->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    if (!Given(value)) return E_POINTER;
    return standard_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    if (!Given(description)) return E_POINTER;
    return standard_->get_accDescription(child, description);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!Given(role)) return E_POINTER;
    return standard_->get_accRole(child, role);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!Given(state)) return E_POINTER;
    return standard_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    if (!Given(shortcut)) return E_POINTER;
    return standard_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (!Given(action)) return E_POINTER;
    return standard_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return standard_->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    return standard_->accSelect(flags, child);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    if (!Given(help)) return E_POINTER;
    return standard_->get_accHelp(child, help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    if (!Given(file, topic)) return E_POINTER;
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (!Given(focus)) return E_POINTER;
    return standard_->get_accFocus(focus);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (!Given(selection)) return E_POINTER;
    return standard_->get_accSelection(selection);
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override {
    if (!Given(left, top, width, height)) return E_POINTER;
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    if (!Given(end)) return E_POINTER;
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* found) override {
    if (!Given(found)) return E_POINTER;
    return standard_->accHitTest(x, y, found);
  }

 private:
  template <typename... Out>
  static bool Given(Out*... out) {
    return (... && (out != nullptr));
  }

  ComPtr<IAccessible> standard_;
  std::wstring name_;
};

constexpr UINT_PTR RenamedControl = 1;

LRESULT CALLBACK RenamedControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR, DWORD_PTR data) {
  auto* name = reinterpret_cast<std::wstring*>(data);
  if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT) {
    ComPtr<IAccessible> standard;
    if (SUCCEEDED(
            CreateStandard(window, OBJID_CLIENT, AccessibleInterfaceId, standard.put_void())) &&
        standard) {
      ComPtr<IAccessible> renamed;
      renamed.reset(new (std::nothrow) TRenamedAccessible(std::move(standard), *name));
      if (renamed)
        if (const LRESULT result = AccessibleResult(wParam, renamed.get())) return result;
    }
  }
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, &RenamedControlProc, RenamedControl);
    delete name;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void NameForReaders(HWND control, std::wstring name) {
  auto* kept = new std::wstring(std::move(name));
  if (!SetWindowSubclass(control, &RenamedControlProc, RenamedControl,
                         reinterpret_cast<DWORD_PTR>(kept)))
    delete kept;
}

LRESULT AccessibleResult(WPARAM wParam, IAccessible* object) {
  using Function = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
  static const auto resultFromObject = OleaccFunction<Function>("LresultFromObject");
  if (!resultFromObject) return 0;
  const LRESULT result = resultFromObject(AccessibleInterfaceId, wParam, object);
  return result < 0 ? 0 : result;  // a failure: the caller falls back to the system's object
}

HRESULT WindowFrameObject(HWND window, IDispatch** frame) {
  return CreateStandard(window, OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(frame));
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

HRESULT TAccessible::get_accHelp(VARIANT child, BSTR* help) { return Nothing(help, child); }

HRESULT TAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
  return Nothing(shortcut, child);
}

HRESULT TAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
  return Nothing(action, child);
}

HRESULT TAccessible::accDoDefaultAction(VARIANT child) { return Unsupported(child); }

HRESULT TAccessible::put_accName(VARIANT child, BSTR) { return Unsupported(child); }

HRESULT TAccessible::put_accValue(VARIANT child, BSTR) { return Unsupported(child); }

HRESULT TAccessible::get_accHelpTopic(BSTR* file, VARIANT child, long* topic) {
  if (topic) *topic = 0;
  if (!topic) return Failed(file, E_POINTER);
  return Nothing(file, child);
}

HRESULT TAccessible::accSelect(long flags, VARIANT child) {
  if (const HRESULT checked = CheckChild(child); FAILED(checked)) return checked;
  return accessible::KnownSelection(flags) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
}

HRESULT TAccessible::CheckChild(const VARIANT& child) const {
  return accessible::ChildOf(child) == CHILDID_SELF ? S_OK : E_INVALIDARG;
}

HRESULT TAccessible::Nothing(BSTR* text, const VARIANT& child) const {
  if (const HRESULT checked = CheckChild(child); FAILED(checked)) return Failed(text, checked);
  return Nothing(text);
}

HRESULT TAccessible::Nothing(BSTR* text) {
  if (!text) return E_POINTER;
  *text = nullptr;
  return S_FALSE;
}

HRESULT TAccessible::Unsupported(const VARIANT& child) const {
  const HRESULT checked = CheckChild(child);
  return FAILED(checked) ? checked : DISP_E_MEMBERNOTFOUND;
}

namespace accessible {

long ChildOf(const VARIANT& child) { return child.vt == VT_I4 ? child.lVal : -1; }

bool KnownDirection(long direction) { return direction > NAVDIR_MIN && direction < NAVDIR_MAX; }

// Adding and removing at once, or either beside taking the selection, contradict each other.
bool KnownSelection(long flags) {
  if (flags & ~SELFLAG_VALID) return false;
  const bool add = flags & SELFLAG_ADDSELECTION, remove = flags & SELFLAG_REMOVESELECTION;
  return !(add && remove) && !((add || remove) && (flags & SELFLAG_TAKESELECTION));
}

HRESULT Refused(VARIANT* out, HRESULT result) {
  if (out) VariantInit(out);
  return result;
}

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

HRESULT ScreenLocation(HWND window, const RECT& client, long* left, long* top, long* width,
                       long* height) {
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

IDispatch* TAccessibleHost::Object() const {
  if (object_) object_->AddRef();
  return object_;
}

void TAccessibleHost::Disconnect() {
  if (!object_) return;
  CoDisconnectObject(object_, 0);
  object_->Release();
  object_ = nullptr;
}
