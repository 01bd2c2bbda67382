// The DLL's entry points: class objects, unloading, and self-registration for regsvr32.

#include <windows.h>
#include <olectl.h>

#include <atomic>
#include <string>

#include "Module.h"
#include "common/FileSystem.h"
#include "common/TextCase.h"
#include "common/UniqueResource.h"
#include "link/Varnel_tlb.h"

HMODULE ModuleHandle = nullptr;

namespace {

std::atomic<LONG> ModuleReferences{0};

std::wstring ClassKeyName() {
  wchar_t text[64] = {};
  StringFromGUID2(CLSID_ComPort, text, 64);
  return std::wstring(L"CLSID\\") + text;
}

LSTATUS SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// The server path registered for our class id, or "" when there is none.
std::wstring RegisteredServer() {
  const std::wstring key = ClassKeyName() + L"\\InprocServer32";
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr,
                   &bytes) != ERROR_SUCCESS)
    return {};
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value.data(),
                   &bytes) != ERROR_SUCCESS)
    return {};
  value.resize(wcslen(value.c_str()));
  return value;
}

}  // namespace

void ModuleAddRef() { ++ModuleReferences; }
void ModuleRelease() { --ModuleReferences; }
bool ModuleInUse() { return ModuleReferences != 0; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ModuleHandle = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return GetClassFactory(clsid, iid, object);
}

STDAPI DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

STDAPI DllRegisterServer() {
  const std::wstring path = ModuleFileName(ModuleHandle);
  if (path.empty()) return SELFREG_E_CLASS;
  UniqueHKey classKey;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, ClassKeyName().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                      classKey.put(), nullptr) != ERROR_SUCCESS ||
      SetText(classKey.get(), nullptr, L"ComPort (simulated diagnostic unit)") != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  UniqueHKey serverKey;
  if (RegCreateKeyExW(classKey.get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr,
                      serverKey.put(), nullptr) != ERROR_SUCCESS ||
      SetText(serverKey.get(), nullptr, path) != ERROR_SUCCESS ||
      SetText(serverKey.get(), L"ThreadingModel", L"Both") != ERROR_SUCCESS)
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
