// The recorder's entry points: its class object, and registration in front of the vendor's
// component (and back) for regsvr32. No exception leaves them: each failure is a failed result
// and a note that says what is wrong.

#include <windows.h>
#include <olectl.h>

#include <ctime>
#include <exception>
#include <string>
#include <vector>

#include "Module.h"
#include "common/ClassRegistration.h"
#include "common/FileSystem.h"
#include "common/TextCase.h"
#include "common/UniqueResource.h"
#include "common/Utf8.h"
#include "link/Varnel_tlb.h"

namespace {

// Under the class key: what the recorder replaced, value for value (type and bytes), for
// regsvr32 /u to put back. No saved threading model: there was none.
constexpr wchar_t ReplacedServerValue[] = L"RecorderReplacedServer";
constexpr wchar_t ReplacedModelValue[] = L"RecorderReplacedThreadingModel";

std::wstring ClassKeyName() { return ::ClassKeyName(CLSID_ComPort); }

std::wstring ServerKeyName() { return ClassKeyName() + L"\\InprocServer32"; }

std::wstring WideOf(const std::filesystem::path& path) { return path.wstring(); }

bool Silent() {
  const std::wstring command = UpperCase(GetCommandLineW());
  return command.find(L" /S") != std::wstring::npos || command.find(L" -S") != std::wstring::npos;
}

// regsvr32 shows only its own generic texts: ours go to the standard output or error (when there
// is one) and, unless regsvr32 was told to be silent, into a message box.
void Say(const std::wstring& text, DWORD stream, UINT icon) {
  const std::wstring message = L"Varnel.dll (запись вызовов): " + text;
  const HANDLE handle = GetStdHandle(stream);
  if (handle && handle != INVALID_HANDLE_VALUE) {
    const std::string bytes = Utf8FromWide(message + L"\n");
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  if (!Silent()) MessageBoxW(nullptr, message.c_str(), L"regsvr32", MB_OK | icon);
}

HRESULT Refuse(const std::wstring& reason) {
  Say(reason, STD_ERROR_HANDLE, MB_ICONERROR);
  return SELFREG_E_CLASS;
}

// A registry value as it is stored; absent when there is none.
struct TRegistryValue {
  bool Present = false;
  DWORD Type = REG_NONE;
  std::vector<BYTE> Bytes;
};

TRegistryValue ReadValue(HKEY key, const wchar_t* name) {
  TRegistryValue value;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &value.Type, nullptr, &size) != ERROR_SUCCESS)
    return value;
  value.Bytes.resize(size);
  value.Present =
      RegQueryValueExW(key, name, nullptr, &value.Type, value.Bytes.data(), &size) == ERROR_SUCCESS;
  value.Bytes.resize(size);
  return value;
}

// Writes value as it was read; an absent one is deleted.
bool WriteValue(HKEY key, const wchar_t* name, const TRegistryValue& value) {
  const LSTATUS status = value.Present
                             ? RegSetValueExW(key, name, 0, value.Type, value.Bytes.data(),
                                              static_cast<DWORD>(value.Bytes.size()))
                             : RegDeleteValueW(key, name);
  return status == ERROR_SUCCESS || (!value.Present && status == ERROR_FILE_NOT_FOUND);
}

// The path a server value names (REG_EXPAND_SZ expanded); "" for any other value.
std::wstring PathOf(const TRegistryValue& value) {
  if (!value.Present || (value.Type != REG_SZ && value.Type != REG_EXPAND_SZ)) return {};
  std::wstring text(reinterpret_cast<const wchar_t*>(value.Bytes.data()),
                    value.Bytes.size() / sizeof(wchar_t));
  text.resize(wcsnlen(text.c_str(), text.size()));
  if (value.Type == REG_SZ) return text;
  std::wstring expanded(32768, L'\0');
  const DWORD length =
      ExpandEnvironmentStringsW(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
  if (length == 0 || length > expanded.size()) return text;
  expanded.resize(length - 1);
  return expanded;
}

// Why the folder cannot take the recordings, or "": it must exist and take a new file.
std::wstring FolderProblem(const std::filesystem::path& folder) {
  const std::wstring path = WideOf(folder);
  if (!IsFolder(path))
    return L"папки записей \"" + path +
           L"\" нет (recorder.ini, folder); создайте её или укажите другую";
  const std::wstring probe =
      WideOf(folder / (L"recorder-probe-" + std::to_wstring(GetCurrentProcessId()) + L".tmp"));
  const UniqueFileHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                          nullptr));
  if (!file)
    return L"в папку записей \"" + path + L"\" нельзя записать файл (ошибка " +
           std::to_wstring(GetLastError()) + L"); укажите другую в recorder.ini, folder";
  return {};
}

// A registration of the class that COM would use before the one regsvr32 writes: the user's own
// (HKEY_CURRENT_USER comes first in HKEY_CLASSES_ROOT) or an installer's advertisement.
std::wstring ShadowingRegistration(HKEY server) {
  const std::wstring userKey = L"Software\\Classes\\" + ClassKeyName();
  UniqueHKey user;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, userKey.c_str(), 0, KEY_READ, user.put()) == ERROR_SUCCESS)
    return L"класс ComPort зарегистрирован и для пользователя, в HKEY_CURRENT_USER\\" + userKey +
           L", и COM возьмёт ту регистрацию, а не запись; уберите её (она осталась от другой "
           L"установки) и повторите";
  if (ReadValue(server, L"InprocServer32").Present)
    return L"класс ComPort объявлен установщиком (значение InprocServer32 в HKEY_CLASSES_ROOT\\" +
           ServerKeyName() +
           L"), и COM возьмёт компонент через установщик, а не запись; регистрацию не меняю";
  return {};
}

HRESULT Guarded(HRESULT (*body)()) {
  try {
    return body();
  } catch (const std::exception& error) {
    return Refuse(L"внутренняя ошибка: " + WideFromUtf8(error.what()));
  } catch (...) {
    return Refuse(L"внутренняя ошибка");
  }
}

// Takes the class over from the component recorder.ini names, which must be the registered one;
// its threading model stays, so that COM calls the recorder as it called the component.
HRESULT Register() {
  const std::wstring self = ModuleFileName(ModuleHandle);
  if (self.empty()) return Refuse(L"не удалось узнать путь файла записи");
  const TRecorderConfig config = LoadModuleConfig();
  if (!config.Error.empty()) return Refuse(config.Error);
  std::wstring error;
  const HMODULE component = LoadComponent(config, error);
  if (!component) return Refuse(error);
  FreeLibrary(component);
  if (const std::wstring problem = FolderProblem(config.Folder); !problem.empty())
    return Refuse(problem);

  const std::wstring componentPath = WideOf(config.Component);
  UniqueHKey server;
  const LSTATUS opened = RegOpenKeyExW(HKEY_CLASSES_ROOT, ServerKeyName().c_str(), 0,
                                       KEY_READ | KEY_WRITE, server.put());
  if (opened == ERROR_FILE_NOT_FOUND)
    return Refuse(
        L"класс ComPort не зарегистрирован; сначала зарегистрируйте компонент "
        L"производителя: regsvr32 \"" +
        componentPath + L"\"");
  if (opened != ERROR_SUCCESS)
    return Refuse(
        L"нет доступа на запись к регистрации класса ComPort (нужны права "
        L"администратора)");
  if (const std::wstring shadow = ShadowingRegistration(server.get()); !shadow.empty())
    return Refuse(shadow);

  const TRegistryValue registered = ReadValue(server.get(), nullptr);
  if (!SameFile(PathOf(registered), self)) {  // else already in front of it
    if (!SameFile(PathOf(registered), componentPath))
      return Refuse(L"зарегистрирован \"" + PathOf(registered) + L"\", а recorder.ini называет \"" +
                    componentPath + L"\"; исправьте component в recorder.ini");
    UniqueHKey classKey;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ClassKeyName().c_str(), 0, KEY_WRITE, classKey.put()) !=
            ERROR_SUCCESS ||
        !WriteValue(classKey.get(), ReplacedServerValue, registered) ||
        !WriteValue(classKey.get(), ReplacedModelValue,
                    ReadValue(server.get(), L"ThreadingModel")) ||
        SetRegistryText(server.get(), nullptr, self) != ERROR_SUCCESS)
      return Refuse(L"не удалось записать регистрацию класса ComPort");
  }
  Say(L"стоит перед \"" + componentPath +
          L"\"; запись каждого сеанса программы (.jsonl) ляжет в \"" + WideOf(config.Folder) +
          L"\", а сбои - в recorder-errors.txt там же",
      STD_OUTPUT_HANDLE, MB_ICONINFORMATION);
  return S_OK;
}

// Puts back exactly what Register replaced, whatever recorder.ini says by now.
HRESULT Unregister() {
  UniqueHKey server, classKey;
  RegOpenKeyExW(HKEY_CLASSES_ROOT, ServerKeyName().c_str(), 0, KEY_READ | KEY_WRITE, server.put());
  const std::wstring registered = server ? PathOf(ReadValue(server.get(), nullptr)) : L"";
  if (!SameFile(registered, ModuleFileName(ModuleHandle)))
    return Refuse(L"класс ComPort зарегистрирован не на этот файл записи, а на \"" + registered +
                  L"\"; отмените регистрацию того файла");
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ClassKeyName().c_str(), 0, KEY_READ | KEY_WRITE,
                    classKey.put()) != ERROR_SUCCESS)
    return Refuse(L"нет доступа на запись к регистрации класса ComPort");
  const TRegistryValue replaced = ReadValue(classKey.get(), ReplacedServerValue);
  if (!replaced.Present)
    return Refuse(
        L"не сохранено, что запись заменила; зарегистрируйте компонент производителя "
        L"заново (regsvr32 с его полным путём)");
  if (!WriteValue(server.get(), nullptr, replaced) ||
      !WriteValue(server.get(), L"ThreadingModel", ReadValue(classKey.get(), ReplacedModelValue)))
    return Refuse(L"не удалось вернуть регистрацию класса ComPort");
  RegDeleteValueW(classKey.get(), ReplacedServerValue);
  RegDeleteValueW(classKey.get(), ReplacedModelValue);
  return S_OK;
}

HRESULT CreatePort(REFIID iid, void** object) {
  try {
    return CreateRecordingPort(iid, object);
  } catch (const std::exception& error) {
    WriteErrorNote({}, L"ComPort не создан: внутренняя ошибка: " + WideFromUtf8(error.what()));
  } catch (...) {
    WriteErrorNote({}, L"ComPort не создан: внутренняя ошибка");
  }
  return E_UNEXPECTED;
}

// One line appended to file; false when the file cannot take it.
bool AppendLine(const std::wstring& file, const std::string& line) {
  const UniqueFileHandle note(CreateFileW(file.c_str(), FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return note &&
         WriteFile(note.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

}  // namespace

TRecorderConfig LoadModuleConfig() {
  return LoadRecorderConfig(std::filesystem::path(ModuleFileName(ModuleHandle)).parent_path());
}

HMODULE LoadComponent(const TRecorderConfig& config, std::wstring& error) {
  const std::wstring path = WideOf(config.Component);
  const std::wstring self = L"component в recorder.ini (\"" + path +
                            L"\") называет сам файл записи, а не Varnel.dll производителя";
  // By identity: loading ourselves would call our own class object from inside it.
  if (SameFile(path, ModuleFileName(ModuleHandle))) {
    error = self;
    return nullptr;
  }
  if (!IsFile(path)) {
    error = L"нет файла компонента связи \"" + path + L"\" (recorder.ini, component)";
    return nullptr;
  }
  // From that path only; its own dependencies are looked for in its folder first.
  const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    error = L"компонент связи \"" + path + L"\" не загружается (ошибка " +
            std::to_wstring(GetLastError()) + L")";
    return nullptr;
  }
  if (module == ModuleHandle) {  // a spelling the file system would not open, yet the loader did
    FreeLibrary(module);
    error = self;
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
    const std::time_t now = std::time(nullptr);
    char stamp[32] = {};
    if (const std::tm* local = std::localtime(&now))
      std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", local);
    const std::wstring name = L"recorder-errors.txt";
    if (!folder.empty() &&
        AppendLine(WideOf(folder / name), stamp + Utf8FromWide(message) + "\r\n"))
      return;
    // Where the engineer is told to look next when the folder cannot take it.
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH + 1, temp) == 0) return;
    const std::wstring where =
        folder.empty() ? L"" : L"(папка записей \"" + WideOf(folder) + L"\" недоступна) ";
    AppendLine(temp + name, stamp + Utf8FromWide(where + message) + "\r\n");
  } catch (...) {
  }
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return GetClassObject(clsid, CLSID_ComPort, CreatePort, iid, object);
}

STDAPI DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

STDAPI DllRegisterServer() { return Guarded(Register); }

STDAPI DllUnregisterServer() { return Guarded(Unregister); }
