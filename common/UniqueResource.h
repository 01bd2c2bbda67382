// Owners of Win32 resources: one small template for every handle kind, typed so that a handle
// never has to be cast back, and a COM pointer. Copy is deleted, move hands the resource over,
// put() resets first so that an out-argument never leaks what the owner held. The scope guards
// (a DC borrowed, an object selected, a paint, COM started) are in common/Scopes.h.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <unknwn.h>

#include <utility>

// Traits name the handle type, its invalid value and how to close it.
template <typename Traits>
class UniqueResource {
 public:
  using Handle = typename Traits::Handle;

  UniqueResource() = default;
  explicit UniqueResource(Handle handle) : handle_(handle) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }
  void reset(Handle handle = Traits::Invalid()) {
    if (handle_ != Traits::Invalid()) Traits::Close(handle_);
    handle_ = handle;
  }
  [[nodiscard]] Handle release() { return std::exchange(handle_, Traits::Invalid()); }
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

template <typename H, void (*CloseFn)(H)>
struct NullIsInvalid {
  using Handle = H;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { CloseFn(handle); }
};

namespace unique_resource_detail {
inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
inline void CloseKey(HKEY key) { RegCloseKey(key); }
inline void CloseFind(HANDLE find) { FindClose(find); }
inline void FreeBstr(BSTR text) { SysFreeString(text); }
template <typename Object>
void DeleteGdiObject(Object object) {
  DeleteObject(object);
}
inline void DeleteMemoryDC(HDC dc) { DeleteDC(dc); }
inline void DestroyWindowHandle(HWND window) { DestroyWindow(window); }
template <typename T>
void FreeLocal(T* memory) {
  LocalFree(memory);
}
template <typename T>
void FreeCoTaskMemory(T* memory) {
  CoTaskMemFree(memory);
}
template <typename T>
void FreeProcessHeapMemory(T* memory) {
  HeapFree(GetProcessHeap(), 0, memory);
}
template <typename T>
void ReleasePages(T* pages) {
  VirtualFree(pages, 0, MEM_RELEASE);
}

// CreateFileW and FindFirstFileW fail with INVALID_HANDLE_VALUE, not null.
template <void (*CloseFn)(HANDLE)>
struct MinusOneIsInvalid {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { CloseFn(handle); }
};

template <typename Object>
using GdiObject = NullIsInvalid<Object, &DeleteGdiObject<Object>>;
}  // namespace unique_resource_detail

using UniqueHandle =
    UniqueResource<NullIsInvalid<HANDLE, unique_resource_detail::CloseKernelHandle>>;
using UniqueFileHandle = UniqueResource<
    unique_resource_detail::MinusOneIsInvalid<unique_resource_detail::CloseKernelHandle>>;
using UniqueFindHandle =
    UniqueResource<unique_resource_detail::MinusOneIsInvalid<unique_resource_detail::CloseFind>>;
using UniqueHKey = UniqueResource<NullIsInvalid<HKEY, unique_resource_detail::CloseKey>>;
using UniqueBstr = UniqueResource<NullIsInvalid<BSTR, unique_resource_detail::FreeBstr>>;
using UniqueWindow =
    UniqueResource<NullIsInvalid<HWND, unique_resource_detail::DestroyWindowHandle>>;

// GDI objects, each of its own type.
using UniqueFont = UniqueResource<unique_resource_detail::GdiObject<HFONT>>;
using UniqueBrush = UniqueResource<unique_resource_detail::GdiObject<HBRUSH>>;
using UniquePen = UniqueResource<unique_resource_detail::GdiObject<HPEN>>;
using UniqueBitmap = UniqueResource<unique_resource_detail::GdiObject<HBITMAP>>;
// A DC the program made (CreateCompatibleDC); a window's DC is borrowed with WindowDC instead.
using UniqueMemoryDC = UniqueResource<NullIsInvalid<HDC, unique_resource_detail::DeleteMemoryDC>>;

// Memory allocated for the caller: FormatMessage's buffer (LocalFree), the shell's item lists
// (CoTaskMemFree), what Wine's path conversion returns (the process heap); pages of our own.
template <typename T>
using UniqueLocalMemory = UniqueResource<NullIsInvalid<T*, &unique_resource_detail::FreeLocal<T>>>;
template <typename T>
using UniqueCoTaskMemory =
    UniqueResource<NullIsInvalid<T*, &unique_resource_detail::FreeCoTaskMemory<T>>>;
template <typename T>
using UniqueProcessHeapMemory =
    UniqueResource<NullIsInvalid<T*, &unique_resource_detail::FreeProcessHeapMemory<T>>>;
template <typename T>
using UniquePages = UniqueResource<NullIsInvalid<T*, &unique_resource_detail::ReleasePages<T>>>;

// Owns one reference to a COM interface.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : pointer_(other.release()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~ComPtr() { reset(); }

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // Takes over a reference the caller already holds.
  void reset(Interface* pointer = nullptr) {
    if (pointer_) pointer_->Release();
    pointer_ = pointer;
  }
  [[nodiscard]] Interface* release() { return std::exchange(pointer_, nullptr); }
  Interface** put() {
    reset();
    return &pointer_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  Interface* pointer_ = nullptr;
};
