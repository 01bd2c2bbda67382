// What the update transfer tests share: real folders, a window that journals what the worker
// tells it, and a worker that counts its finished update jobs.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "link/UniqueResource.h"
#include "worker/UThreadComPort.h"

inline const std::wstring Succeeded = L"status: Обновление файлов завершено успешно";
inline const std::wstring Waiting = L"status: Ожидание подтверждения обновления...";

// A fresh folder under the temp folder; removed with what is left in it.
class TempFolder {
 public:
  TempFolder() {
    static int made = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"обновление блока " + std::to_wstring(GetCurrentProcessId()) +
            L"-" + std::to_wstring(++made);
    RemoveTree(path_);  // Wine reuses process ids: a crashed run may have left this name behind
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() { RemoveTree(path_); }
  const std::wstring& Path() const { return path_; }
  std::wstring At(const std::wstring& name) const { return path_ + L"\\" + name; }

  void Write(const std::wstring& name, const std::vector<uint8_t>& bytes) const {
    UniqueFileHandle file(CreateFileW(At(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    if (!bytes.empty()) {
      ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
  }
  bool Has(const std::wstring& name) const {
    return GetFileAttributesW(At(name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  std::vector<std::wstring> Entries() const { return EntriesOf(path_); }

 private:
  static std::vector<std::wstring> EntriesOf(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search) return names;
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search.get(), &found));
    return names;
  }
  static void RemoveTree(const std::wstring& folder) {
    for (const auto& name : EntriesOf(folder)) {
      const std::wstring path = folder + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!DeleteFileW(path.c_str())) RemoveTree(path);
    }
    RemoveDirectoryW(folder.c_str());
  }

  std::wstring path_;
};

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
