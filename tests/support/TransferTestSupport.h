// What the update transfer tests share: real folders (with a name outside any single-byte code
// page), a window that journals what the worker tells it, and a worker that counts its finished
// update jobs.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "worker/UThreadComPort.h"

inline const std::wstring Succeeded = L"status: Обновление файлов завершено успешно";
inline const std::wstring Waiting = L"status: Ожидание подтверждения обновления...";
inline const std::wstring UpdateFolderName = L"обновление блока";

inline std::vector<uint8_t> Bytes(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

// The window as the worker sees it: one journal of everything it was told, the record
// statuses as each repaint of dgUpdate would show them.
class TransferWindow : public TWorkerWindow {
 public:
  std::vector<std::wstring> journal;
  std::vector<int32_t> gauges;
  TUpdateList candidates;
  std::wstring folder;
  bool calledOffWindowThread = false;

  void ShowStatusLine(const std::wstring& text, bool failed) override {
    Check();
    journal.push_back((failed ? L"red: " : L"status: ") + text);
  }
  void InstallComponentList(TFileList&& records, int32_t rows) override {
    Check();
    journal.push_back(L"component rows: " + std::to_wstring(rows));
    fileList = std::move(records);
  }
  TFileList fileList;
  void RepaintUpdateGrid() override {
    Check();
    std::wstring shown = L"grid:";
    for (const auto& record : candidates) shown += L" " + std::to_wstring(record->Status);
    journal.push_back(shown);
  }
  void ShowGauge(int32_t percent) override {
    Check();
    gauges.push_back(percent);
  }
  TUpdateList UpdateCandidates() override {
    Check();
    return candidates;
  }
  std::wstring UpdateFolder() override {
    Check();
    return folder;
  }
  // Around the job, not part of it: left out of the journal.
  void JobStarted(int32_t) override { Check(); }
  void JobEnded() override { Check(); }
  void ShowError(std::exception_ptr) override { journal.push_back(L"error"); }
  // The candidates' statuses as they stand.
  std::vector<int32_t> Statuses() const {
    std::vector<int32_t> statuses;
    for (const auto& record : candidates) statuses.push_back(record->Status);
    return statuses;
  }
  bool Shows(const std::wstring& entry) const {
    return std::find(journal.begin(), journal.end(), entry) != journal.end();
  }

 private:
  void Check() { calledOffWindowThread |= GetCurrentThreadId() != windowThread_; }
  DWORD windowThread_ = GetCurrentThreadId();
};

// Counts finished update jobs, so that the test reads the results only after the job.
class TransferWorker : public TThreadComPort {
 public:
  using TThreadComPort::TThreadComPort;
  std::atomic<int> updatesDone{0};

 protected:
  void UpdateComponents() override {
    TThreadComPort::UpdateComponents();
    ++updatesDone;
  }
};
