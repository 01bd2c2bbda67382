// The stand-in link component built beside the tests (bin/sim/Varnel.dll), used without its
// registration, and its call journal.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "common/UniqueResource.h"
#include "link/Varnel_tlb.h"

inline std::filesystem::path StandInPath() {
  return std::filesystem::path(ExecutablePath()).parent_path().parent_path() / L"sim" /
         L"Varnel.dll";
}

// The class factory of the link component in dll, which stays loaded for the process. Empty
// when it cannot be loaded.
inline ComPtr<IClassFactory> ClassFactoryOf(const std::filesystem::path& dll) {
  const HMODULE module = LoadLibraryW(dll.c_str());
  ComPtr<IClassFactory> factory;
  if (!module) return factory;
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto get = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (get) get(CLSID_ComPort, IID_IClassFactory, factory.put_void());
  return factory;
}

inline ComPtr<IClassFactory> StandInFactory() { return ClassFactoryOf(StandInPath()); }

// A new stand-in, which reads the configuration file QEMUTIL_SIM_CONFIG names as it is made.
inline ComPtr<IComPort> NewStandIn() {
  ComPtr<IComPort> port;
  if (ComPtr<IClassFactory> factory = StandInFactory())
    factory->CreateInstance(nullptr, IID_IComPort, port.put_void());
  return port;
}

// The journal's call lines, its remarks (#) left out.
inline std::vector<std::string> JournalLines(const std::filesystem::path& path) {
  std::vector<std::string> lines;
  std::ifstream stream(path);
  for (std::string line; std::getline(stream, line);)
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}
