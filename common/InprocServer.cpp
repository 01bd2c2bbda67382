#include "InprocServer.h"

#include <atomic>
#include <new>

#include "ComObject.h"

HMODULE ModuleHandle = nullptr;

namespace {

std::atomic<LONG> ModuleReferences{0};

class TClassFactory final : public TComObject<TClassFactory, IClassFactory> {
 public:
  explicit TClassFactory(TCreateObject create) : create_(create) {}

  void* InterfaceFor(REFIID iid) {
    return iid == IID_IUnknown || iid == IID_IClassFactory ? static_cast<IClassFactory*>(this)
                                                           : nullptr;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    // No exception may cross into the caller's COM.
    try {
      return create_(iid, object);
    } catch (...) {
      return E_UNEXPECTED;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    lock ? ModuleAddRef() : ModuleRelease();
    return S_OK;
  }

 private:
  TCreateObject create_;
};

}  // namespace

void ModuleAddRef() { ++ModuleReferences; }
void ModuleRelease() { --ModuleReferences; }
bool ModuleInUse() { return ModuleReferences != 0; }

HRESULT GetClassObject(REFCLSID clsid, REFCLSID served, TCreateObject create, REFIID iid,
                       void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != served) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) TClassFactory(create);
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT result = factory->QueryInterface(iid, object);
  factory->Release();
  return result;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ModuleHandle = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
