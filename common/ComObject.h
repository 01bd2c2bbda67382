// IUnknown for an in-process server's objects, once: a reference count that frees the object at
// zero and keeps the module loaded while the object lives, and QueryInterface answering what the
// object says it is (Derived::InterfaceFor: the interface pointer for an id, or null).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

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
