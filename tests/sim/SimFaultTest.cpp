// Faults staged through the configuration file, each as a test or an operator would stage it.
#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "sim/SimStatus.h"

namespace {

TEST(SimFaults, AMethodFailsOnItsNthCallWithTheChosenStatusAndText) {
  TSimFixture f;
  TSimUnit& unit =
      f.Make("[fault]\nmethod = Initialize\ncall = 2\nstatus = 6\ntext = Блок занят самотестом\n");
  EXPECT_EQ(unit.Initialize(), SimOk);
  EXPECT_EQ(unit.Initialize(), 6);
  EXPECT_EQ(f.ErrorText(), L"Блок занят самотестом");
  EXPECT_EQ(unit.Initialize(), SimOk);
}

TEST(SimFaults, AnAlwaysFaultHitsEveryCallAndDefaultsToStatusSixWithItsOwnText) {
  TSimFixture f;
  TSimUnit& unit = f.MakeReady("[fault]\nmethod = SendPacket\n");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(f.Send({2, 0}), 6);
  EXPECT_EQ(f.ErrorText(), L"Блок диагностики отклонил запрос");
  EXPECT_EQ(unit.WaitAnswer(27, 0), SimTimeout);  // nothing was sent
}

TEST(SimFaults, AnyStatusMayBeStagedAndTheJournalNamesTheFault) {
  TSimFixture f;
  TSimUnit& unit = f.MakeReady("[fault]\nmethod = SetInteractive\nstatus = -7\n");
  EXPECT_EQ(unit.SetInteractive(0), -7);
  const auto lines = ReadLines(f.Journal());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "# fault: SetInteractive call 1: fail");
  EXPECT_EQ(lines.back(), "SetInteractive(0) = -7");
  EXPECT_EQ(f.ErrorText(), L"Ошибка компонента связи (код -7)");
}

TEST(SimFaults, ATimedOutConfirmationInstallsNothing) {
  TSimFixture f;
  TSimUnit& unit = f.MakeReady("[fault]\nmethod = WaitConfirm\naction = timeout\n");
  ASSERT_EQ(f.SendImage(L"meridox.exe", std::vector<uint8_t>(10, 1)), SimOk);
  const int64_t before = f.Clock->Now;
  EXPECT_EQ(f.Confirm(0, 5, 5), SimTimeout);
  EXPECT_EQ(f.Clock->Now - before, 3000000);
  EXPECT_EQ(ParseList(f.FileList(1), true)[0].Version, "1.0");
  (void)unit;
}

TEST(SimFaults, TheUnitCanGoAwayInTheMiddleOfATransfer) {
  TSimFixture f;
  TSimUnit& unit = f.MakeReady("[fault]\nmethod = SendFile\naction = disconnect\nblock = 2\n");
  std::vector<int32_t> reports;
  EXPECT_EQ(f.SendImage(L"salvik.exe", std::vector<uint8_t>(5 * 4096, 1),
                        [&](int32_t, int32_t current) { reports.push_back(current); }),
            SimNotConnected);
  EXPECT_EQ(reports, (std::vector<int32_t>{0, 1}));
  EXPECT_NE(f.ErrorText().find(L"прервана"), std::wstring::npos);
  EXPECT_EQ(unit.Initialize(), SimNotConnected);
  EXPECT_EQ(f.ErrorText(), L"Блок диагностики не подключен");
  EXPECT_NE(unit.QueryState(nullptr), 0);
}

TEST(SimFaults, ADisconnectWithoutABlockDropsHalfWay) {
  TSimFixture f;
  f.MakeReady("[fault]\nmethod = SendFile\ncall = 2\naction = disconnect\n");
  int reports = 0;
  EXPECT_EQ(f.SendImage(L"salvik.exe", std::vector<uint8_t>(10 * 4096, 1),
                        [&](int32_t, int32_t) { ++reports; }),
            SimOk);
  EXPECT_EQ(reports, 10);
  reports = 0;
  EXPECT_EQ(f.SendImage(L"salvik.exe", std::vector<uint8_t>(10 * 4096, 1),
                        [&](int32_t, int32_t) { ++reports; }),
            SimNotConnected);
  EXPECT_EQ(reports, 5);
}

// The faults bend the reply's bytes alike in both modes; contract-only mode only lands them in
// its fixed buffer, over what the replies before left there.
TEST(SimFaults, RepliesCanComeWithAWrongCodeCutShortOrWithLengthsPastTheirEnd) {
  TSimFixture clean;
  clean.MakeReady();
  const std::vector<uint8_t> sound = clean.FileList(1);
  ASSERT_GT(sound.size(), 20u);

  for (const bool contractOnly : {false, true}) {
    SCOPED_TRACE(contractOnly ? "contract-only" : "normal");
    TSimFixture f;
    f.MakeReady(std::string(contractOnly ? "contract-only = 1\n" : "") +
                "[fault]\nmethod = WaitData\ncall = 1\naction = wrong-code\ncode = 2\n"
                "[fault]\nmethod = WaitData\ncall = 2\naction = truncate\nlength = 7\n"
                "[fault]\nmethod = WaitData\ncall = 3\naction = overrun-count\n"
                "[fault]\nmethod = WaitData\ncall = 4\naction = overrun-name\n"
                "[fault]\nmethod = WaitData\ncall = 5\naction = truncate\n");
    std::vector<uint8_t> reply = f.FileList(1);
    ASSERT_EQ(reply.size(), sound.size());
    EXPECT_EQ(reply[0], 2);
    EXPECT_TRUE(std::equal(reply.begin() + 1, reply.end(), sound.begin() + 1));

    reply = f.FileList(1);
    EXPECT_EQ(reply, std::vector<uint8_t>(sound.begin(), sound.begin() + 7));
    EXPECT_EQ(f.Unit->GetReceivedSize(), 7);
    if (contractOnly) {
      // Past the cut the buffer still holds the whole reply before it.
      const uint8_t* buffer = f.Unit->GetReceivedData();
      EXPECT_TRUE(std::equal(sound.begin() + 7, sound.end(), buffer + 7));
      EXPECT_EQ(ReadLines(f.Journal()).back(), "GetReceivedData() = 7");
    }

    reply = f.FileList(1);
    ASSERT_EQ(reply.size(), sound.size());
    EXPECT_EQ(reply[1], sound[1] + 1);

    reply = f.FileList(1);
    ASSERT_EQ(reply.size(), sound.size());
    const size_t lastName = sound.size() - (1 + 8 + 9 + 1 + 0);  // unit.cfg, no version text
    EXPECT_EQ(sound[lastName], 8);
    EXPECT_EQ(reply[lastName], 255);

    EXPECT_EQ(f.FileList(1).size(), sound.size() / 2);
  }
}

TEST(SimFaults, ADisconnectOnAnyCallLeavesTheUnitUnplugged) {
  TSimFixture f;
  TSimUnit& unit =
      f.MakeReady("[fault]\nmethod = WaitAnswer\naction = disconnect\ntext = Кабель отсоединён\n");
  ASSERT_EQ(f.Send({2, 0}), SimOk);
  EXPECT_EQ(unit.WaitAnswer(27, -1), SimNotConnected);
  EXPECT_EQ(f.ErrorText(), L"Кабель отсоединён");
  EXPECT_EQ(f.Send({2, 0}), SimNotConnected);
  EXPECT_EQ(unit.Initialize(), SimNotConnected);
}

TEST(SimFaults, FaultsOnTheReplyAccessorsGiveNothing) {
  TSimFixture f;
  TSimUnit& unit = f.MakeReady(
      "[fault]\nmethod = GetReceivedData\n[fault]\nmethod = GetReceivedSize\n"
      "[fault]\nmethod = GetErrorText\nstatus = 3\n[fault]\nmethod = QueryState\nstatus = 9\n");
  ASSERT_EQ(f.Send({1, 1}), SimOk);
  ASSERT_EQ(unit.WaitData(2000), SimOk);
  EXPECT_EQ(unit.GetReceivedData(), nullptr);
  EXPECT_EQ(unit.GetReceivedSize(), 0);
  std::wstring text = L"old";
  EXPECT_EQ(unit.GetErrorText(&text), 3);
  EXPECT_EQ(text, L"");
  int32_t state = 0;
  EXPECT_EQ(unit.QueryState(&state), 9);
}

}  // namespace
