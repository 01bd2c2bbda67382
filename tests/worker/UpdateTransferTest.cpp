// The update transfer against the fake link, on real folders (Cyrillic paths) under Wine: what
// goes to the link, what the window is told, and above all which files leave the folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "support/FakeComPort.h"
#include "support/FakeWindow.h"
#include "support/Pump.h"
#include "support/TransferTestSupport.h"
#include "model/ComponentTable.h"
#include "worker/UThreadComPort.h"

namespace {

class UpdateTransferTest : public ::testing::Test {
 protected:
  const TDeadline bound{20000, "an update transfer test"};
  FakeComPort port{GetCurrentThreadId()};
  TransferWindow window;
  TempFolder folder{UpdateFolderName};
  UniqueHandle event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  std::unique_ptr<TransferWorker> worker;

  void SetUp() override {
    worker = std::make_unique<TransferWorker>(true, window);
    GiveLink(*worker, port, event.get());
    ThreadComPort = worker.get();
    window.folder = folder.Path();
    worker->Resume();
    ASSERT_TRUE(PumpUntil([&] { return port.CountOf("SetInteractive(0)@T") == 1; },
                          TServe::HandOffs));  // now idle
  }
  void TearDown() override {
    worker->Terminate();
    SetEvent(event.get());
    worker->WaitFor();
    EXPECT_FALSE(window.calledOffWindowThread);
    EXPECT_EQ(port.UnlistedCalls(), 0);
    ThreadComPort = nullptr;
  }

  std::shared_ptr<TUpdateStruct> Candidate(int32_t row, const std::wstring& version = L"???") {
    auto record = std::make_shared<TUpdateStruct>();
    record->Component = row;
    record->Version = version;
    window.candidates.push_back(record);
    return record;
  }
  // One update job from command to end, its hand-offs served here.
  bool RunUpdate() {
    const int before = worker->updatesDone;
    window.journal.clear();
    window.gauges.clear();
    port.ClearCalls();
    worker->Command = cmUpdate;
    SetEvent(event.get());
    return PumpUntil([&] { return worker->updatesDone == before + 1; }, TServe::HandOffs, 60000);
  }
  // The link calls the job made (InitLink's and the wake-up's aside).
  std::vector<std::string> TransferCalls() {
    std::vector<std::string> calls;
    for (const auto& call : port.Calls())
      if (call != "Initialize()@T") calls.push_back(call);
    return calls;
  }
};

TEST_F(UpdateTransferTest, ConfirmedFilesAndVersionIniLeaveTheFolder) {
  const auto small = Bytes(1000, 1);
  const auto largest = Bytes(1048576, 2);  // the largest file the unit takes
  folder.Write(L"meridox.exe", small);
  folder.Write(L"SALVIK.EXE", largest);
  folder.Write(L"Version.ini", Bytes(40, 3));
  Candidate(0, L"1.5");
  Candidate(1, L"2.10");
  ASSERT_TRUE(RunUpdate());

  EXPECT_EQ(window.journal,
            (std::vector<std::wstring>{L"status: Инициализация...",
                                       L"status: Обновление \"Диагностический тест MERIDOX\"...",
                                       L"grid: 3 0", Waiting, L"grid: 1 0",
                                       L"status: Обновление \"Диагностика системы SALVIK\"...",
                                       L"grid: 1 3", Waiting, L"grid: 1 1", Succeeded}));
  EXPECT_EQ(TransferCalls(),
            (std::vector<std::string>{"SendFile(1000)@T", "SendPacket(27,4)@T",
                                      "WaitConfirm(27,3000)@T", "SendFile(1048576)@T",
                                      "SendPacket(27,4)@T", "WaitConfirm(27,3000)@T"}));
  ASSERT_EQ(port.sentFiles.size(), 2u);
  EXPECT_EQ(port.sentFiles[0].bytes, small);
  EXPECT_EQ(port.sentFiles[0].name, L"meridox.exe");
  EXPECT_EQ(port.sentFiles[1].bytes, largest);
  EXPECT_EQ(port.sentFiles[1].name, L"salvik.exe");
  EXPECT_EQ(port.Packets(), (std::vector<std::vector<uint8_t>>{{3, 0, 1, 5}, {3, 1, 2, 10}}));
  EXPECT_TRUE(folder.Entries().empty());
  EXPECT_EQ(worker->LastResult, 0);
}

TEST_F(UpdateTransferTest, AFileOverTheLimitStaysAndEndsTheRunWithoutALinkCall) {
  folder.Write(L"meridox.exe", Bytes(1048576, 4));
  folder.Write(L"salvik.exe", Bytes(1048577, 5));
  folder.Write(L"tormund.exe", Bytes(10, 6));
  folder.Write(L"Version.ini", {});
  Candidate(0);
  Candidate(1);
  Candidate(2);
  ASSERT_TRUE(RunUpdate());

  EXPECT_EQ(window.Statuses(), (std::vector<int32_t>{usSucceeded, usFailed, usReady}));
  EXPECT_EQ(port.sentFiles.size(), 1u);
  EXPECT_EQ(port.CountOf("SendPacket(27,4)@T"), 1u);
  EXPECT_EQ(std::vector<std::wstring>(window.journal.end() - 3, window.journal.end()),
            (std::vector<std::wstring>{L"grid: 1 3 0", L"red: Файл имеет слишком большой размер",
                                       L"grid: 1 2 0"}));
  EXPECT_FALSE(folder.Has(L"meridox.exe"));
  EXPECT_TRUE(folder.Has(L"salvik.exe"));
  EXPECT_TRUE(folder.Has(L"tormund.exe"));
  EXPECT_TRUE(folder.Has(L"Version.ini"));
}

// Files the program cannot take: each ends the run with its own message and no link call.
// Version.ini goes when no *.exe entry is left, failed run or not.
TEST_F(UpdateTransferTest, UnreadableCandidatesFailWithTheirOwnMessages) {
  struct Case {
    const char* what;
    int32_t row;
    std::function<void(const TempFolder&)> prepare;
    std::wstring message;
    bool versionIniStays;
  };
  const std::vector<Case> cases = {
      {"empty file", 0, [](const TempFolder& f) { f.Write(L"meridox.exe", {}); },
       L"Файл имеет нулевую длину", true},
      {"sub-folder", 2,
       [](const TempFolder& f) { CreateDirectoryW(f.At(L"tormund.exe").c_str(), nullptr); },
       L"Ошибка чтения данных файла \"tormund.exe\"", true},
      {"removed after the scan", 0, [](const TempFolder&) {},
       L"Ошибка чтения данных файла \"meridox.exe\"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder own{UpdateFolderName};
    window.folder = own.Path();
    window.candidates.clear();
    c.prepare(own);
    own.Write(L"Version.ini", {});
    Candidate(c.row);
    Candidate(4);  // never reached
    ASSERT_TRUE(RunUpdate());

    EXPECT_EQ(window.Statuses(), (std::vector<int32_t>{usFailed, usReady}));
    ASSERT_GE(window.journal.size(), 2u);
    EXPECT_EQ(window.journal[window.journal.size() - 2], L"red: " + c.message);
    EXPECT_EQ(window.journal.back(), L"grid: 2 0");
    EXPECT_TRUE(TransferCalls().empty());
    EXPECT_EQ(own.Has(L"Version.ini"), c.versionIniStays);
    if (c.versionIniStays) {
      EXPECT_EQ(own.Entries().size(), 2u);  // the failed entry stays too
    }
  }
}

TEST_F(UpdateTransferTest, AfterTheSecondOfThreeFailsTheFirstIsGoneAndTheRestStay) {
  folder.Write(L"meridox.exe", Bytes(100, 1));
  folder.Write(L"salvik.exe", Bytes(200, 2));
  folder.Write(L"tormund.exe", Bytes(300, 3));
  folder.Write(L"Version.ini", Bytes(10, 4));
  Candidate(0, L"1.0");
  Candidate(1, L"1.1");
  Candidate(2, L"1.2");
  port.errorText = L"Блок не подтвердил обновление";
  int sent = 0;
  port.SetHook("SendFile", [&] {
    if (++sent == 2) port.SetResult("WaitConfirm", 9);
  });
  ASSERT_TRUE(RunUpdate());

  EXPECT_EQ(window.Statuses(), (std::vector<int32_t>{usSucceeded, usFailed, usReady}));
  EXPECT_EQ(
      std::vector<std::wstring>(window.journal.end() - 3, window.journal.end()),
      (std::vector<std::wstring>{Waiting, L"red: Блок не подтвердил обновление", L"grid: 1 2 0"}));
  EXPECT_FALSE(window.Shows(Succeeded));
  EXPECT_FALSE(folder.Has(L"meridox.exe"));
  EXPECT_TRUE(folder.Has(L"salvik.exe"));
  EXPECT_TRUE(folder.Has(L"tormund.exe"));
  EXPECT_TRUE(folder.Has(L"Version.ini"));
  EXPECT_EQ(port.sentFiles.size(), 2u);
  EXPECT_EQ(worker->LastResult, 9);
}

// Every link call failing in turn, with the special status 6 and another, with and without
// a text from the link: the text (or nothing) in red, and the file stays.
class LinkFailureTest
    : public UpdateTransferTest,
      public ::testing::WithParamInterface<std::tuple<const char*, int32_t, const wchar_t*>> {};

TEST_P(LinkFailureTest, ShowsTheLinkTextKeepsTheFileAndEndsTheRun) {
  const auto [method, status, text] = GetParam();
  folder.Write(L"pelikar.exe", Bytes(64, 9));
  folder.Write(L"volnikar.exe", Bytes(64, 10));
  folder.Write(L"Version.ini", {});
  Candidate(3, L"7.1");
  Candidate(4, L"7.2");
  port.SetResult(method, status);
  port.errorText = text;
  ASSERT_TRUE(RunUpdate());

  std::vector<std::string> expected = {"SendFile(64)@T", "SendPacket(27,4)@T",
                                       "WaitConfirm(27,3000)@T"};
  while (expected.back().rfind(method, 0) != 0) expected.pop_back();
  expected.push_back("GetErrorText()@T");
  EXPECT_EQ(TransferCalls(), expected);
  EXPECT_EQ(window.Shows(Waiting), std::string(method) != "SendFile");
  EXPECT_EQ(window.journal[window.journal.size() - 2], L"red: " + std::wstring(text));
  EXPECT_EQ(window.journal.back(), L"grid: 2 0");
  EXPECT_EQ(window.Statuses(), (std::vector<int32_t>{usFailed, usReady}));
  EXPECT_EQ(worker->LastResult, status);
  EXPECT_TRUE(folder.Has(L"pelikar.exe"));
  EXPECT_TRUE(folder.Has(L"volnikar.exe"));
  EXPECT_TRUE(folder.Has(L"Version.ini"));
}

INSTANTIATE_TEST_SUITE_P(
    EachCall, LinkFailureTest,
    ::testing::Combine(::testing::Values("SendFile", "SendPacket", "WaitConfirm"),
                       ::testing::Values(6, 1003), ::testing::Values(L"Нет связи с блоком", L"")));

TEST_F(UpdateTransferTest, TheConfirmationCarriesTheRowAndTheVersionNumbers) {
  const std::vector<std::wstring> versions = {L"1.5", L"300.1", L"-1.0", L"???", L"4."};
  for (int32_t row = 0; row < 5; ++row) {
    folder.Write(std::wstring(ComponentFileNames[row],
                              ComponentFileNames[row] + strlen(ComponentFileNames[row])),
                 Bytes(8, 1));
    Candidate(row, versions[row]);
  }
  ASSERT_TRUE(RunUpdate());
  EXPECT_EQ(port.Packets(),
            (std::vector<std::vector<uint8_t>>{
                {3, 0, 1, 5}, {3, 1, 44, 1}, {3, 2, 255, 0}, {3, 3, 0, 0}, {3, 4, 4, 0}}));
  EXPECT_TRUE(window.Shows(Succeeded));
}

TEST_F(UpdateTransferTest, VersionIniStaysWhileAnyExeEntryIsLeft) {
  folder.Write(L"Version.ini", {});
  const std::vector<std::pair<const char*, std::function<void()>>> leftovers = {
      {"qem.exe", [&] { folder.Write(L"qem.exe", Bytes(3, 0)); }},
      {"hidden system file",
       [&] {
         folder.Write(L"old.exe", Bytes(3, 0));
         SetFileAttributesW(folder.At(L"old.exe").c_str(),
                            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
       }},
      {"sub-folder", [&] { CreateDirectoryW(folder.At(L"архив.exe").c_str(), nullptr); }},
  };
  for (const auto& [what, leave] : leftovers) {
    SCOPED_TRACE(what);
    leave();
    window.candidates.clear();
    folder.Write(L"meridox.exe", Bytes(3, 0));
    Candidate(0);
    ASSERT_TRUE(RunUpdate());
    EXPECT_FALSE(folder.Has(L"meridox.exe"));
    EXPECT_TRUE(folder.Has(L"Version.ini"));
    EXPECT_TRUE(window.Shows(Succeeded));
    for (const auto& name : folder.Entries()) {
      SetFileAttributesW(folder.At(name).c_str(), FILE_ATTRIBUTE_NORMAL);
      if (name != L"Version.ini" && !DeleteFileW(folder.At(name).c_str()))
        RemoveDirectoryW(folder.At(name).c_str());
    }
  }
  // With the last leftover gone, the next successful run takes Version.ini with it.
  window.candidates.clear();
  folder.Write(L"meridox.exe", Bytes(3, 0));
  Candidate(0);
  ASSERT_TRUE(RunUpdate());
  EXPECT_TRUE(folder.Entries().empty());
}

TEST_F(UpdateTransferTest, TheGaugeShowsWholePercentagesOfTheLastPosition) {
  auto reportsFor = [](int32_t total) {
    std::vector<std::pair<int32_t, int32_t>> reports;
    for (int32_t current = 0; current < std::max(total, 1); ++current)
      reports.emplace_back(total, current);
    return reports;
  };
  const std::vector<std::pair<std::vector<std::pair<int32_t, int32_t>>, std::vector<int32_t>>>
      cases = {
          {reportsFor(5), {0, 25, 50, 75, 100}},
          {reportsFor(4), {0, 34, 67, 100}},
          {reportsFor(2), {0, 100}},
          {reportsFor(1), {100}},
          {reportsFor(0), {100}},
          {{{3, -1}, {3, 7}, {-5, 2}},
           {0, 100}},  // out-of-range reports are held to the gauge's range
      };
  for (const auto& [reports, gauges] : cases) {
    SCOPED_TRACE(reports.front().first);
    window.candidates.clear();
    folder.Write(L"meridox.exe", Bytes(3, 0));
    Candidate(0);
    port.progressReports = reports;
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(window.gauges, gauges);
  }
}

TEST_F(UpdateTransferTest, GaugeHandOffsStayBoundedWhateverTheNumberOfReports) {
  for (int32_t current = 0; current < 16384; ++current)
    port.progressReports.emplace_back(16384, current);
  folder.Write(L"meridox.exe", Bytes(1048576, 1));
  folder.Write(L"salvik.exe", Bytes(1048576, 2));
  Candidate(0);
  Candidate(1);
  ASSERT_TRUE(RunUpdate());

  // Each file starts the gauge afresh and takes it through every whole percentage once.
  std::vector<int32_t> everyPercent;
  for (int32_t percent = 0; percent <= 100; ++percent) everyPercent.push_back(percent);
  std::vector<int32_t> twoFiles = everyPercent;
  twoFiles.insert(twoFiles.end(), everyPercent.begin(), everyPercent.end());
  EXPECT_EQ(window.gauges, twoFiles);
  EXPECT_TRUE(window.Shows(Succeeded));
}

TEST_F(UpdateTransferTest, ThePathIsBuiltFromTheFolderTextOfEachMoment) {
  TempFolder second{UpdateFolderName};
  folder.Write(L"meridox.exe", Bytes(5, 1));
  folder.Write(L"Version.ini", {});
  second.Write(L"salvik.exe", Bytes(6, 2));
  second.Write(L"Version.ini", {});
  Candidate(0);
  Candidate(1);
  // The operator picks another folder while the first file is on its way.
  port.SetHook("SendFile", [&] {
    worker->Synchronize([&] { window.folder = second.Path(); });
    port.SetHook("SendFile", nullptr);
  });
  ASSERT_TRUE(RunUpdate());

  EXPECT_EQ(window.Statuses(), (std::vector<int32_t>{usSucceeded, usSucceeded}));
  EXPECT_EQ(port.sentFiles.at(1).bytes, Bytes(6, 2));
  EXPECT_EQ(folder.Entries(), std::vector<std::wstring>{L"Version.ini"});  // searched no more
  EXPECT_TRUE(second.Entries().empty());
}

TEST_F(UpdateTransferTest, ARescanDuringTheRunLeavesTheWorkersRecordsAlive) {
  folder.Write(L"meridox.exe", Bytes(5, 1));
  folder.Write(L"salvik.exe", Bytes(5, 2));
  std::weak_ptr<TUpdateStruct> first = Candidate(0);
  std::weak_ptr<TUpdateStruct> second = Candidate(1);
  bool aliveAfterRescan = false;
  port.SetHook("SendFile", [&] {
    worker->Synchronize([&] {
      window.candidates = {std::make_shared<TUpdateStruct>()};  // the window drops its records
    });
    aliveAfterRescan = !first.expired() && !second.expired();
    port.SetHook("SendFile", nullptr);
  });
  ASSERT_TRUE(RunUpdate());

  EXPECT_TRUE(aliveAfterRescan);
  EXPECT_EQ(port.sentFiles.size(), 2u);
  EXPECT_TRUE(first.expired());  // released with the worker's copy at the end of the job
  EXPECT_TRUE(folder.Entries().empty());
}

TEST_F(UpdateTransferTest, ClosingDuringATransferLetsItFinishAndDeletesOnlyConfirmedFiles) {
  folder.Write(L"meridox.exe", Bytes(5, 1));
  folder.Write(L"salvik.exe", Bytes(5, 2));
  folder.Write(L"Version.ini", {});
  Candidate(0);
  Candidate(1);
  std::atomic<bool> sending{false};
  std::atomic<bool> release{false};
  port.SetHook("SendFile", [&] {
    if (!sending.exchange(true)) {
      while (!release) Sleep(1);
    } else {
      port.SetResult("WaitConfirm", 5);  // the second is never confirmed
    }
  });
  port.errorText = L"Время ожидания истекло";
  worker->Command = cmUpdate;
  SetEvent(event.get());
  ASSERT_TRUE(PumpUntil([&] { return sending.load(); }, TServe::HandOffs));

  // What the window's close does: terminate, wake, and wait while serving hand-offs.
  worker->Terminate();
  SetEvent(event.get());
  release = true;
  worker->WaitFor();

  EXPECT_EQ(worker->updatesDone, 1);
  EXPECT_EQ(window.Statuses(), (std::vector<int32_t>{usSucceeded, usFailed}));
  EXPECT_EQ(window.journal.back(), L"grid: 1 2");
  EXPECT_TRUE(window.Shows(L"red: Время ожидания истекло"));
  EXPECT_FALSE(folder.Has(L"meridox.exe"));
  EXPECT_TRUE(folder.Has(L"salvik.exe"));
  EXPECT_TRUE(folder.Has(L"Version.ini"));
  EXPECT_EQ(port.Calls().back(), "SetInteractive(1)@T");
}

}  // namespace
