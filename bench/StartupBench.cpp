// Start-up of QemUtil.exe against the stand-in: from process start to its window shown,
// beside a minimal Win32 window program started the same way, and the program's peak working
// set after it has shown the component list. Prints figures; decides nothing.
//
//   startup_bench.exe QemUtil.exe minimal_window.exe [runs]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/WidgetIds.h"

namespace {

struct Search {
  DWORD processId;
  const wchar_t* className;
  HWND window;
};

BOOL CALLBACK Match(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (owner != search->processId || search->className != std::wstring(name) || !IsWindowVisible(window))
    return TRUE;
  search->window = window;
  return FALSE;
}

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

struct Run {
  double startMs = -1;     // process start to window visible
  SIZE_T peakBytes = 0;    // peak working set, when asked for
};

// Starts program, waits for its visible window of className, optionally lets it fetch the
// component list, reads its peak working set, closes it.
Run StartOnce(const std::wstring& program, const wchar_t* className, bool fetchList, bool measure) {
  Run run;
  std::wstring command = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const double started = Now();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return run;
  Search search{info.dwProcessId, className, nullptr};
  while (!search.window && Now() - started < 60000) {
    EnumWindows(&Match, reinterpret_cast<LPARAM>(&search));
    if (!search.window) Sleep(1);
  }
  if (search.window) run.startMs = Now() - started;
  if (search.window && fetchList) {
    // "Компоненты", then wait until the status line says the list has arrived.
    PostMessageW(search.window, WM_COMMAND, idMiComp, 0);
    HWND status = GetDlgItem(GetDlgItem(search.window, idPl1), idLbStatus);
    const double asked = Now();
    wchar_t text[256] = {};
    while (status && Now() - asked < 20000) {
      SendMessageW(status, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
      if (std::wstring(text) == L"Запрос списка файлов завершен успешно") break;
      Sleep(5);
    }
  }
  if (search.window && measure) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(info.hProcess, &counters, sizeof counters)) run.peakBytes = counters.PeakWorkingSetSize;
  }
  if (search.window) PostMessageW(search.window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(info.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: startup_bench QemUtil.exe minimal_window.exe [runs]\n");
    return 2;
  }
  const int runs = argc > 3 ? std::max(1, _wtoi(argv[3])) : 7;
  std::vector<double> program, minimal;
  SIZE_T peak = 0, minimalPeak = 0;
  // One start of each first, unmeasured: the first start of a Wine session loads everything.
  StartOnce(argv[1], MainWindowClass, false, false);
  StartOnce(argv[2], L"QemMinimal", false, false);
  for (int i = 0; i < runs; ++i) {
    const Run a = StartOnce(argv[1], MainWindowClass, i == 0, i == 0);
    const Run b = StartOnce(argv[2], L"QemMinimal", false, i == 0);
    if (a.startMs >= 0) program.push_back(a.startMs);
    if (b.startMs >= 0) minimal.push_back(b.startMs);
    if (a.peakBytes) peak = a.peakBytes;
    if (b.peakBytes) minimalPeak = b.peakBytes;
  }
  const double p = Median(program), m = Median(minimal);
  std::printf("start-up to window shown, median of %d runs:\n", runs);
  std::printf("  QemUtil.exe (link created and configured): %8.1f ms\n", p);
  std::printf("  minimal window program:                    %8.1f ms\n", m);
  std::printf("  ratio:                                     %8.2f\n", m > 0 ? p / m : 0.0);
  if (peak) {
    std::printf("peak working set:\n");
    std::printf("  QemUtil.exe, component list shown:         %8.1f MiB\n", peak / 1048576.0);
    std::printf("  minimal window program (what the system\n");
    std::printf("  maps into any window program):             %8.1f MiB\n", minimalPeak / 1048576.0);
  } else {
    std::printf("peak working set: not available here\n");
  }
  return 0;
}
