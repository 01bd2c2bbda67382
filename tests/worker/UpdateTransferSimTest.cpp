// The update transfer against the stand-in link component (bin/sim/Varnel.dll) with its
// simulated unit: a confirmed update shows up in the unit's file list with its new version,
// and a link that drops or a confirmation that never comes leave the file in the folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <memory>
#include <string>
#include <vector>

#include "support/FakeWindow.h"
#include "support/Pump.h"
#include "support/StandIn.h"
#include "support/TransferTestSupport.h"
#include "link/LinkConfiguration.h"
#include "common/Utf8.h"
#include "link/LinkStatus.h"
#include "model/ComponentTable.h"

namespace {

// The record dgComp would show for a component, from the last component list.
const TFileStruct* Listed(const TFileList& files, int row) {
  for (const auto& file : files)
    if (file.Name == ComponentDisplayNames[row]) return &file;
  return nullptr;
}

class UpdateTransferSimTest : public ::testing::Test {
 protected:
  const TDeadline bound{20000, "an update transfer test"};
  TempFolder place{UpdateFolderName};  // the unit's storage, the configuration and the journal
  TempFolder folder{UpdateFolderName};
  TransferWindow window;
  UniqueHandle event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  std::unique_ptr<TransferWorker> worker;
  IComPort* port = nullptr;  // owned by the worker

  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override {
    if (worker) {
      StopWorker();
      port->Reset();
      port->Close();
      port->Shutdown();
    }
    worker.reset();
    ThreadComPort = nullptr;
    SetEnvironmentVariableW(L"QEMUTIL_SIM_CONFIG", nullptr);
    CoUninitialize();
  }

  // A unit with the factory files, instant transfers, and the given [fault] sections.
  void StartWith(const std::string& faults) {
    const std::string config =
        "[unit]\nstorage = " + Utf8FromWide(place.At(L"unit")) + "\nrate = 0\nlatency = 0\n" +
        "journal = " + Utf8FromWide(place.At(L"journal.txt")) + "\n" + faults;
    place.Write(L"sim.ini", std::vector<uint8_t>(config.begin(), config.end()));
    SetEnvironmentVariableW(L"QEMUTIL_SIM_CONFIG", place.At(L"sim.ini").c_str());

    // Loaded straight from its file: no registration, so this test never meets another
    // test's registry changes.
    ComPtr<IComPort> link = NewStandIn();
    ASSERT_TRUE(link) << "bin/sim/Varnel.dll could not be loaded";
    ConfigureLink(*link.get(), "\xC1\xEB\xEE\xEA",
                  nullptr);  // what the window does before it starts the worker

    worker = std::make_unique<TransferWorker>(true, window);
    worker->Event = event.get();
    port = link.get();
    worker->Port = std::move(link);
    ThreadComPort = worker.get();
    window.folder = folder.Path();
    worker->Resume();
  }
  bool RunUpdate() {
    worker->Command = cmUpdate;
    SetEvent(event.get());
    return PumpUntil([&] { return worker->updatesDone == 1; }, TServe::HandOffs, 60000);
  }
  // Command 1, as the menu item gives it: the unit's component list.
  bool ListComponents() {
    window.journal.clear();
    worker->Command = cmComponents;
    SetEvent(event.get());
    return PumpUntil(
        [&] {
          return worker->Command == cmNone && !window.journal.empty() &&
                 window.journal.back().rfind(L"component rows", 0) == 0;
        },
        TServe::HandOffs, 60000);
  }
  // After this the test thread is the link's caller again.
  void StopWorker() {
    worker->Terminate();
    SetEvent(event.get());
    worker->WaitFor();
  }
  std::shared_ptr<TUpdateStruct> Candidate(int32_t row, const std::wstring& version) {
    auto record = std::make_shared<TUpdateStruct>();
    record->Component = row;
    record->Version = version;
    window.candidates.push_back(record);
    return record;
  }
};

TEST_F(UpdateTransferSimTest, AConfirmedUpdateIsListedByTheUnitWithItsNewVersion) {
  ASSERT_NO_FATAL_FAILURE(StartWith(""));
  const auto image = Bytes(300000, 5);
  folder.Write(L"Salvik.exe", image);
  folder.Write(L"pelikar.exe", Bytes(1048576, 6));
  const std::string ini = "[VERSION]\r\nSALVIK.EXE=2.7\r\nPELIKAR.EXE=3.14\r\n";
  folder.Write(L"Version.ini", std::vector<uint8_t>(ini.begin(), ini.end()));
  Candidate(1, L"2.7");
  Candidate(3, L"3.14");
  ASSERT_TRUE(RunUpdate());

  EXPECT_EQ(window.Statuses(), (std::vector<int32_t>{usSucceeded, usSucceeded}));
  EXPECT_EQ(window.journal.back(), Succeeded);
  EXPECT_TRUE(folder.Entries().empty());
  // The stand-in reports every 4096-byte block: 256 reports for the 1 MiB file, yet no more
  // than one gauge hand-off per whole percentage.
  EXPECT_LE(window.gauges.size(), 2u * 101);
  ASSERT_FALSE(window.gauges.empty());
  EXPECT_EQ(window.gauges.back(), 100);

  ASSERT_TRUE(ListComponents());
  const TFileStruct* salvik = Listed(window.fileList, 1);
  const TFileStruct* pelikar = Listed(window.fileList, 3);
  ASSERT_TRUE(salvik && pelikar) << window.fileList.size() << " components listed";
  EXPECT_EQ(salvik->Version, L"2.7");
  EXPECT_EQ(salvik->Size, static_cast<int32_t>(image.size()));
  EXPECT_EQ(pelikar->Version, L"3.14");
  EXPECT_EQ(pelikar->Size, 1048576);
  ASSERT_TRUE(Listed(window.fileList, 0));
  EXPECT_EQ(Listed(window.fileList, 0)->Version, L"1.0");  // untouched
}

TEST_F(UpdateTransferSimTest, ALinkThatDropsDuringTheTransferLeavesTheFile) {
  ASSERT_NO_FATAL_FAILURE(
      StartWith("[fault]\nmethod = SendFile\naction = disconnect\nblock = 64\n"));
  folder.Write(L"meridox.exe", Bytes(1048576, 7));
  folder.Write(L"tormund.exe", Bytes(1000, 8));
  folder.Write(L"Version.ini", {});
  Candidate(0, L"9.9");
  Candidate(2, L"9.9");
  ASSERT_TRUE(RunUpdate());

  EXPECT_EQ(window.Statuses(), (std::vector<int32_t>{usFailed, usReady}));
  EXPECT_EQ(worker->LastResult, 1);
  EXPECT_EQ(window.journal[window.journal.size() - 2],
            L"red: Связь с блоком диагностики прервана при передаче файла");
  EXPECT_FALSE(window.Shows(Succeeded));
  EXPECT_FALSE(window.Shows(Waiting));
  // The gauge stopped where the link did: 64 of 256 blocks.
  ASSERT_FALSE(window.gauges.empty());
  EXPECT_EQ(window.gauges.back(), 25);
  EXPECT_EQ(folder.Entries().size(), 3u);

  // The unit kept its old file: ours (1 MiB) never arrived.
  const DWORD kept = GetFileAttributesW(place.At(L"unit\\meridox.exe").c_str());
  ASSERT_NE(kept, INVALID_FILE_ATTRIBUTES);
  UniqueFileHandle stored(CreateFileW(place.At(L"unit\\meridox.exe").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER storedSize{};
  ASSERT_TRUE(GetFileSizeEx(stored.get(), &storedSize));
  EXPECT_NE(storedSize.QuadPart, 1048576);
}

TEST_F(UpdateTransferSimTest, AConfirmationThatNeverComesEndsAfterThreeSecondsAndKeepsTheFile) {
  ASSERT_NO_FATAL_FAILURE(StartWith("[fault]\nmethod = WaitConfirm\naction = timeout\n"));
  folder.Write(L"volnikar.exe", Bytes(5000, 9));
  Candidate(4, L"1.1");
  ASSERT_TRUE(RunUpdate());

  EXPECT_EQ(window.Statuses(), std::vector<int32_t>{usFailed});
  EXPECT_EQ(worker->LastResult, 3);
  EXPECT_TRUE(window.Shows(Waiting));
  EXPECT_EQ(window.journal[window.journal.size() - 2].rfind(L"red: ", 0), 0u);
  EXPECT_NE(window.journal[window.journal.size() - 2], L"red: ");
  EXPECT_TRUE(folder.Has(L"volnikar.exe"));

  // The wait the unit saw was the program's 3000 ms.
  UniqueFileHandle journal(CreateFileW(place.At(L"journal.txt").c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
  ASSERT_TRUE(journal);
  std::string text(65536, '\0');
  DWORD got = 0;
  ReadFile(journal.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr);
  text.resize(got);
  EXPECT_NE(text.find("SendPacket(27, 4, 03 04 01 01) = 0"), std::string::npos) << text;
  EXPECT_NE(text.find("WaitConfirm(27, 3000) = 3"), std::string::npos) << text;
}

TEST_F(UpdateTransferSimTest, ARefusedSecondConfirmationKeepsTheRestWithTheUnitsText) {
  ASSERT_NO_FATAL_FAILURE(StartWith(
      "[fault]\nmethod = WaitConfirm\ncall = 2\nstatus = 6\ntext = Блок отклонил обновление: нет места\n"));
  folder.Write(L"meridox.exe", Bytes(100, 1));
  folder.Write(L"salvik.exe", Bytes(200, 2));
  folder.Write(L"tormund.exe", Bytes(300, 3));
  folder.Write(L"Version.ini", {});
  Candidate(0, L"1.1");
  Candidate(1, L"1.3");
  Candidate(2, L"1.1");
  ASSERT_TRUE(RunUpdate());

  EXPECT_EQ(window.Statuses(), (std::vector<int32_t>{usSucceeded, usFailed, usReady}));
  EXPECT_EQ(window.journal[window.journal.size() - 2], L"red: Блок отклонил обновление: нет места");
  EXPECT_FALSE(folder.Has(L"meridox.exe"));
  EXPECT_TRUE(folder.Has(L"salvik.exe"));
  EXPECT_TRUE(folder.Has(L"tormund.exe"));
  EXPECT_TRUE(folder.Has(L"Version.ini"));
}

}  // namespace
