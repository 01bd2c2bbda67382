// Creating the recording ComPort (TRecordingPort.h): the component loaded, its own object
// created, and ours put in front of it.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "Module.h"
#include "TRecordingPort.h"
#include "common/UniqueResource.h"
#include "link/Varnel_tlb.h"

using TClock = TRecordingPort::TClock;

HRESULT CreateRecordingPort(REFIID iid, void** object) {
  const TRecorderConfig config = LoadModuleConfig();
  auto refuse = [&](const std::wstring& reason, HRESULT result) {
    WriteErrorNote(config.Folder, L"ComPort не создан: " + reason);
    return result;
  };
  if (!config.Error.empty()) return refuse(config.Error, E_FAIL);
  // Loaded once and kept: the component's objects may outlive any one of ours. No lock is held
  // while the component's code (its DllMain, its class object) runs.
  static std::atomic<HMODULE> loaded{nullptr};
  HMODULE component = loaded;
  if (!component) {
    std::wstring error;
    if (!(component = LoadComponent(config, error))) return refuse(error, E_FAIL);
    HMODULE first = nullptr;
    if (!loaded.compare_exchange_strong(first, component)) {
      FreeLibrary(component);
      component = first;
    }
  }
  const auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(component, "DllGetClassObject")));
  const TClock::time_point begin = TClock::now();
  ComPtr<IClassFactory> factory;
  HRESULT result = getClassObject(CLSID_ComPort, IID_IClassFactory, factory.put_void());
  if (FAILED(result))
    return refuse(L"компонент не дал объект класса ComPort (HRESULT " +
                      std::to_wstring(static_cast<uint32_t>(result)) + L")",
                  result);
  IComPort* inner = nullptr;
  result = factory->CreateInstance(nullptr, IID_IComPort, reinterpret_cast<void**>(&inner));
  if (FAILED(result) || !inner)
    return refuse(L"компонент не создал объект ComPort (HRESULT " +
                      std::to_wstring(static_cast<uint32_t>(result)) + L")",
                  FAILED(result) ? result : E_FAIL);
  const double createMs = TRecordingPort::MillisecondsBetween(begin, TClock::now());
  TRecordingPort* port = nullptr;
  try {
    port = new TRecordingPort(inner, config, createMs);
  } catch (...) {
    inner->Release();
    return E_OUTOFMEMORY;
  }
  result = port->QueryInterface(iid, object);
  port->Release();
  return result;
}
