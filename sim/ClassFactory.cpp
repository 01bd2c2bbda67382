// The class factory, driven by a table of the classes this server makes (one: ComPort).

#include <atomic>
#include <new>

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

class TClassFactory final : public IClassFactory {
 public:
  explicit TClassFactory(HRESULT (*create)(REFIID, void**)) : create_(create) { ModuleAddRef(); }
  ~TClassFactory() { ModuleRelease(); }
  TClassFactory(const TClassFactory&) = delete;
  TClassFactory& operator=(const TClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) ModuleAddRef();
    else ModuleRelease();
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
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
