// Time of SendFile for 1 MiB through the stand-in's COM object: with no rate limit (the
// component's own cost) and at the default rate (what an operator waits for). Prints
// figures; decides nothing. The DLL is loaded from bin/sim beside this program's folder,
// without registration, and works on a storage in a temporary folder.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Width.h"
#include "common/UniqueResource.h"
#include "link/LinkStatus.h"
#include "link/Packets.h"
#include "link/Varnel_tlb.h"
#include "support/StandIn.h"

namespace {

namespace fs = std::filesystem;

int32_t Blocks = 0;
void __stdcall OnProgress(int32_t, int32_t) { ++Blocks; }

// One object made with the given [unit] keys; null when that fails.
ComPtr<IComPort> MakePort(const fs::path& folder, const std::string& keys) {
  std::ofstream(folder / L"bench.ini", std::ios::trunc) << "[unit]\nstorage = unit\n" << keys;
  SetEnvironmentVariableW(L"QEMUTIL_SIM_CONFIG", (folder / L"bench.ini").c_str());
  ComPtr<IComPort> port = NewStandIn();
  if (port && port->Initialize() != 0) port.reset();
  return port;
}

double SendSeconds(IComPort* port, const std::vector<uint8_t>& image) {
  UniqueBstr name(SysAllocString(L"qem.exe"));
  BSTR text = name.get();
  Blocks = 0;
  const auto start = std::chrono::steady_clock::now();
  const int32_t status =
      port->SendFile(static_cast<int32_t>(image.size()), image.data(), &text, OnProgress);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return status == 0 ? seconds : -1;
}

}  // namespace

int main() {
  if (!StandInFactory()) {
    std::printf("cannot load %ls\n", StandInPath().c_str());
    return 1;
  }
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const fs::path folder =
      fs::path(temp) / (L"qem-sim-bench-" + std::to_wstring(GetCurrentProcessId()));
  fs::create_directories(folder);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::printf("Stand-in, %s\n", kBuildWidth);
  const std::vector<uint8_t> image(1048576, 0x4D);
  {
    ComPtr<IComPort> port = MakePort(folder, "rate = 0\nlatency = 0\nseed = 0\n");
    if (!port) return std::printf("cannot create the object\n"), 1;
    constexpr int Runs = 50;
    double best = 1e9, total = 0;
    for (int i = 0; i < Runs; ++i) {
      const double s = SendSeconds(port.get(), image);
      best = std::min(best, s);
      total += s;
    }
    std::printf(
        "SendFile 1 MiB, no rate limit:  best %.3f ms, mean %.3f ms over %d runs (%d progress reports each)\n",
        best * 1e3, total / Runs * 1e3, Runs, Blocks);
  }
  {
    ComPtr<IComPort> port = MakePort(folder, "seed = 0\n");  // default rate and latency
    if (!port) return std::printf("cannot create the object\n"), 1;
    const double s = SendSeconds(port.get(), image);
    std::printf(
        "SendFile 1 MiB, default rate (1000000 B/s, 20 ms latency): %.3f s (%d progress reports)\n",
        s, Blocks);
  }
  CoUninitialize();
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
