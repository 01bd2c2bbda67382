// What our own controls tell screen readers and automation (MSAA): a base for their accessible
// objects, and the few calls into the system's accessibility library. The program does not
// import that library: most runs never meet a screen reader, so it is loaded when first asked.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <atomic>
#include <string>

// {618736E0-3C3D-11CF-810C-00AA00389B71}, IID_IAccessible. Everything here uses this one, never
// the import library's: MinGW-w64's 64-bit liboleacc.a makes that name a function, whose
// address would go out as the id.
inline constexpr IID AccessibleInterfaceId = {
    0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// The answer to WM_GETOBJECT for an object of ours (LresultFromObject); 0 when the library is
// missing, which tells the caller to fall back to the system's own object.
LRESULT AccessibleResult(WPARAM wParam, IAccessible* object);
// The system's object for a window's frame (its parent as a reader sees our client object).
HRESULT WindowFrameObject(HWND window, IDispatch** frame);
// Tells readers that something of window changed (a thin wrapper: named for what it says).
void AnnounceChange(DWORD event, HWND window, LONG child = CHILDID_SELF);

// IUnknown, IDispatch without type information, and the properties our objects do not have.
class TAccessible : public IAccessible {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  // Properties and actions none of our objects has; still, a child id that names nothing is
  // refused as such, as every other method refuses it.
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR) override;
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR) override;

 protected:
  virtual ~TAccessible() = default;
  // S_OK for a child id this object has (CHILDID_SELF only, unless overridden); E_INVALIDARG for
  // any other, CO_E_OBJNOTCONNECTED once the object stands for nothing.
  virtual HRESULT CheckChild(const VARIANT& child) const;
  // No text: S_FALSE for a child this object has.
  HRESULT Nothing(BSTR* text, const VARIANT& child) const;
  static HRESULT Nothing(BSTR* text);
  HRESULT Unsupported(const VARIANT& child) const;
  // A text asked for that cannot be given: none, and why.
  static HRESULT Failed(BSTR* text, HRESULT result) {
    if (text) *text = nullptr;
    return result;
  }

 private:
  std::atomic<ULONG> references_{1};
};

// Argument and result helpers for the objects' methods, and for their readers.
namespace accessible {
// Whether the caller runs on window's thread: readers elsewhere are marshalled there, and an
// object of ours answers no call that is not.
inline bool OnThreadOf(HWND window) {
  return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}
// A child id as MSAA passes it (VT_I4).
inline VARIANT Child(long id) {
  VARIANT child;
  VariantInit(&child);
  child.vt = VT_I4;
  child.lVal = id;
  return child;
}
// The child id a VARIANT names (VT_I4), or -1 for anything else.
long ChildOf(const VARIANT& child);
// Whether a navigation direction or a set of selection flags is one MSAA defines.
bool KnownDirection(long direction);
bool KnownSelection(long flags);
// An out-VARIANT left empty by a refused call (callers may clear it whatever the result).
HRESULT Refused(VARIANT* out, HRESULT result);
HRESULT Text(BSTR* out, const std::wstring& text);  // S_FALSE for an empty text
HRESULT Number(VARIANT* out, long value);
HRESULT Empty(VARIANT* out);
HRESULT Object(VARIANT* out, IDispatch* object);  // takes over the reference
// A rectangle in a window's client coordinates, as a reader wants it: on the screen.
HRESULT ScreenLocation(HWND window, const RECT& client, long* left, long* top, long* width,
                       long* height);
}  // namespace accessible

// A control's accessible object, made on the first reader's request, kept for the control's
// life, and disconnected when its window goes (readers still holding it are told it is gone).
class TAccessibleHost {
 public:
  TAccessibleHost() = default;
  TAccessibleHost(const TAccessibleHost&) = delete;
  TAccessibleHost& operator=(const TAccessibleHost&) = delete;
  // The answer to WM_GETOBJECT: the object (make() the first time) for OBJID_CLIENT, the
  // system's default otherwise.
  template <typename Make>
  LRESULT Answer(HWND window, WPARAM wParam, LPARAM lParam, Make make) {
    if (static_cast<LONG>(lParam) == OBJID_CLIENT) {
      if (!object_) object_ = make();
      if (object_)
        if (const LRESULT result = AccessibleResult(wParam, object_)) return result;
    }
    return DefWindowProcW(window, WM_GETOBJECT, wParam, lParam);
  }
  // The object with a reference for the caller; null before a reader asked.
  IDispatch* Object() const;
  void Disconnect();
  ~TAccessibleHost() { Disconnect(); }

 private:
  IAccessible* object_ = nullptr;
};

// Gives a standard control (a button captioned "...", say) another name for readers than its
// text; everything else readers are told of it stays the system's.
void NameForReaders(HWND control, std::wstring name);
