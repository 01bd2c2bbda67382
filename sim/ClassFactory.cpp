// The class factory, driven by a table of the classes this server makes (one: ComPort).

#include <new>

#include "common/ComObject.h"
#include "Module.h"
#include "link/Varnel_tlb.h"

namespace {

struct TClassEntry {
  const CLSID* Id;
  HRESULT (*Create)(REFIID iid, void** object);
};

constexpr TClassEntry Classes[] = {
    {&CLSID_ComPort, CreateComPort},
};

class TClassFactory final : public TComObject<TClassFactory, IClassFactory> {
 public:
  explicit TClassFactory(HRESULT (*create)(REFIID, void**)) : create_(create) {}

  void* InterfaceFor(REFIID iid) {
    return iid == IID_IUnknown || iid == IID_IClassFactory ? static_cast<IClassFactory*>(this)
                                                           : nullptr;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      ModuleAddRef();
    else
      ModuleRelease();
    return S_OK;
  }

 private:
  HRESULT (*create_)(REFIID, void**);
};

}  // namespace

HRESULT GetClassFactory(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (const TClassEntry& entry : Classes) {
    if (clsid != *entry.Id) continue;
    auto* factory = new (std::nothrow) TClassFactory(entry.Create);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}
