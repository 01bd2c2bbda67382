// What the recorder adds: object creation (start-up) and per call, through the recorder in
// front of the stand-in beside the stand-in alone, both instant (no rate limit, no latency).
// Prints figures; decides nothing. The stand-in is loaded from bin/sim, the recorder from a
// copy in a temporary folder with a recorder.ini that names the stand-in; no registration.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Width.h"
#include "common/UniqueResource.h"
#include "common/Utf8.h"
#include "link/Varnel_tlb.h"
#include "support/StandIn.h"

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

void __stdcall OnProgress(int32_t, int32_t) {}

ComPtr<IComPort> Create(IClassFactory* factory) {
  ComPtr<IComPort> port;
  factory->CreateInstance(nullptr, IID_IComPort, port.put_void());
  return port;
}

// Microseconds per run of work, the mean of count runs.
double MicrosecondsEach(int count, const std::function<void()>& work) {
  const auto start = TClock::now();
  for (int i = 0; i < count; ++i) work();
  return std::chrono::duration<double, std::micro>(TClock::now() - start).count() / count;
}

struct TFigures {
  double First, Create, QueryState, FileList, SendFile;
};

TFigures Measure(IClassFactory* factory) {
  TFigures figures{};
  const auto start = TClock::now();
  ComPtr<IComPort> port = Create(factory);
  figures.First = std::chrono::duration<double, std::micro>(TClock::now() - start).count();
  figures.Create = MicrosecondsEach(50, [&] { Create(factory); });
  port->Initialize();
  int32_t state = 0;
  figures.QueryState = MicrosecondsEach(20000, [&] { port->QueryState(&state); });
  const uint8_t request[] = {1, 1};
  figures.FileList = MicrosecondsEach(2000, [&] {
    port->SendPacket(27, 2, request);
    port->WaitData(2000);
    port->GetReceivedData();
  });
  const std::vector<uint8_t> image(1048576, 0x4D);
  UniqueBstr name(SysAllocString(L"qem.exe"));
  figures.SendFile = MicrosecondsEach(20, [&] {
    BSTR text = name.get();
    port->SendFile(static_cast<int32_t>(image.size()), image.data(), &text, OnProgress);
  });
  return figures;
}

}  // namespace

int main() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const fs::path folder =
      fs::path(temp) / (L"qem-recorder-bench-" + std::to_wstring(GetCurrentProcessId()));
  std::error_code ignored;
  fs::remove_all(folder, ignored);  // Wine reuses process ids
  fs::create_directories(folder / L"recorder");
  std::ofstream(folder / L"bench.ini") << "[unit]\nstorage = unit\nrate = 0\nlatency = 0\n";
  SetEnvironmentVariableW(L"QEMUTIL_SIM_CONFIG", (folder / L"bench.ini").c_str());
  const fs::path recorder = folder / L"recorder" / L"Varnel.dll";
  fs::copy_file(StandInPath().parent_path().parent_path() / L"recorder" / L"Varnel.dll", recorder,
                fs::copy_options::overwrite_existing);
  std::ofstream(folder / L"recorder" / L"recorder.ini", std::ios::binary)
      << "[recorder]\r\ncomponent = " << Utf8FromWide(StandInPath().wstring())
      << "\r\nfolder = " << Utf8FromWide((folder / L"recordings").wstring()) << "\r\n";
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ComPtr<IClassFactory> alone = StandInFactory(), recording = ClassFactoryOf(recorder);
  if (!alone || !recording) return std::printf("cannot load the stand-in or the recorder\n"), 1;
  const TFigures a = Measure(alone.get()), r = Measure(recording.get());
  std::printf(
      "Recorder beside the stand-in alone, %s, microseconds (stand-in / recorder / added)\n",
      kBuildWidth);
  auto row = [](const char* what, double plain, double recorded) {
    std::printf("  %-46s %10.1f %10.1f %+10.1f\n", what, plain, recorded, recorded - plain);
  };
  row("first object (recorder: loads the component)", a.First, r.First);
  row("object creation, mean of 50", a.Create, r.Create);
  row("QueryState, mean of 20000", a.QueryState, r.QueryState);
  row("file list (SendPacket, WaitData, GetReceivedData)", a.FileList, r.FileList);
  row("SendFile 1 MiB, 256 progress calls, mean of 20", a.SendFile, r.SendFile);
  const auto recordings = std::distance(fs::directory_iterator(folder / L"recordings", ignored),
                                        fs::directory_iterator());
  std::printf("  recordings written: %d\n", static_cast<int>(recordings));
  fs::remove_all(folder, ignored);
  return 0;
}
