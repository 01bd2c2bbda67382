// The COM object ComPort: IComPort's slots forwarded to the simulated unit, with the COM
// types (BSTR, SCP_Info, the progress callback) turned into plain ones at this border.
// No exception crosses it.

#include <windows.h>
#include <oleauto.h>

#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "common/ComObject.h"
#include "Module.h"
#include "SimStatus.h"
#include "TSimUnit.h"
#include "common/Utf8.h"
#include "common/FileSystem.h"
#include "common/GuardedBuffer.h"
#include "link/IReceivedSize.h"
#include "link/Varnel_tlb.h"

namespace {

constexpr wchar_t ConfigVariable[] = L"QEMUTIL_SIM_CONFIG";
constexpr wchar_t ConfigFileName[] = L"Varnel.ini";

// Under Wine a test may name the file by its Unix path, which Win32 calls would take as a
// path on the current drive; Wine's own export gives the DOS name. Elsewhere: unchanged.
std::wstring DosPath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return path;
  using UnixToDos = WCHAR*(CDECL*)(LPCSTR);
  const auto toDos = reinterpret_cast<UnixToDos>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (!toDos) return path;
  const UniqueProcessHeapMemory<WCHAR> dos(toDos(Utf8FromWide(path).c_str()));
  return dos ? std::wstring(dos.get()) : path;
}

// The file QEMUTIL_SIM_CONFIG names, which must exist, or Varnel.ini beside the DLL, which
// may be missing (then the defaults hold: storage in unit\ beside the DLL).
TSimConfig LoadConfiguration() {
  wchar_t named[MAX_PATH * 4] = {};
  const DWORD length = GetEnvironmentVariableW(ConfigVariable, named, MAX_PATH * 4);
  if (length > 0 && length < MAX_PATH * 4)
    return LoadSimConfig(std::filesystem::path(DosPath(named)), true);
  const std::filesystem::path folder =
      std::filesystem::path(ModuleFileName(ModuleHandle)).parent_path();
  return LoadSimConfig(folder / ConfigFileName, false);
}

// A method's answer, or failed (the internal-error status by default) if it throws: nothing
// thrown crosses the COM boundary.
template <typename Call, typename Result = decltype(std::declval<Call>()())>
Result Guarded(Call call, Result failed = SimInternalError) {
  try {
    return call();
  } catch (...) {
    return failed;
  }
}

// IReceivedSize is our own second interface: the vendor's component does not answer it, nor
// does the stand-in in contract-only mode.
class TComPort final : public TComObject<TComPort, IComPort, IReceivedSize> {
 public:
  explicit TComPort(TSimConfig config)
      : replyBuffer_(config.ContractOnly ? TSimUnit::ReplyBufferSize : 0),
        unit_(std::move(config), std::make_shared<TRealClock>(), replyBuffer_.Span()) {
    if (unit_.ContractOnly() && replyBuffer_.Span().empty()) throw std::bad_alloc();
    DialogIfDue("Create");  // owned by no window: none is configured yet
  }
  // As the last reference goes: a component may tell here that the unit may be unplugged.
  ~TComPort() override {
    Guarded([&] {
      DialogIfDue("Release");
      return 0;
    });
  }

  // A method of the unit, no exception crossing back: one way in for every slot that only
  // forwards.
  template <typename... Parameters, typename... Arguments>
  int32_t Call(int32_t (TSimUnit::*method)(Parameters...), Arguments... arguments) {
    return Guarded([&] { return (unit_.*method)(arguments...); });
  }

  int32_t DialogThenCall(const char* method, int32_t (TSimUnit::*call)()) {
    return Guarded([&] {
      DialogIfDue(method);
      return (unit_.*call)();
    });
  }

  // The dialog a component in interactive mode may show inside a call: modal, owned by the
  // program's window, with a message loop of its own that serves the program's messages.
  void DialogIfDue(const char* method) {
    if (!unit_.DialogDue(method)) return;
    const std::wstring text =
        L"Имитатор блока диагностики: окно компонента связи во время вызова " +
        WideFromUtf8(method) + L".";
    MessageBoxW(reinterpret_cast<HWND>(static_cast<uintptr_t>(unit_.Settings().AppWindow)),
                text.c_str(), L"Varnel", MB_OK | MB_ICONINFORMATION);
  }

  void* InterfaceFor(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IComPort) return static_cast<IComPort*>(this);
    if (iid == IID_IReceivedSize && !unit_.ContractOnly()) return static_cast<IReceivedSize*>(this);
    return nullptr;
  }

  int32_t STDMETHODCALLTYPE Configure(const SCP_Info* info) override {
    return Guarded([&] {
      if (!info) return unit_.Configure(nullptr);
      TLinkSettings settings;
      settings.Mode = info->Mode;
      settings.AppTitle = info->AppTitle ? info->AppTitle : "";
      settings.AppWindow = reinterpret_cast<uintptr_t>(info->AppWindow);
      settings.Flag = info->Flag;
      const int32_t status = unit_.Configure(&settings);
      DialogIfDue("Configure");  // owned by the window just configured
      return status;
    });
  }
  int32_t STDMETHODCALLTYPE Reset() override { return DialogThenCall("Reset", &TSimUnit::Reset); }
  int32_t STDMETHODCALLTYPE Shutdown() override {
    return DialogThenCall("Shutdown", &TSimUnit::Shutdown);
  }
  int32_t STDMETHODCALLTYPE SetErrorOption(int32_t option) override {
    return Call(&TSimUnit::SetErrorOption, option);
  }
  int32_t STDMETHODCALLTYPE Close() override { return DialogThenCall("Close", &TSimUnit::Close); }
  int32_t STDMETHODCALLTYPE SetTimeout(int32_t milliseconds) override {
    return Call(&TSimUnit::SetTimeout, milliseconds);
  }
  int32_t STDMETHODCALLTYPE Reserved9() override { return Call(&TSimUnit::Reserved, 9); }
  int32_t STDMETHODCALLTYPE Reserved10() override { return Call(&TSimUnit::Reserved, 10); }
  int32_t STDMETHODCALLTYPE Reserved11() override { return Call(&TSimUnit::Reserved, 11); }
  int32_t STDMETHODCALLTYPE SendPacket(int32_t kind, int32_t length,
                                       const uint8_t* bytes) override {
    return Call(&TSimUnit::SendPacket, kind, length, bytes);
  }
  int32_t STDMETHODCALLTYPE Reserved13() override { return Call(&TSimUnit::Reserved, 13); }
  int32_t STDMETHODCALLTYPE SendFile(int32_t size, const uint8_t* bytes, BSTR* fileName,
                                     ProgressProc progress) override {
    return Guarded([&] {
      std::wstring name;
      const bool named = fileName && *fileName;
      if (named) name.assign(*fileName, SysStringLen(*fileName));
      TSimProgress report;
      if (progress)
        report = [progress](int32_t total, int32_t current) { progress(total, current); };
      return unit_.SendFile(size, bytes, named ? &name : nullptr, report);
    });
  }
  int32_t STDMETHODCALLTYPE WaitData(int32_t timeoutMs) override {
    return Call(&TSimUnit::WaitData, timeoutMs);
  }
  int32_t STDMETHODCALLTYPE WaitAnswer(int32_t kind, int32_t timeoutMs) override {
    return Call(&TSimUnit::WaitAnswer, kind, timeoutMs);
  }
  int32_t STDMETHODCALLTYPE WaitConfirm(int32_t kind, int32_t timeoutMs) override {
    return Call(&TSimUnit::WaitConfirm, kind, timeoutMs);
  }
  int32_t STDMETHODCALLTYPE Reserved18() override { return Call(&TSimUnit::Reserved, 18); }
  const uint8_t* STDMETHODCALLTYPE GetReceivedData() override {
    return Guarded([&] { return unit_.GetReceivedData(); }, static_cast<const uint8_t*>(nullptr));
  }
  int32_t STDMETHODCALLTYPE Reserved20() override { return Call(&TSimUnit::Reserved, 20); }
  int32_t STDMETHODCALLTYPE Reserved21() override { return Call(&TSimUnit::Reserved, 21); }
  int32_t STDMETHODCALLTYPE Reserved22() override { return Call(&TSimUnit::Reserved, 22); }
  int32_t STDMETHODCALLTYPE GetErrorText(BSTR* text) override {
    return Guarded([&] {
      DialogIfDue("GetErrorText");
      if (!text) return unit_.GetErrorText(nullptr);
      std::wstring error;
      const int32_t status = unit_.GetErrorText(&error);
      SysFreeString(*text);
      *text = error.empty() ? nullptr
                            : SysAllocStringLen(error.data(), static_cast<UINT>(error.size()));
      return status;
    });
  }
  int32_t STDMETHODCALLTYPE SetInteractive(int32_t interactive) override {
    return Call(&TSimUnit::SetInteractive, interactive);
  }
  int32_t STDMETHODCALLTYPE Reserved25() override { return Call(&TSimUnit::Reserved, 25); }
  int32_t STDMETHODCALLTYPE Reserved26() override { return Call(&TSimUnit::Reserved, 26); }
  int32_t STDMETHODCALLTYPE Reserved27() override { return Call(&TSimUnit::Reserved, 27); }
  int32_t STDMETHODCALLTYPE Initialize() override {
    return Guarded([&] {
      DialogIfDue("Initialize");
      return unit_.Initialize();
    });
  }
  int32_t STDMETHODCALLTYPE QueryState(int32_t* state) override {
    return Call(&TSimUnit::QueryState, state);
  }

  // IReceivedSize.
  int32_t STDMETHODCALLTYPE GetReceivedSize() override {
    return Guarded([&] { return unit_.GetReceivedSize(); }, 0);
  }

 private:
  GuardedBuffer replyBuffer_;  // made before unit_ and freed after it
  TSimUnit unit_;
};

}  // namespace

HRESULT CreateComPort(REFIID iid, void** object) {
  try {
    TSimConfig config = LoadConfiguration();
    if (!config.Replay.empty()) return CreateReplayPort(config, iid, object);
    return MakeComObject<TComPort>(iid, object, std::move(config));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}
