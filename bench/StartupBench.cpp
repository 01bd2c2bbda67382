// Start-up of QemUtil.exe against the stand-in: from process start to its window shown,
// beside a minimal Win32 window program and beside a minimal one that also creates and
// configures the link component (with QemUtil's manifest and common controls), each started
// the same way; where QemUtil's time goes, step
// by step (startup_phases.exe, the same start-up with its observer attached); the program's
// peak working set after it has shown the component list. Prints figures; decides nothing.
//
//   startup_bench.exe QemUtil.exe startup_phases.exe minimal_link_window.exe
//                     minimal_window.exe STAMPS-FOLDER [runs]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Stamps.h"
#include "Width.h"
#include "app/WidgetIds.h"

namespace {

// The program's visible top-level window of that class, once it has one. A lookup by class
// name is one request to the window system per poll, where walking every top-level window
// would be several per window: the program under test needs the window system too, and the
// polling should take as little of it as it can.
HWND VisibleWindowOf(DWORD processId, const wchar_t* className) {
  for (HWND window = FindWindowExW(nullptr, nullptr, className, nullptr); window;
       window = FindWindowExW(nullptr, window, className, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// A step's name and when it ended, in ms after the process was started.
using Steps = std::vector<std::pair<std::string, double>>;

struct Run {
  double startMs = -1;   // process start to window visible
  SIZE_T peakBytes = 0;  // peak working set, when asked for
  Steps steps;           // what the program wrote about itself
};

Steps ReadStamps(const std::wstring& file, double started) {
  Steps steps;
  FILE* in = _wfopen(file.c_str(), L"r");
  if (!in) return steps;
  char line[512];
  while (std::fgets(line, sizeof line, in)) {
    char* tab = std::strchr(line, '\t');
    if (!tab) continue;
    *tab = '\0';
    steps.emplace_back(line, std::atof(tab + 1) - started);
  }
  std::fclose(in);
  return steps;
}

struct Program {
  const wchar_t* label;
  std::wstring path;
  const wchar_t* className;
  std::wstring stamps;  // empty: the program writes none
};

// Starts program, waits for its visible window, optionally lets it fetch the component list,
// reads its peak working set, closes it, reads what it wrote about its steps.
Run StartOnce(const Program& program, bool fetchList, bool measure) {
  Run run;
  std::wstring command = L"\"" + program.path + L"\"";
  if (!program.stamps.empty()) {
    DeleteFileW(program.stamps.c_str());
    command += L" \"" + program.stamps + L"\"";
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const double started = CounterMs();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return run;
  HWND window = nullptr;
  while (!window && CounterMs() - started < 60000) {
    window = VisibleWindowOf(info.dwProcessId, program.className);
    if (!window) Sleep(1);
  }
  if (window) run.startMs = CounterMs() - started;
  if (window && fetchList) {
    // "Компоненты", then wait until the status line says the list has arrived.
    PostMessageW(window, WM_COMMAND, idMiComp, 0);
    HWND status = GetDlgItem(GetDlgItem(window, idPl1), idLbStatus);
    const double asked = CounterMs();
    wchar_t text[256] = {};
    while (status && CounterMs() - asked < 20000) {
      SendMessageW(status, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
      if (std::wstring(text) == L"Запрос списка файлов завершен успешно") break;
      Sleep(5);
    }
  }
  if (window && measure) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(info.hProcess, &counters, sizeof counters))
      run.peakBytes = counters.PeakWorkingSetSize;
  }
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(info.hProcess, 30000) != WAIT_OBJECT_0)
    TerminateProcess(info.hProcess, 1);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  if (!program.stamps.empty()) run.steps = ReadStamps(program.stamps, started);
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// Each step's own time (from the end of the one before; the first from process start) and
// when it ended, medians over the runs.
void PrintSteps(const wchar_t* label, const std::vector<Run>& runs) {
  std::vector<std::string> order;
  std::map<std::string, std::vector<double>> own, ended;
  for (const Run& run : runs) {
    double previous = 0;
    for (const auto& [name, at] : run.steps) {
      if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
      own[name].push_back(at - previous);
      ended[name].push_back(at);
      previous = at;
    }
  }
  std::printf("  %ls:\n", label);
  if (order.empty()) {
    std::printf("    (no steps written)\n");
    return;
  }
  for (const std::string& name : order) {
    const std::string shown =
        name == "entry" ? "process start to entry (loader, DLLs, runtime)" : name;
    std::printf("    %-48s %7.1f ms   (at %6.1f)\n", shown.c_str(), Median(own[name]),
                Median(ended[name]));
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 6) {
    std::printf(
        "usage: startup_bench QemUtil.exe startup_phases.exe minimal_link_window.exe "
        "minimal_window.exe STAMPS-FOLDER [runs]\n");
    return 2;
  }
  const int runs = argc > 6 ? std::max(1, _wtoi(argv[6])) : 9;
  const std::wstring folder = std::wstring(argv[5]) + L"\\";
  const Program qemUtil{L"QemUtil.exe", argv[1], MainWindowClass, L""};
  const Program phases{L"QemUtil's start-up with its observer (startup_phases.exe)", argv[2],
                       MainWindowClass, folder + L"phases.txt"};
  const Program minimalLink{L"minimal window program that creates and configures the link", argv[3],
                            L"QemMinimalLink", folder + L"minimal-link.txt"};
  const Program minimal{L"minimal window program", argv[4], L"QemMinimal", folder + L"minimal.txt"};
  const Program* programs[] = {&qemUtil, &phases, &minimalLink, &minimal};

  // One start of each first, unmeasured: the first start of a Wine session loads everything.
  for (const Program* program : programs) StartOnce(*program, false, false);
  std::map<const Program*, std::vector<Run>> results;
  // Each round's start-up times, for the ratios within a round.
  std::vector<std::map<const Program*, double>> rounds(runs);
  SIZE_T peak = 0, minimalPeak = 0;
  for (int i = 0; i < runs; ++i) {
    // Interleaved, so that a disturbance of the machine falls on all of them alike.
    for (const Program* program : programs) {
      const bool first = i == 0 && (program == &qemUtil || program == &minimal);
      Run run = StartOnce(*program, first && program == &qemUtil, first);
      if (program == &qemUtil && run.peakBytes) peak = run.peakBytes;
      if (program == &minimal && run.peakBytes) minimalPeak = run.peakBytes;
      if (run.startMs < 0) continue;
      rounds[i][program] = run.startMs;
      results[program].push_back(std::move(run));
    }
  }
  const auto median = [&](const Program& program) {
    std::vector<double> values;
    for (const Run& run : results[&program]) values.push_back(run.startMs);
    return Median(values);
  };
  // Other work on the machine comes and goes over a run of the bench; a ratio taken within
  // each round, where the programs ran one after the other, shifts less with it.
  const auto pairedRatio = [&](const Program& yardstick) {
    std::vector<double> ratios;
    for (auto& round : rounds)
      if (round.count(&qemUtil) && round.count(&yardstick))
        ratios.push_back(round[&qemUtil] / round[&yardstick]);
    return Median(ratios);
  };
  const double p = median(qemUtil), l = median(minimalLink), m = median(minimal);
  std::printf(
      "%s: start-up to window shown (seen from outside), median of %d runs; QemUtil's ratio to\n"
      "each, of the medians and (in brackets) the median of the ratios within a round:\n",
      kBuildWidth, runs);
  std::printf("  QemUtil.exe:                                    %8.1f ms\n", p);
  std::printf("  minimal window program creating the link:       %8.1f ms   ratio %5.2f (%4.2f)\n",
              l, l > 0 ? p / l : 0.0, pairedRatio(minimalLink));
  std::printf("  minimal window program:                         %8.1f ms   ratio %5.2f (%4.2f)\n",
              m, m > 0 ? p / m : 0.0, pairedRatio(minimal));
  std::printf("  QemUtil's start-up with its observer:           %8.1f ms\n", median(phases));
  std::printf(
      "where the time goes, each step's own time and when it ended (ms after process start),\n"
      "medians; the window counts as shown from outside once it is visible:\n");
  PrintSteps(phases.label, results[&phases]);
  PrintSteps(minimalLink.label, results[&minimalLink]);
  PrintSteps(minimal.label, results[&minimal]);
  if (peak) {
    std::printf("peak working set:\n");
    std::printf("  QemUtil.exe, component list shown:              %8.1f MiB\n", peak / 1048576.0);
    std::printf("  minimal window program (what the system\n");
    std::printf("  maps into any window program):                  %8.1f MiB\n",
                minimalPeak / 1048576.0);
  } else {
    std::printf("peak working set: not available here\n");
  }
  return 0;
}
