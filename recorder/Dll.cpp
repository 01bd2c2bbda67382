// The recorder's entry points: its class object, unloading, and registration in front of the
// vendor's component (and back) for regsvr32.

#include <windows.h>
#include <olectl.h>

#include <atomic>
#include <ctime>
#include <fstream>
#include <new>
#include <string>

#include "Module.h"
#include "common/ComObject.h"
#include "common/ClassRegistration.h"
#include "common/FileSystem.h"
#include "common/TextCase.h"
#include "common/UniqueResource.h"
#include "common/Utf8.h"
#include "link/Varnel_tlb.h"

HMODULE ModuleHandle = nullptr;

namespace {

std::atomic<LONG> ModuleReferences{0};

// Under the class key: the threading model of the registration the recorder replaced, put
// back with the component's path (recorder.ini's) by regsvr32 /u.
constexpr wchar_t ReplacedModelValue[] = L"RecorderReplacedThreadingModel";

std::wstring ClassKeyName() { return ::ClassKeyName(CLSID_ComPort); }

std::wstring ServerKeyName() { return ClassKeyName() + L"\\InprocServer32"; }

bool IsThisFile(const std::wstring& path) {
  return EqualIgnoringCase(path, ModuleFileName(ModuleHandle));
}

// regsvr32 shows only a generic failure: the reason goes to the standard error (when there is
// one) and, unless regsvr32 was told to be silent, into a message box of its own.
HRESULT Refuse(const std::wstring& reason) {
  const std::wstring message = L"Varnel.dll (запись вызовов): " + reason;
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error && error != INVALID_HANDLE_VALUE) {
    const std::string bytes = Utf8FromWide(message + L"\n");
    DWORD written = 0;
    WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  const std::wstring command = UpperCase(GetCommandLineW());
  if (command.find(L" /S") == std::wstring::npos && command.find(L" -S") == std::wstring::npos)
    MessageBoxW(nullptr, message.c_str(), L"regsvr32", MB_OK | MB_ICONERROR);
  return SELFREG_E_CLASS;
}

std::wstring WideOf(const std::filesystem::path& path) { return path.wstring(); }

HRESULT WriteRegistration(const std::wstring& server, const std::wstring& model) {
  UniqueHKey serverKey;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, ServerKeyName().c_str(), 0, nullptr, 0,
                      KEY_WRITE | KEY_QUERY_VALUE, nullptr, serverKey.put(),
                      nullptr) != ERROR_SUCCESS ||
      SetRegistryText(serverKey.get(), nullptr, server) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  const LSTATUS written = model.empty()
                              ? RegDeleteValueW(serverKey.get(), L"ThreadingModel")
                              : SetRegistryText(serverKey.get(), L"ThreadingModel", model);
  return written == ERROR_SUCCESS || written == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

class TClassFactory final : public TComObject<TClassFactory, IClassFactory> {
 public:
  void* InterfaceFor(REFIID iid) {
    return iid == IID_IUnknown || iid == IID_IClassFactory ? static_cast<IClassFactory*>(this)
                                                           : nullptr;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateRecordingPort(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    lock ? ModuleAddRef() : ModuleRelease();
    return S_OK;
  }
};

}  // namespace

void ModuleAddRef() { ++ModuleReferences; }
void ModuleRelease() { --ModuleReferences; }
bool ModuleInUse() { return ModuleReferences != 0; }

TRecorderConfig LoadModuleConfig() {
  return LoadRecorderConfig(std::filesystem::path(ModuleFileName(ModuleHandle)).parent_path());
}

HMODULE LoadComponent(const TRecorderConfig& config, std::wstring& error) {
  const std::wstring path = WideOf(config.Component);
  if (!IsFile(path)) {
    error = L"нет файла компонента связи \"" + path + L"\" (recorder.ini, component)";
    return nullptr;
  }
  if (IsThisFile(path)) {
    error = L"component в recorder.ini называет сам файл записи, а не Varnel.dll производителя";
    return nullptr;
  }
  // From that path only; its own dependencies are looked for in its folder first.
  const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    error = L"компонент связи \"" + path + L"\" не загружается (ошибка " +
            std::to_wstring(GetLastError()) + L")";
    return nullptr;
  }
  if (!GetProcAddress(module, "DllGetClassObject")) {
    FreeLibrary(module);
    error = L"\"" + path + L"\" не является COM-компонентом (нет DllGetClassObject)";
    return nullptr;
  }
  return module;
}

void WriteErrorNote(const std::filesystem::path& folder, const std::wstring& message) {
  try {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::ofstream note(folder / "recorder-errors.txt", std::ios::binary | std::ios::app);
    const std::time_t now = std::time(nullptr);
    char stamp[32] = {};
    if (const std::tm* local = std::localtime(&now))
      std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", local);
    note << stamp << Utf8FromWide(message) << "\r\n";
  } catch (...) {
  }
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ModuleHandle = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_ComPort) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) TClassFactory;
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT result = factory->QueryInterface(iid, object);
  factory->Release();
  return result;
}

STDAPI DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

// Takes the class over from the component recorder.ini names, which must be the registered
// one, keeping its threading model so that COM calls the recorder as it called the component.
STDAPI DllRegisterServer() {
  const std::wstring self = ModuleFileName(ModuleHandle);
  if (self.empty()) return SELFREG_E_CLASS;
  const TRecorderConfig config = LoadModuleConfig();
  if (!config.Error.empty()) return Refuse(config.Error);
  std::wstring error;
  const HMODULE component = LoadComponent(config, error);
  if (!component) return Refuse(error);
  FreeLibrary(component);

  const std::wstring registered = RegistryText(ServerKeyName(), nullptr);
  if (IsThisFile(registered)) return S_OK;  // already in front of it
  const std::wstring componentPath = WideOf(config.Component);
  if (registered.empty())
    return Refuse(
        L"класс ComPort не зарегистрирован; сначала зарегистрируйте компонент "
        L"производителя: regsvr32 \"" +
        componentPath + L"\"");
  if (!EqualIgnoringCase(registered, componentPath))
    return Refuse(L"зарегистрирован \"" + registered + L"\", а recorder.ini называет \"" +
                  componentPath + L"\"; исправьте component в recorder.ini");

  const std::wstring model = RegistryText(ServerKeyName(), L"ThreadingModel");
  UniqueHKey classKey;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ClassKeyName().c_str(), 0, KEY_WRITE, classKey.put()) !=
          ERROR_SUCCESS ||
      SetRegistryText(classKey.get(), ReplacedModelValue, model) != ERROR_SUCCESS)
    return Refuse(
        L"нет доступа на запись к регистрации класса ComPort (нужны права "
        L"администратора)");
  if (FAILED(WriteRegistration(self, model)))
    return Refuse(L"не удалось записать регистрацию класса ComPort");
  return S_OK;
}

// Puts the component recorder.ini names back, with the threading model it had. A registration
// that is not the recorder's is left alone.
STDAPI DllUnregisterServer() {
  if (!IsThisFile(RegistryText(ServerKeyName(), nullptr))) return S_OK;
  const TRecorderConfig config = LoadModuleConfig();
  if (!config.Error.empty())
    return Refuse(config.Error + L"; без component регистрацию вернуть некуда");
  const std::wstring model = RegistryText(ClassKeyName(), ReplacedModelValue);
  if (FAILED(WriteRegistration(WideOf(config.Component), model)))
    return Refuse(L"не удалось вернуть регистрацию класса ComPort");
  UniqueHKey classKey;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ClassKeyName().c_str(), 0, KEY_WRITE, classKey.put()) ==
      ERROR_SUCCESS)
    RegDeleteValueW(classKey.get(), ReplacedModelValue);
  return S_OK;
}
