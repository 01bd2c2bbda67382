// The DLL's class object and self-registration for regsvr32 (DllMain and unloading are
// common/InprocServer's).

#include <windows.h>
#include <olectl.h>

#include <string>

#include "Module.h"
#include "common/ClassRegistration.h"
#include "common/FileSystem.h"
#include "common/TextCase.h"
#include "common/UniqueResource.h"
#include "link/Varnel_tlb.h"

namespace {

std::wstring ClassKeyName() { return ::ClassKeyName(CLSID_ComPort); }

// The server path registered for our class id, or "" when there is none.
std::wstring RegisteredServer() {
  return RegistryText(ClassKeyName() + L"\\InprocServer32", nullptr);
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return GetClassObject(clsid, CLSID_ComPort, CreateComPort, iid, object);
}

STDAPI DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

STDAPI DllRegisterServer() {
  const std::wstring path = ModuleFileName(ModuleHandle);
  if (path.empty()) return SELFREG_E_CLASS;
  UniqueHKey classKey;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, ClassKeyName().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                      classKey.put(), nullptr) != ERROR_SUCCESS ||
      SetRegistryText(classKey.get(), nullptr, L"ComPort (simulated diagnostic unit)") !=
          ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  UniqueHKey serverKey;
  if (RegCreateKeyExW(classKey.get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr,
                      serverKey.put(), nullptr) != ERROR_SUCCESS ||
      SetRegistryText(serverKey.get(), nullptr, path) != ERROR_SUCCESS ||
      SetRegistryText(serverKey.get(), L"ThreadingModel", L"Both") != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  return S_OK;
}

// Removes the class id's registration only when it names this file: unregistering the
// stand-in must never take away the vendor's component registered in its place.
STDAPI DllUnregisterServer() {
  const std::wstring registered = RegisteredServer();
  if (!registered.empty() && !EqualIgnoringCase(registered, ModuleFileName(ModuleHandle)))
    return S_OK;
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKeyName().c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
