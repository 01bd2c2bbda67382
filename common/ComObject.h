// IUnknown for an in-process server's objects, once: a reference count that frees the object at
// zero and keeps the module loaded while the object lives, and QueryInterface answering what the
// object says it is (Derived::InterfaceFor: the interface pointer for an id, or null).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <new>
#include <utility>

// The server's count of live objects and locks, which DllCanUnloadNow answers from; each server
// defines them.
void ModuleAddRef();
void ModuleRelease();

template <typename Derived, typename... Interfaces>
class TComObject : public Interfaces... {
 public:
  TComObject() { ModuleAddRef(); }
  virtual ~TComObject() { ModuleRelease(); }
  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = static_cast<Derived*>(this)->InterfaceFor(iid);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> references_{1};
};

// Makes a Derived and hands out its interface iid: the object lives on only through *object.
// E_OUTOFMEMORY when it cannot be made, E_FAIL when its constructor throws anything else.
template <typename Derived, typename... Arguments>
HRESULT MakeComObject(REFIID iid, void** object, Arguments&&... arguments) {
  Derived* made = nullptr;
  try {
    made = new Derived(std::forward<Arguments>(arguments)...);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
  const HRESULT result = made->QueryInterface(iid, object);
  made->Release();
  return result;
}
