// Moments of a bench child's start-up, read by startup_bench: each a name and the performance
// counter in milliseconds, a clock every process of the machine shares, so that the parent
// can put them beside the moment it started the child. Written at the end, when nothing is
// being timed any more.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

inline double CounterMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / frequency;
}

class TStamps {
 public:
  void Mark(const wchar_t* name) { stamps_.push_back({name, CounterMs()}); }
  // One "name<TAB>milliseconds" line each, UTF-8; nothing when no file was asked for.
  void Save(const wchar_t* file) const {
    if (!file || !*file) return;
    FILE* out = _wfopen(file, L"w");
    if (!out) return;
    for (const auto& [name, ms] : stamps_) {
      char utf8[256] = {};
      WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
      std::fprintf(out, "%s\t%.3f\n", utf8, ms);
    }
    std::fclose(out);
  }

 private:
  struct TStamp {
    std::wstring name;
    double ms;
  };
  std::vector<TStamp> stamps_;
};

// The file named by the command line (wWinMain's, after the program's name), if any: a
// path, quoted or not. Read by hand, as the shell's parser would load one more DLL.
inline std::wstring StampsFile(const wchar_t* commandLine) {
  std::wstring file = commandLine ? commandLine : L"";
  while (!file.empty() && (file.back() == L' ' || file.back() == L'"')) file.pop_back();
  while (!file.empty() && (file.front() == L' ' || file.front() == L'"')) file.erase(0, 1);
  return file;
}
