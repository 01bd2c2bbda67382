// Command 1 against the stand-in link component bin/sim/Varnel.dll, loaded through its class
// factory with a private configuration and storage: the program and the simulated unit agree
// on the exchange byte for byte, and the unit's faulty replies end as the program says.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/FakeWindow.h"
#include "support/Pump.h"
#include "support/StandIn.h"
#include "link/LinkConfiguration.h"
#include "worker/UThreadComPort.h"

namespace {

namespace fs = std::filesystem;

const StatusLine Initialising{L"Инициализация...", false};
const StatusLine SettingDirectory{L"Задание директории...", false};
const StatusLine DirectorySet{L"Задание директории завершено успешно", false};
const StatusLine AskingForFiles{L"Запрос списка файлов...", false};
const StatusLine FilesListed{L"Запрос списка файлов завершен успешно", false};
const StatusLine FileListFailed{L"Запрос списка файлов завершен неудачно ", true};
const StatusLine ReplyCut{L"Запрос списка файлов завершен неудачно: ответ блока неполный", true};

class ReadComponentsSimTest : public ::testing::Test {
 protected:
  const TDeadline bound{20000, "a component list test"};
  fs::path folder;
  FakeWindow window;
  UniqueHandle event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder = fs::path(temp) / (L"qem-read-components-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"QEMUTIL_SIM_CONFIG", nullptr);
    CoUninitialize();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    EXPECT_FALSE(window.calledOffWindowThread);
  }

  // A fresh unit with its factory files, set up as the window sets up the link; then
  // command 1 runs once on a worker that ends afterwards.
  void RunCommandAgainstUnit(const std::string& faults) {
    fs::remove_all(folder / L"unit");
    std::ofstream(folder / L"sim.ini", std::ios::trunc)
        << "[unit]\nstorage = unit\nrate = 0\nlatency = 0\njournal = journal.txt\n"
        << faults;
    SetEnvironmentVariableW(L"QEMUTIL_SIM_CONFIG", (folder / L"sim.ini").c_str());

    ComPtr<IComPort> port = NewStandIn();
    ASSERT_TRUE(port) << "no stand-in at " << StandInPath().string();
    ConfigureLink(*port.get(), "\xC1\xEB\xEE\xEA", nullptr);

    auto worker = std::make_unique<TThreadComPort>(true, window);
    // The wake-up that ended the previous run's worker may not have been consumed (it can end
    // on its flag alone); left signalled, it would start a second job in this run.
    ResetEvent(event.get());
    worker->Event = event.get();
    worker->Port = std::move(port);
    worker->AskForReceivedSize();
    worker->Resume();
    worker->Command = cmComponents;
    SetEvent(event.get());
    EXPECT_TRUE(PumpUntil([&] { return !window.rowCounts.empty() && worker->Command == cmNone; },
                          TServe::HandOffs));
    worker->Terminate();
    SetEvent(event.get());
    worker->WaitFor();
    // The window's order at close: the link is shut down, then the worker releases it.
    worker->Port->Reset();
    worker->Port->Close();
    worker->Port->Shutdown();
    worker.reset();
  }
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    for (const TFileStruct& r : window.fileList) names.push_back(r.Name);
    return names;
  }
};

TEST_F(ReadComponentsSimTest, TheUnitsComponentsArriveWithTheirVersions) {
  RunCommandAgainstUnit("");

  EXPECT_EQ(window.statuses, (std::vector<StatusLine>{Initialising, SettingDirectory, DirectorySet,
                                                      AskingForFiles, FilesListed}));
  // The factory files: six components (readme.txt and unit.cfg are no .exe files).
  EXPECT_EQ(Names(), (std::vector<std::wstring>{
                         L"Диагностический тест MERIDOX", L"Диагностика системы SALVIK",
                         L"Сигнатурный тест TORMUND", L"Тест контактов PELIKAR",
                         L"Тест памяти ZELMORA", L"Программа управления QEM"}));
  EXPECT_EQ(window.rowCounts, std::vector<int32_t>{7});
  std::vector<std::wstring> versions;
  for (const TFileStruct& r : window.fileList) {
    versions.push_back(r.Version);
    EXPECT_GT(r.Size, 0);
    EXPECT_EQ(r.Date.size(), 10u);
    EXPECT_EQ(r.Date.substr(0, 3), L"201");
    EXPECT_EQ(r.Time.size(), 8u);
  }
  EXPECT_EQ(versions, (std::vector<std::wstring>{L"1.0", L"1.2", L"1.0", L"2.1", L"1.0", L"3.4"}));

  // What reached the unit, in the worker's order.
  std::vector<std::string> exchange;
  for (const std::string& line : JournalLines(folder / L"journal.txt"))
    if (line.rfind("SendPacket", 0) == 0 || line.rfind("Wait", 0) == 0 ||
        line.rfind("GetReceived", 0) == 0)
      exchange.push_back(line.substr(0, line.find(" = ")));
  EXPECT_EQ(exchange, (std::vector<std::string>{"SendPacket(27, 2, 02 00)", "WaitAnswer(27, -1)",
                                                "SendPacket(27, 2, 01 01)", "WaitData(2000)",
                                                "GetReceivedData()", "GetReceivedSize()"}));
}

TEST_F(ReadComponentsSimTest, FaultyRepliesAndRefusalsEndWithTheTitleRowOnly) {
  const struct {
    const char* fault;
    StatusLine last;
  } cases[] = {
      {"method = WaitData\naction = truncate\nlength = 40\n", ReplyCut},
      {"method = WaitData\naction = overrun-count\n", ReplyCut},
      {"method = WaitData\naction = overrun-name\n", ReplyCut},
      {"method = WaitData\naction = wrong-code\ncode = 2\n", {FileListFailed.text, false}},
      {"method = WaitData\nstatus = 3\n", FileListFailed},
      {"method = SendPacket\ncall = 1\nstatus = 6\ntext = Блок занят\n", {L"Блок занят", true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    window.statuses.clear();
    window.rowCounts.clear();
    window.fileList = {TFileStruct{}};  // a list from an earlier run
    RunCommandAgainstUnit(std::string("[fault]\n") + c.fault);
    ASSERT_FALSE(window.statuses.empty());
    EXPECT_EQ(window.statuses.back(), c.last);
    EXPECT_TRUE(window.fileList.empty());
    EXPECT_EQ(window.rowCounts, std::vector<int32_t>{1});
  }
}

}  // namespace
