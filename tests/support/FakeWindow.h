// The window side of the worker's hand-offs, as a test sees it: what reached the window, and
// whether anything reached it off the window thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/Pump.h"
#include "worker/TWorkerWindow.h"

struct StatusLine {
  std::wstring text;
  bool failed;
  bool operator==(const StatusLine&) const = default;
};

class FakeWindow : public TWorkerWindow {
 public:
  std::vector<StatusLine> statuses;
  std::vector<int32_t> rowCounts;
  std::vector<int32_t> gauges;
  int repaints = 0;
  std::vector<int32_t> jobsStarted;  // the command of each wake-up
  int jobsEnded = 0;
  bool calledOffWindowThread = false;
  DWORD windowThread = GetCurrentThreadId();

  bool statusLineThrows = false;    // the window's status line fails, as an allocation might
  std::vector<std::string> errors;  // what reached ShowError

  void ShowStatusLine(const std::wstring& text, bool failed) override {
    Check();
    if (statusLineThrows) throw std::runtime_error("status line");
    statuses.push_back({text, failed});
  }
  void InstallComponentList(TFileList&& records, int32_t rows) override {
    Check();
    rowCounts.push_back(rows);
    fileList = std::move(records);
  }
  TUpdateList UpdateCandidates() override { return candidates; }
  std::wstring UpdateFolder() override { return folder; }

  TFileList fileList;
  TUpdateList candidates;
  std::wstring folder;
  void RepaintUpdateGrid() override {
    Check();
    ++repaints;
  }
  void ShowGauge(int32_t percent) override {
    Check();
    gauges.push_back(percent);
  }
  void JobStarted(int32_t command) override {
    Check();
    jobsStarted.push_back(command);
  }
  std::function<void()> onJobEnded;  // runs as the window hears it, inside the hand-off
  void JobEnded() override {
    Check();
    ++jobsEnded;
    if (onJobEnded) onJobEnded();
  }
  void ShowError(std::exception_ptr error) override {
    Check();
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      errors.push_back(e.what());
    }
  }

 private:
  void Check() { calledOffWindowThread |= GetCurrentThreadId() != windowThread; }
};
