// The stand-in DLL as an operator and the program meet it: registered by regsvr32, created
// by CoCreateInstance, driven through IComPort, unregistered by regsvr32 /u. Every test uses
// its own storage and configuration in a temporary folder, named by QEMUTIL_SIM_CONFIG.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/Sha256.h"
#include "common/TextCase.h"
#include "common/UniqueResource.h"
#include "link/FileListReply.h"
#include "link/IReceivedSize.h"
#include "link/LinkStatus.h"
#include "link/Packets.h"
#include "link/ReadableMemory.h"
#include "link/RecordingFormat.h"
#include "link/Varnel_tlb.h"
#include "support/StandIn.h"

namespace {

namespace fs = std::filesystem;

const wchar_t ClassKey[] = L"CLSID\\{CDFF5124-8322-4B60-ACEB-F4AFEC1116FD}";

DWORD Run(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return static_cast<DWORD>(-1);
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(process.hProcess, &code);
  return code;
}

DWORD Regsvr32(const wchar_t* options) {
  return Run(std::wstring(L"regsvr32.exe ") + options + L" \"" + StandInPath().wstring() + L"\"");
}

std::wstring ReadRegistryText(const std::wstring& key, const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD bytes = sizeof value;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes) !=
      ERROR_SUCCESS)
    return L"<missing>";
  return value;
}

bool ClassKeyExists() {
  UniqueHKey key;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, ClassKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

struct TEntry {
  std::string Name;
  uint32_t Size = 0;
  std::string Version;
};

// Reads a reply with version parts; stops at the first entry that runs past the end.
std::vector<TEntry> ParseReply(const uint8_t* reply, int32_t size) {
  std::vector<TEntry> entries;
  if (!reply || size < 2 || reply[0] != 1) return entries;
  int32_t at = 2;
  for (int i = 0; i < reply[1]; ++i) {
    if (at >= size || at + 1 + reply[at] + 9 >= size) break;
    TEntry e;
    const int l = reply[at];
    e.Name.assign(reinterpret_cast<const char*>(reply) + at + 1, l);
    at += 1 + l + 1 + 4;
    e.Size = reply[at] | reply[at + 1] << 8 | reply[at + 2] << 16 | uint32_t(reply[at + 3]) << 24;
    at += 4;
    if (at + 1 + reply[at] > size) break;
    e.Version.assign(reinterpret_cast<const char*>(reply) + at + 1, reply[at]);
    at += 1 + reply[at];
    entries.push_back(e);
  }
  return entries;
}

std::vector<std::pair<int32_t, int32_t>> Reports;
DWORD ReportThread = 0;
void __stdcall OnProgress(int32_t total, int32_t current) {
  Reports.emplace_back(total, current);
  ReportThread = GetCurrentThreadId();
}

class SimCom : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = fs::path(temp) / (L"qem-sim-com-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    UseConfig("");
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    CoUninitialize();
    SetEnvironmentVariableW(L"QEMUTIL_SIM_CONFIG", nullptr);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  void UseConfig(const std::string& extra) {
    std::ofstream(folder_ / L"sim.ini", std::ios::trunc)
        << "[unit]\nstorage = unit\nrate = 0\nlatency = 0\njournal = journal.txt\n"
        << extra;
    SetEnvironmentVariableW(L"QEMUTIL_SIM_CONFIG", (folder_ / L"sim.ini").c_str());
  }

  fs::path folder_;
};

TEST_F(SimCom, Regsvr32RegistersAndUnregistersTheServer) {
  ASSERT_EQ(Regsvr32(L"/s"), 0u);
  const std::wstring server =
      ReadRegistryText(std::wstring(ClassKey) + L"\\InprocServer32", nullptr);
  EXPECT_TRUE(EqualIgnoringCase(server, StandInPath().wstring())) << fs::path(server).string();
  EXPECT_EQ(ReadRegistryText(std::wstring(ClassKey) + L"\\InprocServer32", L"ThreadingModel"),
            L"Both");

  EXPECT_EQ(Regsvr32(L"/u /s"), 0u);
  EXPECT_FALSE(ClassKeyExists());
}

TEST_F(SimCom, UnregisteringLeavesAnotherServersRegistrationAlone) {
  ASSERT_EQ(Regsvr32(L"/s"), 0u);
  {
    UniqueHKey key;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(ClassKey) + L"\\InprocServer32").c_str(), 0,
                      KEY_SET_VALUE, key.put()),
        ERROR_SUCCESS);
    const std::wstring vendor = L"C:\\Vendor\\Varnel.dll";
    RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(vendor.c_str()),
                   static_cast<DWORD>((vendor.size() + 1) * sizeof(wchar_t)));
  }
  EXPECT_EQ(Regsvr32(L"/u /s"), 0u);
  EXPECT_EQ(ReadRegistryText(std::wstring(ClassKey) + L"\\InprocServer32", nullptr),
            L"C:\\Vendor\\Varnel.dll");
  RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey);
}

TEST_F(SimCom, AClientListsUpdatesAndSeesTheNewVersion) {
  ASSERT_EQ(Regsvr32(L"/s"), 0u);
  ComPtr<IComPort> port;
  ASSERT_EQ(
      CoCreateInstance(CLSID_ComPort, nullptr, CLSCTX_INPROC_SERVER, IID_IComPort, port.put_void()),
      S_OK);

  const std::string title = "\xC1\xEB\xEE\xEA";  // cp1251
  SCP_Info info{5, title.c_str(), nullptr, true};
  EXPECT_EQ(port->Configure(&info), 0);
  int32_t state = 0;
  EXPECT_NE(port->QueryState(&state), 0);
  EXPECT_EQ(port->SetTimeout(1000), 0);
  EXPECT_EQ(port->SetInteractive(1), 0);
  ASSERT_EQ(port->Initialize(), 0);
  ComPtr<IReceivedSize> received;
  ASSERT_EQ(port->QueryInterface(IID_IReceivedSize, received.put_void()), S_OK);

  uint8_t packet[4100] = {};
  int32_t length = BuildSetDirectory(packet, "");
  ASSERT_EQ(port->SendPacket(UnitMessageKind, length, packet), 0);
  EXPECT_EQ(port->WaitAnswer(UnitMessageKind, -1), 0);

  length = BuildFileListRequest(packet, L"exe");
  ASSERT_EQ(port->SendPacket(UnitMessageKind, length, packet), 0);
  ASSERT_EQ(port->WaitData(2000), 0);
  std::vector<TEntry> files = ParseReply(port->GetReceivedData(), received->GetReceivedSize());
  ASSERT_EQ(files.size(), 8u);
  EXPECT_EQ(files[0].Name, "meridox.exe");
  EXPECT_EQ(files[0].Version, "1.0");

  const std::vector<uint8_t> image(9000, 0x5A);
  UniqueBstr name(SysAllocString(L"Meridox.EXE"));
  BSTR nameText = name.get();
  Reports.clear();
  ASSERT_EQ(port->SendFile(static_cast<int32_t>(image.size()), image.data(), &nameText, OnProgress),
            0);
  EXPECT_EQ(Reports, (std::vector<std::pair<int32_t, int32_t>>{{3, 0}, {3, 1}, {3, 2}}));
  EXPECT_EQ(ReportThread, GetCurrentThreadId());

  length = BuildConfirmUpdate(packet, 0, L"2.5");
  ASSERT_EQ(port->SendPacket(UnitMessageKind, length, packet), 0);
  EXPECT_EQ(port->WaitConfirm(UnitMessageKind, 3000), 0);

  length = BuildFileListRequest(packet, L"exe");
  ASSERT_EQ(port->SendPacket(UnitMessageKind, length, packet), 0);
  ASSERT_EQ(port->WaitData(2000), 0);
  files = ParseReply(port->GetReceivedData(), received->GetReceivedSize());
  ASSERT_EQ(files.size(), 8u);
  EXPECT_EQ(files[0].Version, "2.5");
  EXPECT_EQ(files[0].Size, 9000u);

  // A confirmation with no file before it fails, and says why in Russian.
  ASSERT_EQ(
      port->SendPacket(UnitMessageKind, length = BuildConfirmUpdate(packet, 1, L"1.1"), packet), 0);
  EXPECT_EQ(port->WaitConfirm(UnitMessageKind, 3000), LinkStatusUseErrorText);
  UniqueBstr text;
  EXPECT_EQ(port->GetErrorText(text.put()), 0);
  ASSERT_TRUE(text);
  EXPECT_NE(std::wstring(text.get()).find(L"salvik.exe"), std::wstring::npos);

  EXPECT_EQ(port->Reset(), 0);
  EXPECT_EQ(port->Close(), 0);
  EXPECT_EQ(port->Shutdown(), 0);
  port.reset();

  EXPECT_EQ(JournalLines(folder_ / L"journal.txt").front(), "Configure(5, \"Блок\", 0, 1) = 0");
  EXPECT_TRUE(fs::exists(folder_ / L"unit" / L"storage.ini"));
  EXPECT_EQ(Regsvr32(L"/u /s"), 0u);
}

TEST_F(SimCom, ADisconnectedUnitFailsInitializeWithARussianText) {
  UseConfig("connected = 0\n");
  ASSERT_EQ(Regsvr32(L"/s"), 0u);
  ComPtr<IComPort> port;
  ASSERT_EQ(
      CoCreateInstance(CLSID_ComPort, nullptr, CLSCTX_INPROC_SERVER, IID_IComPort, port.put_void()),
      S_OK);
  EXPECT_NE(port->Initialize(), 0);
  UniqueBstr text(SysAllocString(L"replaced"));
  EXPECT_EQ(port->GetErrorText(text.put()), 0);
  ASSERT_TRUE(text);
  EXPECT_EQ(std::wstring(text.get()), L"Блок диагностики не подключен");
  port.reset();
  EXPECT_EQ(Regsvr32(L"/u /s"), 0u);
}

TEST_F(SimCom, TheConfigurationMayBeNamedByItsUnixPath) {
  using DosToUnix = char*(CDECL*)(LPCWSTR);
  const auto toUnix = reinterpret_cast<DosToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) GTEST_SKIP() << "not under Wine";
  char* unixPath = toUnix((folder_ / L"sim.ini").c_str());
  ASSERT_NE(unixPath, nullptr);
  ASSERT_EQ(unixPath[0], '/');
  SetEnvironmentVariableA("QEMUTIL_SIM_CONFIG", unixPath);
  HeapFree(GetProcessHeap(), 0, unixPath);

  ComPtr<IComPort> port = NewStandIn();
  ASSERT_TRUE(port);
  EXPECT_EQ(port->Initialize(), 0);
  port.reset();
  EXPECT_EQ(JournalLines(folder_ / L"journal.txt"), std::vector<std::string>{"Initialize() = 0"});
}

// Contract-only mode offers what the vendor's component has and no more: no IReceivedSize,
// and a reply whose readable memory ends with the fixed receive buffer.
TEST_F(SimCom, ContractOnlyModeHasNoReceivedSizeAndAGuardedReceiveBuffer) {
  for (const bool contractOnly : {false, true}) {
    SCOPED_TRACE(contractOnly ? "contract-only" : "normal");
    UseConfig(contractOnly ? "contract-only = 1\n" : "");
    ComPtr<IComPort> port = NewStandIn();
    ASSERT_TRUE(port);
    ComPtr<IReceivedSize> received;
    EXPECT_EQ(port->QueryInterface(IID_IReceivedSize, received.put_void()),
              contractOnly ? E_NOINTERFACE : S_OK);
    if (!contractOnly) continue;

    ASSERT_EQ(port->Initialize(), 0);
    uint8_t packet[4100] = {};
    ASSERT_EQ(port->SendPacket(UnitMessageKind, BuildFileListRequest(packet, L"exe"), packet), 0);
    ASSERT_EQ(port->WaitData(2000), 0);
    const uint8_t* reply = port->GetReceivedData();
    EXPECT_EQ(ReadableExtent(reply, MaxFileListReplySize), 65536u);
    // A reader running past the buffer faults there instead of finding other memory.
    MEMORY_BASIC_INFORMATION after{};
    ASSERT_EQ(VirtualQuery(reply + 65536, &after, sizeof after), sizeof after);
    EXPECT_EQ(after.State, DWORD{MEM_COMMIT});
    EXPECT_EQ(after.Protect, DWORD{PAGE_NOACCESS});
    EXPECT_EQ(port->Reserved20(), 4);
  }
  EXPECT_EQ(JournalLines(folder_ / L"journal.txt").back(), "Reserved20() = 4");
}

TEST_F(SimCom, TheClassFactoryFollowsTheRules) {
  HMODULE module = LoadLibraryW(StandInPath().c_str());
  ASSERT_NE(module, nullptr);
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
  auto getClassObject = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  auto canUnloadNow = reinterpret_cast<CanUnloadNow>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_NE(canUnloadNow, nullptr);
  ASSERT_NE(GetProcAddress(module, "DllRegisterServer"), nullptr);
  ASSERT_NE(GetProcAddress(module, "DllUnregisterServer"), nullptr);

  ComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject(IID_IComPort, IID_IClassFactory, factory.put_void()),
            CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(getClassObject(CLSID_ComPort, IID_IClassFactory, factory.put_void()), S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);

  ComPtr<IUnknown> object;
  IUnknown* outer = reinterpret_cast<IUnknown*>(factory.get());
  EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, object.put_void()), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, object.put_void()), E_NOINTERFACE);
  ComPtr<IComPort> port;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IComPort, port.put_void()), S_OK);
  factory.reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  ComPtr<IUnknown> same;
  ASSERT_EQ(port->QueryInterface(IID_IUnknown, same.put_void()), S_OK);
  same.reset();
  port.reset();
  EXPECT_EQ(canUnloadNow(), S_OK);
  FreeLibrary(module);
}

// Replay: a call the recording does not have fails alone, and the next one meets the recording
// again further on; progress the component made after SendFile returned comes after it returns,
// from a thread of its own.
TEST_F(SimCom, ReplayMeetsTheRecordingAgainAndGivesLateProgressAfterSendFile) {
  const uint8_t file[] = {7, 8, 9};
  auto call = [](int seq, const char* method, const TJsonObject& args) {
    return TJsonObject()
        .Number("seq", seq)
        .Text("thread", "creator")
        .Text("method", method)
        .Raw("args", args.Close())
        .Number("result", 0)
        .Milliseconds("ms", 0.5);
  };
  std::ofstream(folder_ / L"rec.jsonl", std::ios::binary)
      << call(1, "Reset", {}).Close() << "\n"
      << call(2, "SetTimeout", TJsonObject().Number("ms", 1)).Close() << "\n"
      << call(3, "SendFile",
              TJsonObject().Number("size", 3).Text("name", "a.bin").Text("sha256", Sha256Hex(file)))
             .Raw("progress", R"([{"thread":"own","total":3,"current":1,"at":0.1}])")
             .Close()
      << "\n"
      << R"({"t":5,"progress":{"thread":"own","total":3,"current":3,"at":0.2},"of":3})"
      << "\n"
      << call(4, "Close", {}).Close() << "\n";
  UseConfig("replay = rec.jsonl\nreplay-speed = 0\n");
  ComPtr<IComPort> port = NewStandIn();
  ASSERT_TRUE(port);
  EXPECT_EQ(port->Reset(), 0);
  EXPECT_EQ(port->SetTimeout(99), 6);
  UniqueBstr name(SysAllocString(L"a.bin"));
  BSTR text = name.get();
  Reports.clear();
  EXPECT_EQ(port->SendFile(3, file, &text, OnProgress), 0);
  EXPECT_EQ(port->Close(), 0);
  port.reset();  // waits for the late progress call
  EXPECT_EQ(Reports, (std::vector<std::pair<int32_t, int32_t>>{{3, 1}, {3, 3}}));
  EXPECT_NE(ReportThread, GetCurrentThreadId());
  std::ifstream stream(folder_ / L"journal.txt");
  const std::string journal((std::istreambuf_iterator<char>(stream)),
                            std::istreambuf_iterator<char>());
  EXPECT_NE(journal.find("# divergence"), std::string::npos) << journal;
  EXPECT_EQ(journal.find("# divergence"), journal.rfind("# divergence")) << journal;
  EXPECT_NE(journal.find("# replay: passed over SetTimeout(1), which the program did not make"),
            std::string::npos)
      << journal;
}

}  // namespace
