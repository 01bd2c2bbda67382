// Command 1 against a fake link, under Wine: the link calls in order, the packets, the records
// the window receives with dgComp's row count, and every way a run can fail (status text,
// colour, and no rows left behind without their records).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/ReplyBytes.h"
#include "support/FakeComPort.h"
#include "support/FakeWindow.h"
#include "support/Pump.h"
#include "worker/UThreadComPort.h"

namespace {

using Calls = std::vector<std::string>;

const StatusLine Initialising{L"Инициализация...", false};
const StatusLine SettingDirectory{L"Задание директории...", false};
const StatusLine DirectorySet{L"Задание директории завершено успешно", false};
const StatusLine AskingForFiles{L"Запрос списка файлов...", false};
const StatusLine FilesListed{L"Запрос списка файлов завершен успешно", false};
const std::wstring FileListFailed = L"Запрос списка файлов завершен неудачно ";

const Calls WholeExchange = {"Initialize()@T",     "SendPacket(27,2)@T", "WaitAnswer(27,-1)@T",
                             "SendPacket(27,2)@T", "WaitData(2000)@T",   "GetReceivedData()@T",
                             "GetReceivedSize()@T"};

const std::vector<TReplyEntry> UnitFiles = {
    {"a.txt", 0x20, PackTime(9, 5, 4), PackDate(2006, 1, 2), 10, "0.1"},
    {"meridox.exe", 0x21, PackTime(14, 3, 26), PackDate(2007, 5, 14), 123456, "2.10"},
    {"QEM.EXE", 0x01, PackTime(23, 59, 58), PackDate(2019, 12, 31), 0x80000000u, "1.5"},
    {"foo.exe", 0x20, 0, 0, 1, ""},
    {"noext", 0x00, 0, 0, 0, ""},
};

class ReadComponentsTest : public ::testing::Test {
 protected:
  const TDeadline bound{20000, "a component list test"};
  FakeComPort port{GetCurrentThreadId()};
  FakeWindow window;
  UniqueHandle event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  std::unique_ptr<TThreadComPort> worker;

  void SetUp() override {
    worker = std::make_unique<TThreadComPort>(true, window);
    GiveLink(*worker, port, event.get());
    worker->AskForReceivedSize();
    worker->Resume();
    ASSERT_TRUE(
        PumpUntil([&] { return port.CountOf("SetInteractive(0)@T") == 1; }, TServe::HandOffs));
  }
  // The worker's destructor ends it and serves its last hand-offs.
  void TearDown() override {
    worker.reset();
    EXPECT_FALSE(window.calledOffWindowThread);
    EXPECT_EQ(port.UnlistedCalls(), 0);
  }

  // Runs command 1 to its end; the journal and the status lines are those of this run only.
  void RunCommand() {
    window.statuses.clear();
    port.ClearCalls();
    worker->Command = cmComponents;
    SetEvent(event.get());
    ASSERT_TRUE(PumpUntil([&] { return worker->Command == cmNone; }, TServe::HandOffs));
  }
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    for (const TFileStruct& r : window.fileList) names.push_back(r.Name);
    return names;
  }
};

TEST_F(ReadComponentsTest, KnownComponentsArriveUnderTheirDisplayNamesWithTheirRowCount) {
  port.reply = ReplyBytes(UnitFiles, true);
  RunCommand();

  EXPECT_EQ(port.Calls(), WholeExchange);
  EXPECT_EQ(port.Packets(), (std::vector<std::vector<uint8_t>>{{0x02, 0x00}, {0x01, 0x01}}));
  EXPECT_EQ(window.statuses, (std::vector<StatusLine>{Initialising, SettingDirectory, DirectorySet,
                                                      AskingForFiles, FilesListed}));
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"Диагностический тест MERIDOX",
                                                L"Программа управления QEM"}));
  EXPECT_EQ(window.rowCounts, std::vector<int32_t>{3});
  const TFileStruct& meridox = window.fileList[0];
  EXPECT_EQ(meridox.Attributes, 0x21);
  EXPECT_EQ(meridox.Date, L"2007.05.14");
  EXPECT_EQ(meridox.Time, L"14:03.26");
  EXPECT_EQ(meridox.Size, 123456);
  EXPECT_EQ(meridox.Version, L"2.10");
  EXPECT_EQ(window.fileList[1].Size, INT32_MIN);
  EXPECT_EQ(worker->LastResult, 0);
}

TEST_F(ReadComponentsTest, EachRunReplacesTheListOfTheRunBefore) {
  port.reply = ReplyBytes(UnitFiles, true);
  RunCommand();
  port.reply = ReplyBytes({}, true);  // 01 00
  RunCommand();
  EXPECT_TRUE(window.fileList.empty());
  EXPECT_EQ(window.statuses.back(), FilesListed);

  port.reply = ReplyBytes({Named("qem.exe"), Named("Qem.exe"), Named("salvik.exe")}, true);
  RunCommand();
  EXPECT_EQ(Names(),
            (std::vector<std::wstring>{L"Программа управления QEM", L"Программа управления QEM",
                                       L"Диагностика системы SALVIK"}));
  EXPECT_EQ(window.rowCounts, (std::vector<int32_t>{3, 1, 4}));
}

struct Failure {
  const char* what;
  std::function<void(FakeComPort&)> arrange;
  Calls calls;
  std::vector<StatusLine> statuses;  // after "Инициализация..."
};

TEST_F(ReadComponentsTest, EveryFailureShowsItsTextInItsColourAndLeavesOnlyTheTitleRow) {
  const std::vector<StatusLine> listAsked = {SettingDirectory, DirectorySet, AskingForFiles};
  auto then = [&](StatusLine last) {
    auto statuses = listAsked;
    statuses.push_back(std::move(last));
    return statuses;
  };
  const Calls toData(WholeExchange.begin(), WholeExchange.begin() + 5);
  const std::vector<Failure> failures = {
      {"set directory: send fails with 6, the link has a text",
       [](FakeComPort& p) {
         p.SetResult("SendPacket", 6);
         p.errorText = L"Нет связи с блоком";
       },
       {"Initialize()@T", "SendPacket(27,2)@T", "GetErrorText()@T"},
       {SettingDirectory, {L"Нет связи с блоком", true}}},
      {"set directory: send fails with 6, the link has no text",
       [](FakeComPort& p) { p.SetResult("SendPacket", 6); },
       {"Initialize()@T", "SendPacket(27,2)@T", "GetErrorText()@T"},
       {SettingDirectory, {L"Задание директории завершено неудачно", true}}},
      {"set directory: the answer fails with another status",
       [](FakeComPort& p) {
         p.SetResult("WaitAnswer", 5);
         p.errorText = L"Нет связи с блоком";
       },
       {"Initialize()@T", "SendPacket(27,2)@T", "WaitAnswer(27,-1)@T"},
       {SettingDirectory, {L"Задание директории завершено неудачно", true}}},
      {"file list: send fails",
       // Only the second packet fails: the set-directory answer arms it.
       [](FakeComPort& p) { p.SetHook("WaitAnswer", [&p] { p.SetResult("SendPacket", 3); }); },
       {toData.begin(), toData.begin() + 4},
       then({FileListFailed, true})},
      {"file list: no data within the limit", [](FakeComPort& p) { p.SetResult("WaitData", 4); },
       toData, then({FileListFailed, true})},
      {"file list: reply code 0", [](FakeComPort& p) { p.reply = ReplyBytes(UnitFiles, true, 0); },
       WholeExchange, then({FileListFailed, false})},
      {"file list: reply code 2", [](FakeComPort& p) { p.reply = ReplyBytes(UnitFiles, true, 2); },
       WholeExchange, then({FileListFailed, false})},
      {"file list: reply ends inside its last entry", [](FakeComPort& p) { p.reply.pop_back(); },
       WholeExchange,
       then({L"Запрос списка файлов завершен неудачно: ответ блока неполный", true})},
      {"file list: nothing received", [](FakeComPort& p) { p.reply.clear(); }, WholeExchange,
       then({L"Запрос списка файлов завершен неудачно: ответ блока неполный", true})},
  };

  // Once with a component that tells the reply's length, once with one that has only the
  // contracted methods: the reply is then bounded by its readable memory, which the fake ends
  // right after the reply.
  for (const bool told : {true, false}) {
    SCOPED_TRACE(told ? "length told" : "contract only");
    if (!told) {
      port.answersReceivedSize = false;  // asked again: now E_NOINTERFACE, as the vendor's
      // A refusal that still writes a pointer (one that works, so that its use shows in the
      // calls): only a success counts.
      port.refusalLeaves = static_cast<IReceivedSize*>(&port);
      worker->AskForReceivedSize();
    }
    for (const Failure& failure : failures) {
      SCOPED_TRACE(failure.what);
      // A good run first, so that stale rows would show.
      port.reply = ReplyBytes(UnitFiles, true);
      RunCommand();
      ASSERT_EQ(window.fileList.size(), 2u);

      failure.arrange(port);
      RunCommand();
      auto statuses = failure.statuses;
      statuses.insert(statuses.begin(), Initialising);
      Calls calls = failure.calls;
      if (!told) std::erase(calls, "GetReceivedSize()@T");
      EXPECT_EQ(port.Calls(), calls);
      EXPECT_EQ(window.statuses, statuses);
      EXPECT_TRUE(window.fileList.empty());
      EXPECT_EQ(window.rowCounts.back(), 1);

      // Back to a working link for the next case.
      port.SetHook("WaitAnswer", nullptr);
      for (const char* method : {"SendPacket", "WaitAnswer", "WaitData"}) port.SetResult(method, 0);
      port.errorText.clear();
    }
  }
}

// Where the component does not tell the length, a reply whose counts run past its end stops at
// the end of readable memory: a failure in red, never a fault or a row made of what lies beyond.
TEST_F(ReadComponentsTest, ARunawayReplyStopsAtTheEndOfReadableMemory) {
  port.answersReceivedSize = false;
  worker->AskForReceivedSize();
  const StatusLine cut{L"Запрос списка файлов завершен неудачно: ответ блока неполный", true};
  std::vector<uint8_t> nameRunsOut = ReplyBytes({Named("meridox.exe")}, true);
  nameRunsOut[2] = 255;
  for (const auto& reply :
       {ReplyBytes(UnitFiles, true, 1, 6), nameRunsOut, std::vector<uint8_t>{1}}) {
    port.reply = reply;
    RunCommand();
    EXPECT_EQ(window.statuses.back(), cut);
    EXPECT_TRUE(window.fileList.empty());
  }
  port.reply = ReplyBytes(UnitFiles, true);
  RunCommand();
  EXPECT_EQ(window.statuses.back(), FilesListed);
  EXPECT_EQ(window.fileList.size(), 2u);
}

TEST_F(ReadComponentsTest, LastResultKeepsTheStatusOfTheLastLinkCall) {
  port.SetResult("WaitData", 9);
  RunCommand();
  EXPECT_EQ(worker->LastResult, 9);
  port.SetResult("WaitData", 0);
  port.reply = ReplyBytes(UnitFiles, true, 2);  // a refused reply is no link failure
  RunCommand();
  EXPECT_EQ(worker->LastResult, 0);
}

}  // namespace
